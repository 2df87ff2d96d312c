// The callback suites of the plug-in interface (handles, buffers, resources,
// properties, descriptors, colour services) and the pixel map of
// displayPixels, with natural alignment as on 64-bit Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/pi/pi_types.h"

namespace mirel::pi {

// ---- Callback signatures -----------------------------------------------------

using TestAbortProc = Boolean (*)();
using ProgressProc = void (*)(std::int32_t done, std::int32_t total);
using HostProc = void (*)(std::int16_t selector, std::intptr_t* data);
using ProcessEventProc = void (*)(void* event);
using AdvanceStateProc = OSErr (*)();
using GetPropertyProc = OSErr (*)(OSType signature, OSType key, std::int32_t index,
                                  std::intptr_t* simpleProperty, Handle* complexProperty);

// ---- Handle suite (version 1, 8 procedures) -------------------------------

using NewPIHandleProc = Handle (*)(std::int32_t size);
using DisposePIHandleProc = void (*)(Handle h);
using GetPIHandleSizeProc = std::int32_t (*)(Handle h);
using SetPIHandleSizeProc = OSErr (*)(Handle h, std::int32_t newSize);
using LockPIHandleProc = Ptr (*)(Handle h, Boolean moveHigh);
using UnlockPIHandleProc = void (*)(Handle h);
using RecoverSpaceProc = void (*)(std::int32_t size);
using DisposeRegularHandlePIHandleProc = void (*)(Handle h);

struct HandleProcs {
    std::int16_t handleProcsVersion;
    std::int16_t numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
    RecoverSpaceProc recoverSpaceProc;
    DisposeRegularHandlePIHandleProc disposeRegularHandleProc;
};
constexpr std::int16_t kCurrentHandleProcsVersion = 1;
constexpr std::int16_t kCurrentHandleProcsCount = 8;

// ---- Buffer suite (version 2; 8 procedures, some hosts offer 5) ------------

struct OpaqueBuffer;
using BufferID = OpaqueBuffer*;
using AllocateBufferProc = OSErr (*)(std::int32_t size, BufferID* bufferID);
using LockBufferProc = Ptr (*)(BufferID bufferID, Boolean moveHigh);
using UnlockBufferProc = void (*)(BufferID bufferID);
using FreeBufferProc = void (*)(BufferID bufferID);
using BufferSpaceProc = std::int32_t (*)();
using ReserveSpaceProc = void (*)(std::int32_t size);
using AllocateBuffer64Proc = OSErr (*)(std::int64_t size, BufferID* bufferID);
using BufferSpace64Proc = std::int64_t (*)();

struct BufferProcs {
    std::int16_t bufferProcsVersion;
    std::int16_t numBufferProcs;
    AllocateBufferProc allocateProc;
    LockBufferProc lockProc;
    UnlockBufferProc unlockProc;
    FreeBufferProc freeProc;
    BufferSpaceProc spaceProc;
    ReserveSpaceProc reserveProc;
    AllocateBuffer64Proc allocateProc64;
    BufferSpace64Proc spaceProc64;
};
constexpr std::int16_t kCurrentBufferProcsVersion = 2;
constexpr std::int16_t kCurrentBufferProcsCount = 8;

// ---- Resource and property suites --------------------------------------------

using CountPIResourcesProc = std::int16_t (*)(OSType type);
using GetPIResourceProc = Handle (*)(OSType type, std::int16_t index);
using DeletePIResourceProc = void (*)(OSType type, std::int16_t index);
using AddPIResourceProc = OSErr (*)(OSType type, Handle data);

constexpr std::int16_t kCurrentResourceProcsVersion = 3;
constexpr std::int16_t kCurrentResourceProcsCount = 4;

struct ResourceProcs {
    std::int16_t resourceProcsVersion;
    std::int16_t numResourceProcs;
    CountPIResourcesProc countProc;
    GetPIResourceProc getProc;
    DeletePIResourceProc deleteProc;
    AddPIResourceProc addProc;
};

using SetPropertyProc = OSErr (*)(OSType signature, OSType key, std::int32_t index,
                                  std::intptr_t simpleProperty, Handle complexProperty);
constexpr std::int16_t kCurrentPropertyProcsVersion = 1;
constexpr std::int16_t kCurrentPropertyProcsCount = 2;

struct PropertyProcs {
    std::int16_t propertyProcsVersion;
    std::int16_t numPropertyProcs;
    GetPropertyProc getPropertyProc;
    SetPropertyProc setPropertyProc;
};

// ---- Descriptor suites (scripting) -------------------------------------------

using DescriptorKeyID = std::uint32_t;
using DescriptorTypeID = std::uint32_t;
using DescriptorUnitID = std::uint32_t;
using DescriptorEnumID = std::uint32_t;
using DescriptorEnumTypeID = std::uint32_t;
using DescriptorClassID = std::uint32_t;
struct OpaqueReadDescriptor;
struct OpaqueWriteDescriptor;
using PIReadDescriptor = OpaqueReadDescriptor*;
using PIWriteDescriptor = OpaqueWriteDescriptor*;
using PIDescriptorHandle = Handle;
using real64 = double;

using OpenWriteDescriptorProc = PIWriteDescriptor (*)();
using CloseWriteDescriptorProc = OSErr (*)(PIWriteDescriptor, PIDescriptorHandle*);
using PutIntegerProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, std::int32_t);
using PutFloatProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, const real64*);
using PutUnitFloatProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescriptorUnitID,
                                   const real64*);
using PutBooleanProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, Boolean);
using PutTextProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, Handle);
using PutAliasProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, Handle);
using PutEnumeratedProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID,
                                    DescriptorEnumID);
using PutClassProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID);
using PutSimpleReferenceProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, const void*);
using PutObjectProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID,
                                PIDescriptorHandle);
using PutCountProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, std::uint32_t);
using PutStringProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, const unsigned char*);
using PutScopedClassProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID);
using PutScopedObjectProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID,
                                      PIDescriptorHandle);

struct WriteDescriptorProcs {
    std::int16_t writeDescriptorProcsVersion;
    std::int16_t numWriteDescriptorProcs;
    OpenWriteDescriptorProc openWriteDescriptorProc;
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutTextProc putTextProc;
    PutAliasProc putAliasProc;
    PutEnumeratedProc putEnumeratedProc;
    PutClassProc putClassProc;
    PutSimpleReferenceProc putSimpleReferenceProc;
    PutObjectProc putObjectProc;
    PutCountProc putCountProc;
    PutStringProc putStringProc;
    PutScopedClassProc putScopedClassProc;
    PutScopedObjectProc putScopedObjectProc;
};

using OpenReadDescriptorProc = PIReadDescriptor (*)(PIDescriptorHandle, DescriptorKeyID*);
using CloseReadDescriptorProc = OSErr (*)(PIReadDescriptor);
using GetKeyProc = Boolean (*)(PIReadDescriptor, DescriptorKeyID*, DescriptorTypeID*,
                               std::int32_t* flags);
using GetIntegerProc = OSErr (*)(PIReadDescriptor, std::int32_t*);
using GetFloatProc = OSErr (*)(PIReadDescriptor, real64*);
using GetUnitFloatProc = OSErr (*)(PIReadDescriptor, DescriptorUnitID*, real64*);
using GetBooleanProc = OSErr (*)(PIReadDescriptor, Boolean*);
using GetTextProc = OSErr (*)(PIReadDescriptor, Handle*);
using GetAliasProc = OSErr (*)(PIReadDescriptor, Handle*);
using GetEnumeratedProc = OSErr (*)(PIReadDescriptor, DescriptorEnumID*);
using GetClassProc = OSErr (*)(PIReadDescriptor, DescriptorTypeID*);
using GetSimpleReferenceProc = OSErr (*)(PIReadDescriptor, void*);
using GetObjectProc = OSErr (*)(PIReadDescriptor, DescriptorTypeID*, PIDescriptorHandle*);
using GetCountProc = OSErr (*)(PIReadDescriptor, std::uint32_t*);
using GetStringProc = OSErr (*)(PIReadDescriptor, unsigned char*);
using GetPinnedIntegerProc = OSErr (*)(PIReadDescriptor, std::int32_t min, std::int32_t max,
                                       std::int32_t*);
using GetPinnedFloatProc = OSErr (*)(PIReadDescriptor, const real64* min, const real64* max,
                                     real64*);
using GetPinnedUnitFloatProc = OSErr (*)(PIReadDescriptor, const real64* min, const real64* max,
                                         DescriptorUnitID*, real64*);

struct ReadDescriptorProcs {
    std::int16_t readDescriptorProcsVersion;
    std::int16_t numReadDescriptorProcs;
    OpenReadDescriptorProc openReadDescriptorProc;
    CloseReadDescriptorProc closeReadDescriptorProc;
    GetKeyProc getKeyProc;
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetTextProc getTextProc;
    GetAliasProc getAliasProc;
    GetEnumeratedProc getEnumeratedProc;
    GetClassProc getClassProc;
    GetSimpleReferenceProc getSimpleReferenceProc;
    GetObjectProc getObjectProc;
    GetCountProc getCountProc;
    GetStringProc getStringProc;
    GetPinnedIntegerProc getPinnedIntegerProc;
    GetPinnedFloatProc getPinnedFloatProc;
    GetPinnedUnitFloatProc getPinnedUnitFloatProc;
};

struct PIDescriptorParameters {
    std::int16_t descriptorParametersVersion;
    std::int16_t playInfo;
    std::int16_t recordInfo;
    PIDescriptorHandle descriptor;
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};

constexpr std::int16_t kPlugInDialogDontDisplay = 0;
constexpr std::int16_t kPlugInDialogDisplay = 1;
constexpr std::int16_t kPlugInDialogSilent = 2;
constexpr std::int16_t kPlugInDialogOptional = 0;
constexpr std::int16_t kPlugInDialogRequired = 1;
constexpr std::int16_t kPlugInDialogNone = 2;
constexpr std::int32_t kKeyFlagEnumerated = 0x2000;
constexpr std::int32_t kKeyFlagList = 0x4000;
constexpr std::int32_t kKeyFlagOptional = 0x8000;

// ---- Colour services -----------------------------------------------------------

struct ColorServicesInfo {
    std::int32_t infoSize;
    std::int16_t selector;
    std::int16_t sourceSpace;
    std::int16_t resultSpace;
    Boolean resultGamutInfoValid;
    Boolean resultInGamut;
    void* reservedSourceSpaceInfo;
    void* reservedResultSpaceInfo;
    std::int16_t colorComponents[4];
    void* reserved;
    union {
        Str255* pickerPrompt;
        Point* globalSamplePoint;
        std::int32_t specialColorID;
    } selectorParameter;
};
using ColorServicesProc = OSErr (*)(ColorServicesInfo* info);

constexpr std::int16_t kChooseColor = 0;
constexpr std::int16_t kConvertColor = 1;
constexpr std::int16_t kSamplePoint = 2;
constexpr std::int16_t kGetSpecialColor = 3;
constexpr std::int16_t kChosenSpace = -1;
constexpr std::int16_t kRGBSpace = 0;
constexpr std::int16_t kHSBSpace = 1;
constexpr std::int16_t kCMYKSpace = 2;
constexpr std::int16_t kLabSpace = 3;
constexpr std::int16_t kGraySpace = 4;
constexpr std::int16_t kHSLSpace = 5;
constexpr std::int16_t kXYZSpace = 6;

// ---- Pixel map of displayPixels ---------------------------------------------------

struct PSPixelMask {
    PSPixelMask* next;
    void* maskData;
    std::int32_t rowBytes;
    std::int32_t colBytes;
    std::int32_t maskDescription;
};

struct PSPixelOverlay;

struct PSPixelMap {
    std::int32_t version;
    VRect bounds;
    std::int32_t imageMode;
    std::int32_t rowBytes;
    std::int32_t colBytes;
    std::int32_t planeBytes;
    void* baseAddr;
    PSPixelMask* mat;
    PSPixelMask* masks;
    std::int32_t maskPhaseRow;
    std::int32_t maskPhaseCol;
    PSPixelOverlay* pixelOverlays;
    std::uint32_t colorManagementOptions;
    std::int16_t depth;
};

using DisplayPixelsProc = OSErr (*)(const PSPixelMap* source, const VRect* srcRect,
                                    std::int32_t dstRow, std::int32_t dstCol,
                                    void* platformContext);

// ---- Layout checks -----------------------------------------------------------------

static_assert(offsetof(HandleProcs, newProc) == 8 && sizeof(HandleProcs) == 72);
static_assert(offsetof(BufferProcs, allocateProc) == 8 && sizeof(BufferProcs) == 72);
static_assert(sizeof(ResourceProcs) == 40 && sizeof(PropertyProcs) == 24);
static_assert(sizeof(WriteDescriptorProcs) == 8 + 16 * 8);
static_assert(sizeof(ReadDescriptorProcs) == 8 + 18 * 8);
static_assert(offsetof(PIDescriptorParameters, playInfo) == 2);
static_assert(offsetof(PIDescriptorParameters, recordInfo) == 4);
static_assert(offsetof(PIDescriptorParameters, descriptor) == 8);
static_assert(offsetof(PIDescriptorParameters, writeDescriptorProcs) == 16);
static_assert(offsetof(PIDescriptorParameters, readDescriptorProcs) == 24);
static_assert(sizeof(PIDescriptorParameters) == 32);
static_assert(offsetof(ColorServicesInfo, selector) == 4);
static_assert(offsetof(ColorServicesInfo, resultGamutInfoValid) == 10);
static_assert(offsetof(ColorServicesInfo, resultInGamut) == 11);
static_assert(offsetof(ColorServicesInfo, reservedSourceSpaceInfo) == 16);
static_assert(offsetof(ColorServicesInfo, colorComponents) == 32);
static_assert(offsetof(ColorServicesInfo, reserved) == 40);
static_assert(offsetof(ColorServicesInfo, selectorParameter) == 48);
static_assert(sizeof(ColorServicesInfo) == 56);
static_assert(offsetof(PSPixelMap, bounds) == 4 && offsetof(PSPixelMap, imageMode) == 20);
static_assert(offsetof(PSPixelMap, rowBytes) == 24 && offsetof(PSPixelMap, colBytes) == 28);
static_assert(offsetof(PSPixelMap, planeBytes) == 32 && offsetof(PSPixelMap, baseAddr) == 40);
static_assert(offsetof(PSPixelMap, mat) == 48 && offsetof(PSPixelMap, masks) == 56);
static_assert(offsetof(PSPixelMap, maskPhaseRow) == 64);
static_assert(offsetof(PSPixelMap, maskPhaseCol) == 68);
static_assert(offsetof(PSPixelMap, pixelOverlays) == 72);
static_assert(offsetof(PSPixelMap, colorManagementOptions) == 80);
static_assert(offsetof(PSPixelMap, depth) == 84 && sizeof(PSPixelMap) == 88);
static_assert(offsetof(PSPixelMask, rowBytes) == 16 && sizeof(PSPixelMask) == 32);

// ---- Presence of a suite procedure ---------------------------------------------

// A procedure counts as present only when the suite exists, its count is
// above the procedure's index and the pointer is not null. Hosts differ in how
// many procedures they offer, so the count is checked, never the version alone.
template <typename Suite, typename Proc>
bool procPresent(const Suite* suite, Proc Suite::*member) {
    if (suite == nullptr) return false;
    static const Suite probe{};
    const auto offset = std::size_t(reinterpret_cast<const char*>(&(probe.*member)) -
                                    reinterpret_cast<const char*>(&probe));
    const std::size_t index = (offset - 8) / sizeof(void*);
    std::int16_t count = 0;
    std::memcpy(&count, reinterpret_cast<const char*>(suite) + 2, sizeof count);
    return count > 0 && std::size_t(count) > index && suite->*member != nullptr;
}

}  // namespace mirel::pi
