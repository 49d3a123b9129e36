// Runs the benchmarks inside a machine of their own.
#include <benchmark/benchmark.h>

#include "support/temp_machine.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::filesystem::path root = qx::test::EnterScratchMachine();
    if (root.empty()) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qx::test::LeaveScratchMachine(root);
    return 0;
}
