// The host's descriptor record and its bytes inside a descriptor handle.
#include "apps/host/descriptor.h"

#include <algorithm>
#include <cstring>

namespace mirel::hostkit {

namespace {

constexpr std::uint32_t kDescriptorTag = pi::fourCC("MDsc");

struct Writer {
    std::vector<std::uint8_t> bytes;
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(std::uint8_t(v >> (8 * i)));
    }
    void f64(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        u32(std::uint32_t(bits));
        u32(std::uint32_t(bits >> 32));
    }
};

struct Reader {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool ok = true;

    bool need(std::size_t n) {
        if (!ok || bytes.size() - at < n) ok = false;
        return ok;
    }
    std::uint8_t u8() { return need(1) ? bytes[at++] : 0; }
    std::uint32_t u32() {
        if (!need(4)) return 0;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= std::uint32_t(bytes[at + i]) << (8 * i);
        at += 4;
        return v;
    }
    double f64() {
        const std::uint64_t low = u32();
        const std::uint64_t bits = low | (std::uint64_t(u32()) << 32);
        double v = 0.0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
};

}  // namespace

bool operator==(const DescriptorItem& a, const DescriptorItem& b) {
    if (a.key != b.key || a.type != b.type) return false;
    switch (a.type) {
        case kDescTypeInteger:
            return a.integer == b.integer;
        case kDescTypeFloat:
            return a.number == b.number;
        case kDescTypeUnitFloat:
            return a.unit == b.unit && a.number == b.number;
        case kDescTypeBoolean:
            return a.boolean == b.boolean;
        case kDescTypeEnumerated:
            return a.enumType == b.enumType && a.enumValue == b.enumValue;
        case kDescTypeClass:
            return a.enumValue == b.enumValue;
        case kDescTypeText:
            return a.text == b.text;
        default:
            return true;
    }
}

const DescriptorItem* Descriptor::find(std::uint32_t key) const {
    for (const DescriptorItem& item : items)
        if (item.key == key) return &item;
    return nullptr;
}

void Descriptor::put(const DescriptorItem& item) {
    for (DescriptorItem& existing : items) {
        if (existing.key == item.key) {
            existing = item;
            return;
        }
    }
    items.push_back(item);
}

DescriptorItem integerItem(std::uint32_t key, std::int32_t value) {
    DescriptorItem item;
    item.key = key;
    item.type = kDescTypeInteger;
    item.integer = value;
    return item;
}

DescriptorItem floatItem(std::uint32_t key, double value) {
    DescriptorItem item;
    item.key = key;
    item.type = kDescTypeFloat;
    item.number = value;
    return item;
}

DescriptorItem enumeratedItem(std::uint32_t key, std::uint32_t enumType, std::uint32_t value) {
    DescriptorItem item;
    item.key = key;
    item.type = kDescTypeEnumerated;
    item.enumType = enumType;
    item.enumValue = value;
    return item;
}

std::vector<std::uint8_t> encodeDescriptor(const Descriptor& descriptor) {
    Writer w;
    w.u32(kDescriptorTag);
    w.u32(std::uint32_t(descriptor.items.size()));
    for (const DescriptorItem& item : descriptor.items) {
        w.u32(item.key);
        w.u32(item.type);
        switch (item.type) {
            case kDescTypeInteger:
                w.u32(std::uint32_t(item.integer));
                break;
            case kDescTypeFloat:
                w.f64(item.number);
                break;
            case kDescTypeUnitFloat:
                w.u32(item.unit);
                w.f64(item.number);
                break;
            case kDescTypeBoolean:
                w.u8(item.boolean ? 1 : 0);
                break;
            case kDescTypeEnumerated:
                w.u32(item.enumType);
                w.u32(item.enumValue);
                break;
            case kDescTypeClass:
                w.u32(item.enumValue);
                break;
            case kDescTypeText:
                w.u32(std::uint32_t(item.text.size()));
                for (char c : item.text) w.u8(std::uint8_t(c));
                break;
            default:
                break;
        }
    }
    return w.bytes;
}

std::optional<Descriptor> decodeDescriptor(std::span<const std::uint8_t> bytes) {
    Reader r;
    r.bytes = bytes;
    if (r.u32() != kDescriptorTag || !r.ok) return std::nullopt;
    const std::uint32_t count = r.u32();
    if (!r.ok || count > kMaxDescriptorItems) return std::nullopt;
    Descriptor descriptor;
    descriptor.items.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        DescriptorItem item;
        item.key = r.u32();
        item.type = r.u32();
        switch (item.type) {
            case kDescTypeInteger:
                item.integer = std::int32_t(r.u32());
                break;
            case kDescTypeFloat:
                item.number = r.f64();
                break;
            case kDescTypeUnitFloat:
                item.unit = r.u32();
                item.number = r.f64();
                break;
            case kDescTypeBoolean:
                item.boolean = r.u8() != 0;
                break;
            case kDescTypeEnumerated:
                item.enumType = r.u32();
                item.enumValue = r.u32();
                break;
            case kDescTypeClass:
                item.enumValue = r.u32();
                break;
            case kDescTypeText: {
                const std::uint32_t length = r.u32();
                if (length > kMaxDescriptorText || !r.need(length)) return std::nullopt;
                item.text.assign(reinterpret_cast<const char*>(bytes.data() + r.at), length);
                r.at += length;
                break;
            }
            default:
                return std::nullopt;
        }
        if (!r.ok) return std::nullopt;
        descriptor.items.push_back(std::move(item));
    }
    if (r.at != bytes.size()) return std::nullopt;
    return descriptor;
}

}  // namespace mirel::hostkit
