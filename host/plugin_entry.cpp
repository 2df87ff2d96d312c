// The library's one exported entry point.
extern "C" __attribute__((visibility("default"))) void PluginMain(short, void*, long*, short* result) {
    if (result) *result = 0;
}
