#include "platform/registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/machine.h"
#include "platform/registry_seed.h"
#include "platform/registry_store.h"
#include "platform/security.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

using qp::BYTE;
using qp::DWORD;
using qp::HKEY;
using qp::LONG;
using qp::RegKey;

namespace {

const BYTE* Bytes(const std::string& text) {
    return reinterpret_cast<const BYTE*>(text.data());
}

// A REG_SZ as the callers store it: the text with its NUL.
LONG SetText(HKEY key, const char* name, const std::string& text, DWORD type = qp::REG_SZ) {
    return qp::RegSetValueExA(key, name, 0, type, Bytes(text), static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
    return qp::RegSetValueExA(key, name, 0, qp::REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof(value));
}

LONG Create(HKEY root, const std::string& path, RegKey* key, qp::REGSAM sam = qp::KEY_ALL_ACCESS,
            DWORD* disposition = nullptr) {
    return qp::RegCreateKeyExA(root, path.c_str(), 0, nullptr, qp::REG_OPTION_NON_VOLATILE, sam,
                               nullptr, key->Receive(), disposition);
}

LONG Open(HKEY root, const std::string& path, RegKey* key, qp::REGSAM sam = qp::KEY_READ) {
    return qp::RegOpenKeyExA(root, path.c_str(), 0, sam, key->Receive());
}

// Reads a value whole: its type and bytes, or the error.
LONG Query(HKEY key, const char* name, DWORD* type, std::string* data) {
    DWORD size = 0;
    if (LONG result = qp::RegQueryValueExA(key, name, nullptr, type, nullptr, &size)) {
        return result;
    }
    data->assign(size, '\0');
    return qp::RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data->data()),
                                &size);
}

// The text of a REG_SZ value under root\path ("" with a test failure otherwise).
std::string ReadText(HKEY root, const std::string& path, const char* name,
                     qp::REGSAM sam = qp::KEY_READ) {
    RegKey key;
    LONG opened = Open(root, path, &key, sam);
    EXPECT_EQ(opened, 0) << path;
    DWORD type = 0;
    std::string data;
    EXPECT_EQ(Query(key.Get(), name, &type, &data), 0) << path << " " << name;
    EXPECT_EQ(type, qp::REG_SZ);
    return data.empty() ? "" : data.substr(0, data.size() - 1);
}

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[300];
        DWORD size = sizeof(name);
        LONG result =
            qp::RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result != 0) {
            EXPECT_EQ(result, 259);
            return names;
        }
        EXPECT_EQ(size, std::strlen(name));
        names.emplace_back(name, size);
    }
}

std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[300];
        DWORD size = sizeof(name);
        LONG result =
            qp::RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result != 0) {
            EXPECT_EQ(result, 259);
            return names;
        }
        names.emplace_back(name, size);
    }
}

TEST(Registry, CreateSetQueryDeleteRoundTrip) {
    RegKey key;
    DWORD disposition = 0;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxBasic\\Deep\\Deeper", &key,
                     qp::KEY_ALL_ACCESS, &disposition),
              0);
    EXPECT_EQ(disposition, qp::REG_CREATED_NEW_KEY);
    // The parents were made on the way.
    RegKey parent;
    ASSERT_EQ(Open(qp::HKEY_CURRENT_USER, "Software\\QxBasic\\Deep", &parent), 0);
    RegKey again;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxBasic\\Deep\\Deeper", &again,
                     qp::KEY_ALL_ACCESS, &disposition),
              0);
    EXPECT_EQ(disposition, qp::REG_OPENED_EXISTING_KEY);

    const std::string binary("\x00\x01\xFF\x7F", 4);
    const std::string multi("one\0two\0\0", 9);
    ASSERT_EQ(SetText(key.Get(), "Text", "hello"), 0);
    ASSERT_EQ(SetText(key.Get(), "Expand", "%SystemRoot%\\x", qp::REG_EXPAND_SZ), 0);
    ASSERT_EQ(SetDword(key.Get(), "Number", 0xDEADBEEF), 0);
    ASSERT_EQ(qp::RegSetValueExA(key.Get(), "Bin", 0, qp::REG_BINARY, Bytes(binary), 4), 0);
    ASSERT_EQ(qp::RegSetValueExA(key.Get(), "Multi", 0, qp::REG_MULTI_SZ, Bytes(multi), 9), 0);
    ASSERT_EQ(qp::RegSetValueExA(key.Get(), "Empty", 0, qp::REG_BINARY, nullptr, 0), 0);
    ASSERT_EQ(SetText(key.Get(), nullptr, "default"), 0);

    const struct {
        const char* name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"Text", qp::REG_SZ, std::string("hello\0", 6)},
        {"Expand", qp::REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15)},
        {"Number", qp::REG_DWORD, std::string("\xEF\xBE\xAD\xDE", 4)},
        {"Bin", qp::REG_BINARY, binary},
        {"Multi", qp::REG_MULTI_SZ, multi},
        {"Empty", qp::REG_BINARY, ""},
        {"", qp::REG_SZ, std::string("default\0", 8)},
    };
    // Read through another handle to the same key: nothing is cached per handle.
    for (const auto& c : cases) {
        DWORD type = 99;
        std::string data;
        ASSERT_EQ(Query(again.Get(), c.name, &type, &data), 0) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(data, c.data) << c.name;
    }
    DWORD number = 0;
    DWORD size = sizeof(number);
    ASSERT_EQ(qp::RegQueryValueExA(key.Get(), "Number", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&number), &size),
              0);
    EXPECT_EQ(number, 0xDEADBEEFu);

    // Overwriting changes the type too.
    ASSERT_EQ(SetDword(key.Get(), "Text", 7), 0);
    DWORD type = 0;
    std::string data;
    ASSERT_EQ(Query(key.Get(), "Text", &type, &data), 0);
    EXPECT_EQ(type, qp::REG_DWORD);

    ASSERT_EQ(qp::RegDeleteValueA(key.Get(), "Text"), 0);
    EXPECT_EQ(Query(key.Get(), "Text", &type, &data), 2);
    EXPECT_EQ(qp::RegDeleteValueA(key.Get(), "Text"), 2);

    key.Close();
    again.Close();
    ASSERT_EQ(qp::RegDeleteKeyA(parent.Get(), "Deeper"), 0);
    RegKey gone;
    EXPECT_EQ(Open(qp::HKEY_CURRENT_USER, "Software\\QxBasic\\Deep\\Deeper", &gone), 2);
    EXPECT_EQ(gone.Get(), nullptr);
}

TEST(Registry, SmallBufferGetsMoreDataAndTheSizeNeeded) {
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxSizes", &key), 0);
    ASSERT_EQ(SetText(key.Get(), "Name", "abcdef"), 0);  // 7 bytes stored

    DWORD size = 0;
    ASSERT_EQ(qp::RegQueryValueExA(key.Get(), "Name", nullptr, nullptr, nullptr, &size), 0);
    EXPECT_EQ(size, 7u);

    char buffer[16] = {};
    size = 6;
    EXPECT_EQ(qp::RegQueryValueExA(key.Get(), "Name", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer), &size),
              234);
    EXPECT_EQ(size, 7u);
    size = 7;
    ASSERT_EQ(qp::RegQueryValueExA(key.Get(), "Name", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer), &size),
              0);
    EXPECT_STREQ(buffer, "abcdef");

    // Enumeration: a name buffer without room for the NUL, then a data buffer too small.
    char name[8];
    DWORD name_size = 4;  // "Name" needs 5
    DWORD data_size = sizeof(buffer);
    EXPECT_EQ(qp::RegEnumValueA(key.Get(), 0, name, &name_size, nullptr, nullptr,
                                reinterpret_cast<BYTE*>(buffer), &data_size),
              234);
    name_size = sizeof(name);
    data_size = 3;
    EXPECT_EQ(qp::RegEnumValueA(key.Get(), 0, name, &name_size, nullptr, nullptr,
                                reinterpret_cast<BYTE*>(buffer), &data_size),
              234);
    EXPECT_EQ(data_size, 7u);
    name_size = sizeof(name);
    data_size = 0;
    DWORD type = 0;
    ASSERT_EQ(
        qp::RegEnumValueA(key.Get(), 0, name, &name_size, nullptr, &type, nullptr, &data_size), 0);
    EXPECT_EQ(std::string(name), "Name");
    EXPECT_EQ(name_size, 4u);
    EXPECT_EQ(data_size, 7u);
    EXPECT_EQ(type, qp::REG_SZ);

    RegKey child;
    ASSERT_EQ(Create(key.Get(), "LongerName", &child), 0);
    name_size = 10;  // "LongerName" needs 11
    EXPECT_EQ(qp::RegEnumKeyExA(key.Get(), 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
              234);
}

TEST(Registry, NamesCompareWithoutCaseAndKeepTheirCase) {
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxCase\\MixedCase", &key), 0);
    RegKey upper;
    ASSERT_EQ(Open(qp::HKEY_LOCAL_MACHINE, "system\\QXCASE\\mixedcase", &upper), 0);
    ASSERT_EQ(SetText(key.Get(), "ValueName", "first"), 0);
    ASSERT_EQ(SetText(key.Get(), "VALUENAME", "second"), 0);
    EXPECT_EQ(ValueNames(key.Get()), std::vector<std::string>{"ValueName"});
    EXPECT_EQ(ReadText(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxCase\\MIXEDCASE", "valuename"), "second");

    DWORD disposition = 0;
    RegKey again;
    ASSERT_EQ(Create(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QXCASE\\MIXEDCASE", &again,
                     qp::KEY_ALL_ACCESS, &disposition),
              0);
    EXPECT_EQ(disposition, qp::REG_OPENED_EXISTING_KEY);
    RegKey parent;
    ASSERT_EQ(Open(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxCase", &parent), 0);
    EXPECT_EQ(SubkeyNames(parent.Get()), std::vector<std::string>{"MixedCase"});

    // Doubled and outer backslashes name the same key.
    RegKey slashes;
    EXPECT_EQ(Open(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\\\QxCase\\MixedCase\\", &slashes), 0);
}

TEST(Registry, DoubleByteNamesFoldOnlyTheirSingleByteLetters) {
    // In code page 932, 0x83 leads a two-byte character whose trail byte 0x61 is no letter a;
    // in 1252 the same bytes are two characters and the a folds.
    const struct {
        qp::UINT code_page;
        bool distinct;
    } cases[] = {{932, true}, {1252, false}};
    for (const auto& c : cases) {
        fs::path root =
            qx::test::MachineRoot() / "machines" / ("fold" + std::to_string(c.code_page));
        fs::remove_all(root);
        fs::create_directories(root);
        std::string error;
        auto store = qp::RegistryStore::Open(root, c.code_page, &error);
        ASSERT_TRUE(store) << error;
        const qp::RegKeyId hklm = qp::HiveKey(qp::RegHive::kLocalMachine);
        qp::RegKeyId lower = 0;
        qp::RegKeyId upper = 0;
        bool created = false;
        ASSERT_EQ(store->CreateKey(hklm,
                                   {"Fold",
                                    "\x83"
                                    "ax"},
                                   "", true, &lower, &created),
                  0);
        EXPECT_TRUE(created);
        ASSERT_EQ(store->CreateKey(hklm,
                                   {"Fold",
                                    "\x83"
                                    "AX"},
                                   "", true, &upper, &created),
                  0);
        EXPECT_EQ(created, c.distinct) << c.code_page;
        EXPECT_EQ(lower != upper, c.distinct) << c.code_page;
        // The letter after the double-byte character folds in both.
        qp::RegKeyId same = 0;
        ASSERT_EQ(store->OpenKey(hklm,
                                 {"FOLD",
                                  "\x83"
                                  "aX"},
                                 &same),
                  0);
        EXPECT_EQ(same, lower);
    }
}

TEST(Registry, SubkeysEnumerateSortedAndValuesInCreationOrder) {
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxOrder", &key), 0);
    for (const char* name : {"b", "C", "a", "_x", "B2"}) {
        RegKey child;
        ASSERT_EQ(Create(key.Get(), name, &child), 0) << name;
    }
    // Folded to upper case: '_' sorts after the letters.
    EXPECT_EQ(SubkeyNames(key.Get()), (std::vector<std::string>{"a", "b", "B2", "C", "_x"}));

    for (const char* name : {"z", "a", "M"}) {
        ASSERT_EQ(SetText(key.Get(), name, name), 0);
    }
    ASSERT_EQ(SetText(key.Get(), "A", "replaced"), 0);  // keeps its place and its name
    EXPECT_EQ(ValueNames(key.Get()), (std::vector<std::string>{"z", "a", "M"}));
    ASSERT_EQ(qp::RegDeleteValueA(key.Get(), "z"), 0);
    ASSERT_EQ(SetText(key.Get(), "y", "y"), 0);
    EXPECT_EQ(ValueNames(key.Get()), (std::vector<std::string>{"a", "M", "y"}));
}

// Enumeration continues from where the previous call stopped only while nothing changed:
// after a change, index i is again the i-th entry of the key as it is now.
TEST(Registry, EnumerationIndexesFollowChangesMadeBetweenCalls) {
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxEnumChanges", &key), 0);
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        RegKey child;
        ASSERT_EQ(Create(key.Get(), name, &child), 0);
        ASSERT_EQ(SetText(key.Get(), name, name), 0);
    }
    std::string error;
    auto other = qp::RegistryStore::Open(qx::test::MachineRoot(), 1252, &error);
    ASSERT_TRUE(other) << error;
    qp::RegKeyId id = 0;
    ASSERT_EQ(
        other->OpenKey(qp::HiveKey(qp::RegHive::kCurrentUser), {"Software", "QxEnumChanges"}, &id),
        0);

    auto subkey_at = [&](DWORD index) {
        char name[16];
        DWORD size = sizeof(name);
        LONG result =
            qp::RegEnumKeyExA(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
        return result == 0 ? std::string(name) : "error " + std::to_string(result);
    };
    auto value_at = [&](DWORD index) {
        char name[16];
        DWORD size = sizeof(name);
        LONG result =
            qp::RegEnumValueA(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
        return result == 0 ? std::string(name) : "error " + std::to_string(result);
    };
    EXPECT_EQ(subkey_at(0), "a");
    EXPECT_EQ(subkey_at(1), "b");
    ASSERT_EQ(qp::RegDeleteKeyA(key.Get(), "a"), 0);  // through this process's connection
    EXPECT_EQ(subkey_at(2), "d");
    EXPECT_EQ(subkey_at(3), "e");
    ASSERT_EQ(other->DeleteKey(id, {"b"}), 0);  // through another connection
    EXPECT_EQ(subkey_at(3), "error 259");
    EXPECT_EQ(subkey_at(2), "e");

    EXPECT_EQ(value_at(0), "a");
    EXPECT_EQ(value_at(1), "b");
    ASSERT_EQ(qp::RegDeleteValueA(key.Get(), "a"), 0);
    EXPECT_EQ(value_at(2), "d");
    ASSERT_EQ(other->DeleteValue(id, "b"), 0);
    EXPECT_EQ(value_at(2), "e");
    EXPECT_EQ(value_at(3), "error 259");
}

TEST(Registry, LastWriteTimeFollowsValueAndSubkeyChanges) {
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxLastWrite\\Key", &key), 0);
    RegKey parent;
    ASSERT_EQ(Open(qp::HKEY_CURRENT_USER, "Software\\QxLastWrite", &parent), 0);
    auto info_time = [](HKEY handle) {
        qp::FILETIME time;
        EXPECT_EQ(qp::RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, &time),
                  0);
        return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    };
    auto enum_time = [](HKEY handle) {
        char name[16];
        DWORD size = sizeof(name);
        qp::FILETIME time;
        EXPECT_EQ(qp::RegEnumKeyExA(handle, 0, name, &size, nullptr, nullptr, nullptr, &time), 0);
        return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    };
    const std::uint64_t created = info_time(key.Get());
    EXPECT_EQ(enum_time(parent.Get()), created);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(SetText(key.Get(), "v", "x"), 0);
    const std::uint64_t written = info_time(key.Get());
    EXPECT_GT(written, created);
    EXPECT_EQ(enum_time(parent.Get()), written);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    RegKey child;
    ASSERT_EQ(Create(key.Get(), "Child", &child), 0);
    EXPECT_GT(info_time(key.Get()), written);
}

TEST(Registry, ErrorNumbersFollowTheWindowsCalls) {
    RegKey rw;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxErrors", &rw), 0);
    RegKey grand;
    ASSERT_EQ(Create(rw.Get(), "Child\\Grand", &grand), 0);
    ASSERT_EQ(SetText(rw.Get(), "v", "text"), 0);
    RegKey ro;
    ASSERT_EQ(Open(qp::HKEY_CURRENT_USER, "Software\\QxErrors", &ro, qp::KEY_READ), 0);
    RegKey wo;
    ASSERT_EQ(Open(qp::HKEY_CURRENT_USER, "Software\\QxErrors", &wo, qp::KEY_SET_VALUE), 0);
    HKEY closed = nullptr;
    ASSERT_EQ(qp::RegOpenKeyExA(qp::HKEY_CURRENT_USER, "Software", 0, qp::KEY_READ, &closed), 0);
    ASSERT_EQ(qp::RegCloseKey(closed), 0);
    const HKEY bogus = reinterpret_cast<HKEY>(std::uintptr_t{0x12345});

    RegKey out;
    char name[64];
    DWORD size = sizeof(name);
    BYTE data[64];
    DWORD data_size = sizeof(data);
    const struct {
        const char* what;
        LONG got;
        LONG want;
    } cases[] = {
        {"open a missing key", Open(rw.Get(), "Missing", &out), 2},
        {"query a missing value",
         qp::RegQueryValueExA(rw.Get(), "missing", nullptr, nullptr, nullptr, &data_size), 2},
        {"delete a missing value", qp::RegDeleteValueA(rw.Get(), "missing"), 2},
        {"delete a missing key", qp::RegDeleteKeyA(rw.Get(), "Missing"), 2},
        {"bogus handle", qp::RegQueryValueExA(bogus, "v", nullptr, nullptr, nullptr, &data_size),
         6},
        {"closed handle", qp::RegQueryValueExA(closed, "v", nullptr, nullptr, nullptr, &data_size),
         6},
        {"close twice", qp::RegCloseKey(closed), 6},
        {"null handle", qp::RegOpenKeyExA(nullptr, "Software", 0, qp::KEY_READ, out.Receive()), 6},
        {"performance data",
         qp::RegOpenKeyExA(qp::HKEY_PERFORMANCE_DATA, "x", 0, qp::KEY_READ, out.Receive()), 6},
        {"dyn data", qp::RegOpenKeyExA(qp::HKEY_DYN_DATA, "x", 0, qp::KEY_READ, out.Receive()), 6},
        {"no result pointer",
         qp::RegOpenKeyExA(qp::HKEY_CURRENT_USER, "Software", 0, qp::KEY_READ, nullptr), 87},
        {"data without size", qp::RegQueryValueExA(rw.Get(), "v", nullptr, nullptr, data, nullptr),
         87},
        {"size without data", qp::RegSetValueExA(rw.Get(), "v", 0, qp::REG_BINARY, nullptr, 4), 87},
        {"enumerate without a name",
         qp::RegEnumKeyExA(rw.Get(), 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr), 87},
        {"key name over 255 bytes", Create(rw.Get(), std::string(256, 'k'), &out), 87},
        {"set through a read handle", SetText(ro.Get(), "v", "x"), 5},
        {"delete a value through a read handle", qp::RegDeleteValueA(ro.Get(), "v"), 5},
        {"create below a read handle", Create(ro.Get(), "New", &out), 5},
        {"query through a set-only handle",
         qp::RegQueryValueExA(wo.Get(), "v", nullptr, nullptr, nullptr, &data_size), 5},
        {"enumerate through a set-only handle",
         qp::RegEnumKeyExA(wo.Get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr), 5},
        {"delete a key with subkeys", qp::RegDeleteKeyA(rw.Get(), "Child"), 5},
        {"delete a root", qp::RegDeleteKeyA(qp::HKEY_LOCAL_MACHINE, nullptr), 5},
        {"delete through a handle without DELETE", qp::RegDeleteKeyA(ro.Get(), nullptr), 5},
        {"enumerate keys past the end",
         qp::RegEnumKeyExA(rw.Get(), 1, name, &size, nullptr, nullptr, nullptr, nullptr), 259},
        {"enumerate values past the end",
         qp::RegEnumValueA(rw.Get(), 1, name, &size, nullptr, nullptr, nullptr, nullptr), 259},
        {"open an existing key below a read handle", Create(ro.Get(), "Child", &out), 0},
        {"a length-only query",
         qp::RegQueryValueExA(rw.Get(), "v", nullptr, nullptr, nullptr, nullptr), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.want) << c.what;
    }
    // Nothing above changed the value or removed the key.
    EXPECT_EQ(ReadText(qp::HKEY_CURRENT_USER, "Software\\QxErrors", "v"), "text");
    RegKey still;
    EXPECT_EQ(Open(rw.Get(), "Child\\Grand", &still), 0);
}

TEST(Registry, HandlesOfADeletedKeyFailAndStillClose) {
    RegKey parent;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxDoomed", &parent), 0);
    HKEY doomed = nullptr;
    ASSERT_EQ(qp::RegCreateKeyExA(parent.Get(), "Key", 0, nullptr, 0, qp::KEY_ALL_ACCESS, nullptr,
                                  &doomed, nullptr),
              0);
    ASSERT_EQ(SetText(doomed, "v", "x"), 0);
    ASSERT_EQ(qp::RegDeleteKeyA(parent.Get(), "Key"), 0);
    DWORD size = 0;
    EXPECT_EQ(SetText(doomed, "v", "y"), 1018);
    EXPECT_EQ(qp::RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &size), 1018);
    RegKey child;
    EXPECT_EQ(Create(doomed, "Child", &child), 1018);
    // A key made again under the same name is another key: the old handle stays dead.
    RegKey remade;
    ASSERT_EQ(Create(parent.Get(), "Key", &remade), 0);
    EXPECT_EQ(qp::RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &size), 1018);
    EXPECT_EQ(qp::RegQueryValueExA(remade.Get(), "v", nullptr, nullptr, nullptr, &size), 2);
    EXPECT_EQ(qp::RegCloseKey(doomed), 0);
}

TEST(Registry, QueryInfoKeyCountsAndLongestNames) {
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_CURRENT_USER, "Software\\QxInfo", &key), 0);
    char key_class[] = "MyClass";
    HKEY child = nullptr;
    ASSERT_EQ(qp::RegCreateKeyExA(key.Get(), "Longest_Child", 0, key_class, 0, qp::KEY_ALL_ACCESS,
                                  nullptr, &child, nullptr),
              0);
    RegKey owned_child(child);
    RegKey other;
    ASSERT_EQ(Create(key.Get(), "a", &other), 0);
    ASSERT_EQ(SetText(key.Get(), "v", "ab"), 0);
    ASSERT_EQ(qp::RegSetValueExA(key.Get(), "LongerValueName", 0, qp::REG_BINARY,
                                 Bytes("0123456789"), 10),
              0);

    DWORD subkeys = 0, max_subkey = 0, max_class = 0, values = 0, max_name = 0, max_data = 0;
    qp::FILETIME written;
    ASSERT_EQ(qp::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, &max_subkey,
                                   &max_class, &values, &max_name, &max_data, nullptr, &written),
              0);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(max_subkey, 13u);
    EXPECT_EQ(max_class, 7u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(max_name, 15u);
    EXPECT_EQ(max_data, 10u);
    EXPECT_NE(written.dwHighDateTime, 0u);

    char class_out[16];
    DWORD class_size = sizeof(class_out);
    ASSERT_EQ(qp::RegQueryInfoKeyA(owned_child.Get(), class_out, &class_size, nullptr, &subkeys,
                                   nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(std::string(class_out), "MyClass");
    EXPECT_EQ(class_size, 7u);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);
    class_size = 7;
    EXPECT_EQ(qp::RegQueryInfoKeyA(owned_child.Get(), class_out, &class_size, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              234);
}

TEST(RegistryView, ThirtyTwoBitProgramSeesWow6432NodeUnderSoftware) {
    ASSERT_TRUE(qp::Machine::Current().Config().os.wow64) << "the test machine is win7x64";
    const qp::REGSAM native = qp::KEY_READ | qp::KEY_WOW64_64KEY;
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_LOCAL_MACHINE, "Software\\QxWow\\A", &key), 0);
    ASSERT_EQ(Create(qp::HKEY_LOCAL_MACHINE, "Software\\QxNative", &key,
                     qp::KEY_ALL_ACCESS | qp::KEY_WOW64_64KEY),
              0);
    ASSERT_EQ(Create(qp::HKEY_CLASSES_ROOT, "QxClass", &key), 0);

    RegKey software32;
    ASSERT_EQ(Open(qp::HKEY_LOCAL_MACHINE, "SOFTWARE", &software32), 0);
    RegKey software64;
    ASSERT_EQ(Open(qp::HKEY_LOCAL_MACHINE, "SOFTWARE", &software64, native), 0);
    RegKey out;
    const struct {
        const char* what;
        LONG got;
        LONG want;
    } cases[] = {
        {"32-bit key in the native view under Wow6432Node",
         Open(qp::HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\QxWow\\A", &out, native), 0},
        {"32-bit key absent from the native Software",
         Open(qp::HKEY_LOCAL_MACHINE, "Software\\QxWow", &out, native), 2},
        {"native key absent from the 32-bit view",
         Open(qp::HKEY_LOCAL_MACHINE, "Software\\QxNative", &out), 2},
        {"KEY_WOW64_32KEY is the default view",
         Open(qp::HKEY_LOCAL_MACHINE, "Software\\QxWow", &out, qp::KEY_READ | qp::KEY_WOW64_32KEY),
         0},
        {"relative open keeps the 32-bit view", Open(software32.Get(), "QxWow\\A", &out), 0},
        {"relative open keeps the 32-bit view (native key)",
         Open(software32.Get(), "QxNative", &out), 2},
        {"relative open keeps the native view", Open(software64.Get(), "QxNative", &out), 0},
        {"native view sees Wow6432Node", Open(software64.Get(), "Wow6432Node\\QxWow", &out), 0},
        {"native handle, 32-bit key", Open(software64.Get(), "QxWow", &out), 2},
        {"Classes is shared (32-bit)",
         Open(qp::HKEY_LOCAL_MACHINE, "Software\\Classes\\QxClass", &out), 0},
        {"Classes is shared (native)",
         Open(qp::HKEY_LOCAL_MACHINE, "Software\\Classes\\QxClass", &out, native), 0},
        {"Classes below a redirected handle", Open(software32.Get(), "Classes\\QxClass", &out), 0},
        {"HKEY_USERS is not redirected",
         Create(qp::HKEY_USERS, "Software\\QxUsers", &out, qp::KEY_ALL_ACCESS), 0},
        {"... and reads back natively", Open(qp::HKEY_USERS, "Software\\QxUsers", &out, native), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.want) << c.what;
    }

    // The seeded folders differ by view; the ports key is one for both.
    const char* current = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    EXPECT_EQ(ReadText(qp::HKEY_LOCAL_MACHINE, current, "ProgramFilesDir"),
              "C:\\Program Files (x86)");
    EXPECT_EQ(ReadText(qp::HKEY_LOCAL_MACHINE, current, "ProgramFilesDir", native),
              "C:\\Program Files");
    EXPECT_EQ(ReadText(qp::HKEY_LOCAL_MACHINE, qp::kNtPortsKey, "LPT1:"), "");
    EXPECT_EQ(ReadText(qp::HKEY_LOCAL_MACHINE, qp::kNtPortsKey, "COM1:", native), "");
    RegKey nt_current;
    ASSERT_EQ(Open(qp::HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                   &nt_current),
              0);
    EXPECT_EQ(ReadText(nt_current.Get(), "Ports", "FILE:"), "");
}

// A descriptor granting Everyone mask, built the way the program builds it.
class EveryoneDescriptor {
  public:
    explicit EveryoneDescriptor(DWORD mask) {
        EXPECT_NE(qp::InitializeSecurityDescriptor(&m_sd, qp::SECURITY_DESCRIPTOR_REVISION), 0);
        qp::PSID sid = nullptr;
        EXPECT_NE(qp::AllocateAndInitializeSid(&qp::SECURITY_WORLD_SID_AUTHORITY, 1,
                                               qp::SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid),
                  0);
        const DWORD size = qp::GetLengthSid(sid) + 52;
        m_acl.resize(size);
        EXPECT_NE(qp::InitializeAcl(m_acl.data(), size, qp::ACL_REVISION_DS), 0);
        EXPECT_NE(qp::AddAccessAllowedObjectAce(m_acl.data(), qp::ACL_REVISION_DS,
                                                qp::CONTAINER_INHERIT_ACE | qp::INHERITED_ACE, mask,
                                                nullptr, nullptr, sid),
                  0);
        EXPECT_NE(qp::SetSecurityDescriptorDacl(&m_sd, 1, m_acl.data(), 0), 0);
        EXPECT_NE(qp::SetSecurityDescriptorControl(&m_sd, qp::SE_DACL_AUTO_INHERITED,
                                                   qp::SE_DACL_AUTO_INHERITED),
                  0);
        qp::FreeSid(sid);
    }
    qp::PSECURITY_DESCRIPTOR Get() { return &m_sd; }

  private:
    qp::SECURITY_DESCRIPTOR m_sd;
    std::vector<BYTE> m_acl;
};

TEST(Registry, DenyDeleteRuleHoldsUntilADaclOpensTheKeyToEveryone) {
    const std::string path = "SYSTEM\\QxDeny\\Locked";
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_LOCAL_MACHINE, path, &key), 0);
    ASSERT_EQ(qp::SetKeyDenyDelete(qp::HKEY_LOCAL_MACHINE, path.c_str(), true), 0);
    EXPECT_EQ(qp::SetKeyDenyDelete(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxDeny\\Missing", true), 2);
    EXPECT_EQ(qp::RegDeleteKeyA(qp::HKEY_LOCAL_MACHINE, path.c_str()), 5);

    // The rule refuses deletion only: opening with every right and writing still work.
    RegKey full;
    ASSERT_EQ(Open(qp::HKEY_LOCAL_MACHINE, path, &full, qp::KEY_ALL_ACCESS), 0);
    EXPECT_EQ(SetText(full.Get(), "v", "x"), 0);
    EXPECT_EQ(qp::RegDeleteKeyA(full.Get(), nullptr), 5);

    EveryoneDescriptor read_only(qp::KEY_READ);
    EveryoneDescriptor everything(qp::KEY_ALL_ACCESS);
    RegKey no_dac;
    ASSERT_EQ(Open(qp::HKEY_LOCAL_MACHINE, path, &no_dac, qp::KEY_READ), 0);
    EXPECT_EQ(qp::RegSetKeySecurity(no_dac.Get(), qp::DACL_SECURITY_INFORMATION, everything.Get()),
              5);
    RegKey dac;
    ASSERT_EQ(Open(qp::HKEY_LOCAL_MACHINE, path, &dac, qp::WRITE_DAC), 0);
    EXPECT_EQ(qp::RegSetKeySecurity(dac.Get(), qp::DACL_SECURITY_INFORMATION, nullptr), 87);
    EXPECT_EQ(qp::RegSetKeySecurity(dac.Get(), qp::DACL_SECURITY_INFORMATION, read_only.Get()), 0);
    EXPECT_EQ(qp::RegDeleteKeyA(qp::HKEY_LOCAL_MACHINE, path.c_str()), 5) << "a partial grant";
    EXPECT_EQ(qp::RegSetKeySecurity(dac.Get(), 0, everything.Get()), 0);
    EXPECT_EQ(qp::RegDeleteKeyA(qp::HKEY_LOCAL_MACHINE, path.c_str()), 5) << "no DACL applied";

    ASSERT_EQ(qp::RegSetKeySecurity(dac.Get(), qp::DACL_SECURITY_INFORMATION, everything.Get()), 0);
    EXPECT_EQ(qp::RegDeleteKeyA(qp::HKEY_LOCAL_MACHINE, path.c_str()), 0);

    // Clearing the rule directly works as well, and the rule follows the registry view.
    ASSERT_EQ(Create(qp::HKEY_LOCAL_MACHINE, "SOFTWARE\\QxDeny", &key), 0);
    ASSERT_EQ(qp::SetKeyDenyDelete(qp::HKEY_LOCAL_MACHINE, "SOFTWARE\\QxDeny", true), 0);
    EXPECT_EQ(
        qp::SetKeyDenyDelete(qp::HKEY_LOCAL_MACHINE, "SOFTWARE\\QxDeny", true, qp::KEY_WOW64_64KEY),
        2);
    EXPECT_EQ(qp::RegDeleteKeyA(qp::HKEY_LOCAL_MACHINE, "SOFTWARE\\QxDeny"), 5);
    ASSERT_EQ(qp::SetKeyDenyDelete(qp::HKEY_LOCAL_MACHINE, "SOFTWARE\\QxDeny", false), 0);
    EXPECT_EQ(qp::RegDeleteKeyA(qp::HKEY_LOCAL_MACHINE, "SOFTWARE\\QxDeny"), 0);
}

TEST(Registry, OtherConnectionsSeeCommittedWrites) {
    RegKey key;
    ASSERT_EQ(Create(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxShared", &key), 0);
    ASSERT_EQ(SetText(key.Get(), "FromApi", "api"), 0);

    std::string error;
    auto store = qp::RegistryStore::Open(qx::test::MachineRoot(), 1252, &error);
    ASSERT_TRUE(store) << error;
    qp::RegKeyId id = 0;
    ASSERT_EQ(store->OpenKey(qp::HiveKey(qp::RegHive::kLocalMachine), {"system", "qxshared"}, &id),
              0);
    qp::RegValueRecord value;
    ASSERT_EQ(store->QueryValue(id, "fromapi", &value), 0);
    EXPECT_EQ(value.name, "FromApi");
    EXPECT_EQ(value.data, std::string("api\0", 4));
    ASSERT_EQ(store->SetValue(id, "FromStore", qp::REG_SZ, std::string("store\0", 6)), 0);
    EXPECT_EQ(ReadText(key.Get(), "", "FromStore"), "store");
    EXPECT_EQ(store->IntegrityCheck(), "ok");
}

TEST(Registry, ThreadsShareTheProcessConnection) {
    constexpr int kThreads = 4;
    constexpr int kValues = 250;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < kValues; ++i) {
                RegKey key;
                std::string name = "T" + std::to_string(t) + "-" + std::to_string(i);
                if (Create(qp::HKEY_CURRENT_USER, "Software\\QxThreads", &key) != 0 ||
                    SetDword(key.Get(), name.c_str(), static_cast<DWORD>(i)) != 0) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    RegKey key;
    ASSERT_EQ(Open(qp::HKEY_CURRENT_USER, "Software\\QxThreads", &key), 0);
    DWORD values = 0;
    ASSERT_EQ(qp::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &values, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(values, static_cast<DWORD>(kThreads * kValues));
}

// A machine made with Machine::Create in a folder of its own, and a connection to its registry.
std::unique_ptr<qp::RegistryStore> MakeMachine(const std::string& os, qp::LANGID user_language,
                                               bool remove_first = false) {
    fs::path root = qx::test::MachineRoot() / "machines" / ("seed-" + os);
    if (remove_first) {
        fs::remove_all(root);
    }
    qp::MachineSetup setup;
    setup.os = os;
    setup.user_language = user_language;
    std::string error;
    EXPECT_TRUE(qp::Machine::Create(root, setup, true, &error)) << error;
    auto store = qp::RegistryStore::Open(root, setup.code_page, &error);
    EXPECT_TRUE(store) << error;
    return store;
}

LONG StoreValue(qp::RegistryStore& store, qp::RegHive hive, const std::string& path,
                const std::string& name, qp::RegValueRecord* value) {
    qp::RegKeyId key = 0;
    if (LONG result = store.OpenKey(qp::HiveKey(hive), qp::SplitRegistryPath(path), &key)) {
        return result;
    }
    return store.QueryValue(key, name, value);
}

TEST(RegistrySeed, EachWindowsVersionStartsWithItsOwnKeys) {
    const qp::RegHive hklm = qp::RegHive::kLocalMachine;
    const std::string current = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    const std::string nt_current = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    const std::string wow_current = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion";
    const std::string services = "SYSTEM\\CurrentControlSet\\Services\\";
    // A null text: the value (or its key) must be absent.
    const struct {
        const char* os;
        qp::RegHive hive;
        std::string path;
        const char* name;
        const char* text;
    } cases[] = {
        {"xp", hklm, current, "ProgramFilesDir", "C:\\Program Files"},
        {"xp", hklm, current, "CommonFilesDir", "C:\\Program Files\\Common Files"},
        {"xp", hklm, nt_current, "SystemRoot", "C:\\WINDOWS"},
        {"xp", hklm, nt_current, "CurrentVersion", "5.1"},
        {"xp", hklm, current + "\\Setup", "SourcePath", "D:\\"},
        {"xp", hklm, qp::kNtPortsKey, "LPT1:", ""},
        {"xp", hklm, qp::kNtPortsKey, "COM1:", ""},
        {"xp", hklm, qp::kNtPortsKey, "FILE:", ""},
        {"xp", hklm, services + "SharedAccess", "DisplayName",
         "Windows Firewall/Internet Connection Sharing (ICS)"},
        {"xp", qp::RegHive::kCurrentUser, "Control Panel\\International", "Locale", "00000411"},
        {"xp", qp::RegHive::kUsers, ".DEFAULT\\Control Panel\\International", "Locale", "00000409"},
        {"xp", hklm, current, "VersionNumber", nullptr},
        {"xp", hklm, wow_current, "ProgramFilesDir", nullptr},
        {"xp", hklm, services + "mpssvc", "DisplayName", nullptr},
        {"win98", hklm, current, "VersionNumber", "4.10.1998"},
        {"win98", hklm, current, "SystemRoot", "C:\\WINDOWS"},
        {"win98", hklm, current, "ProgramFilesDir", "C:\\Program Files"},
        {"win98", hklm, current + "\\Setup", "SourcePath", "C:\\WINDOWS\\OPTIONS\\CABS"},
        {"win98", hklm, qp::k9xPortsKey, "LPT1:", ""},
        {"win98", hklm, qp::k9xPortsKey, "FILE:", ""},
        {"win98", hklm, nt_current, "SystemRoot", nullptr},
        {"win98", hklm, qp::kNtPortsKey, "LPT1:", nullptr},
        {"win98", hklm, services + "SharedAccess", "DisplayName", nullptr},
        {"win98", qp::RegHive::kCurrentUser, "Control Panel\\International", "Locale", "00000411"},
        {"win7x64", hklm, current, "ProgramFilesDir", "C:\\Program Files"},
        {"win7x64", hklm, current, "ProgramFilesDir (x86)", "C:\\Program Files (x86)"},
        {"win7x64", hklm, wow_current, "ProgramFilesDir", "C:\\Program Files (x86)"},
        {"win7x64", hklm, wow_current, "CommonFilesDir", "C:\\Program Files (x86)\\Common Files"},
        {"win7x64", hklm, current + "\\Setup", "SourcePath", "D:\\"},
        {"win7x64", hklm, wow_current + "\\Setup", "SourcePath", "D:\\"},
        {"win7x64", hklm, nt_current, "SystemRoot", "C:\\Windows"},
        {"win7x64", hklm, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion",
         "SystemRoot", "C:\\Windows"},
        {"win7x64", hklm, nt_current, "CSDVersion", "Service Pack 1"},
        {"win7x64", hklm, services + "mpssvc", "DisplayName", "Windows Firewall"},
        {"win7x64", hklm, services + "SharedAccess", "DisplayName", nullptr},
        {"win7x64", hklm, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
         "LPT1:", nullptr},
    };
    std::map<std::string, std::unique_ptr<qp::RegistryStore>> machines;
    for (const char* os : {"xp", "win98", "win7x64"}) {
        machines[os] = MakeMachine(os, 0x0411);
        ASSERT_TRUE(machines[os]) << os;
    }
    for (const auto& c : cases) {
        qp::RegValueRecord value;
        LONG result = StoreValue(*machines[c.os], c.hive, c.path, c.name, &value);
        if (c.text == nullptr) {
            EXPECT_EQ(result, 2) << c.os << " " << c.path << " " << c.name;
            continue;
        }
        ASSERT_EQ(result, 0) << c.os << " " << c.path << " " << c.name;
        EXPECT_EQ(value.type, qp::REG_SZ) << c.os << " " << c.name;
        EXPECT_EQ(value.data, std::string(c.text) + '\0') << c.os << " " << c.path << " " << c.name;
    }

    // The firewall service runs, starts automatically and shares a process.
    for (const auto& [os, service] : {std::pair{"xp", "SharedAccess"}, {"win7x64", "mpssvc"}}) {
        for (const auto& [name, expected] :
             {std::pair{"State", 4u}, {"Start", 2u}, {"Type", 0x20u}}) {
            qp::RegValueRecord value;
            ASSERT_EQ(StoreValue(*machines[os], hklm, services + service, name, &value), 0)
                << os << " " << name;
            EXPECT_EQ(value.type, qp::REG_DWORD);
            DWORD number = 0;
            ASSERT_EQ(value.data.size(), 4u);
            std::memcpy(&number, value.data.data(), 4);
            EXPECT_EQ(number, expected) << os << " " << name;
        }
    }
    for (const auto& [os, store] : machines) {
        EXPECT_EQ(store->IntegrityCheck(), "ok") << os;
    }
}

TEST(RegistrySeed, ForcedCreateStartsAFreshRegistry) {
    {
        auto store = MakeMachine("vista", 0x0409, true);
        ASSERT_TRUE(store);
        qp::RegKeyId key = 0;
        bool created = false;
        ASSERT_EQ(store->CreateKey(qp::HiveKey(qp::RegHive::kLocalMachine), {"SOFTWARE", "Stale"},
                                   "", true, &key, &created),
                  0);
    }
    auto store = MakeMachine("vista", 0x0409);  // again, forced
    ASSERT_TRUE(store);
    qp::RegKeyId key = 0;
    EXPECT_EQ(store->OpenKey(qp::HiveKey(qp::RegHive::kLocalMachine), {"SOFTWARE", "Stale"}, &key),
              2);
    qp::RegValueRecord value;
    EXPECT_EQ(StoreValue(*store, qp::RegHive::kLocalMachine,
                         "SYSTEM\\CurrentControlSet\\Services\\mpssvc", "State", &value),
              0);
}

TEST(RegistrySeed, SeedingOnceKeepsWhatTheMachineChangedSince) {
    fs::path root = qx::test::MachineRoot() / "machines" / "seed-once";
    fs::remove_all(root);
    fs::create_directories(root);
    std::string error;
    auto store = qp::RegistryStore::Open(root, 1252, &error);
    ASSERT_TRUE(store) << error;
    qp::MachineConfig config;
    config.os = *qp::FindOsProfile("win2000");
    ASSERT_EQ(qp::SeedStoreIfNeeded(*store, config), 0);
    qp::RegKeyId key = 0;
    ASSERT_EQ(store->OpenKey(qp::HiveKey(qp::RegHive::kLocalMachine),
                             qp::SplitRegistryPath(qp::kNtPortsKey), &key),
              0);
    ASSERT_EQ(store->DeleteValue(key, "LPT1:"), 0);
    ASSERT_EQ(qp::SeedStoreIfNeeded(*store, config), 0);
    qp::RegValueRecord value;
    EXPECT_EQ(store->QueryValue(key, "LPT1:", &value), 2);
    EXPECT_EQ(store->QueryValue(key, "COM1:", &value), 0);
    EXPECT_TRUE(qp::FirewallServiceName(config.os).empty());
}

}  // namespace

namespace {

TEST(RegistryStore, AFileThatIsNoRegistryIsRefusedNotRewritten) {
    fs::path root = qx::test::MachineRoot() / "machines" / "garbage";
    fs::remove_all(root);
    const std::string garbage(8192, '\x5A');
    qx::test::WriteHostFile(root / "registry.db", garbage);
    std::string error;
    EXPECT_FALSE(qp::RegistryStore::Open(root, 1252, &error));
    EXPECT_NE(error.find("registry.db"), std::string::npos) << error;
    EXPECT_EQ(qx::test::ReadHostFile(root / "registry.db"), garbage);
}

}  // namespace
