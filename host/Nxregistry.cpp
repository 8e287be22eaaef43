#include "host/Nxregistry.h"

#include "host/Nxfilechanges.h"
#include "host/Nxsystem.h"
#include "host/Smallmozillastuff.h"
#include "host/journal/Journal.h"
#include "host/registry/FileUtil.h"
#include "host/registry/Registry.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ravelin {

namespace {

// The registry and journal the host has bound: the module-level bindings of this unit.
registry::Registry* gRegistry = nullptr;
journal::Journal* gJournal = nullptr;
std::int64_t gBackupDepth = 0;
std::string gLastError;

// Runs one registry operation: engine errors become Windows codes, with their text kept
// for the front ends.
template <typename Fn> int guarded(int noRegistry, Fn&& fn) {
    if (!gRegistry) return noRegistry;
    try {
        return fn(*gRegistry);
    } catch (const RegistryFormatError& e) {
        gLastError = e.what();
        return ERROR_BADDB;
    } catch (const RegistryAccessError& e) {
        gLastError = e.what();
        return ERROR_ACCESS_DENIED;
    }
}

int readValue(HKEY hive, const std::string& key, const std::string& name, RegistryValue& out,
              RegOptions options) {
    return guarded(ERROR_FILE_NOT_FOUND, [&](registry::Registry& r) {
        return r.getValue(hive, key, name, out, options);
    });
}

bool isStringType(DWORD t) {
    return t == REG_SZ || t == REG_EXPAND_SZ;
}

std::string trimmedLower(const std::string& s) {
    return text::lower(text::trimmed(s, text::kCBlanks));
}

std::string dataAsText(const RegistryValue& v) {
    if (isStringType(v.type)) return stringFromData(v.data);
    if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d = static_cast<DWORD>(v.data[0] | v.data[1] << 8 | v.data[2] << 16 |
                                     static_cast<DWORD>(v.data[3]) << 24);
        return std::to_string(d);
    }
    if (v.type == REG_QWORD && v.data.size() == 8) {
        std::uint64_t q = 0;
        for (int i = 7; i >= 0; --i)
            q = (q << 8) | v.data[static_cast<std::size_t>(i)];
        return std::to_string(q);
    }
    if (v.type == REG_MULTI_SZ) {
        std::string out;
        for (const auto& item : multiStringFromData(v.data)) {
            if (!out.empty()) out.push_back('\n');
            out += item;
        }
        return out;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (auto b : v.data) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

std::string gWriteFailures;
std::function<void(const std::string&)> gWriteFailureHandler;

void noteWriteFailure(const std::string& why) {
    gLastError = why;
    // All or nothing: the transaction it belongs to is voided at its end.
    if (gJournal) gJournal->markFailed();
    if (!gWriteFailures.empty()) gWriteFailures += "\n";
    gWriteFailures += why;
    if (gWriteFailureHandler) gWriteFailureHandler(why);
}

std::string describeRefusal(int rc, HKEY hive, const std::string& key, const std::string& name) {
    std::string where = std::string(registry::Registry::rootName(hive)) + "\\" + key;
    if (!name.empty()) where += " \"" + name + "\"";
    switch (rc) {
    case ERROR_INVALID_PARAMETER:
        return text::trf("%1: Die Registrierungsdatei kann diesen Namen oder Wert nicht "
                         "speichern.",
                         where);
    case ERROR_ACCESS_DENIED:
        return text::trf("%1: Zugriff verweigert.", where);
    default:
        return text::trf("%1: Das Schreiben ist mit dem Windows-Fehler %2 gescheitert.", where,
                         std::to_string(rc));
    }
}

// A write: its failure is noted for the front ends even where the page ignores the result.
// A missing key or value to delete is not a failure of the write.
template <typename Fn>
int guardedWrite(HKEY hive, const std::string& key, const std::string& name, Fn&& fn) {
    if (!gRegistry) return ERROR_ACCESS_DENIED;
    try {
        int rc = fn(*gRegistry);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
            std::string why = gRegistry->lastRefusal();
            noteWriteFailure(why.empty() ? describeRefusal(rc, hive, key, name) : why);
        }
        return rc;
    } catch (const RegistryFormatError& e) {
        noteWriteFailure(e.what());
        return ERROR_BADDB;
    } catch (const RegistryAccessError& e) {
        noteWriteFailure(e.what());
        return ERROR_ACCESS_DENIED;
    }
}

int write(HKEY hive, const std::string& key, const std::string& name, DWORD type,
          std::vector<std::uint8_t> data, RegOptions options) {
    return guardedWrite(hive, key, name, [&](registry::Registry& r) {
        return r.setValue(hive, key, name, type, std::move(data), options);
    });
}

} // namespace

void SetCurrentRegistry(registry::Registry* reg) {
    gRegistry = reg;
    gLastError.clear();
}
registry::Registry* CurrentRegistry() {
    return gRegistry;
}
const std::string& LastRegistryError() {
    return gLastError;
}

void SetWriteFailureHandler(std::function<void(const std::string&)> handler) {
    gWriteFailureHandler = std::move(handler);
}

std::string TakeWriteFailure() {
    return std::exchange(gWriteFailures, {});
}

void ReportWriteFailure(const std::string& why) {
    noteWriteFailure(why);
}

bool FlagFromValue(const RegistryValue& v, bool def) {
    if (v.type == REG_DWORD || v.type == REG_QWORD || v.type == REG_BINARY)
        return std::any_of(v.data.begin(), v.data.end(), [](std::uint8_t b) { return b != 0; });
    if (!isStringType(v.type)) return def;
    std::string s = trimmedLower(stringFromData(v.data));
    if (s == "1" || s == "yes" || s == "true" || s == "on") return true;
    if (s.empty() || s == "0" || s == "no" || s == "false" || s == "off") return false;
    long long n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec == std::errc() && end == s.data() + s.size()) return n != 0;
    return def;
}

int GetRegDWORDValue(HKEY hive, const std::string& key, const std::string& name, DWORD& value,
                     RegOptions options) {
    RegistryValue v;
    int rc = readValue(hive, key, name, v, options);
    if (rc != ERROR_SUCCESS) return rc;
    // Windows stores some numbers as four bytes of REG_BINARY; they read the same.
    if ((v.type != REG_DWORD && v.type != REG_BINARY) || v.data.size() != 4)
        return ERROR_INVALID_DATA;
    value = static_cast<DWORD>(v.data[0] | v.data[1] << 8 | v.data[2] << 16 |
                               static_cast<DWORD>(v.data[3]) << 24);
    return ERROR_SUCCESS;
}

int GetRegStringValue(HKEY hive, const std::string& key, const std::string& name,
                      std::string& value, RegOptions options) {
    RegistryValue v;
    int rc = readValue(hive, key, name, v, options);
    if (rc != ERROR_SUCCESS) return rc;
    if (!isStringType(v.type)) return ERROR_INVALID_DATA;
    value = stringFromData(v.data);
    return ERROR_SUCCESS;
}

int GetRegMultiStringValue(HKEY hive, const std::string& key, const std::string& name,
                           std::vector<std::string>& value, RegOptions options) {
    RegistryValue v;
    int rc = readValue(hive, key, name, v, options);
    if (rc != ERROR_SUCCESS) return rc;
    if (v.type != REG_MULTI_SZ) return ERROR_INVALID_DATA;
    value = multiStringFromData(v.data);
    return ERROR_SUCCESS;
}

int GetRegIntValue(HKEY hive, const std::string& key, const std::string& name, int& value, int def,
                   RegOptions options) {
    value = def;
    RegistryValue v;
    int rc = readValue(hive, key, name, v, options);
    if (rc != ERROR_SUCCESS) return rc;
    if ((v.type == REG_DWORD || v.type == REG_BINARY) && v.data.size() == 4) {
        value = static_cast<int>(v.data[0] | v.data[1] << 8 | v.data[2] << 16 |
                                 static_cast<DWORD>(v.data[3]) << 24);
        return ERROR_SUCCESS;
    }
    if (isStringType(v.type)) {
        std::string s = trimmedLower(stringFromData(v.data));
        int n = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (ec == std::errc() && end == s.data() + s.size() && !s.empty()) {
            value = n;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_INVALID_DATA;
}

std::string GetRegStringValueDef(HKEY hive, const std::string& key, const std::string& name,
                                 const std::string& def, RegOptions options) {
    std::string value;
    return GetRegStringValue(hive, key, name, value, options) == ERROR_SUCCESS ? value : def;
}

bool GetRegSetting(HKEY hive, const std::string& key, const std::string& name, bool def,
                   RegOptions options) {
    RegistryValue v;
    if (readValue(hive, key, name, v, options) != ERROR_SUCCESS) return def;
    return FlagFromValue(v, def);
}

bool GetRegSettingEx(const std::string& keyPath, const std::string& name, bool def,
                     RegOptions options) {
    HKEY root = 0;
    std::string path;
    if (!registry::Registry::splitKeyName(keyPath, root, path)) return def;
    return GetRegSetting(root, path, name, def, options);
}

bool KeyExist(HKEY hive, const std::string& key, RegOptions options) {
    return guarded(0, [&](registry::Registry& r) {
               return r.keyExists(hive, key, options) ? 1 : 0;
           }) == 1;
}

bool RegValueExists(HKEY hive, const std::string& key, const std::string& name,
                    RegOptions options) {
    RegistryValue v;
    return readValue(hive, key, name, v, options) == ERROR_SUCCESS;
}

int EnumRegKeys(HKEY hive, const std::string& key, int index, std::string& name,
                RegOptions options) {
    std::vector<std::string> names;
    int rc = EnumRegKeysEx(hive, key, names, options);
    if (rc != ERROR_SUCCESS) return rc;
    if (index < 0 || static_cast<std::size_t>(index) >= names.size()) return ERROR_NO_MORE_ITEMS;
    name = names[static_cast<std::size_t>(index)];
    return ERROR_SUCCESS;
}

int EnumRegKeysEx(HKEY hive, const std::string& key, std::vector<std::string>& list,
                  RegOptions options) {
    list.clear();
    return guarded(ERROR_FILE_NOT_FOUND,
                   [&](registry::Registry& r) { return r.enumKeys(hive, key, list, options); });
}

int EnumRegValuesEx(HKEY hive, const std::string& key, std::vector<std::string>& names,
                    std::vector<std::string>& data, RegOptions options) {
    names.clear();
    data.clear();
    std::vector<RegistryValue> values;
    int rc = guarded(ERROR_FILE_NOT_FOUND, [&](registry::Registry& r) {
        return r.enumValues(hive, key, values, options);
    });
    if (rc != ERROR_SUCCESS) return rc;
    for (const auto& v : values) {
        names.push_back(v.name);
        data.push_back(dataAsText(v));
    }
    return ERROR_NO_MORE_ITEMS;
}

int SetRegDWORDValue(HKEY hive, const std::string& key, const std::string& name, DWORD value,
                     RegOptions options) {
    return write(hive, key, name, REG_DWORD, makeDwordData(value), options);
}

int SetRegStringValue(HKEY hive, const std::string& key, const std::string& name,
                      const std::string& value, RegOptions options) {
    return write(hive, key, name, REG_SZ, makeStringData(value), options);
}

int SetRegExpandStringValue(HKEY hive, const std::string& key, const std::string& name,
                            const std::string& value, RegOptions options) {
    return write(hive, key, name, REG_EXPAND_SZ, makeStringData(value), options);
}

int SetRegMultiStringValue(HKEY hive, const std::string& key, const std::string& name,
                           const std::vector<std::string>& value, RegOptions options) {
    return write(hive, key, name, REG_MULTI_SZ, makeMultiStringData(value), options);
}

int SetRegBinaryValue(HKEY hive, const std::string& key, const std::string& name,
                      const std::vector<std::uint8_t>& value, RegOptions options) {
    return write(hive, key, name, REG_BINARY, value, options);
}

int DeleteRegValue(HKEY hive, const std::string& key, const std::string& name, RegOptions options) {
    return guardedWrite(hive, key, name, [&](registry::Registry& r) {
        return r.deleteValue(hive, key, name, options);
    });
}

int DeleteRegKey(HKEY hive, const std::string& key, RegOptions options) {
    return guardedWrite(hive, key, {},
                        [&](registry::Registry& r) { return r.deleteKey(hive, key, options); });
}

int CopyRegKey(HKEY fromHive, const std::string& fromKey, HKEY toHive, const std::string& toKey,
               RegOptions fromOptions, RegOptions toOptions) {
    return guardedWrite(toHive, toKey, {}, [&](registry::Registry& r) {
        return r.copyKey(fromHive, fromKey, toHive, toKey, fromOptions, toOptions);
    });
}

int MoveRegKey(HKEY fromHive, const std::string& fromKey, HKEY toHive, const std::string& toKey,
               RegOptions fromOptions, RegOptions toOptions) {
    return guardedWrite(toHive, toKey, {}, [&](registry::Registry& r) {
        return r.moveKey(fromHive, fromKey, toHive, toKey, fromOptions, toOptions);
    });
}

void SetOneIfTrue(bool flag, DWORD& value) {
    if (flag) value = 1;
}

bool Journal_Discard = false;
bool Journal_Running = true;

void SetCurrentJournal(journal::Journal* j) {
    gJournal = j;
    gBackupDepth = 0;
    if (!j) return;
    j->setRecordingGate([] { return Journal_Running && !Journal_Discard; });
    // A profile that a running Firefox holds is never written, an undo included.
    j->setFileWriteGuard(RequireFirefoxClosed);
}
journal::Journal* CurrentJournal() {
    return gJournal;
}

void JournalSetContext(const std::string& page, const std::string& control) {
    if (gJournal) gJournal->setContext(page, control);
}

void JournalSetFlag(int category) {
    if (!gJournal) return;
    try {
        gJournal->setFlag(category);
    } catch (const RegistryAccessError& e) {
        noteWriteFailure(e.what());
    }
}

void JournalEnd() {
    if (gJournal) gJournal->stop();
}

void JournalStart() {
    if (gJournal) gJournal->start();
}

void BackupStart(int, const std::string& text) {
    if (!gJournal) return;
    try {
        if (gBackupDepth++ == 0) gJournal->backupStart(text);
    } catch (const RegistryAccessError& e) {
        noteWriteFailure(e.what());
    }
}

void BackupEnd(bool rollBack) {
    if (!gJournal || gBackupDepth == 0) return;
    if (--gBackupDepth > 0) return;
    try {
        if (rollBack)
            gJournal->voidBackup(gRegistry);
        else
            gJournal->backupEnd(gRegistry);
    } catch (const RegistryAccessError& e) {
        noteWriteFailure(e.what());
    }
}

int JournalSetWindowsFirewallStatus(bool enabled) {
    static const char* const kProfiles[] = {
        "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\StandardPro"
        "file",
        "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\DomainProfi"
        "le",
        "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\PublicProfi"
        "le",
    };
    BackupStart(0, "Windows-Firewall");
    int rc = ERROR_SUCCESS;
    for (const char* key : kProfiles) {
        // The public profile exists from Vista on; an older system gets no key of it.
        if (std::string_view(key).ends_with("PublicProfile") &&
            !KeyExist(HKEY_LOCAL_MACHINE, key, {2}))
            continue;
        int r = SetRegDWORDValue(HKEY_LOCAL_MACHINE, key, "EnableFirewall", enabled ? 1 : 0, {2});
        if (r != ERROR_SUCCESS) rc = r;
    }
    JournalSetFlag(2);
    BackupEnd(false);
    return rc;
}

namespace {

// The path the journal names: absolute and with links resolved, so that undo and recovery
// find the same file from any working folder.
std::string journalPath(const std::string& file) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(file, ec);
    if (ec) return file;
    // A linked file (a style sheet kept elsewhere) is written where the link points, so
    // the link survives the write; the journal records the file that really changes.
    auto resolved = std::filesystem::weakly_canonical(p, ec);
    return ec ? p.lexically_normal().string() : resolved.string();
}

} // namespace

bool TJournalStream::LoadFromFile(const std::string& path) {
    data_.clear();
    if (const auto* planned = DryRunFileContent(journalPath(path))) {
        if (*planned) data_ = **planned;
        return planned->has_value();
    }
    try {
        data_ = registry::readWholeFile(path);
        return true;
    } catch (const RegistryAccessError&) {
        return false;
    }
}

namespace {

// Runs a file-side effect: a refusal is a failed write, whatever the caller does with it.
template <typename Fn> void noted(Fn&& fn) {
    try {
        fn();
    } catch (const RegistryAccessError& e) {
        noteWriteFailure(e.what());
        throw;
    } catch (const std::filesystem::filesystem_error& e) {
        noteWriteFailure(e.what());
        throw RegistryAccessError(e.what());
    }
}

} // namespace

void TJournalStream::SaveToFile(const std::string& file) {
    const std::string path = journalPath(file);
    noted([&] {
        // Nothing outside the machine (or a profile the user chose) is ever written.
        if (machine::Machine* m = CurrentMachine()) m->files().requireWritable(path);
        std::optional<std::string> before;
        if (::access(path.c_str(), F_OK) == 0) before = registry::readWholeFile(path);
        if (DryRunFilesActive()) {
            DryRunFileWrite(path, data_, before);
            return;
        }
        if (before == data_) return; // nothing changes: no write, no journal row
        RequireFirefoxClosed(path);
        if (!gJournal) {
            registry::writeFileAtomically(path, data_);
            return;
        }
        gJournal->recordFile({path, before, data_},
                             [&] { registry::writeFileAtomically(path, data_); });
    });
}

void CreateFolderJournalled(const std::string& hostPath) {
    const std::string path = journalPath(hostPath);
    noted([&] {
        if (machine::Machine* m = CurrentMachine()) m->files().requireWritable(path);
        // The missing folders, outermost first: each is a row of its own.
        std::vector<std::string> missing;
        for (std::filesystem::path p = path; !p.empty() && p != p.root_path();
             p = p.parent_path()) {
            std::error_code ec;
            if (std::filesystem::is_directory(p, ec) || DryRunFolderPlanned(p.string())) break;
            missing.push_back(p.string());
        }
        std::reverse(missing.begin(), missing.end());
        if (missing.empty()) return;
        // The folders of one call are one change.
        const bool group = gJournal && !DryRunFilesActive();
        if (group) BackupStart(0, "");
        struct End {
            bool on;
            ~End() {
                if (on) BackupEnd(false);
            }
        } end{group};
        for (const auto& dir : missing) {
            if (DryRunFilesActive()) {
                DryRunEffect(dir, "folder created");
                continue;
            }
            auto make = [&] {
                if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
                    throw RegistryAccessError(
                        text::trf("%1: Der Ordner kann nicht angelegt werden: %2", dir,
                                  std::strerror(errno)));
            };
            if (gJournal)
                gJournal->recordFile(
                    {dir, std::nullopt, std::string(), journal::FileChange::Kind::Folder}, make);
            else
                make();
        }
    });
}

void SetHiddenJournalled(const std::string& hostPath, bool hidden) {
    noted([&] {
        machine::Machine* m = CurrentMachine();
        if (!m)
            throw RegistryAccessError(
                text::trf("%1: Es ist keine Maschine zum Ändern geöffnet.", hostPath));
        m->files().requireWritable(hostPath);
        const bool was = m->files().isHidden(hostPath);
        if (was == hidden) return;
        if (DryRunFilesActive()) {
            DryRunEffect(hostPath, hidden ? "hidden" : "shown");
            return;
        }
        auto set = [&] { m->files().setHidden(hostPath, hidden); };
        if (!gJournal) {
            set();
            return;
        }
        gJournal->recordFile({hostPath, std::string(was ? "hidden" : "visible"),
                              std::string(hidden ? "hidden" : "visible"),
                              journal::FileChange::Kind::Attribute},
                             set);
    });
}

} // namespace ravelin
