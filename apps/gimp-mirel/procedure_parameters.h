// The procedure's parameters in GIMP's procedure database: the run mode, image and
// drawable, a settings file, then the filter's scripting parameters under their
// terminology names (in the database's spelling) with the dialog's ranges, so that
// Script-Fu and Python-Fu scripts call the filter as an action would.
#pragma once

#include <libgimp/gimp.h>

#include <deque>
#include <string>
#include <vector>

#include "apps/host/descriptor_terminology.h"
#include "apps/mirel/run_settings.h"

namespace mirel::gimp_app {

// run-mode, image, drawable, settings-file.
inline constexpr int kFixedParameters = 4;

class ProcedureParameters {
  public:
    explicit ProcedureParameters(const hostkit::Terminology& terminology);

    // The definitions for gimp_install_procedure; they live as long as this object.
    GimpParamDef* definitions() { return definitions_.data(); }
    int count() const { return int(definitions_.size()); }

    // What a non-interactive call asks for: the settings file alone when one is named
    // (the numbers after it are then not read), else every scripting parameter as a
    // setting in the terminology's order, so that a slider's float, which comes after
    // its whole-number twin, decides. False with one line in `error` that names the
    // parameter for a call of the wrong shape.
    bool sourcesOfCall(const GimpParam* values, int count, host_app::ScriptingSources& sources,
                       std::string& error) const;

    // A setting's error as the procedure's caller should read it: under the
    // parameter's name in the database.
    std::string callerError(const std::string& settingError) const;

  private:
    const hostkit::Terminology& terminology_;
    std::deque<std::string> texts_;  // stable storage for the definitions' strings
    std::vector<GimpParamDef> definitions_;
    std::vector<std::string> keys_;   // the four-character key of each scripting parameter
    std::vector<std::string> names_;  // its name in the database
};

// "water red" -> "water-red", "X center" -> "x-center".
std::string databaseName(const std::string& terminologyName);

}  // namespace mirel::gimp_app
