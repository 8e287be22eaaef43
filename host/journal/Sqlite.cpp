#include "host/journal/Sqlite.h"

#include <sqlite3.h>
#include <unistd.h>

namespace ravelin::journal {

namespace {
[[noreturn]] void fail(sqlite3* db, const std::string& path, int rc) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    throw SqliteError(path + ": " + msg, rc);
}
} // namespace

Database::Database(const std::string& path, bool create)
    : Database(path, path,
               SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOFOLLOW) {}

std::unique_ptr<Database> Database::openReadOnly(const std::string& path) {
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW;
    if (::access((path + "-wal").c_str(), F_OK) == 0)
        return std::unique_ptr<Database>(new Database(path, path, flags));
    // Without a write-ahead file the database file is complete; read it as immutable so
    // that no shared-memory or write-ahead file is made beside it.
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
    uri += "?immutable=1";
    return std::unique_ptr<Database>(new Database(path, uri, flags | SQLITE_OPEN_URI));
}

Database::Database(const std::string& path, const std::string& name, int flags) : path_(path) {
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
    if (db_) sqlite3_close_v2(db_);
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
