// libFuzzer target for the host's descriptor reader: every input is decoded as the bytes
// of a descriptor handle. What decodes must encode to bytes of the same length and decode
// again to the same descriptor; then it is offered to a filter through the host's read
// procedures, read key by key as a filter reads it (every value with its own procedure and
// with the others, which must refuse it), each value stored the way the filter stores it,
// and written back through the write procedures to an equal descriptor.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "apps/host/call_scope.h"
#include "apps/host/descriptor.h"
#include "apps/host/descriptor_procs.h"
#include "host/scripting.h"
#include "settings/settings_record.h"

namespace {

using namespace mirel::hostkit;
namespace pi = mirel::pi;

// Handles as plain blocks, as the host keeps them.
class Handles final : public DescriptorHandles {
  public:
    pi::Handle makeHandle(const std::vector<std::uint8_t>& bytes) override {
        auto block = std::make_unique<Block>();
        block->bytes.assign(bytes.begin(), bytes.end());
        block->pointer = reinterpret_cast<char*>(block->bytes.data());
        pi::Handle handle = &block->pointer;
        blocks_[handle] = std::move(block);
        return handle;
    }
    std::optional<std::vector<std::uint8_t>> handleBytes(pi::Handle handle) override {
        const auto it = blocks_.find(handle);
        if (it == blocks_.end()) return std::nullopt;
        return it->second->bytes;
    }
    void disposeHandle(pi::Handle handle) override { blocks_.erase(handle); }

  private:
    struct Block {
        std::vector<std::uint8_t> bytes;
        char* pointer = nullptr;
    };
    std::map<pi::Handle, std::unique_ptr<Block>> blocks_;
};

bool sameBytes(const Descriptor& a, const Descriptor& b) {
    return encodeDescriptor(a) == encodeDescriptor(b);
}

// Reads the current item with each procedure: its own must answer, the others must not,
// except that integers and unit floats also read as floats, and the other two as unit
// floats (of no unit).
void readItem(const pi::ReadDescriptorProcs& procs, pi::PIReadDescriptor token,
              pi::DescriptorKeyID key, pi::DescriptorTypeID type, Handles& handles,
              const pi::WriteDescriptorProcs& out, pi::PIWriteDescriptor writer,
              mirel::SettingsRecord& record) {
    std::int32_t integer = 0;
    double number = 0.0;
    pi::DescriptorUnitID unit = 0;
    pi::Boolean boolean = 0;
    pi::DescriptorEnumID enumValue = 0;
    pi::DescriptorTypeID classId = 0;
    pi::Handle text = nullptr;
    std::uint32_t count = 0;
    unsigned char string[256] = {};
    const double low = -1000.0, high = 1000.0;

    const bool isInteger = procs.getIntegerProc(token, &integer) == pi::kNoErr;
    const bool isFloat = procs.getFloatProc(token, &number) == pi::kNoErr;
    const bool isUnitFloat = procs.getUnitFloatProc(token, &unit, &number) == pi::kNoErr;
    const bool isBoolean = procs.getBooleanProc(token, &boolean) == pi::kNoErr;
    const bool isEnum = procs.getEnumeratedProc(token, &enumValue) == pi::kNoErr;
    const bool isClass = procs.getClassProc(token, &classId) == pi::kNoErr;
    const bool isText = procs.getTextProc(token, &text) == pi::kNoErr;
    procs.getCountProc(token, &count);
    procs.getStringProc(token, string);
    procs.getPinnedIntegerProc(token, -100, 100, &integer);
    procs.getPinnedFloatProc(token, &low, &high, &number);
    procs.getPinnedUnitFloatProc(token, &low, &high, &unit, &number);
    const bool numeric =
        type == kDescTypeInteger || type == kDescTypeFloat || type == kDescTypeUnitFloat;
    if (isInteger != (type == kDescTypeInteger) || isUnitFloat != numeric || isFloat != numeric ||
        isBoolean != (type == kDescTypeBoolean) || isEnum != (type == kDescTypeEnumerated) ||
        isClass != (type == kDescTypeClass) || isText != (type == kDescTypeText))
        std::abort();

    // Again, unpinned, for the value as it is; then as the filter stores it, and back out.
    mirel::ScriptingValue value;
    value.key = key;
    value.type = type;
    switch (type) {
        case kDescTypeInteger:
            procs.getIntegerProc(token, &integer);
            value.integer = integer;
            out.putIntegerProc(writer, key, integer);
            break;
        case kDescTypeFloat:
            procs.getFloatProc(token, &number);
            value.number = number;
            out.putFloatProc(writer, key, &number);
            break;
        case kDescTypeUnitFloat:
            procs.getUnitFloatProc(token, &unit, &number);
            out.putUnitFloatProc(writer, key, unit, &number);
            break;
        case kDescTypeBoolean:
            out.putBooleanProc(writer, key, boolean);
            break;
        case kDescTypeEnumerated:
            value.enumValue = enumValue;
            out.putEnumeratedProc(writer, key, 0, enumValue);
            break;
        case kDescTypeClass:
            out.putClassProc(writer, key, classId);
            break;
        case kDescTypeText:
            if (text == nullptr || !handles.handleBytes(text)) std::abort();
            out.putTextProc(writer, key, text);
            handles.disposeHandle(text);
            break;
        default:
            std::abort();  // the decoder keeps no other type
    }
    mirel::applyScriptingValue(record, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::optional<Descriptor> decoded = decodeDescriptor(bytes);
    if (!decoded) return 0;
    const std::vector<std::uint8_t> encoded = encodeDescriptor(*decoded);
    if (encoded.size() != size) std::abort();
    const std::optional<Descriptor> again = decodeDescriptor(encoded);
    if (!again || !sameBytes(*again, *decoded)) std::abort();

    Handles handles;
    DescriptorServices services(handles);
    const CallScope<DescriptorServices> scope(&services);
    if (!services.offer(decoded)) std::abort();
    const pi::PIDescriptorParameters* parameters = services.parameters();
    const pi::ReadDescriptorProcs& in = *parameters->readDescriptorProcs;
    const pi::WriteDescriptorProcs& out = *parameters->writeDescriptorProcs;

    mirel::SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    mirel::fullReset(record);
    pi::DescriptorKeyID keys[] = {0};
    const pi::PIReadDescriptor token = in.openReadDescriptorProc(parameters->descriptor, keys);
    if (token == nullptr) std::abort();
    const pi::PIWriteDescriptor writer = out.openWriteDescriptorProc();
    if (writer == nullptr) std::abort();
    pi::DescriptorKeyID key = 0;
    pi::DescriptorTypeID type = 0;
    std::int32_t flags = 0;
    std::size_t items = 0;
    while (in.getKeyProc(token, &key, &type, &flags)) {
        readItem(in, token, key, type, handles, out, writer, record);
        ++items;
    }
    if (items != decoded->items.size()) std::abort();
    if (in.closeReadDescriptorProc(token) != pi::kNoErr) std::abort();

    // The write procedures hand back the descriptor read, as puts build it (a key put
    // twice keeps its first place and its last value), with the enumerations put without
    // their type, as the filter puts them.
    Descriptor expected;
    for (DescriptorItem item : decoded->items) {
        if (item.type == kDescTypeEnumerated) item.enumType = 0;
        expected.put(item);
    }
    pi::PIDescriptorHandle written = nullptr;
    if (out.closeWriteDescriptorProc(writer, &written) != pi::kNoErr || written == nullptr)
        std::abort();
    const auto writtenBytes = handles.handleBytes(written);
    const std::optional<Descriptor> copy =
        writtenBytes ? decodeDescriptor(*writtenBytes) : std::nullopt;
    if (!copy || !sameBytes(*copy, expected)) std::abort();
    if (services.openTokens() != 0) std::abort();
    return 0;
}
