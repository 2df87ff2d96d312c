// The settings a run of the filter starts from, and how they reach it whole: a run
// starts from the filter's defaults (or the last confirmed settings), then a settings
// file, an action file and NAME=VALUE settings, whatever ran before.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "apps/host/descriptor.h"
#include "apps/host/descriptor_terminology.h"
#include "image/tiled_image.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

namespace mirel::host_app {

// Where the settings of a run come from; each later source goes over the earlier ones.
struct ScriptingSources {
    bool last = false;  // start from the last confirmed settings, not the defaults
    std::string settingsFile;
    std::string actionFile;
    std::vector<std::string> sets;
    bool any() const { return !settingsFile.empty() || !actionFile.empty() || !sets.empty(); }
};

// The settings of the last confirmed run as the filter reads them at its start, from
// the cached-settings file at `cachePath`; false (and the defaults) when there is none.
bool readLastSettings(const std::string& cachePath, SettingsRecord& record);

// Reads the settings file at `path` over `record` (its thumbnail into `thumbnail`
// when given); false with one line in `error` when it is no settings file this
// program reads: missing, a folder, a pipe or device, no version it knows.
bool loadSettingsOrExplain(const std::string& path, SettingsRecord& record,
                           image::TiledImage* thumbnail, SettingsReadResult& result,
                           std::string& error);

// Composes the sources over the defaults, or over the last confirmed settings read
// from `cachePath`. An action file's colours at every bit are taken where its 8-bit
// keys still agree with them. False with one line in `error` for a source that cannot
// be read or a setting that is refused.
bool composeSettings(const ScriptingSources& sources, const hostkit::Terminology& terminology,
                     const std::string& cachePath, SettingsRecord& record, std::string& error);

// The text of a record: the action file of the descriptor the filter handed back, with
// the colours of the settings it confirmed at every bit beside it ("colours": the
// descriptor carries 8 bits a channel), so that playing the record back gives the
// same picture.
std::string recordText(const hostkit::Descriptor& recorded, const hostkit::Terminology& terminology,
                       const SettingsRecord& confirmed);

// The keys that take a freshly prepared filter to `wanted`: those whose values differ
// from the defaults (a colour channel at all 16 bits).
hostkit::Descriptor changedKeys(const SettingsRecord& wanted);

// How `wanted` reaches a freshly prepared filter: as a descriptor of the changed keys,
// or as the bytes of its cached settings (when a colour needs all 16 bits, which a
// descriptor carries as 8). Whichever the filter reads back exactly; when neither does
// (16-bit colours with a light or centre between the steps the cached settings keep),
// the descriptor.
struct Handover {
    std::optional<hostkit::Descriptor> descriptor;
    std::vector<std::uint8_t> cachedSettings;  // used when there is no descriptor
};
Handover handoverFor(const SettingsRecord& wanted);

}  // namespace mirel::host_app
