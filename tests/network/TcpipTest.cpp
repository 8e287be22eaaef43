#include "app/deskforge/Machine.h"
#include "app/deskforge/ModuleLoader.h"
#include "app/deskforge/PageCommand.h"
#include "host/NXShellFuncs.h"
#include "host/Nxregistry.h"
#include "host/Orvexwow64.h"
#include "host/journal/Journal.h"
#include "host/machine/Templates.h"
#include "network/ufrmTCPIP.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Driver.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using namespace ravelin::network;
using toolkit::TApplication;

namespace {

const std::string kParams = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const std::string kInterfaces = kParams + "\\Interfaces";

class Tcpip : public test::PageTest {
  protected:
    Tcpip() : PageTest("tcpip") {}
    void open(const std::string& templ) { create(templ); }
    void start() { reopen(); }
    DWORD dword(const std::string& key, const std::string& name) {
        DWORD v = 0xDEADBEEF;
        GetRegDWORDValue(HKEY_LOCAL_MACHINE, key, name, v, {});
        return v;
    }
};

} // namespace

TEST(Module, TheFactoryAnswersExactIdentifiersOnly) {
    app::LoadedModule module("Ravelin.bpl");
    EXPECT_TRUE(std::filesystem::exists(module.path()));
    auto a = module.InitSubForm("tcpip|Ravelin.bpl");
    auto b = module.InitSubForm("tcpip|Ravelin.bpl");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a.get(), b.get()) << "two calls, two forms";
    EXPECT_EQ(a->Owner(), nullptr);
    EXPECT_EQ(module.InitSubForm("TCPIP|Ravelin.bpl"), nullptr);
    EXPECT_EQ(module.InitSubForm(""), nullptr);
    EXPECT_EQ(module.InitSubForm("tcpip|Ravelin.bpl "), nullptr);
}

TEST_F(Tcpip, ReadsAnXPMachine) {
    open("winxp");
    start();
    TfrmTCPIP form(nullptr);
    EXPECT_TRUE(form.optMTUManual->Checked());
    EXPECT_EQ(form.udeMTU->GetPosition(), 1492);
    EXPECT_TRUE(form.udeMTU->Enabled);
    EXPECT_EQ(form.cbRWin->Text(), "64240");
    EXPECT_EQ(form.cbRWin->Items.size(), 45u) << "MSS 1452: 45 multiples up to 65535";
    EXPECT_TRUE(form.chkRWinSACK->Checked());
    EXPECT_FALSE(form.chkRWinTimeStamp->Checked()) << "Tcp1323Opts 0";
    EXPECT_EQ(form.tbTTL->Position(), 128);
    EXPECT_EQ(form.lblTTL->Caption, "128 Server");
    for (auto* c : {static_cast<toolkit::TComponent*>(form.gbMTU),
                    static_cast<toolkit::TComponent*>(form.cbRWin),
                    static_cast<toolkit::TComponent*>(form.tbTTL),
                    static_cast<toolkit::TComponent*>(form.chkRWinSACK)})
        EXPECT_EQ(c->Tag, 0) << "filling marks nothing";
    EXPECT_EQ(form.udeMTU->Left, form.lblMTU1->Left + form.lblMTU1->Width + 6);
}

TEST_F(Tcpip, OKWritesExactlyWhatChangedInOneTransaction) {
    open("winxp");
    start();
    const std::string before = test::readFile(dir->file("system.reg"));
    run("tab tsTTL\nspin tbTTL 64\nclick btnOK\n");
    EXPECT_EQ(dword(kParams, "DefaultTTL"), 64u);
    auto list = session->journal()->list();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].changes, 1) << "only DefaultTTL";
    run("tab tsTTL\nspin tbTTL 100\nclick btnCancel\n");
    EXPECT_EQ(dword(kParams, "DefaultTTL"), 64u) << "Cancel writes nothing";
    EXPECT_EQ(session->journal()->list().size(), 1u);
}

// Shown as a page, the dialog stays open after OK and Abbrechen: OK leaves nothing to write
// again, Abbrechen puts back what the machine holds.
TEST_F(Tcpip, AsAPageOKWritesOnceAndAbbrechenRestoresTheMachinesValues) {
    open("winxp");
    start();
    run("tab tsTTL\nspin tbTTL 64\nclick btnOK\nclick btnOK\n"
        "tab tsRWin\nclick btnOK\n");
    ASSERT_EQ(transactions(), 1u) << "a second OK without a change journals nothing";
    EXPECT_EQ(dword(kParams, "DefaultTTL"), 64u);

    std::string out = run("tab tsTTL\nspin tbTTL 100\nexpect lblTTL caption \"100 Server\"\n"
                          "tab tsRWin\nset cbRWin \"4096\"\ncheck chkRWinSACK off\n"
                          "click btnCancel\nexpect tbTTL position 64\n"
                          "expect lblTTL caption \"64 Server\"\nexpect cbRWin text \"64240\"\n"
                          "expect chkRWinSACK checked true\nclick btnOK\n");
    EXPECT_EQ(transactions(), 1u) << "OK after Abbrechen has nothing to write: " << out;
    EXPECT_EQ(dword(kParams, "DefaultTTL"), 64u);

    // A value changed and changed back is no change; a new one is written once.
    run("tab tsTTL\nspin tbTTL 100\nspin tbTTL 64\ntab tsRWin\ntype cbRWin \"1\"\n"
        "type cbRWin \"\b\"\nclick btnOK\n");
    EXPECT_EQ(transactions(), 1u) << "nothing to journal";
    run("tab tsTTL\nspin tbTTL 90\nclick btnOK\nclick btnOK\n");
    EXPECT_EQ(transactions(), 2u);
    EXPECT_EQ(dword(kParams, "DefaultTTL"), 90u);
}

TEST_F(Tcpip, TheWindowFieldTakesDigitsAndFallsBackOnOK) {
    open("winxp");
    start();
    std::string out = run("tab tsRWin\nset cbRWin \"\"\ntype cbRWin \"12a3\"\nexpect cbRWin text "
                          "\"123\"\nclick btnOK\n");
    EXPECT_EQ(TApplication::Instance().Beeps.back(), "cbRWin");
    std::vector<std::string> adapters;
    EnumRegKeysEx(HKEY_LOCAL_MACHINE, kInterfaces, adapters, {});
    ASSERT_EQ(adapters.size(), 3u);
    for (const auto& a : adapters)
        EXPECT_EQ(dword(kInterfaces + "\\" + a, "TcpWindowSize"), 123u) << a;
    run("tab tsRWin\nset cbRWin \"viel\"\nclick btnOK\n");
    for (const auto& a : adapters)
        EXPECT_EQ(dword(kInterfaces + "\\" + a, "TcpWindowSize"), 16384u)
            << "not a number: 16384 on NT";
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, kParams, "GlobalMaxTcpWindowSize", {}) &&
                 dword(kParams, "GlobalMaxTcpWindowSize") != 0xfaf0)
        << "never written";
}

TEST_F(Tcpip, TimestampsKeepTheOtherBits) {
    open("winxp");
    start();
    struct Case {
        std::optional<DWORD> stored;
        bool checked;
        DWORD written;
    };
    for (const Case& c :
         {Case{1, true, 3}, Case{1, false, 1}, Case{std::nullopt, false, 1}, Case{3, false, 1}}) {
        if (c.stored)
            SetRegDWORDValue(HKEY_LOCAL_MACHINE, kParams, "Tcp1323Opts", *c.stored, {});
        else
            DeleteRegValue(HKEY_LOCAL_MACHINE, kParams, "Tcp1323Opts", {});
        // Make the box differ from its filled state so the click marks it.
        bool filledChecked = !c.stored || (*c.stored & 2);
        std::string script = "tab tsRWin\n";
        if (filledChecked == c.checked)
            script += std::string("click chkRWinTimeStamp\nclick chkRWinTimeStamp\n");
        else
            script += std::string("check chkRWinTimeStamp ") + (c.checked ? "on" : "off") + "\n";
        script += "click btnOK\n";
        run(script);
        EXPECT_EQ(dword(kParams, "Tcp1323Opts"), c.written)
            << (c.stored ? std::to_string(*c.stored) : "absent") << " " << c.checked;
    }
}

TEST_F(Tcpip, MTUSearchAndDefaults) {
    open("winxp");
    start();
    std::vector<std::string> adapters;
    EnumRegKeysEx(HKEY_LOCAL_MACHINE, kInterfaces, adapters, {});
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kInterfaces + "\\" + adapters[0], "MTU", 70000, {});
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kInterfaces + "\\" + adapters[1], "MTU", 0, {});
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kInterfaces + "\\" + adapters[2], "MTU", 1400, {});
    {
        TfrmTCPIP form(nullptr);
        EXPECT_EQ(form.udeMTU->GetPosition(), 1400) << "too large and zero values are passed over";
    }
    for (const auto& a : adapters)
        DeleteRegValue(HKEY_LOCAL_MACHINE, kInterfaces + "\\" + a, "MTU", {});
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kParams, "EnablePMTUDiscovery", 0, {});
    {
        TfrmTCPIP form(nullptr);
        EXPECT_TRUE(form.optMTUAuto->Checked());
        EXPECT_EQ(form.udeMTU->GetPosition(), 576) << "NT without discovery";
        EXPECT_FALSE(form.udeMTU->Enabled);
        EXPECT_EQ(form.cbRWin->Items.size(), 45u);
        EXPECT_EQ(form.cbRWin->Items.back().text, "24120");
    }
    // The default button: discovery on, automatic, 1500; OK deletes the per-adapter MTU.
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, kInterfaces + "\\" + adapters[0], "MTU", 1400, {});
    run("click btnMTUDefault\nexpect optMTUAuto checked true\nexpect udeMTU position 1500\nexpect "
        "udeMTU enabled false\nclick btnOK\n");
    for (const auto& a : adapters)
        EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, kInterfaces + "\\" + a, "MTU", {}));
    EXPECT_EQ(dword(kParams, "EnablePMTUDiscovery"), 1u);
    run("click optMTUManual\nspin udeMTU 1400\nfocus btnOK\nclick btnOK\n");
    for (const auto& a : adapters)
        EXPECT_EQ(dword(kInterfaces + "\\" + a, "MTU"), 1400u);
}

TEST_F(Tcpip, DefaultButtonsPerWindows) {
    open("winxp");
    start();
    run("tab tsRWin\nclick btnRWinDefault\nexpect cbRWin text \"17520\"\ntab tsTTL\nclick "
        "btnTTLDefault\nexpect tbTTL position 128\n");
    open("win7");
    start();
    run("tab tsRWin\nclick btnRWinDefault\nexpect cbRWin text \"16384\"\nexpect chkRWinSACK "
        "checked true\n");
    TfrmTCPIP form(nullptr);
    EXPECT_EQ(form.cbRWin->Text(), "17520") << "nothing stored: 17520 on every NT version";
}

TEST_F(Tcpip, A98MachineUsesItsOwnKeysAndStrings) {
    open("win98");
    start();
    const std::string mstcp = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";
    {
        TfrmTCPIP form(nullptr);
        EXPECT_EQ(RegKey_TCPIP, mstcp);
        EXPECT_EQ(form.udeMTU->GetPosition(), 576) << "the first adapter with a description";
        EXPECT_EQ(form.cbRWin->Text(), "8192");
        EXPECT_EQ(form.tbTTL->Position(), 128);
    }
    run("tab tsTTL\nclick btnTTLDefault\ntab tsRWin\nclick btnRWinDefault\ncheck chkRWinSACK "
        "off\ntab tsMTU\nclick btnMTUDefault\nclick btnOK\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, mstcp, "DefaultTTL", "", {}), "32");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, mstcp, "SackOpts", "", {}), "0");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, mstcp, "DefaultRcvWindow", "", {}), "8192");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, mstcp, "PMTUDiscovery", "", {}), "1");
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, kInterfaces, {}))
        << "the 9x family gets no MTU write";
}

TEST_F(Tcpip, HelpLinksAskForContextHelp) {
    open("winxp");
    start();
    TfrmTCPIP form(nullptr);
    form.Label4->Click();
    EXPECT_EQ(TApplication::Instance().HelpRequests.back(), "context 2299");
    EXPECT_FALSE(form.Label4->Visible) << "hidden in the form";
}

TEST_F(Tcpip, ShellExecuteRetriesWithoutRedirection) {
    open("vista");
    std::filesystem::create_directories(dir->file("drive_c/windows/system32"));
    test::writeFile(dir->file("drive_c/windows/system32/native.exe"), "");
    start();
    ASSERT_TRUE(IsCurrentProcessWow64());
    EXPECT_EQ(module::NXShellExecute(0, u"open", u"C:\\Windows\\System32\\native.exe", u"", u"", 1),
              42);
    EXPECT_TRUE(TNXFsRedirection::Enabled()) << "restored";
    TNXFsRedirection::Disable();
    EXPECT_EQ(module::NXShellExecute(0, u"open", u"C:\\Windows\\System32\\native.exe", u"", u"", 1),
              42);
    EXPECT_FALSE(TNXFsRedirection::Enabled()) << "restored as it was";
    TNXFsRedirection::Enable();
    EXPECT_EQ(module::NXShellExecute(0, u"open", u"C:\\Windows\\System32\\none.exe", u"", u"", 1),
              2);
    EXPECT_EQ(module::ShowRunDialog(0, u"Ausführen", u"", 0), 0);
}

TEST_F(Tcpip, LongPathNamesFollowTheDisk) {
    open("winxp");
    start();
    EXPECT_EQ(module::ShellLongPathName("C:\\USERS\\ANNA\\favoriten\\NACHRICHTEN"),
              "C:\\users\\anna\\Favoriten\\Nachrichten");
    EXPECT_EQ(module::ShellLongPathName("c:/users/anna/favoriten/"), "c:\\users\\anna\\Favoriten");
    EXPECT_EQ(module::ShellLongPathName("\\\\server/share/dir"), "\\\\server\\share\\dir");
    EXPECT_EQ(module::ShellLongPathName("C:\\"), "C:\\");
    EXPECT_EQ(module::ShellLongPathName("nobackslash"), "nobackslash");
    EXPECT_EQ(module::ShellLongPathName("C:/users/nobody"), "C:/users/nobody")
        << "unresolved: the input as passed";
}

TEST_F(Tcpip, A98MachineKeepsTheTypesItStores) {
    open("win98");
    start();
    const std::string mstcp = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";
    const std::string net = "System\\CurrentControlSet\\Services\\Class\\Net\\";
    // "0" as a string: time stamps off, and ticking keeps the value a string.
    run("tab tsRWin\nexpect chkRWinTimeStamp checked false\ncheck chkRWinTimeStamp on\nclick "
        "btnOK\n");
    std::string text;
    EXPECT_EQ(GetRegStringValue(HKEY_LOCAL_MACHINE, mstcp, "Tcp1323Opts", text, {}), ERROR_SUCCESS);
    EXPECT_EQ(text, "2");
    run("tab tsRWin\nexpect chkRWinTimeStamp checked true\ncheck chkRWinTimeStamp off\nclick "
        "btnOK\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, mstcp, "Tcp1323Opts", "", {}), "0")
        << "unticking must not switch window scaling on";

    // A manual MTU is written where it was read: every adapter with a description.
    run("tab tsMTU\nset udeMTU 1400\nclick btnOK\n");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, net + "0000", "IPMTU", "", {}), "1400");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, net + "0001", "IPMTU", "", {}), "1400");
    {
        TfrmTCPIP form(nullptr);
        EXPECT_TRUE(form.optMTUManual->Checked());
        EXPECT_EQ(form.udeMTU->GetPosition(), 1400);
    }
    run("tab tsMTU\nclick optMTUAuto\nclick btnOK\n");
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, net + "0000", "IPMTU", {}));
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, net + "0001", "IPMTU", {}));
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, kInterfaces, {}));
}
