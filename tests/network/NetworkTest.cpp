#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/journal/Journal.h"
#include "host/machine/Templates.h"
#include "network/ufrmNetwork.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Driver.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using namespace ravelin::network;

namespace {

const std::string kServers = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DateTime\\Servers";
const std::string kW32 = "System\\CurrentControlSet\\Services\\W32Time\\Parameters";
const std::string kPsched = "SOFTWARE\\Policies\\Microsoft\\Windows\\PSched";
const std::string kServices = "SYSTEM\\CurrentControlSet\\Services\\";

class Network : public test::PageTest {
  protected:
    Network() : PageTest("internet") {}
    std::string servers() {
        std::vector<std::string> names, data;
        if (EnumRegValuesEx(HKEY_LOCAL_MACHINE, kServers, names, data, {2}) != ERROR_NO_MORE_ITEMS)
            return "<no key>";
        std::string out;
        for (std::size_t i = 0; i < names.size(); ++i)
            out += (names[i].empty() ? "@" : names[i]) + "=" + data[i] + ";";
        return out;
    }
    DWORD dword(HKEY root, const std::string& key, const std::string& name) {
        DWORD v = 0xDEADBEEF;
        GetRegDWORDValue(root, key, name, v, {2});
        return v;
    }
};

} // namespace

TEST_F(Network, WhatEachWindowsShows) {
    struct Expect {
        const char* templ;
        bool shares, advanced, passwords, time, qos, tcpip, ras, sharedAccess, netPrinters,
            hideSharePwds;
        const char* firewallCaption;
    };
    const Expect cases[] = {
        {"win98", false, false, true, false, false, true, false, false, false, true,
         "Internetverbindungsfirewall und -Freigabe (ICS)"},
        {"win2000", true, false, true, false, false, true, true, false, false, false,
         "Internetverbindungsfirewall und -Freigabe (ICS)"},
        {"winxp", true, true, true, true, true, true, true, true, false, false, "Windows-Firewall"},
        {"vista", true, true, false, true, false, false, true, true, true, false,
         "Windows-Firewall"},
        {"win7", true, true, false, true, true, false, true, true, false, false,
         "Windows-Firewall"},
    };
    for (const auto& e : cases) {
        SCOPED_TRACE(e.templ);
        open(e.templ);
        TfrmNetwork page(nullptr);
        EXPECT_EQ(page.tsShares->TabVisible, e.shares);
        EXPECT_EQ(page.tsAdvancedNT->TabVisible, e.advanced);
        EXPECT_EQ(page.tsPasswords->TabVisible, e.passwords);
        EXPECT_EQ(page.tsTimeSync->TabVisible, e.time);
        EXPECT_EQ(page.gbQoS->Visible, e.qos) << "Vista Home Premium has no QoS group";
        EXPECT_EQ(page.gbTCPIP->Visible, e.tcpip);
        EXPECT_EQ(page.gbKeepRASConnections->Visible, e.ras);
        EXPECT_EQ(page.gbSharedAccess->Visible, e.sharedAccess);
        EXPECT_EQ(page.chkNetPrinters->Visible, e.netPrinters);
        EXPECT_EQ(page.gbHideSharePwds->Visible, e.hideSharePwds);
        EXPECT_EQ(page.gbSharedAccess->Caption, e.firewallCaption);
        ASSERT_NE(page.pcNetwork->ActivePage(), nullptr);
        EXPECT_TRUE(page.pcNetwork->ActivePage()->TabVisible) << "the first visible tab is active";
    }
}

// The rows each Windows shows in "Allgemein" sit one below the other from the group's first
// row on, the group ends below its last row, and what follows moves up with it.
TEST_F(Network, GroupsCloseTheRowsTheirWindowsHides) {
    struct Expect {
        const char* templ;
        std::vector<std::string> rows; // shown, top to bottom
    };
    const Expect cases[] = {
        {"win2000", {"chkNetTasks", "chkNoNetcrawling", "chkRecentDocsNetHood"}},
        {"winxp", {"chkNetTasks", "chkNoNetcrawling", "chkRecentDocsNetHood"}},
        {"vista", {"chkNetPrinters", "chkNoNetcrawling"}},
        {"win7", {"chkNoNetcrawling"}},
    };
    for (const auto& e : cases) {
        SCOPED_TRACE(e.templ);
        open(e.templ);
        TfrmNetwork page(nullptr);
        int top = 20;
        for (const auto& name : e.rows) {
            auto* row = dynamic_cast<toolkit::TControl*>(page.FindComponent(name));
            ASSERT_NE(row, nullptr);
            EXPECT_TRUE(row->Visible) << name;
            EXPECT_EQ(row->Top, top) << name;
            top += 22;
        }
        const int lastBottom = top - 22 + 17;
        EXPECT_EQ(page.gbNetTasks->Height, lastBottom + 13) << "the designed bottom margin";
        EXPECT_EQ(page.gbAdvSettings->Top, page.gbNetTasks->Top + page.gbNetTasks->Height + 8);
        EXPECT_EQ(page.imgShares->Top, page.gbAdvSettings->Top) << "the picture stays beside it";
        EXPECT_EQ(page.btnDefShares->Top, 376);
    }
    // The Internet tab of Windows 7 has no TCP/IP group: the next group takes its place.
    open("win7");
    TfrmNetwork page(nullptr);
    EXPECT_EQ(page.gbKeepRASConnections->Top, 8);
    EXPECT_EQ(page.gbSharedAccess->Top, 88);
}

TEST_F(Network, ChecksWriteTheirValuesAndFlags) {
    open("winxp");
    run("check chkAdminShares off\ncheck chkHideMyComputerFromNetHood on\ncheck chkNoNetcrawling "
        "off\n"
        "tab tsPasswords\ncheck chkPwdCaching off\ncheck chkEncryptPwds off\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kServices + "LanmanServer\\Parameters", "AutoShareWks"),
              0u);
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kServices + "LanmanServer\\Parameters", "Hidden"), 1u);
    EXPECT_EQ(dword(HKEY_CURRENT_USER,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                    "NoNetCrawling"),
              1u);
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network",
                    "DisablePwdCaching"),
              1u);
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kServices + "LanmanWorkStation\\Parameters",
                    "EnablePlainTextPassword"),
              1u);
    auto list = session->journal()->list();
    ASSERT_EQ(list.size(), 5u) << "one transaction per click";
    EXPECT_EQ(list[4].control, "chkAdminShares");
    EXPECT_EQ(list[4].category, 2);
    EXPECT_EQ(list[2].category, 0) << "NoNetCrawling sends no flag";
    EXPECT_EQ(list[0].category, 2) << "EnablePlainTextPassword";
    // Defaults put them back.
    run("click btnDefShares\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kServices + "LanmanServer\\Parameters", "AutoShareWks"),
              1u);
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kServices + "LanmanServer\\Parameters", "Hidden"), 0u);
}

TEST_F(Network, NameSpaceKeysCopyTheClassNameAndGo) {
    open("winxp");
    SetRegStringValue(HKEY_CLASSES_ROOT, "CLSID\\{D6277990-4C6A-11CF-8D87-00AA0060F5BF}", "",
                      "Geplante Tasks", {2});
    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RemoteComputer"
                            "\\NameSpace\\{D6277990-4C6A-11CF-8D87-00AA0060F5BF}";
    run("check chkNetTasks on\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, "", "<none>", {2}), "Geplante Tasks");
    run("expect chkNetTasks checked true\ncheck chkNetTasks off\n");
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, key, {2}));
}

TEST_F(Network, BandwidthReservation) {
    open("winxp");
    DeleteRegValue(HKEY_LOCAL_MACHINE, kPsched, "NonBestEffortLimit", {});
    run("tab tsAdvancedNT\nexpect chkEnableQoS checked true\nexpect udBWLimit position 20\n");
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, kPsched, "NonBestEffortLimit", {}))
        << "a missing value is not written";
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kPsched, "NonBestEffortLimit", 0, {});
    run("tab tsAdvancedNT\nexpect chkEnableQoS checked false\nexpect udBWLimit enabled false\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kPsched, "NonBestEffortLimit"), 0u)
        << "the show itself writes 0 again";
    run("tab tsAdvancedNT\ncheck chkEnableQoS on\nspin udBWLimit 35\nfocus chkEnableQoS\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, kPsched, "NonBestEffortLimit"), 35u)
        << "stored when the field is left";
}

TEST_F(Network, UniversalPlugAndPlayAcrossDependants) {
    open("vista");
    int type = 0, state = 0;
    run("tab tsAdvancedNT\nexpect chkEnableUPnP checked true\ncheck chkEnableUPnP off\n");
    for (const char* s : {"upnphost", "FDResPub", "WMPNetworkSvc"}) {
        ASSERT_TRUE(GetServiceStartType(s, type)) << s;
        EXPECT_EQ(type, 1) << s << " disabled";
        ASSERT_TRUE(GetServiceState(s, state));
        EXPECT_EQ(state, 1) << s << " stopped";
    }
    EXPECT_EQ(GetRegStringValueDef(
                  HKEY_LOCAL_MACHINE,
                  "SOFTWARE\\Wow6432Node\\Microsoft\\MediaPlayer\\Preferences\\HME\\anna",
                  "SharedLibraryPath", "<none>", {2}),
              "")
        << "the media sharing paths are cleared";
    run("tab tsAdvancedNT\nexpect chkEnableUPnP checked false\ncheck chkEnableUPnP on\n");
    for (const char* s : {"upnphost", "FDResPub", "WMPNetworkSvc"}) {
        GetServiceStartType(s, type);
        EXPECT_EQ(type, 2) << s << " automatic again";
    }
}

TEST_F(Network, FirewallOnXPSP2AndConnectionSharingBefore) {
    open("winxp");
    const std::string standard =
        kServices + "SharedAccess\\Parameters\\FirewallPolicy\\StandardProfile";
    run("tab tsInternet\nexpect chkEnableICFnICS checked true\nexpect chkEnableICFnICS caption "
        "\"Windows-Firewall aktivieren\"\n"
        "check chkEnableICFnICS off\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, standard, "EnableFirewall"), 0u);
    EXPECT_EQ(session->journal()->list()[0].category, 2);
    // XP before SP2: connection sharing through the service's start type.
    SetRegStringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                      "CSDVersion", "Service Pack 1", {2});
    run("tab tsInternet\nexpect chkEnableICFnICS checked true\ncheck chkEnableICFnICS off\n");
    int type = 0, state = 0;
    GetServiceStartType("SharedAccess", type);
    GetServiceState("SharedAccess", state);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(state, 1);
    run("tab tsInternet\nexpect chkEnableICFnICS checked false\ncheck chkEnableICFnICS on\n");
    GetServiceStartType("SharedAccess", type);
    GetServiceState("SharedAccess", state);
    EXPECT_EQ(type, 3);
    EXPECT_EQ(state, 4);
}

TEST_F(Network, DialUpConnectionsAtLogoff) {
    open("winxp");
    run("tab tsInternet\nexpect rbKeepRasConnectionsOFF checked true\nclick "
        "rbKeepRasConnectionsON\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE,
                                   "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                   "KeepRASConnections", "", {}),
              "1");
    run("tab tsInternet\nexpect rbKeepRasConnectionsON checked true\nclick btnDefInternet\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE,
                                   "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                   "KeepRASConnections", "", {}),
              "0");
}

TEST_F(Network, TimeServersAreRenumberedInOrder) {
    open("winxp");
    std::string out =
        run("tab tsTimeSync\n"
            "expect chkSyncTime checked true\n"
            // Sorted as the system sorts names: hyphens weigh last, dots before letters.
            "expect lvTimeServers items "
            "\"time.nist.gov|time.windows.com|time-a.nist.gov|time-b.nist.gov|time-nw.nist.gov\"\n"
            "expect btnTimeSvrDel enabled false\n"
            "select lvTimeServers \"time.windows.com\"\n"
            "expect btnTimeSvrSetAsDefault enabled false\n"
            "select lvTimeServers \"time-b.nist.gov\"\n"
            "expect btnTimeSvrSetAsDefault enabled true\n"
            "click btnTimeSvrSetAsDefault\n"
            "input \"Time.Windows.com\"\n"
            "click btnTimeSvrAdd\n"
            "input \"ntp.example.org\"\n"
            "click btnTimeSvrAdd\n");
    EXPECT_NE(
        out.find("message: [] Der eingegebene Zeitserver befindet sich bereits in der Liste."),
        std::string::npos)
        << out;
    EXPECT_EQ(servers(), "@=4;0=ntp.example.org;1=time.nist.gov;2=time.windows.com;3=time-a.nist."
                         "gov;4=time-b.nist.gov;5=time-nw.nist.gov;");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, kW32, "NtpServer", "", {}),
              "time-b.nist.gov,0x1");
    // Deleting the default marks the first; deleting the last removes the key.
    run("tab tsTimeSync\nselect lvTimeServers \"time-b.nist.gov\"\nclick btnTimeSvrDel\n");
    EXPECT_EQ(servers().substr(0, 4), "@=0;");
    std::string script = "tab tsTimeSync\n";
    for (const char* s : {"ntp.example.org", "time-a.nist.gov", "time-nw.nist.gov", "time.nist.gov",
                          "time.windows.com"})
        script += std::string("select lvTimeServers \"") + s + "\"\nclick btnTimeSvrDel\n";
    run(script);
    EXPECT_EQ(servers(), "<no key>");
    run("tab tsTimeSync\nexpect lvTimeServers count 0\ninput \"one.example.org\"\nclick "
        "btnTimeSvrAdd\n");
    EXPECT_EQ(servers(), "@=0;0=one.example.org;");
    run("tab tsTimeSync\nclick btnDefTimeSync\n");
    EXPECT_EQ(servers(), "@=1;0=time.nist.gov;1=time.windows.com;2=time-a.nist.gov;3=time-b.nist."
                         "gov;4=time-nw.nist.gov;");
}

TEST_F(Network, ADomainTimeSettingStaysUntilTheUserClicks) {
    open("winxp");
    SetRegStringValue(HKEY_LOCAL_MACHINE, kW32, "Type", "NT5DS", {});
    run("tab tsTimeSync\nexpect chkSyncTime checked false\nexpect btnTimeSvrAdd enabled false\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, kW32, "Type", "", {}), "NT5DS");
    run("tab tsTimeSync\ncheck chkSyncTime on\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, kW32, "Type", "", {}), "NTP");
    std::string out = run("tab tsTimeSync\nclick lblChangeSettings\n");
    EXPECT_NE(
        out.find("launch: https://deskforge.example/redirect/timeservers?campaign=9&tag=inettime"),
        std::string::npos)
        << out;
}

TEST_F(Network, TheTcpipButtonOpensTheDialogModally) {
    open("winxp");
    run("tab tsInternet\nclick btnTCPIPSettings\nexpect frmTCPIP caption \"TCP/IP-Optionen\"\ntab "
        "tsTTL\nspin tbTTL 99\nclick btnOK\n"
        "expect pcNetwork selected \"tsInternet\"\n");
    EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                    "DefaultTTL"),
              99u);
}

TEST_F(Network, FindListsOnlyWhatThePageShows) {
    test::ModulePages pages;
    auto captions = [](const std::string& text) {
        std::string out;
        for (const auto& h : app::FindSettings(text))
            out += h.tabCaption + "/" + h.control + ";";
        return out;
    };
    open("winxp");
    const std::string xp = captions("ZEITSERVER");
    EXPECT_NE(xp.find("chkSyncTime"), std::string::npos) << xp;
    EXPECT_EQ(captions("windows-firewall").find("Internetzeit"), std::string::npos);
    EXPECT_NE(captions("&Windows-Firewall").find("gbSharedAccess"), std::string::npos)
        << "accelerators do not matter";
    EXPECT_NE(captions("SCHÜTZT").find("lblSharedAccess"), std::string::npos)
        << "umlauts fold like ASCII";
    open("win98");
    EXPECT_EQ(captions("zeitserver"), "") << "the time tab is hidden on 9x";
    EXPECT_EQ(captions(""), "");
}

TEST_F(Network, TheFirewallSwitchCoversEveryProfile) {
    const std::string policy = kServices + "SharedAccess\\Parameters\\FirewallPolicy\\";
    for (const char* templ : {"vista", "win7"}) {
        SCOPED_TRACE(templ);
        open(templ);
        // Only the public profile on: the box must not claim the firewall is off.
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, policy + "StandardProfile", "EnableFirewall", 0, {2});
        run("tab tsInternet\nexpect chkEnableICFnICS checked true\ncheck chkEnableICFnICS off\n");
        for (const char* profile : {"StandardProfile", "DomainProfile", "PublicProfile"})
            EXPECT_EQ(dword(HKEY_LOCAL_MACHINE, policy + profile, "EnableFirewall"), 0u) << profile;
        run("tab tsInternet\nexpect chkEnableICFnICS checked false\n");
    }
    // XP has no public profile, and gets none.
    open("winxp");
    run("tab tsInternet\ncheck chkEnableICFnICS off\n");
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, policy + "PublicProfile", {2}));
}

TEST_F(Network, TheTimeServiceFollowsTheDefaultServer) {
    open("winxp");
    auto ntp = [] { return GetRegStringValueDef(HKEY_LOCAL_MACHINE, kW32, "NtpServer", "", {}); };
    run("tab tsTimeSync\nselect lvTimeServers \"time-b.nist.gov\"\nclick btnTimeSvrSetAsDefault\n");
    EXPECT_EQ(ntp(), "time-b.nist.gov,0x1");
    // Deleting the default makes the first server the default, for the service too.
    run("tab tsTimeSync\nselect lvTimeServers \"time-b.nist.gov\"\nclick btnTimeSvrDel\n");
    EXPECT_EQ(ntp(), "time.nist.gov,0x1") << "the first as the system sorts";
    run("tab tsTimeSync\nclick btnDefTimeSync\n");
    EXPECT_EQ(ntp(), "time.windows.com,0x1");
    // The first server added to an empty list.
    std::string script = "tab tsTimeSync\n";
    for (const char* s : {"time-a.nist.gov", "time-b.nist.gov", "time-nw.nist.gov", "time.nist.gov",
                          "time.windows.com"})
        script += std::string("select lvTimeServers \"") + s + "\"\nclick btnTimeSvrDel\n";
    script += "input \"one.example.org\"\nclick btnTimeSvrAdd\n";
    run(script);
    EXPECT_EQ(ntp(), "one.example.org,0x1");
    // A value that already names the default, with its own flags, is not rewritten.
    SetRegStringValue(HKEY_LOCAL_MACHINE, kW32, "NtpServer", "ONE.example.org,0x9", {});
    run("tab tsTimeSync\ninput \"two.example.org\"\nclick btnTimeSvrAdd\n");
    EXPECT_EQ(ntp(), "ONE.example.org,0x9");
}

TEST_F(Network, TimeServersCompareLikePeopleRead) {
    open("winxp");
    std::string out = run("tab tsTimeSync\n"
                          "input \"uhr-ä.example\"\nclick btnTimeSvrAdd\n"
                          "input \"UHR-Ä.EXAMPLE\"\nclick btnTimeSvrAdd\n"
                          "input \"Zeit.example\"\nclick btnTimeSvrAdd\n"
                          "expect lvTimeServers items \"time.nist.gov|time.windows.com|"
                          "time-a.nist.gov|time-b.nist.gov|time-nw.nist.gov|uhr-ä.example|"
                          "Zeit.example\"\n");
    EXPECT_NE(
        out.find("message: [] Der eingegebene Zeitserver befindet sich bereits in der Liste."),
        std::string::npos)
        << "an umlaut in another case is the same server: " << out;
    // The default is shown by its picture, and "Als Standard" follows the selection's one.
    TfrmNetwork page(nullptr);
    page.pcNetwork->SetActivePage(page.tsTimeSync);
    ASSERT_EQ(page.lvTimeServers->SmallImages, page.ilTimeServers);
    ASSERT_EQ(page.ilTimeServers->Count(), 2);
    int defaults = 0;
    for (int i = 0; i < page.lvTimeServers->Count(); ++i)
        defaults += page.lvTimeServers->Item(i).ImageIndex == 1;
    EXPECT_EQ(defaults, 1);
}
