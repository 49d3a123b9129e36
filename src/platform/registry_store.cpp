#include "platform/registry_store.h"

#include <pthread.h>
#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>

#include "platform/code_page.h"
#include "platform/machine.h"
#include "platform/registry_seed.h"

namespace qx::platform {

namespace fs = std::filesystem;

namespace {

constexpr int kSchemaVersion = 1;

// Tables: reg_key (the tree; hive roots have parent 0 and fixed ids; ids are never reused, so
// a handle to a deleted key cannot reach a key made later under its name), reg_value (values
// by key; the rowid gives the creation order), reg_meta (store-wide notes). A key's last write
// time is the latest of its own (subkeys added or removed) and its values' (kept beside each
// value, so setting a value writes one row only). Names are kept as
// written and, folded to upper case, in an indexed column that lookups and ordering use.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_key(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  class TEXT NOT NULL DEFAULT '',
  deny_delete INTEGER NOT NULL DEFAULT 0,
  last_write INTEGER NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX IF NOT EXISTS reg_key_by_parent ON reg_key(parent, folded);
CREATE TABLE IF NOT EXISTS reg_value(
  id INTEGER PRIMARY KEY,
  key_id INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  written INTEGER NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX IF NOT EXISTS reg_value_by_name ON reg_value(key_id, folded);
CREATE INDEX IF NOT EXISTS reg_value_by_key ON reg_value(key_id);
CREATE TABLE IF NOT EXISTS reg_meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);
INSERT OR IGNORE INTO reg_key(id, parent, name, folded) VALUES
  (1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),
  (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),
  (3, 0, 'HKEY_USERS', 'HKEY_USERS'),
  (4, 0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG');
INSERT OR IGNORE INTO reg_key(parent, name, folded) VALUES (1, 'SOFTWARE', 'SOFTWARE');
INSERT OR IGNORE INTO reg_key(parent, name, folded)
  SELECT id, 'Classes', 'CLASSES' FROM reg_key WHERE parent = 1 AND folded = 'SOFTWARE';
PRAGMA user_version = 1;
)sql";

constexpr RegKeyId kLastHive = HiveKey(RegHive::kCurrentConfig);

bool IsHive(RegKeyId key) {
    return key >= 1 && key <= kLastHive;
}

LONG ErrorFromSqlite(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return 0;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return 170;  // ERROR_BUSY
        case SQLITE_FULL:
            return 112;  // ERROR_DISK_FULL
        case SQLITE_NOMEM:
        case SQLITE_TOOBIG:
            return static_cast<LONG>(kErrorNotEnoughMemory);
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return static_cast<LONG>(kErrorAccessDenied);
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return kErrorRegistryCorrupt;
        default:
            return kErrorRegistryIoFailed;
    }
}

std::uint64_t NowFileTime() {
    auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
    return static_cast<std::uint64_t>(ticks) + 116444736000000000ULL;
}

// Waits about 10 s in all for another connection's lock, in short steps first: a writer holds
// the lock for tens of microseconds, so millisecond sleeps would waste most of the wait.
int BusyWait(void*, int count) {
    constexpr int kMaxCalls = 5000;
    if (count >= kMaxCalls) {
        return 0;
    }
    long micros = count < 6 ? (50L << count) : 2000L;
    timespec pause{0, micros * 1000L};
    ::nanosleep(&pause, nullptr);
    return 1;
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// One use of a cached statement: resets it and drops its bindings when the scope ends.
class Use {
  public:
    explicit Use(const Statement& statement) : m_s(statement.get()) {}
    ~Use() {
        sqlite3_reset(m_s);
        sqlite3_clear_bindings(m_s);
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    Use& Int(int index, std::int64_t value) {
        sqlite3_bind_int64(m_s, index, value);
        return *this;
    }
    // The text must outlive the use; an empty text binds '' (a null pointer would bind NULL).
    Use& Text(int index, std::string_view text) {
        sqlite3_bind_text(m_s, index, text.empty() ? "" : text.data(),
                          static_cast<int>(text.size()), SQLITE_STATIC);
        return *this;
    }
    Use& Blob(int index, std::string_view data) {
        sqlite3_bind_blob(m_s, index, data.empty() ? "" : data.data(),
                          static_cast<int>(data.size()), SQLITE_STATIC);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return sqlite3_step(m_s); }
    // 0 once the statement ran to completion.
    LONG Run() {
        int rc = Step();
        return rc == SQLITE_DONE || rc == SQLITE_ROW ? 0 : ErrorFromSqlite(rc);
    }
    std::int64_t ColumnInt(int column) const { return sqlite3_column_int64(m_s, column); }
    std::string ColumnBytes(int column) const {
        const void* bytes = sqlite3_column_blob(m_s, column);
        int size = sqlite3_column_bytes(m_s, column);
        return bytes == nullptr
                   ? std::string()
                   : std::string(static_cast<const char*>(bytes), static_cast<size_t>(size));
    }

  private:
    sqlite3_stmt* m_s;
};

LONG ExecScript(sqlite3* db, const char* sql, std::string* error) {
    char* message = nullptr;
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        if (error != nullptr) {
            *error = message != nullptr ? message : sqlite3_errstr(rc);
        }
        sqlite3_free(message);
        return ErrorFromSqlite(rc);
    }
    return 0;
}

LONG QueryInt(sqlite3* db, const char* sql, std::int64_t* value, std::string* error) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(raw);
    }
    if (rc == SQLITE_ROW) {
        *value = sqlite3_column_int64(raw, 0);
        return 0;
    }
    *error = sqlite3_errmsg(db);
    return ErrorFromSqlite(rc == SQLITE_DONE ? SQLITE_ERROR : rc);
}

// Another process may be creating it at the same moment: the script only adds what is missing,
// under the write lock.
LONG CreateSchema(sqlite3* db, std::string* error) {
    if (LONG result = ExecScript(db, "BEGIN IMMEDIATE", error)) {
        return result;
    }
    if (LONG result = ExecScript(db, kSchema, error)) {
        ExecScript(db, "ROLLBACK", nullptr);
        return result;
    }
    return ExecScript(db, "COMMIT", error);
}

}  // namespace

std::vector<std::string> SplitRegistryPath(std::string_view path) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            names.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

struct RegistryStore::Connection {
    std::unique_ptr<sqlite3, DbCloser> db;
    // Declared after db: finalised before the connection closes.
    Statement begin_read, begin_write, commit, rollback;
    Statement find_child, key_row, insert_key, touch_key, has_child, delete_key, delete_values;
    Statement set_deny, enum_key, enum_key_after, key_info, child_stats;
    Statement get_value, upsert_value, delete_value, enum_value, enum_value_after, value_stats;
    Statement get_meta, set_meta;

    LONG Prepare(Statement* statement, const char* sql, std::string* error) {
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
        statement->reset(raw);
        if (rc != SQLITE_OK) {
            *error = std::string(sqlite3_errmsg(db.get())) + " in " + sql;
            return ErrorFromSqlite(rc);
        }
        return 0;
    }

    LONG PrepareAll(std::string* error) {
        const std::pair<Statement*, const char*> table[] = {
            {&begin_read, "BEGIN"},
            {&begin_write, "BEGIN IMMEDIATE"},
            {&commit, "COMMIT"},
            {&rollback, "ROLLBACK"},
            {&find_child, "SELECT id FROM reg_key WHERE parent = ?1 AND folded = ?2"},
            {&key_row, "SELECT parent, deny_delete FROM reg_key WHERE id = ?1"},
            {&insert_key,
             "INSERT INTO reg_key(parent, name, folded, class, last_write) "
             "VALUES(?1, ?2, ?3, ?4, ?5)"},
            {&touch_key, "UPDATE reg_key SET last_write = ?2 WHERE id = ?1"},
            {&has_child, "SELECT 1 FROM reg_key WHERE parent = ?1 LIMIT 1"},
            {&delete_key, "DELETE FROM reg_key WHERE id = ?1"},
            {&delete_values, "DELETE FROM reg_value WHERE key_id = ?1"},
            {&set_deny, "UPDATE reg_key SET deny_delete = ?2 WHERE id = ?1"},
            {&enum_key,
             "SELECT name, class, last_write, folded, "
             "(SELECT max(written) FROM reg_value WHERE key_id = reg_key.id) "
             "FROM reg_key WHERE parent = ?1 ORDER BY folded LIMIT 1 OFFSET ?2"},
            {&enum_key_after,
             "SELECT name, class, last_write, folded, "
             "(SELECT max(written) FROM reg_value WHERE key_id = reg_key.id) "
             "FROM reg_key WHERE parent = ?1 AND folded > ?2 ORDER BY folded LIMIT 1"},
            {&key_info, "SELECT class, last_write FROM reg_key WHERE id = ?1"},
            {&child_stats,
             "SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0), "
             "ifnull(max(length(CAST(class AS BLOB))), 0) FROM reg_key WHERE parent = ?1"},
            {&get_value,
             "SELECT name, type, data FROM reg_value WHERE key_id = ?1 AND folded = ?2"},
            {&upsert_value,
             "INSERT INTO reg_value(key_id, name, folded, type, data, written) "
             "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(key_id, folded) DO UPDATE SET "
             "type = excluded.type, data = excluded.data, written = excluded.written"},
            {&delete_value, "DELETE FROM reg_value WHERE key_id = ?1 AND folded = ?2"},
            {&enum_value,
             "SELECT name, type, data, id FROM reg_value WHERE key_id = ?1 "
             "ORDER BY id LIMIT 1 OFFSET ?2"},
            {&enum_value_after,
             "SELECT name, type, data, id FROM reg_value WHERE key_id = ?1 AND id > ?2 "
             "ORDER BY id LIMIT 1"},
            {&value_stats,
             "SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0), "
             "ifnull(max(length(data)), 0), ifnull(max(written), 0) "
             "FROM reg_value WHERE key_id = ?1"},
            {&get_meta, "SELECT value FROM reg_meta WHERE name = ?1"},
            {&set_meta,
             "INSERT INTO reg_meta(name, value) VALUES(?1, ?2) "
             "ON CONFLICT(name) DO UPDATE SET value = excluded.value"},
        };
        for (const auto& [statement, sql] : table) {
            if (LONG result = Prepare(statement, sql, error)) {
                return result;
            }
        }
        return 0;
    }
};

// One transaction, or a part of the caller's when one is open already (a batch). Rolled back
// unless committed.
class RegistryStore::Transaction {
  public:
    Transaction(RegistryStore& store, bool write) : m_store(store) {
        if (m_store.m_depth++ > 0) {
            return;
        }
        m_outer = true;
        Connection& db = *m_store.m_db;
        m_result = Use(write ? db.begin_write : db.begin_read).Run();
        m_open = m_result == 0;
    }
    ~Transaction() {
        if (m_open) {
            Use(m_store.m_db->rollback).Run();
        }
        --m_store.m_depth;
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    LONG Result() const { return m_result; }
    LONG Commit() {
        if (!m_outer || !m_open) {
            return m_result;
        }
        LONG result = Use(m_store.m_db->commit).Run();
        m_open = result != 0 && sqlite3_get_autocommit(m_store.m_db->db.get()) == 0;
        return result;
    }

  private:
    RegistryStore& m_store;
    bool m_outer = false;
    bool m_open = false;
    LONG m_result = 0;
};

RegistryStore::RegistryStore(fs::path file, UINT code_page)
    : m_file(std::move(file)), m_code_page(code_page) {}

RegistryStore::~RegistryStore() = default;

std::unique_ptr<RegistryStore> RegistryStore::Open(const fs::path& root, UINT code_page,
                                                   std::string* error) {
    std::unique_ptr<RegistryStore> store(new RegistryStore(root / "registry.db", code_page));
    std::lock_guard lock(store->m_mutex);
    std::string reason;
    if (store->EnsureOpen(&reason) != 0) {
        if (error != nullptr) {
            *error = "cannot open " + store->m_file.string() + ": " + reason;
        }
        return nullptr;
    }
    return store;
}

LONG RegistryStore::EnsureOpen(std::string* error) {
    if (m_db) {
        return 0;
    }
    std::string reason;
    auto connection = std::make_unique<Connection>();
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(m_file.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    connection->db.reset(raw);
    LONG result = rc == SQLITE_OK ? 0 : ErrorFromSqlite(rc);
    if (result != 0) {
        reason = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    }
    if (result == 0) {
        sqlite3_busy_handler(raw, BusyWait, nullptr);
        // NORMAL: a commit is in the WAL file before the call returns, so a killed process
        // loses nothing it was told was written; only an OS crash can lose the last commits.
        result = ExecScript(raw, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", &reason);
    }
    std::int64_t version = 0;
    if (result == 0) {
        result = QueryInt(raw, "PRAGMA user_version", &version, &reason);
    }
    if (result == 0 && version > kSchemaVersion) {
        reason = "made by a newer version (schema " + std::to_string(version) + ")";
        result = kErrorRegistryCorrupt;
    }
    if (result == 0 && version < kSchemaVersion) {
        result = CreateSchema(raw, &reason);
    }
    if (result == 0) {
        result = connection->PrepareAll(&reason);
    }
    if (result != 0) {
        if (error != nullptr) {
            *error = reason;
        }
        return result;
    }
    m_db = std::move(connection);
    // Versions count per connection: positions seen through an earlier one mean nothing here.
    m_key_cursor = {};
    m_value_cursor = {};
    return 0;
}

std::string RegistryStore::Fold(std::string_view name) const {
    return ToUpperMb(name, m_code_page);
}

void RegistryStore::Suspend() {
    m_mutex.lock();
    m_db.reset();
}

void RegistryStore::Resume() {
    m_mutex.unlock();
}

LONG RegistryStore::KeyAlive(RegKeyId key) {
    Use use(m_db->key_row);
    int rc = use.Int(1, key).Step();
    if (rc == SQLITE_ROW) {
        return 0;
    }
    return rc == SQLITE_DONE ? kErrorKeyDeleted : ErrorFromSqlite(rc);
}

LONG RegistryStore::FindChild(RegKeyId parent, std::string_view name, RegKeyId* child) {
    std::string folded = Fold(name);
    Use use(m_db->find_child);
    int rc = use.Int(1, parent).Text(2, folded).Step();
    if (rc == SQLITE_ROW) {
        *child = use.ColumnInt(0);
        return 0;
    }
    return rc == SQLITE_DONE ? static_cast<LONG>(kErrorFileNotFound) : ErrorFromSqlite(rc);
}

LONG RegistryStore::Walk(RegKeyId base, const std::vector<std::string>& path, RegKeyId* key) {
    if (LONG result = KeyAlive(base)) {
        return result;
    }
    RegKeyId current = base;
    for (const std::string& name : path) {
        if (LONG result = FindChild(current, name, &current)) {
            return result;
        }
    }
    *key = current;
    return 0;
}

LONG RegistryStore::Touch(RegKeyId key) {
    return Use(m_db->touch_key).Int(1, key).Int(2, static_cast<std::int64_t>(NowFileTime())).Run();
}

LONG RegistryStore::OpenKeyLocked(RegKeyId base, const std::vector<std::string>& path,
                                  RegKeyId* key) {
    Transaction transaction(*this, false);
    if (LONG result = transaction.Result()) {
        return result;
    }
    if (LONG result = Walk(base, path, key)) {
        return result;
    }
    return transaction.Commit();
}

LONG RegistryStore::CreateKeyLocked(RegKeyId base, const std::vector<std::string>& path,
                                    std::string_view key_class, bool may_create, RegKeyId* key,
                                    bool* created) {
    *created = false;
    if (key_class.size() > kMaxValueNameLength) {
        return static_cast<LONG>(kErrorInvalidParameter);
    }
    // Most calls meet an existing key: look first without queueing for the write lock.
    if (m_depth == 0) {
        LONG result = OpenKeyLocked(base, path, key);
        if (result != static_cast<LONG>(kErrorFileNotFound)) {
            return result;
        }
    }
    Transaction transaction(*this, true);
    if (LONG result = transaction.Result()) {
        return result;
    }
    if (LONG result = KeyAlive(base)) {
        return result;
    }
    RegKeyId current = base;
    for (size_t i = 0; i < path.size(); ++i) {
        const std::string& name = path[i];
        LONG found = FindChild(current, name, &current);
        if (found == 0) {
            continue;
        }
        if (found != static_cast<LONG>(kErrorFileNotFound)) {
            return found;
        }
        if (!may_create) {
            return static_cast<LONG>(kErrorAccessDenied);
        }
        if (name.empty() || name.size() > kMaxKeyNameLength) {
            return static_cast<LONG>(kErrorInvalidParameter);
        }
        std::string folded = Fold(name);
        std::string_view this_class = i + 1 == path.size() ? key_class : std::string_view();
        RegKeyId parent = current;
        {
            Use use(m_db->insert_key);
            LONG result = use.Int(1, parent)
                              .Text(2, name)
                              .Text(3, folded)
                              .Text(4, this_class)
                              .Int(5, static_cast<std::int64_t>(NowFileTime()))
                              .Run();
            if (result != 0) {
                return result;
            }
        }
        current = sqlite3_last_insert_rowid(m_db->db.get());
        if (LONG result = Touch(parent)) {
            return result;
        }
        *created = i + 1 == path.size();
    }
    *key = current;
    return transaction.Commit();
}

LONG RegistryStore::SetValueLocked(RegKeyId key, std::string_view name, DWORD type,
                                   std::string_view data) {
    if (data.size() > kMaxValueDataLength) {
        return static_cast<LONG>(kErrorNotEnoughMemory);
    }
    if (name.size() > kMaxValueNameLength) {
        return static_cast<LONG>(kErrorInvalidParameter);
    }
    std::string folded = Fold(name);
    Transaction transaction(*this, true);
    if (LONG result = transaction.Result()) {
        return result;
    }
    if (LONG result = KeyAlive(key)) {
        return result;
    }
    LONG result = Use(m_db->upsert_value)
                      .Int(1, key)
                      .Text(2, name)
                      .Text(3, folded)
                      .Int(4, type)
                      .Blob(5, data)
                      .Int(6, static_cast<std::int64_t>(NowFileTime()))
                      .Run();
    if (result != 0) {
        return result;
    }
    return transaction.Commit();
}

LONG RegistryStore::GetMetaLocked(std::string_view name, std::string* value) {
    Use use(m_db->get_meta);
    int rc = use.Text(1, name).Step();
    if (rc == SQLITE_ROW) {
        *value = use.ColumnBytes(0);
        return 0;
    }
    return rc == SQLITE_DONE ? static_cast<LONG>(kErrorFileNotFound) : ErrorFromSqlite(rc);
}

LONG RegistryStore::SetMetaLocked(std::string_view name, std::string_view value) {
    return Use(m_db->set_meta).Text(1, name).Text(2, value).Run();
}

LONG RegistryStore::OpenKey(RegKeyId base, const std::vector<std::string>& path, RegKeyId* key) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    return OpenKeyLocked(base, path, key);
}

LONG RegistryStore::CreateKey(RegKeyId base, const std::vector<std::string>& path,
                              std::string_view key_class, bool may_create, RegKeyId* key,
                              bool* created) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    return CreateKeyLocked(base, path, key_class, may_create, key, created);
}

LONG RegistryStore::DeleteKey(RegKeyId base, const std::vector<std::string>& path) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    Transaction transaction(*this, true);
    if (LONG result = transaction.Result()) {
        return result;
    }
    RegKeyId key = 0;
    if (LONG result = Walk(base, path, &key)) {
        return result;
    }
    if (IsHive(key)) {
        return static_cast<LONG>(kErrorAccessDenied);
    }
    RegKeyId parent = 0;
    {
        Use row(m_db->key_row);
        int rc = row.Int(1, key).Step();
        if (rc != SQLITE_ROW) {
            return rc == SQLITE_DONE ? kErrorKeyDeleted : ErrorFromSqlite(rc);
        }
        if (row.ColumnInt(1) != 0) {
            return static_cast<LONG>(kErrorAccessDenied);
        }
        parent = row.ColumnInt(0);
    }
    {
        Use child(m_db->has_child);
        int rc = child.Int(1, key).Step();
        if (rc == SQLITE_ROW) {
            return static_cast<LONG>(kErrorAccessDenied);
        }
        if (rc != SQLITE_DONE) {
            return ErrorFromSqlite(rc);
        }
    }
    if (LONG result = Use(m_db->delete_values).Int(1, key).Run()) {
        return result;
    }
    if (LONG result = Use(m_db->delete_key).Int(1, key).Run()) {
        return result;
    }
    if (LONG result = Touch(parent)) {
        return result;
    }
    return transaction.Commit();
}

LONG RegistryStore::SetDenyDelete(RegKeyId base, const std::vector<std::string>& path, bool deny) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    Transaction transaction(*this, true);
    if (LONG result = transaction.Result()) {
        return result;
    }
    RegKeyId key = 0;
    if (LONG result = Walk(base, path, &key)) {
        return result;
    }
    if (LONG result = Use(m_db->set_deny).Int(1, key).Int(2, deny ? 1 : 0).Run()) {
        return result;
    }
    return transaction.Commit();
}

LONG RegistryStore::QueryValue(RegKeyId key, std::string_view name, RegValueRecord* value) {
    std::string folded = Fold(name);
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    {
        Use use(m_db->get_value);
        int rc = use.Int(1, key).Text(2, folded).Step();
        if (rc == SQLITE_ROW) {
            value->name = use.ColumnBytes(0);
            value->type = static_cast<DWORD>(use.ColumnInt(1));
            value->data = use.ColumnBytes(2);
            return 0;
        }
        if (rc != SQLITE_DONE) {
            return ErrorFromSqlite(rc);
        }
    }
    LONG alive = KeyAlive(key);
    return alive != 0 ? alive : static_cast<LONG>(kErrorFileNotFound);
}

LONG RegistryStore::SetValue(RegKeyId key, std::string_view name, DWORD type,
                             std::string_view data) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    return SetValueLocked(key, name, type, data);
}

LONG RegistryStore::DeleteValue(RegKeyId key, std::string_view name) {
    std::string folded = Fold(name);
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    Transaction transaction(*this, true);
    if (LONG result = transaction.Result()) {
        return result;
    }
    if (LONG result = KeyAlive(key)) {
        return result;
    }
    if (LONG result = Use(m_db->delete_value).Int(1, key).Text(2, folded).Run()) {
        return result;
    }
    if (sqlite3_changes(m_db->db.get()) == 0) {
        return static_cast<LONG>(kErrorFileNotFound);
    }
    if (LONG result = Touch(key)) {
        return result;
    }
    return transaction.Commit();
}

unsigned RegistryStore::DataVersion() {
    unsigned version = 0;
    sqlite3_file_control(m_db->db.get(), "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return version;
}

// Reading index i+1 right after index i with nothing written in between continues after the
// previous row instead of counting i+1 rows from the start: a whole enumeration stays linear.
bool RegistryStore::Continues(const EnumCursor& cursor, RegKeyId key, DWORD index,
                              unsigned version) const {
    return cursor.valid && cursor.key == key && index > 0 && cursor.index == index - 1 &&
           cursor.version == version;
}

LONG RegistryStore::EnumKey(RegKeyId key, DWORD index, RegSubkeyRecord* subkey) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    Transaction transaction(*this, false);
    if (LONG result = transaction.Result()) {
        return result;
    }
    if (LONG result = KeyAlive(key)) {  // also starts the snapshot the version belongs to
        return result;
    }
    const unsigned version = DataVersion();
    const bool next = Continues(m_key_cursor, key, index, version);
    m_key_cursor.valid = false;
    std::string folded;
    {
        Use use(next ? m_db->enum_key_after : m_db->enum_key);
        use.Int(1, key);
        if (next) {
            use.Text(2, m_key_cursor.after_text);
        } else {
            use.Int(2, index);
        }
        int rc = use.Step();
        if (rc == SQLITE_DONE) {
            return static_cast<LONG>(kErrorNoMoreItems);
        }
        if (rc != SQLITE_ROW) {
            return ErrorFromSqlite(rc);
        }
        subkey->name = use.ColumnBytes(0);
        subkey->key_class = use.ColumnBytes(1);
        subkey->last_write =
            static_cast<std::uint64_t>(std::max(use.ColumnInt(2), use.ColumnInt(4)));
        folded = use.ColumnBytes(3);
    }
    m_key_cursor = {key, index, std::move(folded), 0, version, true};
    return transaction.Commit();
}

LONG RegistryStore::EnumValue(RegKeyId key, DWORD index, RegValueRecord* value) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    Transaction transaction(*this, false);
    if (LONG result = transaction.Result()) {
        return result;
    }
    if (LONG result = KeyAlive(key)) {
        return result;
    }
    const unsigned version = DataVersion();
    const bool next = Continues(m_value_cursor, key, index, version);
    m_value_cursor.valid = false;
    std::int64_t id = 0;
    {
        Use use(next ? m_db->enum_value_after : m_db->enum_value);
        use.Int(1, key).Int(2, next ? m_value_cursor.after_id : index);
        int rc = use.Step();
        if (rc == SQLITE_DONE) {
            return static_cast<LONG>(kErrorNoMoreItems);
        }
        if (rc != SQLITE_ROW) {
            return ErrorFromSqlite(rc);
        }
        value->name = use.ColumnBytes(0);
        value->type = static_cast<DWORD>(use.ColumnInt(1));
        value->data = use.ColumnBytes(2);
        id = use.ColumnInt(3);
    }
    m_value_cursor = {key, index, "", id, version, true};
    return transaction.Commit();
}

LONG RegistryStore::QueryInfo(RegKeyId key, RegKeyInfoRecord* info) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    Transaction transaction(*this, false);
    if (LONG result = transaction.Result()) {
        return result;
    }
    {
        Use use(m_db->key_info);
        int rc = use.Int(1, key).Step();
        if (rc != SQLITE_ROW) {
            return rc == SQLITE_DONE ? kErrorKeyDeleted : ErrorFromSqlite(rc);
        }
        info->key_class = use.ColumnBytes(0);
        info->last_write = static_cast<std::uint64_t>(use.ColumnInt(1));
    }
    {
        Use use(m_db->child_stats);
        int rc = use.Int(1, key).Step();
        if (rc != SQLITE_ROW) {
            return ErrorFromSqlite(rc);
        }
        info->subkeys = static_cast<DWORD>(use.ColumnInt(0));
        info->max_subkey_length = static_cast<DWORD>(use.ColumnInt(1));
        info->max_class_length = static_cast<DWORD>(use.ColumnInt(2));
    }
    {
        Use use(m_db->value_stats);
        int rc = use.Int(1, key).Step();
        if (rc != SQLITE_ROW) {
            return ErrorFromSqlite(rc);
        }
        info->values = static_cast<DWORD>(use.ColumnInt(0));
        info->max_value_name_length = static_cast<DWORD>(use.ColumnInt(1));
        info->max_value_length = static_cast<DWORD>(use.ColumnInt(2));
        info->last_write = std::max(info->last_write, static_cast<std::uint64_t>(use.ColumnInt(3)));
    }
    return transaction.Commit();
}

LONG RegistryStore::Batch(const std::function<LONG(RegistryBatch&)>& body) {
    std::lock_guard lock(m_mutex);
    if (LONG result = EnsureOpen(nullptr)) {
        return result;
    }
    Transaction transaction(*this, true);
    if (LONG result = transaction.Result()) {
        return result;
    }
    RegistryBatch batch(*this);
    if (LONG result = body(batch)) {
        return result;
    }
    return transaction.Commit();
}

std::string RegistryStore::IntegrityCheck() {
    std::lock_guard lock(m_mutex);
    std::string reason;
    if (EnsureOpen(&reason) != 0) {
        return reason;
    }
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_db->db.get(), "PRAGMA integrity_check", -1, &raw, nullptr);
    Statement statement(raw);
    if (rc != SQLITE_OK) {
        return sqlite3_errmsg(m_db->db.get());
    }
    std::string report;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const unsigned char* line = sqlite3_column_text(raw, 0);
        if (!report.empty()) {
            report += '\n';
        }
        report += line != nullptr ? reinterpret_cast<const char*>(line) : "";
    }
    return rc == SQLITE_DONE ? report : sqlite3_errmsg(m_db->db.get());
}

namespace {

std::atomic<RegistryStore*> g_current_store{nullptr};

void SuspendCurrentStore() {
    if (RegistryStore* store = g_current_store.load()) {
        store->Suspend();
    }
}

void ResumeCurrentStore() {
    if (RegistryStore* store = g_current_store.load()) {
        store->Resume();
    }
}

// Owns the process's store: publishes it for the fork handlers, and unpublishes it before it
// goes so a late fork does not touch it.
class CurrentStoreHolder {
  public:
    explicit CurrentStoreHolder(std::unique_ptr<RegistryStore> store) : m_store(std::move(store)) {
        g_current_store.store(m_store.get());
        // A forked child starts with no connection rather than a copy of the parent's.
        ::pthread_atfork(SuspendCurrentStore, ResumeCurrentStore, ResumeCurrentStore);
    }
    ~CurrentStoreHolder() { g_current_store.store(nullptr); }
    CurrentStoreHolder(const CurrentStoreHolder&) = delete;
    CurrentStoreHolder& operator=(const CurrentStoreHolder&) = delete;

    RegistryStore& Store() { return *m_store; }

  private:
    std::unique_ptr<RegistryStore> m_store;
};

}  // namespace

std::unique_ptr<RegistryStore> RegistryStore::OpenCurrent() {
    Machine& machine = Machine::Current();
    std::unique_ptr<RegistryStore> store(
        new RegistryStore(machine.Root() / "registry.db", machine.Config().code_page));
    std::lock_guard lock(store->m_mutex);
    std::string reason;
    if (store->EnsureOpen(&reason) != 0) {
        // Kept all the same: every call retries the open and fails with the error meanwhile.
        std::cerr << "qxsetup: cannot open the registry " << store->m_file << ": " << reason
                  << "\n";
    }
    return store;
}

RegistryStore& CurrentRegistryStore() {
    static CurrentStoreHolder holder(RegistryStore::OpenCurrent());
    static std::atomic<bool> seeded{false};
    if (!seeded.load(std::memory_order_acquire) &&
        SeedStoreIfNeeded(holder.Store(), Machine::Current().Config()) == 0) {
        seeded.store(true, std::memory_order_release);
    }
    return holder.Store();
}

}  // namespace qx::platform
