#include "logon/ufrmEditLogonOld.h"

#include "host/Controlhelper.h"
#include "host/Nxgraphics.h"
#include "host/Nxhelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Orvexwow64.h"
#include "host/Stringhelper.h"
#include "host/Winapi.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "logon/ufrmLogon.h"
#include "toolkit/Application.h"

#include <charconv>

namespace ravelin::logon {

using namespace toolkit;

TfrmEditLogonOld* frmEditLogonOld = nullptr;

namespace {

constexpr const char* kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const char* kDesktop = ".DEFAULT\\Control Panel\\Desktop";
constexpr const char* kNone = "(Kein)";

// Writes a setting under Winlogon, then brings a differing Policies value of the same name
// in line (a Policies value that does not exist is not created: it would override the
// user's later choices).
void writeSetting(const char* name, bool asDword, DWORD value) {
    if (asDword)
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, kWinlogon, name, value, {2});
    else
        SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, name, value ? "1" : "0", {2});
    DWORD policy = 0;
    if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, name, policy, {2}) == ERROR_SUCCESS &&
        policy != value)
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, name, value, {2});
}

// Sizes a label to its text and moves its field 7 pixels right of it, keeping the field's
// right edge.
void placeAfter(TLabel& label, TControl& field) {
    const int right = field.Left + field.Width;
    label.Width = TApplication::TextWidth(label.Caption);
    field.Left = label.Left + label.Width + 7;
    field.Width = std::max(20, right - field.Left);
}

// Sets and restores the file-system redirection.
class RedirectionGuard {
  public:
    RedirectionGuard() : old_(TNXFsRedirection::Enabled()) {}
    ~RedirectionGuard() {
        if (old_)
            TNXFsRedirection::Enable();
        else
            TNXFsRedirection::Disable();
    }
    RedirectionGuard(const RedirectionGuard&) = delete;
    RedirectionGuard& operator=(const RedirectionGuard&) = delete;

  private:
    bool old_;
};

} // namespace

TfrmEditLogonOld::TfrmEditLogonOld(TComponent* owner) : PageBase(owner) {
    loadForm();
    frmEditLogonOld = this;
    Fire(OnCreate);
}

TfrmEditLogonOld::~TfrmEditLogonOld() {
    if (frmEditLogonOld == this) frmEditLogonOld = nullptr;
}

void TfrmEditLogonOld::FormCreate(TComponent&) {
    const bool messages = CurrentOS() < 7;
    tsView->TabVisible = messages;
    if (messages) {
        LoadGraphic(13000, *imgTitle, 17);
        LoadGraphic(13001, *imgInfo, 17);
        placeAfter(*lblLogonPrompt, *txtLogonPrompt);
        placeAfter(*lblAppendTitle, *txtAppendTitle);
    } else {
        chkAllowShutdown->Caption = text::tr("\"Herunterfahren\" anzeigen");
    }
    LoadGraphic(13002, *imgShutdown, 17);
    LoadGraphic(13003, *imgInput, 17);
    LoadGraphic(13004, *imgHideUsers, 17);
    LoadGraphic(13005, *imgScreenSaver, 17);
    lblScreenSaver1->SetCaption(lblScreenSaver1->Caption);
    udScreenSaver->Left = lblScreenSaver1->Left + lblScreenSaver1->Width + 6;
    lblScreenSaver2->Left = udScreenSaver->Left + udScreenSaver->Width + 6;
    pcEditLogonOld->SetActivePage(messages ? tsView : tsSecurity);
}

// ---- Meldungen ----

void TfrmEditLogonOld::tsViewShow(TComponent&) {
    if (!firstShow(*tsView)) return;
    const JournalDiscarding discarding;
    std::string prompt;
    const bool hasPrompt = GetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "LogonPrompt", prompt,
                                             {}) == ERROR_SUCCESS;
    chkLogonPrompt->SetChecked(hasPrompt);
    txtLogonPrompt->SetText(hasPrompt ? prompt : "");
    const std::string welcome =
        GetRegStringValueDef(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome", "", {});
    chkAppendTitle->SetChecked(!welcome.empty());
    txtAppendTitle->SetText(welcome);
    chkLogonPromptClick(*chkLogonPrompt);
    chkAppendTitleClick(*chkAppendTitle);
}

void TfrmEditLogonOld::chkLogonPromptClick(TComponent&) {
    SetControlStatus(*txtLogonPrompt, chkLogonPrompt->Checked(), "");
    SetControlStatus(*lblLogonPrompt, chkLogonPrompt->Checked(), "");
    mark(*gbLogonPrompt);
}

void TfrmEditLogonOld::chkAppendTitleClick(TComponent&) {
    SetControlStatus(*txtAppendTitle, chkAppendTitle->Checked(), "");
    SetControlStatus(*lblAppendTitle, chkAppendTitle->Checked(), "");
    mark(*gbAppendTitle);
}

void TfrmEditLogonOld::txtLogonPromptChange(TComponent&) {
    mark(*gbLogonPrompt);
}

void TfrmEditLogonOld::txtAppendTitleChange(TComponent&) {
    mark(*gbAppendTitle);
}

// ---- Sicherheit ----

void TfrmEditLogonOld::tsSecurityShow(TComponent&) {
    if (!firstShow(*tsSecurity)) return;
    const JournalDiscarding discarding;
    DWORD policy = 0;
    if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, "DisableCAD", policy, {2}) == ERROR_SUCCESS)
        chkSecureLogon->SetChecked(policy == 0);
    else if (RegValueExists(HKEY_LOCAL_MACHINE, kWinlogon, "DisableCAD", {2}))
        chkSecureLogon->SetChecked(
            !GetRegSetting(HKEY_LOCAL_MACHINE, kWinlogon, "DisableCAD", true, {2}));
    else
        chkSecureLogon->SetChecked(false);

    if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, "DontDisplayLastUserName", policy, {2}) ==
        ERROR_SUCCESS)
        chkHideLastUser->SetChecked(policy == 1);
    else
        chkHideLastUser->SetChecked(
            GetRegSetting(HKEY_LOCAL_MACHINE, kWinlogon, "DontDisplayLastUserName", false, {2}));

    std::string shutdown;
    if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, "ShutdownWithoutLogon", policy, {2}) ==
        ERROR_SUCCESS)
        chkAllowShutdown->SetChecked(policy == 1);
    else if (GetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "ShutdownWithoutLogon", shutdown,
                               {2}) == ERROR_SUCCESS)
        chkAllowShutdown->SetChecked(shutdown == "1");
    else
        chkAllowShutdown->SetChecked(true);
}

void TfrmEditLogonOld::chkSecurityClick(TComponent& sender) {
    mark(sender);
}

// ---- Bildschirmschoner ----

void TfrmEditLogonOld::tsScreensaverShow(TComponent&) {
    if (!firstShow(*tsScreensaver)) return;
    const JournalDiscarding discarding;
    std::string current = GetRegStringValueDef(HKEY_USERS, kDesktop, "SCRNSAVE.EXE", "", {});
    if (!GetRegSetting(HKEY_USERS, kDesktop, "ScreenSaveActive", false, {})) current.clear();
    int seconds = 600;
    std::string timeout;
    if (GetRegStringValue(HKEY_USERS, kDesktop, "ScreenSaveTimeOut", timeout, {}) ==
        ERROR_SUCCESS) {
        const std::string t = Trim(timeout);
        auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), seconds);
        if (ec != std::errc() || end != t.data() + t.size() || t.empty()) seconds = 600;
    }
    udScreenSaver->SetPosition(seconds / 60);
    udScreenSaver->Tag = 0;

    cbScreenSaver->ClearItems();
    cbScreenSaver->AddItem(kNone);
    const bool nt = GetPlatformId() == 2;
    const std::string found = current.empty() ? std::string() : FindFile(current);
    int selected = -1;
    {
        RedirectionGuard restore; // also when listing fails
        std::vector<bool> passes =
            IsCurrentProcessWow64() ? std::vector<bool>{false, true} : std::vector<bool>{true};
        for (bool redirected : passes) {
            if (redirected)
                TNXFsRedirection::Enable();
            else
                TNXFsRedirection::Disable();
            const std::string folder =
                (redirected ? GetRedirectedSystemDirectory() : GetSysDir()) + "\\";
            for (const std::string& name : FindFiles(folder, "*.scr")) {
                std::string display = name.substr(0, name.rfind('.'));
                if (nt) {
                    std::string resource;
                    if (!LoadStringFromDataFile(folder + name, 1, resource))
                        display.clear();
                    else if (!resource.empty())
                        display = resource;
                }
                if (display.empty() || cbScreenSaver->IndexOf(display) >= 0) continue;
                auto info = std::make_shared<TSSInfo>();
                info->FileName = folder + name;
                const int index = cbScreenSaver->AddItem(display);
                cbScreenSaver->Items[static_cast<std::size_t>(index)].object = info;
                if (selected >= 0 && index <= selected) ++selected;
                const std::string entry = FindFile(info->FileName);
                if (!found.empty() && !entry.empty() && text::namesEqual(entry, found))
                    selected = index;
            }
        }
    }
    cbScreenSaver->SetItemIndex(selected >= 0 ? selected : cbScreenSaver->IndexOf(kNone));
    enableSaverControls();
}

const TSSInfo* TfrmEditLogonOld::SelectedSaver() const {
    const int i = cbScreenSaver->ItemIndex();
    if (i < 0 || i >= static_cast<int>(cbScreenSaver->Items.size())) return nullptr;
    return static_cast<const TSSInfo*>(
        cbScreenSaver->Items[static_cast<std::size_t>(i)].object.get());
}

void TfrmEditLogonOld::enableSaverControls() {
    const bool on = SelectedSaver() != nullptr;
    for (TControl* c :
         {static_cast<TControl*>(btnSaverSettings), static_cast<TControl*>(btnSaverPreview),
          static_cast<TControl*>(udScreenSaver), static_cast<TControl*>(lblScreenSaver1),
          static_cast<TControl*>(lblScreenSaver2)})
        SetControlStatus(*c, on, "");
}

void TfrmEditLogonOld::cbScreenSaverSelect(TComponent&) {
    enableSaverControls();
    if (!filling()) SetScreenSaver();
}

void TfrmEditLogonOld::SetScreenSaver() {
    udScreenSaver->Tag = 0;
    if (const TSSInfo* saver = SelectedSaver()) {
        SetRegStringValue(HKEY_USERS, kDesktop, "ScreenSaveActive", "1", {});
        SetRegStringValue(HKEY_USERS, kDesktop, "SCRNSAVE.EXE", saver->FileName, {});
        SetRegStringValue(HKEY_USERS, kDesktop, "ScreenSaveTimeOut",
                          std::to_string(udScreenSaver->GetPosition() * 60), {});
    } else {
        SetRegStringValue(HKEY_USERS, kDesktop, "ScreenSaveActive", "0", {});
    }
}

void TfrmEditLogonOld::udScreenSaverChange(TComponent&) {
    mark(*udScreenSaver);
}

void TfrmEditLogonOld::udScreenSaverExit(TComponent&) {
    // Passing through the field keeps a stored time that is not whole minutes.
    if (udScreenSaver->Tag == 1) SetScreenSaver();
}

std::string TfrmEditLogonOld::saverPath() const {
    const TSSInfo* saver = SelectedSaver();
    if (!saver) return {};
    if (saver->FileName.find('\\') == std::string::npos)
        return GetSysDir() + "\\" + saver->FileName;
    return saver->FileName;
}

void TfrmEditLogonOld::btnSaverPreviewClick(TComponent&) {
    if (SelectedSaver() && ShellExecuteWrapper(saverPath(), "/S", "", 1) <= 32)
        reportNotStarted(saverPath());
}

void TfrmEditLogonOld::btnSaverSettingsClick(TComponent&) {
    if (SelectedSaver() && ShellExecuteWrapper(0, "config", saverPath(), "", "", 1) <= 32)
        reportNotStarted(saverPath());
}

// ---- OK / Abbrechen ----

void TfrmEditLogonOld::btnOKClick(TComponent&) {
    const JournalTransaction transaction;
    if (gbLogonPrompt->Tag == 1) {
        if (chkLogonPrompt->Checked())
            SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "LogonPrompt", txtLogonPrompt->Text(),
                              {2});
        else
            DeleteRegValue(HKEY_LOCAL_MACHINE, kWinlogon, "LogonPrompt", {2});
    }
    if (gbAppendTitle->Tag == 1) {
        if (chkAppendTitle->Checked())
            SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome", txtAppendTitle->Text(),
                              {2});
        else
            DeleteRegValue(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome", {2});
    }
    if (chkSecureLogon->Tag == 1) writeSetting("DisableCAD", true, !chkSecureLogon->Checked());
    if (chkHideLastUser->Tag == 1)
        writeSetting("DontDisplayLastUserName", false, chkHideLastUser->Checked());
    if (chkAllowShutdown->Tag == 1)
        writeSetting("ShutdownWithoutLogon", false, chkAllowShutdown->Checked());
    ModalResult = mrOk;
}

void TfrmEditLogonOld::btnCancelClick(TComponent&) {
    ModalResult = mrCancel;
}

} // namespace ravelin::logon
