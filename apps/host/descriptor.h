// The host's descriptors: the keyed values a filter hands over when it finishes and
// reads back when an action is played, and the bytes the host keeps them in while a
// descriptor handle is out with the filter.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/pi/pi_types.h"

namespace mirel::hostkit {

// Descriptor types this host keeps (as GetKey reports them).
inline constexpr std::uint32_t kDescTypeInteger = pi::fourCC("long");
inline constexpr std::uint32_t kDescTypeFloat = pi::fourCC("doub");
inline constexpr std::uint32_t kDescTypeUnitFloat = pi::fourCC("UntF");
inline constexpr std::uint32_t kDescTypeBoolean = pi::fourCC("bool");
inline constexpr std::uint32_t kDescTypeEnumerated = pi::fourCC("enum");
inline constexpr std::uint32_t kDescTypeClass = pi::fourCC("type");
inline constexpr std::uint32_t kDescTypeText = pi::fourCC("TEXT");
// The unit of a float offered as a unit float: a plain number.
inline constexpr std::uint32_t kDescUnitNone = pi::fourCC("#Nne");

// A value asked for with the procedure of another type.
inline constexpr pi::OSErr kErrWrongType = -1703;

// Bounds on what a descriptor may hold, so that a damaged one cannot make the host
// allocate without end.
inline constexpr std::size_t kMaxDescriptorItems = 4096;
inline constexpr std::size_t kMaxDescriptorText = 1 << 16;

struct DescriptorItem {
    std::uint32_t key = 0;
    std::uint32_t type = 0;  // one of the kDescType codes
    std::int32_t integer = 0;
    double number = 0.0;
    std::uint32_t unit = 0;       // unit floats
    std::uint32_t enumType = 0;   // enumerations: the enumeration's type ...
    std::uint32_t enumValue = 0;  // ... and the value; classes: the class
    bool boolean = false;
    std::string text;
};

bool operator==(const DescriptorItem& a, const DescriptorItem& b);

// Keys in the order they were put; a key put twice keeps its first place and its
// last value.
struct Descriptor {
    std::vector<DescriptorItem> items;

    const DescriptorItem* find(std::uint32_t key) const;
    void put(const DescriptorItem& item);
    bool operator==(const Descriptor& other) const { return items == other.items; }
};

DescriptorItem integerItem(std::uint32_t key, std::int32_t value);
DescriptorItem floatItem(std::uint32_t key, double value);
DescriptorItem enumeratedItem(std::uint32_t key, std::uint32_t enumType, std::uint32_t value);

// The bytes of a descriptor handle: a tag, the item count, then each item's key, type
// and value, little-endian.
std::vector<std::uint8_t> encodeDescriptor(const Descriptor& descriptor);
// Every length and count is checked; nullopt for bytes that are not such a descriptor.
std::optional<Descriptor> decodeDescriptor(std::span<const std::uint8_t> bytes);

}  // namespace mirel::hostkit
