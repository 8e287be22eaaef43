// One transaction model for everything a command changes: registry values, file contents,
// folders and attributes are applied whole or not at all, undone by the places and lines
// they changed, and planned only in a dry run. Every case runs on a Wine prefix and on a
// Windows drive of hive files.
#include "host/journal/Journal.h"

#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/journal/KeyedMerge.h"
#include "host/machine/Machine.h"
#include "host/machine/Templates.h"
#include "host/registry/Registry.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ravelin;
using ravelin::journal::JournalError;
using ravelin::test::TempDir;

namespace {

const std::string kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

class Transactions : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        machine::createMachine(dir.path(), "winxp",
                               std::string(RAVELIN_SOURCE_DIR) + "/samples/templates", GetParam());
        open();
    }
    void TearDown() override { session.reset(); }
    void open(app::MachineSession::Mode mode = app::MachineSession::Mode::Write) {
        session.reset();
        session = std::make_unique<app::MachineSession>(dir.path(), mode);
        Journal_Discard = false;
        Journal_Running = true;
        TakeWriteFailure();
    }
    journal::Journal& jnl() { return *session->journal(); }
    registry::Registry& reg() { return session->registry(); }
    std::string str(HKEY root, const std::string& key, const std::string& name) {
        return GetRegStringValueDef(root, key, name, "<missing>", {2});
    }
    // A write every kind of machine refuses: a key name longer than Windows allows.
    int refusedWrite() {
        return SetRegStringValue(HKEY_CURRENT_USER, "Software\\" + std::string(300, 'k'), "v", "x",
                                 {});
    }
    // A file the machine cannot write: a folder stands where the file would go (the tests
    // run as root, for whom permissions refuse nothing).
    std::string unwritableFile() {
        std::string path = dir.file("profile/operaprefs.ini");
        std::filesystem::create_directories(path);
        test::writeFile(path + "/keep", "x");
        return path;
    }
    TempDir dir;
    std::unique_ptr<app::MachineSession> session;
};

} // namespace

TEST_P(Transactions, AFileThatCannotBeWrittenVoidsItsTransactionAndIsNeverReplayed) {
    const std::string file = unwritableFile();
    BackupStart(0, "");
    ASSERT_EQ(SetRegStringValue(HKEY_CURRENT_USER, "Software\\Opera", "Title", "mine", {}), 0);
    TJournalStream stream;
    stream.Data() = "[User Prefs]\nTitle=mine\n";
    EXPECT_THROW(stream.SaveToFile(file), RegistryAccessError);
    BackupEnd(false);
    EXPECT_FALSE(TakeWriteFailure().empty()) << "the refusal fails the command";
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Opera", "Title"), "<missing>")
        << "memory rolled back";
    EXPECT_TRUE(jnl().list().empty());

    // A single change of its own, outside any transaction, leaves nothing either.
    EXPECT_THROW(stream.SaveToFile(file), RegistryAccessError);
    EXPECT_TRUE(jnl().list().empty());

    // An unrelated later command replays nothing of it.
    ASSERT_EQ(SetRegStringValue(HKEY_CURRENT_USER, "Software\\Other", "v", "1", {}), 0);
    reg().flush();
    std::filesystem::remove_all(dir.file("profile"));
    open();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Opera", "Title"), "<missing>");
    ASSERT_EQ(jnl().list().size(), 1u);
}

TEST_P(Transactions, ARefusedWriteVoidsTheWholeDialogWithItsFilesAndFolders) {
    const std::string before = str(HKEY_LOCAL_MACHINE, kWinlogon, "DontDisplayLastUserName");
    const std::string caption = str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption");
    BackupStart(0, "");
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome", "Hello", {2});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DontDisplayLastUserName", "1", {2});
    CreateFolderJournalled(dir.file("drive_c/web/scripts"));
    TJournalStream script;
    script.Data() = "alert(1)";
    script.SaveToFile(dir.file("drive_c/web/scripts/run.js"));
    SetHiddenJournalled(dir.file("drive_c/web/scripts"), true);
    EXPECT_NE(refusedWrite(), 0);
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", "late", {2});
    BackupEnd(false);
    EXPECT_FALSE(TakeWriteFailure().empty());

    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome"), "<missing>");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DontDisplayLastUserName"), before);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption"), caption);
    EXPECT_FALSE(std::filesystem::exists(dir.file("drive_c/web"))) << "folders and copy removed";
    EXPECT_TRUE(jnl().list().empty());
    // Nothing comes back on the next open either.
    reg().flush();
    open();
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome"), "<missing>");
    EXPECT_FALSE(std::filesystem::exists(dir.file("drive_c/web")));
}

TEST_P(Transactions, FoldersAndAttributesAreRowsThatUndoReverses) {
    const std::string favorites = dir.file("drive_c/favs");
    std::filesystem::create_directories(favorites);
    auto& files = session->machine().files();
    SetHiddenJournalled(favorites, true);
    EXPECT_TRUE(files.isHidden(favorites));
    CreateFolderJournalled(dir.file("drive_c/profile/chrome"));
    TJournalStream sheet;
    sheet.Data() = "a { color: red }\n";
    sheet.SaveToFile(dir.file("drive_c/profile/chrome/userChrome.css"));
    auto list = jnl().list();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_NE(list[2].summary.find("favs versteckt"), std::string::npos) << list[2].summary;
    EXPECT_NE(list[1].summary.find("(Ordner) angelegt (+1 weitere)"), std::string::npos)
        << list[1].summary;

    jnl().undo(list[0].id, reg());
    jnl().undo(list[1].id, reg());
    EXPECT_FALSE(std::filesystem::exists(dir.file("drive_c/profile"))) << "folders made go";
    jnl().undo(list[2].id, reg());
    EXPECT_FALSE(files.isHidden(favorites));
    jnl().redo(list[2].id, reg());
    EXPECT_TRUE(files.isHidden(favorites));
}

TEST_P(Transactions, ADryRunPlansFoldersAndAttributesWithoutMakingThem) {
    const std::string favorites = dir.file("drive_c/favs");
    std::filesystem::create_directories(favorites);
    open(app::MachineSession::Mode::DryRun);
    SetHiddenJournalled(favorites, true);
    CreateFolderJournalled(dir.file("drive_c/new/deeper"));
    TJournalStream s;
    s.Data() = "x";
    s.SaveToFile(dir.file("drive_c/new/deeper/f.txt"));
    const std::string patch = session->dryRunPatch();
    EXPECT_FALSE(session->machine().files().isHidden(favorites));
    EXPECT_FALSE(std::filesystem::exists(dir.file("drive_c/new")));
    EXPECT_NE(patch.find("favs: versteckt"), std::string::npos) << patch;
    EXPECT_NE(patch.find("drive_c/new: Ordner angelegt"), std::string::npos) << patch;
    EXPECT_NE(patch.find("drive_c/new/deeper: Ordner angelegt"), std::string::npos) << patch;
    EXPECT_NE(patch.find("+x"), std::string::npos) << patch;
}

TEST_P(Transactions, ASensitiveValueSetLaterIsNotDeletedByAnUndo) {
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Txn", "Secret", "anna", {2, 6}), 0);
    const auto first = jnl().list().front().id;
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Txn", "Secret", "bert", {2, 6}), 0);
    EXPECT_THROW(jnl().undo(first, reg()), JournalError);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Txn", "Secret"), "bert");
    // The same secret set again is no conflict: the digest matches.
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Txn", "Secret", "anna", {2, 6}), 0);
    EXPECT_NO_THROW(jnl().undo(first, reg()));
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Txn", "Secret"), "<missing>");
    // No digest gives the secret away.
    session.reset();
    std::string bytes;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file(".deskforge")))
        bytes += test::readFile(entry.path());
    EXPECT_EQ(bytes.find("bert"), std::string::npos);
}

TEST_P(Transactions, ACrashBeforeTheEndLeavesNoSensitiveStepBehind) {
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName", "anna", {2, 6});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "geheim", {2, 6});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "1", {2});
    reg().flush();
    open();
    // Automatic logon switched off, then the process dies before the transaction ends.
    BackupStart(0, "");
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "0", {2});
    DeleteRegValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName", {2, 6});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "XXXXXXXXXXX", {2, 6});
    session.reset();
    open();
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon"), "1");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName"), "anna");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword"), "geheim");

    // Ended, it is there whole, in the files at once.
    BackupStart(0, "");
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "0", {2});
    DeleteRegValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName", {2, 6});
    BackupEnd(false);
    session.reset();
    open();
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon"), "0");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName"), "<missing>");
}

TEST_P(Transactions, UndoOfASettingsFileGoesByTheLinesItChanged) {
    const std::string ini = dir.file("drive_c/opera/operaprefs.ini");
    std::filesystem::create_directories(dir.file("drive_c/opera"));
    test::writeFile(ini, "Opera Preferences version 2.1\n\n[User Prefs]\nTitle=Opera\n"
                         "History Mode=1\n");
    TJournalStream s;
    s.LoadFromFile(ini);
    s.Data() = "Opera Preferences version 2.1\n\n[User Prefs]\nTitle=Mine\nHistory Mode=1\n";
    s.SaveToFile(ini);
    const auto title = jnl().list().front().id;
    s.Data() = "Opera Preferences version 2.1\n\n[User Prefs]\nTitle=Mine\nHistory Mode=3\n"
               "[Extra]\nA=1\n";
    s.SaveToFile(ini);
    jnl().undo(title, reg());
    EXPECT_EQ(test::readFile(ini), "Opera Preferences version 2.1\n\n[User Prefs]\nTitle=Opera\n"
                                   "History Mode=3\n[Extra]\nA=1\n");

    // Firefox rewrites prefs.js on every start: an undo still puts back its own line only,
    // and refuses when that line changed.
    const std::string prefs = dir.file("drive_c/ff/prefs.js");
    std::filesystem::create_directories(dir.file("drive_c/ff"));
    test::writeFile(prefs, "user_pref(\"a.b\", 1);\nuser_pref(\"toolkit.startup.last_success\", "
                           "100);\n");
    s.LoadFromFile(prefs);
    s.Data() = "user_pref(\"a.b\", 1);\nuser_pref(\"browser.x\", true);\n"
               "user_pref(\"toolkit.startup.last_success\", 100);\n";
    s.SaveToFile(prefs);
    const auto added = jnl().list().front().id;
    test::writeFile(prefs, "user_pref(\"a.b\", 1);\nuser_pref(\"browser.x\", true);\n"
                           "user_pref(\"toolkit.startup.last_success\", 200);\n");
    jnl().undo(added, reg());
    EXPECT_EQ(test::readFile(prefs), "user_pref(\"a.b\", 1);\n"
                                     "user_pref(\"toolkit.startup.last_success\", 200);\n");
    // Redone, then changed outside: refused; forced, only that line goes back.
    jnl().redo(added, reg());
    test::writeFile(prefs, "user_pref(\"a.b\", 2);\nuser_pref(\"browser.x\", false);\n"
                           "user_pref(\"toolkit.startup.last_success\", 300);\n");
    try {
        jnl().undo(added, reg());
        ADD_FAILURE() << "undo over a changed line";
    } catch (const JournalError& e) {
        EXPECT_NE(std::string(e.what()).find("browser.x"), std::string::npos) << e.what();
    }
    jnl().undo(added, reg(), true);
    EXPECT_EQ(test::readFile(prefs), "user_pref(\"a.b\", 2);\n"
                                     "user_pref(\"toolkit.startup.last_success\", 300);\n");
}

TEST_P(Transactions, TheJournalNamesFilesByTheirAbsolutePath) {
    std::filesystem::create_directories(dir.file("drive_c/rel"));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.file("drive_c"));
    TJournalStream s;
    s.Data() = "a { b: c }\n";
    s.SaveToFile("rel/../rel/sheet.css");
    std::filesystem::current_path(cwd);
    auto entries = jnl().entries(jnl().list().front().id);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].file.path,
              std::filesystem::canonical(dir.file("drive_c/rel")).string() + "/sheet.css");
    EXPECT_NO_THROW(jnl().undo(jnl().list().front().id, reg()));
}

TEST_P(Transactions, ADialogWhoseOneValueTheHiveRefusesWritesNothing) {
    // The classic logon dialog of Windows 2000: a prompt longer than a hive value may be.
    session.reset();
    TempDir other;
    machine::createMachine(other.path(), "win2000",
                           std::string(RAVELIN_SOURCE_DIR) + "/samples/templates", GetParam());
    session = std::make_unique<app::MachineSession>(other.path(), app::MachineSession::Mode::Write);
    const std::string welcome = str(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome");
    const std::string hide = str(HKEY_LOCAL_MACHINE, kWinlogon, "DontDisplayLastUserName");
    const std::string prompt(GetParam() ? 9000 : 10, 'x');
    test::runScript("logon",
                    "click btnLogonOld2k\ncheck chkLogonPrompt on\nset txtLogonPrompt \"" + prompt +
                        "\"\ncheck chkAppendTitle on\nset txtAppendTitle \"Hallo\"\n"
                        "tab tsSecurity\ncheck chkHideLastUser on\nclick btnOK\n",
                    GetParam() ? 1 : 0);
    if (GetParam()) {
        EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome"), welcome);
        EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "DontDisplayLastUserName"), hide);
        EXPECT_TRUE(session->journal()->list().empty());
    } else {
        // A Wine file takes it: the same dialog is written whole.
        EXPECT_EQ(str(HKEY_LOCAL_MACHINE, kWinlogon, "Welcome"), "Hallo");
    }
    session.reset(); // before its folder goes
}

TEST_P(Transactions, UndoOfASheetItMadeKeepsRulesAndFilesAddedSince) {
    const std::string chrome = dir.file("drive_c/profile/chrome");
    std::filesystem::create_directories(dir.file("drive_c/profile"));
    BackupStart(0, "");
    CreateFolderJournalled(chrome);
    TJournalStream s;
    s.Data() = "#nav-bar { display: none }\n";
    s.SaveToFile(chrome + "/userChrome.css");
    BackupEnd(false);
    const auto made = jnl().list().front().id;
    // Firefox and the user add to them since.
    test::writeFile(chrome + "/userChrome.css", "#nav-bar { display: none }\nb { x: 1 }\n");
    test::writeFile(chrome + "/userContent.css", "c { y: 2 }\n");
    jnl().undo(made, reg());
    EXPECT_EQ(test::readFile(chrome + "/userChrome.css"), "b { x: 1 }\n");
    EXPECT_TRUE(std::filesystem::exists(chrome + "/userContent.css"));
}

INSTANTIATE_TEST_SUITE_P(BothKinds, Transactions, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WindowsDrive" : "WinePrefix");
                         });

TEST(KeyedMerge, StyleRulesGoByTheirSelectorAndProperties) {
    using journal::mergeKeyed;
    const std::string before = "@namespace url(x);\n#a { color: red }\n";
    const std::string after = "@namespace url(x);\n#a { color: red }\n#b {\n  display: none;\n}\n";
    const std::string now = "@namespace url(x);\n#a { color: blue }\n#b {\n  display: none;\n}\n";
    auto m = mergeKeyed("/p/userChrome.css", now, after, before);
    ASSERT_TRUE(m.keyed);
    EXPECT_TRUE(m.conflict.empty()) << m.conflict;
    EXPECT_EQ(*m.result, "@namespace url(x);\n#a { color: blue }\n");
    auto other = mergeKeyed("/p/readme.txt", now, after, before);
    EXPECT_FALSE(other.keyed);
}
