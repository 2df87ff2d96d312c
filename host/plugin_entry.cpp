// The library's one exported entry point. It installs the parts of the run
// that live outside host/ and hands every call to the lifecycle.
#include "host/plugin_main.h"

namespace {

void installServices(mirel::LifecycleServices& services) {
    (void)services;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void PluginMain(std::int16_t selector,
                                                                  void* record,
                                                                  std::intptr_t* data,
                                                                  std::int16_t* result) {
    static const bool installed = [] {
        installServices(mirel::filterContext().services);
        return true;
    }();
    (void)installed;
    mirel::pluginMain(selector, record, data, result);
}
