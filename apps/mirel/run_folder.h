// The filter's temporary folder while a command runs it: a private folder inside the
// user's, so that the filter starts from exactly the settings the command gives, and
// what a run confirms becomes the user's last settings only once every output of the
// command is in place.
#pragma once

#include <optional>
#include <string>

#include "apps/host/descriptor.h"
#include "settings/settings_record.h"

namespace mirel::host_app {

// Where a run starts: the filter's own defaults, the last confirmed settings (the
// user's cached settings as they are), or the given settings. `settings` holds them
// in every case.
struct RunStart {
    enum class From { Defaults, Last, Settings };
    From from = From::Defaults;
    SettingsRecord settings{};
};

class RunFolder {
  public:
    RunFolder() = default;
    // Removes the folder and points the filter back at the user's folder.
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Makes the folder inside the user's temporary folder and points the filter (in this
    // process) at it; first removes the folders that runs of ended processes left there.
    // False with one line in `error`.
    bool create(std::string& error);

    // The user's cached settings: the last confirmed settings, in the user's folder.
    const std::string& userCachePath() const { return userCache_; }

    // Lays out the start of the next run: what the filter finds as its cached settings,
    // and in `offer` the descriptor to offer it (nullopt: none); the given settings go
    // as handoverFor says. False
    // with one line in `error` when the folder cannot be written.
    bool prepare(const RunStart& start, std::optional<hostkit::Descriptor>& offer,
                 std::string& error);

    // The settings the last confirmed run kept, copied over the user's cached settings
    // (a new file renamed over the old); nothing when the filter kept none. False with
    // one line in `error` when the copy failed; the user's file is then as it was.
    bool keepConfirmedSettings(std::string& error);

  private:
    std::string folder_;
    std::string userCache_;
    std::string oldTmpdir_;
    bool hadTmpdir_ = false;
};

}  // namespace mirel::host_app
