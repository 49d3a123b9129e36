// The machine registry's cost per call: writing and reading values on an open key, walking
// 1000 subkeys and deleting a 1000-key tree.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace qp = qx::platform;

namespace {

qp::RegKey CreateKey(const std::string& path) {
    qp::RegKey key;
    qp::LONG result = qp::RegCreateKeyExA(qp::HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                          qp::KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
    if (result != 0) {
        key.Close();
    }
    return key;
}

std::vector<std::string> Names(const char* prefix, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back(prefix + std::to_string(i));
    }
    return names;
}

// Deletes a key and everything below it the way the program does: always the first subkey.
qp::LONG DeleteTree(qp::HKEY parent, const std::string& name) {
    qp::RegKey key;
    if (qp::LONG result =
            qp::RegOpenKeyExA(parent, name.c_str(), 0, qp::KEY_ALL_ACCESS, key.Receive())) {
        return result;
    }
    for (;;) {
        char child[300];
        qp::DWORD size = sizeof(child);
        qp::LONG result =
            qp::RegEnumKeyExA(key.Get(), 0, child, &size, nullptr, nullptr, nullptr, nullptr);
        if (result == 259) {
            break;
        }
        if (result != 0) {
            return result;
        }
        if ((result = DeleteTree(key.Get(), child)) != 0) {
            return result;
        }
    }
    key.Close();
    return qp::RegDeleteKeyA(parent, name.c_str());
}

void BM_RegSetValue(benchmark::State& state) {
    qp::RegKey key = CreateKey("Software\\QxBench\\Set");
    const std::vector<std::string> names = Names("Value", 1000);
    // The data changes on every call: rewriting identical bytes would leave the page clean and
    // measure a commit that writes nothing.
    std::string data = "C:\\Program Files\\Vendor\\Product\\driver00000000.dll";
    const size_t digits = data.find('0');
    size_t i = 0;
    for (auto _ : state) {
        std::snprintf(data.data() + digits, 9, "%08zu", i);
        data[digits + 8] = '.';
        qp::LONG result =
            qp::RegSetValueExA(key.Get(), names[i++ % names.size()].c_str(), 0, qp::REG_SZ,
                               reinterpret_cast<const qp::BYTE*>(data.c_str()),
                               static_cast<qp::DWORD>(data.size() + 1));
        if (result != 0) {
            state.SkipWithError("RegSetValueExA failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegSetValue)->UseRealTime();

void BM_RegQueryValue(benchmark::State& state) {
    qp::RegKey key = CreateKey("Software\\QxBench\\Get");
    const std::vector<std::string> names = Names("Value", 100);
    for (const std::string& name : names) {
        qp::RegSetValueExA(key.Get(), name.c_str(), 0, qp::REG_SZ,
                           reinterpret_cast<const qp::BYTE*>(name.c_str()),
                           static_cast<qp::DWORD>(name.size() + 1));
    }
    char buffer[256];
    size_t i = 0;
    for (auto _ : state) {
        qp::DWORD size = sizeof(buffer);
        qp::LONG result =
            qp::RegQueryValueExA(key.Get(), names[i++ % names.size()].c_str(), nullptr, nullptr,
                                 reinterpret_cast<qp::BYTE*>(buffer), &size);
        if (result != 0) {
            state.SkipWithError("RegQueryValueExA failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegQueryValue)->UseRealTime();

void BM_RegEnumKey1000(benchmark::State& state) {
    qp::RegKey key = CreateKey("Software\\QxBench\\Enum");
    for (const std::string& name : Names("Subkey", 1000)) {
        qp::RegKey child;
        qp::RegCreateKeyExA(key.Get(), name.c_str(), 0, nullptr, 0, qp::KEY_READ, nullptr,
                            child.Receive(), nullptr);
    }
    for (auto _ : state) {
        qp::DWORD index = 0;
        for (;; ++index) {
            char name[300];
            qp::DWORD size = sizeof(name);
            if (qp::RegEnumKeyExA(key.Get(), index, name, &size, nullptr, nullptr, nullptr,
                                  nullptr) != 0) {
                break;
            }
        }
        if (index != 1000) {
            state.SkipWithError("enumeration did not list 1000 subkeys");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_RegEnumKey1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A tree of 10 keys with 99 subkeys each (1000 keys), deleted depth first.
void BM_DeleteTree1000(benchmark::State& state) {
    qp::RegKey parent = CreateKey("Software\\QxBench");
    for (auto _ : state) {
        state.PauseTiming();
        for (int branch = 0; branch < 10; ++branch) {
            std::string base = "Software\\QxBench\\Tree\\Branch" + std::to_string(branch);
            for (int leaf = 0; leaf < 99; ++leaf) {
                CreateKey(base + "\\Leaf" + std::to_string(leaf));
            }
        }
        state.ResumeTiming();
        if (DeleteTree(parent.Get(), "Tree") != 0) {
            state.SkipWithError("deleting the tree failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_DeleteTree1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
