#include "network/ufrmNetwork.h"

#include "host/Controlhelper.h"
#include "host/Nxgraphics.h"
#include "host/Nxhelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/text/Translate.h"
#include "network/ufrmTCPIP.h"
#include "toolkit/Application.h"
#include "toolkit/TextCompare.h"

#include <algorithm>

namespace ravelin::network {

using namespace toolkit;

TfrmNetwork* frmNetwork = nullptr;
std::string RegSMB;
int ICS = 0;

const char* const kStandardTimeServers[5] = {
    "time.windows.com", "time.nist.gov", "time-nw.nist.gov", "time-a.nist.gov", "time-b.nist.gov"};

namespace {

// Server addresses are compared the way the list sorts them: ignoring case, umlauts too.
bool sameServer(const std::string& a, const std::string& b) {
    return toolkit::AnsiSameText(a, b);
}

constexpr const char* kNameSpace =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RemoteComputer\\NameSpace\\";
constexpr const char* kTasksClsid = "{D6277990-4C6A-11CF-8D87-00AA0060F5BF}";
constexpr const char* kPrintersClsid = "{2227A280-3AEA-1069-A2DE-08002B30309D}";
constexpr const char* kExplorerAdvanced =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kPoliciesExplorer =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kServer = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
constexpr const char* kPsched = "SOFTWARE\\Policies\\Microsoft\\Windows\\PSched";
constexpr const char* kPoliciesNetwork =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network";
constexpr const char* kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kTimeServers =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DateTime\\Servers";
constexpr const char* kW32Time = "System\\CurrentControlSet\\Services\\W32Time\\Parameters";
constexpr const char* kFirewallPolicy =
    "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\";
constexpr const char* kHME = "SOFTWARE\\Wow6432Node\\Microsoft\\MediaPlayer\\Preferences\\HME";
constexpr std::uint32_t kBlue = 0xFF0000, kNavy = 0x800000;

DWORD flagValue(bool on) {
    return on ? 1u : 0u;
}

} // namespace

TfrmNetwork::TfrmNetwork(TComponent* owner) : PageBase(owner) {
    loadForm();
    Fire(OnCreate);
}

TfrmNetwork::~TfrmNetwork() {
    if (frmNetwork == this) frmNetwork = nullptr;
}

void TfrmNetwork::FormCreate(TComponent&) {
    const int os = CurrentOS();
    const bool nt = GetPlatformId() == 2;
    xpSp2_ = IsWinXPSP(2);
    LoadGraphic(20000, *imgTCPIP, 17);
    LoadGraphic(20001, *imgRASConnection, 17);
    LoadGraphic(xpSp2_ ? 20002 : 20003, *imgICS, 17);
    LoadGraphic(20004, *imgNetPlaces, 17);
    LoadGraphic(20005, *imgSharedFolder, 17);
    LoadGraphic(20006, *imgTimeSync, 17);
    LoadGraphic(20007, *imgShares, 17);
    LoadGraphic(20010, *imgPassSaving, 17);
    SetupIL(*ilTimeServers);
    AddGraphicToIL(20011, *ilTimeServers, 17);
    AddGraphicToIL(20012, *ilTimeServers, 17);
    lvTimeServers->SmallImages = ilTimeServers; // image 1 marks the default server
    RegSMB = nt ? "System\\CurrentControlSet\\Services\\LanmanWorkStation\\Parameters"
                : "System\\CurrentControlSet\\Services\\VxD\\Vnetsup";

    // What each Windows shows.
    tsShares->TabVisible = gbNetTasks->Visible = os >= 4;
    chkNetTasks->Visible = os < 7;
    chkNetPrinters->Visible = os == 7;
    chkRecentDocsNetHood->Visible = os < 7;
    gbAdvSettings->Visible = nt;
    gbHideSharePwds->Visible = !nt;
    gbEncryptPwds->Visible = os != 1;
    tsAdvancedNT->TabVisible = os >= 6;
    OSVersionInfoEx version;
    GetVersion2k(version);
    gbQoS->Visible = os >= 6 && !(version.wSuiteMask & 0x0200);
    gbUPnP->Visible = os >= 5; // and "upnphost" exists: checked on first show
    tsTimeSync->TabVisible = os >= 6;
    gbTCPIP->Visible = os < 7;
    gbKeepRASConnections->Visible = nt;
    gbSharedAccess->Visible = os >= 6;
    tsPasswords->TabVisible = gbPasswordStorage->Visible = os < 7;
    if (tsAdvancedNT->TabVisible) LoadGraphic(20008, *imgQOS, 17);

    udBWLimit->Left = lblBWLimit->Left + lblBWLimit->Width + 6;
    lblBWPercent->Left = udBWLimit->Left + udBWLimit->Width + 6;
    // Each tab closes the rows its hidden groups and boxes leave, the groups' own first.
    for (TWinControl* container :
         {static_cast<TWinControl*>(tsShares), static_cast<TWinControl*>(tsAdvancedNT),
          static_cast<TWinControl*>(tsPasswords), static_cast<TWinControl*>(tsInternet)})
        CloseGaps(*container);
    if (xpSp2_) {
        gbSharedAccess->Caption = text::tr("Windows-Firewall");
        lblSharedAccess->SetCaption(
            text::tr("Die Windows-Firewall schützt den Computer vor Angriffen "
                     "unautorisierter Benutzer über das "
                     "Internet bzw. ein Netzwerk."));
        chkEnableICFnICS->Caption = text::tr("Windows-Firewall aktivieren");
    }
    ActivateFirstVisiblePage(*pcNetwork);
}

// ---- Netzwerkumgebung ----

void TfrmNetwork::tsSharesShow(TComponent&) {
    if (!firstShow(*tsShares)) return;
    const JournalDiscarding discarding;
    if (chkNetTasks->Visible)
        chkNetTasks->SetChecked(
            KeyExist(HKEY_LOCAL_MACHINE, std::string(kNameSpace) + kTasksClsid, {2}));
    if (chkNetPrinters->Visible)
        chkNetPrinters->SetChecked(
            KeyExist(HKEY_LOCAL_MACHINE, std::string(kNameSpace) + kPrintersClsid, {2}));
    chkNoNetcrawling->SetChecked(!GetRegSettingEx(
        std::string("HKEY_CURRENT_USER\\") + kExplorerAdvanced, "NoNetCrawling", false, {}));
    if (chkRecentDocsNetHood->Visible)
        chkRecentDocsNetHood->SetChecked(
            !GetRegSetting(HKEY_CURRENT_USER, kPoliciesExplorer, "NoRecentDocsNetHood", false, {}));
    if (gbAdvSettings->Visible) {
        chkAdminShares->SetChecked(
            GetRegSetting(HKEY_LOCAL_MACHINE, kServer, "AutoShareWks", true, {}));
        chkHideMyComputerFromNetHood->SetChecked(
            GetRegSetting(HKEY_LOCAL_MACHINE, kServer, "Hidden", false, {}));
    }
}

void TfrmNetwork::nameSpaceKey(bool checked, const char* clsid) {
    const std::string key = std::string(kNameSpace) + clsid;
    if (checked) {
        std::string name =
            GetRegStringValueDef(HKEY_CLASSES_ROOT, std::string("CLSID\\") + clsid, "", "", {2});
        SetRegStringValue(HKEY_LOCAL_MACHINE, key, "", name, {2});
    } else {
        DeleteRegKey(HKEY_LOCAL_MACHINE, key, {2});
    }
}

void TfrmNetwork::chkNetTasksClick(TComponent&) {
    if (filling()) return;
    nameSpaceKey(chkNetTasks->Checked(), kTasksClsid);
}

void TfrmNetwork::chkNetPrintersClick(TComponent&) {
    if (filling()) return;
    nameSpaceKey(chkNetPrinters->Checked(), kPrintersClsid);
    JournalSetFlag(2);
}

void TfrmNetwork::chkNoNetcrawlingClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kExplorerAdvanced, "NoNetCrawling",
                     flagValue(!chkNoNetcrawling->Checked()), {});
}

void TfrmNetwork::chkRecentDocsNetHoodClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_CURRENT_USER, kPoliciesExplorer, "NoRecentDocsNetHood",
                     flagValue(!chkRecentDocsNetHood->Checked()), {});
}

void TfrmNetwork::chkAdminSharesClick(TComponent&) {
    if (filling()) return;
    DWORD value = 0;
    SetOneIfTrue(chkAdminShares->Checked(), value);
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kServer, "AutoShareWks", value, {});
    JournalSetFlag(2);
}

void TfrmNetwork::chkHideMyComputerFromNetHoodClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_LOCAL_MACHINE,
                     "System\\CurrentControlSet\\Services\\LanmanServer\\Parameters", "Hidden",
                     flagValue(chkHideMyComputerFromNetHood->Checked()), {});
    JournalSetFlag(2);
}

void TfrmNetwork::btnDefSharesClick(TComponent&) {
    if (gbAdvSettings->Visible) {
        chkHideMyComputerFromNetHood->SetChecked(false);
        if (chkRecentDocsNetHood->Visible) chkRecentDocsNetHood->SetChecked(true);
        chkAdminShares->SetChecked(true);
    }
    if (gbNetTasks->Visible) {
        if (chkNetTasks->Visible) chkNetTasks->SetChecked(true);
        chkNoNetcrawling->SetChecked(true);
        if (chkNetPrinters->Visible) chkNetPrinters->SetChecked(true);
    }
}

// ---- Erweitert ----

void TfrmNetwork::tsAdvancedNTShow(TComponent&) {
    if (!firstShow(*tsAdvancedNT)) return;
    const JournalDiscarding discarding;
    if (gbQoS->Visible) {
        int limit = 20;
        if (GetRegIntValue(HKEY_LOCAL_MACHINE, kPsched, "NonBestEffortLimit", limit, 20, {}) !=
            ERROR_SUCCESS)
            limit = 20;
        if (limit != 0) {
            chkEnableQoS->SetChecked(true);
            udBWLimit->SetPosition(limit);
        } else {
            chkEnableQoS->SetChecked(false);
        }
        udBWLimit->Enabled = chkEnableQoS->Checked();
    }
    if (gbUPnP->Visible) {
        int start = 0;
        if (GetServiceStartType("upnphost", start))
            chkEnableUPnP->SetChecked(start != 1);
        else
            gbUPnP->Visible = false;
    }
}

void TfrmNetwork::SetBWLimit() {
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPsched, "NonBestEffortLimit",
                     chkEnableQoS->Checked() ? static_cast<DWORD>(udBWLimit->GetPosition()) : 0u,
                     {});
    JournalSetFlag(2);
}

void TfrmNetwork::chkEnableQoSClick(TComponent&) {
    udBWLimit->Enabled = chkEnableQoS->Checked();
    if (!filling()) SetBWLimit();
}

void TfrmNetwork::udBWLimitChange(TComponent&) {
    JournalSetFlag(0);
}
void TfrmNetwork::udBWLimitExit(TComponent&) {
    SetBWLimit();
}

void TfrmNetwork::chkEnableUPnPClick(TComponent&) {
    if (filling()) return;
    std::vector<std::string> dependants = GetDependentServiceList("upnphost");
    if (chkEnableUPnP->Checked()) {
        std::vector<std::string> order{"upnphost"};
        order.insert(order.end(), dependants.rbegin(), dependants.rend());
        for (const auto& service : order) {
            int start = 0;
            int newStart = 2;
            if (GetServiceStartType(service, start)) newStart = start == 1 ? 2 : 0;
            ConfigureService(service, newStart, 0, false);
        }
        return;
    }
    std::vector<std::string> order = dependants;
    order.push_back("upnphost");
    for (const auto& service : order) {
        int state = 0, start = 0;
        const int action = GetServiceState(service, state) && state != 4 ? 0 : 2;
        const int newStart = GetServiceStartType(service, start) && start == 1 ? 0 : 1;
        if (newStart != 0 || action != 0)
            ConfigureService(service, newStart, action, service != "upnphost");
    }
    if (KeyExist(HKEY_LOCAL_MACHINE, kHME, {})) {
        std::vector<std::string> users;
        EnumRegKeysEx(HKEY_LOCAL_MACHINE, kHME, users, {});
        for (const auto& u : users)
            if (RegValueExists(HKEY_LOCAL_MACHINE, std::string(kHME) + "\\" + u,
                               "SharedLibraryPath", {}))
                SetRegStringValue(HKEY_LOCAL_MACHINE, std::string(kHME) + "\\" + u,
                                  "SharedLibraryPath", "", {});
    }
}

void TfrmNetwork::btnSecurityOptClick(TComponent&) {
    if (gbUPnP->Visible) chkEnableUPnP->SetChecked(false);
}

void TfrmNetwork::btnDefPerformanceClick(TComponent&) {
    if (gbUPnP->Visible) chkEnableUPnP->SetChecked(true);
    if (gbQoS->Visible) {
        chkEnableQoS->SetChecked(true);
        udBWLimit->SetPosition(20); // stored when the box changes or the field is next left
    }
}

// ---- Kennwörter ----

void TfrmNetwork::tsPasswordsShow(TComponent&) {
    if (!firstShow(*tsPasswords)) return;
    const JournalDiscarding discarding;
    if (gbPasswordStorage->Visible) {
        chkPwdCaching->SetChecked(
            !GetRegSetting(HKEY_LOCAL_MACHINE, kPoliciesNetwork, "DisablePwdCaching", false, {}));
        chkDomainPwdCaching->SetChecked(
            !GetRegSetting(HKEY_LOCAL_MACHINE, "Network\\Logon", "NoDomainPwdCaching", false, {}));
    }
    if (gbHideSharePwds->Visible)
        chkHideSharePwds->SetChecked(
            GetRegSetting(HKEY_LOCAL_MACHINE, kPoliciesNetwork, "HideSharePwds", true, {}));
    if (gbEncryptPwds->Visible)
        chkEncryptPwds->SetChecked(
            !GetRegSetting(HKEY_LOCAL_MACHINE, RegSMB, "EnablePlainTextPassword", false, {}));
}

void TfrmNetwork::chkPwdCachingClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPoliciesNetwork, "DisablePwdCaching",
                     flagValue(!chkPwdCaching->Checked()), {});
}
void TfrmNetwork::chkDomainPwdCachingClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, "Network\\Logon", "NoDomainPwdCaching",
                     flagValue(!chkDomainPwdCaching->Checked()), {});
}
void TfrmNetwork::chkHideSharePwdsClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPoliciesNetwork, "HideSharePwds",
                     flagValue(chkHideSharePwds->Checked()), {});
}
void TfrmNetwork::chkEncryptPwdsClick(TComponent&) {
    if (filling()) return;
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, RegSMB, "EnablePlainTextPassword",
                     flagValue(!chkEncryptPwds->Checked()), {});
    JournalSetFlag(2);
}

void TfrmNetwork::btnPasswordsDefaultClick(TComponent&) {
    chkPwdCaching->SetChecked(true);
    chkDomainPwdCaching->SetChecked(true);
    chkEncryptPwds->SetChecked(true);
    if (gbHideSharePwds->Visible) chkHideSharePwds->SetChecked(true);
}

// ---- Internetzeit ----

void TfrmNetwork::sortTimeServers() {
    lvTimeServers->SortByCaption();
}

void TfrmNetwork::tsTimeSyncShow(TComponent&) {
    if (!firstShow(*tsTimeSync)) return;
    const JournalDiscarding discarding;
    fillingTime_ = true;
    std::string def = GetRegStringValueDef(HKEY_LOCAL_MACHINE, kTimeServers, "", "0", {2});
    std::vector<std::string> names, data;
    EnumRegValuesEx(HKEY_LOCAL_MACHINE, kTimeServers, names, data, {2});
    lvTimeServers->BeginUpdate();
    lvTimeServers->Clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty() || data[i].empty()) continue;
        TListItem& item = lvTimeServers->Add();
        item.Caption = data[i];
        item.ImageIndex = names[i] == def ? 1 : 0;
    }
    sortTimeServers();
    bool any = false;
    for (int i = 0; i < lvTimeServers->Count(); ++i)
        any = any || lvTimeServers->Item(i).ImageIndex == 1;
    if (!any && lvTimeServers->Count() > 0) lvTimeServers->Item(0).ImageIndex = 1;
    lvTimeServers->EndUpdate();
    chkSyncTime->SetChecked(GetRegStringValueDef(HKEY_LOCAL_MACHINE, kW32Time, "Type", "", {}) ==
                            "NTP");
    chkSyncTimeClick(*chkSyncTime); // the enabling rules, also when the box did not change
    fillingTime_ = false;
}

void TfrmNetwork::updateTimeServerButtons() {
    TListItem* selected = lvTimeServers->Selected();
    btnTimeSvrDel->Enabled = chkSyncTime->Checked() && selected;
    btnTimeSvrSetAsDefault->Enabled =
        chkSyncTime->Checked() && selected && selected->ImageIndex != 1;
}

void TfrmNetwork::chkSyncTimeClick(TComponent&) {
    const bool on = chkSyncTime->Checked();
    for (TControl* c :
         {static_cast<TControl*>(lblTimeServersTopic), static_cast<TControl*>(lblTimeServersDesc),
          static_cast<TControl*>(btnTimeSvrAdd), static_cast<TControl*>(lvTimeServers)})
        SetControlStatus(*c, on, "");
    updateTimeServerButtons();
    // Filling does not write: a "Type" set by a domain stays until the user clicks.
    if (!fillingTime_)
        SetRegStringValue(HKEY_LOCAL_MACHINE, kW32Time, "Type", on ? "NTP" : "NoSync", {});
}

void TfrmNetwork::lvTimeServersChange(TComponent&, TListItem&, TItemChange change) {
    if (change == TItemChange::ctState || change == TItemChange::ctImage) updateTimeServerButtons();
}

void TfrmNetwork::SaveTimeServers() {
    DeleteRegKey(HKEY_LOCAL_MACHINE, kTimeServers, {2});
    bool marked = false;
    for (int i = 0; i < lvTimeServers->Count(); ++i) {
        TListItem& item = lvTimeServers->Item(i);
        if (item.ImageIndex == 1) {
            SetRegStringValue(HKEY_LOCAL_MACHINE, kTimeServers, "", std::to_string(i), {2});
            marked = true;
        }
        SetRegStringValue(HKEY_LOCAL_MACHINE, kTimeServers, std::to_string(i), item.Caption, {2});
    }
    if (!marked && lvTimeServers->Count() > 0) {
        SetRegStringValue(HKEY_LOCAL_MACHINE, kTimeServers, "", "0", {2});
        lvTimeServers->Item(0).ImageIndex = 1;
    }
    syncNtpServer();
}

// The time service asks "NtpServer", not the list: whenever the list's default changes
// (defaults restored, the default deleted, the first server added), the service follows
// it. A value that already names the default first, with whatever flags, is left as it is.
void TfrmNetwork::syncNtpServer() {
    for (int i = 0; i < lvTimeServers->Count(); ++i) {
        const TListItem& item = lvTimeServers->Item(i);
        if (item.ImageIndex != 1) continue;
        std::string current =
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, kW32Time, "NtpServer", "", {});
        const std::string first = current.substr(0, current.find_first_of(", "));
        if (!sameServer(first, item.Caption))
            SetRegStringValue(HKEY_LOCAL_MACHINE, kW32Time, "NtpServer", item.Caption + ",0x1", {});
        return;
    }
}

void TfrmNetwork::btnTimeSvrAddClick(TComponent&) {
    DialogService* dialogs = Application().Dialogs();
    std::optional<std::string> address =
        dialogs
            ? dialogs->inputBox(text::tr("Zeitserver hinzufügen"),
                                text::tr("Bitte geben Sie die Adresse des Zeitservers ein:"), "")
            : std::nullopt;
    if (!address || address->empty()) return;
    for (int i = 0; i < lvTimeServers->Count(); ++i) {
        if (sameServer(lvTimeServers->Item(i).Caption, *address)) {
            Application().MessageBox(
                text::tr("Der eingegebene Zeitserver befindet sich bereits in der Liste."), "",
                MB_OK | MB_ICONERROR);
            return;
        }
    }
    TListItem& item = lvTimeServers->Add();
    item.Caption = *address;
    item.ImageIndex = 0;
    sortTimeServers();
    if (TListItem* added = lvTimeServers->FindCaption(*address)) {
        added->Focused = true;
        added->SetSelected(true);
    }
    SaveTimeServers();
}

void TfrmNetwork::btnTimeSvrDelClick(TComponent&) {
    TListItem* selected = lvTimeServers->Selected();
    if (!selected) return;
    lvTimeServers->Delete(selected->Index());
    SaveTimeServers();
    updateTimeServerButtons();
}

void TfrmNetwork::btnTimeSvrSetAsDefaultClick(TComponent&) {
    TListItem* selected = lvTimeServers->Selected();
    if (!selected) return;
    for (int i = 0; i < lvTimeServers->Count(); ++i)
        lvTimeServers->Item(i).ImageIndex = 0;
    selected->ImageIndex = 1;
    SetRegStringValue(HKEY_LOCAL_MACHINE, kW32Time, "NtpServer", selected->Caption + ",0x1", {});
    SaveTimeServers();
    btnTimeSvrSetAsDefault->Enabled = false;
}

void TfrmNetwork::btnDefTimeSyncClick(TComponent&) {
    chkSyncTime->SetChecked(true);
    lvTimeServers->Clear();
    for (int i = 0; i < 5; ++i) {
        TListItem& item = lvTimeServers->Add();
        item.Caption = kStandardTimeServers[i];
        item.ImageIndex = i == 0 ? 1 : 0;
    }
    sortTimeServers();
    SaveTimeServers();
    updateTimeServerButtons();
}

void TfrmNetwork::lblChangeSettingsClick(TComponent&) {
    OpenHomepage("timeservers", "9", "inettime", "");
}
void TfrmNetwork::LinkMouseEnter(TComponent& s) {
    if (auto* c = dynamic_cast<TControl*>(&s)) c->FontColor = kBlue;
}
void TfrmNetwork::LinkMouseLeave(TComponent& s) {
    if (auto* c = dynamic_cast<TControl*>(&s)) c->FontColor = kNavy;
}

// ---- Internet ----

bool TfrmNetwork::firewallOn() {
    // What the firewall's automation objects answer, from where the machine keeps it. Since
    // Vista a public profile sits beside the standard and domain ones; the box is ticked
    // when the firewall is on in any of them, so that a profile left on is never hidden.
    static const char* const kProfiles[] = {"StandardProfile", "DomainProfile", "PublicProfile"};
    for (const char* name : kProfiles) {
        DWORD on = 0;
        if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, std::string(kFirewallPolicy) + name,
                             "EnableFirewall", on, {2}) == ERROR_SUCCESS &&
            on != 0)
            return true;
    }
    return false;
}

void TfrmNetwork::tsInternetShow(TComponent&) {
    if (!firstShow(*tsInternet)) return;
    const JournalDiscarding discarding;
    if (gbKeepRASConnections->Visible) {
        if (GetRegSetting(HKEY_LOCAL_MACHINE, kWinlogon, "KeepRASConnections", false, {}))
            rbKeepRasConnectionsON->SetChecked(true);
        else
            rbKeepRasConnectionsOFF->SetChecked(true);
    }
    if (gbSharedAccess->Visible) {
        if (xpSp2_) {
            chkEnableICFnICS->SetChecked(firewallOn());
        } else {
            int start = 0;
            ICS = GetServiceStartType("SharedAccess", start) ? start : 0;
            if (CurrentOS() >= 6) chkEnableICFnICS->SetChecked(ICS != 1);
        }
    }
}

void TfrmNetwork::btnTCPIPSettingsClick(TComponent&) {
    auto dialog = std::make_unique<TfrmTCPIP>(nullptr);
    frmTCPIP = dialog.get();
    dialog->ShowModal();
    frmTCPIP = nullptr;
}

void TfrmNetwork::rbKeepRasConnectionsONClick(TComponent&) {
    if (filling()) return;
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "KeepRASConnections", "1", {});
}
void TfrmNetwork::rbKeepRasConnectionsOFFClick(TComponent&) {
    if (filling()) return;
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "KeepRASConnections", "0", {});
}

void TfrmNetwork::chkEnableICFnICSClick(TComponent&) {
    if (filling()) return; // showing the state is not a switch
    const bool on = chkEnableICFnICS->Checked();
    if (xpSp2_) {
        JournalSetWindowsFirewallStatus(on);
        return;
    }
    if (!on && (ICS == 2 || ICS == 3)) {
        ICS = 1;
        ConfigureService("SharedAccess", 1, 2, false);
    } else if (on && ICS == 1) {
        ICS = 3;
        ConfigureService("SharedAccess", 3, 1, false);
    }
}

void TfrmNetwork::btnDefInternetClick(TComponent&) {
    if (gbKeepRASConnections->Visible) rbKeepRasConnectionsOFF->SetChecked(true);
    if (gbSharedAccess->Visible) chkEnableICFnICS->SetChecked(true);
}

} // namespace ravelin::network
