#include "logon/ufrmLogon.h"

#include "host/Controlhelper.h"
#include "host/Nxgraphics.h"
#include "host/Nxhelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Orvexwow64.h"
#include "host/Winapi.h"
#include "host/text/Translate.h"
#include "logon/ufrmEditLogonNew.h"
#include "logon/ufrmEditLogonOld.h"
#include "toolkit/Application.h"

#include <sys/stat.h>

namespace ravelin::logon {

using namespace toolkit;

TfrmLogon* frmLogon = nullptr;
std::string WinlogonKey;
std::string LegalNoticeKey;
TLogonScreenType CurLogonScreen = TLogonScreenType::tlsUnknown;

namespace {

constexpr const char* kWinlogonNT = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kWinlogon9x = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";
constexpr const char* kPoliciesSystem =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const char* kTour = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Tour";
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunServices = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
// What the stored logon values are overwritten with before they are deleted.
constexpr const char* kWipe = "XXXXXXXXXXX";
constexpr std::uint32_t kBlue = 0xFF0000, kNavy = 0x800000;

const char* oneOrZero(bool on) {
    return on ? "1" : "0";
}

// The folder of the running host program as Windows sees it: inside the machine its own
// path, else through the drive Wine maps to the root of the host's file system.
std::string hostProgramFolder() {
    std::string dir = CurAppDir();
    std::string windows;
    if (machine::Machine* m = CurrentMachine()) windows = m->files().windowsPath(dir);
    if (windows.empty()) {
        windows = "Z:" + dir;
        for (char& c : windows)
            if (c == '/') c = '\\';
    }
    if (windows.empty() || windows.back() != '\\') windows += '\\';
    return windows;
}

} // namespace

void reportNotStarted(const std::string& program) {
    toolkit::TApplication::Instance().MessageBox(
        text::trf("Das Programm \"%1\" konnte nicht gestartet werden.", program),
        text::tr("Programmstart"), MB_OK | MB_ICONERROR);
}

TfrmLogon::TfrmLogon(TComponent* owner) : PageBase(owner) {
    loadForm();
    frmLogon = this;
    Fire(OnCreate);
}

TfrmLogon::~TfrmLogon() {
    BeforeDestruction(); // FormDestroy uses this class's members
    if (frmLogon == this) frmLogon = nullptr;
}

void TfrmLogon::FormCreate(TComponent&) {
    const int os = CurrentOS();
    const bool nt = GetPlatformId() == 2;
    LoadGraphic(18001, *imgSpeak, 17);
    LoadGraphic(18003, *imgTour, 17);
    LoadGraphic(18005, *imgInfo, 17);

    WinlogonKey = nt ? kWinlogonNT : kWinlogon9x;
    LegalNoticeKey = !nt ? kWinlogon9x : os < 7 ? kWinlogonNT : kPoliciesSystem;

    lblAutoLogonDomain->Visible = txtAutoLogonDomain->Visible = nt;
    gbAutoLogonSecurity->Visible = nt;
    CloseGaps(*tsAutoLogon); // without the domain row the group ends below the password
    tsLogonType->TabVisible = nt;
    pnlLogonType2k->Visible = nt && os != 6;
    if (tsLogonType->TabVisible) {
        if (pnlLogonType2k->Visible) {
            lblLogonType2k->SetCaption(
                text::trf("Klicken Sie auf die Schaltfläche \"Anpassen\", um das Aussehen und "
                          "Verhalten des Anmeldebildschirms von Windows %1 festzulegen.",
                          OS_Type_Strings(os)));
            // The panel lies over the two choices, which a user then cannot reach.
            for (TControl* c :
                 {static_cast<TControl*>(optLogonNew), static_cast<TControl*>(optLogonOld),
                  static_cast<TControl*>(btnLogonNew), static_cast<TControl*>(btnLogonOld)})
                c->Visible = false;
        }
    }
    gbVerbose->Visible = os >= 5;
    tsTour->TabVisible = os == 6;
    tsWelcomeCenter->TabVisible = os >= 7;
    if (os >= 8) {
        tsWelcomeCenter->Caption = text::tr("Erste Schritte");
        Label1->SetCaption(
            text::tr("Wählen Sie hier, ob nach der Benutzeranmeldung das Fenster \"Erste "
                     "Schritte\" angezeigt werden soll."));
        chkShowWelcomeCenter->Caption = text::tr("\"Erste Schritte\" nach der Anmeldung anzeigen");
        lblJumpToPrivacy->SetCaption(text::tr("\"Erste Schritte\" jetzt anzeigen"));
    }
    ActivateFirstVisiblePage(*pcLogon);
}

void TfrmLogon::FormDestroy(TComponent&) {
    // What waits for a pause or for leaving a tab is not lost when the page goes.
    if (tmrLegalNoticeChange->Enabled()) writeLegalNotice();
    if (chkShowTour->Tag == 1) writeTour();
}

// ---- Allgemein ----

void TfrmLogon::tsLogonTypeShow(TComponent&) {
    if (!firstShow(*tsLogonType)) return;
    const JournalDiscarding discard;
    if (!pnlLogonType2k->Visible) {
        if (GetRegSetting(HKEY_LOCAL_MACHINE, kWinlogonNT, "LogonType", false, {2}))
            optLogonNew->SetChecked(true);
        else
            optLogonOld->SetChecked(true);
    }
    optLogonChange(*optLogonNew);
}

void TfrmLogon::ChangeLogonPicture(TLogonScreenType type) {
    CurLogonScreen = type;
    int number = 18010;
    switch (type) {
    case TLogonScreenType::tlsXPNew:
        number = 18008;
        break;
    case TLogonScreenType::tlsXPOld:
        number = 18007;
        break;
    case TLogonScreenType::tls2K:
        number = 18006;
        break;
    case TLogonScreenType::tlsVista:
        number = 18009;
        break;
    case TLogonScreenType::tlsW7:
        number = 18012;
        break;
    case TLogonScreenType::tlsUnknown:
        number = 18010;
        break;
    }
    const std::string path = NXTranslateFilePath(CurAppDataDir() + FileNameByID(number, 17));
    struct stat st {};
    // A picture that cannot be loaded leaves the image as it was.
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) imgLogonType->PictureFile = path;
}

void TfrmLogon::optLogonChange(TComponent&) {
    const int os = CurrentOS();
    TLogonScreenType type = TLogonScreenType::tlsXPOld;
    if (os == 5)
        type = TLogonScreenType::tls2K;
    else if (os == 6)
        type = optLogonNew->Checked() ? TLogonScreenType::tlsXPNew : TLogonScreenType::tlsXPOld;
    else if (os == 7)
        type = TLogonScreenType::tlsVista;
    else if (os == 8)
        type = TLogonScreenType::tlsW7;
    ChangeLogonPicture(type);
    btnLogonNew->Enabled = optLogonNew->Checked();
    btnLogonOld->Enabled = !optLogonNew->Checked();
    if (filling()) return;
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kWinlogonNT, "LogonType", optLogonNew->Checked() ? 1 : 0,
                     {2});
}

void TfrmLogon::btnLogonNewClick(TComponent&) {
    auto dialog = std::make_unique<TfrmEditLogonNew>(nullptr);
    dialog->ShowModal();
}

void TfrmLogon::btnLogonOldClick(TComponent&) {
    auto dialog = std::make_unique<TfrmEditLogonOld>(nullptr);
    dialog->ShowModal();
}

// ---- Automatische Anmeldung ----

void TfrmLogon::tsAutoLogonShow(TComponent&) {
    if (!firstShow(*tsAutoLogon)) return;
    const JournalDiscarding discard;
    const bool nt = GetPlatformId() == 2;
    LoadGraphic(18011, *imgAutoLogon, 17);
    chkAutoLogon->SetChecked(
        GetRegSetting(HKEY_LOCAL_MACHINE, WinlogonKey, "AutoAdminLogon", false, {2}));
    txtAutoLogonUserName->SetText(
        GetRegStringValueDef(HKEY_LOCAL_MACHINE, WinlogonKey, "DefaultUserName", "", {2}));
    txtAutoLogonPassword->SetText(
        GetRegStringValueDef(HKEY_LOCAL_MACHINE, WinlogonKey, "DefaultPassword", "", {2}));
    if (nt) {
        txtAutoLogonDomain->SetText(
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, WinlogonKey, "DefaultDomainName", "", {2}));
        chkIgnoreShiftOverride->SetChecked(
            GetRegSetting(HKEY_LOCAL_MACHINE, WinlogonKey, "IgnoreShiftOverride", false, {2}));
        chkForceAutoLogon->SetChecked(
            GetRegSetting(HKEY_LOCAL_MACHINE, WinlogonKey, "ForceAutoLogon", false, {2}));
    }
    chkAutoLogonClick(*chkAutoLogon); // the enabling rules, whatever the box was designed with
}

void TfrmLogon::writeAutoLogonFields() {
    SetRegStringValue(HKEY_LOCAL_MACHINE, WinlogonKey, "DefaultUserName",
                      txtAutoLogonUserName->Text(), {2, 6});
    SetRegStringValue(HKEY_LOCAL_MACHINE, WinlogonKey, "DefaultPassword",
                      txtAutoLogonPassword->Text(), {2, 6});
    if (GetPlatformId() == 2) {
        SetRegStringValue(HKEY_LOCAL_MACHINE, WinlogonKey, "DefaultDomainName",
                          txtAutoLogonDomain->Text(), {2, 6});
    } else if (chkAutoLogon->Checked()) {
        SetRegStringValue(HKEY_LOCAL_MACHINE, kRunServices, "NXLogon",
                          hostProgramFolder() + "NXLogon.exe", {2});
    }
}

void TfrmLogon::chkAutoLogonClick(TComponent&) {
    const bool on = chkAutoLogon->Checked();
    for (TControl* c :
         {static_cast<TControl*>(txtAutoLogonUserName),
          static_cast<TControl*>(txtAutoLogonPassword), static_cast<TControl*>(txtAutoLogonDomain),
          static_cast<TControl*>(lblAutoLogonUserName),
          static_cast<TControl*>(lblAutoLogonPassword), static_cast<TControl*>(lblAutoLogonDomain)})
        SetControlStatus(*c, on, "");
    if (filling()) return;
    SetRegStringValue(HKEY_LOCAL_MACHINE, WinlogonKey, "AutoAdminLogon", oneOrZero(on), {2});
    if (on) {
        writeAutoLogonFields();
        return;
    }
    std::vector<const char*> names{"DefaultUserName", "DefaultPassword"};
    if (GetPlatformId() == 2) names.push_back("DefaultDomainName");
    for (const char* name : names) {
        SetRegStringValue(HKEY_LOCAL_MACHINE, WinlogonKey, name, kWipe, {2, 6});
        DeleteRegValue(HKEY_LOCAL_MACHINE, WinlogonKey, name, {2, 6});
    }
}

void TfrmLogon::txtAutoLogonExit(TComponent&) {
    if (filling()) return;
    writeAutoLogonFields();
}

void TfrmLogon::chkIgnoreShiftOverrideClick(TComponent&) {
    if (filling()) return;
    SetRegStringValue(HKEY_LOCAL_MACHINE, WinlogonKey, "IgnoreShiftOverride",
                      oneOrZero(chkIgnoreShiftOverride->Checked()), {2});
}

void TfrmLogon::chkForceAutoLogonClick(TComponent&) {
    if (filling()) return;
    SetRegStringValue(HKEY_LOCAL_MACHINE, WinlogonKey, "ForceAutoLogon",
                      oneOrZero(chkForceAutoLogon->Checked()), {2});
}

void TfrmLogon::btnDefAutoLogonClick(TComponent&) {
    if (gbAutoLogonSecurity->Visible) {
        chkIgnoreShiftOverride->SetChecked(false);
        chkForceAutoLogon->SetChecked(false);
    }
    chkAutoLogon->SetChecked(false);
}

// ---- Meldungen ----

void TfrmLogon::enableLegalNotice() {
    const bool on = chkLegalNotice->Checked();
    for (TControl* c :
         {static_cast<TControl*>(txtLegalNoticeCaption), static_cast<TControl*>(txtLegalNoticeText),
          static_cast<TControl*>(lblLegalNoticeCaption),
          static_cast<TControl*>(lblLegalNoticeText)})
        SetControlStatus(*c, on, "");
}

void TfrmLogon::tsMessagesShow(TComponent&) {
    if (!firstShow(*tsMessages)) return;
    {
        const JournalDiscarding discard;
        std::string caption =
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, LegalNoticeKey, "LegalNoticeCaption", "", {2});
        std::string text =
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, LegalNoticeKey, "LegalNoticeText", "", {2});
        chkLegalNotice->SetChecked(!caption.empty() && !text.empty());
        // An empty part is stored as one blank, which Windows needs to show the notice.
        txtLegalNoticeCaption->SetText(caption == " " ? "" : caption);
        txtLegalNoticeText->SetText(text == " " ? "" : text);
        enableLegalNotice();
        if (gbVerbose->Visible)
            chkVerbose->SetChecked(
                GetRegSetting(HKEY_LOCAL_MACHINE, kPoliciesSystem, "verbosestatus", false, {}) &&
                !GetRegSetting(HKEY_LOCAL_MACHINE, kPoliciesSystem, "DisableStatusMessages", false,
                               {}));
    }
    tmrLegalNoticeChange->Tag = 1;
}

void TfrmLogon::restartLegalNoticeTimer() {
    if (tmrLegalNoticeChange->Tag != 1) return;
    tmrLegalNoticeChange->SetEnabled(false);
    tmrLegalNoticeChange->SetEnabled(true);
}

void TfrmLogon::txtLegalNoticeChange(TComponent&) {
    restartLegalNoticeTimer();
}

void TfrmLogon::writeLegalNotice() {
    tmrLegalNoticeChange->SetEnabled(false);
    if (chkLegalNotice->Checked()) {
        auto blankIfEmpty = [](const std::string& s) { return s.empty() ? std::string(" ") : s; };
        SetRegStringValue(HKEY_LOCAL_MACHINE, LegalNoticeKey, "LegalNoticeCaption",
                          blankIfEmpty(txtLegalNoticeCaption->Text()), {2});
        SetRegStringValue(HKEY_LOCAL_MACHINE, LegalNoticeKey, "LegalNoticeText",
                          blankIfEmpty(txtLegalNoticeText->Text()), {2});
    } else {
        DeleteRegValue(HKEY_LOCAL_MACHINE, LegalNoticeKey, "LegalNoticeCaption", {2});
        DeleteRegValue(HKEY_LOCAL_MACHINE, LegalNoticeKey, "LegalNoticeText", {2});
    }
}

void TfrmLogon::LegalNoticeApply(TComponent&) {
    writeLegalNotice();
}

void TfrmLogon::chkLegalNoticeClick(TComponent&) {
    enableLegalNotice();
    restartLegalNoticeTimer();
}

void TfrmLogon::gbLegalNoticeExit(TComponent&) {
    if (tmrLegalNoticeChange->Tag != 1) return;
    if (txtLegalNoticeText->Text().empty() && txtLegalNoticeCaption->Text().empty())
        chkLegalNotice->SetChecked(false);
    writeLegalNotice();
}

void TfrmLogon::chkVerboseClick(TComponent&) {
    if (filling()) return;
    const bool on = chkVerbose->Checked();
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPoliciesSystem, "verbosestatus", on ? 1 : 0, {});
    if (on &&
        GetRegSetting(HKEY_LOCAL_MACHINE, kPoliciesSystem, "DisableStatusMessages", false, {}))
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPoliciesSystem, "DisableStatusMessages", 0, {});
}

void TfrmLogon::btnDefMessagesClick(TComponent&) {
    if (gbVerbose->Visible) chkVerbose->SetChecked(false);
    chkLegalNotice->SetChecked(false);
    writeLegalNotice();
}

// ---- Tour ----

void TfrmLogon::tsTourShow(TComponent&) {
    if (!firstShow(*tsTour)) return;
    const JournalDiscarding discard;
    DWORD runCount = 3;
    bool allUsers = false;
    if (GetRegDWORDValue(HKEY_CURRENT_USER, kTour, "RunCount", runCount, {}) != ERROR_SUCCESS) {
        runCount = 3;
        if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, kTour, "RunCount", runCount, {2}) == ERROR_SUCCESS)
            allUsers = true;
        else
            runCount = 3;
    }
    (allUsers ? optShowTourApplyAll : optShowTourApplyCur)->SetChecked(true);
    chkShowTour->SetChecked(runCount > 0);
    chkShowTour->Tag = 0;
}

void TfrmLogon::chkShowTourClick(TComponent&) {
    if (filling()) return;
    chkShowTour->Tag = 1;
    JournalSetFlag(128);
}

void TfrmLogon::writeTour() {
    chkShowTour->Tag = 0;
    const bool on = chkShowTour->Checked();
    if (optShowTourApplyAll->Checked()) {
        DeleteRegValue(HKEY_CURRENT_USER, kTour, "RunCount", {});
        if (on)
            DeleteRegValue(HKEY_LOCAL_MACHINE, kTour, "RunCount", {2});
        else
            SetRegDWORDValue(HKEY_LOCAL_MACHINE, kTour, "RunCount", 0, {2});
    } else {
        SetRegDWORDValue(HKEY_CURRENT_USER, kTour, "RunCount", on ? 3 : 0, {});
    }
    JournalSetFlag(128);
}

void TfrmLogon::tsTourExit(TComponent&) {
    if (chkShowTour->Tag == 1) writeTour();
}

void TfrmLogon::btnDefTourClick(TComponent&) {
    chkShowTour->SetChecked(true);
    optShowTourApplyAll->SetChecked(true);
    // The defaults are written even when the box was checked already.
    chkShowTour->Tag = 1;
}

// ---- Begrüßungscenter ----

void TfrmLogon::tsWelcomeCenterShow(TComponent&) {
    if (!firstShow(*tsWelcomeCenter)) return;
    if (CurrentOS() == 7)
        imgWelcomeCenter->PictureFile = GetIconHandle("oobefldr.dll");
    else
        LoadGraphic(18004, *imgWelcomeCenter, 17);
    chkShowWelcomeCenter->SetChecked(GetRegStringValueDef(HKEY_CURRENT_USER, kRun,
                                                          "WindowsWelcomeCenter", "",
                                                          {}) == kWelcomeCenterCommand);
}

void TfrmLogon::chkShowWelcomeCenterClick(TComponent&) {
    if (chkShowWelcomeCenter->Checked()) {
        if (GetRegStringValueDef(HKEY_CURRENT_USER, kRun, "WindowsWelcomeCenter", "", {}) !=
            kWelcomeCenterCommand)
            SetRegStringValue(HKEY_CURRENT_USER, kRun, "WindowsWelcomeCenter",
                              kWelcomeCenterCommand, {});
    } else {
        DeleteRegValue(HKEY_CURRENT_USER, kRun, "WindowsWelcomeCenter", {});
    }
}

void TfrmLogon::lblJumpToPrivacyClick(TComponent&) {
    const bool redirected = TNXFsRedirection::Enabled();
    TNXFsRedirection::Disable();
    const int started = ShellExecuteWrapper("control.exe", "/name Microsoft.WelcomeCenter", "", 1);
    if (redirected) TNXFsRedirection::Enable();
    if (started <= 32) reportNotStarted("control.exe");
}

void TfrmLogon::LinkMouseEnter(TComponent& s) {
    if (auto* c = dynamic_cast<TControl*>(&s)) c->FontColor = kBlue;
}
void TfrmLogon::LinkMouseLeave(TComponent& s) {
    if (auto* c = dynamic_cast<TControl*>(&s)) c->FontColor = kNavy;
}

} // namespace ravelin::logon
