// Reading and writing the filter's settings as a host descriptor, keyed by the
// terminology of the AETE resource.
#include "host/scripting.h"

#include <array>
#include <cfloat>
#include <cmath>

#include "host/plugin_main.h"
#include "platform/os/os.h"
#include "resources/aete.h"
#include "settings/parameter_block.h"

namespace mirel {

namespace {

using pi::fourCC;

constexpr std::int16_t kDescriptorSuiteVersion = 0;
constexpr std::int16_t kReadProcCount = 18;
constexpr std::int16_t kWriteProcCount = 16;
constexpr std::int16_t kUsableHandleProcsVersion = 1;
constexpr std::int16_t kUsableHandleProcCount = 8;

// Where a key's value lives in the record.
struct Field {
    enum class Kind { None, Channel, Integer, Float, Glue };
    Kind kind = Kind::None;
    std::uint16_t* channel = nullptr;
    std::int32_t* integer = nullptr;
    float* number = nullptr;
};

Field channel(std::uint16_t& value) {
    return {Field::Kind::Channel, &value, nullptr, nullptr};
}
Field integer(std::int32_t& value) {
    return {Field::Kind::Integer, nullptr, &value, nullptr};
}
Field number(float& value) {
    return {Field::Kind::Float, nullptr, nullptr, &value};
}

Field fieldOf(SettingsRecord& r, pi::OSType key) {
    switch (key) {
        case fourCC("0001"):
            return channel(r.waterColor.red);
        case fourCC("0002"):
            return channel(r.waterColor.green);
        case fourCC("0003"):
            return channel(r.waterColor.blue);
        case fourCC("0004"):
            return integer(r.heightInt);
        case fourCC("0005"):
            return integer(r.horizonInt);
        case fourCC("0006"):
            return integer(r.perspectiveInt);
        case fourCC("0007"):
            return integer(r.undulationInt);
        case fourCC("0008"):
            return integer(r.sizeInt);
        case fourCC("0009"):
            return integer(r.offsetInt);
        case fourCC("0010"):
            return integer(r.wavinessInt);
        case fourCC("0011"):
            return integer(r.blurInt);
        case fourCC("0012"):
            return integer(r.complexityInt);
        case fourCC("0013"):
            return integer(r.altitudeInt);
        case kScriptKeyGlue:
            return {Field::Kind::Glue, nullptr, &r.outputMode, nullptr};
        case fourCC("0015"):
            return integer(r.brillianceInt);
        case fourCC("0016"):
            return integer(r.randomSeed);
        case fourCC("0017"):
            return number(r.center.x);
        case fourCC("0018"):
            return number(r.center.y);
        case fourCC("0019"):
            return number(r.horizon);
        case fourCC("0020"):
            return number(r.offset);
        case fourCC("0021"):
            return number(r.spin);
        case fourCC("0022"):
            return integer(r.waterStyle);
        case fourCC("0023"):
            return number(r.lightDirection.x);
        case fourCC("0024"):
            return number(r.lightDirection.y);
        case fourCC("0025"):
            return number(r.lightDirection.z);
        case fourCC("0026"):
            return channel(r.glitterColor.red);
        case fourCC("0027"):
            return channel(r.glitterColor.green);
        case fourCC("0028"):
            return channel(r.glitterColor.blue);
        case fourCC("0029"):
            return number(r.perspective);
        case fourCC("0030"):
            return number(r.altitude);
        case fourCC("0031"):
            return number(r.waviness);
        case fourCC("0032"):
            return number(r.complexity);
        case fourCC("0033"):
            return number(r.brilliance);
        case fourCC("0034"):
            return number(r.blur);
        case fourCC("0035"):
            return number(r.size);
        case fourCC("0036"):
            return number(r.height);
        case fourCC("0037"):
            return number(r.undulation);
        default:
            return {};
    }
}

// A double outside the float range would be undefined to convert; it saturates.
float toFloat(double value) {
    if (std::isnan(value)) return float(value);
    if (value > double(FLT_MAX)) return std::isinf(value) ? INFINITY : FLT_MAX;
    if (value < -double(FLT_MAX)) return std::isinf(value) ? -INFINITY : -FLT_MAX;
    return float(value);
}

const pi::PIDescriptorParameters* descriptorParameters(const pi::FilterRecord& record) {
    return record.descriptorParameters;
}

bool handleProcsUsable(const pi::HandleProcs* procs) {
    using H = pi::HandleProcs;
    return procs && procs->handleProcsVersion == kUsableHandleProcsVersion &&
           procs->numHandleProcs >= kUsableHandleProcCount && pi::procPresent(procs, &H::newProc) &&
           pi::procPresent(procs, &H::disposeProc) && pi::procPresent(procs, &H::getSizeProc) &&
           pi::procPresent(procs, &H::setSizeProc);
}

// A descriptor handle goes back through the host's handle suite; a host without a
// usable one handed it over as system global memory.
void disposeDescriptor(const pi::FilterRecord& record, pi::Handle handle) {
    if (!handle) return;
    if (handleProcsUsable(record.handleProcs))
        record.handleProcs->disposeProc(handle);
    else
        os::globalFree(reinterpret_cast<os::GlobalHandle>(handle));
}

// The key list offered when a descriptor is opened: every parameter, then a zero key.
std::array<pi::DescriptorKeyID, kScriptingParameterCount + 1> readKeyList() {
    std::array<pi::DescriptorKeyID, kScriptingParameterCount + 1> keys{};
    std::size_t i = 0;
    for (const ScriptingParameter& parameter : scriptingParameters()) keys[i++] = parameter.key;
    return keys;
}

// Reads the current key's value with the procedure of its known type. A failed read
// leaves the field as it was: the host wrote nothing we could store.
void readValue(const pi::ReadDescriptorProcs& procs, pi::PIReadDescriptor token,
               const ScriptingParameter& parameter, SettingsRecord& record) {
    ScriptingValue value;
    value.key = parameter.key;
    value.type = parameter.type;
    pi::OSErr error = pi::kNoErr;
    if (parameter.type == kScriptTypeInteger) {
        error = procs.getIntegerProc(token, &value.integer);
    } else if (parameter.type == kScriptTypeFloat) {
        error = procs.getFloatProc(token, &value.number);
    } else {
        error = procs.getEnumeratedProc(token, &value.enumValue);
    }
    if (error == pi::kNoErr) applyScriptingValue(record, value);
}

// The parameter block of the current call, locked for the caller when the lifecycle
// has not locked it (Finish writes the descriptor before its lock step).
class ParameterAccess {
  public:
    explicit ParameterAccess(FilterContext& ctx) : ctx_(ctx) {
        if (ctx.params) {
            params_ = ctx.params;
            return;
        }
        const pi::HandleProcs* procs = ctx.record->handleProcs;
        handle_ = ctx.record->parameters;
        if (!handle_ || !pi::procPresent(procs, &pi::HandleProcs::lockProc) ||
            !pi::procPresent(procs, &pi::HandleProcs::unlockProc))
            return;
        // A size of 0 is a host that does not tell sizes (see the lifecycle's lock).
        if (pi::procPresent(procs, &pi::HandleProcs::getSizeProc)) {
            const std::int32_t size = procs->getSizeProc(handle_);
            if (size > 0 && std::size_t(size) < kParameterBlockSize) return;
        }
        locked_ = true;
        params_ = asParameterBlock(procs->lockProc(handle_, 1), kParameterBlockSize);
    }
    ~ParameterAccess() {
        if (locked_) ctx_.record->handleProcs->unlockProc(handle_);
    }
    ParameterAccess(const ParameterAccess&) = delete;
    ParameterAccess& operator=(const ParameterAccess&) = delete;

    ParameterBlock* get() const { return params_; }

  private:
    FilterContext& ctx_;
    pi::Handle handle_ = nullptr;
    bool locked_ = false;
    ParameterBlock* params_ = nullptr;
};

}  // namespace

std::vector<ScriptingValue> scriptingValuesOf(SettingsRecord& record) {
    syncMirrors(record);
    record.version = kCurrentSettingsVersion;
    std::vector<ScriptingValue> values;
    values.reserve(kScriptingParameterCount + 1);
    ScriptingValue version;
    version.key = kScriptKeyVersion;
    version.type = kScriptTypeInteger;
    version.integer = kCurrentSettingsVersion;
    values.push_back(version);
    for (const ScriptingParameter& parameter : scriptingParameters()) {
        ScriptingValue value;
        value.key = parameter.key;
        value.type = parameter.type;
        const Field field = fieldOf(record, parameter.key);
        switch (field.kind) {
            case Field::Kind::Channel:
                value.integer = *field.channel >> 8;
                break;
            case Field::Kind::Integer:
                value.integer = *field.integer;
                break;
            case Field::Kind::Float:
                value.number = double(*field.number);
                break;
            case Field::Kind::Glue: {
                const pi::OSType glue = glueValueForMode(*field.integer);
                value.enumValue = glue != 0 ? glue : kGlueValueNone;
                break;
            }
            case Field::Kind::None:
                continue;
        }
        values.push_back(value);
    }
    return values;
}

bool applyScriptingValue(SettingsRecord& record, const ScriptingValue& value) {
    const Field field = fieldOf(record, value.key);
    switch (field.kind) {
        case Field::Kind::Channel:
            *field.channel = std::uint16_t(std::uint32_t(value.integer) << 8);
            return true;
        case Field::Kind::Integer:
            *field.integer = value.integer;
            return true;
        case Field::Kind::Float:
            *field.number = toFloat(value.number);
            return true;
        case Field::Kind::Glue:
            *field.integer = modeForGlueValue(value.enumValue);
            return true;
        case Field::Kind::None:
            break;
    }
    return false;
}

bool descriptorServicesUsable(const pi::FilterRecord& record) {
    const pi::PIDescriptorParameters* parameters = descriptorParameters(record);
    if (!parameters || parameters->descriptorParametersVersion != kDescriptorSuiteVersion)
        return false;
    const pi::ReadDescriptorProcs* read = parameters->readDescriptorProcs;
    const pi::WriteDescriptorProcs* write = parameters->writeDescriptorProcs;
    if (!read || read->readDescriptorProcsVersion != kDescriptorSuiteVersion ||
        read->numReadDescriptorProcs < kReadProcCount)
        return false;
    if (!write || write->writeDescriptorProcsVersion != kDescriptorSuiteVersion ||
        write->numWriteDescriptorProcs < kWriteProcCount)
        return false;
    return read->openReadDescriptorProc && read->closeReadDescriptorProc && read->getKeyProc &&
           read->getIntegerProc && read->getFloatProc && read->getEnumeratedProc &&
           write->openWriteDescriptorProc && write->closeWriteDescriptorProc &&
           write->putIntegerProc && write->putFloatProc && write->putEnumeratedProc;
}

bool hostIgnoresDescriptorOnReading(const pi::FilterRecord& record) {
    return record.hostSig == fourCC("PSP8") || record.hostSig == fourCC("PSP9");
}

bool scriptingParametersPresent(FilterContext& ctx) {
    const pi::FilterRecord& record = *ctx.record;
    if (hostIgnoresDescriptorOnReading(record) || !descriptorServicesUsable(record)) return false;
    const pi::PIDescriptorParameters& parameters = *record.descriptorParameters;
    auto keys = readKeyList();
    pi::PIReadDescriptor token =
        parameters.readDescriptorProcs->openReadDescriptorProc(parameters.descriptor, keys.data());
    if (!token) return false;
    parameters.readDescriptorProcs->closeReadDescriptorProc(token);
    return true;
}

void readScriptingParameters(FilterContext& ctx) {
    pi::FilterRecord& record = *ctx.record;
    if (hostIgnoresDescriptorOnReading(record) || !descriptorServicesUsable(record)) return;
    if (!ctx.params || !ctx.run) return;
    pi::PIDescriptorParameters& parameters = *record.descriptorParameters;
    const pi::ReadDescriptorProcs& procs = *parameters.readDescriptorProcs;
    SettingsRecord& settings = ctx.params->settings;

    auto keys = readKeyList();
    pi::PIReadDescriptor token = procs.openReadDescriptorProc(parameters.descriptor, keys.data());
    if (token) {
        // Keys the descriptor lacks take their defaults, not the cached settings.
        applyDefaults(settings);
        pi::DescriptorKeyID key = 0;
        pi::DescriptorTypeID type = 0;
        std::int32_t flags = 0;
        while (procs.getKeyProc(token, &key, &type, &flags)) {
            if (const ScriptingParameter* parameter = findScriptingParameter(key))
                readValue(procs, token, *parameter, settings);
        }
        procs.closeReadDescriptorProc(token);
        disposeDescriptor(record, parameters.descriptor);
        parameters.descriptor = nullptr;
    }
    upgradeAfterReading(settings);
    ctx.run->showDialog = parameters.playInfo == pi::kPlugInDialogDisplay ? 1 : 0;
}

void writeScriptingParameters(FilterContext& ctx) {
    pi::FilterRecord& record = *ctx.record;
    if (!descriptorServicesUsable(record)) return;
    pi::PIDescriptorParameters& parameters = *record.descriptorParameters;
    const pi::WriteDescriptorProcs& procs = *parameters.writeDescriptorProcs;
    const ParameterAccess access(ctx);
    if (!access.get()) return;

    pi::PIWriteDescriptor token = procs.openWriteDescriptorProc();
    if (!token) return;
    for (const ScriptingValue& value : scriptingValuesOf(access.get()->settings)) {
        if (value.type == kScriptTypeInteger)
            procs.putIntegerProc(token, value.key, value.integer);
        else if (value.type == kScriptTypeFloat)
            procs.putFloatProc(token, value.key, &value.number);
        else
            procs.putEnumeratedProc(token, value.key, value.type, value.enumValue);
    }
    disposeDescriptor(record, parameters.descriptor);
    parameters.descriptor = nullptr;
    pi::PIDescriptorHandle written = nullptr;
    procs.closeWriteDescriptorProc(token, &written);
    parameters.descriptor = written;
    parameters.recordInfo = pi::kPlugInDialogOptional;
}

}  // namespace mirel
