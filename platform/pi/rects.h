// Reading and writing the rectangles of the FilterRecord, for the plug-in and
// the host alike. A host that offers
// big documents and has its 32-bit flag set is read and written through its
// 32-bit rectangles; every other host, including one whose bigDocumentData is
// null, through the 16-bit fields.
#pragma once

#include <cstdint>

#include "platform/pi/filter_record.h"

namespace mirel {

struct IntRect {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool operator==(const IntRect&) const = default;
};

struct IntPoint {
    std::int32_t v = 0, h = 0;
    bool operator==(const IntPoint&) const = default;
};

bool usesBigDocument(const pi::FilterRecord& record);

IntRect filterRectOf(const pi::FilterRecord& record);
IntRect inRectOf(const pi::FilterRecord& record);
IntRect outRectOf(const pi::FilterRecord& record);
IntRect maskRectOf(const pi::FilterRecord& record);
IntPoint floatCoordOf(const pi::FilterRecord& record);
IntPoint imageSizeOf(const pi::FilterRecord& record);

void setInRect(pi::FilterRecord& record, const IntRect& rect);
void setOutRect(pi::FilterRecord& record, const IntRect& rect);
void setMaskRect(pi::FilterRecord& record, const IntRect& rect);

// Empties the request rectangles so the host sends and takes nothing more.
void emptyRequestRects(pi::FilterRecord& record);

}  // namespace mirel
