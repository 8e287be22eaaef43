// Unit Nxopera_preferences: Opera's preferences file with the installation's two files
// beside it: the defaults (used where the user's file has no value) and the fixed
// preferences (applied at every start, so writing the user's file cannot change them).
#pragma once

#include "host/opera/OperaFile.h"

#include <string>

namespace ravelin {

class TNXOpera_Prefs {
  public:
    TNXOpera_Prefs() = default;
    TNXOpera_Prefs(opera::OperaFile user, opera::OperaFile defaults, opera::OperaFile fixed);

    // The user's preferences file (Windows path); empty while Opera has never been started.
    std::string GetPreferencesFileName() const;
    // The value Opera uses: the fixed one, else the user's, else the installation's default,
    // else `def`.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    int ReadInt(const std::string& section, const std::string& key, int def) const;
    // The installation's default, else `def`.
    std::string ReadDefault(const std::string& section, const std::string& key,
                            const std::string& def) const;
    bool IsFixed(const std::string& section, const std::string& key) const;
    // Why a control cannot change a fixed preference ("" when it can).
    std::string FixedReason(const std::string& section, const std::string& key) const;
    // Writes the user's file. Throws opera::OperaFileError for a fixed preference or a
    // malformed file, RegistryAccessError when the journal or the disk refuses.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInt(const std::string& section, const std::string& key, int value) {
        WriteString(section, key, std::to_string(value));
    }
    // The messages of files that cannot be read (each names file and line); empty when none.
    std::string Errors() const;

  private:
    opera::OperaFile user_, defaults_, fixed_;
};

// [Network], which 9.x called [Adv User Prefs]: both are read; a value is written where it
// already is, else to [Network].
class TNXOpera_NetworkPrefs {
  public:
    explicit TNXOpera_NetworkPrefs(TNXOpera_Prefs& prefs) : prefs_(prefs) {}
    bool GetEnableHostNameExpansion() const;
    void SetEnableHostNameExpansion(bool on);
    std::string GetHostNameExpansionPrefix() const;
    void SetHostNameExpansionPrefix(const std::string& prefix);
    std::string GetHostNameExpansionPostfix() const;
    void SetHostNameExpansionPostfix(const std::string& postfix);
    std::string GetHostNameExpansionPrefixDefault() const;
    std::string GetHostNameExpansionPostfixDefault() const;
    // The section and key of a network preference, for IsFixed and FixedReason.
    std::string SectionOf(const std::string& key) const;

    static constexpr const char* kEnable = "Enable HostName Expansion";
    static constexpr const char* kPrefix = "HostName Expansion Prefix";
    static constexpr const char* kPostfix = "HostName Expansion Postfix";

  private:
    std::string read(const std::string& key, const std::string& def) const;
    void write(const std::string& key, const std::string& value);
    TNXOpera_Prefs& prefs_;
};

// [User Prefs]. Texts are UTF-8 as the file holds them.
class TNXOpera_UserPrefs {
  public:
    explicit TNXOpera_UserPrefs(TNXOpera_Prefs& prefs) : prefs_(prefs) {}
    std::string GetTitle() const;
    void SetTitle(const std::string& title);
    std::string GetApplicationIcon() const;
    void SetApplicationIcon(const std::string& path); // "" for Opera's own icon
    std::string GetSourceViewer() const;
    void SetSourceViewer(const std::string& path);
    int GetSourceViewerMode() const; // 2 another program, 3 Opera's own viewer
    void SetSourceViewerMode(int mode);
    int GetHistoryNavigationMode() const; // 1 automatic, 2 compatibility, 3 fast
    void SetHistoryNavigationMode(int mode);
    bool GetSpeedDialState() const;
    void SetSpeedDialState(bool shown);
    std::string GetSearchType() const;
    void SetSearchType(const std::string& id);
    std::string GetSpeedDialSearchType() const;
    void SetSpeedDialSearchType(const std::string& id);

    static constexpr const char* kSection = "User Prefs";
    static constexpr const char* kTitle = "Title";
    static constexpr const char* kIcon = "Application Icon";
    static constexpr const char* kSourceViewer = "Source Viewer";
    static constexpr const char* kSourceViewerMode = "Source Viewer Mode";
    static constexpr const char* kHistoryNavigationMode = "History Navigation Mode";
    static constexpr const char* kSpeedDialState = "Speed Dial State";
    static constexpr const char* kSearchType = "Search Type";
    static constexpr const char* kSpeedDialSearchType = "Speed Dial Search Type";

  private:
    TNXOpera_Prefs& prefs_;
};

} // namespace ravelin
