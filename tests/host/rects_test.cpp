// The big-document-aware rectangle accessors.
#include "platform/pi/rects.h"

#include <gtest/gtest.h>

namespace mirel {
namespace {

TEST(Rects, SixteenBitFieldsWithoutABigDocumentOrItsFlag) {
    pi::FilterRecord record{};
    record.filterRect = {1, 2, 300, 400};
    pi::BigDocumentStruct big{};
    big.filterRect32 = {0, 0, 50000, 60000};

    EXPECT_EQ(filterRectOf(record), (IntRect{1, 2, 300, 400}));
    record.bigDocumentData = &big;  // present, flag clear
    EXPECT_EQ(filterRectOf(record), (IntRect{1, 2, 300, 400}));
    big.PluginUsing32BitCoordinates = 1;
    EXPECT_EQ(filterRectOf(record), (IntRect{0, 0, 50000, 60000}));
}

TEST(Rects, WritesGoWhereReadsComeFrom) {
    pi::FilterRecord record{};
    pi::BigDocumentStruct big{};
    big.PluginUsing32BitCoordinates = 1;
    record.bigDocumentData = &big;
    setInRect(record, {10, 20, 40000, 50000});
    setOutRect(record, {1, 2, 3, 4});
    setMaskRect(record, {5, 6, 7, 8});
    EXPECT_EQ(inRectOf(record), (IntRect{10, 20, 40000, 50000}));
    EXPECT_EQ(outRectOf(record), (IntRect{1, 2, 3, 4}));
    EXPECT_EQ(maskRectOf(record), (IntRect{5, 6, 7, 8}));
    EXPECT_EQ(record.inRect.bottom, 0);  // the 16-bit fields stay untouched

    emptyRequestRects(record);
    EXPECT_TRUE(inRectOf(record).empty());
    EXPECT_TRUE(outRectOf(record).empty());
    EXPECT_TRUE(maskRectOf(record).empty());
}

TEST(Rects, SixteenBitStoresClampInsteadOfWrapping) {
    pi::FilterRecord record{};
    setInRect(record, {-70000, 0, 40000, 65536});
    EXPECT_EQ(record.inRect.top, -32768);
    EXPECT_EQ(record.inRect.bottom, 32767);
    EXPECT_EQ(record.inRect.right, 32767);
    EXPECT_FALSE(inRectOf(record).empty());
}

TEST(Rects, FloatCoordAndImageSizeFollowTheSameRule) {
    pi::FilterRecord record{};
    record.floatCoord = {3, 4};
    record.imageSize = {100, 200};
    EXPECT_EQ(floatCoordOf(record), (IntPoint{3, 4}));
    EXPECT_EQ(imageSizeOf(record), (IntPoint{100, 200}));
    pi::BigDocumentStruct big{};
    big.PluginUsing32BitCoordinates = 1;
    big.floatCoord32 = {70000, 5};
    big.imageSize32 = {80000, 90000};
    record.bigDocumentData = &big;
    EXPECT_EQ(floatCoordOf(record), (IntPoint{70000, 5}));
    EXPECT_EQ(imageSizeOf(record), (IntPoint{80000, 90000}));
}

TEST(Suites, AProcedureIsPresentOnlyWithinTheCountAndNotNull) {
    pi::BufferProcs procs{};
    procs.bufferProcsVersion = 2;
    procs.numBufferProcs = 5;
    procs.allocateProc = [](std::int32_t, pi::BufferID*) -> pi::OSErr { return 0; };
    procs.spaceProc = [] { return std::int32_t(0); };
    procs.allocateProc64 = [](std::int64_t, pi::BufferID*) -> pi::OSErr { return 0; };
    EXPECT_TRUE(pi::procPresent(&procs, &pi::BufferProcs::allocateProc));
    EXPECT_TRUE(pi::procPresent(&procs, &pi::BufferProcs::spaceProc));        // index 4 < 5
    EXPECT_FALSE(pi::procPresent(&procs, &pi::BufferProcs::lockProc));        // null
    EXPECT_FALSE(pi::procPresent(&procs, &pi::BufferProcs::allocateProc64));  // index 6 >= 5
    procs.numBufferProcs = 0;
    EXPECT_FALSE(pi::procPresent(&procs, &pi::BufferProcs::allocateProc));
    const pi::BufferProcs* none = nullptr;
    EXPECT_FALSE(pi::procPresent(none, &pi::BufferProcs::allocateProc));
}

}  // namespace
}  // namespace mirel
