// Which Firefox profile the pages edit on a Linux desktop (the installation's key, the
// user's choice, a missing folder, a profile kept elsewhere), the version of that Firefox,
// and the refusal of every writing command while Firefox holds the profile.
#include "app/deskforge/CssCommand.h"
#include "app/deskforge/JournalCommand.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "firefox/ufrmFireFox.h"
#include "host/Nxmozillahelper.h"
#include "host/Nxregistry.h"
#include "host/Prefsjseditor.h"
#include "host/Smallmozillastuff.h"
#include "host/journal/Journal.h"
#include "host/registry/Registry.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace ravelin;
using namespace ravelin::firefox;

namespace {

class FireFoxProfile : public test::PageTest {
  protected:
    FireFoxProfile() : PageTest("firefox") {}
    void SetUp() override {
        open("winxp"); // the machine's Firefox is 2
        // No installation of this computer takes part unless a test names one.
        SetFirefoxInstallDir(install.path());
    }
    void TearDown() override {
        SetFirefoxInstallDir("");
        SetFirefoxRoot("");
        PageTest::TearDown();
    }
    std::string root() const { return rootDir.path() + "/"; }
    void profile(const std::string& name, const std::string& prefs = "user_pref(\"a\", 1);\n") {
        std::filesystem::create_directories(root() + name);
        test::writeFile(root() + name + "/prefs.js", prefs);
    }
    std::string first() {
        TSmallStringList list;
        GetFireFoxProfilePaths(list);
        return list.empty() ? std::string() : list.front();
    }
    test::TempDir rootDir, install;
};

} // namespace

// The keys Firefox 153 wrote into profiles.ini for installations in these folders, one
// per length class of the hash (up to 16, 32, 64 and more bytes of UTF-16).
TEST(FireFoxInstallHash, MatchesTheKeysFirefoxWrites) {
    EXPECT_EQ(FirefoxInstallHash("/opt/ff"), "2FD3CDE7BD77FF3E");
    EXPECT_EQ(FirefoxInstallHash("/opt/firefoxabcd"), "EA16FE2F497BFFE3");
    EXPECT_EQ(FirefoxInstallHash("/usr/lib/firefox-esr"), "3B6073811A6ABF12");
    EXPECT_EQ(FirefoxInstallHash("/usr/lib/firefox-esr/"), "3B6073811A6ABF12");
    EXPECT_EQ(FirefoxInstallHash("/opt/firefox-long-folder-name-for-the-test"), "5ACCC25509DCF0AD");
}

TEST(FireFoxInstallHash, TheInstallationOnThisComputerChoosesItsSection) {
    const std::string profiles =
        "[Profile0]\nName=a\nPath=a.default\nDefault=1\n[Profile1]\nName=b\nPath=b.esr\n"
        "[Profile2]\nName=c\nPath=c.release\n"
        "[InstallAAAA000000000001]\nDefault=c.release\nLocked=1\n"
        "[Install3B6073811A6ABF12]\nDefault=b.esr\nLocked=1\n";
    EXPECT_EQ(ProfilePathsFromIni("R/", profiles, "", {"3B6073811A6ABF12"}).front(), "R/b.esr/");
    EXPECT_EQ(ProfilePathsFromIni("R/", profiles, "", {"AAAA000000000001"}).front(),
              "R/c.release/");
    // installs.ini alone, with a key written without its leading zero.
    EXPECT_EQ(ProfilePathsFromIni("R/", "[Profile0]\nPath=x\n[Profile1]\nPath=y\n",
                                  "[F00D]\nDefault=x\n[ABC]\nDefault=y\n", {"0000000000000ABC"})
                  .front(),
              "R/y/");
    // An installation that has chosen none: the profile a new one takes (Default=1).
    EXPECT_EQ(ProfilePathsFromIni("R/", profiles, "", {"FFFFFFFFFFFFFFFF"}).front(),
              "R/a.default/");
}

TEST_F(FireFoxProfile, TheInstallationsVersionAndNeverTheMachines) {
    profile("p.default");
    test::writeFile(root() + "profiles.ini", "[Profile0]\nName=default\nPath=p.default\n[Install" +
                                                 FirefoxInstallHash(install.path()) +
                                                 "]\nDefault=p.default\n");
    test::writeFile(install.path() + "/application.ini", "[App]\nName=Firefox\nVersion=128.3.1\n");
    SetFirefoxRoot(root());
    EXPECT_EQ(GetFirefoxVersion().Major, 128) << "no compatibility.ini: the installation says";
    // Installed newer than the version that last ran: the one that reads the files next.
    test::writeFile(root() + "p.default/compatibility.ini",
                    "[Compatibility]\nLastVersion=115.0_1/1\n");
    EXPECT_EQ(GetFirefoxVersion().Major, 128);
    // A profile of another installation: the version that last used it.
    test::writeFile(root() + "profiles.ini", "[Profile0]\nName=default\nPath=p.default\n");
    EXPECT_EQ(GetFirefoxVersion().Major, 115);
    std::filesystem::remove(root() + "p.default/compatibility.ini");
    EXPECT_EQ(GetFirefoxVersion().Major, 128);
    {
        TfrmMozillaFireFox page(nullptr);
        EXPECT_EQ(page.major(), 128) << "not the machine's Firefox 2";
    }
    run("check chkDisableMarqueeText on\n");
    EXPECT_NE(test::readFile(root() + "p.default/prefs.js")
                  .find("\"toolkit.legacyUserProfileCustomizations.stylesheets\", true"),
              std::string::npos)
        << "the switch that lets a modern Firefox read the sheet";
    std::filesystem::remove(install.path() + "/application.ini");
    EXPECT_EQ(GetFirefoxVersion().Major, 0) << "unknown, never the machine's";
}

TEST_F(FireFoxProfile, AMissingDefaultIsSaidAndNoOtherProfileIsEdited) {
    profile("other");
    test::writeFile(root() + "profiles.ini",
                    "[Profile0]\nName=other\nPath=other\n[Profile1]\nName=gone\nPath=gone\n"
                    "Default=1\n");
    test::writeFile(install.path() + "/application.ini", "[App]\nVersion=115.0\n");
    SetFirefoxRoot(root());
    EXPECT_EQ(first(), root() + "gone/");
    {
        TfrmMozillaFireFox page(nullptr);
        EXPECT_TRUE(page.lblProfileState->Visible);
        EXPECT_NE(page.lblProfileState->Caption.find("fehlt"), std::string::npos);
        EXPECT_NE(page.lblProfileState->Hint.find(root() + "gone/"), std::string::npos);
    }
    const std::string out = run("check chkDisableBlinkingText on\n", 1);
    EXPECT_NE(out.find("existiert nicht"), std::string::npos) << out;
    EXPECT_EQ(test::readFile(root() + "other/prefs.js"), "user_pref(\"a\", 1);\n");
    EXPECT_FALSE(std::filesystem::exists(root() + "gone"));

    // The user's choice, by name or by folder.
    SetFirefoxProfile("other");
    EXPECT_EQ(first(), root() + "other/");
    run("check chkDisableBlinkingText on\n");
    EXPECT_NE(test::readFile(root() + "other/prefs.js").find("browser.blink_allowed"),
              std::string::npos);
    SetFirefoxProfile(root() + "other");
    EXPECT_EQ(first(), root() + "other/");
    EXPECT_THROW(SetFirefoxProfile("nosuch"), RegistryAccessError);
    EXPECT_EQ(first(), root() + "other/") << "a refused choice keeps the last one";
}

TEST_F(FireFoxProfile, EveryProfileIsListedWithItsInstallation) {
    profile("a");
    profile("b");
    test::writeFile(root() + "profiles.ini",
                    "[Profile0]\nName=a\nPath=a\n[Profile1]\nName=b\nPath=b\n[Install" +
                        FirefoxInstallHash(install.path()) +
                        "]\nDefault=b\n[Install0123456789ABCDEF]\nDefault=a\n");
    SetFirefoxRoot(root());
    auto list = FirefoxProfiles();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "b");
    EXPECT_EQ(list[0].installs, std::vector<std::string>{install.path()});
    EXPECT_EQ(list[1].installs, std::vector<std::string>{"Installation 0123456789ABCDEF"});
}

// A profile that profiles.ini keeps outside the root is the user's to change; a link in
// it that leaves it is not.
TEST_F(FireFoxProfile, AProfileKeptElsewhereIsWritableButItsLinksStayConfined) {
    test::TempDir elsewhere, outside;
    test::writeFile(elsewhere.path() + "/prefs.js", "user_pref(\"a\", 1);\n");
    test::writeFile(install.path() + "/application.ini", "[App]\nVersion=115.0\n");
    test::writeFile(root() + "profiles.ini",
                    "[Profile0]\nName=far\nIsRelative=0\nPath=" + elsewhere.path() + "\n");
    SetFirefoxRoot(root());
    run("check chkDisableBlinkingText on\n");
    EXPECT_NE(test::readFile(elsewhere.path() + "/prefs.js").find("browser.blink_allowed"),
              std::string::npos);
    std::filesystem::create_directory_symlink(outside.path(), elsewhere.path() + "/chrome");
    const std::string out = run("check chkDisableMarqueeText on\n", 1);
    EXPECT_NE(out.find("führt aus dem Maschinenordner"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(outside.path() + "/userContent.css"));
}

// Undo, redo and the style-sheet command go through the journal's file writes, which
// refuse a profile a running Firefox holds, as the page does.
TEST_F(FireFoxProfile, EveryWritingCommandRefusesWhileFirefoxRuns) {
    profile("p");
    test::writeFile(root() + "profiles.ini", "[Profile0]\nName=p\nPath=p\n");
    test::writeFile(install.path() + "/application.ini", "[App]\nVersion=115.0\n");
    SetFirefoxRoot(root());
    run("check chkDisableBlinkingText on\ncheck chkDisableMarqueeText on\n");
    const std::string prefs = test::readFile(root() + "p/prefs.js");
    const std::string sheet = root() + "p/chrome/userContent.css";
    const std::string css = test::readFile(sheet);
    const auto txns = session->journal()->list();
    ASSERT_EQ(txns.size(), 2u);

    const std::string live = "127.0.0.1:+" + std::to_string(::getpid());
    ASSERT_EQ(::symlink(live.c_str(), (root() + "p/lock").c_str()), 0);
    auto command = [&](const std::vector<std::string>& args, bool journalCommand) {
        std::ostringstream out, err;
        std::istringstream in;
        app::Console c{out, err, in};
        int rc = journalCommand
                     ? app::runJournalCommand(session->registry(), *session->journal(), args, c)
                     : app::runCssCommand(args, c);
        EXPECT_EQ(rc, 1) << args[0] << ": " << out.str();
        EXPECT_NE(err.str().find("läuft mit dem Profil"), std::string::npos)
            << args[0] << ": " << err.str();
    };
    command({"undo", std::to_string(txns[0].id)}, true);
    command({"undo", std::to_string(txns[1].id)}, true);
    command({"undo", std::to_string(txns[1].id), "--force"}, true);
    command({"set", sheet, "marquee", "color", "red"}, false);
    command({"delete", sheet, "marquee"}, false);
    run("check chkDisableBlinkingText off\n", 1);
    EXPECT_EQ(test::readFile(root() + "p/prefs.js"), prefs);
    EXPECT_EQ(test::readFile(sheet), css);
    EXPECT_EQ(transactions(), 2u) << "nothing reported done";

    // Once Firefox has gone, the undo goes through, and its redo is refused again while
    // Firefox runs.
    ::unlink((root() + "p/lock").c_str());
    const auto undo = session->journal()->undo(txns[0].id, session->registry());
    EXPECT_FALSE(std::filesystem::exists(sheet));
    ASSERT_EQ(::symlink(live.c_str(), (root() + "p/lock").c_str()), 0);
    command({"redo", std::to_string(undo)}, true);
    ::unlink((root() + "p/lock").c_str());
}
