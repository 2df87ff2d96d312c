// The host's FilterRecord and its big-document extension, packed to 4 bytes
// as on 64-bit Windows, with every field offset checked. Hosts differ in how
// much of the tail they allocate (some only 556 bytes): never rely on sizeof.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/pi/pi_suites.h"
#include "platform/pi/pi_types.h"

namespace mirel::pi {

#pragma pack(push, 4)

struct BigDocumentStruct {
    std::int32_t PluginUsing32BitCoordinates;
    VPoint imageSize32;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
    VPoint floatCoord32;
    VPoint wholeSize32;
};

struct FilterRecord {
    std::int32_t serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point imageSize;
    std::int16_t planes;
    Rect filterRect;
    PSRGBColor background;
    PSRGBColor foreground;
    std::int32_t maxSpace;
    std::int32_t bufferSpace;
    Rect inRect;
    std::int16_t inLoPlane;
    std::int16_t inHiPlane;
    Rect outRect;
    std::int16_t outLoPlane;
    std::int16_t outHiPlane;
    void* inData;
    std::int32_t inRowBytes;
    void* outData;
    std::int32_t outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect maskRect;
    void* maskData;
    std::int32_t maskRowBytes;
    FilterColor backColor;
    FilterColor foreColor;
    OSType hostSig;
    HostProc hostProc;
    std::int16_t imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point floatCoord;
    Point wholeSize;
    PlugInMonitor monitor;
    void* platformData;
    BufferProcs* bufferProcs;
    ResourceProcs* resourceProcs;
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;
    // 3.0
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    std::int16_t wantLayout;
    std::int16_t filterCase;
    std::int16_t dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    GetPropertyProc getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    std::int16_t inputPadding;
    std::int16_t outputPadding;
    std::int16_t maskPadding;
    char samplingSupport;
    char reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    ColorServicesProc colorServices;
    std::int16_t inLayerPlanes;
    std::int16_t inTransparencyMask;
    std::int16_t inLayerMasks;
    std::int16_t inInvertedLayerMasks;
    std::int16_t inNonLayerPlanes;
    std::int16_t outLayerPlanes;
    std::int16_t outTransparencyMask;
    std::int16_t outLayerMasks;
    std::int16_t outInvertedLayerMasks;
    std::int16_t outNonLayerPlanes;
    std::int16_t absLayerPlanes;
    std::int16_t absTransparencyMask;
    std::int16_t absLayerMasks;
    std::int16_t absInvertedLayerMasks;
    std::int16_t absNonLayerPlanes;
    std::int16_t inPreDummyPlanes;
    std::int16_t inPostDummyPlanes;
    std::int16_t outPreDummyPlanes;
    std::int16_t outPostDummyPlanes;
    std::int32_t inColumnBytes;
    std::int32_t inPlaneBytes;
    std::int32_t outColumnBytes;
    std::int32_t outPlaneBytes;
    // 3.0.4
    void* imageServicesProcs;
    PropertyProcs* propertyProcs;
    std::int16_t inTileHeight;
    std::int16_t inTileWidth;
    Point inTileOrigin;
    std::int16_t absTileHeight;
    std::int16_t absTileWidth;
    Point absTileOrigin;
    std::int16_t outTileHeight;
    std::int16_t outTileWidth;
    Point outTileOrigin;
    std::int16_t maskTileHeight;
    std::int16_t maskTileWidth;
    Point maskTileOrigin;
    // 4.0
    PIDescriptorParameters* descriptorParameters;
    Str255* errorString;
    void* channelPortProcs;
    void* documentInfo;
    // 5.0
    void* sSPBasic;
    void* plugInRef;
    std::int32_t depth;
    // 6.0
    Handle iCCprofileData;
    std::int32_t iCCprofileSize;
    std::int32_t canUseICCProfiles;
    // 7.0
    std::int32_t hasImageScrap;
    // 8.0
    BigDocumentStruct* bigDocumentData;
    // 10.0
    PIDescriptorParameters* input3DScene;
    PIDescriptorParameters* output3DScene;
    Boolean createNewLayer;
    // 13.0
    Handle iCCWorkingProfileData;
    std::int32_t iCCWorkingProfileSize;
    // 18.0
    std::int64_t bufferSpace64;
    std::int64_t maxSpace64;
    Boolean allowOverrangeColors;
    char reserved[45];
};

#pragma pack(pop)

// The bytes every host is known to allocate; fields at or past this offset
// exist only on newer hosts.
constexpr std::size_t kFilterRecordMinimumHostSize = 556;

// The about selector passes this record instead of a FilterRecord.
struct AboutRecord {
    void* platformData;
    void* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

// void PluginMain(int16 selector, FilterRecord*, intptr_t* data, int16* result)
using PluginEntry = void (*)(std::int16_t selector, void* record, std::intptr_t* data,
                             std::int16_t* result);

// ---- Layout checks ---------------------------------------------------------------

static_assert(sizeof(BigDocumentStruct) == 92);
static_assert(offsetof(BigDocumentStruct, imageSize32) == 4);
static_assert(offsetof(BigDocumentStruct, filterRect32) == 12);
static_assert(offsetof(BigDocumentStruct, inRect32) == 28);
static_assert(offsetof(BigDocumentStruct, outRect32) == 44);
static_assert(offsetof(BigDocumentStruct, maskRect32) == 60);
static_assert(offsetof(BigDocumentStruct, floatCoord32) == 76);
static_assert(offsetof(BigDocumentStruct, wholeSize32) == 84);

static_assert(sizeof(AboutRecord) == 272);

#define MIREL_CHECK_OFFSET(field, offset) \
    static_assert(offsetof(FilterRecord, field) == (offset), #field)
MIREL_CHECK_OFFSET(serialNumber, 0);
MIREL_CHECK_OFFSET(abortProc, 4);
MIREL_CHECK_OFFSET(progressProc, 12);
MIREL_CHECK_OFFSET(parameters, 20);
MIREL_CHECK_OFFSET(imageSize, 28);
MIREL_CHECK_OFFSET(planes, 32);
MIREL_CHECK_OFFSET(filterRect, 34);
MIREL_CHECK_OFFSET(background, 42);
MIREL_CHECK_OFFSET(foreground, 48);
MIREL_CHECK_OFFSET(maxSpace, 56);
MIREL_CHECK_OFFSET(bufferSpace, 60);
MIREL_CHECK_OFFSET(inRect, 64);
MIREL_CHECK_OFFSET(inLoPlane, 72);
MIREL_CHECK_OFFSET(inHiPlane, 74);
MIREL_CHECK_OFFSET(outRect, 76);
MIREL_CHECK_OFFSET(outLoPlane, 84);
MIREL_CHECK_OFFSET(outHiPlane, 86);
MIREL_CHECK_OFFSET(inData, 88);
MIREL_CHECK_OFFSET(inRowBytes, 96);
MIREL_CHECK_OFFSET(outData, 100);
MIREL_CHECK_OFFSET(outRowBytes, 108);
MIREL_CHECK_OFFSET(isFloating, 112);
MIREL_CHECK_OFFSET(haveMask, 113);
MIREL_CHECK_OFFSET(autoMask, 114);
MIREL_CHECK_OFFSET(maskRect, 116);
MIREL_CHECK_OFFSET(maskData, 124);
MIREL_CHECK_OFFSET(maskRowBytes, 132);
MIREL_CHECK_OFFSET(backColor, 136);
MIREL_CHECK_OFFSET(foreColor, 140);
MIREL_CHECK_OFFSET(hostSig, 144);
MIREL_CHECK_OFFSET(hostProc, 148);
MIREL_CHECK_OFFSET(imageMode, 156);
MIREL_CHECK_OFFSET(imageHRes, 160);
MIREL_CHECK_OFFSET(imageVRes, 164);
MIREL_CHECK_OFFSET(floatCoord, 168);
MIREL_CHECK_OFFSET(wholeSize, 172);
MIREL_CHECK_OFFSET(monitor, 176);
MIREL_CHECK_OFFSET(platformData, 216);
MIREL_CHECK_OFFSET(bufferProcs, 224);
MIREL_CHECK_OFFSET(resourceProcs, 232);
MIREL_CHECK_OFFSET(processEvent, 240);
MIREL_CHECK_OFFSET(displayPixels, 248);
MIREL_CHECK_OFFSET(handleProcs, 256);
MIREL_CHECK_OFFSET(supportsDummyChannels, 264);
MIREL_CHECK_OFFSET(supportsAlternateLayouts, 265);
MIREL_CHECK_OFFSET(wantLayout, 266);
MIREL_CHECK_OFFSET(filterCase, 268);
MIREL_CHECK_OFFSET(dummyPlaneValue, 270);
MIREL_CHECK_OFFSET(premiereHook, 272);
MIREL_CHECK_OFFSET(advanceState, 280);
MIREL_CHECK_OFFSET(supportsAbsolute, 288);
MIREL_CHECK_OFFSET(wantsAbsolute, 289);
MIREL_CHECK_OFFSET(getPropertyObsolete, 292);
MIREL_CHECK_OFFSET(cannotUndo, 300);
MIREL_CHECK_OFFSET(supportsPadding, 301);
MIREL_CHECK_OFFSET(inputPadding, 302);
MIREL_CHECK_OFFSET(outputPadding, 304);
MIREL_CHECK_OFFSET(maskPadding, 306);
MIREL_CHECK_OFFSET(samplingSupport, 308);
MIREL_CHECK_OFFSET(reservedByte, 309);
MIREL_CHECK_OFFSET(inputRate, 312);
MIREL_CHECK_OFFSET(maskRate, 316);
MIREL_CHECK_OFFSET(colorServices, 320);
MIREL_CHECK_OFFSET(inLayerPlanes, 328);
MIREL_CHECK_OFFSET(inTransparencyMask, 330);
MIREL_CHECK_OFFSET(inLayerMasks, 332);
MIREL_CHECK_OFFSET(inInvertedLayerMasks, 334);
MIREL_CHECK_OFFSET(inNonLayerPlanes, 336);
MIREL_CHECK_OFFSET(outLayerPlanes, 338);
MIREL_CHECK_OFFSET(outTransparencyMask, 340);
MIREL_CHECK_OFFSET(outLayerMasks, 342);
MIREL_CHECK_OFFSET(outInvertedLayerMasks, 344);
MIREL_CHECK_OFFSET(outNonLayerPlanes, 346);
MIREL_CHECK_OFFSET(absLayerPlanes, 348);
MIREL_CHECK_OFFSET(absTransparencyMask, 350);
MIREL_CHECK_OFFSET(absLayerMasks, 352);
MIREL_CHECK_OFFSET(absInvertedLayerMasks, 354);
MIREL_CHECK_OFFSET(absNonLayerPlanes, 356);
MIREL_CHECK_OFFSET(inPreDummyPlanes, 358);
MIREL_CHECK_OFFSET(inPostDummyPlanes, 360);
MIREL_CHECK_OFFSET(outPreDummyPlanes, 362);
MIREL_CHECK_OFFSET(outPostDummyPlanes, 364);
MIREL_CHECK_OFFSET(inColumnBytes, 368);
MIREL_CHECK_OFFSET(inPlaneBytes, 372);
MIREL_CHECK_OFFSET(outColumnBytes, 376);
MIREL_CHECK_OFFSET(outPlaneBytes, 380);
MIREL_CHECK_OFFSET(imageServicesProcs, 384);
MIREL_CHECK_OFFSET(propertyProcs, 392);
MIREL_CHECK_OFFSET(inTileHeight, 400);
MIREL_CHECK_OFFSET(inTileWidth, 402);
MIREL_CHECK_OFFSET(inTileOrigin, 404);
MIREL_CHECK_OFFSET(absTileHeight, 408);
MIREL_CHECK_OFFSET(absTileWidth, 410);
MIREL_CHECK_OFFSET(absTileOrigin, 412);
MIREL_CHECK_OFFSET(outTileHeight, 416);
MIREL_CHECK_OFFSET(outTileWidth, 418);
MIREL_CHECK_OFFSET(outTileOrigin, 420);
MIREL_CHECK_OFFSET(maskTileHeight, 424);
MIREL_CHECK_OFFSET(maskTileWidth, 426);
MIREL_CHECK_OFFSET(maskTileOrigin, 428);
MIREL_CHECK_OFFSET(descriptorParameters, 432);
MIREL_CHECK_OFFSET(errorString, 440);
MIREL_CHECK_OFFSET(channelPortProcs, 448);
MIREL_CHECK_OFFSET(documentInfo, 456);
MIREL_CHECK_OFFSET(sSPBasic, 464);
MIREL_CHECK_OFFSET(plugInRef, 472);
MIREL_CHECK_OFFSET(depth, 480);
MIREL_CHECK_OFFSET(iCCprofileData, 484);
MIREL_CHECK_OFFSET(iCCprofileSize, 492);
MIREL_CHECK_OFFSET(canUseICCProfiles, 496);
MIREL_CHECK_OFFSET(hasImageScrap, 500);
MIREL_CHECK_OFFSET(bigDocumentData, 504);
MIREL_CHECK_OFFSET(input3DScene, 512);
MIREL_CHECK_OFFSET(output3DScene, 520);
MIREL_CHECK_OFFSET(createNewLayer, 528);
MIREL_CHECK_OFFSET(iCCWorkingProfileData, 532);
MIREL_CHECK_OFFSET(iCCWorkingProfileSize, 540);
MIREL_CHECK_OFFSET(bufferSpace64, 544);
MIREL_CHECK_OFFSET(maxSpace64, 552);
MIREL_CHECK_OFFSET(allowOverrangeColors, 560);
#undef MIREL_CHECK_OFFSET
static_assert(sizeof(FilterRecord) == 608);

}  // namespace mirel::pi
