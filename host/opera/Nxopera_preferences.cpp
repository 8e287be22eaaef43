#include "host/opera/Nxopera_preferences.h"
#include "host/text/Translate.h"

#include <cstdlib>

namespace ravelin {

using opera::OperaFileError;

TNXOpera_Prefs::TNXOpera_Prefs(opera::OperaFile user, opera::OperaFile defaults,
                               opera::OperaFile fixed)
    : user_(std::move(user)), defaults_(std::move(defaults)), fixed_(std::move(fixed)) {}

std::string TNXOpera_Prefs::GetPreferencesFileName() const {
    return user_.exists() ? user_.windowsPath() : std::string();
}

std::string TNXOpera_Prefs::ReadString(const std::string& section, const std::string& key,
                                       const std::string& def) const {
    if (auto v = fixed_.get(section, key)) return *v;
    if (auto v = user_.get(section, key)) return *v;
    return ReadDefault(section, key, def);
}

std::string TNXOpera_Prefs::ReadDefault(const std::string& section, const std::string& key,
                                        const std::string& def) const {
    return defaults_.get(section, key).value_or(def);
}

int TNXOpera_Prefs::ReadInt(const std::string& section, const std::string& key, int def) const {
    const std::string text = ReadString(section, key, "");
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end == text.c_str()) return def;
    return static_cast<int>(v);
}

bool TNXOpera_Prefs::IsFixed(const std::string& section, const std::string& key) const {
    return fixed_.get(section, key).has_value();
}

std::string TNXOpera_Prefs::FixedReason(const std::string& section, const std::string& key) const {
    if (!IsFixed(section, key)) return {};
    return text::trf("Von der Opera-Installation festgelegt (%1)", fixed_.windowsPath());
}

void TNXOpera_Prefs::WriteString(const std::string& section, const std::string& key,
                                 const std::string& value) {
    if (IsFixed(section, key))
        throw OperaFileError(text::trf("Die Einstellung \"%1\" ist von der Opera-Installation in "
                                       "%2 festgelegt und kann nicht geändert werden.",
                                       key, fixed_.windowsPath()));
    user_.set(section, key, value);
}

std::string TNXOpera_Prefs::Errors() const {
    std::string out;
    for (const auto* f : {&user_, &defaults_, &fixed_}) {
        std::string e = f->error();
        if (!e.empty()) out += (out.empty() ? "" : "\n") + e;
    }
    return out;
}

// ---- Network ----

namespace {
constexpr const char* kNetwork = "Network";
constexpr const char* kAdvUserPrefs = "Adv User Prefs";

bool flag(const std::string& text, bool def) {
    if (text.empty()) return def;
    return std::atoi(text.c_str()) != 0;
}
} // namespace

std::string TNXOpera_NetworkPrefs::SectionOf(const std::string& key) const {
    if (prefs_.ReadString(kNetwork, key, "\x01") == "\x01" &&
        prefs_.ReadString(kAdvUserPrefs, key, "\x01") != "\x01")
        return kAdvUserPrefs;
    return kNetwork;
}

std::string TNXOpera_NetworkPrefs::read(const std::string& key, const std::string& def) const {
    return prefs_.ReadString(SectionOf(key), key, def);
}

void TNXOpera_NetworkPrefs::write(const std::string& key, const std::string& value) {
    prefs_.WriteString(SectionOf(key), key, value);
}

bool TNXOpera_NetworkPrefs::GetEnableHostNameExpansion() const {
    return flag(read(kEnable, ""), true);
}
void TNXOpera_NetworkPrefs::SetEnableHostNameExpansion(bool on) {
    write(kEnable, on ? "1" : "0");
}
std::string TNXOpera_NetworkPrefs::GetHostNameExpansionPrefix() const {
    return read(kPrefix, GetHostNameExpansionPrefixDefault());
}
void TNXOpera_NetworkPrefs::SetHostNameExpansionPrefix(const std::string& prefix) {
    write(kPrefix, prefix);
}
std::string TNXOpera_NetworkPrefs::GetHostNameExpansionPostfix() const {
    return read(kPostfix, GetHostNameExpansionPostfixDefault());
}
void TNXOpera_NetworkPrefs::SetHostNameExpansionPostfix(const std::string& postfix) {
    write(kPostfix, postfix);
}
std::string TNXOpera_NetworkPrefs::GetHostNameExpansionPrefixDefault() const {
    return prefs_.ReadDefault(kNetwork, kPrefix, prefs_.ReadDefault(kAdvUserPrefs, kPrefix, "www"));
}
std::string TNXOpera_NetworkPrefs::GetHostNameExpansionPostfixDefault() const {
    return prefs_.ReadDefault(kNetwork, kPostfix,
                              prefs_.ReadDefault(kAdvUserPrefs, kPostfix, "com"));
}

// ---- User Prefs ----

std::string TNXOpera_UserPrefs::GetTitle() const {
    return prefs_.ReadString(kSection, kTitle, "Opera");
}
void TNXOpera_UserPrefs::SetTitle(const std::string& title) {
    prefs_.WriteString(kSection, kTitle, title);
}
std::string TNXOpera_UserPrefs::GetApplicationIcon() const {
    return prefs_.ReadString(kSection, kIcon, "");
}
void TNXOpera_UserPrefs::SetApplicationIcon(const std::string& path) {
    prefs_.WriteString(kSection, kIcon, path);
}
std::string TNXOpera_UserPrefs::GetSourceViewer() const {
    return prefs_.ReadString(kSection, kSourceViewer, "");
}
void TNXOpera_UserPrefs::SetSourceViewer(const std::string& path) {
    prefs_.WriteString(kSection, kSourceViewer, path);
}
int TNXOpera_UserPrefs::GetSourceViewerMode() const {
    return prefs_.ReadInt(kSection, kSourceViewerMode, 3);
}
void TNXOpera_UserPrefs::SetSourceViewerMode(int mode) {
    prefs_.WriteInt(kSection, kSourceViewerMode, mode);
}
int TNXOpera_UserPrefs::GetHistoryNavigationMode() const {
    return prefs_.ReadInt(kSection, kHistoryNavigationMode, 1);
}
void TNXOpera_UserPrefs::SetHistoryNavigationMode(int mode) {
    prefs_.WriteInt(kSection, kHistoryNavigationMode, mode);
}
bool TNXOpera_UserPrefs::GetSpeedDialState() const {
    return prefs_.ReadInt(kSection, kSpeedDialState, 1) != 0;
}
void TNXOpera_UserPrefs::SetSpeedDialState(bool shown) {
    prefs_.WriteInt(kSection, kSpeedDialState, shown ? 1 : 0);
}
std::string TNXOpera_UserPrefs::GetSearchType() const {
    return prefs_.ReadString(kSection, kSearchType, "");
}
void TNXOpera_UserPrefs::SetSearchType(const std::string& id) {
    prefs_.WriteString(kSection, kSearchType, id);
}
std::string TNXOpera_UserPrefs::GetSpeedDialSearchType() const {
    return prefs_.ReadString(kSection, kSpeedDialSearchType, "");
}
void TNXOpera_UserPrefs::SetSpeedDialSearchType(const std::string& id) {
    prefs_.WriteString(kSection, kSpeedDialSearchType, id);
}

} // namespace ravelin
