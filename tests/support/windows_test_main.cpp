// The tests' main on Windows: GoogleTest's, after giving the process the
// temporary folder the test run names (Wine gives every program the one of its
// own registry, whatever the environment says).
#include <gtest/gtest.h>

#include "platform/os/os.h"

int main(int argc, char** argv) {
    if (const auto folder = mirel::os::environmentVariable("MIREL_TEST_TMP");
        folder && !folder->empty()) {
        mirel::os::setEnvironmentVariable("TMP", *folder);
        mirel::os::setEnvironmentVariable("TEMP", *folder);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
