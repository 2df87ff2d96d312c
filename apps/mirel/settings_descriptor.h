// The translation between the filter's settings records and descriptors, for the
// commands that take settings files: the filter's own scripting code, linked into
// this program, writes and reads the keys exactly as the plug-in does.
#pragma once

#include "apps/host/descriptor.h"
#include "settings/settings_record.h"

namespace mirel::host_app {

// Every parameter of `record` as the filter itself writes them at the end of a run.
hostkit::Descriptor descriptorFromSettings(const SettingsRecord& record);

// Stores the descriptor's known keys into `record` as the filter reads them.
void applyDescriptor(const hostkit::Descriptor& descriptor, SettingsRecord& record);

}  // namespace mirel::host_app
