// The number of worker threads a render starts: the processors this process may
// run on, unless MIREL_THREADS names a positive number (tests and benchmarks).
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/os/backend.h"
#include "platform/os/os.h"

namespace mirel::os {

namespace {

bool parsePositive(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed <= 0 || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int processorCount() {
    int value = 0;
    if (const auto fromEnvironment = environmentVariable("MIREL_THREADS");
        fromEnvironment && parsePositive(*fromEnvironment, value))
        return value;
    const int count = detail::systemProcessorCount();
    return count > 0 ? count : 1;
}

}  // namespace mirel::os
