#include "firefox/ufrmFireFox.h"

#include "firefox/CSSParser.h"
#include "host/Controlhelper.h"
#include "host/Nxfilechanges.h"
#include "host/Nxhelper.h"
#include "host/Nxmozillahelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <tuple>

namespace ravelin::firefox {

using namespace toolkit;

TfrmMozillaFireFox* frmMozillaFireFox = nullptr;
TSmallStringList ProfilePaths;
int TabRValue = 205, TabGValue = 69, TabBValue = 50;

namespace {

constexpr const char* kUserChrome = "userChrome.css";
constexpr const char* kUserContent = "userContent.css";
constexpr const char* kActiveTab = "tab[selected=\"true\"]";
constexpr const char* kOpenNewWindow = "browser.link.open_newwindow";
constexpr const char* kSubmenuDelay = "ui.submenuDelay";
constexpr const char* kWindowOpenFeature = "dom.disable_window_open_feature";
constexpr const char* kLegacyStyleSheets = "toolkit.legacyUserProfileCustomizations.stylesheets";
constexpr int kDefaultR = 205, kDefaultG = 69, kDefaultB = 50;
constexpr std::uint32_t kSilver = 0xC0C0C0;
constexpr const char* kProductPage = "https://www.mozilla.org/firefox/";

using text::equalsIgnoringCase;
using text::lower;

struct JavaScriptItem {
    int number;
    const char* suffix;
    bool defaultOld; // major 2 or less
    bool defaultNew; // major 3 or more
};
constexpr JavaScriptItem kJavaScriptItems[] = {
    {1, ".resizable", true, true}, {2, ".minimizable", true, false}, {3, ".menubar", true, false},
    {4, ".location", true, true},  {5, ".scrollbars", true, false},
};

// What the list shows for a JavaScript permission.
std::string javaScriptCaption(int number) {
    switch (number) {
    case 1:
        return text::tr("Veränderung der Fenstergröße");
    case 2:
        return text::tr("Minimierung von Fenster");
    case 3:
        return text::tr("Verstecken der Menüleiste");
    case 4:
        return text::tr("Verstecken der Symbolleiste");
    default:
        return text::tr("Verstecken der Bildlaufleisten");
    }
}

struct CloseButtonsItem {
    std::string caption;
    int value;
};
// The choices for the tabs' close buttons, in the order the list shows them.
std::vector<CloseButtonsItem> closeButtons() {
    return {{text::tr("Schaltfläche \"Schließen\" nicht anzeigen"), 2},
            {text::tr("Nur auf dem aktiven Tab"), 0},
            {text::tr("Auf allen Tabs anzeigen"), 1},
            {text::tr("Am rechten Rand der Tableiste (klassisch)"), 3}};
}

// Sets a control the way a user would, unless the installation locked it.
void setChecked(TCheckBox& c, bool on) {
    if (c.Enabled) c.SetChecked(on);
}
void setChecked(TRadioButton& c, bool on) {
    if (c.Enabled) c.SetChecked(on);
}

} // namespace

std::uint32_t RGB2TColor(int r, int g, int b) {
    return static_cast<std::uint32_t>(r & 0xFF) | static_cast<std::uint32_t>(g & 0xFF) << 8 |
           static_cast<std::uint32_t>(b & 0xFF) << 16;
}

void TColor2RGB(std::uint32_t color, int& r, int& g, int& b) {
    r = static_cast<int>(color & 0xFF);
    g = static_cast<int>((color >> 8) & 0xFF);
    b = static_cast<int>((color >> 16) & 0xFF);
}

int ReadColorNumber(const std::string& text, std::size_t position) {
    int n = 0;
    for (std::size_t i = position;
         i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        n = std::min(n * 10 + (text[i] - '0'), 1'000'000);
    return n;
}

std::string ColorWord(int r, int g, int b) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "rgb(%u,%u,%u)", static_cast<unsigned>(r),
                  static_cast<unsigned>(g), static_cast<unsigned>(b));
    return buf;
}

TfrmMozillaFireFox::TfrmMozillaFireFox(TComponent* owner) : PageBase(owner) {
    loadForm();
    frmMozillaFireFox = this;
    Fire(OnCreate);
}

TfrmMozillaFireFox::~TfrmMozillaFireFox() {
    BeforeDestruction(); // FormDestroy uses this class's members
    if (frmMozillaFireFox == this) frmMozillaFireFox = nullptr;
}

// ---- Creation ----

void TfrmMozillaFireFox::FormCreate(TComponent&) {
    FPrefsEditor = std::make_unique<TPrefsJSEditor>();
    FPrefsEditor->Load("");
    {
        const JournalDiscarding discarding;
        fillControls();
    }
    // Windows' own menu delay is set on a page of another module, which this host does not
    // have: the link to it is not offered.
    lblWindowsMenus->Visible = lblJumpToPrivacy->Visible = false;
    CloseGaps(*gbSubMenus);
    udeTabMinWidth->Left = lblTabMinWidth->Left + lblTabMinWidth->Width + 6;
    lblTabMinWidthUnit->Left = udeTabMinWidth->Left + udeTabMinWidth->Width + 6;
    ActivateFirstVisiblePage(*pcFireFox);
}

// The profile's settings into the controls; the caller discards what this writes.
void TfrmMozillaFireFox::fillControls() {
    GetFireFoxProfilePaths(ProfilePaths);
    FFirefoxVersion = GetFirefoxVersion();
    lblProfileState->Visible = false;
    if (major() == 0 || ProfilePaths.empty()) {
        showNotInstalled();
        return;
    }
    tsNotInstalled->TabVisible = false;
    showProfileState();
    if (major() < 2)
        fillVersionOneLayout();
    else
        fillTabs();
    if (!rbSideBarRight->Checked()) rbSideBarLeft->SetChecked(true);

    // Links.
    const auto link = FPrefsEditor->GetUserPrefIntegerValue(kOpenNewWindow, major() < 2 ? 2 : 3);
    chkBlockTargetNewWindow->SetChecked(link != 2);
    (link == 1 ? rbOpenSameTab : rbOpenNewTab)->SetChecked(true);
    applyLinkRule();

    fillPreferences();
    disableLocked();
}

// Why the profile may not be written, if it may not.
void TfrmMozillaFireFox::showProfileState() {
    refusal_ = FPrefsEditor->WriteRefusal();
    if (refusal_.empty() && !ProfilePaths.empty())
        refusal_ = FirefoxProfileInUse(ProfilePaths.front());
    if (refusal_.empty()) return;
    lblProfileState->SetCaption(
        !std::filesystem::is_directory(ProfilePaths.front())
            ? text::tr("Der Ordner des Firefox-Profils fehlt. Bitte wählen Sie ein Profil.")
        : FPrefsEditor->LoadError().empty()
            ? text::tr("Firefox läuft gerade mit diesem Profil. Bitte beenden Sie Firefox zuerst.")
            : text::tr("Die Einstellungen von Firefox können nicht gelesen werden."));
    lblProfileState->Hint = refusal_;
    lblProfileState->Visible = true;
}

// Versions below 2 have no tab settings and no Go button.
void TfrmMozillaFireFox::fillVersionOneLayout() {
    tsTabs->TabVisible = false;
    chkGoButton->Visible = false;
    gbUrlBar->Height = chkUrlBarAutoFill->Top + chkUrlBarAutoFill->Height + 10;
    gbSubMenus->Top = gbUrlBar->Top + gbUrlBar->Height + 10;
    rbSideBarRight->SetChecked(
        CSSHasValue(kUserChrome, "window > hbox", "direction", "rtl", false));
}

void TfrmMozillaFireFox::fillTabs() {
    cbCloseTabs->ClearItems();
    const auto choices = closeButtons();
    for (const auto& item : choices)
        cbCloseTabs->AddItem(item.caption, item.value);
    const auto chosen = FPrefsEditor->GetUserPrefIntegerValue("browser.tabs.closeButtons", 1);
    int index = 2;
    for (int i = 0; i < static_cast<int>(choices.size()); ++i)
        if (choices[i].value == chosen) index = i;
    cbCloseTabs->SetItemIndex(index);
    udeTabMinWidth->SetPosition(static_cast<int>(std::clamp<std::int64_t>(
        FPrefsEditor->GetUserPrefIntegerValue("browser.tabs.tabMinWidth", 125), 36, 500)));
    fillActiveTabColor();
    chkGoButton->SetChecked(
        !FPrefsEditor->GetUserPrefBooleanValue("browser.urlbar.hideGoButton", false));
    rbSideBarRight->SetChecked(CSSHasValue(kUserChrome, "hbox#browser", "direction", "rtl", false));
}

// The active tab's colour: the first "rgb(R,G,B)" of its rule, the default where none.
void TfrmMozillaFireFox::fillActiveTabColor() {
    std::vector<std::string> words;
    int r = kDefaultR, g = kDefaultG, b = kDefaultB;
    bool colored = false;
    if (CSSReadValues(kUserChrome, kActiveTab, "background-color", words)) {
        for (const auto& w : words) {
            auto at = lower(w).find("rgb(");
            if (at == std::string::npos) continue;
            std::size_t p = at + 4;
            r = ReadColorNumber(w, p);
            while (p < w.size() && std::isdigit(static_cast<unsigned char>(w[p])))
                ++p;
            g = ReadColorNumber(w, ++p);
            while (p < w.size() && std::isdigit(static_cast<unsigned char>(w[p])))
                ++p;
            b = ReadColorNumber(w, ++p);
            r = std::min(r, 255), g = std::min(g, 255), b = std::min(b, 255);
            colored = true;
            break;
        }
    }
    TabRValue = r, TabGValue = g, TabBValue = b;
    chkActiveTabColor->SetChecked(colored);
    shpActiveTabColor->Enabled = btnActiveTabColor->Enabled = colored;
    showColor(r, g, b);
}

// The settings every version has.
void TfrmMozillaFireFox::fillPreferences() {
    chkPipelining->SetChecked(
        FPrefsEditor->GetUserPrefBooleanValue("network.http.pipelining", false));
    chkDisableBlinkingText->SetChecked(
        !FPrefsEditor->GetUserPrefBooleanValue("browser.blink_allowed", true));
    chkUrlBarAutoFill->SetChecked(
        FPrefsEditor->GetUserPrefBooleanValue("browser.urlbar.autoFill", false));
    (FPrefsEditor->GetUserPrefBooleanValue("browser.xul.error_pages.enabled", true)
         ? rbErrorPageEnabled
         : rbErrorPageDisabled)
        ->SetChecked(true);
    const auto delay = FPrefsEditor->GetUserPrefIntegerValue(kSubmenuDelay, -1);
    if (delay == -1)
        rbShowSubMenuLikeWindows->SetChecked(true);
    else if (delay >= 60001)
        rbShowMenuOnClick->SetChecked(true);
    else {
        rbShowMenuAfterDelay->SetChecked(true);
        tbMenuShowDelay->SetPosition(static_cast<int>(std::max<std::int64_t>(delay, 0)));
    }
    rbShowMenuClick(*rbShowMenuAfterDelay);
    tbMenuShowDelayChange(*tbMenuShowDelay);
    chkDisableMarqueeText->SetChecked(
        CSSHasValue(kUserContent, "marquee", "-moz-binding", "none", false));
}

void TfrmMozillaFireFox::showNotInstalled() {
    tsNotInstalled->TabVisible = true;
    showColor(0, 0, 0);
    shpActiveTabColor->BrushColor = kSilver;
    std::vector<TControl*> all;
    std::function<void(TWinControl&)> walk = [&](TWinControl& w) {
        for (TControl* c : w.Controls()) {
            all.push_back(c);
            if (auto* inner = dynamic_cast<TWinControl*>(c)) walk(*inner);
        }
    };
    walk(*pcFireFox);
    for (TControl* c : all) {
        if (dynamic_cast<TCheckBox*>(c) || dynamic_cast<TRadioButton*>(c) ||
            dynamic_cast<TButton*>(c) || dynamic_cast<TTrackBar*>(c) ||
            dynamic_cast<TComboBox*>(c) || dynamic_cast<TUpDownEdit*>(c) ||
            dynamic_cast<TShape*>(c) || dynamic_cast<TListView*>(c))
            c->Enabled = false;
        if (dynamic_cast<TListView*>(c)) c->FontColor = 0x808080; // grey text
    }
    lblJumpToPrivacy->Enabled = false;
    lblNotInstalled->Visible = true;
}

// A control whose preference the installation locked cannot be changed here.
void TfrmMozillaFireFox::disableLocked() {
    const std::pair<const char*, std::vector<TControl*>> map[] = {
        {kOpenNewWindow, {chkBlockTargetNewWindow, rbOpenSameTab, rbOpenNewTab}},
        {"browser.blink_allowed", {chkDisableBlinkingText}},
        {"browser.xul.error_pages.enabled", {rbErrorPageEnabled, rbErrorPageDisabled}},
        {"browser.urlbar.autoFill", {chkUrlBarAutoFill}},
        {"browser.urlbar.hideGoButton", {chkGoButton}},
        {kSubmenuDelay,
         {rbShowSubMenuLikeWindows, rbShowMenuOnClick, rbShowMenuAfterDelay, tbMenuShowDelay}},
        {"network.http.pipelining", {chkPipelining}},
        {"network.http.proxy.pipelining", {chkPipelining}},
        {"network.http.pipelining.ssl", {chkPipelining}},
        {"network.http.pipelining.maxrequests", {chkPipelining}},
        {"browser.tabs.closeButtons", {cbCloseTabs}},
        {"browser.tabs.tabMinWidth", {udeTabMinWidth}},
    };
    for (const auto& [name, controls] : map) {
        std::string reason = FPrefsEditor->LockedReason(name);
        if (reason.empty()) continue;
        for (TControl* c : controls) {
            c->Enabled = false;
            c->Hint = reason;
        }
    }
    for (const auto& item : kJavaScriptItems) {
        std::string reason =
            FPrefsEditor->LockedReason(std::string(kWindowOpenFeature) + item.suffix);
        if (reason.empty()) continue;
        lvJavaScript->Enabled = false;
        lvJavaScript->Hint = reason;
    }
}

void TfrmMozillaFireFox::FormDestroy(TComponent&) {
    // A track bar position not yet written (the page closes while it has the focus).
    if (tbMenuShowDelay->Tag == 1) try {
            tbMenuShowDelayExit(*tbMenuShowDelay);
        } catch (const std::exception&) {
            // Reported by the message box already; a closing page cannot fail.
        }
    ProfilePaths.clear();
    FPrefsEditor.reset();
}

// ---- Preferences ----

// A write the host refused: the user sees why, and the action fails (a script stops at
// its line).
void TfrmMozillaFireFox::refuse(const std::exception& e) {
    Application().MessageBox(text::trf("Die Änderung wurde nicht gespeichert.\r\n\r\n%1", e.what()),
                             "Mozilla Firefox", MB_OK | MB_ICONERROR);
    throw DriverError(e.what());
}

void TfrmMozillaFireFox::savePrefs() {
    try {
        FPrefsEditor->Save();
    } catch (const RegistryAccessError& e) {
        if (filling()) return;
        refuse(e);
    }
}

void TfrmMozillaFireFox::SetPrefsJSBool(const std::string& name, bool value) {
    if (!FPrefsEditor || filling()) return;
    FPrefsEditor->SetUserPrefBooleanValue(name, value, true);
    savePrefs();
}

void TfrmMozillaFireFox::SetPrefsJSInt(const std::string& name, std::int64_t value) {
    if (!FPrefsEditor || filling()) return;
    FPrefsEditor->SetUserPrefIntegerValue(name, value, true);
    savePrefs();
}

void TfrmMozillaFireFox::DelPrefsJS(const std::string& name) {
    if (!FPrefsEditor || filling()) return;
    FPrefsEditor->DeleteUserPrefSetting(name);
    savePrefs();
}

// ---- Style sheets ----

std::string TfrmMozillaFireFox::sheetPath(const std::string& file) const {
    return ProfilePaths.empty() ? std::string() : ProfilePaths.front() + "chrome/" + file;
}

bool TfrmMozillaFireFox::CSSHasValue(const std::string& file, const std::string& selector,
                                     const std::string& property, const std::string& value,
                                     bool def) {
    std::vector<std::string> words;
    if (!CSSReadValues(file, selector, property, words)) return def;
    return std::any_of(words.begin(), words.end(),
                       [&](const std::string& w) { return equalsIgnoringCase(w, value); });
}

bool TfrmMozillaFireFox::CSSReadValues(const std::string& file, const std::string& selector,
                                       const std::string& property,
                                       std::vector<std::string>& words) {
    words.clear();
    const std::string path = sheetPath(file);
    if (path.empty()) return false;
    TJournalStream stream;
    stream.LoadFromFile(path); // missing or unreadable: an empty sheet
    TCSSParser parser;
    parser.LoadFromStream(stream);
    parser.GetCSSProperty(selector, property, words, "all");
    return !words.empty();
}

void TfrmMozillaFireFox::requireWritable() const {
    if (!refusal_.empty())
        throw RegistryAccessError(text::trf("%1 Es wurde nichts geändert.", refusal_));
    if (!ProfilePaths.empty()) RequireFirefoxClosed(ProfilePaths.front() + "prefs.js");
}

void TfrmMozillaFireFox::saveSheet(const std::string& path, const std::string& text) {
    try {
        writeSheet(path, text);
    } catch (const RegistryAccessError& e) {
        refuse(e);
    }
}

void TfrmMozillaFireFox::writeSheet(const std::string& path, const std::string& text) {
    requireWritable();
    const std::filesystem::path chrome = std::filesystem::path(path).parent_path();
    // A folder it makes is a journal row of its own, which undo removes again.
    CreateFolderJournalled(chrome.string());
    TJournalStream stream;
    stream.Data() = text;
    stream.SaveToFile(path);
    // From version 69 on, Firefox reads the profile's style sheets only when told to.
    if (major() >= 69 && FPrefsEditor &&
        !FPrefsEditor->GetUserPrefBooleanValue(kLegacyStyleSheets, false))
        SetPrefsJSBool(kLegacyStyleSheets, true);
}

void TfrmMozillaFireFox::CSSChangeValue(const std::string& file, const std::string& selector,
                                        const std::string& property, const std::string& value,
                                        bool remove) {
    if (filling()) return;
    const std::string path = sheetPath(file);
    if (path.empty()) return;
    TJournalStream stream;
    stream.LoadFromFile(path);
    TCSSParser parser;
    parser.LoadFromStream(stream);
    std::vector<std::string> words;
    parser.GetCSSProperty(selector, property, words, "all");
    auto it = std::find_if(words.begin(), words.end(),
                           [&](const std::string& w) { return equalsIgnoringCase(w, value); });
    if (remove) {
        if (it == words.end()) return;
        words.erase(it);
    } else {
        if (it != words.end()) return;
        words.push_back(value);
    }
    if (!parser.SetCSSProperty(selector, property, words, "all") && !parser.lastError().empty())
        refuse(RegistryAccessError(path + ": " + parser.lastError()));
    JournalSetFlag(64);
    parser.SaveToStream(stream);
    saveSheet(path, stream.Data());
}

void TfrmMozillaFireFox::CSSDeleteSelector(const std::string& file, const std::string& selector) {
    if (filling()) return;
    const std::string path = sheetPath(file);
    if (path.empty()) return;
    TJournalStream stream;
    if (!stream.LoadFromFile(path)) return; // no sheet, no rule to delete
    TCSSParser parser;
    parser.LoadFromStream(stream);
    parser.DeleteCSSSelector(selector, "all");
    JournalSetFlag(64);
    parser.SaveToStream(stream);
    saveSheet(path, stream.Data());
}

// ---- Allgemein ----

void TfrmMozillaFireFox::chkDisableBlinkingTextClick(TComponent&) {
    SetPrefsJSBool("browser.blink_allowed", !chkDisableBlinkingText->Checked());
}

void TfrmMozillaFireFox::chkDisableMarqueeTextClick(TComponent&) {
    if (chkDisableMarqueeText->Checked())
        CSSChangeValue(kUserContent, "marquee", "-moz-binding", "none", false);
    else
        CSSDeleteSelector(kUserContent, "marquee");
}

void TfrmMozillaFireFox::rbErrorPageDisabledClick(TComponent&) {
    SetPrefsJSBool("browser.xul.error_pages.enabled", false);
}

void TfrmMozillaFireFox::rbErrorPageEnabledClick(TComponent&) {
    SetPrefsJSBool("browser.xul.error_pages.enabled", true);
}

void TfrmMozillaFireFox::rbSideBarClick(TComponent&) {
    const bool newLayout = major() >= 2;
    const std::string outer = newLayout ? "hbox#browser" : "window > hbox";
    const std::string inner = newLayout ? "hbox#browser > vbox" : "window > hbox > *";
    if (rbSideBarRight->Checked()) {
        CSSChangeValue(kUserChrome, outer, "direction", "ltr", true);
        CSSChangeValue(kUserChrome, inner, "direction", "rtl", true);
        CSSChangeValue(kUserChrome, outer, "direction", "rtl", false);
        CSSChangeValue(kUserChrome, inner, "direction", "ltr", false);
    } else {
        CSSDeleteSelector(kUserChrome, outer);
        CSSDeleteSelector(kUserChrome, inner);
    }
}

void TfrmMozillaFireFox::btnViewDefaultClick(TComponent&) {
    setChecked(*chkDisableBlinkingText, false);
    setChecked(*chkDisableMarqueeText, false);
    setChecked(*rbErrorPageEnabled, true);
    setChecked(*rbSideBarLeft, true);
}

// ---- Bedienung ----

void TfrmMozillaFireFox::chkUrlBarAutoFillClick(TComponent&) {
    SetPrefsJSBool("browser.urlbar.autoFill", chkUrlBarAutoFill->Checked());
}

void TfrmMozillaFireFox::chkGoButtonClick(TComponent&) {
    SetPrefsJSBool("browser.urlbar.hideGoButton", !chkGoButton->Checked());
}

void TfrmMozillaFireFox::rbShowMenuClick(TComponent& sender) {
    const bool delay = rbShowMenuAfterDelay->Checked();
    tbMenuShowDelay->Enabled = delay;
    lblMenuShowDelay->Enabled = lblMenuShowDelay1->Enabled = lblMenuShowDelay2->Enabled = delay;
    auto* rb = dynamic_cast<TRadioButton*>(&sender);
    if (!rb || !rb->Checked()) return;
    if (rb == rbShowMenuOnClick)
        SetPrefsJSInt(kSubmenuDelay, 65000);
    else if (rb == rbShowMenuAfterDelay)
        SetPrefsJSInt(kSubmenuDelay, tbMenuShowDelay->Position());
    else
        DelPrefsJS(kSubmenuDelay);
}

void TfrmMozillaFireFox::tbMenuShowDelayChange(TComponent&) {
    lblMenuShowDelay->SetCaption(std::to_string(tbMenuShowDelay->Position()) + " ms");
    mark(*tbMenuShowDelay);
    JournalSetFlag(0);
}

void TfrmMozillaFireFox::tbMenuShowDelayExit(TComponent&) {
    if (tbMenuShowDelay->Tag != 1) return;
    tbMenuShowDelay->Tag = 0;
    if (rbShowMenuAfterDelay->Checked()) SetPrefsJSInt(kSubmenuDelay, tbMenuShowDelay->Position());
}

void TfrmMozillaFireFox::lblJumpToPrivacyClick(TComponent&) {
    MainAppFormShow(*this, "startmenu|Vistapane.bpl", 0);
}

void TfrmMozillaFireFox::btnDefUIClick(TComponent&) {
    setChecked(*chkUrlBarAutoFill, false);
    if (rbShowSubMenuLikeWindows->Enabled) {
        tbMenuShowDelay->SetPosition(217);
        tbMenuShowDelay->Tag = 0; // the radio below decides what is written
        rbShowSubMenuLikeWindows->SetChecked(true);
    }
    if (major() >= 2) {
        setChecked(*chkGoButton, true);
        if (chkGoButton->Enabled) SetPrefsJSBool("browser.urlbar.hideGoButton", false);
    }
}

// ---- Fenster ----

void TfrmMozillaFireFox::applyLinkRule() {
    const bool on = chkBlockTargetNewWindow->Checked();
    const bool locked = FPrefsEditor && !FPrefsEditor->LockedReason(kOpenNewWindow).empty();
    rbOpenSameTab->Enabled = rbOpenNewTab->Enabled = on && !locked;
    if (on)
        SetPrefsJSInt(kOpenNewWindow, rbOpenSameTab->Checked() ? 1 : 3);
    else if (major() < 2)
        DelPrefsJS(kOpenNewWindow);
    else
        SetPrefsJSInt(kOpenNewWindow, 2);
}

void TfrmMozillaFireFox::chkBlockTargetNewWindowClick(TComponent&) {
    applyLinkRule();
}

void TfrmMozillaFireFox::rbOpenTabClick(TComponent& sender) {
    auto* rb = dynamic_cast<TRadioButton*>(&sender);
    if (!rb || !rb->Checked()) return;
    SetPrefsJSInt(kOpenNewWindow, rb == rbOpenSameTab ? 1 : 3);
}

void TfrmMozillaFireFox::tsWindowsShow(TComponent&) {
    if (!firstShow(*tsWindows)) return;
    const JournalDiscarding discarding; // the list shows the preferences; showing writes nothing
    lvJavaScript->Clear();
    for (const auto& item : kJavaScriptItems) {
        TListItem& li = lvJavaScript->Add();
        li.Caption = javaScriptCaption(item.number);
        li.Data = item.number;
        const bool def = major() <= 2 ? item.defaultOld : item.defaultNew;
        li.SetChecked(!(FPrefsEditor ? FPrefsEditor->GetUserPrefBooleanValue(
                                           std::string(kWindowOpenFeature) + item.suffix, def)
                                     : def));
    }
}

void TfrmMozillaFireFox::lvJavaScriptChange(TComponent&, TListItem& item, TItemChange change) {
    if (change != TItemChange::ctState || !FPrefsEditor) return;
    if (item.Data < 1 || item.Data > 5) return;
    const auto& def = kJavaScriptItems[item.Data - 1];
    SetPrefsJSBool(std::string(kWindowOpenFeature) + def.suffix, !item.Checked());
}

void TfrmMozillaFireFox::btnPopUpDefaultClick(TComponent&) {
    if (major() < 2) {
        setChecked(*chkBlockTargetNewWindow, false);
    } else {
        setChecked(*chkBlockTargetNewWindow, true);
        setChecked(*rbOpenNewTab, true);
    }
    if (lvJavaScript->Enabled)
        for (int i = 0; i < lvJavaScript->Count(); ++i)
            lvJavaScript->Item(i).SetChecked(false);
}

// ---- Tabs ----

void TfrmMozillaFireFox::cbCloseTabsChange(TComponent&) {
    const int index = cbCloseTabs->ItemIndex();
    if (index < 0) return;
    SetPrefsJSInt("browser.tabs.closeButtons",
                  cbCloseTabs->Items[static_cast<std::size_t>(index)].data);
}

void TfrmMozillaFireFox::udeTabMinWidthChange(TComponent&) {
    SetPrefsJSInt("browser.tabs.tabMinWidth", udeTabMinWidth->GetPosition());
}

void TfrmMozillaFireFox::showColor(int r, int g, int b) {
    shpActiveTabColor->BrushColor = RGB2TColor(r, g, b);
}

void TfrmMozillaFireFox::writeColor(int r, int g, int b) {
    const std::string oldWord = ColorWord(TabRValue, TabGValue, TabBValue);
    const std::string newWord = ColorWord(r, g, b);
    if (CSSHasValue(kUserChrome, kActiveTab, "background-color", oldWord, false)) {
        CSSChangeValue(kUserChrome, kActiveTab, "background-color", oldWord, true);
        CSSChangeValue(kUserChrome, kActiveTab, "background-color", "!important", true);
    }
    CSSChangeValue(kUserChrome, kActiveTab, "background-color", newWord, false);
    CSSChangeValue(kUserChrome, kActiveTab, "background-color", "!important", false);
    CSSChangeValue(kUserChrome, kActiveTab, "color", "black", false);
    CSSChangeValue(kUserChrome, kActiveTab, "color", "!important", false);
    CSSChangeValue(kUserChrome, "tab", "-moz-appearance", "none", false);
    CSSChangeValue(kUserChrome, "tab", "-moz-appearance", "!important", false);
}

void TfrmMozillaFireFox::deleteColor() {
    const std::string oldWord = ColorWord(TabRValue, TabGValue, TabBValue);
    const std::tuple<const char*, const char*, std::string> words[] = {
        {kActiveTab, "background-color", oldWord},
        {kActiveTab, "background-color", "!important"},
        {kActiveTab, "color", "black"},
        {kActiveTab, "color", "!important"},
        {"tab", "-moz-appearance", "none"},
        {"tab", "-moz-appearance", "!important"},
    };
    for (const auto& [selector, property, word] : words)
        if (CSSHasValue(kUserChrome, selector, property, word, false))
            CSSChangeValue(kUserChrome, selector, property, word, true);
}

void TfrmMozillaFireFox::btnActiveTabColorClick(TComponent&) {
    DialogService* dialogs = Application().Dialogs();
    if (!dialogs) return;
    int r = 0, g = 0, b = 0;
    TColor2RGB(shpActiveTabColor->BrushColor, r, g, b);
    std::vector<Color> custom = {Color{r, g, b}}; // the custom colour "ColorA"
    auto picked = dialogs->chooseColor(Color{r, g, b}, custom);
    if (!picked) return;
    const int nr = std::clamp(picked->r, 0, 255), ng = std::clamp(picked->g, 0, 255),
              nb = std::clamp(picked->b, 0, 255);
    showColor(nr, ng, nb);
    writeColor(nr, ng, nb);
    TabRValue = nr, TabGValue = ng, TabBValue = nb;
}

void TfrmMozillaFireFox::chkActiveTabColorClick(TComponent&) {
    const bool on = chkActiveTabColor->Checked();
    shpActiveTabColor->Enabled = btnActiveTabColor->Enabled = on;
    if (on)
        writeColor(TabRValue, TabGValue, TabBValue);
    else
        deleteColor();
}

void TfrmMozillaFireFox::btnTabResetClick(TComponent&) {
    if (cbCloseTabs->Enabled) {
        SetPrefsJSInt("browser.tabs.closeButtons", 1);
        cbCloseTabs->SetItemIndex(2);
    }
    if (udeTabMinWidth->Enabled) {
        SetPrefsJSInt("browser.tabs.tabMinWidth", 125);
        const JournalDiscarding discarding; // written just above
        udeTabMinWidth->SetPosition(125);
    }
    deleteColor();
    {
        // The colour is gone already: unticking writes nothing more.
        const JournalDiscarding discarding;
        chkActiveTabColor->SetChecked(false);
    }
    shpActiveTabColor->Enabled = btnActiveTabColor->Enabled = false;
    TabRValue = kDefaultR, TabGValue = kDefaultG, TabBValue = kDefaultB;
    showColor(kDefaultR, kDefaultG, kDefaultB);
}

// ---- Leistung ----

void TfrmMozillaFireFox::chkPipeliningClick(TComponent&) {
    const bool on = chkPipelining->Checked();
    if (!filling() && !noWarning_ && on) {
        int answer = Application().MessageBox(
            text::tr(
                "Bitte beachten Sie, dass die Aktivierung dieser Option zu Problemen beim Laden "
                "von "
                "bestimmten Webseiten führen kann. Falls Probleme auftreten sollten, deaktivieren "
                "Sie "
                "diese Option einfach wieder.\r\n\r\nSoll die gewählte Option aktiviert werden?"),
            text::tr("Warnung"), MB_YESNO | MB_ICONWARNING);
        if (answer == IDNO) {
            // Unticking writes the "off" values, without asking, as one change with this one.
            noWarning_ = true;
            chkPipelining->SetChecked(false);
            noWarning_ = false;
            Application().ProcessMessages();
            return;
        }
    }
    if (!FPrefsEditor || filling()) return;
    FPrefsEditor->SetUserPrefBooleanValue("network.http.pipelining", on, true);
    FPrefsEditor->SetUserPrefBooleanValue("network.http.proxy.pipelining", on, true);
    FPrefsEditor->SetUserPrefBooleanValue("network.http.pipelining.ssl", on, true);
    FPrefsEditor->SetUserPrefIntegerValue("network.http.pipelining.maxrequests", on ? 8 : 4, true);
    savePrefs();
}

void TfrmMozillaFireFox::btnStartSpeedOptimizerClick(TComponent&) {
    if (ShellExecuteWrapper(CurAppDir() + "Velocitor.exe", "/performance", "", 1) <= 32)
        Application().MessageBox(text::tr("Das Programm \"Velocitor.exe\" wurde nicht gefunden."),
                                 "Mozilla Firefox", MB_OK | MB_ICONERROR);
}

void TfrmMozillaFireFox::btnPerformanceDefaultClick(TComponent&) {
    setChecked(*chkPipelining, false);
}

void TfrmMozillaFireFox::lblLinkMozillaOrgClick(TComponent&) {
    ShellExecuteWrapper(kProductPage, "", "", 1);
}

} // namespace ravelin::firefox
