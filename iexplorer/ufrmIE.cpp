#include "iexplorer/ufrmIE.h"

#include "host/Controlhelper.h"
#include "host/NXShellFuncs.h"
#include "host/Nxbrowser.h"
#include "host/Nxgraphics.h"
#include "host/Nxhelper.h"
#include "host/Nxregistry.h"
#include "host/Orvexwow64.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "iexplorer/ufrmIE7FrameMenu.h"
#include "iexplorer/ufrmIE7FrameSearchbar.h"
#include "iexplorer/ufrmIE7FrameStartpage.h"
#include "iexplorer/ufrmIEContextMenu.h"
#include "toolkit/Application.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

namespace ravelin::iexplorer {

using namespace toolkit;

TfrmIE* frmIE = nullptr;
TFileVersionIdentification IEVersion;
std::string LinksFolder;
std::string DefaultSourceViewer;
std::string NotepadSourceViewer;
TImageList* ilFavorites = nullptr;

namespace {

constexpr const char* kMain = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char* kToolbar = "Software\\Microsoft\\Internet Explorer\\Toolbar";
constexpr const char* kRestrictions =
    "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";
constexpr const char* kInfoDelivery =
    "Software\\Policies\\Microsoft\\Internet Explorer\\InfoDelivery\\Restrictions";
constexpr const char* kSearch = "SOFTWARE\\Microsoft\\Internet Explorer\\Search";
constexpr const char* kTabbedBrowsing = "Software\\Microsoft\\Internet Explorer\\TabbedBrowsing";
constexpr const char* kPoliciesExplorer =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kEditorName =
    "Software\\Microsoft\\Internet Explorer\\View Source Editor\\Editor Name";
constexpr const char* kInternetSettings =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kMenuOrderFavorites =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Favorites";
constexpr const char* kBrowserHomepage = "https://www.microsoft.com/windows/internet-explorer";

// The classic search bar's presets: item text, search-pane and customisation address.
struct SearchPreset {
    const char* text;
    const char* pane;
    const char* customize;
    bool searchAssistant;
};
constexpr const char* kMsnSearch = "http://ie.search.msn.com";
const SearchPreset kPresets[] = {
    {"Integrierte klassische Suche", "http://ie.search.msn.com/{SUB_RFC1766}/srchasst/srchasst.htm",
     "http://ie.search.msn.com/{SUB_RFC1766}/srchasst/srchcust.htm", false},
    {"Google", "http://www.google.com/ie?hl={SUB_RFC1766}",
     "http://www.google.com/preferences?hl={SUB_RFC1766}", false},
    {"MSN Suche (International)", "http://ie.search.msn.com/en-us/srchasst/srchasst.htm",
     "http://ie.search.msn.com/en-us/srchasst/srchcust.htm", false},
    {"Lycos", "http://www.lycos.com/search/msie40.html", "http://www.lycos.com/search/msie40.html",
     false},
    {"Yahoo!", "http://search.yahoo.com/search/ie.html",
     "http://search.yahoo.com/search/preferences?vl=lang_{SUB_RFC1766}&pref_done="
     "http%3A%2F%2Fsearch.yahoo.com%2Fsearch%2Fpreferences%3Fp%3D",
     false},
    {"Benutzerdefiniert", "", "", false},
    {"Integrierter Windows XP Suchassistent",
     "http://ie.search.msn.com/{SUB_RFC1766}/srchasst/srchasst.htm",
     "http://ie.search.msn.com/{SUB_RFC1766}/srchasst/srchcust.htm", true},
};
constexpr int kCustomPreset = 5;
constexpr int kXPAssistant = 6;

// A preset's caption in the language shown; the names of search engines stay as they are.
std::string presetCaption(int preset) {
    switch (preset) {
    case 0:
        return text::tr("Integrierte klassische Suche");
    case 2:
        return text::tr("MSN Suche (International)");
    case kCustomPreset:
        return text::tr("Benutzerdefiniert");
    case kXPAssistant:
        return text::tr("Integrierter Windows XP Suchassistent");
    default:
        return kPresets[preset].text;
    }
}

int major() {
    return IEVersion.Major;
}

std::string defaultWindowTitle() {
    return CurrentOS() < 7 ? "Microsoft Internet Explorer" : "Windows Internet Explorer";
}

std::string withBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path.push_back('\\');
    return path;
}

// The last component of a Windows path ("C:\a\b\" gives "b").
std::string lastComponent(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    auto p = path.rfind('\\');
    return p == std::string::npos ? path : path.substr(p + 1);
}

// The folder part of a Windows path, with its trailing backslash ("C:\a\b" gives "C:\a\").
std::string parentFolder(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    auto p = path.rfind('\\');
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

using text::equalsIgnoringCase;

// Deletes "Order" in the key and in every key below it.
void deleteOrderValues(const std::string& key) {
    DeleteRegValue(HKEY_CURRENT_USER, key, "Order", {});
    std::string name;
    for (int i = 0; EnumRegKeys(HKEY_CURRENT_USER, key, i, name, {}) == ERROR_SUCCESS; ++i)
        deleteOrderValues(key + "\\" + name);
}

} // namespace

TfrmIE::TfrmIE(TComponent* owner) : PageBase(owner) {
    loadForm();
    frmIE = this;
    Fire(OnCreate);
}

TfrmIE::~TfrmIE() {
    BeforeDestruction(); // FormDestroy uses the page's own members
    if (frmIE == this) frmIE = nullptr;
    if (ilFavorites && ilFavorites->Owner() == this) ilFavorites = nullptr;
    IE7FrameSearchbar = nullptr;
    IE7FrameMenu = nullptr;
    IE7FrameStartpage = nullptr;
}

// Places the visible groups of a sheet one below the other, the defaults button staying
// at the bottom.
void TfrmIE::stack(TWinControl& sheet, int top) {
    std::vector<TControl*> groups;
    for (TControl* c : sheet.Controls())
        if (c->Visible && (dynamic_cast<TGroupBox*>(c) || dynamic_cast<TFrame*>(c)))
            groups.push_back(c);
    std::stable_sort(groups.begin(), groups.end(),
                     [](TControl* a, TControl* b) { return a->Top < b->Top; });
    for (TControl* g : groups) {
        g->Top = top;
        top += g->Height + 8;
    }
}

void TfrmIE::FormCreate(TComponent&) {
    IEVersion = GetIEVersion();
    userAgent_ = std::make_unique<TNXUserAgent>(false, true);

    LoadGraphic(15000, *imgMediaBar, 17);
    LoadGraphic(15001, *imgSearchBar, 17);
    LoadGraphic(15002, *imgAutoComplete, 17);
    LoadGraphic(15003, *imgWindowTitle, 17);
    LoadGraphic(15004, *imgBackBitmap, 17);
    LoadGraphic(15005, *imgPicToolbar, 17);
    LoadGraphic(15006, *imgFavorites, 17);
    LoadGraphic(15007, *imgSourceViewer, 17);
    LoadGraphic(15008, *imgContextMenu, 17);
    LoadGraphic(15009, *imgUserAgent, 17);
    LoadGraphic(15013, *imgDownloadPrompt, 17);
    LoadGraphic(15014, *imgManualSettings, 17);
    LoadGraphic(15015, *imgSpeedOptimizer, 17);
    ilFavorites = &Create<TImageList>();
    ilFavorites->Name = "ilFavorites";
    ilFavorites->Width = ilFavorites->Height = 16;
    for (int picture : {15010, 15011, 15012})
        AddSmallIconToIL(*ilFavorites, FileNameByID(picture, 17));
    tvFavorites->Images = ilFavorites;

    LinksFolder = withBackslash(GetFolderLocStr(6)) +
                  GetRegStringValueDef(HKEY_CURRENT_USER, kToolbar, "LinksFolderName", "Links");

    if (major() >= 8) {
        DefaultSourceViewer.clear();
        NotepadSourceViewer = withBackslash(GetSysDir()) + "notepad.exe";
        Label14->Visible = false;
        rbDefaultViewer->Top -= 18;
        rbSourceViewer->Top -= 18;
        txtSourceViewer->Top -= 18;
        btnSourceViewer->Top -= 18;
        gbSourceViewer->Height -= 18;
        gbSearchProviderIE8->Visible = true;
        LoadGraphic(15019, *imgSearchProviderIE8, 17);
        gbAutoComplete->Top = gbSearchProviderIE8->Top + gbSearchProviderIE8->Height + 10;
    } else {
        DefaultSourceViewer = withBackslash(GetWinDir()) + "Notepad.exe";
        NotepadSourceViewer = DefaultSourceViewer;
        rbDefaultViewer->Visible = false;
        rbSourceViewer->Visible = false;
        txtSourceViewer->Left = rbDefaultViewer->Left;
        txtSourceViewer->Top = rbDefaultViewer->Top;
        txtSourceViewer->Width = btnSourceViewer->Left - 6 - txtSourceViewer->Left;
        btnSourceViewer->Top = txtSourceViewer->Top - 2;
        gbSourceViewer->Height -= 40;
    }

    if (!IE5Installed()) {
        gbWindowTitle->Visible = false;
        gbBackBitmap->Top = gbWindowTitle->Top;
        gbSourceViewer->Visible = false;
    }
    // The address bar's settings are a dialog of a module this host does not have: the
    // group, which holds nothing else, is not offered.
    gbAutoComplete->Visible = false;
    gbFileMenu->Visible = IE5Installed();
    gbPicToolbar->Visible = IE6Installed();
    gbDownloadPrompt->Visible = IE5Installed();

    // Fields follow their labels.
    for (auto [label, field] :
         {std::pair<TLabel*, TControl*>{lblAgentApplication, edtAgentApplication},
          {lblAgentVersion, edtAgentVersion},
          {lblAgentPlatform, edtAgentPlatform},
          {lblMaxHTTP1, udeMaxHTTP1},
          {lblMaxHTTP11, udeMaxHTTP11}}) {
        label->SetCaption(label->Caption);
        const int right = field->Left + field->Width;
        field->Left = std::max(field->Left, label->Left + label->Width + 7);
        if (dynamic_cast<TEdit*>(field)) field->Width = right - field->Left;
    }

    fillFavorites();
    cmdHideFavoriteFolder->Caption = text::tr("Ausblenden");
    if (!tvFavorites->Roots().empty()) tvFavorites->SetSelected(tvFavorites->Roots().front().get());
    tvFavoritesClick(*tvFavorites);

    notInstalled_ = !IEInstalled() && major() == 0;
    IE7ShowPanelsByIEVersion();

    stack(*tsExplorerBars, 10);
    stack(*tsView, 10);
    stack(*tsMenu, 10);
    if (notInstalled_) {
        EnableComponents(false, *this);
        LoadGraphic(15020, *imgNotInstalled, 17);
        LoadGraphic(15021, *imgNotInstalledLink, 17);
        tsNotInstalled->TabVisible = true;
    } else {
        tsNotInstalled->TabVisible = false;
    }
    ActivateFirstVisiblePage(*PageControl1);
}

void TfrmIE::placeFrame(TFrame& frame, TGroupBox& inner, TWinControl& sheet, int left, int top) {
    frame.SetParent(&sheet);
    frame.Left = left;
    frame.Top = top;
    inner.Left = 0;
    inner.Top = 0;
    frame.Width = inner.Width + TApplication::GetSystemMetrics(SM_CXHSCROLL) -
                  2 * TApplication::GetSystemMetrics(SM_CXEDGE);
    frame.Height = inner.Height + TApplication::GetSystemMetrics(SM_CYHSCROLL) -
                   2 * TApplication::GetSystemMetrics(SM_CYEDGE) - 5;
    frame.Visible = true;
    if (notInstalled_) EnableComponents(false, frame);
}

void TfrmIE::IE7ShowPanelsByIEVersion() {
    tsNavigation->TabVisible = major() >= 7;
    if (!tsNavigation->TabVisible) return;
    const JournalDiscarding discarding;
    for (TGroupBox* g : {GroupBox8, GroupBox2, gbFileMenu, gbBackBitmap, gbPicToolbar})
        g->Visible = false;

    if (major() < 8) {
        auto& frame = Create<TIE7FrameSearchbar>();
        IE7FrameSearchbar = &frame;
        placeFrame(frame, *frame.gbSearchbar, *tsExplorerBars, 12, 10);
        LoadGraphic(15016, *frame.imgSearchbar, 17);
        frame.IE7InitialRegistryCheckForSearchscopes();
        frame.ListRefresh();
        if (notInstalled_) EnableComponents(false, frame);
    }
    {
        auto& frame = Create<TIE7FrameMenu>();
        IE7FrameMenu = &frame;
        // As wide as the groups below it on the tab.
        frame.gbMenuBar->Width = gbContextMenu->Width;
        frame.gbMenuBar->Height = 103;
        placeFrame(frame, *frame.gbMenuBar, *tsMenu, 12, 10);
        LoadGraphic(15017, *frame.imgMenuBar, 17);
        frame.InitializeFrame();
    }
    {
        auto& frame = Create<TIE7FrameStartpage>();
        IE7FrameStartpage = &frame;
        placeFrame(frame, *frame.gbStartpage, *tsNavigation, 12, 173);
        LoadGraphic(15018, *frame.imgStartpage, 17);
        frame.GetStartpageSettingFromRegistry();
    }
    moveFavoritesToView();
}

void TfrmIE::moveFavoritesToView() {
    gbFavorites->Left = gbBackBitmap->Left;
    gbFavorites->Top = gbBackBitmap->Top;
    gbFavorites->Width = gbBackBitmap->Width;
    gbFavorites->Height = btnViewDefault->Top - 10 - gbFavorites->Top;
    const int inner = gbFavorites->Width - 12;
    imgFavorites->SetParent(gbFavorites);
    imgFavorites->Left = 12;
    imgFavorites->Top = 18;
    Label1->SetParent(gbFavorites);
    Label1->Left = 56;
    Label1->Top = 22; // clear of the group's frame, level with the other groups' first rows
    Label21->SetParent(gbFavorites);
    Label21->Left = 56;
    Label21->Top = 40;
    cmdHideFavoriteFolder->SetParent(gbFavorites);
    btnResortFavorites->SetParent(gbFavorites);
    cmdHideFavoriteFolder->Top = btnResortFavorites->Top = gbFavorites->Height - 8 - 25;
    cmdHideFavoriteFolder->Left = 56;
    btnResortFavorites->Left = cmdHideFavoriteFolder->Left + cmdHideFavoriteFolder->Width + 5;
    tvFavorites->SetParent(gbFavorites);
    tvFavorites->Left = 56;
    tvFavorites->Top = 60;
    tvFavorites->Width = inner - 56;
    tvFavorites->Height = cmdHideFavoriteFolder->Top - 5 - tvFavorites->Top;
    gbFavorites->Visible = true;
    tsFavorites->TabVisible = false;
}

void TfrmIE::FormDestroy(TComponent&) {
    // An edit whose focus never left has not been written yet: write it now rather than
    // lose it with the page.
    if (gbUserAgentNew->Tag == 1) {
        if (TWinControl* active = ActiveControl()) UserAgentExit(*active);
    }
    if (txtWindowTitle->Tag == 1) txtWindowTitleExit(*txtWindowTitle);
    if (gbBackBitmap->Tag == 1) gbBackBitmapExit(*gbBackBitmap);
    if (tbPicToolbar->Tag == 1) tbPicToolbarExit(*tbPicToolbar);
    if (gbSourceViewer->Tag == 1) gbSourceViewerExit(*gbSourceViewer);
    if (gbManualSettings->Tag == 1) gbManualSettingsExit(*gbManualSettings);
    userAgent_.reset();
    tvFavorites->Clear();
    for (TFrame* frame :
         {static_cast<TFrame*>(IE7FrameSearchbar), static_cast<TFrame*>(IE7FrameMenu),
          static_cast<TFrame*>(IE7FrameStartpage)})
        if (frame) frame->Visible = false;
}

void TfrmIE::lblGetIEClick(TComponent&) {
    OpenWebsite(kBrowserHomepage);
}

// ---- Explorer-Leisten ----

void TfrmIE::tsExplorerBarsShow(TComponent&) {
    if (!firstShow(*tsExplorerBars)) return;
    const JournalDiscarding discarding;
    if (GroupBox8->Visible)
        chkShowMediaBar->SetChecked(
            !GetRegSetting(HKEY_CURRENT_USER, kRestrictions, "No_LaunchMediaBar", false, {}));
    if (GroupBox2->Visible) {
        const std::string assistant =
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, kSearch, "SearchAssistant", "", {});
        if (cbSearchBar->Items.empty())
            for (int preset = 0; preset <= (CurrentOS() >= 6 ? kXPAssistant : kCustomPreset);
                 ++preset)
                cbSearchBar->AddItem(presetCaption(preset), preset);
        auto selectPreset = [this](int preset) {
            cbSearchBar->SetItemIndex(-1);
            for (std::size_t i = 0; i < cbSearchBar->Items.size(); ++i)
                if (cbSearchBar->Items[i].data == preset)
                    cbSearchBar->SetItemIndex(static_cast<int>(i));
        };
        txtSearchAddress->SetText(assistant);
        int match = -1;
        for (int preset : {2, 1, 0, 3, 4})
            if (assistant == kPresets[preset].pane) {
                match = preset;
                break;
            }
        auto useAssistant = [] {
            return GetRegStringValueDef(HKEY_CURRENT_USER, kMain, "Use Search Asst", "no", {}) ==
                   "yes";
        };
        if (match < 0) {
            if (!useAssistant()) {
                selectPreset(kCustomPreset);
                txtSearchAddress->SetText(assistant);
            } else {
                selectPreset(kXPAssistant);
            }
        } else {
            selectPreset(match);
        }
        if (useAssistant()) selectPreset(kXPAssistant);
        cbSearchBarChange(*cbSearchBar);
    }
    if (gbFileMenu->Visible) {
        LoadGraphic(15022, *imgFileMenu, 17);
        if (GetRegSetting(HKEY_CURRENT_USER, kPoliciesExplorer, "NoExpandedNewMenu", false, {}))
            optNewNoMenu->SetChecked(true);
        else
            optNewMenu->SetChecked(true);
    }
    if (gbSourceViewer->Visible) readSourceViewer();
    if (gbSearchProviderIE8->Visible) {
        cbIE8DisplaySearchBox->SetChecked(
            !GetRegSetting(HKEY_CURRENT_USER, kInfoDelivery, "NoSearchBox", false, {2}));
        btnSearchProviderSettings->Enabled = cbIE8DisplaySearchBox->Checked() && !notInstalled_;
    }
}

void TfrmIE::chkShowMediaBarClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kRestrictions, "No_LaunchMediaBar",
                     chkShowMediaBar->Checked() ? 0 : 1, {});
}

void TfrmIE::cbIE8DisplaySearchBoxClick(TComponent&) {
    btnSearchProviderSettings->Enabled = cbIE8DisplaySearchBox->Checked();
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kInfoDelivery, "NoSearchBox",
                     cbIE8DisplaySearchBox->Checked() ? 0 : 1, {2});
}

// The add-on manager belongs to the browser, which the machines here never run.
void TfrmIE::btnSearchProviderSettingsClick(TComponent&) {
    Application().MessageBox(
        text::tr("Die Verwaltung der Suchanbieter gehört zum Internet Explorer und "
                 "steht auf diesem Computer nicht zur Verfügung."),
        text::tr("Suchanbieter"), MB_OK | MB_ICONINFORMATION);
}

void TfrmIE::writeSearchPreset() {
    const int i = cbSearchBar->ItemIndex();
    if (i < 0) return;
    const auto& p = kPresets[cbSearchBar->Items[static_cast<std::size_t>(i)].data];
    SetRegStringValue(HKEY_CURRENT_USER, kMain, "Use Search Asst", p.searchAssistant ? "yes" : "no",
                      {});
    SetRegStringValue(HKEY_CURRENT_USER, kMain, "Use Custom Search URL",
                      p.searchAssistant ? "no" : "yes", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kSearch, "CustomizeSearch", p.customize, {});
    SetRegStringValue(HKEY_CURRENT_USER, kMain, "Search Bar", p.pane, {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kSearch, "SearchAssistant", p.pane, {});
}

void TfrmIE::cbSearchBarChange(TComponent&) {
    const int i = cbSearchBar->ItemIndex();
    if (major() >= 7 || i < 0) return;
    const bool custom = cbSearchBar->Items[static_cast<std::size_t>(i)].data == kCustomPreset;
    if (!custom) {
        if (!filling()) writeSearchPreset(); // showing the stored preset rewrites nothing
        txtSearchAddress->SetText(
            kPresets[cbSearchBar->Items[static_cast<std::size_t>(i)].data].pane);
    }
    txtSearchAddress->ReadOnly = !custom;
    SetControlStatus(*lblAddress, custom, "");
}

void TfrmIE::txtSearchAddressExit(TComponent&) {
    // Only an address the user can edit is written; a preset's address was written with
    // the preset.
    if (txtSearchAddress->ReadOnly) return;
    const std::string text = txtSearchAddress->Text();
    SetRegStringValue(HKEY_CURRENT_USER, kMain, "Search Bar", text, {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kSearch, "CustomizeSearch", text, {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kSearch, "SearchAssistant", text, {});
}

void TfrmIE::btnAdressBarSettingsClick(TComponent&) {
    // Not offered (its group is hidden): the dialog belongs to a module this host lacks.
}

void TfrmIE::btnUsabilityDefaultClick(TComponent&) {
    if (major() < 7) {
        if (GroupBox8->Visible) chkShowMediaBar->SetChecked(true);
        if (GroupBox2->Visible) {
            DeleteRegValue(HKEY_CURRENT_USER, kMain, "Search Bar", {});
            for (std::size_t i = 0; i < cbSearchBar->Items.size(); ++i) {
                const auto preset = cbSearchBar->Items[i].data;
                if (preset == 0 || (preset == kXPAssistant && CurrentOS() == 6))
                    cbSearchBar->SetItemIndex(static_cast<int>(i));
            }
            cbSearchBarChange(*cbSearchBar);
        }
    } else if (major() == 7) {
        if (IE7FrameSearchbar) IE7FrameSearchbar->ResetIE7Settings();
    } else {
        cbIE8DisplaySearchBox->SetChecked(true);
    }
}

// ---- Ansicht ----

void TfrmIE::tsViewShow(TComponent&) {
    if (!firstShow(*tsView)) return;
    const JournalDiscarding discarding;
    if (gbWindowTitle->Visible)
        txtWindowTitle->SetText(GetRegStringValueDef(HKEY_CURRENT_USER, kMain, "Window Title",
                                                     defaultWindowTitle(), {}));
    if (gbBackBitmap->Visible) {
        const std::string bitmap =
            GetRegStringValueDef(HKEY_CURRENT_USER, kToolbar, "BackBitmap", "", {});
        chkBackBitmap->SetChecked(!bitmap.empty());
        txtBackBitmap->SetText(bitmap);
        chkBackBitmapClick(*chkBackBitmap);
    }
    if (gbPicToolbar->Visible) {
        chkPicToolbar->SetChecked(
            GetRegSetting(HKEY_CURRENT_USER, kMain, "Enable_MyPics_Hoverbar", true, {}));
        chkPicToolbarClick(*chkPicToolbar);
        int size = 200;
        GetRegIntValue(HKEY_CURRENT_USER, kMain, "Image_Filter", size, 200, {});
        if (size < tbPicToolbar->Min || size > tbPicToolbar->Max) size = 200;
        tbPicToolbar->SetPosition(size);
        tbPicToolbarChange(*tbPicToolbar);
    }
}

void TfrmIE::txtWindowTitleChange(TComponent&) {
    if (filling()) return;
    txtWindowTitle->Tag = 1;
    JournalSetFlag(0);
}

void TfrmIE::txtWindowTitleExit(TComponent&) {
    if (txtWindowTitle->Tag != 1) return;
    txtWindowTitle->Tag = 0;
    SetRegStringValue(HKEY_CURRENT_USER, kMain, "Window Title", txtWindowTitle->Text(), {});
}

void TfrmIE::chkBackBitmapClick(TComponent&) {
    const bool on = chkBackBitmap->Checked() && chkBackBitmap->Enabled;
    SetControlStatus(*lblBackBitmap, on, "");
    SetControlStatus(*txtBackBitmap, on, "");
    SetControlStatus(*btnBackBitmap, on, "");
    if (filling()) return;
    gbBackBitmap->Tag = 1;
    JournalSetFlag(0);
}

void TfrmIE::txtBackBitmapChange(TComponent&) {
    if (filling()) return;
    gbBackBitmap->Tag = 1;
    JournalSetFlag(0);
}

void TfrmIE::gbBackBitmapExit(TComponent&) {
    if (gbBackBitmap->Tag != 1) return;
    if (txtBackBitmap->Text().empty()) chkBackBitmap->SetChecked(false);
    gbBackBitmap->Tag = 0;
    if (chkBackBitmap->Checked())
        SetRegStringValue(HKEY_CURRENT_USER, kToolbar, "BackBitmap", txtBackBitmap->Text(), {});
    else
        DeleteRegValue(HKEY_CURRENT_USER, kToolbar, "BackBitmap", {});
}

// A file the user picked, as the machine's Windows path; "" (after a message) when it
// lies outside the machine's drive.
bool TfrmIE::warnIfMachineless(const std::string& path) {
    if (!path.empty()) return false;
    Application().MessageBox(
        text::tr("Die gewählte Datei liegt nicht auf dem Laufwerk C: dieses Computers."),
        text::tr("Datei wählen"), MB_OK | MB_ICONWARNING);
    return true;
}

namespace {

std::optional<std::string> pickFile(const std::string& title, const std::string& filter,
                                    const std::string& current) {
    FileDialogRequest request;
    request.title = title;
    request.filter = filter;
    request.fileMustExist = true;
    if (auto* m = CurrentMachine(); m && !current.empty()) {
        std::string folder = m->files().hostPath(parentFolder(current));
        if (!folder.empty()) request.initialFolder = folder;
    }
    auto* dialogs = TApplication::Instance().Dialogs();
    if (!dialogs) return std::nullopt;
    auto chosen = dialogs->openFile(request);
    if (!chosen || chosen->empty()) return std::nullopt;
    if ((*chosen)[0] == '/') {
        auto* m = CurrentMachine();
        return m ? m->files().windowsPath(*chosen) : std::string();
    }
    return chosen;
}

} // namespace

void TfrmIE::btnBackBitmapClick(TComponent&) {
    auto file = pickFile(text::tr("Hintergrundbild wählen"), text::tr("Bitmaps (*.bmp)|*.bmp"),
                         txtBackBitmap->Text());
    if (!file || warnIfMachineless(*file)) return;
    txtBackBitmap->SetText(*file);
}

void TfrmIE::chkPicToolbarClick(TComponent&) {
    if (!filling())
        SetRegStringValue(HKEY_CURRENT_USER, kMain, "Enable_MyPics_Hoverbar",
                          chkPicToolbar->Checked() ? "yes" : "no", {});
    const bool on = chkPicToolbar->Checked() && chkPicToolbar->Enabled;
    for (TControl* c :
         {static_cast<TControl*>(tbPicToolbar), static_cast<TControl*>(lblPicToolbar),
          static_cast<TControl*>(lblPicToolbarMinSize), static_cast<TControl*>(lblPicToolbarSmall),
          static_cast<TControl*>(lblPicToolbarLarge)})
        SetControlStatus(*c, on, "");
}

void TfrmIE::tbPicToolbarChange(TComponent&) {
    const std::string size = std::to_string(tbPicToolbar->Position());
    lblPicToolbarMinSize->SetCaption(text::trf("%1 x %2 Pixel", size, size));
    if (filling()) return;
    tbPicToolbar->Tag = 1;
    JournalSetFlag(0);
}

void TfrmIE::tbPicToolbarExit(TComponent&) {
    if (tbPicToolbar->Tag != 1) return;
    tbPicToolbar->Tag = 0;
    SetRegDWORDValue(HKEY_CURRENT_USER, kMain, "Image_Filter",
                     static_cast<DWORD>(tbPicToolbar->Position()), {});
}

void TfrmIE::btnViewDefaultClick(TComponent&) {
    if (gbWindowTitle->Visible) {
        txtWindowTitle->SetText(defaultWindowTitle());
        txtWindowTitleExit(*txtWindowTitle);
    }
    if (gbBackBitmap->Visible) {
        chkBackBitmap->SetChecked(false);
        gbBackBitmapExit(*gbBackBitmap);
    }
    if (gbPicToolbar->Visible) {
        chkPicToolbar->SetChecked(true);
        tbPicToolbar->SetPosition(200);
        tbPicToolbar->Tag = 0;
        SetRegDWORDValue(HKEY_CURRENT_USER, kMain, "Image_Filter", 200, {});
    }
}

// ---- Favoriten ----

void TfrmIE::fillFavorites() {
    tvFavorites->Clear();
    const std::string favorites = GetFolderLocStr(6);
    auto* m = CurrentMachine();
    if (favorites.empty() || !m) return;
    const std::string host = m->files().hostPath(favorites);
    if (host.empty() || !m->files().dirExists(host)) return;
    TTreeNode& root = tvFavorites->AddRoot(lastComponent(module::ShellLongPathName(favorites)));
    root.Object = std::make_shared<std::string>(lastComponent(favorites));
    root.ImageIndex = root.SelectedIndex = 2;
    std::function<void(TTreeNode&, const std::string&)> addFolders = [&](TTreeNode& parent,
                                                                         const std::string& dir) {
        std::vector<std::string> names;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code typeError;
            // Links are not followed: a folder outside the machine is not a favourite.
            if (it->is_symlink(typeError) || !it->is_directory(typeError)) continue;
            names.push_back(it->path().filename().string());
        }
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return AnsiCompareText(a, b) < 0;
        });
        for (const auto& name : names) {
            TTreeNode& node = parent.AddChild(name);
            const std::string path = dir + "/" + name;
            node.ImageIndex = node.SelectedIndex = m->files().isHidden(path) ? 1 : 0;
            addFolders(node, path);
            node.Expanded = true;
        }
    };
    addFolders(root, host);
    root.Expanded = true;
}

namespace {

// The folder of a node on disk: the node names joined below the Favourites folder's host
// path, as they were read from the disk. Never made from the Windows path, where a Linux
// name holding a backslash would read as two folders.
std::string favoriteFolderHostPath(const TTreeNode& node) {
    auto* m = CurrentMachine();
    if (!m) return {};
    std::string rest;
    const TTreeNode* n = &node;
    for (; n->Parent(); n = n->Parent())
        rest = "/" + n->Text + rest;
    const std::string root = m->files().hostPath(GetFolderLocStr(6));
    return root.empty() ? std::string() : root + rest;
}

} // namespace

std::string TfrmIE::FavoriteFolderPath(const TTreeNode& node) const {
    std::string path;
    for (const TTreeNode* n = &node; n; n = n->Parent()) {
        auto name = std::static_pointer_cast<std::string>(n->Object);
        path = (name ? *name : n->Text) + "\\" + path;
    }
    path = parentFolder(GetFolderLocStr(6)) + path;
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

void TfrmIE::tvFavoritesClick(TComponent&) {
    TTreeNode* node = tvFavorites->Selected();
    if (!node) return;
    cmdHideFavoriteFolder->Enabled = node->ImageIndex != 2 && !notInstalled_;
    if (node->ImageIndex == 1)
        cmdHideFavoriteFolder->Caption = text::tr("Einblenden");
    else if (node->ImageIndex == 0)
        cmdHideFavoriteFolder->Caption = text::tr("Ausblenden");
}

void TfrmIE::cmdHideFavoriteFolderClick(TComponent&) {
    TTreeNode* node = tvFavorites->Selected();
    auto* m = CurrentMachine();
    if (!node || !m || node->ImageIndex == 2) return;
    const bool hide = cmdHideFavoriteFolder->Caption == text::tr("Ausblenden");
    if (!hide && cmdHideFavoriteFolder->Caption != text::tr("Einblenden")) return;
    const std::string path = FavoriteFolderPath(*node);
    const std::string host = favoriteFolderHostPath(*node);
    try {
        if (host.empty() || !m->files().dirExists(host))
            throw RegistryAccessError(text::trf("%1: der Ordner existiert nicht mehr", path));
        SetHiddenJournalled(host, hide); // journalled, planned only in a dry run
    } catch (const std::exception& e) {
        // The node, its picture and the button stay as they were.
        Application().MessageBox(
            hide ? text::trf("Der Ordner konnte nicht ausgeblendet werden.\n\n%1", e.what())
                 : text::trf("Der Ordner konnte nicht eingeblendet werden.\n\n%1", e.what()),
            text::tr("Favoriten"), MB_OK | MB_ICONERROR);
        return;
    }
    node->ImageIndex = node->SelectedIndex = hide ? 1 : 0;
    cmdHideFavoriteFolder->Caption = hide ? text::tr("Einblenden") : text::tr("Ausblenden");
}

void TfrmIE::btnResortFavoritesClick(TComponent&) {
    // The deleted sort orders are one transaction of their own, so that one undo brings
    // the user's order back.
    JournalTransaction transaction(text::tr("Favoriten sortieren"));
    deleteOrderValues(kMenuOrderFavorites);
    transaction.close();
    // No shell runs on the machines edited here, so there is nobody to tell that the
    // order changed; the browser reads it afresh when it starts.
    Application().MessageBox(
        text::tr("Die Favoriten wurden alphabetisch sortiert. Sie müssen eventuell den "
                 "Internet Explorer neu starten, um den Effekt zu sehen."),
        text::tr("Favoriten wurden sortiert"), MB_OK | MB_ICONINFORMATION);
}

// ---- Menü ----

void TfrmIE::optNewMenuClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kPoliciesExplorer, "NoExpandedNewMenu", 0, {});
}

void TfrmIE::optNewNoMenuClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kPoliciesExplorer, "NoExpandedNewMenu", 1, {});
}

void TfrmIE::readSourceViewer() {
    if (major() < 8) {
        txtSourceViewer->SetText(
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, kEditorName, "", DefaultSourceViewer, {}));
        return;
    }
    std::string viewer = GetRegStringValueDef(HKEY_CURRENT_USER, kEditorName, "", "", {});
    if (viewer.empty()) viewer = GetRegStringValueDef(HKEY_LOCAL_MACHINE, kEditorName, "", "", {});
    if (!viewer.empty()) {
        txtSourceViewer->SetText(viewer);
        rbSourceViewer->SetChecked(true);
    } else {
        txtSourceViewer->SetText(NotepadSourceViewer);
        rbDefaultViewer->SetChecked(true);
    }
}

void TfrmIE::rbSourceViewerClick(TComponent&) {
    if (filling()) return;
    gbSourceViewer->Tag = 1;
    JournalSetFlag(0);
}

void TfrmIE::txtSourceViewerChange(TComponent&) {
    if (filling()) return;
    gbSourceViewer->Tag = 1;
    JournalSetFlag(0);
}

void TfrmIE::gbSourceViewerExit(TComponent&) {
    if (gbSourceViewer->Tag != 1) return;
    gbSourceViewer->Tag = 0;
    if (major() < 8) {
        if (txtSourceViewer->Text().empty()) txtSourceViewer->SetText(DefaultSourceViewer);
        gbSourceViewer->Tag = 0;
        if (txtSourceViewer->Text() != DefaultSourceViewer)
            SetRegStringValue(HKEY_LOCAL_MACHINE, kEditorName, "", txtSourceViewer->Text(), {});
        else
            DeleteRegKey(HKEY_LOCAL_MACHINE, kEditorName, {});
        return;
    }
    if (txtSourceViewer->Text().empty()) {
        txtSourceViewer->SetText(NotepadSourceViewer);
        rbDefaultViewer->SetChecked(true);
    }
    gbSourceViewer->Tag = 0;
    if (rbSourceViewer->Checked()) {
        if (equalsIgnoringCase(txtSourceViewer->Text(), NotepadSourceViewer))
            txtSourceViewer->SetText(NotepadSourceViewer);
        gbSourceViewer->Tag = 0;
        SetRegStringValue(HKEY_CURRENT_USER, kEditorName, "", txtSourceViewer->Text(), {});
    } else {
        DeleteRegValue(HKEY_LOCAL_MACHINE, kEditorName, "", {});
        if (IsCurrentProcessWow64()) DeleteRegValue(HKEY_LOCAL_MACHINE, kEditorName, "", {2});
        DeleteRegValue(HKEY_CURRENT_USER, kEditorName, "", {});
    }
}

void TfrmIE::btnSourceViewerClick(TComponent&) {
    auto file =
        pickFile(text::tr("Programm wählen"), text::tr("Anwendungen (*.exe; *.com)|*.exe; *.com"),
                 txtSourceViewer->Text());
    if (!file || warnIfMachineless(*file)) return;
    txtSourceViewer->SetText(*file);
    if (major() > 7) rbSourceViewer->SetChecked(true);
}

void TfrmIE::btnIEContextMenuClick(TComponent&) {
    auto dialog = std::make_unique<TfrmIEContextMenu>(nullptr);
    frmIEContextMenu = dialog.get();
    dialog->ShowModal();
    frmIEContextMenu = nullptr;
}

void TfrmIE::btnMenuDefaultClick(TComponent&) {
    if (major() >= 7) {
        if (IE7FrameMenu) IE7FrameMenu->ResetIE7Settings();
    } else if (gbFileMenu->Visible) {
        optNewMenu->SetChecked(true);
    }
    if (gbSourceViewer->Visible) {
        txtSourceViewer->SetText(DefaultSourceViewer);
        gbSourceViewer->Tag = 1;
        gbSourceViewerExit(*gbSourceViewer);
    }
}

// ---- Navigation ----

void TfrmIE::tsNavigationShow(TComponent&) {
    if (!firstShow(*tsNavigation)) return;
    cbPopupsUseNewWindow->ClearItems();
    cbShortcutBehavior->ClearItems();
    const std::string popupItems[] = {text::tr("Internet Explorer entscheiden lassen"),
                                      text::tr("Immer in neuem Fenster"),
                                      text::tr("Immer in neuer Registerkarte")};
    const std::string shortcutItems[] = {
        text::tr("In neuem Fenster"), text::tr("In neuer Registerkarte im aktuellen Fenster"),
        text::tr("In aktueller Registerkarte / aktuellem Fenster")};
    for (int i = 0; i < 3; ++i) {
        cbPopupsUseNewWindow->AddItem(popupItems[i]);
        cbShortcutBehavior->AddItem(shortcutItems[i]);
    }
    LoadGraphic(15023, *imgTabbedBrowsing, 17);
    const JournalDiscarding discarding;
    for (auto [combo, name] :
         {std::pair<TComboBox*, const char*>{cbShortcutBehavior, "ShortcutBehavior"},
          {cbPopupsUseNewWindow, "PopupsUseNewWindow"}}) {
        DWORD value = 0;
        GetRegDWORDValue(HKEY_CURRENT_USER, kTabbedBrowsing, name, value, {2});
        combo->SetItemIndex(value <= 2 ? static_cast<int>(value) : 1);
    }
}

void TfrmIE::cbPopupsUseNewWindowChange(TComponent&) {
    if (cbPopupsUseNewWindow->ItemIndex() < 0) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kTabbedBrowsing, "PopupsUseNewWindow",
                     static_cast<DWORD>(cbPopupsUseNewWindow->ItemIndex()), {2});
    JournalSetFlag(512);
}

void TfrmIE::cbShortcutBehaviorChange(TComponent&) {
    if (cbShortcutBehavior->ItemIndex() < 0) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kTabbedBrowsing, "ShortcutBehavior",
                     static_cast<DWORD>(cbShortcutBehavior->ItemIndex()), {2});
    JournalSetFlag(512);
}

void TfrmIE::btnNavigationDefaultClick(TComponent&) {
    if (IE7FrameStartpage) IE7FrameStartpage->ResetIE7Settings();
    {
        const JournalDiscarding discarding;
        cbPopupsUseNewWindow->SetItemIndex(1);
        cbShortcutBehavior->SetItemIndex(1);
    }
    DeleteRegValue(HKEY_CURRENT_USER, kTabbedBrowsing, "PopupsUseNewWindow", {2});
    DeleteRegValue(HKEY_CURRENT_USER, kTabbedBrowsing, "ShortcutBehavior", {2});
    JournalSetFlag(512);
}

// ---- Sicherheit ----

void TfrmIE::tsSecurityShow(TComponent&) {
    if (!firstShow(*tsSecurity)) return;
    const JournalDiscarding discarding;
    edtAgentApplication->SetText(userAgent_->GetApplicationToken());
    chkAgentCompatible->SetChecked(userAgent_->GetCompatibilityFlag());
    edtAgentVersion->SetText(userAgent_->GetVersionToken());
    edtAgentPlatform->SetText(userAgent_->GetPlatformToken());
    chkAlwaysPromptWhenDownload->SetChecked(
        GetRegSetting(HKEY_CURRENT_USER, kRestrictions, "AlwaysPromptWhenDownload", false, {}));
}

void TfrmIE::UserAgentChange(TComponent&) {
    if (filling()) return;
    gbUserAgentNew->Tag = 1;
    JournalSetFlag(0);
}

void TfrmIE::UserAgentExit(TComponent& sender) {
    if (gbUserAgentNew->Tag != 1) return;
    const std::string kind = sender.ClassName();
    if (kind == "TEdit") {
        gbUserAgentNew->Tag = 0;
        const std::string& text = static_cast<TEdit&>(sender).Text();
        if (&sender == edtAgentApplication)
            userAgent_->SetApplicationToken(text);
        else if (&sender == edtAgentVersion)
            userAgent_->SetVersionToken(text);
        else if (&sender == edtAgentPlatform)
            userAgent_->SetPlatformToken(text);
        SaveUserAgent();
    } else if (kind == "TCheckBox" && &sender == chkAgentCompatible) {
        gbUserAgentNew->Tag = 0;
        userAgent_->SetCompatibilityFlag(chkAgentCompatible->Checked());
        SaveUserAgent();
    }
}

void TfrmIE::SaveUserAgent() {
    userAgent_->Save(false);
    userAgent_->Save(true);
}

void TfrmIE::chkAlwaysPromptWhenDownloadClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kRestrictions, "AlwaysPromptWhenDownload",
                     chkAlwaysPromptWhenDownload->Checked() ? 1 : 0, {});
}

void TfrmIE::btnSecurityDefaultClick(TComponent&) {
    userAgent_->SetToStandard();
    SaveUserAgent();
    tsSecurity->Tag = 0;
    tsSecurityShow(*tsSecurity);
    gbUserAgentNew->Tag = 0;
    if (gbDownloadPrompt->Visible) chkAlwaysPromptWhenDownload->SetChecked(false);
    JournalSetFlag(0);
}

// ---- Leistung ----

void TfrmIE::tsPerformanceShow(TComponent&) {
    if (!firstShow(*tsPerformance)) return;
    const JournalDiscarding discarding;
    int http10 = 4, http11 = 2;
    GetRegIntValue(HKEY_CURRENT_USER, kInternetSettings, "MaxConnectionsPer1_0Server", http10, 4,
                   {});
    GetRegIntValue(HKEY_CURRENT_USER, kInternetSettings, "MaxConnectionsPerServer", http11, 2, {});
    udeMaxHTTP1->SetPosition(http10);
    udeMaxHTTP11->SetPosition(http11);
}

void TfrmIE::udeMaxHTTPChange(TComponent&) {
    if (filling()) return;
    gbManualSettings->Tag = 1;
    JournalSetFlag(0);
}

void TfrmIE::gbManualSettingsExit(TComponent&) {
    if (gbManualSettings->Tag != 1) return;
    gbManualSettings->Tag = 0;
    SetRegDWORDValue(HKEY_CURRENT_USER, kInternetSettings, "MaxConnectionsPer1_0Server",
                     static_cast<DWORD>(udeMaxHTTP1->GetPosition()), {});
    SetRegDWORDValue(HKEY_CURRENT_USER, kInternetSettings, "MaxConnectionsPerServer",
                     static_cast<DWORD>(udeMaxHTTP11->GetPosition()), {});
}

void TfrmIE::btnStartSpeedOptimizerClick(TComponent&) {
    if (ShellExecuteWrapper(CurAppDir() + "Velocitor.exe", "/performance", "", 1) <= 32)
        Application().MessageBox(
            text::tr("Das Programm zur Optimierung der Internet-Einstellungen wurde "
                     "nicht gefunden."),
            text::tr("Internet-Einstellungen optimieren"), MB_OK | MB_ICONERROR);
}

} // namespace ravelin::iexplorer
