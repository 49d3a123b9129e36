// Runs a test binary inside a machine of its own.
#include <gtest/gtest.h>

#include "support/temp_machine.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::filesystem::path root = qx::test::EnterScratchMachine();
    if (root.empty()) {
        return 1;
    }
    int result = RUN_ALL_TESTS();
    qx::test::LeaveScratchMachine(root);
    return result;
}
