// A module that links the resources library without using it.
extern "C" __attribute__((visibility("default"))) int mirelPiplProbe() {
    return 1;
}
