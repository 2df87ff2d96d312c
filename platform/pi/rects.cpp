// Big-document-aware access to the FilterRecord's rectangles.
#include "platform/pi/rects.h"

#include <algorithm>
#include <limits>

namespace mirel {

namespace {

IntRect fromRect(const pi::Rect& r) {
    return {r.top, r.left, r.bottom, r.right};
}
IntRect fromVRect(const pi::VRect& r) {
    return {r.top, r.left, r.bottom, r.right};
}

// A 32-bit coordinate stored in a 16-bit field is clamped, never wrapped: a
// wrapped edge would turn a large request into a small one somewhere else.
std::int16_t to16(std::int32_t value) {
    return std::int16_t(std::clamp<std::int32_t>(value, std::numeric_limits<std::int16_t>::min(),
                                                 std::numeric_limits<std::int16_t>::max()));
}

void store(pi::Rect& r, const IntRect& rect) {
    r = {to16(rect.top), to16(rect.left), to16(rect.bottom), to16(rect.right)};
}

void store(pi::VRect& r, const IntRect& rect) {
    r = {rect.top, rect.left, rect.bottom, rect.right};
}

}  // namespace

bool usesBigDocument(const pi::FilterRecord& record) {
    return record.bigDocumentData != nullptr &&
           record.bigDocumentData->PluginUsing32BitCoordinates != 0;
}

IntRect filterRectOf(const pi::FilterRecord& record) {
    return usesBigDocument(record) ? fromVRect(record.bigDocumentData->filterRect32)
                                   : fromRect(record.filterRect);
}

IntRect inRectOf(const pi::FilterRecord& record) {
    return usesBigDocument(record) ? fromVRect(record.bigDocumentData->inRect32)
                                   : fromRect(record.inRect);
}

IntRect outRectOf(const pi::FilterRecord& record) {
    return usesBigDocument(record) ? fromVRect(record.bigDocumentData->outRect32)
                                   : fromRect(record.outRect);
}

IntRect maskRectOf(const pi::FilterRecord& record) {
    return usesBigDocument(record) ? fromVRect(record.bigDocumentData->maskRect32)
                                   : fromRect(record.maskRect);
}

IntPoint floatCoordOf(const pi::FilterRecord& record) {
    if (usesBigDocument(record))
        return {record.bigDocumentData->floatCoord32.v, record.bigDocumentData->floatCoord32.h};
    return {record.floatCoord.v, record.floatCoord.h};
}

IntPoint imageSizeOf(const pi::FilterRecord& record) {
    if (usesBigDocument(record))
        return {record.bigDocumentData->imageSize32.v, record.bigDocumentData->imageSize32.h};
    return {record.imageSize.v, record.imageSize.h};
}

void setInRect(pi::FilterRecord& record, const IntRect& rect) {
    if (usesBigDocument(record))
        store(record.bigDocumentData->inRect32, rect);
    else
        store(record.inRect, rect);
}

void setOutRect(pi::FilterRecord& record, const IntRect& rect) {
    if (usesBigDocument(record))
        store(record.bigDocumentData->outRect32, rect);
    else
        store(record.outRect, rect);
}

void setMaskRect(pi::FilterRecord& record, const IntRect& rect) {
    if (usesBigDocument(record))
        store(record.bigDocumentData->maskRect32, rect);
    else
        store(record.maskRect, rect);
}

void emptyRequestRects(pi::FilterRecord& record) {
    setInRect(record, {});
    setOutRect(record, {});
    setMaskRect(record, {});
}

}  // namespace mirel
