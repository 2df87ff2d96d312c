// A module that links the resources library without using it.
#if defined(_WIN32)
#define MIREL_PROBE_EXPORT __declspec(dllexport)
#else
#define MIREL_PROBE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" MIREL_PROBE_EXPORT int mirelPiplProbe() {
    return 1;
}
