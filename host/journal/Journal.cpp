#include "host/journal/Journal.h"

#include "host/registry/FileUtil.h"
#include "host/registry/RegFile.h"
#include "host/registry/Registry.h"
#include "host/registry/Text.h"

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
    target INTEGER NOT NULL DEFAULT 0,
    state TEXT NOT NULL DEFAULT 'done'); -- 'open' until the transaction is committed whole
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
    applied INTEGER NOT NULL DEFAULT 1,
    unit INTEGER NOT NULL DEFAULT 0); -- the transaction whose end commits the row; 0: itself
CREATE INDEX IF NOT EXISTS changes_by_hive ON changes(hive_file, id);
CREATE INDEX IF NOT EXISTS changes_by_txn ON changes(txn, id);
CREATE TABLE IF NOT EXISTS flushes(
    hive_file TEXT PRIMARY KEY,
    last_change INTEGER NOT NULL);
)";

// From the first format: every row was committed by itself.
constexpr const char* kUpgradeFrom1 = R"(
ALTER TABLE transactions ADD COLUMN state TEXT NOT NULL DEFAULT 'done';
ALTER TABLE changes ADD COLUMN unit INTEGER NOT NULL DEFAULT 0;
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

Journal::Journal(std::unique_ptr<Database> db, std::string machineDir, bool readOnly, int version)
    : db_(std::move(db)), machineDir_(std::move(machineDir)), readOnly_(readOnly),
      hasUnits_(version >= 2), roots_{machineDir_} {}

Journal::~Journal() = default;

bool Journal::exists(const std::string& machineDir) {
    struct stat st {};
    return ::stat((machineDir + "/.deskforge/journal.sqlite").c_str(), &st) == 0;
}

namespace {

// Checks the journal's format before anything is written: a bad or newer journal stays as
// it is. Returns its version.
std::int64_t checkedVersion(Database& db, const std::string& path) {
    std::int64_t version = 0;
    {
        Statement s(db, "PRAGMA user_version");
        if (s.step()) version = s.integer(0);
    }
    if (version > Journal::kSchemaVersion)
        throw JournalError(path +
                           ": the journal was written by a newer version of deskforge (format " +
                           std::to_string(version) + ", this one reads up to " +
                           std::to_string(Journal::kSchemaVersion) + ")");
    Statement s(db, "PRAGMA quick_check");
    if (s.step() && s.text(0) != "ok")
        throw JournalError(path + ": the journal is damaged: " + s.text(0));
    return version;
}

JournalError openError(const std::string& path, const SqliteError& e) {
    if (e.code() == SQLITE_NOTADB || e.code() == SQLITE_CORRUPT)
        return JournalError(path +
                            ": the journal is damaged or not a journal database: " + e.what());
    return JournalError(std::string("cannot open the journal: ") + e.what());
}

} // namespace

std::unique_ptr<Journal> Journal::open(const std::string& machineDir) {
    std::string dir = machineDir + "/.deskforge";
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        throw JournalError(machineDir +
                           ": cannot write to the machine folder: " + std::strerror(errno));
    std::string path = dir + "/journal.sqlite";
    try {
        auto db = std::make_unique<Database>(path, true);
        std::int64_t version = checkedVersion(*db, path);
        db->exec("PRAGMA journal_mode=WAL");
        db->exec("PRAGMA synchronous=FULL");
        if (version < kSchemaVersion) {
            WriteTransaction t(*db);
            db->exec(version == 0 ? kSchema : kUpgradeFrom1);
            db->exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
            t.commit();
        }
        return std::unique_ptr<Journal>(
            new Journal(std::move(db), machineDir, false, kSchemaVersion));
    } catch (const SqliteError& e) {
        throw openError(path, e);
    }
}

std::unique_ptr<Journal> Journal::openReadOnly(const std::string& machineDir) {
    if (!exists(machineDir)) return nullptr;
    std::string path = machineDir + "/.deskforge/journal.sqlite";
    try {
        auto db = Database::openReadOnly(path);
        std::int64_t version = checkedVersion(*db, path);
        if (version == 0) return nullptr; // made but never written
        return std::unique_ptr<Journal>(
            new Journal(std::move(db), machineDir, true, static_cast<int>(version)));
    } catch (const SqliteError& e) {
        throw openError(path, e);
    }
}

std::int64_t Journal::unitFor() const {
    if (forcedTxn_) return forcedTxn_;
    return backupTxn_;
}

void Journal::requireInside(const std::string& path) const {
    if (!registry::resolvesInside(path, roots_) && !(pathGuard_ && pathGuard_(path)))
        throw JournalError(path +
                           ": refused: the journal names a file outside the machine "
                           "folder " +
                           machineDir_ + " (links followed); nothing was written");
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
    // A single change is committed with its row; the others stay open until their end.
    Statement s(*db_, "INSERT INTO transactions(time, page, control, label, kind, target, "
                      "category, state) VALUES(?,?,?,?,?,?,?,?)");
    s.bind(1, now())
        .bind(2, page_)
        .bind(3, control_)
        .bind(4, label)
        .bind(5, kind)
        .bind(6, target)
        .bind(7, category)
        .bind(8, std::string(kind == "change" ? "done" : "open"));
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

std::int64_t Journal::backupEnd() {
    if (!backupTxn_) return 0;
    std::int64_t txn = backupTxn_;
    backupTxn_ = 0;
    try {
        // The commit point of the whole transaction.
        WriteTransaction t(*db_);
        if (backupUsed_) {
            Statement s(*db_, "UPDATE transactions SET state='done' WHERE id=?");
            s.bind(1, txn).run();
        } else {
            // Nothing listed was written in it; rows kept for recovery only stand alone.
            Statement u(*db_, "UPDATE changes SET unit=0 WHERE unit=?");
            u.bind(1, txn).run();
            Statement d(*db_, "DELETE FROM transactions WHERE id=?");
            d.bind(1, txn).run();
        }
        t.commit();
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot write the journal, the transaction was not "
                                       "completed: ") +
                           e.what());
    }
    return backupUsed_ ? txn : 0;
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
                      "before_data, after_exists, after_type, after_data, sensitive, unit) "
                      "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
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
    s.bind(13, c.sensitive ? 1 : 0).bind(14, unitFor());
    s.run();
    return db_->lastInsertId();
}

void Journal::record(const std::vector<RegistryChange>& changes) {
    if (readOnly_) throw JournalError("the machine was opened for reading only");
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
    requireInside(path);
    if (content) {
        registry::writeFileAtomically(path, *content);
    } else if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        throw RegistryAccessError(path + ": cannot delete: " + std::strerror(errno));
    }
}

void Journal::recordFile(const FileChange& change, const std::function<void()>& apply) {
    if (readOnly_) throw JournalError("the machine was opened for reading only");
    requireInside(change.path);
    if (fileWriteGuard_) fileWriteGuard_(change.path);
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
                          "after_data, applied, unit) VALUES(?,'file',?,?,?,?,?,?,0,?)");
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
        s.bind(8, unitFor());
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
    // A transaction still open belongs to a process that died before its end: the machine
    // is locked by this one (or, read-only, shown as if it were).
    const std::string openUnits =
        hasUnits_ ? "(SELECT id FROM transactions WHERE state='open')" : "(SELECT 0 WHERE 0)";
    // Rows of a transaction rolled back before ('void') count for nothing.
    const std::string committed =
        hasUnits_ ? " AND (unit=0 OR unit IN (SELECT id FROM transactions WHERE state='done'))"
                  : "";
    auto rows = [&](const std::string& where, std::int64_t a, const std::string& b, bool bindB) {
        std::vector<JournalEntry> out;
        Statement s(*db_, std::string("SELECT ") + kChangeColumns + " FROM changes WHERE " + where);
        s.bind(1, a);
        if (bindB) s.bind(2, b);
        while (s.step())
            out.push_back(readEntry(s));
        return out;
    };
    std::size_t rolledBack = 0;
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
            for (auto& e :
                 rows("id>?1 AND hive_file=?2 AND kind!='file'" + committed + " ORDER BY id", last,
                      id, true))
                // A sensitive row carries no data: its hive was saved before it was
                // acknowledged.
                if (!e.registry.sensitive) pending.push_back(std::move(e.registry));
            reg.replay(pending);
            applied += pending.size();
            if (!hasUnits_) continue;
            // What an unfinished transaction had already put into the file goes back.
            std::vector<RegistryChange> undo;
            for (auto& e : rows("id<=?1 AND hive_file=?2 AND kind!='file' AND unit IN " +
                                    openUnits + " ORDER BY id DESC",
                                last, id, true))
                if (!e.registry.sensitive) undo.push_back(std::move(e.registry));
            reg.replayBefore(undo);
            rolledBack += undo.size();
        }
        if (!readOnly_) {
            // Files: an unfinished transaction's are put back, a finished one's written.
            std::vector<JournalEntry> back;
            if (hasUnits_)
                back = rows("kind='file' AND unit IN " + openUnits + " AND id>?1 ORDER BY id DESC",
                            0, {}, false);
            for (const auto& f : back)
                requireInside(f.file.path);
            std::vector<JournalEntry> files = rows(
                std::string("kind='file' AND applied=0 AND id>?1") + committed + " ORDER BY id", 0,
                {}, false);
            for (const auto& f : files)
                requireInside(f.file.path);
            for (const auto& f : back) {
                writeFile(f.file.path, f.file.before);
                ++rolledBack;
            }
            for (const auto& f : files) {
                writeFile(f.file.path, f.file.after);
                Statement s(*db_, "UPDATE changes SET applied=1 WHERE id=?");
                s.bind(1, f.id).run();
                ++applied;
            }
        }
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot read the journal: ") + e.what());
    }
    if (readOnly_) return applied + rolledBack;
    if ((applied || rolledBack) && reg.modified()) {
        try {
            reg.flush();
        } catch (const RegistryAccessError&) {
            // Not writable now (Wine runs): the rows stay pending, the registry in memory
            // already shows them, and the next writer completes the recovery.
            return applied + rolledBack;
        }
    }
    if (hasUnits_) {
        try {
            // Kept, not deleted: row numbers must keep growing, as the flush marks count on
            // them.
            db_->exec("UPDATE transactions SET state='void' WHERE state='open'");
        } catch (const SqliteError& e) {
            throw JournalError(std::string("cannot write the journal: ") + e.what());
        }
    }
    return applied + rolledBack;
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
                  "t.id>=? " +
                      std::string(hasUnits_ ? "AND (t.state='done' OR t.id=?) " : "") +
                      "ORDER BY t.id DESC");
        s.bind(1, since);
        if (hasUnits_) s.bind(2, backupTxn_ ? backupTxn_ : forcedTxn_);
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
                          " FROM changes WHERE txn>=? AND txn>0 AND kind!='file'" +
                          (hasUnits_ ? " AND txn IN (SELECT id FROM transactions WHERE "
                                       "state='done')"
                                     : "") +
                          " ORDER BY id");
    s.bind(1, std::max<std::int64_t>(since, 1));
    while (s.step())
        out.push_back(readEntry(s).registry);
    return out;
}

namespace {

// A subtree image in a form that does not depend on the order its values and subkeys were
// written in.
std::vector<std::string> canonicalTree(const std::optional<std::string>& image) {
    std::vector<std::string> out;
    if (!image) return out;
    auto content = registry::parseRegFile(*image, "journal image");
    for (const auto& op : content.operations) {
        std::string line = text::foldName(op.key) + "\n";
        if (op.kind == registry::RegFileOperation::Kind::SetValue) {
            line += text::foldName(op.value.name) + "\n" + std::to_string(op.value.type) + "\n";
            line.append(op.value.data.begin(), op.value.data.end());
        }
        out.push_back(std::move(line));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool sameValue(const std::optional<RegistryValue>& a, const std::optional<RegistryValue>& b) {
    if (!a || !b) return !a && !b;
    return a->type == b->type && a->data == b->data;
}

std::string placeOf(const JournalEntry& e) {
    if (e.isFile) return "file\n" + e.file.path;
    const RegistryChange& c = e.registry;
    return std::string(c.kind == RegistryChange::Kind::Key ? "key\n" : "value\n") + c.hiveFile +
           "\n" + text::foldName(c.keyPath) + "\n" + text::foldName(c.valueName);
}

bool underKey(const std::string& path, const std::string& key) {
    std::string p = text::foldName(path), k = text::foldName(key);
    return k.empty() || p == k ||
           (p.size() > k.size() && p.compare(0, k.size(), k) == 0 && p[k.size()] == '\\');
}

} // namespace

// Why the place of `e` cannot be put back: it no longer holds what the transaction left
// there (undo) or what it found (redo). Empty when it can.
std::string Journal::conflictWith(const JournalEntry& e, registry::Registry& reg, bool undo) {
    bool changed = false;
    if (e.isFile) {
        std::optional<std::string> current;
        if (::access(e.file.path.c_str(), F_OK) == 0)
            current = registry::readWholeFile(e.file.path);
        changed = current != (undo ? e.file.after : e.file.before);
    } else if (e.registry.kind == RegistryChange::Kind::Value) {
        const auto current = reg.currentValue(e.registry);
        const auto& expected = undo ? e.registry.after : e.registry.before;
        // Of a sensitive value only whether it existed is kept.
        changed = e.registry.sensitive ? current.has_value() != expected.has_value()
                                       : !sameValue(current, expected);
    } else {
        changed = canonicalTree(reg.currentTree(e.registry)) !=
                  canonicalTree(undo ? e.registry.afterTree : e.registry.beforeTree);
    }
    if (!changed) return {};
    // Name the transactions that changed the place since.
    std::vector<std::int64_t> later;
    Statement s(*db_, "SELECT c.txn, c.kind, c.hive_file, c.key_path, c.value_name FROM changes c "
                      "JOIN transactions t ON t.id=c.txn WHERE c.id>? AND t.state='done' "
                      "ORDER BY c.id");
    s.bind(1, e.id);
    while (s.step()) {
        std::int64_t txn = s.integer(0);
        std::string kind = s.text(1);
        bool touches = false;
        if (e.isFile)
            touches = kind == "file" && s.text(3) == e.file.path;
        else if (kind != "file" && s.text(2) == e.registry.hiveFile) {
            std::string path = s.text(3);
            if (e.registry.kind == RegistryChange::Kind::Value)
                touches = kind == "key" ? underKey(e.registry.keyPath, path)
                                        : text::namesEqual(path, e.registry.keyPath) &&
                                              text::namesEqual(s.text(4), e.registry.valueName);
            else
                touches = underKey(path, e.registry.keyPath) || underKey(e.registry.keyPath, path);
        }
        if (touches && std::find(later.begin(), later.end(), txn) == later.end())
            later.push_back(txn);
    }
    std::string what = describe(e);
    if (later.empty()) return what + ": changed since outside the journal";
    std::string names;
    for (std::size_t i = 0; i < later.size(); ++i)
        names += (i ? ", " : "") + std::to_string(later[i]);
    return what + ": changed since by transaction" + (later.size() > 1 ? "s " : " ") + names;
}

std::int64_t Journal::replayOrRestore(std::int64_t txn, registry::Registry& reg, bool undo,
                                      bool force) {
    if (readOnly_) throw JournalError("the machine was opened for reading only");
    auto info = transaction(txn);
    if (!info)
        throw JournalError("there is no transaction " + std::to_string(txn) + " in the journal");
    std::vector<JournalEntry> list = entries(txn);
    if (list.empty()) throw JournalError("transaction " + std::to_string(txn) + " changed nothing");
    for (const auto& e : list) {
        if (e.isFile) {
            requireInside(e.file.path);
            if (fileWriteGuard_) fileWriteGuard_(e.file.path);
            continue;
        }
        if (!e.registry.sensitive) continue;
        bool needed = undo ? e.registry.before.has_value() : e.registry.after.has_value();
        if (needed)
            throw JournalError("transaction " + std::to_string(txn) +
                               " wrote the sensitive value " + e.registry.fullName + " \"" +
                               e.registry.valueName +
                               "\", whose content the journal does not keep; it cannot be " +
                               (undo ? "undone" : "redone"));
    }
    if (undo) std::reverse(list.begin(), list.end());
    // Each place is checked where the transaction touched it last (undo) or first (redo),
    // against what is there now; the transaction's own other rows follow from that one.
    // A registry row is checked as the rows before it are put back, so a key the
    // transaction made and then filled compares with what it left there.
    const std::string refusal = std::string("transaction ") + std::to_string(txn) + " cannot be " +
                                (undo ? "undone" : "redone") + ": ";
    const std::string hint = " (undo the later transaction first, or force it)";
    std::vector<std::string> seen;
    auto firstVisit = [&](const JournalEntry& e) {
        std::string place = placeOf(e);
        if (std::find(seen.begin(), seen.end(), place) != seen.end()) return false;
        seen.push_back(place);
        return true;
    };
    if (!force)
        for (const auto& e : list)
            if (e.isFile && firstVisit(e))
                if (auto why = conflictWith(e, reg, undo); !why.empty())
                    throw JournalError(refusal + why + hint);
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
    std::vector<RegistryChange> made;
    auto abandon = [&] {
        // Nothing of it reached a file: the memory goes back and its rows count for
        // nothing.
        std::reverse(made.begin(), made.end());
        reg.replayBefore(made);
        Statement d(*db_, "UPDATE transactions SET state='void' WHERE id=?");
        d.bind(1, newTxn).run();
    };
    try {
        for (const auto& e : list) {
            if (e.isFile) continue;
            if (!force && firstVisit(e))
                if (auto why = conflictWith(e, reg, undo); !why.empty())
                    throw JournalError(refusal + why + hint);
            auto done = reg.restore({e.registry}, undo);
            made.insert(made.end(), done.begin(), done.end());
        }
    } catch (...) {
        try {
            abandon();
        } catch (const std::exception&) {
            // Left open, the transaction is rolled back by the next writer's recovery.
        }
        throw;
    }
    for (const auto& e : list) {
        if (!e.isFile) continue;
        const auto& target = undo ? e.file.before : e.file.after;
        std::optional<std::string> current;
        if (::access(e.file.path.c_str(), F_OK) == 0)
            current = registry::readWholeFile(e.file.path);
        recordFile({e.file.path, current, target}, [&] { writeFile(e.file.path, target); });
    }
    try {
        WriteTransaction t(*db_);
        Statement s(*db_, "UPDATE transactions SET state='done' WHERE id=?");
        s.bind(1, newTxn).run();
        t.commit();
    } catch (const SqliteError& e) {
        throw JournalError(std::string("cannot write the journal: ") + e.what());
    }
    forcedTxn_ = 0;
    reg.flush();
    lastTxn_ = newTxn;
    return newTxn;
}

std::int64_t Journal::undo(std::int64_t txn, registry::Registry& reg, bool force) {
    return replayOrRestore(txn, reg, true, force);
}
std::int64_t Journal::redo(std::int64_t txn, registry::Registry& reg, bool force) {
    return replayOrRestore(txn, reg, false, force);
}

} // namespace ravelin::journal
