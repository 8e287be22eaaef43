#include "mailchat/ufrmMailClients.h"

#include "host/Controlhelper.h"
#include "host/Nxapps.h"
#include "host/Nxgraphics.h"
#include "host/Nxregistry.h"
#include "host/Stringhelper.h"
#include "host/text/Translate.h"
#include "mailchat/ufrmOutlookSecurity.h"
#include "toolkit/Application.h"

#include <memory>

namespace ravelin::mailchat {

using namespace toolkit;

TfrmMailClients* frmMailClients = nullptr;
TFileVersionIdentification OfficeOutlook;

namespace {

constexpr const char* rsAppTitle = "Deskforge";
constexpr const char* rsOutlookExpress = "Outlook Express";
constexpr const char* rsWindowsMail = "Windows Mail";
std::string rsOEGeneral(const std::string& program) {
    return text::trf("Legen Sie hier allgemeine Einstellungen zum Start und der Bedienung von %1 "
                     "fest.",
                     program);
}
std::string rsOETitlebar(const std::string& program) {
    return text::trf(
        "Legen Sie fest, welcher Text in der Titelleiste von %1 angezeigt werden soll.", program);
}
std::string rsMsMsgsRemoved() {
    return text::tr(
        "Der Windows Messenger ist auf diesem System nicht mehr installiert, eine erneute "
        "Installation ist über die Webseite \"Windows Update\" möglich.");
}
std::string rsNeedAdmin() {
    return text::tr("Sie müssen über Administrationsrechte verfügen, um den Windows Messenger zu "
                    "deinstallieren.");
}
std::string rsNeedAdminLive() {
    return text::tr("Sie müssen über Administrationsrechte verfügen, um den "
                    "Windows Live Messenger zu deinstallieren.");
}
std::string rsUninstallTitle() {
    return text::tr("Messenger deinstallieren");
}
std::string rsUninstallAsk() {
    return text::tr("Soll der Windows Messenger jetzt wirklich deinstalliert werden?\r\n\r\nEine "
                    "Neuinstallation "
                    "des Windows Messengers ist über die Webseite \"Windows Update\" möglich.");
}
std::string rsUninstallAskLive() {
    return text::tr(
        "Soll der Windows Live Messenger jetzt wirklich deinstalliert werden?\r\n\r\nEine "
        "Neuinstallation des Windows Live Messengers ist über die Microsoft-Webseite möglich.");
}
std::string rsUninstallFailed(const std::string& why) {
    return text::trf("Die Deinstallation konnte nicht gestartet werden.\r\n\r\n%1", why);
}
std::string rsOutlookNotSetUp() {
    return text::tr(
        "Outlook wurde für diesen Benutzer noch nicht eingerichtet. Die Einstellung kann erst nach "
        "dem ersten Start von Outlook gespeichert werden.");
}

constexpr const char* kMessengerPolicy = "SOFTWARE\\Policies\\Microsoft\\Messenger\\Client";
constexpr const char* kSubcomponents =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents";

DWORD flagValue(bool on) {
    return on ? 1u : 0u;
}

} // namespace

TfrmMailClients::TfrmMailClients(TComponent* owner) : PageBase(owner) {
    loadForm();
    frmMailClients = this;
    Fire(OnCreate);
}

TfrmMailClients::~TfrmMailClients() {
    if (frmMailClients == this) frmMailClients = nullptr;
}

void TfrmMailClients::FormCreate(TComponent&) {
    const JournalDiscarding discarding;
    tsLiveMsgr->TabVisible = false;
    tsWinMsgr->TabVisible = false;
    OfficeOutlook = GetOutlookVersion();
    const int major = OfficeOutlook.Major;

    for (const std::string& entry : GetInstalledMessengerList()) {
        if (MessengerListed({entry}, "Live Messenger")) {
            LoadGraphic(19000, *imgLiveMsgr, 17);
            tsLiveMsgr->TabVisible = true;
            if (GetLiveMessengerStartupWindows())
                rbLiveMsgrRunEnable->SetChecked(true);
            else
                rbLiveMsgrRunDisable->SetChecked(true);
            chkLiveMsgrStartOutlook->Visible = major > 0;
            if (chkLiveMsgrStartOutlook->Visible) {
                chkLiveMsgrStartOutlook->SetChecked(GetWindowsMessengerStartupOfficeOutlook(major));
                chkLiveMsgrStartOutlook->Enabled = rbLiveMsgrRunEnable->Checked();
            } else {
                rbLiveMsgrRunDisable->Top = chkLiveMsgrStartOutlook->Top;
                GroupBox2->Height -= chkLiveMsgrStartOutlook->Height;
                gbLiveMsgrDeinstall->Top -= chkLiveMsgrStartOutlook->Height;
            }
        } else if (MessengerListed({entry}, "Windows Messenger")) {
            tsWinMsgr->TabVisible = CurrentOS() == 6;
            chkOEStartMessenger->SetChecked(GetWindowsMessengerStartupOutlookExpress());
            if (major > 0)
                chkWinMsgrStartOutlook->SetChecked(GetWindowsMessengerStartupOfficeOutlook(major));
            chkWinMsgrStartLogon->SetChecked(GetWindowsMessengerStartupWindows());
        }
    }
    chkWinMsgrStartOutlook->Visible = !tsLiveMsgr->TabVisible && major > 0;

    if (tsWinMsgr->TabVisible) {
        LoadGraphic(19001, *imgWinMessenger, 17);
        winMsgrInstalled_ =
            GetRegSetting(HKEY_LOCAL_MACHINE, kSubcomponents, "msmsgs", false, {}) &&
            NXFileExists(GetWinDir() + "\\inf\\sysoc.inf");
        if (!winMsgrInstalled_) {
            lblMsMsgs->SetCaption(rsMsMsgsRemoved());
            btnUninstallMsMsgr->Visible = false;
            for (TControl* c : {static_cast<TControl*>(rbAllowWinMsgrExec),
                                static_cast<TControl*>(rbDenyWinMsgrExec),
                                static_cast<TControl*>(chkOEStartMessenger),
                                static_cast<TControl*>(chkWinMsgrStartOutlook),
                                static_cast<TControl*>(chkWinMsgrStartLogon)})
                c->Enabled = false;
        }
    }

    LoadGraphic(19002, *imgWindowTitle, 17);
    LoadGraphic(19003, *imgOEBlockAttachments, 17);
    LoadGraphic(19004, *imgOutlookBlockAttachments, 17);
    LoadGraphic(19005, *imgOffice, 17);
    LoadGraphic(14006, *imgNotInstalled_SmallExclamationMark, 17);
    LoadGraphic(12000, *imgNotInstalled_Email, 17);

    // The mail program and where it keeps its settings.
    if (CurrentOS() >= 7) {
        OECaption = rsWindowsMail;
        OERegKey = "Software\\Microsoft\\Windows Mail";
        OEUseIdentity = true;
    } else {
        OECaption = rsOutlookExpress;
        std::string identity;
        if (GetRegStringValue(HKEY_CURRENT_USER, "Identities", "Last User ID", identity, {}) !=
                ERROR_SUCCESS ||
            Trim(identity).empty())
            identity =
                GetRegStringValueDef(HKEY_CURRENT_USER, "Identities", "Default User ID", "", {});
        if (!Trim(identity).empty()) {
            OERegKey = "Identities\\" + identity + "\\Software\\Microsoft\\Outlook Express\\5.0";
            OEUseIdentity = true;
        } else {
            OERegKey = "Software\\Microsoft\\Outlook Express";
            OEUseIdentity = false;
        }
    }
    tsOutlookExpress->Caption = OECaption;
    lblOEGeneral->SetCaption(rsOEGeneral(OECaption));
    lblOETitlebar->SetCaption(rsOETitlebar(OECaption));
    lblOETitleText->SetCaption(lblOETitleText->Caption);
    const int right = txtOETitlebar->Left + txtOETitlebar->Width;
    txtOETitlebar->Left = lblOETitleText->Left + lblOETitleText->Width + 7;
    txtOETitlebar->Width = right - txtOETitlebar->Left;

    tsOutlookView->TabVisible = major >= 10;
    std::string dllPath;
    tsOutlookExpress->TabVisible =
        GetRegStringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail\\Windows Mail", "DllPath",
                          dllPath, {}) == ERROR_SUCCESS ||
        GetRegStringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail\\Outlook Express", "DllPath",
                          dllPath, {}) == ERROR_SUCCESS;
    tsNotInstalled->TabVisible = !tsOutlookExpress->TabVisible && !tsOutlookView->TabVisible &&
                                 !tsWinMsgr->TabVisible && !tsLiveMsgr->TabVisible;
    ActivateFirstVisiblePage(*pcMailClients);
}

// ---- Outlook Express / Windows Mail ----

bool TfrmMailClients::attachmentsMachineWide() const {
    return CurrentOS() < 7 && !OEUseIdentity;
}

void TfrmMailClients::tsOutlookExpressShow(TComponent&) {
    if (!firstShow(*tsOutlookExpress)) return;
    const JournalDiscarding discarding;
    LoadGraphic(19006, *imgOutlookExpressStart, 17);
    chkShowSplash->SetChecked(!GetRegSetting(HKEY_CURRENT_USER, OERegKey, "NoSplash", false, {}));
    chkOESmoothScroll->SetChecked(
        GetRegSetting(HKEY_CURRENT_USER, OERegKey + "\\Trident\\Main", "SmoothScroll", false, {}));
    txtOETitlebar->SetText(
        GetRegStringValueDef(HKEY_CURRENT_USER, OERegKey, "WindowTitle", OECaption, {}));
    txtOETitlebar->Tag = 0;
    if (gbOEAttachments->Visible) {
        DWORD value = 0;
        const int read =
            attachmentsMachineWide()
                ? GetRegDWORDValue(HKEY_LOCAL_MACHINE, OERegKey, "BlockExeAttachments", value, {})
                : GetRegDWORDValue(HKEY_CURRENT_USER, OERegKey + "\\Mail", "Safe Attachments",
                                   value, {});
        chkDisableEXEAttachments->SetChecked(read != ERROR_SUCCESS || value != 0);
    }
}

void TfrmMailClients::txtOETitlebarChange(TComponent&) {
    if (filling()) return;
    txtOETitlebar->Tag = 1;
    JournalSetFlag(0);
}

void TfrmMailClients::saveTitle() {
    txtOETitlebar->Tag = 0;
    if (txtOETitlebar->Text() == OECaption) {
        if (RegValueExists(HKEY_CURRENT_USER, OERegKey, "WindowTitle", {}))
            DeleteRegValue(HKEY_CURRENT_USER, OERegKey, "WindowTitle", {});
    } else {
        SetRegStringValue(HKEY_CURRENT_USER, OERegKey, "WindowTitle", txtOETitlebar->Text(), {});
    }
}

void TfrmMailClients::txtOETitlebarExit(TComponent&) {
    if (txtOETitlebar->Tag == 1) saveTitle();
}

void TfrmMailClients::chkShowSplashClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, OERegKey, "NoSplash", flagValue(!chkShowSplash->Checked()),
                     {});
}

void TfrmMailClients::chkOESmoothScrollClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, OERegKey + "\\Trident\\Main", "SmoothScroll",
                     flagValue(chkOESmoothScroll->Checked()), {});
}

void TfrmMailClients::chkDisableEXEAttachmentsClick(TComponent&) {
    if (filling()) return;
    const DWORD value = flagValue(chkDisableEXEAttachments->Checked());
    if (attachmentsMachineWide()) {
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, OERegKey, "BlockExeAttachments", value, {});
        JournalSetFlag(2);
    } else {
        SetRegDWORDValue(HKEY_CURRENT_USER, OERegKey + "\\Mail", "Safe Attachments", value, {});
        JournalSetFlag(1);
    }
}

void TfrmMailClients::btnDefOEClick(TComponent&) {
    txtOETitlebar->SetText(OECaption);
    saveTitle();
    chkOESmoothScroll->SetChecked(false);
    chkShowSplash->SetChecked(true);
    if (gbOEAttachments->Visible) chkDisableEXEAttachments->SetChecked(true);
}

// ---- Office Outlook ----

std::string TfrmMailClients::officeOutlookKey() const {
    return "Software\\Microsoft\\Office\\" + OfficeOutlook.text() + "\\Outlook";
}

void TfrmMailClients::tsOutlookViewShow(TComponent&) {
    if (!firstShow(*tsOutlookView)) return;
    const JournalDiscarding discarding;
    LoadGraphic(19007, *imgOutlookMinToTray, 17);
    chkOfficeQuestionField->SetChecked(GetOfficeQuestionFieldSetting(OfficeOutlook.Major));
    chkOutlookMinToSysTray->SetChecked(GetRegSetting(
        HKEY_CURRENT_USER, officeOutlookKey() + "\\Preferences", "MinToTray", false, {}));
    // Outlook makes its user key when it first runs; until then the setting has no home.
    if (!KeyExist(HKEY_CURRENT_USER, officeOutlookKey(), {})) {
        chkOutlookMinToSysTray->Enabled = false;
        chkOutlookMinToSysTray->Hint = rsOutlookNotSetUp();
    }
}

void TfrmMailClients::chkOfficeQuestionFieldClick(TComponent&) {
    if (filling()) return;
    SetOfficeQuestionField(OfficeOutlook.Major, chkOfficeQuestionField->Checked());
}

void TfrmMailClients::chkOutlookMinToSysTrayClick(TComponent&) {
    if (filling()) return;
    if (!KeyExist(HKEY_CURRENT_USER, officeOutlookKey(), {})) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, officeOutlookKey() + "\\Preferences", "MinToTray",
                     flagValue(chkOutlookMinToSysTray->Checked()), {});
}

void TfrmMailClients::btnOutlookSettingsClick(TComponent&) {
    auto dialog = std::make_unique<TfrmOutlookSecurity>(nullptr);
    frmOutlookSecurity = dialog.get();
    dialog->ShowModal();
    frmOutlookSecurity = nullptr;
}

void TfrmMailClients::btnDefOutlookViewClick(TComponent&) {
    chkOfficeQuestionField->SetChecked(true);
    if (chkOutlookMinToSysTray->Enabled) chkOutlookMinToSysTray->SetChecked(false);
}

// ---- Windows Messenger ----

void TfrmMailClients::tsWinMsgrShow(TComponent&) {
    if (!firstShow(*tsWinMsgr)) return;
    const JournalDiscarding discarding;
    bool prevent = false;
    if (RegValueExists(HKEY_LOCAL_MACHINE, kMessengerPolicy, "PreventRun", {}))
        prevent = GetRegSetting(HKEY_LOCAL_MACHINE, kMessengerPolicy, "PreventRun", false, {});
    else if (RegValueExists(HKEY_CURRENT_USER, kMessengerPolicy, "PreventRun", {}))
        prevent = GetRegSetting(HKEY_CURRENT_USER, kMessengerPolicy, "PreventRun", false, {});
    else
        prevent = GetRegSettingEx("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Messenger\\Client",
                                  "PreventRun", false, {});
    if (prevent)
        rbDenyWinMsgrExec->SetChecked(true);
    else
        rbAllowWinMsgrExec->SetChecked(true);
}

void TfrmMailClients::rbAllowWinMsgrExecClick(TComponent&) {
    if (!winMsgrInstalled_) return;
    for (TCheckBox* c : {chkOEStartMessenger, chkWinMsgrStartOutlook, chkWinMsgrStartLogon})
        c->Enabled = true;
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kMessengerPolicy, "PreventRun", 0, {});
}

void TfrmMailClients::rbDenyWinMsgrExecClick(TComponent&) {
    // The start options go off first, written here once each, then execution is prevented.
    startOptionsQuiet_ = true;
    for (TCheckBox* c : {chkOEStartMessenger, chkWinMsgrStartOutlook, chkWinMsgrStartLogon}) {
        c->Enabled = false;
        c->SetChecked(false);
    }
    startOptionsQuiet_ = false;
    if (filling()) return;
    SetWindowsMessengerStartupOutlookExpress(false);
    if (chkWinMsgrStartOutlook->Visible)
        SetWindowsMessengerStartupOfficeOutlook(false, OfficeOutlook.Major);
    SetWindowsMessengerStartupWindows(false);
    SetRegDWORDValue(HKEY_CURRENT_USER, kMessengerPolicy, "PreventRun", 1, {});
}

void TfrmMailClients::chkOEStartMessengerClick(TComponent&) {
    if (filling() || startOptionsQuiet_) return;
    SetWindowsMessengerStartupOutlookExpress(chkOEStartMessenger->Checked());
}

void TfrmMailClients::chkWinMsgrStartOutlookClick(TComponent&) {
    if (filling() || startOptionsQuiet_ || OfficeOutlook.Major == 0) return;
    SetWindowsMessengerStartupOfficeOutlook(chkWinMsgrStartOutlook->Checked(), OfficeOutlook.Major);
}

void TfrmMailClients::chkWinMsgrStartLogonClick(TComponent&) {
    if (filling() || startOptionsQuiet_) return;
    SetWindowsMessengerStartupWindows(chkWinMsgrStartLogon->Checked());
}

void TfrmMailClients::btnDefWinMsgrClick(TComponent&) {
    rbAllowWinMsgrExec->SetChecked(true);
    // A messenger that was removed gets no start entries for a program that is not there.
    if (!winMsgrInstalled_) return;
    if (chkOEStartMessenger->Visible) chkOEStartMessenger->SetChecked(true);
    if (chkWinMsgrStartOutlook->Visible) chkWinMsgrStartOutlook->SetChecked(true);
    chkWinMsgrStartLogon->SetChecked(true);
}

void TfrmMailClients::uninstall(bool live) {
    TApplication& app = Application();
    if (!IsAdmin()) {
        app.MessageBox(live ? rsNeedAdminLive() : rsNeedAdmin(), rsAppTitle,
                       MB_OK | MB_ICONWARNING);
        return;
    }
    if (app.MessageBox(live ? rsUninstallAskLive() : rsUninstallAsk(), rsUninstallTitle(),
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDNO)
        return;
    std::unique_ptr<TNXMessengerUninstaller> uninstaller;
    if (live)
        uninstaller = std::make_unique<TNXLiveMessenger>();
    else
        uninstaller = std::make_unique<TNXWindowsMessenger>();
    uninstaller->Refresh();
    if (uninstaller->GetIsInstalled() && !uninstaller->UnInstall(true))
        app.MessageBox(rsUninstallFailed(uninstaller->Error()), rsUninstallTitle(),
                       MB_OK | MB_ICONERROR);
}

void TfrmMailClients::btnUninstallMsMsgrClick(TComponent&) {
    uninstall(false);
}

// ---- Live Messenger ----

void TfrmMailClients::rbLiveMsgrRunEnableClick(TComponent&) {
    rbLiveMsgrRunDisable->SetChecked(false);
    chkLiveMsgrStartOutlook->Enabled = true;
    if (filling()) return;
    SetLiveMessengerStartupWindows(true);
}

void TfrmMailClients::rbLiveMsgrRunDisableClick(TComponent&) {
    rbLiveMsgrRunEnable->SetChecked(false);
    chkLiveMsgrStartOutlook->Enabled = false;
    if (filling()) return;
    SetLiveMessengerStartupWindows(false);
}

void TfrmMailClients::chkLiveMsgrStartOutlookClick(TComponent&) {
    if (filling() || OfficeOutlook.Major == 0) return;
    SetWindowsMessengerStartupOfficeOutlook(chkLiveMsgrStartOutlook->Checked(),
                                            OfficeOutlook.Major);
}

void TfrmMailClients::btnLiveMsgrDeinstallClick(TComponent&) {
    uninstall(true);
}

void TfrmMailClients::btnDefLiveMsgrClick(TComponent&) {
    // Live Messenger's own defaults: it starts with Windows and with Office Outlook.
    rbLiveMsgrRunEnable->SetChecked(true);
    if (chkLiveMsgrStartOutlook->Visible) chkLiveMsgrStartOutlook->SetChecked(true);
}

} // namespace ravelin::mailchat
