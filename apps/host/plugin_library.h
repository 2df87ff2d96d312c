// A filter plug-in library: its PiPL read from the file, then the library
// loaded by the system and its entry point found.
#pragma once

#include <string>

#include "apps/host/pipl_reader.h"
#include "platform/pi/pi.h"

namespace mirel::hostkit {

// Where a host program finds the filter: MIREL_PLUGIN when set, else
// "Mirel.8bf" beside the running program.
std::string defaultPluginPath();

class PluginLibrary {
  public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // False with one line in `error` when the file has no usable PiPL, is not
    // a filter of interface version 4.0 or lower, or does not load.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return entry_ != nullptr; }
    const PiplInfo& pipl() const { return pipl_; }
    pi::PluginEntry entry() const { return entry_; }

  private:
    void* handle_ = nullptr;
    pi::PluginEntry entry_ = nullptr;
    PiplInfo pipl_;
};

}  // namespace mirel::hostkit
