// The registry calls the pages use. Each names the root key by its HKEY constant, the key
// by its path and the value by its name, and ends with an option set (see RegOptions).
// Results are Windows error codes; readers keep their default when a call fails.
//
// The calls work on the registry the host has bound with SetCurrentRegistry(); with none
// bound every read fails with 2 and every write with 5.
//
// What reads as a flag (GetRegSetting, GetRegSettingEx), in one place:
//   - REG_DWORD, REG_QWORD, REG_BINARY (any length): set when any byte is non-zero;
//   - REG_SZ, REG_EXPAND_SZ: "1", "yes", "true", "on" set, "0", "no", "false", "off" and ""
//     clear (case-insensitive, blanks around ignored); a number other than 0 is set;
//     any other text gives the default;
//   - a missing value or key, or any other type: the default.
#pragma once

#include "host/registry/Types.h"

#include <functional>
#include <string>
#include <vector>

namespace ravelin {

namespace registry {
class Registry;
}
namespace journal {
class Journal;
}

// The host binds the machine's registry here; nullptr unbinds it.
void SetCurrentRegistry(registry::Registry* registry);
registry::Registry* CurrentRegistry();
// The text of the last failure that was not a plain "not found" (a locked machine, an
// unreadable file), for the front ends; empty when there was none.
const std::string& LastRegistryError();

// Failed writes. A write the registry, the journal or a file refuses is a failure even
// where the page ignores the result: the host keeps its reason until a front end takes
// it (the script runner fails the line, the window shows a message box) and calls the
// handler at once, if one is set.
void SetWriteFailureHandler(std::function<void(const std::string&)> handler);
// The reasons of the writes refused since the last call, one a line; empty when none.
std::string TakeWriteFailure();
// Notes a refused write the host made outside these calls (a file, the flush).
void ReportWriteFailure(const std::string& why);

// Reading.
int GetRegDWORDValue(HKEY hive, const std::string& key, const std::string& name, DWORD& value,
                     RegOptions options = {});
int GetRegStringValue(HKEY hive, const std::string& key, const std::string& name,
                      std::string& value, RegOptions options = {});
int GetRegMultiStringValue(HKEY hive, const std::string& key, const std::string& name,
                           std::vector<std::string>& value, RegOptions options = {});
int GetRegIntValue(HKEY hive, const std::string& key, const std::string& name, int& value, int def,
                   RegOptions options = {});
std::string GetRegStringValueDef(HKEY hive, const std::string& key, const std::string& name,
                                 const std::string& def, RegOptions options = {});
bool GetRegSetting(HKEY hive, const std::string& key, const std::string& name, bool def,
                   RegOptions options = {});
// keyPath starts with the root's name: "HKEY_CURRENT_USER\Software\..." or "HKCU\...".
bool GetRegSettingEx(const std::string& keyPath, const std::string& name, bool def,
                     RegOptions options = {});
bool KeyExist(HKEY hive, const std::string& key, RegOptions options = {});
bool RegValueExists(HKEY hive, const std::string& key, const std::string& name,
                    RegOptions options = {});
// 0 while a subkey is found at `index`, 259 past the last one, 2 when the key is missing.
int EnumRegKeys(HKEY hive, const std::string& key, int index, std::string& name,
                RegOptions options = {});
// Fills the list with the subkey names: 0, or 2 when the key is missing.
int EnumRegKeysEx(HKEY hive, const std::string& key, std::vector<std::string>& list,
                  RegOptions options = {});
// Fills the value names and, beside each, its data as text (strings as they are, DWORDs
// and QWORDs in decimal, multi-strings joined by line feeds, other data as hex digits).
// Returns 259 once it has run to the end, 2 when the key is missing.
int EnumRegValuesEx(HKEY hive, const std::string& key, std::vector<std::string>& names,
                    std::vector<std::string>& data, RegOptions options = {});

// Writing. Each returns 0 or a Windows error code.
int SetRegDWORDValue(HKEY hive, const std::string& key, const std::string& name, DWORD value,
                     RegOptions options = {});
int SetRegStringValue(HKEY hive, const std::string& key, const std::string& name,
                      const std::string& value, RegOptions options = {});
int SetRegExpandStringValue(HKEY hive, const std::string& key, const std::string& name,
                            const std::string& value, RegOptions options = {});
int SetRegMultiStringValue(HKEY hive, const std::string& key, const std::string& name,
                           const std::vector<std::string>& value, RegOptions options = {});
int SetRegBinaryValue(HKEY hive, const std::string& key, const std::string& name,
                      const std::vector<std::uint8_t>& value, RegOptions options = {});
int DeleteRegValue(HKEY hive, const std::string& key, const std::string& name,
                   RegOptions options = {});
// Deletes the key with all its subkeys and values.
int DeleteRegKey(HKEY hive, const std::string& key, RegOptions options = {});
int CopyRegKey(HKEY fromHive, const std::string& fromKey, HKEY toHive, const std::string& toKey,
               RegOptions fromOptions = {}, RegOptions toOptions = {});
int MoveRegKey(HKEY fromHive, const std::string& fromKey, HKEY toHive, const std::string& toKey,
               RegOptions fromOptions = {}, RegOptions toOptions = {});

// Sets value to 1 when flag is true; callers clear it first.
void SetOneIfTrue(bool flag, DWORD& value);

// The flag rule above, on one value.
bool FlagFromValue(const RegistryValue& value, bool def);

// ---- The journal ----
//
// Every write is recorded with the page and control that made it, unless recording is
// off: while Journal_Discard is set (a page filling its controls), while Journal_Running
// is false, or between JournalEnd and JournalStart outside a backup. Writes made while it
// is off are still made durable, they are only not listed or undone.

// The host binds the machine's journal here; nullptr unbinds it.
void SetCurrentJournal(journal::Journal* journal);
journal::Journal* CurrentJournal();

extern bool Journal_Discard;
extern bool Journal_Running;

// Sets Journal_Discard while a page fills its controls and puts it back however the filling
// ends, a throw included.
class JournalDiscarding {
  public:
    JournalDiscarding() : old_(Journal_Discard) { Journal_Discard = true; }
    ~JournalDiscarding() { Journal_Discard = old_; }
    JournalDiscarding(const JournalDiscarding&) = delete;
    JournalDiscarding& operator=(const JournalDiscarding&) = delete;

  private:
    bool old_;
};

// The page and control whose action the following writes belong to (the host's driver
// sets it before it runs a handler).
void JournalSetContext(const std::string& page, const std::string& control);
// The category of the change just made: 0, 1, 2, 64, 128 or 512.
void JournalSetFlag(int category);
void JournalEnd();
void JournalStart();
// Everything written between BackupStart and BackupEnd is one transaction. `transaction`
// 0 opens a new one; `text` labels it. BackupEnd(false) closes it; BackupEnd(true) voids
// it: what it wrote goes back and nothing of it is listed (the dialogs always pass false).
// All or nothing: when a write inside it was refused (by the registry, a file, the
// journal), BackupEnd voids it as well.
void BackupStart(int transaction, const std::string& text);
void BackupEnd(bool rollBack);
// Switches the Windows firewall where Windows keeps the setting (the standard and domain
// profiles of the firewall policy) as one journalled transaction of category 2.
int JournalSetWindowsFirewallStatus(bool enabled);

// A byte stream held in memory.
class TStream {
  public:
    virtual ~TStream() = default;
    std::string& Data() { return data_; }
    const std::string& Data() const { return data_; }
    std::size_t Size() const { return data_.size(); }
    void Clear() { data_.clear(); }

  protected:
    std::string data_;
};

// A file stream whose SaveToFile records the file's content before and after in the
// journal (and writes the file atomically).
class TJournalStream : public TStream {
  public:
    // False, with an empty stream, when the file is missing or unreadable.
    bool LoadFromFile(const std::string& path);
    // Throws RegistryAccessError when the journal or the file cannot be written; the
    // refusal is noted as a failed write (see TakeWriteFailure).
    void SaveToFile(const std::string& path);
};

// File-side effects beyond a file's content, each a journal row with its state before
// (undone by undo, planned only in a dry run). Throw RegistryAccessError, noted as a failed
// write, when they cannot be made.
// Creates a folder and the parents it lacks inside the machine.
void CreateFolderJournalled(const std::string& hostPath);
// Sets or clears a file's or folder's hidden attribute.
void SetHiddenJournalled(const std::string& hostPath, bool hidden);

} // namespace ravelin
