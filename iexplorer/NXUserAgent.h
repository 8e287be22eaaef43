// Unit NXUserAgent: the user-agent string Internet Explorer sends, as the tokens it keeps
// in the registry (per hive: application, compatibility, version, platform, and the pre-
// and post-platform token lists), with loading, the merged view of both hives and saving.
#pragma once

#include "host/Nxregistry.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace ravelin::iexplorer {

using TStringList = std::vector<std::string>;

// The string the installed browser sends. Our machines run no browser, so it is composed
// the way Internet Explorer composes it from the registry: with the new layout (version 5
// and later) the application token, then in parentheses and separated by "; " the
// compatibility and version tokens, the pre-platform tokens, the platform token and the
// post-platform tokens; each token is the current user's when it differs from the
// standard, else the machine's, else the standard (the model's PickToken rule), the lists
// hold the current user's entries and then the machine's, from the old and the 5.0 keys,
// and empty tokens are left out. With the old layout it is the "User Agent" value of the
// old key (current user first) or "Mozilla/4.0 (compatible; MSIE 6.0; Win32)". As with the
// browser's own call, a string longer than 260 characters is not returned ("").
std::string GetIEUserAgentString();
std::string GetStandardCompatibleVersion(); // "MSIE 7.0"
// "Windows NT 5.1" on the NT family. On the 9x family the browser's own tokens:
// "Windows 95", "Windows 98" and "Win 9x 4.90" (Windows Me).
std::string GetStandardPlatform();
bool IsNewIE();

enum class TNXRepairResult {
    rrAllFine,
    rrBlemished,
    rrSucessfullyRepaired,
    rrRepairFailed,
    rrGeneralError
};
using TNXRepairResults = std::set<TNXRepairResult>;
// The second known foreign token: added by an embeddable browser component.
extern const char* const kEmbeddedBrowserToken;
TNXRepairResults RepairUserAgentString(bool X64);

struct TIE7UserAgentSettings {
    std::string Application;
    std::string Compatibility;
    std::string Platform;
    std::string Version;
};
TIE7UserAgentSettings ParseUserAgentString(const std::string& s);

// One token stored as one value in the 5.0 key of one hive.
class TNXUserAgentSetting {
  public:
    TNXUserAgentSetting(HKEY root, const std::string& name, const std::string& standard,
                        ravelin::RegOptions options, bool emptyIsStandard, bool load);

    HKEY Root;
    ravelin::RegOptions RegOptions;
    std::string Name; // empty: the key's default value
    bool Modified = false;
    std::string Standard;
    bool Exists = false;
    bool EmptyIsStandard;

    const std::string& GetValue() const { return FValue; }
    void SetValue(const std::string& s);
    std::string GetPreview() const;
    bool GetIsStandard() const;
    bool Load();
    bool Save();
    bool SetToStandard();

  private:
    std::string FValue;
};

// The tokens and lists of one hive.
class TNXUserAgentSettings {
  public:
    TNXUserAgentSettings(HKEY root, bool X64, bool load);

    std::unique_ptr<TNXUserAgentSetting> ApplicationSetting;
    std::unique_ptr<TNXUserAgentSetting> CompatibilitySetting;
    std::unique_ptr<TNXUserAgentSetting> VersionSetting;
    std::unique_ptr<TNXUserAgentSetting> PlatformSetting;
    TStringList PostPlatform;
    TStringList PrePlatform;
    HKEY Root;
    ravelin::RegOptions RegOptions;

    void SetRegOptions(ravelin::RegOptions options);
    void SetX64(bool b);
    bool X64() const { return RegOptions.bits() == 1u; }
    bool UseNewSettings();
    bool Refresh();
    bool Save();
    void ParseUserAgentString(const std::string& s);
    void SetApplication(const std::string& s);
    void SetCompatibilityString(const std::string& s);
    void SetCompatibilityFlag(bool b);
    void SetVersion(const std::string& s);
    void SetPlatform(const std::string& s);
    std::string GetApplication() const;
    std::string GetCompatibilityString() const;
    bool GetCompatibilityFlag() const;
    std::string GetVersion() const;
    std::string GetPlatform() const;
    std::string GetUserAgentString() const;
    bool SetToStandard();

    bool LoadSettingsNew();
    bool SaveSettingsNew();
    bool LoadSettingsOld();
    bool SaveSettingsOld();

  private:
    bool isNewIE_ = false;
    bool isNewIECached_ = false;
};

// Both hives merged, as the Internet Explorer page edits them.
class TNXUserAgent {
  public:
    TNXUserAgent(bool X64, bool load);

    void Invalidate();
    std::string GetApplicationToken();
    std::string GetCompatibilityString();
    bool GetCompatibilityFlag();
    std::string GetVersionToken();
    std::string GetPlatformToken();
    TStringList& GetPrePlatform();
    TStringList& GetPostPlatform();
    std::string GetPrePlatformString();
    std::string GetPostPlatformString();
    void SetApplicationToken(const std::string& s);
    void SetCompatibilityString(const std::string& s);
    void SetCompatibilityFlag(bool b);
    void SetVersionToken(const std::string& s);
    void SetPlatformToken(const std::string& s);
    void SetPrePlatform(const TStringList& list);
    void SetPostPlatform(const TStringList& list);
    void SetX64(bool b);
    bool X64() const { return x64_; }
    TNXUserAgentSettings& GetSettings(bool localMachine);
    bool Refresh();
    bool Save(bool localMachine);
    bool SetToStandard();
    std::string GetUserAgentString() const;

  private:
    struct Cached {
        std::string value;
        bool valid = false;
    };
    struct Merge {
        TStringList list;
        std::string text;
        bool valid = false;
    };
    std::string pick(std::unique_ptr<TNXUserAgentSetting> TNXUserAgentSettings::*setting,
                     Cached& cache);
    Merge& joined(TStringList TNXUserAgentSettings::*list, Merge& merge);

    Cached application_, compatibility_, version_, platform_;
    std::unique_ptr<TNXUserAgentSettings> localMachine_;
    std::unique_ptr<TNXUserAgentSettings> currentUser_;
    Merge prePlatform_, postPlatform_;
    bool x64_;
};

// The compatibility test: true for "" and for "compatible" in any case.
bool IsCompatibleToken(const std::string& s);

} // namespace ravelin::iexplorer
