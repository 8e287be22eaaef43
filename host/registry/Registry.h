// The registry of one machine: its hive files mounted under the root keys, with the
// views Windows offers on them (the merged HKEY_CLASSES_ROOT, the 32-bit view under
// Wow6432Node, HKEY_CURRENT_CONFIG, CurrentControlSet).
//
// Reads and writes happen in memory; flush() writes every changed hive file atomically.
// Results are Windows error codes. A registry file found to be unreadable while a key is
// looked at raises RegistryFormatError; a machine that may not be written raises
// RegistryAccessError at the first write.
#pragma once

#include "host/registry/Change.h"
#include "host/registry/Hive.h"
#include "host/registry/MachineLock.h"
#include "host/registry/Types.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::registry {

class Registry {
  public:
    // An empty registry; mount hives into it.
    Registry() = default;
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Opens the registry of a machine folder: a Wine prefix (system.reg, user.reg,
    // userdef.reg) or a Windows system drive or folder of hive files (SOFTWARE, SYSTEM,
    // DEFAULT, NTUSER.DAT). Throws RegistryAccessError when neither is found.
    // `user` picks the profile whose NTUSER.DAT is HKEY_CURRENT_USER on a Windows drive.
    static std::unique_ptr<Registry> openMachine(const std::string& dir,
                                                 const std::string& user = {});

    // Puts a hive under root\prefix (prefix may be empty).
    Hive& mount(HKEY root, const std::string& prefix, std::unique_ptr<Hive> hive);
    // HKEY_CURRENT_USER is HKEY_USERS\<sid>.
    void setCurrentUser(const std::string& sid);
    // The folder writers lock and whose wineserver is checked; empty for none.
    void setMachineDir(const std::string& dir, bool winePrefix);
    const std::string& machineDir() const { return machineDir_; }
    // True when the folder holds a machine's registry files (nothing is read).
    static bool isMachineFolder(const std::string& dir);

    // The machine's lock, taken before the hive files were read: the tree in memory is then
    // known to be current for as long as it is held.
    // Taking it over also removes what saves of this machine's hive files left behind when
    // they were killed before their rename.
    void adoptLock(std::unique_ptr<MachineLock> lock);
    bool holdsLock() const { return lock_ != nullptr; }
    // A long-lived front end (the window) lets other processes write between its own
    // writes: the lock is given back after each flush that leaves nothing pending, and
    // taken again at the next write, which is refused if the files changed meanwhile.
    void setReleaseLockAfterFlush(bool on) { releaseAfterFlush_ = on; }

    // A 64-bit Windows has the Wow6432Node views; a process emulating a 32-bit one is
    // redirected to them unless the call asks for the 64-bit or the native view.
    void setIs64Bit(bool is64) { is64_ = is64; }
    bool is64Bit() const { return is64_; }
    void setEmulatesWow64(bool on) { wow64_ = on; }
    bool emulatesWow64() const { return wow64_; }

    // Reading.
    bool keyExists(HKEY root, std::string_view path, RegOptions options = {});
    int getValue(HKEY root, std::string_view path, std::string_view name, RegistryValue& out,
                 RegOptions options = {});
    int enumKeys(HKEY root, std::string_view path, std::vector<std::string>& names,
                 RegOptions options = {});
    int enumValues(HKEY root, std::string_view path, std::vector<RegistryValue>& values,
                   RegOptions options = {});
    // Last write time of a key (FILETIME), 0 when missing.
    std::uint64_t lastWriteTime(HKEY root, std::string_view path, RegOptions options = {});

    // Writing. A write refused for a reason beyond its code (a name the hive file cannot
    // store, say) leaves the reason in lastRefusal() until the next write.
    const std::string& lastRefusal() const { return refusal_; }
    int createKey(HKEY root, std::string_view path, RegOptions options = {});
    int setValue(HKEY root, std::string_view path, std::string_view name, DWORD type,
                 std::vector<std::uint8_t> data, RegOptions options = {});
    int deleteValue(HKEY root, std::string_view path, std::string_view name,
                    RegOptions options = {});
    int deleteKey(HKEY root, std::string_view path, RegOptions options = {});
    int copyKey(HKEY fromRoot, std::string_view fromPath, HKEY toRoot, std::string_view toPath,
                RegOptions fromOptions = {}, RegOptions toOptions = {});
    int moveKey(HKEY fromRoot, std::string_view fromPath, HKEY toRoot, std::string_view toPath,
                RegOptions fromOptions = {}, RegOptions toOptions = {});

    // Where writes are made durable before they are applied (the journal); nullptr for
    // none, then writes are durable only at flush().
    void setChangeSink(ChangeSink* sink) { sink_ = sink; }
    ChangeSink* changeSink() const { return sink_; }
    // Applies the after-images of recorded changes again (crash recovery); not recorded.
    void replay(const std::vector<RegistryChange>& changes);
    // Applies the before-images, in the order given (a rollback); not recorded.
    void replayBefore(const std::vector<RegistryChange>& changes);
    // Puts the places of recorded changes back to their images before (undo, in reverse
    // order) or after (redo); recorded as a change of its own, which is returned.
    std::vector<RegistryChange> restore(const std::vector<RegistryChange>& changes, bool toBefore);
    // What the place of a change holds now: its value, or its subtree's image.
    std::optional<RegistryValue> currentValue(const RegistryChange& at);
    std::optional<std::string> currentTree(const RegistryChange& at);
    // The hive file's name in changes: relative to the machine folder.
    std::string hiveId(const Hive& hive) const;
    Hive* hiveById(const std::string& id);

    // A dry run changes the tree in memory only: no lock is taken and flush() writes nothing.
    void setDryRun(bool on) { dryRun_ = on; }
    bool dryRun() const { return dryRun_; }

    // Makes a symbolic-link key (as Windows has SYSTEM\CurrentControlSet) pointing to a
    // native path such as \REGISTRY\Machine\System\ControlSet001. For building machines:
    // not journalled.
    int createLinkKey(HKEY root, std::string_view path, const std::string& target);

    // Writes every changed hive. Throws RegistryAccessError; hives saved before the failing
    // one stay saved, the rest stay changed in memory.
    void flush();
    bool modified() const;
    std::vector<Hive*> hives();

    // Root names: "HKLM", "HKEY_LOCAL_MACHINE", ... (case-insensitive) to the constant.
    static bool parseRoot(std::string_view name, HKEY& root);
    static const char* rootName(HKEY root); // the long form
    // Splits "HKLM\Software\X" into root and path. False on an unknown root.
    static bool splitKeyName(std::string_view full, HKEY& root, std::string& path);

  private:
    struct Mount {
        HKEY root;
        std::vector<std::string> prefix;
        std::unique_ptr<Hive> hive;
    };
    // A resolved place: a key in a hive, or a point above the mounts that only has
    // mount names as subkeys.
    struct Place {
        Hive* hive = nullptr;
        Key* key = nullptr;
        std::vector<std::string> virtualSubkeys;
        bool exists = false;
        bool isVirtual() const { return exists && key == nullptr; }
    };

    struct KeyPlan {
        Hive* hive = nullptr;
        Key* existing = nullptr;          // the deepest key that exists
        std::vector<std::string> missing; // the names to create below it
    };
    bool planKey(HKEY root, const std::string& path, KeyPlan& plan);
    // ERROR_SUCCESS, or ERROR_INVALID_PARAMETER with the reason in refusal_: names Windows
    // refuses (a key name over 255 characters, a value name over 16,383) and names a hive
    // file cannot hold (a NUL character), also in the key written to.
    int checkNames(Hive& hive, Key* into, const std::vector<std::string>& newKeys,
                   const std::string* valueName);
    // ERROR_SUCCESS, or ERROR_INVALID_PARAMETER with the reason in refusal_ when the key
    // would lie deeper than Windows allows.
    int checkDepth(const KeyPlan& plan);
    RegistryChange keyChange(Hive& hive, const std::string& keyPath) const;
    RegistryChange creationChange(const KeyPlan& plan, Key* content) const;
    // The secret values of a subtree that lies (or will lie) at `at` in `hive`; all of its
    // values when the call asks for sensitive data.
    std::vector<SecretValue> secretsOf(Hive& hive, Key& key, const std::string& at, bool all);
    bool copyChanges(HKEY fromRoot, std::string_view fromPath, HKEY toRoot, std::string_view toPath,
                     RegOptions fromOptions, RegOptions toOptions,
                     std::vector<RegistryChange>& changes, int& error);
    std::string fullNameOf(const Hive& hive, const std::string& keyPath) const;
    void applyImage(const RegistryChange& change, bool after, std::uint64_t now);
    void commit(std::vector<RegistryChange> changes);

    std::vector<std::pair<HKEY, std::string>> candidates(HKEY root, std::string_view path,
                                                         RegOptions options) const;
    Place resolve(HKEY root, const std::string& path, int depth = 0);
    void beginWrite();
    std::string redirect(HKEY root, const std::string& path, RegOptions options) const;
    bool view32(RegOptions options) const;

    std::vector<Mount> mounts_;
    std::string machineDir_;
    std::string currentUserSid_;
    bool winePrefix_ = false;
    bool is64_ = false;
    bool wow64_ = false;
    std::unique_ptr<MachineLock> lock_;
    ChangeSink* sink_ = nullptr;
    bool dryRun_ = false;
    bool releaseAfterFlush_ = false;
    bool writeChecked_ = false; // the checks before the first write under this lock ran
    std::string refusal_;
};

std::vector<std::string> splitPath(std::string_view path);

} // namespace ravelin::registry
