#include "host/journal/Journal.h"

#include "app/deskforge/JournalCommand.h"
#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/machine/Templates.h"
#include "host/registry/Patch.h"
#include "host/registry/RegFile.h"
#include "host/registry/Registry.h"
#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using namespace ravelin::registry;
using ravelin::journal::Journal;
using ravelin::journal::JournalError;
using ravelin::test::TempDir;

namespace {

void copySample(const std::string& to, bool hives = false) {
    machine::createMachine(to, "winxp", std::string(RAVELIN_SOURCE_DIR) + "/samples/templates",
                           hives);
}

// The bytes of a machine's registry files: a Wine file by name, or the hive files that
// hold the same keys on a Windows drive.
std::string hiveBytes(const TempDir& dir, bool hives, const std::string& wineName) {
    if (!hives) return test::readFile(dir.file(wineName));
    if (wineName == "user.reg") return test::readFile(dir.file("Users/anna/NTUSER.DAT"));
    return test::readFile(dir.file("Windows/System32/config/SOFTWARE")) +
           test::readFile(dir.file("Windows/System32/config/SYSTEM"));
}

// Whether registry file bytes hold a text, as UTF-8 (Wine) or UTF-16 (hive files).
bool holds(const std::string& bytes, const std::string& ascii) {
    std::string wide;
    for (char c : ascii)
        wide += std::string{c, '\0'};
    return bytes.find(ascii) != std::string::npos || bytes.find(wide) != std::string::npos;
}

// Everything a root shows, as reg export would write it: keys, values, types and data.
std::string dump(Registry& reg, HKEY root, const std::string& path) {
    RegFileWriter w;
    std::function<void(const std::string&, const std::string&)> walk =
        [&](const std::string& p, const std::string& full) {
            std::vector<RegistryValue> values;
            reg.enumValues(root, p, values, {2});
            // Hive files keep values in the order they were made, Wine files sorted: a
            // value put back by an undo may stand elsewhere in the list.
            std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
                return text::compareNames(a.name, b.name) < 0;
            });
            w.addKey(full, values);
            std::vector<std::string> subkeys;
            reg.enumKeys(root, p, subkeys, {2});
            for (const auto& s : subkeys)
                walk(p.empty() ? s : p + "\\" + s, full + "\\" + s);
        };
    walk(path, Registry::rootName(root) + std::string(path.empty() ? "" : "\\" + path));
    return w.text();
}

std::string dumpAll(Registry& reg) {
    return dump(reg, HKEY_LOCAL_MACHINE, "Software") + dump(reg, HKEY_LOCAL_MACHINE, "System") +
           dump(reg, HKEY_USERS, "");
}

// Every journal test runs on a Wine prefix and on a Windows drive of hive files.
class JournalTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        copySample(dir.path(), GetParam());
        open();
    }
    std::string hiveBytes(const std::string& wineName) const {
        return ::hiveBytes(dir, GetParam(), wineName);
    }
    void TearDown() override { session.reset(); }
    void open() {
        session.reset();
        session = std::make_unique<app::MachineSession>(dir.path(), false);
        Journal_Discard = false;
        Journal_Running = true;
    }
    Registry& reg() { return session->registry(); }
    Journal& jnl() { return *session->journal(); }
    std::string str(HKEY root, const std::string& key, const std::string& name) {
        return GetRegStringValueDef(root, key, name, "<missing>", {});
    }
    TempDir dir;
    std::unique_ptr<app::MachineSession> session;
};

} // namespace

TEST_P(JournalTest, RecordsWhatPagesWriteAndNotWhatTheyFill) {
    JournalSetContext("internet", "chkAdminShares");
    SetRegDWORDValue(HKEY_LOCAL_MACHINE,
                     "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters",
                     "AutoShareWks", 0, {});
    JournalSetFlag(2);

    Journal_Discard = true; // a page filling its controls
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Fill", "x", "1", {});
    Journal_Discard = false;

    JournalEnd(); // journal stopped outside a backup
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Stopped", "x", "1", {});
    JournalStart();

    // A dialog's OK: one transaction however many writes.
    JournalSetContext("tcpip", "btnOK");
    JournalEnd();
    BackupStart(0, "");
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                     "DefaultTTL", 64, {});
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                     "SackOpts", 0, {});
    BackupEnd(false);
    JournalStart();

    BackupStart(0, "nothing"); // an empty backup leaves no transaction
    BackupEnd(false);

    auto list = jnl().list();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].page, "tcpip");
    EXPECT_EQ(list[0].changes, 2);
    EXPECT_EQ(list[1].page, "internet");
    EXPECT_EQ(list[1].control, "chkAdminShares");
    EXPECT_EQ(list[1].category, 2);
    EXPECT_NE(list[1].summary.find("AutoShareWks\" = 0x0"), std::string::npos) << list[1].summary;
    // The unrecorded writes were made all the same.
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Fill", "x"), "1");
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Stopped", "x"), "1");
}

TEST_P(JournalTest, AcknowledgedWritesSurviveACrashBeforeTheFlush) {
    const std::string before = hiveBytes("system.reg");
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Crash", "v", "kept", {}), 0);
    Journal_Discard = true;
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Crash", "hidden", "kept too", {}),
              0);
    Journal_Discard = false;
    ASSERT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE,
                             "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", "SackOpts",
                             {}),
              0);
    // No flush: the process dies here.
    session.reset();
    EXPECT_EQ(hiveBytes("system.reg"), before);

    open();
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Crash", "v"), "kept");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Crash", "hidden"), "kept too");
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE,
                                "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                                "SackOpts", {}));
    std::string recovered = hiveBytes("system.reg");
    EXPECT_TRUE(holds(recovered, "kept too")) << "recovery writes the files";
    // Replaying again changes nothing.
    open();
    EXPECT_EQ(hiveBytes("system.reg"), recovered);
    EXPECT_EQ(jnl().recover(reg()), 0u);
}

TEST_P(JournalTest, UndoAndRedoRestoreExactlyWhatWasThere) {
    const std::string original = dumpAll(reg());
    BackupStart(0, "");
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main",
                      "Start Page", "http://changed/", {});
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                     "DefaultTTL", 32, {});
    DeleteRegValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                   "SackOpts", {});
    SetRegMultiStringValue(HKEY_CURRENT_USER, "Software\\New\\Deep", "m", {"a", "b"}, {});
    DeleteRegKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\W32Time", {});
    CopyRegKey(HKEY_CURRENT_USER, "Software\\Microsoft", HKEY_USERS, ".DEFAULT\\Software\\Copied",
               {}, {});
    MoveRegKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", HKEY_LOCAL_MACHINE,
               "Software\\IE moved", {}, {});
    BackupEnd(false);
    reg().flush();
    const std::string changed = dumpAll(reg());
    ASSERT_NE(changed, original);
    std::int64_t txn = jnl().list().front().id;

    jnl().undo(txn, reg());
    EXPECT_EQ(dumpAll(reg()), original);
    open(); // and it is on disk
    EXPECT_EQ(dumpAll(reg()), original);

    jnl().redo(txn, reg());
    EXPECT_EQ(dumpAll(reg()), changed);
    // The undo is itself journalled and can be undone.
    auto list = jnl().list();
    ASSERT_GE(list.size(), 3u);
    EXPECT_EQ(list[0].kind, "redo");
    EXPECT_EQ(list[1].kind, "undo");
    jnl().undo(list[0].id, reg());
    EXPECT_EQ(dumpAll(reg()), original);
}

TEST_P(JournalTest, SensitiveValuesNeverReachTheJournal) {
    const std::string winlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    ASSERT_EQ(
        SetRegStringValue(HKEY_LOCAL_MACHINE, winlogon, "DefaultPassword", "S3cr3t-Pa55", {2, 6}),
        0);
    // Written to the hive file before the call returned, as the journal cannot replay it.
    EXPECT_TRUE(holds(hiveBytes("system.reg"), "S3cr3t-Pa55"));
    session.reset();
    for (const auto& entry : std::filesystem::directory_iterator(dir.file(".deskforge"))) {
        std::string bytes = test::readFile(entry.path());
        EXPECT_EQ(bytes.find("S3cr3t-Pa55"), std::string::npos) << entry.path();
        std::u16string wide = u"S3cr3t";
        EXPECT_EQ(
            bytes.find(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2)),
            std::string::npos);
    }
    open();
    auto list = jnl().list();
    ASSERT_FALSE(list.empty());
    EXPECT_NE(list[0].summary.find("(vertraulich)"), std::string::npos);
    // Undo of a new sensitive value deletes it; of a changed one it is refused.
    jnl().undo(list[0].id, reg());
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, winlogon, "DefaultPassword", {}));
    SetRegStringValue(HKEY_LOCAL_MACHINE, winlogon, "DefaultPassword", "one", {2, 6});
    SetRegStringValue(HKEY_LOCAL_MACHINE, winlogon, "DefaultPassword", "two", {2, 6});
    EXPECT_THROW(jnl().undo(jnl().list().front().id, reg()), JournalError);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, winlogon, "DefaultPassword"), "two");
}

TEST_P(JournalTest, FileStreamsRecordTheBytesBeforeAndAfter) {
    std::string css = dir.file("userChrome.css");
    std::string original = std::string("/* a \xFF byte */\r\n#nav-bar { color: red }\n", 38);
    test::writeFile(css, original);
    TJournalStream stream;
    ASSERT_TRUE(stream.LoadFromFile(css));
    stream.Data() += "menubar { display: none }\n";
    stream.SaveToFile(css);
    TJournalStream fresh;
    EXPECT_FALSE(fresh.LoadFromFile(dir.file("missing.css")));
    fresh.Data() = "new";
    fresh.SaveToFile(dir.file("missing.css"));

    auto list = jnl().list();
    ASSERT_EQ(list.size(), 2u);
    jnl().undo(list[1].id, reg());
    EXPECT_EQ(test::readFile(css), original);
    jnl().undo(list[0].id, reg());
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.css")));
    jnl().redo(list[1].id, reg());
    EXPECT_EQ(test::readFile(css), original + "menubar { display: none }\n");
}

TEST_P(JournalTest, AFileStreamWritesThroughALink) {
    // A profile's sheet kept elsewhere in the machine and linked into the profile.
    std::string target = dir.file("shared.css");
    std::string link = dir.file("userContent.css");
    test::writeFile(target, "a { color: red }\n");
    std::filesystem::create_symlink(target, link);
    TJournalStream stream;
    ASSERT_TRUE(stream.LoadFromFile(link));
    stream.Data() += "b { color: blue }\n";
    stream.SaveToFile(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link must survive";
    EXPECT_EQ(test::readFile(target), "a { color: red }\nb { color: blue }\n");
    jnl().undo(jnl().list().front().id, reg());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(target), "a { color: red }\n");
}

TEST_P(JournalTest, ExportHoldsTheNetEffect) {
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\X", "a", "1", {});
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\X", "a", "2", {});
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\X", "b", "gone", {});
    DeleteRegValue(HKEY_CURRENT_USER, "Software\\X", "b", {});
    DeleteRegValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                   "SackOpts", {});
    DeleteRegKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\W32Time", {});
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Tmp", "t", "1", {});
    DeleteRegKey(HKEY_CURRENT_USER, "Software\\Tmp", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                      "DefaultPassword", "pw", {2, 6});

    RegFileWriter writer;
    writePatch(jnl().registryChangesSince(1), writer);
    std::string text = writer.text();
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=\"2\"\r\n\"b\"=-\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("\"a\"=\"1\""), std::string::npos);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Tcpip\\Parameters]"
                        "\r\n\"SackOpts\"=-"),
              std::string::npos);
    EXPECT_NE(text.find("[-HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\W32Time]"),
              std::string::npos);
    EXPECT_EQ(text.find("Software\\Tmp"), std::string::npos)
        << "made and removed again: no net effect";
    EXPECT_NE(text.find("; \"DefaultPassword\" holds sensitive data and is left out"),
              std::string::npos);
    EXPECT_EQ(text.find("pw"), std::string::npos);
    // The patch is a valid .reg file.
    EXPECT_NO_THROW(parseRegFile(text, "patch.reg"));
}

TEST_P(JournalTest, ABadJournalIsRefusedAndLeftAlone) {
    session.reset();
    const std::string db = dir.file(".deskforge/journal.sqlite");
    std::filesystem::remove(db + "-wal");
    std::filesystem::remove(db + "-shm");
    std::string garbage(4096, 'x');
    test::writeFile(db, garbage);
    EXPECT_THROW(Journal::open(dir.path()), JournalError);
    EXPECT_EQ(test::readFile(db), garbage);
    EXPECT_THROW(app::MachineSession(dir.path(), false), JournalError);

    // A journal from a newer version.
    std::filesystem::remove(db);
    { auto j = Journal::open(dir.path()); }
    {
        journal::Database raw(db, false);
        raw.exec("PRAGMA user_version=99");
    }
    std::string newer = test::readFile(db);
    try {
        Journal::open(dir.path());
        FAIL() << "a newer journal was opened";
    } catch (const JournalError& e) {
        EXPECT_NE(std::string(e.what()).find("neueren Version"), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::readFile(db), newer);
}

TEST_P(JournalTest, BackupEndWithRollBackUndoesTheGroup) {
    const std::string original = dumpAll(reg());
    BackupStart(0, "");
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                     "DefaultTTL", 1, {});
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Added", "x", "y", {});
    BackupEnd(true);
    EXPECT_EQ(dumpAll(reg()), original);
}

TEST_P(JournalTest, FirewallSwitchIsOneTransaction) {
    ASSERT_EQ(JournalSetWindowsFirewallStatus(false), 0);
    DWORD v = 9;
    EXPECT_EQ(GetRegDWORDValue(HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\Fire"
                               "wallPolicy\\StandardProfile",
                               "EnableFirewall", v, {}),
              0);
    EXPECT_EQ(v, 0u);
    auto list = jnl().list();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].category, 2);
    EXPECT_EQ(list[0].label, "Windows-Firewall");
}

TEST(JournalDryRun, ImportChangesNothingAndPrintsThePatch) {
    TempDir dir;
    copySample(dir.path());
    test::writeFile(dir.file("in.reg"),
                    "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dry]\r\n\"v\"=dword:00000007\r\n"
                    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters]"
                    "\r\n\"SackOpts\"=-\r\n");
    const std::string before =
        test::readFile(dir.file("user.reg")) + test::readFile(dir.file("system.reg"));
    std::ostringstream out, err;
    std::istringstream in;
    app::Console console{out, err, in};
    std::string patch;
    {
        app::MachineSession session(dir.path(), true);
        ASSERT_EQ(app::runRegCommand(session.registry(), {"import", dir.file("in.reg")}, console),
                  0)
            << err.str();
        patch = session.dryRunPatch();
    }
    EXPECT_EQ(test::readFile(dir.file("user.reg")) + test::readFile(dir.file("system.reg")),
              before);
    EXPECT_FALSE(std::filesystem::exists(dir.file(".deskforge/journal.sqlite")))
        << "no journal either";
    EXPECT_NE(patch.find("[HKEY_CURRENT_USER\\Software\\Dry]\r\n\"v\"=dword:00000007"),
              std::string::npos)
        << patch;
    EXPECT_NE(patch.find("\"SackOpts\"=-"), std::string::npos) << patch;
}

TEST_P(JournalTest, TheJournalCommandListsShowsAndUndoes) {
    std::ostringstream out, err;
    std::istringstream in;
    app::Console console{out, err, in};
    ASSERT_EQ(app::runRegCommand(reg(), {"add", "HKCU\\Software\\Cli", "/v", "n", "/d", "x", "/f"},
                                 console),
              0);
    out.str("");
    ASSERT_EQ(app::runJournalCommand(reg(), jnl(), {"list"}, console), 0);
    EXPECT_NE(out.str().find(
                  "  reg  reg add  0  HKEY_CURRENT_USER\\Software\\Cli angelegt (+1 weitere)\n"),
              std::string::npos)
        << out.str();
    out.str("");
    ASSERT_EQ(app::runJournalCommand(reg(), jnl(), {"show", "1"}, console), 0);
    EXPECT_NE(out.str().find("  HKEY_CURRENT_USER\\Software\\Cli \"n\" = \"x\"\n    vorher: "
                             "(nicht vorhanden)\n    nachher: \"x\"\n"),
              std::string::npos)
        << out.str();
    ASSERT_EQ(app::runJournalCommand(reg(), jnl(), {"undo", "1"}, console), 0);
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, "Software\\Cli", {}));
    EXPECT_EQ(app::runJournalCommand(reg(), jnl(), {"undo", "77"}, console), 1);
    EXPECT_EQ(err.str(), "FEHLER: Die Transaktion 77 gibt es im Journal nicht.\n");
    ASSERT_EQ(app::runJournalCommand(reg(), jnl(), {"export", dir.file("net.reg")}, console), 0);
    EXPECT_EQ(test::readFile(dir.file("net.reg")).substr(0, 2), "\xFF\xFE");
}

TEST_P(JournalTest, AFlagLabelsTheActionsChangeBeforeOrAfterIt) {
    // The Firefox page sets the category before it saves the sheet.
    JournalSetContext("firefox", "chkHideThrobber");
    JournalSetFlag(64);
    TJournalStream stream;
    stream.Data() = "a { x: 1 }";
    stream.SaveToFile(dir.file("userChrome.css"));
    // A later action is not labelled by it.
    JournalSetContext("internet", "chkAdminShares");
    SetRegDWORDValue(HKEY_LOCAL_MACHINE,
                     "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters",
                     "AutoShareWks", 0, {});
    auto list = jnl().list();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].category, 64);
    EXPECT_EQ(list[0].category, 0);
    JournalSetFlag(2); // after the write: labels it
    EXPECT_EQ(jnl().list()[0].category, 2);
    EXPECT_EQ(jnl().list()[1].category, 64);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, JournalTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& kind) {
                             return std::string(kind.param ? "WindowsDrive" : "WinePrefix");
                         });
