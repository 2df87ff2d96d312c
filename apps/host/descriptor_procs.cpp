// The read and write procedures of the host's descriptor services. Every pointer a
// filter passes is checked; values are handed out only with the procedure of their
// type (integers also read as floats), anything else answers "wrong type".
#include "apps/host/descriptor_procs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "apps/host/call_scope.h"

namespace mirel::hostkit {

struct ReadToken {
    Descriptor descriptor;
    std::size_t next = 0;
    const DescriptorItem* current = nullptr;
};

struct WriteToken {
    Descriptor descriptor;
};

struct DescriptorCallbacks {
    static DescriptorServices* services() { return CallScope<DescriptorServices>::current(); }

    static ReadToken* readToken(pi::PIReadDescriptor token) {
        DescriptorServices* active = services();
        if (!active || !token) return nullptr;
        for (auto& owned : active->readTokens_)
            if (reinterpret_cast<pi::PIReadDescriptor>(owned.get()) == token) return owned.get();
        return nullptr;
    }
    static WriteToken* writeToken(pi::PIWriteDescriptor token) {
        DescriptorServices* active = services();
        if (!active || !token) return nullptr;
        for (auto& owned : active->writeTokens_)
            if (reinterpret_cast<pi::PIWriteDescriptor>(owned.get()) == token) return owned.get();
        return nullptr;
    }
    // The item GetKey last reported, if it has the wanted type.
    static const DescriptorItem* currentOf(pi::PIReadDescriptor token) {
        ReadToken* read = readToken(token);
        return read ? read->current : nullptr;
    }

    // ---- Reading ----

    static pi::PIReadDescriptor openRead(pi::PIDescriptorHandle handle, pi::DescriptorKeyID*) {
        DescriptorServices* active = services();
        if (!active || !handle) return nullptr;
        const auto bytes = active->handles_.handleBytes(handle);
        if (!bytes) return nullptr;
        auto descriptor = decodeDescriptor(*bytes);
        if (!descriptor) return nullptr;
        auto token = std::make_unique<ReadToken>();
        token->descriptor = std::move(*descriptor);
        active->readTokens_.push_back(std::move(token));
        return reinterpret_cast<pi::PIReadDescriptor>(active->readTokens_.back().get());
    }

    static pi::OSErr closeRead(pi::PIReadDescriptor token) {
        ReadToken* read = readToken(token);
        if (!read) return pi::kParamErr;
        auto& tokens = services()->readTokens_;
        tokens.erase(std::find_if(tokens.begin(), tokens.end(),
                                  [&](const auto& owned) { return owned.get() == read; }));
        return pi::kNoErr;
    }

    static pi::Boolean getKey(pi::PIReadDescriptor token, pi::DescriptorKeyID* key,
                              pi::DescriptorTypeID* type, std::int32_t* flags) {
        ReadToken* read = readToken(token);
        if (!read || read->next >= read->descriptor.items.size()) {
            if (read) read->current = nullptr;
            return 0;
        }
        read->current = &read->descriptor.items[read->next++];
        if (key) *key = read->current->key;
        if (type) *type = read->current->type;
        if (flags) *flags = 0;
        return 1;
    }

    static pi::OSErr getInteger(pi::PIReadDescriptor token, std::int32_t* value) {
        const DescriptorItem* item = currentOf(token);
        if (!item || !value) return pi::kParamErr;
        if (item->type != kDescTypeInteger) return kErrWrongType;
        *value = item->integer;
        return pi::kNoErr;
    }

    static pi::OSErr getFloat(pi::PIReadDescriptor token, pi::real64* value) {
        const DescriptorItem* item = currentOf(token);
        if (!item || !value) return pi::kParamErr;
        if (item->type == kDescTypeInteger)
            *value = item->integer;
        else if (item->type == kDescTypeFloat || item->type == kDescTypeUnitFloat)
            *value = item->number;
        else
            return kErrWrongType;
        return pi::kNoErr;
    }

    static pi::OSErr getUnitFloat(pi::PIReadDescriptor token, pi::DescriptorUnitID* unit,
                                  pi::real64* value) {
        const DescriptorItem* item = currentOf(token);
        if (!item || !value) return pi::kParamErr;
        const pi::OSErr error = getFloat(token, value);
        if (error == pi::kNoErr && unit)
            *unit = item->type == kDescTypeUnitFloat ? item->unit : kDescUnitNone;
        return error;
    }

    static pi::OSErr getBoolean(pi::PIReadDescriptor token, pi::Boolean* value) {
        const DescriptorItem* item = currentOf(token);
        if (!item || !value) return pi::kParamErr;
        if (item->type != kDescTypeBoolean) return kErrWrongType;
        *value = item->boolean ? 1 : 0;
        return pi::kNoErr;
    }

    static pi::OSErr getText(pi::PIReadDescriptor token, pi::Handle* value) {
        const DescriptorItem* item = currentOf(token);
        if (!item || !value) return pi::kParamErr;
        if (item->type != kDescTypeText) return kErrWrongType;
        *value = services()->handles_.makeHandle(
            std::vector<std::uint8_t>(item->text.begin(), item->text.end()));
        return *value ? pi::kNoErr : pi::kMemFullErr;
    }

    static pi::OSErr getEnumerated(pi::PIReadDescriptor token, pi::DescriptorEnumID* value) {
        const DescriptorItem* item = currentOf(token);
        if (!item || !value) return pi::kParamErr;
        if (item->type != kDescTypeEnumerated) return kErrWrongType;
        *value = item->enumValue;
        return pi::kNoErr;
    }

    static pi::OSErr getClass(pi::PIReadDescriptor token, pi::DescriptorTypeID* value) {
        const DescriptorItem* item = currentOf(token);
        if (!item || !value) return pi::kParamErr;
        if (item->type != kDescTypeClass) return kErrWrongType;
        *value = item->enumValue;
        return pi::kNoErr;
    }

    static pi::OSErr getCount(pi::PIReadDescriptor token, std::uint32_t* value) {
        std::int32_t integer = 0;
        const pi::OSErr error = getInteger(token, &integer);
        if (error != pi::kNoErr) return error;
        if (!value || integer < 0) return pi::kParamErr;
        *value = std::uint32_t(integer);
        return pi::kNoErr;
    }

    // A Pascal string: at most 255 characters.
    static pi::OSErr getString(pi::PIReadDescriptor token, unsigned char* value) {
        const DescriptorItem* item = currentOf(token);
        if (!item || !value) return pi::kParamErr;
        if (item->type != kDescTypeText) return kErrWrongType;
        const std::size_t length = std::min<std::size_t>(item->text.size(), 255);
        value[0] = static_cast<unsigned char>(length);
        std::memcpy(value + 1, item->text.data(), length);
        return pi::kNoErr;
    }

    static pi::OSErr getPinnedInteger(pi::PIReadDescriptor token, std::int32_t min,
                                      std::int32_t max, std::int32_t* value) {
        const pi::OSErr error = getInteger(token, value);
        if (error == pi::kNoErr && min <= max) *value = std::clamp(*value, min, max);
        return error;
    }

    static pi::OSErr getPinnedFloat(pi::PIReadDescriptor token, const pi::real64* min,
                                    const pi::real64* max, pi::real64* value) {
        const pi::OSErr error = getFloat(token, value);
        if (error == pi::kNoErr && min && max && *min <= *max)
            *value = std::clamp(*value, *min, *max);
        return error;
    }

    static pi::OSErr getPinnedUnitFloat(pi::PIReadDescriptor token, const pi::real64* min,
                                        const pi::real64* max, pi::DescriptorUnitID* unit,
                                        pi::real64* value) {
        const pi::OSErr error = getUnitFloat(token, unit, value);
        if (error == pi::kNoErr && min && max && *min <= *max)
            *value = std::clamp(*value, *min, *max);
        return error;
    }

    // This host keeps no aliases, references or objects in its actions.
    static pi::OSErr getUnsupportedHandle(pi::PIReadDescriptor, pi::Handle*) {
        return kErrWrongType;
    }
    static pi::OSErr getSimpleReference(pi::PIReadDescriptor, void*) { return kErrWrongType; }
    static pi::OSErr getObject(pi::PIReadDescriptor, pi::DescriptorTypeID*,
                               pi::PIDescriptorHandle*) {
        return kErrWrongType;
    }

    // ---- Writing ----

    static pi::PIWriteDescriptor openWrite() {
        DescriptorServices* active = services();
        if (!active) return nullptr;
        active->writeTokens_.push_back(std::make_unique<WriteToken>());
        return reinterpret_cast<pi::PIWriteDescriptor>(active->writeTokens_.back().get());
    }

    static pi::OSErr closeWrite(pi::PIWriteDescriptor token, pi::PIDescriptorHandle* handle) {
        WriteToken* write = writeToken(token);
        if (!write) return pi::kParamErr;
        pi::Handle made = services()->handles_.makeHandle(encodeDescriptor(write->descriptor));
        auto& tokens = services()->writeTokens_;
        tokens.erase(std::find_if(tokens.begin(), tokens.end(),
                                  [&](const auto& owned) { return owned.get() == write; }));
        if (handle) *handle = made;
        return made ? pi::kNoErr : pi::kMemFullErr;
    }

    static pi::OSErr put(pi::PIWriteDescriptor token, const DescriptorItem& item) {
        WriteToken* write = writeToken(token);
        if (!write) return pi::kParamErr;
        if (write->descriptor.items.size() >= kMaxDescriptorItems &&
            !write->descriptor.find(item.key))
            return pi::kMemFullErr;
        write->descriptor.put(item);
        return pi::kNoErr;
    }

    static pi::OSErr putInteger(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                                std::int32_t value) {
        return put(token, integerItem(key, value));
    }
    static pi::OSErr putFloat(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                              const pi::real64* value) {
        if (!value) return pi::kParamErr;
        return put(token, floatItem(key, *value));
    }
    static pi::OSErr putUnitFloat(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                                  pi::DescriptorUnitID unit, const pi::real64* value) {
        if (!value) return pi::kParamErr;
        DescriptorItem item = floatItem(key, *value);
        item.type = kDescTypeUnitFloat;
        item.unit = unit;
        return put(token, item);
    }
    static pi::OSErr putBoolean(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                                pi::Boolean value) {
        DescriptorItem item;
        item.key = key;
        item.type = kDescTypeBoolean;
        item.boolean = value != 0;
        return put(token, item);
    }
    static pi::OSErr putText(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                             pi::Handle text) {
        DescriptorServices* active = services();
        if (!active) return pi::kParamErr;
        const auto bytes = active->handles_.handleBytes(text);
        if (!bytes || bytes->size() > kMaxDescriptorText) return pi::kParamErr;
        DescriptorItem item;
        item.key = key;
        item.type = kDescTypeText;
        item.text.assign(bytes->begin(), bytes->end());
        return put(token, item);
    }
    static pi::OSErr putEnumerated(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                                   pi::DescriptorTypeID type, pi::DescriptorEnumID value) {
        return put(token, enumeratedItem(key, type, value));
    }
    static pi::OSErr putClass(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                              pi::DescriptorTypeID type) {
        DescriptorItem item;
        item.key = key;
        item.type = kDescTypeClass;
        item.enumValue = type;
        return put(token, item);
    }
    static pi::OSErr putCount(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                              std::uint32_t value) {
        if (value > std::uint32_t(INT32_MAX)) return pi::kParamErr;
        return putInteger(token, key, std::int32_t(value));
    }
    static pi::OSErr putString(pi::PIWriteDescriptor token, pi::DescriptorKeyID key,
                               const unsigned char* text) {
        if (!text) return pi::kParamErr;
        DescriptorItem item;
        item.key = key;
        item.type = kDescTypeText;
        item.text.assign(reinterpret_cast<const char*>(text + 1), text[0]);
        return put(token, item);
    }
    static pi::OSErr putUnsupportedHandle(pi::PIWriteDescriptor, pi::DescriptorKeyID, pi::Handle) {
        return pi::kParamErr;
    }
    static pi::OSErr putSimpleReference(pi::PIWriteDescriptor, pi::DescriptorKeyID, const void*) {
        return pi::kParamErr;
    }
    static pi::OSErr putObject(pi::PIWriteDescriptor, pi::DescriptorKeyID, pi::DescriptorTypeID,
                               pi::PIDescriptorHandle) {
        return pi::kParamErr;
    }
};

DescriptorServices::DescriptorServices(DescriptorHandles& handles) : handles_(handles) {
    using C = DescriptorCallbacks;
    readProcs_ = {0,
                  18,
                  &C::openRead,
                  &C::closeRead,
                  &C::getKey,
                  &C::getInteger,
                  &C::getFloat,
                  &C::getUnitFloat,
                  &C::getBoolean,
                  &C::getText,
                  &C::getUnsupportedHandle,
                  &C::getEnumerated,
                  &C::getClass,
                  &C::getSimpleReference,
                  &C::getObject,
                  &C::getCount,
                  &C::getString,
                  &C::getPinnedInteger,
                  &C::getPinnedFloat,
                  &C::getPinnedUnitFloat};
    writeProcs_ = {0,
                   16,
                   &C::openWrite,
                   &C::closeWrite,
                   &C::putInteger,
                   &C::putFloat,
                   &C::putUnitFloat,
                   &C::putBoolean,
                   &C::putText,
                   &C::putUnsupportedHandle,
                   &C::putEnumerated,
                   &C::putClass,
                   &C::putSimpleReference,
                   &C::putObject,
                   &C::putCount,
                   &C::putString,
                   &C::putClass,
                   &C::putObject};
    parameters_.descriptorParametersVersion = 0;
    parameters_.playInfo = pi::kPlugInDialogDontDisplay;
    parameters_.recordInfo = pi::kPlugInDialogOptional;
    parameters_.descriptor = nullptr;
    parameters_.readDescriptorProcs = &readProcs_;
    parameters_.writeDescriptorProcs = &writeProcs_;
}

DescriptorServices::~DescriptorServices() = default;

bool DescriptorServices::offer(const std::optional<Descriptor>& descriptor) {
    if (parameters_.descriptor) handles_.disposeHandle(parameters_.descriptor);
    parameters_.descriptor = nullptr;
    if (!descriptor) return true;
    parameters_.descriptor = handles_.makeHandle(encodeDescriptor(*descriptor));
    return parameters_.descriptor != nullptr;
}

std::optional<Descriptor> DescriptorServices::current() const {
    const auto bytes = handles_.handleBytes(parameters_.descriptor);
    if (!bytes) return std::nullopt;
    return decodeDescriptor(*bytes);
}

}  // namespace mirel::hostkit
