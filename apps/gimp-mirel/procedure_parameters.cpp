// The filter's scripting terminology as procedure parameters, and a call's values
// back into the host program's settings.
#include "apps/gimp-mirel/procedure_parameters.h"

#include <cctype>
#include <cstdio>

#include "apps/host/descriptor.h"
#include "apps/mirel/setting_names.h"
#include "platform/pi/four_cc.h"

namespace mirel::gimp_app {

namespace {

std::string numberText(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

std::string rangeText(double low, double high) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g..%g", low, high);
    return buffer;
}

// ", low..high" of a key with a range; empty otherwise.
std::string scriptingRangeText(std::uint32_t key, double& low, double& high) {
    return host_app::scriptingRange(key, low, high) ? ", " + rangeText(low, high) : std::string();
}

}  // namespace

std::string databaseName(const std::string& terminologyName) {
    std::string name;
    for (const char c : terminologyName)
        name += c == ' ' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

ProcedureParameters::ProcedureParameters(const hostkit::Terminology& terminology)
    : terminology_(terminology) {
    auto add = [&](GimpPDBArgType type, std::string name, std::string description) {
        texts_.push_back(std::move(name));
        gchar* nameText = texts_.back().data();
        texts_.push_back(std::move(description));
        definitions_.push_back({type, nameText, texts_.back().data()});
    };
    add(GIMP_PDB_INT32, "run-mode", "The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }");
    add(GIMP_PDB_IMAGE, "image", "Input image");
    add(GIMP_PDB_DRAWABLE, "drawable", "Input drawable");
    add(GIMP_PDB_STRING, "settings-file",
        "A settings file (.q8r) the run takes its settings from; empty: the numbers that "
        "follow");
    for (const hostkit::TermParameter& parameter : terminology.parameters) {
        std::string description = parameter.name;
        double low = 0.0, high = 0.0;
        GimpPDBArgType type = GIMP_PDB_INT32;
        if (parameter.type == hostkit::kDescTypeFloat) {
            type = GIMP_PDB_FLOAT;
            description += scriptingRangeText(parameter.key, low, high);
        } else if (const hostkit::TermEnumeration* values =
                       terminology.enumeration(parameter.type)) {
            type = GIMP_PDB_STRING;
            description += ": one of";
            for (std::size_t i = 0; i < values->values.size(); ++i)
                description += (i ? ", \"" : " \"") + values->values[i].name + "\"";
        } else {
            description += scriptingRangeText(parameter.key, low, high);
            description += ", a whole number";
            if (parameter.key == pi::fourCC("0022")) description += " (1 simple, 2 complex)";
        }
        keys_.push_back(pi::fourCCText(parameter.key, pi::FourCCStyle::Bare));
        names_.push_back(databaseName(parameter.name));
        add(type, names_.back(), description);
    }
}

bool ProcedureParameters::sourcesOfCall(const GimpParam* values, int count,
                                        host_app::ScriptingSources& sources,
                                        std::string& error) const {
    if (count != this->count()) {
        error = "plug-in-mirel takes " + std::to_string(this->count()) + " parameters, not " +
                std::to_string(count) + " (the procedure browser lists them)";
        return false;
    }
    sources = {};
    const char* file = values[kFixedParameters - 1].data.d_string;
    if (file && *file) {
        sources.settingsFile = file;
        return true;
    }
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        const GimpParam& value = values[kFixedParameters + int(i)];
        std::string text;
        switch (value.type) {
            case GIMP_PDB_INT32:
                text = std::to_string(value.data.d_int32);
                break;
            case GIMP_PDB_FLOAT:
                text = numberText(value.data.d_float);
                break;
            case GIMP_PDB_STRING:
                text = value.data.d_string ? value.data.d_string : "";
                break;
            default:
                error = names_[i] + ": a value of the wrong type";
                return false;
        }
        sources.sets.push_back(keys_[i] + "=" + text);
    }
    return true;
}

std::string ProcedureParameters::callerError(const std::string& settingError) const {
    // The host program's messages begin "--set NAME: ..." or "--set NAME=VALUE: ...",
    // NAME being the key or the terminology's name.
    const std::string prefix = "--set ";
    if (settingError.compare(0, prefix.size(), prefix) != 0) return settingError;
    const std::string rest = settingError.substr(prefix.size());
    const std::size_t end = rest.find_first_of(":=");
    const std::string named = rest.substr(0, end);
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (named == keys_[i] || named == terminology_.parameters[i].name)
            return names_[i] + rest.substr(named.size());
    return rest;
}

}  // namespace mirel::gimp_app
