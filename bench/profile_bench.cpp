// Loading and reading profile files the size of a real disc's configure file.
#include <benchmark/benchmark.h>

#include <string>

#include "profile/profile.h"
#include "support/temp_machine.h"

namespace {

std::string MakeProfile(int sections, int keys) {
    std::string text = "// generated\r\n[STRINGS]\r\n%NAME% = \"Velmora\"\r\n";
    for (int s = 0; s < sections; ++s) {
        text += "[SECTION_" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < keys; ++k) {
            text += "KEY_" + std::to_string(k) + " = value %NAME% " + std::to_string(k) +
                    " // comment\r\n";
        }
    }
    return text;
}

std::string WriteFixture(const std::string& name, int sections, int keys) {
    std::filesystem::path host;
    std::string folder = qx::test::MakeTestFolder(name, &host);
    qx::test::WriteHostFile(host / "bench.qxi", MakeProfile(sections, keys));
    return folder + "\\bench.qxi";
}

void BM_LoadProfile(benchmark::State& state) {
    std::string path = WriteFixture("bench_load", static_cast<int>(state.range(0)), 20);
    for (auto _ : state) {
        CProfile profile(path.c_str(), nullptr);
        benchmark::DoNotOptimize(profile.IsLoaded());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 20);
}
BENCHMARK(BM_LoadProfile)->Arg(50)->Arg(200);

void BM_GetStringLastSection(benchmark::State& state) {
    std::string path = WriteFixture("bench_get", 200, 20);
    CProfile profile(path.c_str(), nullptr);
    char buffer[4096];
    for (auto _ : state) {
        buffer[0] = '\0';
        benchmark::DoNotOptimize(
            profile.GetString("SECTION_199", "KEY_19", buffer, sizeof(buffer), true));
    }
}
BENCHMARK(BM_GetStringLastSection);

}  // namespace
