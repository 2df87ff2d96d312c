// The names a user gives the filter's settings on the command line: the dialog's
// names (horizon, style, glue, color, ...) with their ranges, and the scripting
// terminology's names and keys, which keep working.
#pragma once

#include <cstdio>
#include <string>

#include "apps/host/descriptor_terminology.h"
#include "settings/settings_record.h"

namespace mirel::host_app {

// One NAME=VALUE over `record`. The dialog's names come first (case is ignored):
//   horizon offset perspective altitude spin waviness complexity brilliance blur size
//   height undulation  (numbers; each slider's integer twin follows it)
//   style=simple|complex  glue=<mode name or 1..69>  color=#rrggbb  glitter=#rrggbb
//   (#rrrrggggbbbb for every bit)  light=x,y,z  center=x,y  seed=N
// then the terminology's names and four-character keys, with the values a descriptor
// gives them ("water red=30" puts 30 into the colour's high byte; a slider's float and
// its integer twin each set both). Anything else is refused with one line in `error`
// that names the range, or the closest names; `record` is then left as it was.
bool applySetting(const std::string& setting, const hostkit::Terminology& terminology,
                  SettingsRecord& record, std::string& error);

// The dialog's range of a scripting key, where it has one; false for keys without
// one (the seed, the glue).
bool scriptingRange(std::uint32_t key, double& low, double& high);

// The dialog's names as `mirel params` lists them: name, values and the filter's
// default, one line each.
void printSettingNames(std::FILE* out);

// "#rrrrggggbbbb" of a colour.
std::string colourText(const Rgb16& colour);

// A record as a freshly prepared filter holds it: zero-filled memory after its reset.
SettingsRecord freshSettings();

}  // namespace mirel::host_app
