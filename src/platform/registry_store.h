// The machine's registry database (registry.db, SQLite in WAL mode): keys by id, values by key,
// one transaction per call, shared by every process and thread of the machine. The Reg* API of
// platform/registry.h sits on top of it; the seeding and the tests use it directly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace qx::platform {

using RegKeyId = std::int64_t;

// The hive roots and their fixed key ids. HKEY_CLASSES_ROOT is SOFTWARE\Classes of the local
// machine and has no hive of its own.
enum class RegHive : RegKeyId {
    kLocalMachine = 1,
    kCurrentUser = 2,
    kUsers = 3,
    kCurrentConfig = 4,
};
constexpr RegKeyId HiveKey(RegHive hive) {
    return static_cast<RegKeyId>(hive);
}

// Windows error numbers the store adds to the ones of win_types.h.
inline constexpr LONG kErrorRegistryCorrupt = 1015;
inline constexpr LONG kErrorRegistryIoFailed = 1016;
inline constexpr LONG kErrorKeyDeleted = 1018;

// Longest key name (one path element) and value name, in bytes.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;
// Largest value data the store takes (Windows' own limit is the memory available).
inline constexpr size_t kMaxValueDataLength = 256u << 20;

struct RegValueRecord {
    std::string name;
    DWORD type = 0;
    std::string data;
};

struct RegSubkeyRecord {
    std::string name;
    std::string key_class;
    std::uint64_t last_write = 0;  // FILETIME ticks
};

struct RegKeyInfoRecord {
    std::string key_class;
    DWORD subkeys = 0;
    DWORD max_subkey_length = 0;
    DWORD max_class_length = 0;
    DWORD values = 0;
    DWORD max_value_name_length = 0;
    DWORD max_value_length = 0;
    std::uint64_t last_write = 0;
};

// Splits a backslash path into its key names; empty names (doubled or outer backslashes) are
// dropped.
std::vector<std::string> SplitRegistryPath(std::string_view path);

class RegistryBatch;

// One connection to one machine's registry.db. Every public call is one transaction (writes
// take the write lock up front, so concurrent writers queue instead of failing) and returns 0
// or a Windows error number. Paths are key names below a base key; names compare
// case-insensitively in the machine's code page and keep the case they were created with.
// Thread-safe: calls are serialised on the connection. A call waits up to about 10 s for
// another process's write lock. Committed writes survive the process being killed (WAL with
// synchronous=NORMAL); only an OS crash can lose the last few.
class RegistryStore {
  public:
    // Opens (creating when missing) root/registry.db; code_page is the machine's ANSI code page
    // used to fold names. Null with a reason when the database cannot be opened.
    static std::unique_ptr<RegistryStore> Open(const std::filesystem::path& root, UINT code_page,
                                               std::string* error);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    const std::filesystem::path& File() const { return m_file; }
    UINT CodePage() const { return m_code_page; }

    // 2 when a key of the path is missing, 1018 when base no longer exists.
    LONG OpenKey(RegKeyId base, const std::vector<std::string>& path, RegKeyId* key);
    // Creates the missing keys of the path (5 when some are missing and !may_create); the last
    // one gets key_class. created tells whether the last key is new.
    LONG CreateKey(RegKeyId base, const std::vector<std::string>& path, std::string_view key_class,
                   bool may_create, RegKeyId* key, bool* created);
    // Deletes a key without subkeys, and its values. 5 for a hive root, a key with subkeys or
    // a key whose deny-delete rule is set.
    LONG DeleteKey(RegKeyId base, const std::vector<std::string>& path);
    LONG SetDenyDelete(RegKeyId base, const std::vector<std::string>& path, bool deny);

    LONG QueryValue(RegKeyId key, std::string_view name, RegValueRecord* value);
    // Replacing a value keeps its place in the enumeration order and its name's case.
    LONG SetValue(RegKeyId key, std::string_view name, DWORD type, std::string_view data);
    LONG DeleteValue(RegKeyId key, std::string_view name);
    // Subkeys in the order of their folded names, values in creation order; 259 past the end.
    LONG EnumKey(RegKeyId key, DWORD index, RegSubkeyRecord* subkey);
    LONG EnumValue(RegKeyId key, DWORD index, RegValueRecord* value);
    LONG QueryInfo(RegKeyId key, RegKeyInfoRecord* info);

    // Runs body in one write transaction, committed when it returns 0 and rolled back
    // otherwise; the batch's calls join that transaction.
    LONG Batch(const std::function<LONG(RegistryBatch&)>& body);

    // PRAGMA integrity_check: "ok" or the problems found.
    std::string IntegrityCheck();

    // Closes the connection until the next call reopens it, holding the store's lock until
    // Resume: brackets fork(), so a child never inherits a connection in use.
    void Suspend();
    void Resume();

  private:
    friend class RegistryBatch;
    friend RegistryStore& CurrentRegistryStore();
    struct Connection;
    class Transaction;

    RegistryStore(std::filesystem::path file, UINT code_page);
    static std::unique_ptr<RegistryStore> OpenCurrent();
    LONG EnsureOpen(std::string* error);
    std::string Fold(std::string_view name) const;

    LONG KeyAlive(RegKeyId key);
    LONG FindChild(RegKeyId parent, std::string_view name, RegKeyId* child);
    LONG Walk(RegKeyId base, const std::vector<std::string>& path, RegKeyId* key);
    LONG OpenKeyLocked(RegKeyId base, const std::vector<std::string>& path, RegKeyId* key);
    LONG CreateKeyLocked(RegKeyId base, const std::vector<std::string>& path,
                         std::string_view key_class, bool may_create, RegKeyId* key, bool* created);
    LONG SetValueLocked(RegKeyId key, std::string_view name, DWORD type, std::string_view data);
    LONG GetMetaLocked(std::string_view name, std::string* value);
    LONG SetMetaLocked(std::string_view name, std::string_view value);
    LONG Touch(RegKeyId key);

    // Where the last enumeration of a key stopped, and the database version it saw.
    struct EnumCursor {
        RegKeyId key = 0;
        DWORD index = 0;
        std::string after_text;     // subkeys: the folded name returned
        std::int64_t after_id = 0;  // values: the row returned
        unsigned version = 0;
        bool valid = false;
    };
    unsigned DataVersion();
    bool Continues(const EnumCursor& cursor, RegKeyId key, DWORD index, unsigned version) const;

    std::filesystem::path m_file;
    UINT m_code_page;
    std::mutex m_mutex;
    std::unique_ptr<Connection> m_db;
    int m_depth = 0;  // open transactions: batch calls join the outer one
    EnumCursor m_key_cursor;
    EnumCursor m_value_cursor;
};

// The calls available inside RegistryStore::Batch.
class RegistryBatch {
  public:
    LONG OpenKey(RegKeyId base, const std::vector<std::string>& path, RegKeyId* key) {
        return m_store.OpenKeyLocked(base, path, key);
    }
    LONG CreateKey(RegKeyId base, const std::vector<std::string>& path, RegKeyId* key) {
        bool created = false;
        return m_store.CreateKeyLocked(base, path, "", true, key, &created);
    }
    LONG SetValue(RegKeyId key, std::string_view name, DWORD type, std::string_view data) {
        return m_store.SetValueLocked(key, name, type, data);
    }
    // Store-wide notes (such as which OS profile the registry was seeded for).
    LONG GetMeta(std::string_view name, std::string* value) {
        return m_store.GetMetaLocked(name, value);
    }
    LONG SetMeta(std::string_view name, std::string_view value) {
        return m_store.SetMetaLocked(name, value);
    }

  private:
    friend class RegistryStore;
    explicit RegistryBatch(RegistryStore& store) : m_store(store) {}
    RegistryStore& m_store;
};

// The store of Machine::Current(): one connection per process, shared by its threads, opened
// on first use (and seeded when the machine's registry never was). Calls fail with the open's
// error while the database cannot be opened. A forked child opens a connection of its own.
RegistryStore& CurrentRegistryStore();

}  // namespace qx::platform
