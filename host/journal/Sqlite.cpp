#include "host/journal/Sqlite.h"

#include "host/text/Translate.h"
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <unistd.h>

namespace ravelin::journal {

namespace {
[[noreturn]] void fail(sqlite3* db, const std::string& path, int rc) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    throw SqliteError(path + ": " + msg, rc);
}
} // namespace

namespace {

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// A file name as an SQLite URI, every byte that could be read as syntax escaped.
std::string uriOf(const std::string& path) {
    std::string uri = "file:";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7f) {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri;
}

bool copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!in || !out) return false;
    out << in.rdbuf();
    return static_cast<bool>(out);
}

} // namespace

Database::Database(const std::string& path, bool create)
    : Database(path, path,
               SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOFOLLOW,
               create && !exists(path)) {}

std::unique_ptr<Database> Database::openReadOnly(const std::string& path) {
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_URI;
    if (!exists(path + "-wal"))
        // Without a write-ahead file the database file is complete; read it as immutable so
        // that no shared-memory or write-ahead file is made beside it.
        return std::unique_ptr<Database>(new Database(path, uriOf(path) + "?immutable=1", flags));
    if (exists(path + "-shm"))
        // A write-ahead file left by a writer that died: its index is read without being
        // written (or rebuilt) in place; SQLite keeps what it needs in memory.
        return std::unique_ptr<Database>(
            new Database(path, uriOf(path) + "?readonly_shm=1", flags));
    // No index beside it: read a private copy, which SQLite may recover as it likes.
    std::string dir = "/tmp";
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) dir = tmp;
    std::string templ = dir + "/deskforge-journal-XXXXXX";
    if (!::mkdtemp(templ.data()))
        throw SqliteError(text::trf("%1: Für das Lesen kann keine vorläufige Kopie angelegt "
                                    "werden: %2",
                                    path, std::strerror(errno)),
                          SQLITE_CANTOPEN);
    const std::string copy = templ + "/journal.sqlite";
    if (!copyFile(path, copy) || !copyFile(path + "-wal", copy + "-wal")) {
        std::filesystem::remove_all(templ);
        throw SqliteError(
            text::trf("%1: Für das Lesen kann keine vorläufige Kopie angelegt werden.", path),
            SQLITE_CANTOPEN);
    }
    std::unique_ptr<Database> db;
    try {
        db.reset(new Database(path, copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW));
    } catch (...) {
        std::filesystem::remove_all(templ);
        throw;
    }
    db->privateCopy_ = templ;
    return db;
}

Database::Database(const std::string& path, const std::string& name, int flags, bool created)
    : path_(path), created_(created) {
    int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw SqliteError(path + ": " + msg, rc);
    }
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 0);
}

Database::~Database() {
    const bool unused = removeIfUnused_ && created_ && db_ && sqlite3_total_changes(db_) == 0;
    if (db_) sqlite3_close_v2(db_);
    if (unused)
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((path_ + suffix).c_str());
    if (!privateCopy_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(privateCopy_, ignored);
    }
}

void Database::exec(const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        throw SqliteError(path_ + ": " + msg, rc);
    }
}

std::int64_t Database::lastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

Statement::Statement(Database& db, const std::string& sql) : db_(db) {
    int rc = sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) fail(db.handle(), db.path(), rc);
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int i, std::int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
}
Statement& Statement::bind(int i, const std::string& v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}
Statement& Statement::bindBlob(int i, const std::vector<std::uint8_t>& v) {
    sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}
Statement& Statement::bindBlob(int i, const std::string& v) {
    sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}
Statement& Statement::bindNull(int i) {
    sqlite3_bind_null(stmt_, i);
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(db_.handle(), db_.path(), rc);
}

void Statement::run() {
    while (step()) {
    }
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool Statement::isNull(int c) const {
    return sqlite3_column_type(stmt_, c) == SQLITE_NULL;
}
std::int64_t Statement::integer(int c) const {
    return sqlite3_column_int64(stmt_, c);
}
std::string Statement::text(int c) const {
    const unsigned char* t = sqlite3_column_text(stmt_, c);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt_, c)))
             : std::string();
}
std::vector<std::uint8_t> Statement::blob(int c) const {
    const auto* b = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, c));
    int n = sqlite3_column_bytes(stmt_, c);
    return b ? std::vector<std::uint8_t>(b, b + n) : std::vector<std::uint8_t>();
}
std::string Statement::blobText(int c) const {
    const auto* b = static_cast<const char*>(sqlite3_column_blob(stmt_, c));
    int n = sqlite3_column_bytes(stmt_, c);
    return b ? std::string(b, static_cast<std::size_t>(n)) : std::string();
}

WriteTransaction::WriteTransaction(Database& db) : db_(db) {
    db_.exec("BEGIN IMMEDIATE");
}
WriteTransaction::~WriteTransaction() {
    if (!done_) {
        try {
            db_.exec("ROLLBACK");
        } catch (...) {
        }
    }
}
void WriteTransaction::commit() {
    db_.exec("COMMIT");
    done_ = true;
}

} // namespace ravelin::journal
