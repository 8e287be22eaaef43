#include "host/journal/Journal.h"

#include "host/registry/FileUtil.h"
#include "host/registry/Registry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravelin::journal {

using registry::RegistryChange;

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS transactions(
    id INTEGER PRIMARY KEY,
    time INTEGER NOT NULL,
    page TEXT NOT NULL DEFAULT '',
    control TEXT NOT NULL DEFAULT '',
    label TEXT NOT NULL DEFAULT '',
    kind TEXT NOT NULL,
    category INTEGER NOT NULL DEFAULT 0,
    target INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS changes(
    id INTEGER PRIMARY KEY,
    txn INTEGER NOT NULL,           -- 0: kept for recovery only, not listed
    kind TEXT NOT NULL,             -- 'value', 'key' or 'file'
    hive_file TEXT NOT NULL DEFAULT '',
    key_path TEXT NOT NULL DEFAULT '',  -- for files: the file's path
    full_name TEXT NOT NULL DEFAULT '',
    value_name TEXT NOT NULL DEFAULT '',
    before_exists INTEGER NOT NULL,
    before_type INTEGER,
    before_data BLOB,
    after_exists INTEGER NOT NULL,
    after_type INTEGER,
    after_data BLOB,
    sensitive INTEGER NOT NULL DEFAULT 0,
    applied INTEGER NOT NULL DEFAULT 1);
CREATE INDEX IF NOT EXISTS changes_by_hive ON changes(hive_file, id);
CREATE INDEX IF NOT EXISTS changes_by_txn ON changes(txn, id);
CREATE TABLE IF NOT EXISTS flushes(
    hive_file TEXT PRIMARY KEY,
    last_change INTEGER NOT NULL);
)";

constexpr const char* kChangeColumns = "id, kind, hive_file, key_path, full_name, value_name, "
                                       "before_exists, before_type, before_data, "
                                       "after_exists, after_type, after_data, sensitive";

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

JournalEntry readEntry(const Statement& s) {
    JournalEntry e;
    e.id = s.integer(0);
    std::string kind = s.text(1);
    if (kind == "file") {
        e.isFile = true;
        e.file.path = s.text(3);
        if (s.integer(6)) e.file.before = s.blobText(8);
        if (s.integer(9)) e.file.after = s.blobText(11);
        return e;
    }
    RegistryChange& c = e.registry;
    c.kind = kind == "key" ? RegistryChange::Kind::Key : RegistryChange::Kind::Value;
    c.hiveFile = s.text(2);
    c.keyPath = s.text(3);
    c.fullName = s.text(4);
    c.valueName = s.text(5);
    c.sensitive = s.integer(12) != 0;
    if (c.kind == RegistryChange::Kind::Value) {
        if (s.integer(6))
            c.before = RegistryValue{c.valueName, static_cast<DWORD>(s.integer(7)), s.blob(8)};
        if (s.integer(9))
            c.after = RegistryValue{c.valueName, static_cast<DWORD>(s.integer(10)), s.blob(11)};
    } else {
        if (s.integer(6)) c.beforeTree = s.blobText(8);
        if (s.integer(9)) c.afterTree = s.blobText(11);
    }
    return e;
}

std::string quoteData(const RegistryValue& v) {
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ)) return "\"" + stringFromData(v.data) + "\"";
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x",
                      static_cast<unsigned>(v.data[0] | v.data[1] << 8 | v.data[2] << 16 |
                                            static_cast<unsigned>(v.data[3]) << 24));
        return buf;
    }
    if (v.type == REG_MULTI_SZ) {
        std::string out;
        for (const auto& item : multiStringFromData(v.data))
            out += (out.empty() ? "\"" : ", \"") + item + "\"";
        return out.empty() ? "(empty list)" : out;
    }
    std::string out = std::string(typeName(v.type)) + ":";
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < v.data.size() && i < 16; ++i) {
        out.push_back(kDigits[v.data[i] >> 4]);
        out.push_back(kDigits[v.data[i] & 15]);
    }
    if (v.data.size() > 16) out += "...";
    return out;
}

} // namespace

std::string describe(const JournalEntry& e) {
    if (e.isFile) return e.file.path + (e.file.after ? " written" : " deleted");
    const RegistryChange& c = e.registry;
    if (c.kind == RegistryChange::Kind::Key) {
        if (!c.afterTree) return c.fullName + " deleted";
        return c.fullName + (c.beforeTree ? " replaced" : " created");
    }
    std::string name = c.valueName.empty() ? "(Default)" : "\"" + c.valueName + "\"";
    if (!c.after) return c.fullName + " " + name + " deleted";
    return c.fullName + " " + name + " = " +
           (c.sensitive ? std::string("(sensitive)") : quoteData(*c.after));
}

Journal::Journal(std::unique_ptr<Database> db, std::string machineDir)
    : db_(std::move(db)), machineDir_(std::move(machineDir)) {}

Journal::~Journal() = default;

bool Journal::exists(const std::string& machineDir) {
    struct stat st {};
    return ::stat((machineDir + "/.deskforge/journal.sqlite").c_str(), &st) == 0;
}

std::unique_ptr<Journal> Journal::open(const std::string& machineDir) {
    std::string dir = machineDir + "/.deskforge";
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        throw JournalError(machineDir +
                           ": cannot write to the machine folder: " + std::strerror(errno));
    std::string path = dir + "/journal.sqlite";
    try {
        auto db = std::make_unique<Database>(path, true);
        // Check before anything is written: a bad or newer journal stays as it is.
        std::int64_t version = 0;
        {
            Statement s(*db, "PRAGMA user_version");
            if (s.step()) version = s.integer(0);
        }
        if (version > kSchemaVersion)
            throw JournalError(
                path + ": the journal was written by a newer version of deskforge (format " +
                std::to_string(version) + ", this one reads up to " +
                std::to_string(kSchemaVersion) + ")");
        {
            Statement s(*db, "PRAGMA quick_check");
            if (s.step() && s.text(0) != "ok")
                throw JournalError(path + ": the journal is damaged: " + s.text(0));
        }
        db->exec("PRAGMA journal_mode=WAL");
        db->exec("PRAGMA synchronous=FULL");
        if (version == 0) {
            WriteTransaction t(*db);
            db->exec(kSchema);
            db->exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
            t.commit();
        }
        return std::unique_ptr<Journal>(new Journal(std::move(db), machineDir));
    } catch (const SqliteError& e) {
        if (e.code() == SQLITE_NOTADB || e.code() == SQLITE_CORRUPT)
            throw JournalError(path +
                               ": the journal is damaged or not a journal database: " + e.what());
        throw JournalError(std::string("cannot open the journal: ") + e.what());
    }
}

bool Journal::recording() const {
    if (gate_ && !gate_()) return false;
    return backupTxn_ != 0 || !stopped_;
}

void Journal::setContext(const std::string& page, const std::string& control) {
    page_ = page;
    control_ = control;
    ++context_;
}

void Journal::stop() {
    stopped_ = true;
}
void Journal::start() {
    stopped_ = false;
}

std::int64_t Journal::newTransaction(const std::string& kind, const std::string& label,
                                     std::int64_t target) {
    const int category =
        pendingCategory_ >= 0 && pendingContext_ == context_ ? pendingCategory_ : 0;
    Statement s(*db_,
                "INSERT INTO transactions(time, page, control, label, kind, target, category) "
                "VALUES(?,?,?,?,?,?,?)");
    s.bind(1, now())
        .bind(2, page_)
        .bind(3, control_)
        .bind(4, label)
        .bind(5, kind)
        .bind(6, target)
        .bind(7, category);
    s.run();
    lastTxnContext_ = context_;
    lastTxn_ = db_->lastInsertId(); // a flag in this action labels this transaction
    return lastTxn_;
}

void Journal::backupStart(const std::string& label) {
    if (backupTxn_) return; // a backup inside a backup joins the outer one
    try {
        WriteTransaction t(*db_);
        backupTxn_ = newTransaction("backup", label, 0);
        t.commit();
    } catch (const SqliteError& e) {
        backupTxn_ = 0;
        throw JournalError(std::string("cannot write the journal: ") + e.what());
    }
    backupLabel_ = label;
    backupUsed_ = false;
}

void Journal::backupEnd() {
    if (!backupTxn_) return;
    std::int64_t txn = backupTxn_;
    backupTxn_ = 0;
    if (backupUsed_) return;
    try {
        Statement s(*db_, "DELETE FROM transactions WHERE id=?"); // nothing was written in it
        s.bind(1, txn).run();
    } catch (const SqliteError&) {
        // An empty transaction left behind lists as such; nothing is lost.
    }
}

void Journal::setFlag(int category) {
    pendingCategory_ = category;
    pendingContext_ = context_;
    if (!lastTxn_ || lastTxnContext_ != context_) return;
    try {
        Statement s(*db_, "UPDATE transactions SET category=? WHERE id=?");
        s.bind(1, category).bind(2, lastTxn_).run();
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot write the journal: ") + e.what());
    }
}

std::int64_t Journal::insertChange(std::int64_t txn, const RegistryChange& c) {
    Statement s(*db_, "INSERT INTO changes(txn, kind, hive_file, key_path, full_name, value_name, "
                      "before_exists, before_type, "
                      "before_data, after_exists, after_type, after_data, sensitive) "
                      "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)");
    s.bind(1, txn).bind(2, std::string(c.kind == RegistryChange::Kind::Key ? "key" : "value"));
    s.bind(3, c.hiveFile).bind(4, c.keyPath).bind(5, c.fullName).bind(6, c.valueName);
    auto bindImage = [&](int at, const std::optional<RegistryValue>& v,
                         const std::optional<std::string>& tree) {
        if (c.kind == RegistryChange::Kind::Value) {
            s.bind(at, v ? 1 : 0);
            if (v)
                s.bind(at + 1, static_cast<std::int64_t>(v->type)).bindBlob(at + 2, v->data);
            else
                s.bindNull(at + 1).bindNull(at + 2);
        } else {
            s.bind(at, tree ? 1 : 0).bindNull(at + 1);
            if (tree)
                s.bindBlob(at + 2, *tree);
            else
                s.bindNull(at + 2);
        }
    };
    bindImage(7, c.before, c.beforeTree);
    bindImage(10, c.after, c.afterTree);
    s.bind(13, c.sensitive ? 1 : 0);
    s.run();
    return db_->lastInsertId();
}

void Journal::record(const std::vector<RegistryChange>& changes) {
    try {
        WriteTransaction t(*db_);
        std::int64_t txn = 0;
        if (forcedTxn_) {
            txn = forcedTxn_;
        } else if (recording()) {
            if (backupTxn_) {
                txn = backupTxn_;
                backupUsed_ = true;
            } else {
                txn = newTransaction("change", "", 0);
            }
        }
        for (const auto& c : changes)
            insertChange(txn, c);
        t.commit();
        if (txn) lastTxn_ = txn;
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot write the journal, the change was not made: ") +
                           e.what());
    }
}

void Journal::flushed(const std::string& hiveFile) {
    try {
        Statement s(*db_, "INSERT OR REPLACE INTO flushes(hive_file, last_change) "
                          "SELECT ?, COALESCE(MAX(id), 0) FROM changes WHERE hive_file=?");
        s.bind(1, hiveFile).bind(2, hiveFile).run();
    } catch (const SqliteError& e) {
        // The rows stay pending and are applied again on the next open: harmless.
        (void)e;
    }
}

void Journal::writeFile(const std::string& path, const std::optional<std::string>& content) {
    if (content) {
        registry::writeFileAtomically(path, *content);
    } else if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        throw RegistryAccessError(path + ": cannot delete: " + std::strerror(errno));
    }
}

void Journal::recordFile(const FileChange& change, const std::function<void()>& apply) {
    std::int64_t id = 0;
    try {
        WriteTransaction t(*db_);
        std::int64_t txn = 0;
        if (forcedTxn_)
            txn = forcedTxn_;
        else if (recording()) {
            if (backupTxn_) {
                txn = backupTxn_;
                backupUsed_ = true;
            } else {
                txn = newTransaction("change", "", 0);
            }
        }
        Statement s(*db_, "INSERT INTO changes(txn, kind, key_path, full_name, before_exists, "
                          "before_data, after_exists, "
                          "after_data, applied) VALUES(?,'file',?,?,?,?,?,?,0)");
        s.bind(1, txn).bind(2, change.path).bind(3, change.path);
        s.bind(4, change.before ? 1 : 0);
        if (change.before)
            s.bindBlob(5, *change.before);
        else
            s.bindNull(5);
        s.bind(6, change.after ? 1 : 0);
        if (change.after)
            s.bindBlob(7, *change.after);
        else
            s.bindNull(7);
        s.run();
        id = db_->lastInsertId();
        t.commit();
        if (txn) lastTxn_ = txn;
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot write the journal, the file was not changed: ") +
                           e.what());
    }
    apply();
    try {
        Statement s(*db_, "UPDATE changes SET applied=1 WHERE id=?");
        s.bind(1, id).run();
    } catch (const SqliteError&) {
        // Applied again on the next open, which writes the same content.
    }
}

std::size_t Journal::recover(registry::Registry& reg) {
    std::size_t applied = 0;
    try {
        for (registry::Hive* hive : reg.hives()) {
            std::string id = reg.hiveId(*hive);
            std::int64_t last = 0;
            {
                Statement s(*db_, "SELECT last_change FROM flushes WHERE hive_file=?");
                s.bind(1, id);
                if (s.step()) last = s.integer(0);
            }
            std::vector<RegistryChange> pending;
            Statement s(
                *db_, std::string("SELECT ") + kChangeColumns +
                          " FROM changes WHERE hive_file=? AND id>? AND kind!='file' ORDER BY id");
            s.bind(1, id).bind(2, last);
            while (s.step()) {
                JournalEntry e = readEntry(s);
                // A sensitive row carries no data: its hive was saved before it was acknowledged.
                if (!e.registry.sensitive) pending.push_back(std::move(e.registry));
            }
            reg.replay(pending);
            applied += pending.size();
        }
        std::vector<JournalEntry> files;
        {
            Statement s(*db_, std::string("SELECT ") + kChangeColumns +
                                  " FROM changes WHERE kind='file' AND applied=0 ORDER BY id");
            while (s.step())
                files.push_back(readEntry(s));
        }
        for (const auto& f : files) {
            writeFile(f.file.path, f.file.after);
            Statement s(*db_, "UPDATE changes SET applied=1 WHERE id=?");
            s.bind(1, f.id).run();
            ++applied;
        }
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot read the journal: ") + e.what());
    }
    if (applied && reg.modified()) {
        try {
            reg.flush();
        } catch (const RegistryAccessError&) {
            // Not writable now (Wine runs, another writer): the rows stay pending and the
            // registry in memory already shows them.
        }
    }
    return applied;
}

std::vector<JournalEntry> Journal::entries(std::int64_t txn) {
    std::vector<JournalEntry> out;
    Statement s(*db_,
                std::string("SELECT ") + kChangeColumns + " FROM changes WHERE txn=? ORDER BY id");
    s.bind(1, txn);
    while (s.step())
        out.push_back(readEntry(s));
    return out;
}

std::optional<TransactionInfo> Journal::transaction(std::int64_t id) {
    auto all = list(id);
    for (auto& t : all)
        if (t.id == id) return t;
    return std::nullopt;
}

std::vector<TransactionInfo> Journal::list(std::int64_t since) {
    std::vector<TransactionInfo> out;
    try {
        Statement s(
            *db_, "SELECT t.id, t.time, t.page, t.control, t.label, t.kind, t.category, t.target, "
                  "(SELECT COUNT(*) FROM changes c WHERE c.txn=t.id) FROM transactions t WHERE "
                  "t.id>=? ORDER BY t.id DESC");
        s.bind(1, since);
        while (s.step()) {
            TransactionInfo t;
            t.id = s.integer(0);
            t.time = s.integer(1);
            t.page = s.text(2);
            t.control = s.text(3);
            t.label = s.text(4);
            t.kind = s.text(5);
            t.category = static_cast<int>(s.integer(6));
            t.target = s.integer(7);
            t.changes = static_cast<int>(s.integer(8));
            out.push_back(std::move(t));
        }
        for (auto& t : out) {
            Statement first(*db_, std::string("SELECT ") + kChangeColumns +
                                      " FROM changes WHERE txn=? ORDER BY id LIMIT 1");
            first.bind(1, t.id);
            if (first.step()) t.summary = describe(readEntry(first));
            if (t.changes > 1) t.summary += " (+" + std::to_string(t.changes - 1) + " more)";
            if (t.kind == "undo" || t.kind == "redo")
                t.summary = t.kind + " of " + std::to_string(t.target) + ": " + t.summary;
        }
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot read the journal: ") + e.what());
    }
    return out;
}

std::vector<RegistryChange> Journal::registryChangesSince(std::int64_t since) {
    std::vector<RegistryChange> out;
    Statement s(*db_, std::string("SELECT ") + kChangeColumns +
                          " FROM changes WHERE txn>=? AND txn>0 AND kind!='file' ORDER BY id");
    s.bind(1, std::max<std::int64_t>(since, 1));
    while (s.step())
        out.push_back(readEntry(s).registry);
    return out;
}

// A file is put back only while it holds what the transaction left in it: a later change
// (another page action, the program itself) would otherwise be lost without a word.
void Journal::requireFilesAsLeft(std::int64_t txn, const std::vector<JournalEntry>& list,
                                 bool undo) {
    std::map<std::string, std::optional<std::string>> expected; // the file as each step finds it
    auto step = [&](const JournalEntry& e) {
        if (!e.isFile) return;
        auto it = expected.find(e.file.path);
        if (it == expected.end()) {
            std::optional<std::string> current;
            if (::access(e.file.path.c_str(), F_OK) == 0)
                current = registry::readWholeFile(e.file.path);
            it = expected.emplace(e.file.path, std::move(current)).first;
        }
        if (it->second != (undo ? e.file.after : e.file.before))
            throw JournalError(e.file.path + " has changed since transaction " +
                               std::to_string(txn) + "; undo the later changes first");
        it->second = undo ? e.file.before : e.file.after;
    };
    if (undo)
        std::for_each(list.rbegin(), list.rend(), step);
    else
        std::for_each(list.begin(), list.end(), step);
}

std::int64_t Journal::replayOrRestore(std::int64_t txn, registry::Registry& reg, bool undo) {
    auto info = transaction(txn);
    if (!info)
        throw JournalError("there is no transaction " + std::to_string(txn) + " in the journal");
    std::vector<JournalEntry> list = entries(txn);
    if (list.empty()) throw JournalError("transaction " + std::to_string(txn) + " changed nothing");
    requireFilesAsLeft(txn, list, undo);
    for (const auto& e : list) {
        if (e.isFile || !e.registry.sensitive) continue;
        bool needed = undo ? e.registry.before.has_value() : e.registry.after.has_value();
        if (needed)
            throw JournalError("transaction " + std::to_string(txn) +
                               " wrote the sensitive value " + e.registry.fullName + " \"" +
                               e.registry.valueName +
                               "\", whose content the journal does not keep; it cannot be " +
                               (undo ? "undone" : "redone"));
    }
    std::int64_t newTxn = 0;
    try {
        WriteTransaction t(*db_);
        newTxn = newTransaction(undo ? "undo" : "redo", info->label, txn);
        Statement s(*db_, "UPDATE transactions SET category=? WHERE id=?");
        s.bind(1, info->category).bind(2, newTxn).run();
        t.commit();
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot write the journal: ") + e.what());
    }
    forcedTxn_ = newTxn;
    struct Reset {
        std::int64_t& v;
        ~Reset() { v = 0; }
    } reset{forcedTxn_};
    if (undo) std::reverse(list.begin(), list.end());
    for (const auto& e : list) {
        if (e.isFile) {
            const auto& target = undo ? e.file.before : e.file.after;
            std::optional<std::string> current;
            if (::access(e.file.path.c_str(), F_OK) == 0)
                current = registry::readWholeFile(e.file.path);
            recordFile({e.file.path, current, target}, [&] { writeFile(e.file.path, target); });
        } else {
            reg.restore({e.registry}, undo);
        }
    }
    reg.flush();
    lastTxn_ = newTxn;
    return newTxn;
}

std::int64_t Journal::undo(std::int64_t txn, registry::Registry& reg) {
    return replayOrRestore(txn, reg, true);
}
std::int64_t Journal::redo(std::int64_t txn, registry::Registry& reg) {
    return replayOrRestore(txn, reg, false);
}

} // namespace ravelin::journal
