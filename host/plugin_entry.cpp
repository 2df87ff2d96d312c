// The library's one exported entry point. It installs the parts of the run
// that live outside host/ and hands every call to the lifecycle.
#include "host/plugin_main.h"
#include "ui/refusal.h"

namespace {

void showRefusal(mirel::FilterContext&) { mirel::ui::showRefusalDialog(nullptr); }

void installServices(mirel::LifecycleServices& services) {
    services.showRefusal = &showRefusal;
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
