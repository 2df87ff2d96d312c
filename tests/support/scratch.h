// Helpers shared by the test suites: a scratch folder of each test's own and
// the paths the build hands to every test binary through its environment.
#pragma once

#include <string>

namespace mirel::testing {

// A fresh, empty folder for the running test (created on first use, emptied
// if it exists), ending with the system's separator. Tests never see each
// other's files.
std::string scratchFolder();

// The test's scratch folder; the filter keeps its temporary files in a fresh
// folder of the test's own beside it (kept when the scratch folder is asked for
// again), so that no other test's cached settings reach this one.
std::string useOwnTemporaryFolder();
// That temporary folder of the running test, ending with the system's separator.
std::string ownTemporaryFolder();

// Points the temporary folder of this process (and of the plug-in loaded into
// it) at `folder` while it lives, and puts the old one back afterwards.
class TemporaryFolderScope {
  public:
    explicit TemporaryFolderScope(std::string folder);
    ~TemporaryFolderScope();
    TemporaryFolderScope(const TemporaryFolderScope&) = delete;
    TemporaryFolderScope& operator=(const TemporaryFolderScope&) = delete;
    const std::string& folder() const { return folder_; }

  private:
    std::string folder_;
    std::string old_;
    bool hadOld_ = false;
};

// The built plug-in library, the built host program and the source tree.
std::string pluginPath();
std::string hostPath();
std::string sourceDir();

}  // namespace mirel::testing
