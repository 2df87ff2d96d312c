// Host profiles by name, applied to the host's options.
#include "apps/host/host_profile.h"

namespace mirel::hostkit {

namespace {

bool applyPart(std::string_view part, HostOptions& options) {
    using Suite = HostOptions::DescriptorSuite;
    if (part == "full") return true;
    if (part == "no-big-document") {
        options.offerBigDocument = false;
    } else if (part == "no-scripting") {
        options.offerDescriptors = false;
    } else if (part == "scripting-v0") {
        options.descriptorSuite = Suite::VersionZero;
    } else if (part == "scripting-no-procs") {
        options.descriptorSuite = Suite::WithoutProcs;
    } else if (part == "handle-size-zero") {
        options.reportHandleSizes = false;
    } else if (part == "empty-suites") {
        options.offerEmptySuites = true;
    } else if (part == "failing-colours") {
        options.offerFailingColorServices = true;
    } else if (part == "no-sampling") {
        options.sampleInput = false;
    } else if (part == "no-padding") {
        options.supportPadding = false;
    } else if (part == "minimal") {
        for (const char* each : kMinimalProfileParts) applyPart(each, options);
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool applyHostProfile(std::string_view profile, HostOptions& options, std::string& error) {
    std::size_t start = 0;
    while (start <= profile.size()) {
        const std::size_t comma = profile.find(',', start);
        const std::string_view part = profile.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (!applyPart(part, options)) {
            error = "unknown host profile \"" + std::string(part) +
                    "\"; use full, minimal, or a list of no-big-document, no-scripting, "
                    "scripting-v0, scripting-no-procs, handle-size-zero, empty-suites, "
                    "failing-colours, no-sampling, no-padding";
            return false;
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return true;
}

bool profileOffersScripting(const HostOptions& options) {
    return options.offerDescriptors &&
           options.descriptorSuite == HostOptions::DescriptorSuite::Usable;
}

}  // namespace mirel::hostkit
