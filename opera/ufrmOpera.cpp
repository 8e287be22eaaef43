#include "opera/ufrmOpera.h"

#include "host/Controlhelper.h"
#include "host/NXShellFuncs.h"
#include "host/Nxgraphics.h"
#include "host/Nxhelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"

#include <algorithm>

namespace ravelin::opera {

using namespace toolkit;

TfrmOpera* frmOpera = nullptr;

namespace {

constexpr std::uint32_t kBlue = 0xFF0000, kNavy = 0x800000;
constexpr const char* kTitle = "Opera";

using text::kSpaceAndTab;
using text::trimmed;

// The folder of a Windows or host path, as a host path for the file dialog.
std::string hostFolderOf(const std::string& path) {
    machine::Machine* m = CurrentMachine();
    if (!m || path.empty()) return {};
    std::string host = m->files().hostPath(path);
    auto slash = host.rfind('/');
    return slash == std::string::npos ? std::string() : host.substr(0, slash);
}

} // namespace

TfrmOpera::TfrmOpera(TComponent* owner) : PageBase(owner) {
    Sleep = [](int ms) { TApplication::Instance().AdvanceClock(ms); };
    loadForm();
    frmOpera = this;
    Fire(OnCreate);
}

TfrmOpera::~TfrmOpera() {
    BeforeDestruction(); // FormDestroy uses this class's members
    if (frmOpera == this) frmOpera = nullptr;
}

bool TfrmOpera::write(const std::function<void()>& change) {
    try {
        change();
        return true;
    } catch (const std::exception& e) { // OperaFileError, RegistryAccessError
        // A refused save is the host's to report, as for every write: the script line
        // fails with the reason, the window shows it.
        ReportWriteFailure(e.what());
        return false;
    }
}

std::string TfrmOpera::windowsPathOf(const std::string& chosen) {
    machine::Machine* m = CurrentMachine();
    if (chosen.empty() || chosen[0] != '/' || !m) return chosen;
    std::string win = m->files().windowsPath(chosen);
    if (win.empty())
        Application().MessageBox(
            text::trf("Die Datei %1 liegt nicht auf dem Computer, dessen Opera eingestellt wird.",
                      chosen),
            kTitle, MB_OK | MB_ICONERROR);
    return win;
}

// ---- Creation and state ----

void TfrmOpera::FormCreate(TComponent&) {
    {
        const JournalDiscarding discarding;
        notepadPath_ = GetWinDir() + "\\notepad.exe";
        opera_ = std::make_unique<TNXOpera>();
        opera_->Init();
        InitOperaForm();
        // Each label as wide as its text, its field 7 pixels further, keeping its right edge.
        for (auto [label, field] : {std::pair{lblWindowTitle, edtWindowTitle},
                                    std::pair{lblApplicationIcon, edtApplicationIcon},
                                    std::pair{lblSourceViewer, edtSourceViewer}}) {
            const int right = field->Left + field->Width;
            label->Width = TApplication::TextWidth(StripAccelerator(label->Caption));
            field->Left = label->Left + label->Width + 7;
            field->Width = right - field->Left;
        }
    }
    if (usable_) {
        const std::string errors = opera_->Errors();
        if (!errors.empty())
            Application().MessageBox(text::trf("Opera-Einstellungen, die nicht gelesen werden "
                                               "können, werden nicht verändert:\n%1",
                                               errors),
                                     kTitle, MB_OK | MB_ICONWARNING);
    }
}

void TfrmOpera::FormDestroy(TComponent&) {
    // A source viewer typed but not yet confirmed by leaving its group is not lost.
    if (gbMenu_SourceViewer->Tag == 1 && usable_) writeSourceViewer();
}

void TfrmOpera::InitOperaForm() {
    usable_ = opera_->GetIsInstalled() && !opera_->Prefs().GetPreferencesFileName().empty();
    std::function<void(TComponent&)> enable = [&](TComponent& c) {
        for (const auto& child : c.Components()) {
            if (auto* control = dynamic_cast<TControl*>(child.get())) {
                if (dynamic_cast<TCheckBox*>(control) || dynamic_cast<TRadioButton*>(control) ||
                    dynamic_cast<TButton*>(control) || dynamic_cast<TTrackBar*>(control) ||
                    dynamic_cast<TComboBox*>(control) || dynamic_cast<TEdit*>(control) ||
                    dynamic_cast<TUpDownEdit*>(control) || dynamic_cast<TShape*>(control)) {
                    control->Enabled = usable_;
                    control->Hint.clear();
                }
            }
            enable(*child);
        }
    };
    enable(*this);
    if (usable_) {
        tsNotInstalled->TabVisible = false;
        tsNoProfile->TabVisible = false;
        gbSpeedDial->Visible = opera_->GetVersion() >= 950 && opera_->GetSpeedDial();
        imgSpeedDial->Visible = gbSpeedDial->Visible;
        defaultSearchId_ = kSearchBarDefault;
        defaultSpeedDialSearchId_ = kSpeedDialSearchDefault;
        applyFixedPreferences();
    } else {
        const bool installed = opera_->GetIsInstalled();
        tsNoProfile->TabVisible = installed;
        tsNotInstalled->TabVisible = !installed;
        LoadGraphic(37000, installed ? *imgNoProfile : *imgNotInstalled, 17);
        LoadGraphic(37006, installed ? *imgNoProfileBrowser : *imgNotInstalledBrowser, 17);
        defaultSearchId_.clear();
        defaultSpeedDialSearchId_.clear();
    }
    tsSpeedDial->TabVisible = false;
    tsMenubars->TabVisible = false;
    ActivateFirstVisiblePage(*pcOpera);
}

// A preference the installation fixes cannot be changed here: its controls show the fixed
// value, disabled, and say why.
void TfrmOpera::applyFixedPreferences() {
    const TNXOpera_Prefs& prefs = opera_->Prefs();
    const std::string user = TNXOpera_UserPrefs::kSection;
    auto lock = [&](const std::string& section, const std::string& key,
                    std::initializer_list<TControl*> controls) {
        const std::string reason = prefs.FixedReason(section, key);
        if (reason.empty()) return;
        for (TControl* c : controls) {
            c->Enabled = false;
            c->Hint = reason;
        }
    };
    lock(user, TNXOpera_UserPrefs::kTitle, {edtWindowTitle, btnViewDefault});
    lock(user, TNXOpera_UserPrefs::kIcon,
         {rbUseOperaIcon, rbUseOtherIcon, edtApplicationIcon, btnApplicationIcon});
    for (const char* key :
         {TNXOpera_UserPrefs::kSourceViewer, TNXOpera_UserPrefs::kSourceViewerMode})
        lock(user, key, {rbUseOpera, rbUseOtherApp, edtSourceViewer, btnSourceViewer});
    lock(user, TNXOpera_UserPrefs::kHistoryNavigationMode,
         {rbHistoryNavigationModeAutomatic, rbHistoryNavigationModeCompatibility,
          rbHistoryNavigationModeFast, btnPerformance_Default});
    lock(user, TNXOpera_UserPrefs::kSpeedDialState, {chkShowSpeedDial});
    lock(user, TNXOpera_UserPrefs::kSearchType, {cbSearchEngine});
    lock(user, TNXOpera_UserPrefs::kSpeedDialSearchType, {cbSpeedDialSearchEngine});
    TNXOpera_NetworkPrefs& net = opera_->NetworkPrefs();
    using N = TNXOpera_NetworkPrefs;
    lock(net.SectionOf(N::kEnable), N::kEnable, {cbHandling_AutocompleteServernames});
    lock(net.SectionOf(N::kPrefix), N::kPrefix, {edtHandling_AutocompleteServernamesPrefix});
    lock(net.SectionOf(N::kPostfix), N::kPostfix, {edtHandling_AutocompleteServernamesPostfix});
}

void TfrmOpera::lblNoProfile_OperaStartClick(TComponent&) {
    auto& app = Application();
    const bool hourglass = app.HourglassCursor;
    app.HourglassCursor = true;
    const std::string exe = opera_->GetInstallDir() + "opera.exe";
    const long rc = module::NXShellExecute(0, u"open", text::utf8ToUtf16(exe), u"", u"", 1);
    if (rc <= 32) {
        app.HourglassCursor = hourglass;
        app.MessageBox(text::trf("Opera konnte nicht gestartet werden (%1).", exe), kTitle,
                       MB_OK | MB_ICONERROR);
        return;
    }
    // Opera writes its profile on its first start; give it up to ten seconds.
    constexpr int kStep = 1000, kLimit = 10000;
    for (int waited = 0; waited <= kLimit; waited += kStep) {
        TNXOpera probe;
        probe.Init();
        if (!probe.Prefs().GetPreferencesFileName().empty() && probe.GetVersion() > 0) break;
        Sleep(kStep);
    }
    {
        const JournalDiscarding discarding;
        opera_->Init();
        InitOperaForm();
    }
    app.HourglassCursor = hourglass;
}

void TfrmOpera::lblNotInstalled_OperaOrgClick(TComponent&) {
    OpenWebsite(kVendorAddress);
}

void TfrmOpera::LinkMouseEnter(TComponent& s) {
    if (auto* c = dynamic_cast<TControl*>(&s)) c->FontColor = kBlue;
}
void TfrmOpera::LinkMouseLeave(TComponent& s) {
    if (auto* c = dynamic_cast<TControl*>(&s)) c->FontColor = kNavy;
}

void TfrmOpera::btnStartSpeedOptimizerClick(TComponent&) {
    const std::string program = CurAppDir() + "Velocitor.exe";
    if (ShellExecuteWrapper(program, "/performance", "", 1) <= 32)
        Application().MessageBox(
            text::trf("Das Programm %1 konnte nicht gestartet werden.", program), kTitle,
            MB_OK | MB_ICONERROR);
}

// ---- Titelleiste ----

void TfrmOpera::tsViewShow(TComponent&) {
    const JournalDiscarding discarding;
    LoadGraphic(37003, *imgView, 17);
    edtWindowTitle->SetText(opera_->UserPrefs().GetTitle());
    SetApplIcon(opera_->UserPrefs().GetApplicationIcon());
}

void TfrmOpera::edtWindowTitleChange(TComponent&) {
    if (filling()) return;
    const std::string title = trimmed(edtWindowTitle->Text(), kSpaceAndTab);
    write([&] { opera_->UserPrefs().SetTitle(title); });
}

void TfrmOpera::edtWindowTitleExit(TComponent&) {
    if (trimmed(edtWindowTitle->Text(), kSpaceAndTab).empty()) edtWindowTitle->SetText("Opera");
}

void TfrmOpera::SetApplIcon(const std::string& path) {
    if (settingIcon_) return;
    settingIcon_ = true;
    appIconPath_ = path;
    const bool present = !path.empty() && NXFileExists(path);
    if (present) {
        machine::Machine* m = CurrentMachine();
        imgAppIcon->PictureFile = m ? m->files().hostPath(path) : path;
        edtApplicationIcon->SetText(path);
        rbUseOtherIcon->SetChecked(true);
    } else {
        edtApplicationIcon->SetText("");
        rbUseOperaIcon->SetChecked(true);
        LoadGraphic(37004, *imgAppIcon, 17);
    }
    // What is shown is what Opera gets: a missing file means Opera's own icon. Showing the
    // tab never writes.
    const std::string stored = present ? path : std::string();
    if (!filling() && opera_->UserPrefs().GetApplicationIcon() != stored)
        write([&] { opera_->UserPrefs().SetApplicationIcon(stored); });
    settingIcon_ = false;
}

void TfrmOpera::rbUseOperaIconClick(TComponent&) {
    if (!filling() && !rbUseOtherIcon->Checked()) SetApplIcon("");
}
void TfrmOpera::rbUseOtherIconClick(TComponent&) {
    if (!filling() && !rbUseOtherIcon->Checked()) SetApplIcon("");
}

void TfrmOpera::edtApplicationIconChange(TComponent&) {
    if (filling() || settingIcon_) return;
    if (!edtApplicationIcon->Text().empty())
        rbUseOtherIcon->SetChecked(true);
    else
        rbUseOperaIcon->SetChecked(true);
}

void TfrmOpera::edtApplicationIconExit(TComponent&) {
    SetApplIcon(trimmed(edtApplicationIcon->Text(), kSpaceAndTab));
}

void TfrmOpera::btnApplicationIconClick(TComponent&) {
    DialogService* dialogs = Application().Dialogs();
    if (!dialogs) return;
    FileDialogRequest request;
    request.filter = text::tr("Icon|*.ico");
    request.initialFolder = hostFolderOf(appIconPath_);
    auto chosen = dialogs->openFile(request);
    if (!chosen) return;
    const std::string path = windowsPathOf(*chosen);
    if (path.empty()) return;
    rbUseOtherIcon->SetChecked(true);
    SetApplIcon(path);
}

void TfrmOpera::btnViewDefaultClick(TComponent&) {
    edtWindowTitle->SetText("Opera");
    if (rbUseOperaIcon->Enabled) {
        rbUseOperaIcon->SetChecked(true);
        SetApplIcon("");
    }
}

// ---- Bedienung ----

void TfrmOpera::tsHandlingShow(TComponent&) {
    const JournalDiscarding discarding;
    LoadGraphic(37002, *imgSourceViewer, 17);
    LoadGraphic(37008, *imgAutocomplete, 17);
    LoadGraphic(37010, *imgSpeedDial, 17);
    TNXOpera_NetworkPrefs& net = opera_->NetworkPrefs();
    const bool on = net.GetEnableHostNameExpansion();
    cbHandling_AutocompleteServernames->SetChecked(on);
    edtHandling_AutocompleteServernamesPostfix->SetText(net.GetHostNameExpansionPostfix());
    edtHandling_AutocompleteServernamesPrefix->SetText(net.GetHostNameExpansionPrefix());
    enableExpansionFields(on);
    const std::string viewer = opera_->UserPrefs().GetSourceViewer();
    if (viewer.empty() || opera_->UserPrefs().GetSourceViewerMode() == 3) {
        rbUseOpera->SetChecked(true);
        edtSourceViewer->SetText(notepadPath_);
    } else {
        rbUseOtherApp->SetChecked(true);
        edtSourceViewer->SetText(viewer);
    }
    gbMenu_SourceViewer->Tag = 0;
    if (TNXOpera_SpeedDial* dial = opera_->GetSpeedDial()) {
        udeColumns->SetPosition(dial->GetColumns());
        udeRows->SetPosition(dial->GetRows());
        chkShowSpeedDial->SetChecked(opera_->UserPrefs().GetSpeedDialState());
    }
}

void TfrmOpera::cbHandling_AutocompleteServernamesClick(TComponent&) {
    const bool on = cbHandling_AutocompleteServernames->Checked();
    if (!filling()) write([&] { opera_->NetworkPrefs().SetEnableHostNameExpansion(on); });
    enableExpansionFields(on);
}

// The prefix and postfix fields follow the box, unless the installation fixes them.
void TfrmOpera::enableExpansionFields(bool on) {
    if (!usable_) return;
    for (TEdit* field :
         {edtHandling_AutocompleteServernamesPrefix, edtHandling_AutocompleteServernamesPostfix})
        field->Enabled = on && field->Hint.empty();
}

void TfrmOpera::edtHandling_AutocompleteServernamesPrefixChange(TComponent&) {
    if (filling()) return;
    const std::string text = edtHandling_AutocompleteServernamesPrefix->Text();
    write([&] { opera_->NetworkPrefs().SetHostNameExpansionPrefix(text); });
}

void TfrmOpera::edtHandling_AutocompleteServernamesPostfixChange(TComponent&) {
    if (filling()) return;
    const std::string text = edtHandling_AutocompleteServernamesPostfix->Text();
    write([&] { opera_->NetworkPrefs().SetHostNameExpansionPostfix(text); });
}

void TfrmOpera::markSourceViewer() {
    if (filling()) return;
    JournalSetFlag(0);
    gbMenu_SourceViewer->Tag = 1;
}

void TfrmOpera::edtSourceViewerChange(TComponent&) {
    markSourceViewer();
}
void TfrmOpera::rbUseOperaClick(TComponent&) {
    markSourceViewer();
}
void TfrmOpera::rbUseOtherAppClick(TComponent&) {
    markSourceViewer();
}

void TfrmOpera::btnSourceViewerClick(TComponent&) {
    DialogService* dialogs = Application().Dialogs();
    if (!dialogs) return;
    FileDialogRequest request;
    request.filter = text::tr("Alle Dateien|*.*");
    request.initialFolder = hostFolderOf(edtSourceViewer->Text());
    auto chosen = dialogs->openFile(request);
    if (!chosen) return;
    const std::string path = windowsPathOf(*chosen);
    if (path.empty()) return;
    edtSourceViewer->SetText(path);
    if (!path.empty()) rbUseOtherApp->SetChecked(true);
}

void TfrmOpera::gbMenu_SourceViewerExit(TComponent&) {
    if (gbMenu_SourceViewer->Tag != 1) return;
    writeSourceViewer();
}

void TfrmOpera::writeSourceViewer() {
    if (trimmed(edtSourceViewer->Text(), kSpaceAndTab).empty()) {
        edtSourceViewer->SetText(notepadPath_);
        rbUseOpera->SetChecked(true);
    }
    gbMenu_SourceViewer->Tag = 0;
    const std::string viewer = edtSourceViewer->Text();
    const int mode = rbUseOtherApp->Checked() ? 2 : 3;
    write([&] {
        opera_->UserPrefs().SetSourceViewer(viewer);
        opera_->UserPrefs().SetSourceViewerMode(mode);
    });
    JournalSetFlag(0);
}

void TfrmOpera::udeColumnsChange(TComponent&) {
    if (filling()) return;
    if (TNXOpera_SpeedDial* dial = opera_->GetSpeedDial())
        write([&] { dial->SetColumns(udeColumns->GetPosition()); });
}

void TfrmOpera::udeRowsChange(TComponent&) {
    if (filling()) return;
    if (TNXOpera_SpeedDial* dial = opera_->GetSpeedDial())
        write([&] { dial->SetRows(udeRows->GetPosition()); });
}

void TfrmOpera::chkShowSpeedDialClick(TComponent&) {
    if (filling()) return;
    const bool on = chkShowSpeedDial->Checked();
    write([&] { opera_->UserPrefs().SetSpeedDialState(on); });
}

void TfrmOpera::btnHandling_DefaultClick(TComponent&) {
    TNXOpera_NetworkPrefs& net = opera_->NetworkPrefs();
    if (cbHandling_AutocompleteServernames->Enabled)
        cbHandling_AutocompleteServernames->SetChecked(true);
    if (edtHandling_AutocompleteServernamesPostfix->Hint.empty())
        edtHandling_AutocompleteServernamesPostfix->SetText(
            net.GetHostNameExpansionPostfixDefault());
    if (edtHandling_AutocompleteServernamesPrefix->Hint.empty())
        edtHandling_AutocompleteServernamesPrefix->SetText(net.GetHostNameExpansionPrefixDefault());
    if (gbMenu_SourceViewer->Visible && rbUseOpera->Enabled) {
        rbUseOpera->SetChecked(true);
        edtSourceViewer->SetText(notepadPath_);
        gbMenu_SourceViewer->Tag = 1;
        gbMenu_SourceViewerExit(*gbMenu_SourceViewer);
    }
    if (gbSpeedDial->Visible) {
        udeColumns->SetPosition(3);
        udeRows->SetPosition(3);
        if (chkShowSpeedDial->Enabled) chkShowSpeedDial->SetChecked(true);
    }
}

// ---- Leistung ----

void TfrmOpera::tsPerformanceShow(TComponent&) {
    const JournalDiscarding discarding;
    LoadGraphic(14004, *imgPerformance, 17);
    LoadGraphic(37007, *imgHistoryNavigation, 17);
    switch (opera_->UserPrefs().GetHistoryNavigationMode()) {
    case 2:
        rbHistoryNavigationModeCompatibility->SetChecked(true);
        break;
    case 3:
        rbHistoryNavigationModeFast->SetChecked(true);
        break;
    default:
        rbHistoryNavigationModeAutomatic->SetChecked(true);
        break;
    }
}

void TfrmOpera::rbHistoryNavigationModeAutomaticClick(TComponent&) {
    if (!filling()) write([&] { opera_->UserPrefs().SetHistoryNavigationMode(1); });
}
void TfrmOpera::rbHistoryNavigationModeCompatibilityClick(TComponent&) {
    if (!filling()) write([&] { opera_->UserPrefs().SetHistoryNavigationMode(2); });
}
void TfrmOpera::rbHistoryNavigationModeFastClick(TComponent&) {
    if (!filling()) write([&] { opera_->UserPrefs().SetHistoryNavigationMode(3); });
}

void TfrmOpera::btnPerformance_DefaultClick(TComponent&) {
    if (rbHistoryNavigationModeAutomatic->Checked())
        write([&] { opera_->UserPrefs().SetHistoryNavigationMode(1); });
    else
        rbHistoryNavigationModeAutomatic->SetChecked(true);
}

// ---- Suche ----

namespace {
const TNXOpera_Search_Entry* engineOf(const TComboBox& box, int index) {
    if (index < 0 || index >= static_cast<int>(box.Items.size())) return nullptr;
    return static_cast<const TNXOpera_Search_Entry*>(
        box.Items[static_cast<std::size_t>(index)].object.get());
}
} // namespace

void TfrmOpera::selectEngine(TComboBox& box, const std::string& stored, const std::string& builtIn,
                             const std::string& current) {
    TNXOpera_Search_List& list = opera_->Search().List();
    int index = list.IndexOfID(stored);
    if (index < 0 && current == builtIn) index = list.IndexOfID(builtIn);
    box.SetItemIndex(-1);
    if (index < 0) return;
    const std::string id = list.Get(index).Identifier();
    for (int i = 0; i < static_cast<int>(box.Items.size()); ++i)
        if (const auto* e = engineOf(box, i); e && e->Identifier() == id) {
            box.SetItemIndex(i);
            return;
        }
}

void TfrmOpera::tsSearchShow(TComponent&) {
    {
        const JournalDiscarding discarding;
        LoadGraphic(37012, *imgSearch, 17);
        LoadGraphic(37009, *imgSpeedDialSearch, 17);
        TNXOpera_Search& search = opera_->Search();
        search.Load();
        TNXOpera_Search_List& list = search.List();
        for (std::string* id : {&defaultSearchId_, &defaultSpeedDialSearchId_}) {
            const int index = list.IndexOfID(*id);
            if (index < 0 || list.Get(index).Hidden) id->clear();
        }
        cbSearchEngine->ClearItems();
        cbSpeedDialSearchEngine->ClearItems();
        for (int i = 0; i < list.Count(); ++i) {
            const TNXOpera_Search_Entry& e = list.Get(i);
            if (e.Hidden) continue;
            auto shared = std::make_shared<TNXOpera_Search_Entry>(e);
            for (TComboBox* box : {cbSearchEngine, cbSpeedDialSearchEngine}) {
                const int at = box->AddItem(e.Name);
                box->Items[static_cast<std::size_t>(at)].object = shared;
            }
            if (defaultSearchId_.empty()) defaultSearchId_ = e.Identifier();
            if (defaultSpeedDialSearchId_.empty()) defaultSpeedDialSearchId_ = e.Identifier();
        }
        selectEngine(*cbSpeedDialSearchEngine, opera_->UserPrefs().GetSpeedDialSearchType(),
                     kSpeedDialSearchDefault, defaultSpeedDialSearchId_);
        selectEngine(*cbSearchEngine, opera_->UserPrefs().GetSearchType(), kSearchBarDefault,
                     defaultSearchId_);
    }
    const std::string errors = opera_->Search().Errors();
    if (!errors.empty())
        Application().MessageBox(
            text::trf("Die Liste der Suchmaschinen kann nicht gelesen werden:\n%1", errors), kTitle,
            MB_OK | MB_ICONWARNING);
}

void TfrmOpera::cbSearchEngineChange(TComponent&) {
    if (filling()) return;
    if (const auto* e = engineOf(*cbSearchEngine, cbSearchEngine->ItemIndex()))
        write([&] { opera_->UserPrefs().SetSearchType(e->Identifier()); });
}

void TfrmOpera::cbSpeedDialSearchEngineChange(TComponent&) {
    if (filling()) return;
    if (const auto* e = engineOf(*cbSpeedDialSearchEngine, cbSpeedDialSearchEngine->ItemIndex()))
        write([&] { opera_->UserPrefs().SetSpeedDialSearchType(e->Identifier()); });
}

void TfrmOpera::btnSearch_DefaultClick(TComponent&) {
    struct Target {
        TComboBox* box;
        const std::string* id;
        void (TNXOpera_UserPrefs::*set)(const std::string&);
    };
    for (const Target& t :
         {Target{cbSearchEngine, &defaultSearchId_, &TNXOpera_UserPrefs::SetSearchType},
          Target{cbSpeedDialSearchEngine, &defaultSpeedDialSearchId_,
                 &TNXOpera_UserPrefs::SetSpeedDialSearchType}}) {
        if (!t.box->Enabled || t.id->empty()) continue;
        write([&] { (opera_->UserPrefs().*t.set)(*t.id); });
        if (t.box->Items.empty()) continue;
        for (int i = 0; i < static_cast<int>(t.box->Items.size()); ++i)
            if (const auto* e = engineOf(*t.box, i); e && e->Identifier() == *t.id)
                t.box->SetItemIndex(i);
    }
}

} // namespace ravelin::opera
