// Fuzzes loading a registry text file: the input is written to a file in a scratch machine and
// loaded into its registry. Every few hundred runs the registry is put back to what it held at
// the start, so it does not grow without bound.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "registry/registry_helper.h"

namespace {

namespace fs = std::filesystem;
namespace qp = qx::platform;

constexpr int kRunsBetweenCleanups = 200;
constexpr const char* kInputFile = "C:\\fuzz\\input.reg";

struct Root {
    qp::HKEY handle;
    const char* name;
};
const Root kRoots[] = {
    {qp::HKEY_LOCAL_MACHINE, "HKLM"},
    {qp::HKEY_CURRENT_USER, "HKCU"},
    {qp::HKEY_USERS, "HKU"},
    {qp::HKEY_CURRENT_CONFIG, "HKCC"},
};

// Every key (by root and folded path) and the value names it held at the start.
using Snapshot = std::map<std::string, std::set<std::string>>;

std::string Fold(const std::string& text) {
    return qp::ToUpperMb(text, qp::GetACP());
}

std::string Join(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "\\" + name;
}

std::vector<std::string> Subkeys(qp::HKEY key) {
    std::vector<std::string> names;
    for (qp::DWORD i = 0;; ++i) {
        char name[1024];
        qp::DWORD size = sizeof(name);
        if (qp::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != 0) {
            return names;
        }
        names.emplace_back(name, size);
    }
}

std::vector<std::string> ValueNames(qp::HKEY key) {
    std::vector<std::string> names;
    for (qp::DWORD i = 0;; ++i) {
        char name[16384];
        qp::DWORD size = sizeof(name);
        if (qp::RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != 0) {
            return names;
        }
        names.emplace_back(name, size);
    }
}

void Record(qp::HKEY root, const std::string& tag, const std::string& path, Snapshot* snapshot) {
    qp::RegKey key;
    if (qp::RegOpenKeyExA(root, path.c_str(), 0, qp::KEY_READ, key.Receive()) != 0) {
        return;
    }
    std::set<std::string>& values = (*snapshot)[tag + "\\" + Fold(path)];
    for (const std::string& name : ValueNames(key.Get())) {
        values.insert(Fold(name));
    }
    for (const std::string& name : Subkeys(key.Get())) {
        Record(root, tag, Join(path, name), snapshot);
    }
}

void DeleteTree(qp::HKEY root, const std::string& path) {
    {
        qp::RegKey key;
        if (qp::RegOpenKeyExA(root, path.c_str(), 0, qp::KEY_ALL_ACCESS, key.Receive()) != 0) {
            return;
        }
        for (const std::string& name : Subkeys(key.Get())) {
            DeleteTree(root, Join(path, name));
        }
    }
    qp::SetKeyDenyDelete(root, path.c_str(), false);
    qp::RegDeleteKeyA(root, path.c_str());
}

// Removes what was added since the snapshot: new keys with their subtrees, new values.
void Restore(qp::HKEY root, const std::string& tag, const std::string& path,
             const Snapshot& snapshot) {
    auto known = snapshot.find(tag + "\\" + Fold(path));
    if (known == snapshot.end()) {
        DeleteTree(root, path);
        return;
    }
    qp::RegKey key;
    if (qp::RegOpenKeyExA(root, path.c_str(), 0, qp::KEY_ALL_ACCESS, key.Receive()) != 0) {
        return;
    }
    for (const std::string& name : ValueNames(key.Get())) {
        if (known->second.count(Fold(name)) == 0) {
            qp::RegDeleteValueA(key.Get(), name.c_str());
        }
    }
    for (const std::string& name : Subkeys(key.Get())) {
        Restore(root, tag, Join(path, name), snapshot);
    }
}

struct FuzzMachine {
    fs::path root;
    fs::path input;
    Snapshot snapshot;
    int runs = 0;

    ~FuzzMachine() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

FuzzMachine* g_machine = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    char pattern[] = "/tmp/qxfuzz-registry-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    static FuzzMachine machine;
    machine.root = pattern;
    ::setenv("QXSETUP_MACHINE", pattern, 1);
    ::unsetenv(qp::kTransientDrivesEnv);
    qp::MachineSetup setup;
    setup.os = "xp";  // one registry view: the snapshot sees all the loader writes
    std::string error;
    if (!qp::Machine::Create(machine.root, setup, true, &error)) {
        std::fprintf(stderr, "cannot create the fuzz machine: %s\n", error.c_str());
        std::abort();
    }
    fs::create_directories(machine.root / "drive_c" / "fuzz");
    machine.input = machine.root / "drive_c" / "fuzz" / "input.reg";
    for (const Root& r : kRoots) {
        Record(r.handle, r.name, "", &machine.snapshot);
    }
    g_machine = &machine;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(g_machine->input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    CRegistry::LoadFromFile(kInputFile);
    if (++g_machine->runs % kRunsBetweenCleanups == 0) {
        for (const Root& r : kRoots) {
            Restore(r.handle, r.name, "", g_machine->snapshot);
        }
    }
    return 0;
}
