// Unit Prefsjseditor: Firefox's preference files as Firefox reads and writes them.
//
// prefs.js holds `user_pref("name", value);` statements (strings in quotes with JavaScript
// escapes, integers, true/false) below a header comment, one a line, sorted by name. The
// editor changes a statement's value in place, inserts a new one where Firefox's order
// puts it and removes a line it deletes; every other byte (comments, unknown lines, the
// order, line ends) stays as it was. A malformed statement makes the whole file refused,
// naming file and line, and nothing is written.
//
// user.js is applied over prefs.js at every start of Firefox, so a preference it sets is
// read from there, and a change to it goes into both files (deleting it there comments
// its statement out). Preferences the installation locks (policies.json, lockPref in the
// autoconfig file) are reported with the reason.
#pragma once

#include "host/Smallmozillastuff.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ravelin {

struct PrefValue {
    enum class Kind { Bool, Int, String };
    Kind kind = Kind::Bool;
    bool boolean = false;
    std::int64_t integer = 0;
    std::string text;

    static PrefValue Bool(bool b) { return {Kind::Bool, b, 0, {}}; }
    static PrefValue Int(std::int64_t i) { return {Kind::Int, false, i, {}}; }
    static PrefValue String(std::string s) { return {Kind::String, false, 0, std::move(s)}; }
    // The value as it is written in the files: true, 42, "text" with escapes.
    std::string render() const;
    bool operator==(const PrefValue&) const = default;
};

// One parsed preferences file.
class PrefsJSFile {
  public:
    struct Statement {
        std::string function; // user_pref, pref, sticky_pref, lockPref
        std::string name;
        PrefValue value;
        std::size_t start = 0, end = 0;           // the statement, ";" included
        std::size_t valueStart = 0, valueEnd = 0; // the value's text
        unsigned line = 0;
    };

    // Throws RegistryFormatError naming `fileName` and the line of a malformed statement.
    static PrefsJSFile parse(const std::string& text, const std::string& fileName);

    const std::string& text() const { return text_; }
    const std::vector<Statement>& statements() const { return statements_; }
    // The statement that decides the value when Firefox reads the file (the last one that
    // sets it); nullptr when none does.
    const Statement* find(const std::string& name) const;
    // Every statement setting `name` gets the value; with none, `insert` adds a user_pref
    // line where Firefox's order puts it. False when nothing changed.
    bool set(const std::string& name, const PrefValue& value, bool insert);
    // Removes every statement setting `name` (its whole line when it stands alone), or
    // with commentOut puts "// " in front of the ones that begin their line.
    bool remove(const std::string& name, bool commentOut);

  private:
    void reparse();
    // Replaces `length` bytes at `at` and moves every statement's positions and line after.
    void splice(std::size_t at, std::size_t length, const std::string& with);

    std::string text_;
    std::string fileName_;
    std::vector<Statement> statements_;
};

class TPrefsJSEditor {
  public:
    // Empty fileName: the prefs.js of the profile Firefox starts with. Never throws: what
    // cannot be used is kept in LoadError() and makes Save refuse.
    void Load(const std::string& fileName);
    const std::string& FileName() const { return prefsPath_; }
    const std::string& ProfileDir() const { return profileDir_; }
    const std::string& LoadError() const { return loadError_; }

    bool HasUserPref(const std::string& name) const;
    bool GetUserPrefBooleanValue(const std::string& name, bool def) const;
    std::int64_t GetUserPrefIntegerValue(const std::string& name, std::int64_t def) const;
    std::string GetUserPrefStringValue(const std::string& name, const std::string& def) const;
    // Whether user.js sets the preference (and so decides it at every start).
    bool SetByUserJS(const std::string& name) const;
    // Why the installation locks the preference; "" when it does not.
    std::string LockedReason(const std::string& name) const;

    // `create` false changes only a preference that is already set.
    void SetUserPrefBooleanValue(const std::string& name, bool value, bool create = true);
    void SetUserPrefIntegerValue(const std::string& name, std::int64_t value, bool create = true);
    void SetUserPrefStringValue(const std::string& name, const std::string& value,
                                bool create = true);
    void DeleteUserPrefSetting(const std::string& name);

    // Empty while the files may be written; else why not (Firefox is running with the
    // profile, a file is malformed, there is no profile).
    std::string WriteRefusal() const;
    // Writes the changed files through the journal. Throws RegistryAccessError when they
    // may not or cannot be written; the editor then holds the files as they are on disk.
    void Save();

  private:
    void set(const std::string& name, const PrefValue& value, bool create);
    const PrefsJSFile::Statement* effective(const std::string& name) const;
    void loadLocks();

    std::string profileDir_, prefsPath_, userJsPath_;
    std::optional<PrefsJSFile> prefs_, userJs_;
    bool prefsExisted_ = false;
    bool prefsChanged_ = false, userJsChanged_ = false;
    std::string loadError_;
    std::map<std::string, std::string> locked_; // name -> reason
};

// The folders searched for the installation's locks, in order.
std::vector<std::string> FirefoxInstallDirs();

// The header Firefox writes at the top of a new prefs.js (older versions wrote another).
std::string PrefsJSHeader(int major);

} // namespace ravelin
