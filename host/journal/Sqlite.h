// A thin RAII layer over SQLite: a database and prepared statements.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ravelin::journal {

class SqliteError : public std::runtime_error {
  public:
    SqliteError(const std::string& what, int code) : std::runtime_error(what), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

class Database {
  public:
    explicit Database(const std::string& path, bool create);
    // Opens for reading only and touches no file beside it: a database without a
    // write-ahead file is read as it stands on disk; one with a write-ahead file (left by a
    // writer that died) is read with it, its index kept in memory or, when there is none, from
    // a private copy outside the database's folder.
    static std::unique_ptr<Database> openReadOnly(const std::string& path);
    // A database this object created is removed again when it is closed without a single
    // row written: a command that was refused leaves nothing behind.
    void removeIfUnused(bool on) { removeIfUnused_ = on; }
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    void exec(const std::string& sql);
    std::int64_t lastInsertId() const;
    sqlite3* handle() const { return db_; }
    const std::string& path() const { return path_; }

  private:
    Database(const std::string& path, const std::string& name, int flags, bool created = false);
    sqlite3* db_ = nullptr;
    std::string path_;
    bool created_ = false;
    bool removeIfUnused_ = false;
    std::string privateCopy_; // the folder of a private copy read instead, removed at the end
};

class Statement {
  public:
    Statement(Database& db, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t v);
    Statement& bind(int index, const std::string& v);
    Statement& bindBlob(int index, const std::vector<std::uint8_t>& v);
    Statement& bindBlob(int index, const std::string& v);
    Statement& bindNull(int index);
    // Steps once: true while a row is there.
    bool step();
    void run(); // steps to the end
    void reset();

    bool isNull(int column) const;
    std::int64_t integer(int column) const;
    std::string text(int column) const;
    std::vector<std::uint8_t> blob(int column) const;
    std::string blobText(int column) const;

  private:
    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception.
class WriteTransaction {
  public:
    explicit WriteTransaction(Database& db);
    ~WriteTransaction();
    void commit();

  private:
    Database& db_;
    bool done_ = false;
};

} // namespace ravelin::journal
