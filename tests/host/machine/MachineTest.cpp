#include "host/machine/Machine.h"

#include "app/deskforge/Machine.h"
#include "host/Nxhelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Orvexwow64.h"
#include "host/journal/Journal.h"
#include "host/machine/PeResources.h"
#include "host/machine/ProfileFile.h"
#include "host/machine/Templates.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace ravelin;
using namespace ravelin::machine;
using ravelin::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string templates() {
    return std::string(RAVELIN_SOURCE_DIR) + "/samples/templates";
}

// One machine of each template, made once for the whole suite.
class Templates : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<TempDir>();
        for (const auto& name : templateNames(templates()))
            createMachine(dir->file(name), name, templates());
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string machine(const std::string& name) { return dir->file(name); }
    static inline std::unique_ptr<TempDir> dir;
};

} // namespace

TEST_F(Templates, EveryTemplateIsDetectedAsTheWindowsItStandsFor) {
    struct Expect {
        int os, platform, sp;
        std::string edition;
        bool home, is64, wow64;
        std::string ie, firefox, opera, outlook;
        bool firefoxProfile, operaProfile;
    };
    const std::map<std::string, Expect> expected = {
        {"win98", {3, 1, 0, "", false, false, false, "6.0.2800.1106", "", "", "", false, false}},
        {"win2000",
         {5, 2, 4, "Professional", false, false, false, "6.0.2800.1106", "1.5.0.12", "9.27", "9.0",
          true, false}},
        {"winxp",
         {6, 2, 2, "Professional", false, false, false, "7.0.5730.13", "2.0.0.20", "9.64", "11.0",
          true, true}},
        {"vista",
         {7, 2, 2, "HomePremium", true, true, true, "7.0.6002.18005", "3.0.19", "9.52", "12.0",
          true, false}},
        {"win7",
         {8, 2, 1, "Ultimate", false, true, false, "8.0.7601.17514", "3.6.28", "10.63", "14.0",
          true, true}},
        {"bare", {6, 2, 3, "Professional", false, false, false, "", "", "", "", false, false}},
    };
    ASSERT_EQ(templateNames(templates()).size(), expected.size());
    for (const auto& [name, e] : expected) {
        SCOPED_TRACE(name);
        auto m = Machine::open(machine(name));
        auto id = m->identity();
        EXPECT_EQ(id.osCode, e.os);
        EXPECT_EQ(id.platform, e.platform);
        EXPECT_EQ(id.servicePack, e.sp);
        EXPECT_EQ(id.edition, e.edition);
        EXPECT_EQ((id.suiteMask & 0x200) != 0, e.home);
        EXPECT_EQ(id.is64, e.is64);
        EXPECT_EQ(m->emulatesWow64(), e.wow64);
        EXPECT_EQ(m->ieVersion().text(), e.ie);
        EXPECT_EQ(m->firefoxVersion().text(), e.firefox);
        EXPECT_EQ(m->operaVersion().text(), e.opera);
        auto outlook = m->outlookVersion();
        EXPECT_EQ(outlook.Major
                      ? std::to_string(outlook.Major) + "." + std::to_string(outlook.Minor)
                      : "",
                  e.outlook);
        EXPECT_EQ(!m->firefoxProfiles().empty(), e.firefoxProfile);
        EXPECT_EQ(!m->operaProfile().empty(), e.operaProfile);
        EXPECT_EQ(m->kind(), MachineKind::Wine);
        EXPECT_EQ(m->config().user, "anna");
        // Nothing needs writing after a fresh open.
        for (auto* h : m->registry().hives()) {
            h->loadAll();
            EXPECT_FALSE(h->modified()) << h->file();
        }
    }
}

TEST_F(Templates, CreatingRefusesAFolderThatIsNotEmptyOrAnUnknownTemplate) {
    TempDir d;
    test::writeFile(d.file("something"), "x");
    EXPECT_THROW(createMachine(d.path(), "winxp", templates()), RegistryAccessError);
    EXPECT_EQ(fs::directory_iterator(d.path())->path().filename(), "something");
    EXPECT_THROW(createMachine(d.file("new"), "win95", templates()), RegistryAccessError);
    EXPECT_THROW(createMachine(d.file("new2"), "nt-base", templates()), RegistryAccessError)
        << "a base is not a machine";
}

TEST_F(Templates, SystemQueriesAnswerFromTheBoundMachine) {
    app::MachineSession session(machine("winxp"), app::MachineSession::Mode::ReadOnly);
    EXPECT_EQ(CurrentOS(), 6);
    EXPECT_EQ(GetPlatformId(), 2);
    EXPECT_TRUE(IsWinXPSP(2));
    EXPECT_FALSE(IsWinXPSP(3));
    EXPECT_TRUE(IE6Installed());
    EXPECT_EQ(GetIEVersion().Major, 7);
    EXPECT_TRUE(IsAdmin());
    EXPECT_EQ(GetWinDir(), "C:\\WINDOWS");
    EXPECT_EQ(GetSysDir(), "C:\\WINDOWS\\system32");
    EXPECT_EQ(GetFolderLocStr(6), "C:\\users\\anna\\Favoriten");
    EXPECT_EQ(GetFolderLocStr(26), "C:\\users\\anna\\Anwendungsdaten");
    OSVersionInfoEx v;
    EXPECT_TRUE(GetVersion2k(v));
    EXPECT_EQ(v.wSuiteMask & 0x200, 0u);
    EXPECT_TRUE(DirExists("c:\\USERS\\anna\\favoriten\\NACHRICHTEN"));
    EXPECT_TRUE(NXFileExists("C:\\users\\anna\\Favoriten\\Nachrichten\\wetter.URL"));
    EXPECT_EQ(GetPPString("C:\\users\\anna\\Favoriten\\Nachrichten\\Wetter.url", "internetshortcut",
                          "url", "-"),
              "http://wetter.beispiel.de/");
    EXPECT_EQ(FindFile("SSSTARS.SCR"), "C:\\windows\\system32\\ssstars.scr")
        << "spelled as on disk";
    EXPECT_EQ(FindFile("nothere.scr"), "");
    EXPECT_EQ(HexToDEC("1F"), 31);
    EXPECT_EQ(HexToDEC("0x10zz"), 16);
    EXPECT_EQ(HexToDEC(""), 0);
    EXPECT_FALSE(fs::exists(machine("winxp") + "/.deskforge/journal.sqlite"))
        << "a read-only session leaves no journal";

    auto request = [&] { return CurrentMachine()->launcher().requests().back(); };
    EXPECT_EQ(ShellExecuteWrapper("C:\\Programme\\Opera\\opera.exe", "-newpage", "", 1), 42);
    EXPECT_EQ(request().parameters, "-newpage");
    EXPECT_EQ(ShellExecuteWrapper("C:\\Programme\\Nothing\\none.exe", "", "", 1), 2);
    OpenWebsite("http://www.ravelin-beispiel.de/");
    EXPECT_EQ(request().program, "http://www.ravelin-beispiel.de/");
    OpenHomepage("ntp", "ravelin", "tsTimeSync", "");
    EXPECT_EQ(request().program,
              "https://deskforge.example/redirect/ntp?campaign=ravelin&tag=tsTimeSync");
}

TEST_F(Templates, PathsResolveAsWindowsDoesAndStayInsideTheMachine) {
    auto m = Machine::open(machine("winxp"));
    MachineFiles& f = m->files();
    EXPECT_EQ(f.hostPath("C:\\USERS\\ANNA\\favoriten\\nachrichten\\WETTER.url"),
              machine("winxp") + "/drive_c/users/anna/Favoriten/Nachrichten/Wetter.url");
    EXPECT_EQ(f.hostPath("c:/users/anna/Neu/Datei.txt"),
              machine("winxp") + "/drive_c/users/anna/Neu/Datei.txt");
    EXPECT_EQ(f.hostPath("C:\\..\\..\\etc\\passwd"), machine("winxp") + "/drive_c/etc/passwd")
        << "never above the drive";
    EXPECT_EQ(f.hostPath("Q:\\x"), "");
    EXPECT_EQ(f.windowsPath(machine("winxp") + "/drive_c/users/anna"), "C:\\users\\anna");

    TempDir outside;
    fs::create_directory_symlink(outside.path(), machine("winxp") + "/drive_c/escape");
    EXPECT_FALSE(f.writable(machine("winxp") + "/drive_c/escape/file.txt"));
    EXPECT_TRUE(f.writable(machine("winxp") + "/drive_c/users/anna/new/file.txt"));
    EXPECT_FALSE(f.writable("/etc/passwd"));
    app::MachineSession session(machine("winxp"), app::MachineSession::Mode::Write);
    TJournalStream stream;
    stream.Data() = "x";
    EXPECT_THROW(stream.SaveToFile(machine("winxp") + "/drive_c/escape/file.txt"),
                 RegistryAccessError);
    EXPECT_TRUE(fs::is_empty(outside.path()));
    fs::remove(machine("winxp") + "/drive_c/escape");
}

TEST_F(Templates, TheHiddenAttributeIsKeptWhereWineKeepsIt) {
    auto m = Machine::open(machine("winxp"));
    MachineFiles& f = m->files();
    std::string privat = machine("winxp") + "/drive_c/users/anna/Favoriten/Privat";
    std::string news = machine("winxp") + "/drive_c/users/anna/Favoriten/Nachrichten";
    EXPECT_TRUE(f.isHidden(privat));
    EXPECT_FALSE(f.isHidden(news));
    f.setHidden(news, true);
    EXPECT_TRUE(f.isHidden(news));
    f.setHidden(news, false);
    EXPECT_FALSE(f.isHidden(news));
    EXPECT_TRUE(f.isHidden(privat)) << "other files keep theirs";
}

TEST_F(Templates, ServicesConfigureWhereWindowsKeepsThemAndUndo) {
    app::MachineSession session(machine("vista"), app::MachineSession::Mode::Write);
    EXPECT_EQ(GetDependentServiceList("upnphost"),
              (std::vector<std::string>{"FDResPub", "WMPNetworkSvc"}));
    int type = 0, state = 0;
    ASSERT_TRUE(GetServiceStartType("upnphost", type));
    EXPECT_EQ(type, 3);
    ASSERT_TRUE(GetServiceState("upnphost", state));
    EXPECT_EQ(state, 4);
    EXPECT_FALSE(GetServiceStartType("nosuchservice", type));

    ASSERT_TRUE(ConfigureService("upnphost", 1, 2, false));
    ASSERT_TRUE(GetServiceStartType("upnphost", type));
    EXPECT_EQ(type, 1);
    DWORD start = 0;
    GetRegDWORDValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\upnphost", "Start",
                     start, {2});
    EXPECT_EQ(start, 4u) << "disabled is 4 where Windows keeps it";
    GetServiceState("upnphost", state);
    EXPECT_EQ(state, 1);
    EXPECT_NE(test::readFile(machine("vista") + "/machine.json").find("\"upnphost\": \"stopped\""),
              std::string::npos);

    auto list = session.journal()->list();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].changes, 2) << "start type and run state in one transaction";
    session.journal()->undo(list[0].id, session.registry());
    GetRegDWORDValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\upnphost", "Start",
                     start, {2});
    EXPECT_EQ(start, 3u);
    EXPECT_NE(test::readFile(machine("vista") + "/machine.json").find("\"upnphost\": \"running\""),
              std::string::npos);
}

TEST_F(Templates, Wow64RedirectionSwitchesOffAndBack) {
    app::MachineSession session(machine("vista"), app::MachineSession::Mode::ReadOnly);
    ASSERT_TRUE(IsCurrentProcessWow64());
    EXPECT_EQ(GetRedirectedSystemDirectory(), "C:\\Windows\\SysWOW64");
    Machine& m = *CurrentMachine();
    EXPECT_TRUE(TNXFsRedirection::Enabled());
    EXPECT_EQ(m.resolve("C:\\Windows\\System32\\Bubbles.scr"),
              machine("vista") + "/drive_c/windows/SysWOW64/Bubbles.scr");
    TNXFsRedirection::Disable();
    EXPECT_EQ(m.resolve("C:\\Windows\\System32\\Bubbles.scr"),
              machine("vista") + "/drive_c/windows/system32/Bubbles.scr");
    TNXFsRedirection::Enable();
    EXPECT_EQ(m.resolve("C:\\Windows\\Sysnative\\Bubbles.scr"),
              machine("vista") + "/drive_c/windows/system32/Bubbles.scr");
    // Registry reads of a 32-bit process are redirected too.
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, "Software\\Mozilla\\Mozilla Firefox",
                                   "CurrentVersion", "", {}),
              "3.0.19 (de)");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, "Software\\Mozilla\\Mozilla Firefox",
                                   "CurrentVersion", "", {0}),
              "");
}

TEST_F(Templates, ScreenSaversCarryTheirDescription) {
    std::string scr = test::readFile(machine("winxp") + "/drive_c/windows/system32/ssstars.scr");
    EXPECT_EQ(readStringResource(scr, 1).value_or(""), "Sternenfeld-Simulation");
    EXPECT_FALSE(readStringResource(scr, 2).has_value());
    std::string many =
        makeStringResourceImage({{1, "eins"}, {17, "siebzehn \xC3\xA4"}, {40, "vierzig"}});
    EXPECT_EQ(readStringResource(many, 17).value_or(""), "siebzehn \xC3\xA4");
    EXPECT_EQ(readStringResource(many, 40).value_or(""), "vierzig");
    EXPECT_FALSE(readStringResource("MZ not a pe file at all", 1).has_value());
    EXPECT_FALSE(readStringResource(many.substr(0, 300), 1).has_value())
        << "a cut file is no crash";
}

TEST(ProfileFileTest, ReadsAsWindowsReadsInitialisationFiles) {
    ProfileFile f = ProfileFile::parse("; comment\r\n"
                                       "[Main]\r\n"
                                       "  Key = value with spaces  \r\n"
                                       "key=second, ignored\r\n"
                                       "Url=http://x/?a=b;c ; not a comment\r\n"
                                       "Quoted=\"in quotes\"\r\n"
                                       ";Hidden=1\r\n"
                                       "NoEquals\r\n"
                                       "[main]\r\n"
                                       "Later=1\r\n"
                                       "Key=from the duplicate section\r\n");
    EXPECT_EQ(f.get("MAIN", "key", "-"), "value with spaces");
    EXPECT_EQ(f.get("Main", "Url", "-"), "http://x/?a=b;c ; not a comment");
    EXPECT_EQ(f.get("Main", "Quoted", "-"), "in quotes");
    EXPECT_EQ(f.get("Main", "Hidden", "-"), "-");
    EXPECT_EQ(f.get("Main", "NoEquals", "-"), "-");
    EXPECT_EQ(f.get("Main", "Later", "-"), "1");
    EXPECT_EQ(f.get("Other", "Key", "def"), "def");
    EXPECT_EQ(f.sections(), std::vector<std::string>{"Main"});
    ProfileFile wide = ProfileFile::parse(std::string("\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0\xE4\0", 18));
    EXPECT_EQ(wide.get("s", "k", "-"), "\xC3\xA4");
}

TEST(MachineConfigTest, BadMachineJsonIsReportedWithItsFile) {
    TempDir d;
    createMachine(d.file("m"), "bare", templates());
    test::writeFile(d.file("m/machine.json"), "{\n  \"user\": \"anna\",\n  \"admni\": true\n}\n");
    try {
        Machine::open(d.file("m"));
        FAIL() << "a misspelt setting was accepted";
    } catch (const RegistryFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("machine.json"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("admni"), std::string::npos);
    }
    test::writeFile(d.file("m/machine.json"), "{\n  \"user\": \"anna\",\n  oops\n}\n");
    try {
        Machine::open(d.file("m"));
        FAIL() << "broken JSON was accepted";
    } catch (const RegistryFormatError& e) {
        EXPECT_EQ(e.line(), 3u);
    }
    fs::remove(d.file("m/machine.json"));
    auto m = Machine::open(d.file("m"));
    EXPECT_EQ(m->config().user, "anna") << "sound defaults without machine.json";
    EXPECT_TRUE(m->config().admin);
}

TEST(MachineConfigTest, AFolderOfHiveFilesIsAWindowsMachine) {
    TempDir scratch;
    for (const auto& sample : test::hiveSamples(scratch)) {
        SCOPED_TRACE(sample.origin);
        TempDir d;
        fs::create_directories(d.file("WINDOWS/system32/config"));
        fs::create_directories(d.file("Documents and Settings/bob"));
        test::copyFile(sample.minimal, d.file("WINDOWS/system32/config/software"));
        test::copyFile(sample.minimal, d.file("WINDOWS/system32/config/system"));
        test::copyFile(sample.special, d.file("Documents and Settings/bob/NTUSER.DAT"));
        auto m = Machine::open(d.path());
        EXPECT_EQ(m->kind(), MachineKind::Windows);
        EXPECT_EQ(m->config().user, "bob");
        EXPECT_EQ(m->files().hostPath("C:\\Documents and Settings\\BOB"),
                  d.file("Documents and Settings/bob"));
        EXPECT_EQ(m->identity().platform, 1) << "an empty SOFTWARE hive says nothing of NT";
    }
}
