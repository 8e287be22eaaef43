// The journal of one machine: a SQLite database in WAL mode (.deskforge/journal.sqlite)
// that holds every registry and file change with its images before and after, grouped
// into transactions, labelled with the page, the control and the category.
//
// It is also the write-ahead log of the hive files: a registry write is acknowledged once
// its transaction is committed (a single change at once, a backup at its end), and
// opening a machine applies again what no hive file has received yet, all or nothing per
// transaction: one that never ended is rolled back. Rows of changes made while recording
// is off (filling a page, the journal stopped) are kept for that purpose only and are not
// listed or undone.
#pragma once

#include "host/journal/Sqlite.h"
#include "host/registry/Change.h"
#include "host/registry/Types.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ravelin::registry {
class Registry;
}

namespace ravelin::journal {

// A journal that cannot be used: corrupt, from a newer version, or not writable.
class JournalError : public RegistryAccessError {
  public:
    using RegistryAccessError::RegistryAccessError;
};

struct TransactionInfo {
    std::int64_t id = 0;
    std::int64_t time = 0; // Unix seconds
    std::string page;
    std::string control;
    std::string label;
    std::string kind; // "change", "backup", "undo", "redo"
    int category = 0;
    std::int64_t target = 0; // the transaction an undo or redo acted on
    std::string summary;
    int changes = 0;
};

// A change on the file side: a file's content, a folder's existence, or a file's hidden
// attribute. Images: nullopt is "absent"; a folder that exists is "", an attribute is
// "hidden" or "visible".
struct FileChange {
    enum class Kind { Content, Folder, Attribute };
    std::string path;
    std::optional<std::string> before; // nullopt: the file did not exist
    std::optional<std::string> after;
    Kind kind = Kind::Content;
};

// One recorded change, registry or file, in the order it was made.
struct JournalEntry {
    std::int64_t id = 0;
    bool isFile = false;
    registry::RegistryChange registry;
    FileChange file;
    // A sensitive value's images: a salt and the digest of salt, type and data. Of a key
    // whose subtree held secret values: of salt and the whole subtree.
    std::optional<std::string> beforeDigest, afterDigest;
    // A key's image (before, after) kept without the data of the secret values it held: it
    // cannot be put back.
    bool beforeHeldSecrets = false, afterHeldSecrets = false;
};

class Journal final : public registry::ChangeSink {
  public:
    // 4: a key's image may stand without the data of its secret values, with digests.
    static constexpr int kSchemaVersion = 4;

    // Opens (creating when needed) the journal of a machine folder. Throws JournalError.
    static std::unique_ptr<Journal> open(const std::string& machineDir);
    // Opens an existing journal for reading only, creating and changing nothing; nullptr
    // when the machine has none.
    static std::unique_ptr<Journal> openReadOnly(const std::string& machineDir);
    static bool exists(const std::string& machineDir);
    bool readOnly() const { return readOnly_; }

    // Files outside the machine folder that changes may touch (a browser profile the user
    // chose). Every file the journal writes, replays or undoes must resolve, links
    // followed, inside the machine folder or one of these.
    void addAllowedRoot(const std::string& dir) { roots_.push_back(dir); }
    // A further judge of files outside those folders, asked while this process runs.
    void setPathGuard(std::function<bool(const std::string&)> allowed) {
        pathGuard_ = std::move(allowed);
    }
    // Asked before a file is written for a change, an undo or a redo (not by recovery);
    // throws to refuse it, such as a file that a running program would overwrite.
    void setFileWriteGuard(std::function<void(const std::string&)> guard) {
        fileWriteGuard_ = std::move(guard);
    }
    ~Journal() override;
    // A journal this process created is removed again when it closes without a row: a
    // command the machine refused leaves no database behind.
    void removeIfUnused() { db_->removeIfUnused(true); }

    // Whether writes are recorded at all (the host's Journal_Running and Journal_Discard
    // flags); asked at every write. Unset: always.
    void setRecordingGate(std::function<bool()> gate) { gate_ = std::move(gate); }
    void setContext(const std::string& page, const std::string& control);
    void stop();  // JournalEnd: single changes are no longer recorded
    void start(); // JournalStart
    bool stopped() const { return stopped_; }
    // BackupStart/BackupEnd: everything in between is one transaction, committed by
    // backupEnd, which returns its number (0 when nothing was written in it).
    void backupStart(const std::string& label);
    // Commits the transaction. When it wrote sensitive values, which the journal cannot
    // replay, the registry's files are saved first (`registry` must then be given). A
    // transaction marked failed is voided instead (see voidBackup) and 0 returned.
    std::int64_t backupEnd(registry::Registry* registry = nullptr);
    // A change of the open transaction was refused: its end voids it.
    void markFailed() {
        if (backupTxn_) failed_ = true;
    }
    bool failed() const { return failed_; }
    // Voids the open transaction: what it changed goes back in memory and on disk, and
    // its rows count for nothing (not listed, not replayed).
    void voidBackup(registry::Registry* registry);
    bool backupOpen() const { return backupTxn_ != 0; }
    // The category of the change the current action made or is about to make: it labels
    // the last transaction when that came from the same action (the same context), and
    // transactions the action records after it.
    void setFlag(int category);

    // ChangeSink
    void record(const std::vector<registry::RegistryChange>& changes) override;
    void flushed(const std::string& hiveFile) override;
    bool transactionOpen() const override { return backupTxn_ != 0 || forcedTxn_ != 0; }
    bool holdsBackFiles() const override { return holdSecrets_ && transactionOpen(); }
    std::vector<registry::SecretValue> sensitiveValuesUnder(const std::string& hiveFile,
                                                            const std::string& keyPath) override;

    // A file change: recorded first, then applied by `apply` (which writes the file), then
    // marked done. Throws JournalError when it cannot be recorded.
    // When `apply` throws, the change is not recorded (and an open transaction is marked
    // failed) and the exception goes on.
    void recordFile(const FileChange& change, const std::function<void()>& apply);
    // How a hidden attribute is read and set, for undo, redo and rollback of attribute
    // rows.
    void setAttributeAccess(std::function<bool(const std::string&)> reader,
                            std::function<void(const std::string&, bool)> writer) {
        attributeReader_ = std::move(reader);
        attributeWriter_ = std::move(writer);
    }

    // Applies what was acknowledged but had not reached the files yet and rolls back what
    // a transaction that never ended had put there; then saves the files. A read-only
    // journal does the same in memory only. Returns the number of changes applied.
    std::size_t recover(registry::Registry& registry);

    std::vector<TransactionInfo> list(std::int64_t since = 0);
    std::optional<TransactionInfo> transaction(std::int64_t id);
    std::vector<JournalEntry> entries(std::int64_t txn);
    // The registry changes of listed transactions from `since` on, in order.
    std::vector<registry::RegistryChange> registryChangesSince(std::int64_t since);

    // Undo puts back the images before, in reverse order; redo the images after. Both are
    // recorded as transactions of their own. Throw JournalError when it cannot be done:
    // also when a place the transaction changed was changed since (by a later transaction,
    // which the message names, or outside the journal), unless `force` is set.
    std::int64_t undo(std::int64_t txn, registry::Registry& registry, bool force = false);
    std::int64_t redo(std::int64_t txn, registry::Registry& registry, bool force = false);

    const std::string& path() const { return db_->path(); }

  private:
    Journal(std::unique_ptr<Database> db, std::string machineDir, bool readOnly, int version);
    std::int64_t unitFor() const;
    void requireInside(const std::string& path) const;
    std::string conflictWith(const JournalEntry& entry, registry::Registry& reg, bool undo);
    std::string changedSince(const JournalEntry& entry, const std::string& what);
    std::optional<std::string> fileTarget(const FileChange& change,
                                          const std::optional<std::string>& current,
                                          bool undo) const;
    std::int64_t newTransaction(const std::string& kind, const std::string& label,
                                std::int64_t target, bool open = false);
    std::int64_t insertChange(std::int64_t txn, const registry::RegistryChange& c);
    std::int64_t replayOrRestore(std::int64_t txn, registry::Registry& registry, bool undo,
                                 bool force);
    void writeFile(const std::string& path, const std::optional<std::string>& content);
    // Puts a file-side image in place: content, folder or attribute.
    void putImage(const FileChange& change, const std::optional<std::string>& image);
    std::optional<std::string> currentImage(const FileChange& change) const;
    // Puts back in memory and on disk what the open transaction changed, newest first.
    void rollBackSteps(registry::Registry* registry);
    void sensitiveCommitsOfCrash(registry::Registry& registry);
    bool recording() const;

    std::unique_ptr<Database> db_;
    std::string machineDir_;
    bool readOnly_ = false;
    bool hasUnits_ = true; // the journal knows transactions that are not finished
    bool hasDigests_ = true;
    bool hasSecrets_ = true; // key rows name the secrets their images left out
    std::string columns() const;
    std::vector<std::string> roots_;
    std::function<bool(const std::string&)> pathGuard_;
    std::function<void(const std::string&)> fileWriteGuard_;
    std::function<bool()> gate_;
    std::string page_;
    std::string control_;
    bool stopped_ = false;
    std::int64_t backupTxn_ = 0;
    std::string backupLabel_;
    bool backupUsed_ = false;
    std::int64_t forcedTxn_ = 0; // undo and redo record into their own transaction
    std::int64_t lastTxn_ = 0;
    std::uint64_t context_ = 0; // counts setContext calls: one user action each
    std::uint64_t lastTxnContext_ = 0;
    int pendingCategory_ = -1;
    // What the open transaction changed, with the full images (sensitive data included,
    // kept in memory only) to roll it back.
    struct Step {
        bool isFile = false;
        registry::RegistryChange registry;
        FileChange file;
    };
    std::vector<Step> steps_;
    bool failed_ = false;
    bool holdSecrets_ = false; // the open transaction wrote sensitive values
    bool flushedDuring_ = false;
    std::function<bool(const std::string&)> attributeReader_;
    std::function<void(const std::string&, bool)> attributeWriter_;
    std::uint64_t pendingContext_ = 0;
};

// Reads a change row's summary line, e.g. HKEY_CURRENT_USER\Software\X "Name" = "text".
std::string describe(const JournalEntry& entry);

} // namespace ravelin::journal
