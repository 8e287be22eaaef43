#include "logon/ufrmEditLogonNew.h"

#include "host/Controlhelper.h"
#include "host/Nxgraphics.h"
#include "host/Nxregistry.h"
#include "host/Stringhelper.h"
#include "host/Winapi.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"

namespace ravelin::logon {

using namespace toolkit;

TfrmEditLogonNew* frmEditLogonNew = nullptr;

namespace {

constexpr const char* kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kUserList =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\SpecialAccounts\\UserList";
constexpr const char* kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const char* kUnreadMail = "Software\\Microsoft\\Windows\\CurrentVersion\\UnreadMail";
constexpr const char* kDesktop = ".DEFAULT\\Control Panel\\Desktop";
constexpr char kFieldSeparator = 29;

// Accounts are shown on the Welcome screen unless hidden, except the built-in
// administrator, who is hidden unless shown.
bool shownByDefault(const std::string& account) {
    return account != "Administrator";
}

// Sizes a label to its text and moves its field 5 pixels right of it, keeping the field's
// right edge.
void placeAfter(TLabel& label, TControl& field) {
    const int right = field.Left + field.Width;
    label.Width = TApplication::TextWidth(label.Caption);
    field.Left = label.Left + label.Width + 5;
    field.Width = std::max(20, right - field.Left);
}

} // namespace

TfrmEditLogonNew::TfrmEditLogonNew(TComponent* owner) : PageBase(owner) {
    loadForm();
    frmEditLogonNew = this;
    Fire(OnCreate);
}

TfrmEditLogonNew::~TfrmEditLogonNew() {
    if (frmEditLogonNew == this) frmEditLogonNew = nullptr;
}

void TfrmEditLogonNew::FormCreate(TComponent&) {
    LoadGraphic(12000, *imgMail, 17);
    LoadGraphic(12001, *imgShutdown, 17);
    LoadGraphic(12002, *imgFastSwitch, 17);
    LoadGraphic(12003, *imgAppendTitle, 17);
    LoadGraphic(12004, *imgFontSmoothing, 17);
    LoadGraphic(12005, *imgHideUsers, 17);
    placeAfter(*lblAppendTitle, *txtAppendTitle);
    placeAfter(*lblFontSmoothingType, *cbFontSmoothingType);
    if (Trim(StripAccelerator(lblUnreadMails1->Caption)).empty()) {
        // No words before the number of days: the field takes the label's place.
        udUnreadMails->Left = lblUnreadMails1->Left;
        lblUnreadMails1->Visible = false;
        lblUnreadMails2->FocusControl = udUnreadMails;
    } else {
        lblUnreadMails1->SetCaption(lblUnreadMails1->Caption);
        lblUnreadMails1->FocusControl = udUnreadMails;
        udUnreadMails->Left = lblUnreadMails1->Left + lblUnreadMails1->Width + 5;
    }
    lblUnreadMails2->Left = udUnreadMails->Left + udUnreadMails->Width + 5;
    pcEditLogonNew->SetActivePage(tsGeneral);
}

// ---- Allgemein ----

void TfrmEditLogonNew::tsGeneralShow(TComponent&) {
    if (!firstShow(*tsGeneral)) return;
    const JournalDiscarding discarding;
    if (GetRegSetting(HKEY_LOCAL_MACHINE, kWinlogon, "AllowMultipleTSSessions", false, {}))
        optFastSwitchOn->SetChecked(true);
    else
        optFastSwitchOff->SetChecked(true);
    const std::string welcome =
        GetRegStringValueDef(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome", "", {});
    chkAppendTitle->SetChecked(!welcome.empty());
    txtAppendTitle->SetText(welcome);
    chkAppendTitleClick(*chkAppendTitle);
}

void TfrmEditLogonNew::optFastSwitchClick(TComponent&) {
    mark(*gbFastSwitch);
}

void TfrmEditLogonNew::chkAppendTitleClick(TComponent&) {
    SetControlStatus(*txtAppendTitle, chkAppendTitle->Checked(), "");
    SetControlStatus(*lblAppendTitle, chkAppendTitle->Checked(), "");
    mark(*gbAppendTitle);
}

void TfrmEditLogonNew::txtAppendTitleChange(TComponent&) {
    mark(*gbAppendTitle);
}

// ---- Sicherheit ----

void TfrmEditLogonNew::addAccounts() {
    std::vector<USER_INFO_1> buffer;
    DWORD resume = 0;
    int rc = 0;
    do {
        rc = NetUserEnum(buffer, 16, resume);
        if (rc != NERR_Success && rc != ERROR_MORE_DATA) break; // keeps what was read so far
        for (const USER_INFO_1& user : buffer) {
            if (user.usri1_priv != USER_PRIV_USER && user.usri1_priv != USER_PRIV_ADMIN) continue;
            const std::string& name = user.usri1_name;
            const int index =
                lbHideUsers->AddItem(std::string("0") + kFieldSeparator +
                                     text::trf("\"%1\" anzeigen", name) + kFieldSeparator + name);
            lbHideUsers->SetCheck(index, GetRegSetting(HKEY_LOCAL_MACHINE, kUserList, name,
                                                       shownByDefault(name), {2}));
            lbHideUsers->SetMyItemData(index, 0);
        }
        NetApiBufferFree(buffer);
    } while (rc == ERROR_MORE_DATA);
}

void TfrmEditLogonNew::tsSecurityShow(TComponent&) {
    if (!firstShow(*tsSecurity)) return;
    const JournalDiscarding discarding;
    addAccounts();
    shownChecks_.clear();
    for (int i = 0; i < static_cast<int>(lbHideUsers->Items.size()); ++i)
        shownChecks_.push_back(lbHideUsers->GetCheck(i));
    DWORD policy = 0;
    std::string shutdown;
    if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, "ShutdownWithoutLogon", policy, {}) ==
        ERROR_SUCCESS)
        chkAllowShutdown->SetChecked(policy == 1);
    else if (GetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "ShutdownWithoutLogon", shutdown,
                               {}) == ERROR_SUCCESS)
        chkAllowShutdown->SetChecked(shutdown == "1");
    else
        chkAllowShutdown->SetChecked(true);
}

void TfrmEditLogonNew::chkAllowShutdownClick(TComponent&) {
    mark(*chkAllowShutdown);
}

void TfrmEditLogonNew::lbHideUsersClickCheck(TComponent&) {
    // The entry that changed: the one whose state differs from what was last seen.
    const int count = static_cast<int>(lbHideUsers->Items.size());
    shownChecks_.resize(static_cast<std::size_t>(count), true);
    int changed = -1;
    for (int i = 0; i < count && changed < 0; ++i)
        if (lbHideUsers->GetCheck(i) != shownChecks_[static_cast<std::size_t>(i)]) changed = i;
    if (changed < 0) return;
    const auto slot = static_cast<std::size_t>(changed);
    shownChecks_[slot] = lbHideUsers->GetCheck(changed);
    if (filling()) return;
    const std::string account = ParamX(lbHideUsers->Items[slot], 3, kFieldSeparator);
    if (!lbHideUsers->GetCheck(changed) && account == GetUserNameW()) {
        const int answer = Application().MessageBox(
            text::tr(
                "Sie sind im Begriff, Ihren eigenen Benutzernamen von der Willkommensseite zu "
                "entfernen. Um sich trotz verborgenem Benutzernamen am System anzumelden, müssen "
                "Sie "
                "2x Strg+Alt+Entf drücken und im erscheinenden Anmeldedialog manuell Benutzername "
                "und "
                "Kennwort eingeben. Dies ist nur möglich, wenn sonst niemand am System angemeldet "
                "ist.\r\n\r\nWollen Sie Ihren Benutzernamen wirklich von der Willkommensseite "
                "entfernen?"),
            text::tr("Warnung zur Entfernung des eigenen Benutzernamens"),
            MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
        if (answer != IDYES) {
            lbHideUsers->SetCheck(changed, true);
            shownChecks_[slot] = true;
            return;
        }
    }
    lbHideUsers->Tag = 1;
    lbHideUsers->SetMyItemData(changed, 1);
}

// ---- E-Mail ----

void TfrmEditLogonNew::tsMailShow(TComponent&) {
    if (!firstShow(*tsMail)) return;
    const JournalDiscarding discarding;
    DWORD days = 3;
    if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, kUnreadMail, "MessageExpiryDays", days, {}) ==
        ERROR_SUCCESS) {
        optUnreadMailsApplyAll->SetChecked(true);
    } else {
        optUnreadMailsApplyCur->SetChecked(true);
        if (GetRegDWORDValue(HKEY_CURRENT_USER, kUnreadMail, "MessageExpiryDays", days, {}) !=
            ERROR_SUCCESS)
            days = 3;
    }
    if (days == 0) {
        optUnreadMailsShowNone->SetChecked(true);
    } else if (days <= 1000) {
        optUnreadMailsShowSome->SetChecked(true);
        udUnreadMails->SetPosition(static_cast<int>(days));
    } else {
        optUnreadMailsShowAll->SetChecked(true);
    }
    optUnreadMailsClick(*optUnreadMailsShowSome);
}

void TfrmEditLogonNew::optUnreadMailsClick(TComponent&) {
    const bool some = optUnreadMailsShowSome->Checked();
    for (TControl* c :
         {static_cast<TControl*>(udUnreadMails), static_cast<TControl*>(lblUnreadMails1),
          static_cast<TControl*>(lblUnreadMails2)})
        SetControlStatus(*c, some, "");
    mark(*gbUnreadMails);
}

void TfrmEditLogonNew::udUnreadMailsChange(TComponent&) {
    mark(*gbUnreadMails);
}

void TfrmEditLogonNew::optUnreadMailsApplyClick(TComponent&) {
    mark(*gbUnreadMails);
}

// ---- Ansicht ----

void TfrmEditLogonNew::tsViewShow(TComponent&) {
    if (!firstShow(*tsView)) return;
    const JournalDiscarding discarding;
    DWORD type = 0;
    const bool on =
        GetRegStringValueDef(HKEY_USERS, kDesktop, "FontSmoothing", "0", {}) == "2" &&
        GetRegDWORDValue(HKEY_USERS, kDesktop, "FontSmoothingType", type, {}) == ERROR_SUCCESS &&
        (type == 1 || type == 2);
    chkEnableFontSmoothing->SetChecked(on);
    cbFontSmoothingType->SetItemIndex(on && type == 2 ? 1 : 0);
    chkEnableFontSmoothingClick(*chkEnableFontSmoothing);
}

void TfrmEditLogonNew::chkEnableFontSmoothingClick(TComponent&) {
    SetControlStatus(*cbFontSmoothingType, chkEnableFontSmoothing->Checked(), "");
    SetControlStatus(*lblFontSmoothingType, chkEnableFontSmoothing->Checked(), "");
    mark(*gbFontSmoothing);
}

void TfrmEditLogonNew::cbFontSmoothingTypeChange(TComponent&) {
    mark(*gbFontSmoothing);
}

// ---- OK / Abbrechen ----

void TfrmEditLogonNew::btnOKClick(TComponent&) {
    const JournalTransaction transaction;
    if (gbFastSwitch->Tag == 1)
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, kWinlogon, "AllowMultipleTSSessions",
                         optFastSwitchOn->Checked() ? 1 : 0, {});
    if (gbAppendTitle->Tag == 1) {
        if (chkAppendTitle->Checked())
            SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome", txtAppendTitle->Text(), {});
        else
            DeleteRegValue(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome", {});
    }
    if (lbHideUsers->Tag == 1) {
        for (int i = 0; i < static_cast<int>(lbHideUsers->Items.size()); ++i) {
            if (lbHideUsers->GetMyItemData(i) != 1) continue;
            const std::string account =
                ParamX(lbHideUsers->Items[static_cast<std::size_t>(i)], 3, kFieldSeparator);
            const bool shown = lbHideUsers->GetCheck(i);
            if (shown == shownByDefault(account))
                DeleteRegValue(HKEY_LOCAL_MACHINE, kUserList, account, {2});
            else
                SetRegDWORDValue(HKEY_LOCAL_MACHINE, kUserList, account, shown ? 1 : 0, {2});
        }
    }
    if (chkAllowShutdown->Tag == 1) {
        const DWORD on = chkAllowShutdown->Checked() ? 1 : 0;
        SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "ShutdownWithoutLogon", on ? "1" : "0",
                          {});
        DWORD policy = 0;
        if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, "ShutdownWithoutLogon", policy, {}) ==
                ERROR_SUCCESS &&
            policy != on)
            SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPolicies, "ShutdownWithoutLogon", on, {});
    }
    if (gbUnreadMails->Tag == 1) {
        const DWORD days = optUnreadMailsShowSome->Checked()
                               ? static_cast<DWORD>(udUnreadMails->GetPosition())
                           : optUnreadMailsShowAll->Checked() ? 0xFFFFFFFFu
                                                              : 0u;
        const bool allUsers = optUnreadMailsApplyAll->Checked();
        DeleteRegValue(allUsers ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kUnreadMail,
                       "MessageExpiryDays", {});
        SetRegDWORDValue(allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kUnreadMail,
                         "MessageExpiryDays", days, {});
    }
    if (gbFontSmoothing->Tag == 1) {
        const bool on = chkEnableFontSmoothing->Checked();
        SetRegStringValue(HKEY_USERS, kDesktop, "FontSmoothing", on ? "2" : "0", {});
        SetRegDWORDValue(HKEY_USERS, kDesktop, "FontSmoothingType",
                         on ? (cbFontSmoothingType->ItemIndex() == 1 ? 2u : 1u) : 0u, {});
    }
    ModalResult = mrOk;
}

void TfrmEditLogonNew::btnCancelClick(TComponent&) {
    ModalResult = mrCancel;
}

} // namespace ravelin::logon
