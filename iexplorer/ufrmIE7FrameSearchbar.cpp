#include "iexplorer/ufrmIE7FrameSearchbar.h"

#include "host/Controlhelper.h"
#include "host/Nxbrowser.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "iexplorer/ufrmIESearchScope.h"
#include "toolkit/Application.h"
#include "toolkit/TextCompare.h"

#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace ravelin::iexplorer {

using namespace toolkit;

std::vector<TSearchScope> IEScopes_Reg_Data;
std::vector<TSearchScope> IEScopes_XML_Data;
bool IEUpdateFlag = false;
bool Resetting = false;
TIE7FrameSearchbar* IE7FrameSearchbar = nullptr;

namespace {

// A catalogue that failed to load is not read again in this process: the user has seen
// its message once.
bool catalogueFailed = false;

constexpr const char* kScopes = "Software\\Microsoft\\Internet Explorer\\SearchScopes";
constexpr const char* kScopesOff = "Software\\Microsoft\\Internet Explorer\\SearchScopes-";
constexpr const char* kRestrictions =
    "Software\\Policies\\Microsoft\\Internet Explorer\\InfoDelivery\\Restrictions";
constexpr const char* kScopePath = "orvex_deskforge>searchscopes>scope";
constexpr const char* kResetDisplayName = "@ieframe.dll,-12512";
const RegOptions kOpt{2};

bool sameText(const std::string& a, const std::string& b) {
    return AnsiCompareText(a, b) == 0;
}

bool startsWithText(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && sameText(s.substr(0, prefix.size()), prefix);
}

using text::trimmed;

// Text as a number; `def` when it is not one.
long long number(const std::string& text, long long def) {
    const std::string t = trimmed(text);
    long long v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size() || t.empty()) return def;
    return v;
}

class JournalPause {
  public:
    JournalPause() : saved_(Journal_Running) { Journal_Running = false; }
    ~JournalPause() { Journal_Running = saved_; }
    JournalPause(const JournalPause&) = delete;
    JournalPause& operator=(const JournalPause&) = delete;

  private:
    bool saved_;
};

} // namespace

void IE7ForgetSearchscopeCatalogue() {
    IEScopes_XML_Data.clear();
    catalogueFailed = false;
}

std::string KeyStripChars(const std::string& name) {
    static const char* const kStrip[] = {"!", " ", "\"", "§", "$", "%", "&", "/", "(", ")", "=",
                                         "?", "`", "´",  ";", ":", ",", ".", "-", "+", "*", "#"};
    std::string key = name;
    for (const char* s : kStrip) {
        const std::string needle(s);
        for (std::size_t p; (p = key.find(needle)) != std::string::npos;)
            key.erase(p, needle.size());
    }
    return key;
}

std::string ScopeKeyFromText(const std::string& text) {
    std::string key;
    for (char c : text)
        if (c != '\\' && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) key += c;
    key = trimmed(key);
    if (key.find_first_not_of('.') == std::string::npos) return {};
    // The longest key name Windows accepts, cut at a character's start.
    if (key.size() > 255) {
        std::size_t cut = 255;
        while (cut > 0 && (static_cast<unsigned char>(key[cut]) & 0xC0) == 0x80)
            --cut;
        key.resize(cut);
    }
    return key;
}

namespace {

bool safeKey(const std::string& key) {
    return !key.empty() && ScopeKeyFromText(key) == key;
}

} // namespace

TIE7FrameSearchbar::TIE7FrameSearchbar(TComponent* owner) : PageBase(owner) {
    loadForm();
    // Each new page reads the registry afresh: entries a former page kept in memory may
    // have been undone or changed since.
    IEScopes_Reg_Data.clear();
    IEUpdateFlag = false;
}

// ---- Registry ----

std::string TIE7FrameSearchbar::GetSearchScopeKeyPath(const TSearchScope& scope,
                                                      bool enabled) const {
    return std::string(enabled ? kScopes : kScopesOff) + "\\" + scope.Key;
}

void TIE7FrameSearchbar::LoadSearchScopeFromRegistry(TSearchScope& scope,
                                                     const std::string& keyName, bool enabled) {
    scope = TSearchScope{};
    scope.Key = keyName;
    const std::string path = GetSearchScopeKeyPath(scope, enabled);
    scope.DefaultValue = GetRegStringValueDef(HKEY_CURRENT_USER, path, "", "", kOpt);
    scope.DisplayName = GetRegStringValueDef(HKEY_CURRENT_USER, path, "DisplayName", "", kOpt);
    scope.Name = startsWithText(scope.DisplayName, "@") ? scope.DefaultValue : scope.DisplayName;
    scope.ResourceName = GetRegStringValueDef(HKEY_CURRENT_USER, path, "ResourceName", "", kOpt);
    scope.URL = GetRegStringValueDef(HKEY_CURRENT_USER, path, "URL", "", kOpt);
    if (scope.DisplayName.empty() &&
        ((!FDefaultScopeHost.empty() && scope.URL.find(FDefaultScopeHost) != std::string::npos) ||
         (scope.URL.empty() && scope.Key == FDefaultScopeKey))) {
        scope.DisplayName = FDefaultScopeName;
        scope.Name = scope.DisplayName;
    }
    DWORD v = 0;
    if (GetRegDWORDValue(HKEY_CURRENT_USER, path, "Codepage", v, kOpt) != 0) v = 0;
    scope.Codepage = v;
    v = 0;
    if (GetRegDWORDValue(HKEY_CURRENT_USER, path, "DeletedByUser", v, kOpt) != 0) v = 0;
    scope.DeletedByUser = v;
    scope.Enabled = enabled;
    v = 0;
    if (enabled && GetRegDWORDValue(HKEY_CURRENT_USER, path, "Deleted", v, kOpt) == 0 && v == 1)
        scope.Enabled = false;
    scope.IsDefault = false;
    if (startsWithText(scope.DisplayName, "@") && scope.ResourceName.empty())
        scope.ResourceName = scope.DisplayName;
}

void TIE7FrameSearchbar::WriteSearchScopeToRegistry(const TSearchScope& scope, bool enabled) {
    // Without a key of its own the path would name SearchScopes itself or a key below
    // another provider's.
    if (!safeKey(scope.Key)) return;
    const int major = GetIEVersion().Major;
    if (enabled && major >= 7 && !RegValueExists(HKEY_CURRENT_USER, kScopes, "Version", kOpt))
        SetRegDWORDValue(HKEY_CURRENT_USER, kScopes, "Version", major == 7 ? 1 : 2, kOpt);
    const std::string target = GetSearchScopeKeyPath(scope, enabled);
    const std::string other = GetSearchScopeKeyPath(scope, !enabled);
    const bool moved = KeyExist(HKEY_CURRENT_USER, other, {});
    if (moved) CopyRegKey(HKEY_CURRENT_USER, other, HKEY_CURRENT_USER, target, kOpt, kOpt);
    auto text = [&](const char* name, const std::string& value) {
        if (!value.empty()) SetRegStringValue(HKEY_CURRENT_USER, target, name, value, kOpt);
    };
    text("", scope.DefaultValue);
    text("DisplayName", scope.DisplayName);
    text("ResourceName", scope.ResourceName);
    text("URL", scope.URL);
    if (scope.Codepage != 0)
        SetRegDWORDValue(HKEY_CURRENT_USER, target, "Codepage", scope.Codepage, kOpt);
    if (scope.DeletedByUser != 0)
        SetRegDWORDValue(HKEY_CURRENT_USER, target, "DeletedByUser", scope.DeletedByUser, kOpt);
    if (moved) DeleteRegKey(HKEY_CURRENT_USER, other, {});
    if (enabled) {
        if (RegValueExists(HKEY_CURRENT_USER, target, "Deleted", kOpt))
            DeleteRegValue(HKEY_CURRENT_USER, target, "Deleted", kOpt);
    } else if (scope.Key == FDefaultScopeKey) {
        // The machine-wide default comes back unless its active key says it is off.
        SetRegDWORDValue(HKEY_CURRENT_USER, GetSearchScopeKeyPath(scope, true), "Deleted", 1, kOpt);
    }
}

// ---- The merged list and the catalogue ----

void TIE7FrameSearchbar::IE7SearchScopeArrayAddItem(const TSearchScope& scope) {
    for (auto& e : IEScopes_Reg_Data) {
        if (!sameText(e.Key, scope.Key)) continue;
        if (e.URL.empty() && !scope.URL.empty()) e = scope;
        return;
    }
    IEScopes_Reg_Data.push_back(scope);
}

void TIE7FrameSearchbar::IE7SearchScopeArrayRemoveItem(const TSearchScope& scope) {
    auto it = std::find_if(IEScopes_Reg_Data.begin(), IEScopes_Reg_Data.end(),
                           [&](const TSearchScope& e) { return e.Key == scope.Key; });
    if (it != IEScopes_Reg_Data.end()) IEScopes_Reg_Data.erase(it);
}

void TIE7FrameSearchbar::IE7ResetDefaultSearchscope() {
    for (auto& e : IEScopes_Reg_Data)
        e.IsDefault = false;
}

const TSearchScope* TIE7FrameSearchbar::FindXMLSearchScopeByDisplayName(const std::string& text) {
    if (text.empty()) return nullptr;
    for (const auto& x : IEScopes_XML_Data)
        if (sameText(x.DisplayName, text)) return &x;
    return nullptr;
}

const TSearchScope* TIE7FrameSearchbar::FindXMLSearchScopeByURL(const std::string& text) {
    if (text.empty()) return nullptr;
    for (const auto& x : IEScopes_XML_Data)
        if (sameText(x.URL, text)) return &x;
    return nullptr;
}

void TIE7FrameSearchbar::AddToXMLTree(const std::string& tag) {
    if (!FCurXMLPos.empty()) FCurXMLPos += ">";
    FCurXMLPos += tag;
}

void TIE7FrameSearchbar::DeleteFromXMLTree(const std::string& tag) {
    const auto sep = FCurXMLPos.rfind('>');
    const std::string last = sep == std::string::npos ? FCurXMLPos : FCurXMLPos.substr(sep + 1);
    if (last != tag)
        throw std::runtime_error("TIE7FrameSearchbar.DeleteFromXMLTree: Unexpected closing tag! "
                                 "Waiting for: \"" +
                                 last + "\" - Current closing: \"" + tag + "\"");
    FCurXMLPos.erase(sep == std::string::npos ? 0 : sep);
}

void TIE7FrameSearchbar::XmlScannerStartTag(const std::string& tag,
                                            const TXmlAttributes& attributes) {
    AddToXMLTree(tag);
    if (FCurXMLPos == kScopePath) {
        TmpScope = TSearchScope{};
        TmpScope.Name = attributes.Value("name");
    }
}

void TIE7FrameSearchbar::XmlScannerContent(const std::string& text) {
    const std::string scope = kScopePath;
    if (FCurXMLPos.compare(0, scope.size(), scope) != 0) return;
    const std::string rest = FCurXMLPos.substr(scope.size());
    if (rest == ">Default")
        TmpScope.DefaultValue = text;
    else if (rest == ">DisplayName")
        TmpScope.DisplayName = text;
    else if (rest == ">URL")
        TmpScope.URL = text;
    else if (rest == ">Codepage")
        TmpScope.Codepage = static_cast<std::uint32_t>(number(text, 0));
    else if (rest == ">Deletable")
        TmpScope.Deletable = number(text, 1) == 1;
    else if (rest == ">Key")
        TmpScope.Key = text;
    else if (rest == ">Previous>DisplayName")
        TmpScope.PreviousDisplayNames.push_back(text);
    else if (rest == ">Previous>URL")
        TmpScope.PreviousURLs.push_back(text);
}

void TIE7FrameSearchbar::XmlScannerEndTag(const std::string& tag) {
    if (FCurXMLPos == kScopePath && tag == "scope") {
        std::string key = ScopeKeyFromText(TmpScope.Key);
        if (key.empty()) key = ScopeKeyFromText(KeyStripChars(TmpScope.Name));
        if (key.empty()) key = ScopeKeyFromText(KeyStripChars(TmpScope.DisplayName));
        if (key.empty()) {
            // Nothing to name it by: a key of its own, as an added provider gets.
            key = "Suchmaschine";
            auto taken = [](const std::string& k) {
                return std::any_of(IEScopes_XML_Data.begin(), IEScopes_XML_Data.end(),
                                   [&](const TSearchScope& x) { return sameText(x.Key, k); });
            };
            for (int n = 2; taken(key); ++n)
                key = "Suchmaschine" + std::to_string(n);
        }
        TmpScope.Key = key;
        IEScopes_XML_Data.push_back(TmpScope);
    }
    DeleteFromXMLTree(tag);
}

void TIE7FrameSearchbar::IE7InitSearchscopes() {
    if (!IEScopes_XML_Data.empty() || catalogueFailed) return;
    const std::string file = NXTranslateFilePath(CurAppDataDir() + "[LANG]/NXSearchscopes.xml");
    TXmlScanner scanner;
    scanner.OnStartTag = [this](const std::string& t, const TXmlAttributes& a) {
        XmlScannerStartTag(t, a);
    };
    scanner.OnContent = [this](const std::string& t) { XmlScannerContent(t); };
    scanner.OnEndTag = [this](const std::string& t) { XmlScannerEndTag(t); };
    // A missing or empty catalogue is an empty one.
    if (!scanner.LoadFromFile(file) || scanner.Empty()) return;
    FCurXMLPos.clear();
    try {
        scanner.Execute();
    } catch (const std::exception& e) {
        catalogueFailed = true;
        FCurXMLPos.clear();
        // The page still opens with what the registry holds and the entries read so far.
        Application().MessageBox(e.what(),
                                 text::trf("Suchmaschinen-Katalog %1, Zeile %2", file,
                                           std::to_string(scanner.CurrentLine())),
                                 MB_OK | MB_ICONERROR);
    }
    FCurXMLPos.clear();
}

void TIE7FrameSearchbar::readMachineDefaultScope() {
    FDefaultScopeKey = GetRegStringValueDef(HKEY_LOCAL_MACHINE, kScopes, "DefaultScope",
                                            "{0633EE93-D776-472f-A0FF-E1416B8B2E3A}", kOpt);
    const std::string machineKey = std::string(kScopes) + "\\" + FDefaultScopeKey;
    FDefaultScopeName =
        GetRegStringValueDef(HKEY_LOCAL_MACHINE, machineKey, "DisplayName", "Live Search", kOpt);
    if (startsWithText(FDefaultScopeName, "@"))
        FDefaultScopeName =
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, machineKey, "", "Live Search", kOpt);
    FDefaultScopeHost =
        GetRegStringValueDef(HKEY_LOCAL_MACHINE, machineKey, "URL", "search.live.com", kOpt);
    if (auto p = FDefaultScopeHost.find("://"); p != std::string::npos) {
        FDefaultScopeHost = FDefaultScopeHost.substr(p + 3);
        if (auto slash = FDefaultScopeHost.find('/'); slash != std::string::npos)
            FDefaultScopeHost = FDefaultScopeHost.substr(0, slash);
    }
}

namespace {

// Every comparison of the merge is "equal ignoring case" on trimmed text: each text's folded
// form is made once and the entries are found by it, instead of comparing every catalogue
// entry with every registry entry.
std::string fold(const std::string& s) {
    return text::foldName(trimmed(s));
}

// A catalogue entry the user already has (by display name, else by address) takes the
// user's key and counts as switched on.
void adoptUserKeysInCatalogue(const std::vector<std::string>& active) {
    std::unordered_map<std::string, std::size_t> xmlByName, xmlByURL; // first in file order
    for (std::size_t i = 0; i < IEScopes_XML_Data.size(); ++i) {
        const auto& x = IEScopes_XML_Data[i];
        if (!x.DisplayName.empty()) xmlByName.emplace(text::foldName(x.DisplayName), i);
        if (!x.URL.empty()) xmlByURL.emplace(text::foldName(x.URL), i);
    }
    for (const auto& k : active) {
        const std::string path = std::string(kScopes) + "\\" + k;
        TSearchScope* found = nullptr;
        std::string text;
        if (GetRegStringValue(HKEY_CURRENT_USER, path, "DisplayName", text, kOpt) == 0 &&
            !text.empty())
            if (auto it = xmlByName.find(text::foldName(text)); it != xmlByName.end())
                found = &IEScopes_XML_Data[it->second];
        if (!found && GetRegStringValue(HKEY_CURRENT_USER, path, "URL", text, kOpt) == 0 &&
            !text.empty())
            if (auto it = xmlByURL.find(text::foldName(text)); it != xmlByURL.end())
                found = &IEScopes_XML_Data[it->second];
        if (found) {
            found->Key = k;
            found->Enabled = true;
        }
    }
}

// The merged entries by one folded text; an entry may be under several texts and a text
// may name several entries (kept in the order they were added).
class ScopeIndex {
  public:
    void add(const std::string& k, std::size_t i) { at_[k].push_back(i); }
    void remove(const std::string& k, std::size_t i) {
        auto it = at_.find(k);
        if (it == at_.end()) return;
        auto& v = it->second;
        v.erase(std::remove(v.begin(), v.end(), i), v.end());
        if (v.empty()) at_.erase(it);
    }
    bool has(const std::string& k) const { return at_.count(k) != 0; }
    const std::vector<std::size_t>* find(const std::string& k) const {
        auto it = at_.find(k);
        return it == at_.end() ? nullptr : &it->second;
    }

  private:
    std::unordered_map<std::string, std::vector<std::size_t>> at_;
};

// The merge of the user's providers (IEScopes_Reg_Data) with the catalogue, with the
// indexes that find an entry by key, address, display name and shown name kept up to date
// as entries are added and renewed.
class ScopeMerge {
  public:
    explicit ScopeMerge(TIE7FrameSearchbar& frame) : frame_(frame) {
        for (std::size_t i = 0; i < IEScopes_Reg_Data.size(); ++i)
            byKey_.emplace(text::foldName(IEScopes_Reg_Data[i].Key), i);
    }

    // The providers under one of the user's keys, in the order given.
    void addFromRegistry(const std::vector<std::string>& keys, bool enabled) {
        for (const auto& k : keys) {
            TSearchScope s;
            frame_.LoadSearchScopeFromRegistry(s, k, enabled);
            addItem(s);
        }
    }

    void markDefault(const std::string& current) {
        const std::string currentKey = text::foldName(current);
        for (auto& e : IEScopes_Reg_Data)
            if (text::foldName(e.Key) == currentKey) e.IsDefault = true;
    }

    // Renews the entries a catalogue entry replaces and adds the catalogue entries the
    // user does not have yet, in catalogue order.
    void applyCatalogue() {
        for (std::size_t i = 0; i < IEScopes_Reg_Data.size(); ++i)
            reindex(i);
        // A shown name follows its display name unless that is a resource reference. Every
        // entry is brought in line before the first catalogue entry is compared, and each
        // one a catalogue entry renewed or added before the next.
        std::vector<std::size_t> touched;
        for (std::size_t i = 0; i < IEScopes_Reg_Data.size(); ++i)
            touched.push_back(i);
        for (const auto& x : IEScopes_XML_Data) {
            for (std::size_t i : touched)
                showDisplayName(i);
            touched.clear();
            for (std::size_t i : outdatedBy(x)) {
                renew(i, x);
                touched.push_back(i);
            }
            const bool found = byURL_.has(fold(x.URL)) || byName_.has(fold(x.Name));
            if (!found) {
                if (auto i = addItem(x)) {
                    if (*i < folded_.size()) unindex(*i);
                    reindex(*i);
                    touched.push_back(*i);
                }
            }
        }
    }

  private:
    struct Folded {
        std::string url, displayName, name;
    };

    // IE7SearchScopeArrayAddItem by lookup; the index of the entry it appended or replaced.
    std::optional<std::size_t> addItem(const TSearchScope& scope) {
        if (auto it = byKey_.find(text::foldName(scope.Key)); it != byKey_.end()) {
            auto& e = IEScopes_Reg_Data[it->second];
            if (!(e.URL.empty() && !scope.URL.empty())) return std::nullopt;
            e = scope;
            return it->second;
        }
        IEScopes_Reg_Data.push_back(scope);
        byKey_.emplace(text::foldName(scope.Key), IEScopes_Reg_Data.size() - 1);
        return IEScopes_Reg_Data.size() - 1;
    }

    void unindex(std::size_t i) {
        byURL_.remove(folded_[i].url, i);
        byDisplayName_.remove(folded_[i].displayName, i);
        byName_.remove(folded_[i].name, i);
    }

    void reindex(std::size_t i) {
        if (folded_.size() <= i) folded_.resize(i + 1);
        const auto& r = IEScopes_Reg_Data[i];
        folded_[i] = {fold(r.URL), fold(r.DisplayName), fold(r.Name)};
        byURL_.add(folded_[i].url, i);
        byDisplayName_.add(folded_[i].displayName, i);
        byName_.add(folded_[i].name, i);
    }

    void showDisplayName(std::size_t i) {
        auto& r = IEScopes_Reg_Data[i];
        if (r.DisplayName.empty() || startsWithText(r.DisplayName, "@") || r.Name == r.DisplayName)
            return;
        byName_.remove(folded_[i].name, i);
        r.Name = r.DisplayName;
        folded_[i].name = fold(r.Name);
        byName_.add(folded_[i].name, i);
    }

    // The entries one of X's earlier addresses or names points at, in list order.
    std::set<std::size_t> outdatedBy(const TSearchScope& x) const {
        std::set<std::size_t> outdated;
        for (const auto& p : x.PreviousURLs)
            if (const auto* hits = byURL_.find(fold(p)))
                outdated.insert(hits->begin(), hits->end());
        for (const auto& p : x.PreviousDisplayNames)
            if (const auto* hits = byDisplayName_.find(fold(p)))
                outdated.insert(hits->begin(), hits->end());
        return outdated;
    }

    // Rewrites the outdated entry i from catalogue entry x: a repair the user did not ask
    // for, so it is not journalled.
    void renew(std::size_t i, const TSearchScope& x) {
        auto& r = IEScopes_Reg_Data[i];
        JournalPause pause;
        const std::string old = frame_.GetSearchScopeKeyPath(r, r.Enabled);
        if (safeKey(r.Key) && KeyExist(HKEY_CURRENT_USER, old, {}))
            DeleteRegKey(HKEY_CURRENT_USER, old, {});
        TSearchScope renewed = x;
        renewed.DeletedByUser = r.DeletedByUser;
        renewed.Enabled = r.Enabled;
        renewed.IsDefault = r.IsDefault;
        const bool moved = !sameText(renewed.Key, r.Key);
        const std::string oldKey = text::foldName(r.Key);
        unindex(i);
        r = renewed;
        reindex(i);
        if (moved) rekey(i, oldKey);
        // Written where it was: a switched-off or removed provider stays so.
        frame_.WriteSearchScopeToRegistry(r, r.Enabled);
        // The default follows its provider to the new key.
        if (moved && r.IsDefault)
            SetRegStringValue(HKEY_CURRENT_USER, kScopes, "DefaultScope", r.Key, kOpt);
    }

    // Entry i left the key oldKey: the key's first entry is now the next one under it, if
    // any, and i's new key finds i unless an earlier entry holds it.
    void rekey(std::size_t i, const std::string& oldKey) {
        if (auto it = byKey_.find(oldKey); it != byKey_.end() && it->second == i) {
            byKey_.erase(it);
            for (std::size_t j = 0; j < IEScopes_Reg_Data.size(); ++j)
                if (text::foldName(IEScopes_Reg_Data[j].Key) == oldKey) {
                    byKey_.emplace(oldKey, j);
                    break;
                }
        }
        auto [it, fresh] = byKey_.emplace(text::foldName(IEScopes_Reg_Data[i].Key), i);
        if (!fresh && it->second > i) it->second = i;
    }

    TIE7FrameSearchbar& frame_;
    // The merged list's entries by key (the first of each).
    std::unordered_map<std::string, std::size_t> byKey_;
    ScopeIndex byURL_, byDisplayName_, byName_;
    std::vector<Folded> folded_;
};

} // namespace

void TIE7FrameSearchbar::IE7InitialRegistryCheckForSearchscopes() {
    if (!IEUpdateFlag) {
        IEUpdateFlag = true;
        return;
    }
    Resetting = false;
    readMachineDefaultScope();
    IE7InitSearchscopes();

    std::vector<std::string> active, inactive;
    EnumRegKeysEx(HKEY_CURRENT_USER, kScopes, active, kOpt);
    EnumRegKeysEx(HKEY_CURRENT_USER, kScopesOff, inactive, kOpt);
    adoptUserKeysInCatalogue(active);
    const std::string current =
        GetRegStringValueDef(HKEY_CURRENT_USER, kScopes, "DefaultScope", "", kOpt);

    ScopeMerge merge(*this);
    merge.addFromRegistry(active, true);
    merge.addFromRegistry(inactive, false);
    merge.markDefault(current);
    merge.applyCatalogue();
}

// ---- The list ----

TSearchScope* TIE7FrameSearchbar::entryOf(const TListItem& item) const {
    if (item.Data < 0 || static_cast<std::size_t>(item.Data) >= IEScopes_Reg_Data.size())
        return nullptr;
    return &IEScopes_Reg_Data[static_cast<std::size_t>(item.Data)];
}

void TIE7FrameSearchbar::ListRefresh() {
    FUpdating = true;
    lvSearchscopes->BeginUpdate();
    try {
        IE7InitialRegistryCheckForSearchscopes();
        lvSearchscopes->Clear();
        // The captions so far, as the list's own caption search compares them.
        std::unordered_set<std::string> captions;
        for (std::size_t i = 0; i < IEScopes_Reg_Data.size(); ++i) {
            const auto& e = IEScopes_Reg_Data[i];
            if (e.DeletedByUser != 0) continue;
            if (captions.count(AnsiLowerCase(e.Name))) continue;
            TListItem& item = lvSearchscopes->Add();
            item.Caption = e.IsDefault ? text::trf("%1 (Standard)", e.Name) : e.Name;
            captions.insert(AnsiLowerCase(item.Caption));
            item.Data = static_cast<std::intptr_t>(i);
            item.SetChecked(e.Enabled);
        }
        lvSearchscopes->AlphaSort();
        quiet_ = true;
        cbIE7DisplaySearchBox->SetChecked(
            !GetRegSetting(HKEY_CURRENT_USER, kRestrictions, "NoSearchBox", false, kOpt));
        quiet_ = false;
    } catch (...) {
        quiet_ = false;
        lvSearchscopes->EndUpdate();
        throw;
    }
    lvSearchscopes->EndUpdate();
    SetControlStatus(*lvSearchscopes, cbIE7DisplaySearchBox->Checked(), "");
    updateActions();
    if (!FUpdateTimer) {
        FUpdateTimer = &Create<TTimer>();
        FUpdateTimer->Interval = 10;
        FUpdateTimer->OnTimer = [this](TComponent& s) { UpdatingLVSearchScopesEnd(s); };
    }
    FUpdateTimer->SetEnabled(true);
}

void TIE7FrameSearchbar::UpdatingLVSearchScopesEnd(TComponent&) {
    FUpdateTimer->SetEnabled(false);
    FUpdating = false;
}

void TIE7FrameSearchbar::updateActions() {
    const bool on = cbIE7DisplaySearchBox->Checked();
    TListItem* item = lvSearchscopes->Selected();
    const TSearchScope* e = item ? entryOf(*item) : nullptr;
    actAdd->Enabled = on;
    actEdit->Enabled = on && e;
    actRemove->Enabled = on && e;
    actSetAsDefault->Enabled = on && e && !e->IsDefault;
}

void TIE7FrameSearchbar::SelectListviewItem() {
    if (!LvSelectedItem) return;
    const int index = *LvSelectedItem;
    LvSelectedItem.reset();
    if (index < 0 || index >= lvSearchscopes->Count()) return;
    TListItem& item = lvSearchscopes->Item(index);
    if (lvSearchscopes->Selected() == &item) return;
    item.SetSelected(true);
    item.Focused = true;
    lvSearchscopes->SetFocus();
}

void TIE7FrameSearchbar::selectIndex(int index) {
    LvSelectedItem = index;
    SelectListviewItem();
}

void TIE7FrameSearchbar::lvSearchscopesSelectItem(TComponent&, TListItem&, bool) {
    updateActions();
}

void TIE7FrameSearchbar::lvSearchscopesItemChecked(TComponent&, TListItem& item) {
    if (FUpdating) return;
    TSearchScope* e = entryOf(item);
    if (!e || item.Checked() == e->Enabled) return;
    if (!e->IsDefault) {
        WriteSearchScopeToRegistry(*e, item.Checked());
        e->Enabled = item.Checked();
    } else if (!Resetting) {
        Application().MessageBox(
            text::tr("Sie können die Standard-Suchmaschine nicht deaktivieren, ohne "
                     "vorher eine andere Suchmaschine als Standard gewählt zu haben."),
            text::tr("Deaktivieren der Standard-Suchmaschine"), MB_OK | MB_ICONWARNING);
        item.SetChecked(e->Enabled);
    }
    item.SetSelected(true);
    item.Focused = true;
}

// ---- Commands ----

void TIE7FrameSearchbar::cbIE7DisplaySearchBoxClick(TComponent&) {
    if (quiet_) return;
    const bool on = cbIE7DisplaySearchBox->Checked();
    actAdd->Enabled = on;
    actEdit->Enabled = false;
    actRemove->Enabled = false;
    actSetAsDefault->Enabled = false;
    SetControlStatus(*lvSearchscopes, on, "");
    SetRegDWORDValue(HKEY_CURRENT_USER, kRestrictions, "NoSearchBox", on ? 0 : 1, kOpt);
}

std::string TIE7FrameSearchbar::uniqueKey(const std::string& name) const {
    // A name that reduces to nothing, or to the key of a provider the user already has,
    // gets a key of its own instead of overwriting that provider.
    std::string base = ScopeKeyFromText(KeyStripChars(name));
    if (base.empty()) base = "Suchmaschine";
    auto taken = [](const std::string& key) {
        for (const auto& e : IEScopes_Reg_Data)
            if (sameText(e.Key, key)) return true;
        return KeyExist(HKEY_CURRENT_USER, std::string(kScopes) + "\\" + key, {}) ||
               KeyExist(HKEY_CURRENT_USER, std::string(kScopesOff) + "\\" + key, {});
    };
    std::string key = base;
    for (int n = 2; taken(key); ++n)
        key = base + std::to_string(n);
    return key;
}

void TIE7FrameSearchbar::actAddExecute(TComponent&) {
    TSearchScope scope;
    if (!ShowAddIESearchScope(scope)) return;
    scope.Key = uniqueKey(scope.Name);
    WriteSearchScopeToRegistry(scope, true);
    IE7SearchScopeArrayAddItem(scope);
    IEUpdateFlag = false;
    ListRefresh();
    if (TListItem* item = lvSearchscopes->FindCaption(0, scope.Name, false, true, false)) {
        item->SetSelected(true);
        item->Focused = true;
    }
    lvSearchscopes->SetFocus();
}

void TIE7FrameSearchbar::actEditExecute(TComponent&) {
    TListItem* item = lvSearchscopes->Selected();
    TSearchScope* e = item ? entryOf(*item) : nullptr;
    if (!e) return;
    const int index = item->Index();
    bool changed = false;
    TSearchScope edited = *e;
    if (!ShowEditIESearchScope(edited, changed) || !changed) return;
    if (startsWithText(edited.ResourceName, "@")) {
        if (sameText(edited.Name, edited.DefaultValue)) {
            edited.DisplayName = edited.ResourceName;
        } else {
            edited.ResourceName = edited.DisplayName;
            edited.DisplayName = edited.Name;
        }
    } else {
        edited.DisplayName = edited.Name;
    }
    *e = edited;
    WriteSearchScopeToRegistry(*e, e->Enabled);
    IEUpdateFlag = false;
    ListRefresh();
    selectIndex(index);
}

void TIE7FrameSearchbar::actRemoveExecute(TComponent&) {
    TListItem* item = lvSearchscopes->Selected();
    TSearchScope* e = item ? entryOf(*item) : nullptr;
    if (!e) return;
    if (e->IsDefault) {
        Application().MessageBox(text::tr("Sie müssen zuerst eine andere Suchmaschine als Standard "
                                          "auswählen."),
                                 text::tr("Löschen der Standard-Suchmaschine"),
                                 MB_OK | MB_ICONWARNING);
        return;
    }
    e->DeletedByUser = 1;
    WriteSearchScopeToRegistry(*e, false);
    const TSearchScope gone = *e;
    item->Delete();
    actRemove->Enabled = false;
    actSetAsDefault->Enabled = false;
    IE7SearchScopeArrayRemoveItem(gone);
    IEUpdateFlag = false;
    ListRefresh();
    lvSearchscopes->SetFocus();
}

void TIE7FrameSearchbar::actSetAsDefaultExecute(TComponent&) {
    TListItem* item = lvSearchscopes->Selected();
    TSearchScope* e = item ? entryOf(*item) : nullptr;
    if (!e) return;
    const int index = item->Index();
    actSetAsDefault->Enabled = false;
    if (!e->Enabled) item->SetChecked(true);
    SetRegStringValue(HKEY_CURRENT_USER, kScopes, "DefaultScope", e->Key, kOpt);
    IE7ResetDefaultSearchscope();
    e->IsDefault = true;
    IEUpdateFlag = false;
    ListRefresh();
    selectIndex(index);
}

void TIE7FrameSearchbar::ResetIE7Settings() {
    cbIE7DisplaySearchBox->SetChecked(true);
    lvSearchscopes->BeginUpdate();
    try {
        for (auto& x : IEScopes_XML_Data) {
            if (x.DisplayName != kResetDisplayName) continue;
            x.Enabled = true;
            WriteSearchScopeToRegistry(x, true);
            SetRegStringValue(HKEY_CURRENT_USER, kScopes, "DefaultScope", x.Key, kOpt);
            break;
        }
        IE7ResetDefaultSearchscope();
        TListItem* keep = lvSearchscopes->FindCaption(0, "Live Search", true, true, true);
        Resetting = true;
        for (int i = 0; i < lvSearchscopes->Count(); ++i) {
            TListItem& item = lvSearchscopes->Item(i);
            item.SetChecked(&item == keep);
        }
        Resetting = false;
        IE7InitialRegistryCheckForSearchscopes();
        ListRefresh();
    } catch (...) {
        Resetting = false;
        lvSearchscopes->EndUpdate();
        throw;
    }
    lvSearchscopes->EndUpdate();
}

} // namespace ravelin::iexplorer
