#include "iexplorer/NXUserAgent.h"

#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Orvexwow64.h"
#include "host/Stringhelper.h"
#include "host/text/Text.h"

#include <algorithm>
#include <stdexcept>

namespace ravelin::iexplorer {

namespace {

constexpr const char* kKey50 =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\User Agent";
constexpr const char* kPre50 = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet "
                               "Settings\\5.0\\User Agent\\Pre Platform";
constexpr const char* kPost50 = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet "
                                "Settings\\5.0\\User Agent\\Post Platform";
constexpr const char* kKeyOld =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent";
constexpr const char* kPreOld =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Pre Platform";
constexpr const char* kPostOld =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";
constexpr const char* kDefaultOld = "Mozilla/4.0 (compatible; MSIE 6.0; Win32)";
constexpr const char* kFirstForeignToken =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1) ";

using text::lower;

// Lists gathered from several keys and hives hold each token once (the first spelling
// wins): a save writes the merged list into both hives, and the next load must not read
// every token twice.
void appendUnique(TStringList& target, const TStringList& items) {
    for (const auto& item : items) {
        const std::string key = lower(item);
        if (std::none_of(target.begin(), target.end(),
                         [&](const std::string& t) { return lower(t) == key; }))
            target.push_back(item);
    }
}

// Appends the value names of a key; true only when the enumeration ran to its end.
bool appendValueNames(HKEY root, const std::string& key, TStringList* target,
                      ravelin::RegOptions options) {
    if (!target) return false;
    try {
        TStringList names, data;
        int rc = EnumRegValuesEx(root, key, names, data, options);
        if (rc != ERROR_NO_MORE_ITEMS) return false;
        appendUnique(*target, names);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A key that is not there has no values left to delete: that counts as success.
bool deleteAllValues(HKEY root, const std::string& key, ravelin::RegOptions options) {
    TStringList names, data;
    int rc = EnumRegValuesEx(root, key, names, data, options);
    bool ok = rc == ERROR_NO_MORE_ITEMS || rc == ERROR_FILE_NOT_FOUND;
    for (const auto& n : names)
        ok = DeleteRegValue(root, key, n, options) == ERROR_SUCCESS && ok;
    return ok;
}

std::string joinTokens(const TStringList& list) {
    std::string out;
    for (const auto& item : list)
        out += (out.empty() ? "" : "; ") + item;
    return out;
}

} // namespace

const char* const kEmbeddedBrowserToken = " Embedded Web Browser from: http://bsalsa.com/";

bool IsCompatibleToken(const std::string& s) {
    return s.empty() || lower(s) == "compatible";
}

std::string GetStandardCompatibleVersion() {
    auto v = GetIEVersion();
    return "MSIE " + std::to_string(v.Major) + "." + std::to_string(v.Minor);
}

std::string GetStandardPlatform() {
    OSVersionInfoEx info;
    GetVersion2k(info);
    if (GetPlatformId() == 1) {
        // The 9x family has tokens of its own.
        int os = CurrentOS();
        return os >= 4 ? "Win 9x 4.90" : os == 3 ? "Windows 98" : "Windows 95";
    }
    return "Windows NT " + std::to_string(info.dwMajorVersion) + "." +
           std::to_string(info.dwMinorVersion);
}

bool IsNewIE() {
    return GetIEVersion().Major >= 5;
}

namespace {

// The string as the browser composes it from its tokens: the application, then in
// parentheses the compatibility and version tokens, the pre-platform tokens, the platform
// and the post-platform tokens; empty tokens are left out.
std::string composeUserAgent(const std::string& application, const std::string& compatibility,
                             const std::string& version, const TStringList& pre,
                             const std::string& platform, const TStringList& post) {
    TStringList tokens;
    for (const std::string& t : {compatibility, version})
        if (!Trim(t).empty()) tokens.push_back(Trim(t));
    tokens.insert(tokens.end(), pre.begin(), pre.end());
    if (!Trim(platform).empty()) tokens.push_back(Trim(platform));
    tokens.insert(tokens.end(), post.begin(), post.end());
    return Trim(application) + " (" + joinTokens(tokens) + ")";
}

// The whole string, however long it has grown.
std::string fullUserAgentString() {
    if (IsNewIE()) {
        TNXUserAgent agent(false, true);
        return composeUserAgent(agent.GetApplicationToken(), agent.GetCompatibilityString(),
                                agent.GetVersionToken(), agent.GetPrePlatform(),
                                agent.GetPlatformToken(), agent.GetPostPlatform());
    }
    std::string ua = GetRegStringValueDef(HKEY_CURRENT_USER, kKeyOld, "User Agent", "", {});
    if (ua.empty())
        ua = GetRegStringValueDef(HKEY_LOCAL_MACHINE, kKeyOld, "User Agent", kDefaultOld, {});
    return ua;
}

} // namespace

std::string GetIEUserAgentString() {
    std::string ua = fullUserAgentString();
    return ua.size() > 260 ? std::string() : ua;
}

TIE7UserAgentSettings ParseUserAgentString(const std::string& s) {
    TIE7UserAgentSettings out;
    std::string rest = s;
    auto cut = [&](std::size_t p) {
        std::string part = Trim(rest.substr(0, p));
        rest.erase(0, p + 1);
        return part;
    };
    std::size_t open = rest.find('(');
    if (open == std::string::npos) {
        out.Application = Trim(rest);
        return out;
    }
    out.Application = cut(open);
    if (std::size_t p = rest.find(';'); p != std::string::npos) out.Compatibility = cut(p);
    if (std::size_t p = rest.find(';'); p != std::string::npos) out.Version = cut(p);
    if (std::size_t p = rest.find(';'); p != std::string::npos)
        out.Platform = cut(p);
    else if (std::size_t q = rest.find(')'); q != std::string::npos)
        out.Platform = cut(q);
    return out;
}

// ---- TNXUserAgentSetting ----

TNXUserAgentSetting::TNXUserAgentSetting(HKEY root, const std::string& name,
                                         const std::string& standard, ravelin::RegOptions options,
                                         bool emptyIsStandard, bool load)
    : Root(root), RegOptions(options), Name(name), Standard(standard),
      EmptyIsStandard(emptyIsStandard) {
    if (load) Load();
}

void TNXUserAgentSetting::SetValue(const std::string& s) {
    FValue = s;
    Modified = true;
}

bool TNXUserAgentSetting::GetIsStandard() const {
    if (FValue == Standard) return true;
    if (!Exists && !Modified) return true;
    if (FValue.empty() && EmptyIsStandard && !Modified) return true;
    return false;
}

std::string TNXUserAgentSetting::GetPreview() const {
    return GetIsStandard() ? Standard : FValue;
}

bool TNXUserAgentSetting::Load() {
    Modified = false;
    try {
        Exists = RegValueExists(Root, kKey50, Name, RegOptions);
        FValue = Exists ? GetRegStringValueDef(Root, kKey50, Name, "", RegOptions) : std::string();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TNXUserAgentSetting::Save() {
    if (GetIsStandard()) {
        if (RegValueExists(Root, kKey50, Name, RegOptions))
            return DeleteRegValue(Root, kKey50, Name, RegOptions) == ERROR_SUCCESS;
        return true;
    }
    if (FValue.empty() && EmptyIsStandard) SetValue(" ");
    return SetRegStringValue(Root, kKey50, Name, FValue, RegOptions) == ERROR_SUCCESS;
}

bool TNXUserAgentSetting::SetToStandard() {
    Exists = true;
    FValue.clear();
    Modified = false;
    EmptyIsStandard = true;
    return true;
}

// ---- TNXUserAgentSettings ----

TNXUserAgentSettings::TNXUserAgentSettings(HKEY root, bool X64, bool load) : Root(root) {
    SetX64(X64);
    ApplicationSetting =
        std::make_unique<TNXUserAgentSetting>(root, "", "Mozilla/4.0", RegOptions, true, load);
    CompatibilitySetting = std::make_unique<TNXUserAgentSetting>(root, "Compatible", "Compatible",
                                                                 RegOptions, true, load);
    VersionSetting = std::make_unique<TNXUserAgentSetting>(
        root, "Version", GetStandardCompatibleVersion(), RegOptions, true, load);
    PlatformSetting = std::make_unique<TNXUserAgentSetting>(root, "Platform", GetStandardPlatform(),
                                                            RegOptions, false, load);
    if (load) Refresh();
}

void TNXUserAgentSettings::SetRegOptions(ravelin::RegOptions options) {
    RegOptions = options;
    for (auto* s : {ApplicationSetting.get(), CompatibilitySetting.get(), VersionSetting.get(),
                    PlatformSetting.get()})
        if (s) s->RegOptions = options;
}

void TNXUserAgentSettings::SetX64(bool b) {
    SetRegOptions(b && IsCurrentProcessWow64() ? ravelin::RegOptions{0} : ravelin::RegOptions{1});
}

bool TNXUserAgentSettings::UseNewSettings() {
    if (!isNewIECached_) {
        isNewIE_ = IsNewIE();
        isNewIECached_ = true;
    }
    return isNewIE_;
}

bool TNXUserAgentSettings::Refresh() {
    return UseNewSettings() ? LoadSettingsNew() : LoadSettingsOld();
}
bool TNXUserAgentSettings::Save() {
    return UseNewSettings() ? SaveSettingsNew() : SaveSettingsOld();
}

void TNXUserAgentSettings::ParseUserAgentString(const std::string& s) {
    TIE7UserAgentSettings parts = iexplorer::ParseUserAgentString(s);
    SetApplication(parts.Application);
    SetCompatibilityString(parts.Compatibility);
    SetVersion(parts.Version);
    SetPlatform(parts.Platform);
}

void TNXUserAgentSettings::SetApplication(const std::string& s) {
    ApplicationSetting->SetValue(s);
}
void TNXUserAgentSettings::SetCompatibilityString(const std::string& s) {
    CompatibilitySetting->SetValue(s);
}
void TNXUserAgentSettings::SetVersion(const std::string& s) {
    VersionSetting->SetValue(s);
}
void TNXUserAgentSettings::SetPlatform(const std::string& s) {
    PlatformSetting->SetValue(s);
}
void TNXUserAgentSettings::SetCompatibilityFlag(bool b) {
    if (b)
        CompatibilitySetting->SetToStandard();
    else
        SetCompatibilityString(" ");
}
std::string TNXUserAgentSettings::GetApplication() const {
    return ApplicationSetting->GetPreview();
}
std::string TNXUserAgentSettings::GetCompatibilityString() const {
    return CompatibilitySetting->GetPreview();
}
bool TNXUserAgentSettings::GetCompatibilityFlag() const {
    return IsCompatibleToken(GetCompatibilityString());
}
std::string TNXUserAgentSettings::GetVersion() const {
    return VersionSetting->GetPreview();
}
std::string TNXUserAgentSettings::GetPlatform() const {
    return PlatformSetting->GetPreview();
}
std::string TNXUserAgentSettings::GetUserAgentString() const {
    return GetIEUserAgentString();
}

bool TNXUserAgentSettings::SetToStandard() {
    bool ok = true;
    for (auto* s : {ApplicationSetting.get(), CompatibilitySetting.get(), VersionSetting.get(),
                    PlatformSetting.get()})
        ok = s->SetToStandard() && ok;
    PostPlatform.clear();
    PrePlatform.clear();
    return ok;
}

bool TNXUserAgentSettings::LoadSettingsNew() {
    bool ok = true;
    for (auto* s : {ApplicationSetting.get(), CompatibilitySetting.get(), VersionSetting.get(),
                    PlatformSetting.get()})
        ok = s->Load() && ok;
    PrePlatform.clear();
    ok = appendValueNames(Root, kPreOld, &PrePlatform, RegOptions) && ok;
    ok = appendValueNames(Root, kPre50, &PrePlatform, RegOptions) && ok;
    PostPlatform.clear();
    ok = appendValueNames(Root, kPostOld, &PostPlatform, RegOptions) && ok;
    ok = appendValueNames(Root, kPost50, &PostPlatform, RegOptions) && ok;
    return ok;
}

bool TNXUserAgentSettings::SaveSettingsNew() {
    bool ok = true;
    // The old layout is retired; its lists were merged in at load time.
    const int retired = DeleteRegKey(Root, kKeyOld, RegOptions);
    ok = (retired == ERROR_SUCCESS || retired == ERROR_FILE_NOT_FOUND) && ok; // gone is gone
    ok = deleteAllValues(Root, kPre50, RegOptions) && ok;
    ok = deleteAllValues(Root, kPost50, RegOptions) && ok;
    for (auto* s : {ApplicationSetting.get(), CompatibilitySetting.get(), VersionSetting.get(),
                    PlatformSetting.get()})
        ok = s->Save() && ok;
    for (const auto& name : PrePlatform)
        ok = SetRegStringValue(Root, kPre50, name, "", RegOptions) == ERROR_SUCCESS && ok;
    for (const auto& name : PostPlatform)
        ok = SetRegStringValue(Root, kPost50, name, "", RegOptions) == ERROR_SUCCESS && ok;
    return ok;
}

bool TNXUserAgentSettings::LoadSettingsOld() {
    ParseUserAgentString(
        GetRegStringValueDef(Root, kKeyOld, "User Agent", kDefaultOld, RegOptions));
    return GetIEUserAgentString() != kDefaultOld;
}

bool TNXUserAgentSettings::SaveSettingsOld() {
    if (!RegValueExists(Root, kKeyOld, "Default User Agent", RegOptions))
        SetRegStringValue(Root, kKeyOld, "Default User Agent", kDefaultOld, RegOptions);
    // This hive's own tokens, as edited: not the string the browser sends now, which would
    // drop every edit and carry the current user's string into the machine's hive.
    const std::string ua = composeUserAgent(GetApplication(), GetCompatibilityString(),
                                            GetVersion(), PrePlatform, GetPlatform(), PostPlatform);
    return SetRegStringValue(Root, kKeyOld, "User Agent", ua, RegOptions) == ERROR_SUCCESS;
}

// ---- TNXUserAgent ----

TNXUserAgent::TNXUserAgent(bool X64, bool load)
    : localMachine_(std::make_unique<TNXUserAgentSettings>(HKEY_LOCAL_MACHINE, X64, load)),
      currentUser_(std::make_unique<TNXUserAgentSettings>(HKEY_CURRENT_USER, X64, load)),
      x64_(X64) {
    Invalidate();
}

void TNXUserAgent::Invalidate() {
    application_.valid = compatibility_.valid = version_.valid = platform_.valid = false;
    prePlatform_.valid = postPlatform_.valid = false;
}

std::string TNXUserAgent::pick(std::unique_ptr<TNXUserAgentSetting> TNXUserAgentSettings::*setting,
                               Cached& cache) {
    if (cache.valid) return cache.value;
    std::string result;
    for (TNXUserAgentSettings* s : {currentUser_.get(), localMachine_.get()}) {
        const TNXUserAgentSetting* t = s ? (s->*setting).get() : nullptr;
        if (!t) continue;
        result = t->Standard;
        if (!t->GetIsStandard() && (!t->EmptyIsStandard || !t->GetValue().empty())) {
            result = t->GetPreview();
            break;
        }
    }
    cache.value = result;
    cache.valid = true;
    return result;
}

TNXUserAgent::Merge& TNXUserAgent::joined(TStringList TNXUserAgentSettings::*list, Merge& merge) {
    if (merge.valid) return merge;
    merge.list.clear();
    for (TNXUserAgentSettings* s : {currentUser_.get(), localMachine_.get()})
        appendUnique(merge.list, s->*list);
    merge.text = joinTokens(merge.list);
    if (!merge.text.empty()) merge.text += ";";
    merge.valid = true;
    return merge;
}

std::string TNXUserAgent::GetApplicationToken() {
    return pick(&TNXUserAgentSettings::ApplicationSetting, application_);
}
std::string TNXUserAgent::GetCompatibilityString() {
    return pick(&TNXUserAgentSettings::CompatibilitySetting, compatibility_);
}
bool TNXUserAgent::GetCompatibilityFlag() {
    return IsCompatibleToken(GetCompatibilityString());
}
std::string TNXUserAgent::GetVersionToken() {
    return pick(&TNXUserAgentSettings::VersionSetting, version_);
}
std::string TNXUserAgent::GetPlatformToken() {
    return pick(&TNXUserAgentSettings::PlatformSetting, platform_);
}
TStringList& TNXUserAgent::GetPrePlatform() {
    return joined(&TNXUserAgentSettings::PrePlatform, prePlatform_).list;
}
TStringList& TNXUserAgent::GetPostPlatform() {
    return joined(&TNXUserAgentSettings::PostPlatform, postPlatform_).list;
}
std::string TNXUserAgent::GetPrePlatformString() {
    return joined(&TNXUserAgentSettings::PrePlatform, prePlatform_).text;
}
std::string TNXUserAgent::GetPostPlatformString() {
    return joined(&TNXUserAgentSettings::PostPlatform, postPlatform_).text;
}

void TNXUserAgent::SetApplicationToken(const std::string& s) {
    application_ = {s, true};
}
void TNXUserAgent::SetCompatibilityString(const std::string& s) {
    compatibility_ = {s, true};
}
void TNXUserAgent::SetCompatibilityFlag(bool b) {
    SetCompatibilityString(b ? "Compatible" : " ");
}
void TNXUserAgent::SetVersionToken(const std::string& s) {
    version_ = {s, true};
}
void TNXUserAgent::SetPlatformToken(const std::string& s) {
    platform_ = {s, true};
}
void TNXUserAgent::SetPrePlatform(const TStringList& list) {
    prePlatform_.list = list;
    prePlatform_.text = joinTokens(list) + (list.empty() ? "" : ";");
    prePlatform_.valid = true;
}
void TNXUserAgent::SetPostPlatform(const TStringList& list) {
    postPlatform_.list = list;
    postPlatform_.text = joinTokens(list) + (list.empty() ? "" : ";");
    postPlatform_.valid = true;
}

void TNXUserAgent::SetX64(bool b) {
    if (b == x64_) return;
    x64_ = b;
    currentUser_->SetX64(b);
    localMachine_->SetX64(b);
}

TNXUserAgentSettings& TNXUserAgent::GetSettings(bool localMachine) {
    return localMachine ? *localMachine_ : *currentUser_;
}

bool TNXUserAgent::Refresh() {
    bool lm = localMachine_->Refresh();
    bool cu = currentUser_->Refresh();
    Invalidate();
    return lm && cu;
}

bool TNXUserAgent::Save(bool localMachine) {
    TNXUserAgentSettings& s = GetSettings(localMachine);
    s.SetApplication(GetApplicationToken());
    s.SetCompatibilityString(GetCompatibilityString());
    s.SetVersion(GetVersionToken());
    s.SetPlatform(GetPlatformToken());
    TStringList pre = GetPrePlatform(), post = GetPostPlatform();
    s.PrePlatform = pre;
    s.PostPlatform = post;
    return s.Save();
}

bool TNXUserAgent::SetToStandard() {
    bool lm = localMachine_->SetToStandard();
    bool cu = currentUser_->SetToStandard();
    Invalidate();
    return lm && cu;
}

std::string TNXUserAgent::GetUserAgentString() const {
    return GetIEUserAgentString();
}

TNXRepairResults RepairUserAgentString(bool X64) {
    TNXRepairResults result{TNXRepairResult::rrGeneralError};
    // The whole string: a string grown past the browser's limit is exactly the one to repair.
    std::string current = lower(fullUserAgentString());
    // A token may sit in either hive's old or new lists (a save moves the old ones into the
    // new layout); it is removed wherever it is.
    const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    const char* const keys[] = {kPostOld, kPost50, kPreOld, kPre50};
    TNXUserAgent agent(X64, false);
    const ravelin::RegOptions options = agent.GetSettings(false).RegOptions;
    for (const std::string& token :
         {std::string(kFirstForeignToken), std::string(kEmbeddedBrowserToken)}) {
        if (current.find(lower(token)) == std::string::npos) continue;
        result.insert(TNXRepairResult::rrBlemished);
        for (HKEY root : roots)
            for (const char* key : keys) {
                TStringList names, data;
                EnumRegValuesEx(root, key, names, data, options);
                for (const auto& name : names) {
                    if (lower(name) != lower(token)) continue;
                    result.insert(DeleteRegValue(root, key, name, options) == ERROR_SUCCESS
                                      ? TNXRepairResult::rrSucessfullyRepaired
                                      : TNXRepairResult::rrRepairFailed);
                }
            }
    }
    if (result.count(TNXRepairResult::rrSucessfullyRepaired) &&
        result.count(TNXRepairResult::rrRepairFailed))
        result.erase(TNXRepairResult::rrSucessfullyRepaired);
    result.erase(TNXRepairResult::rrGeneralError);
    if (result.empty()) result.insert(TNXRepairResult::rrAllFine);
    return result;
}

} // namespace ravelin::iexplorer
