// Writes that can be trusted, on both kinds of machine (a Wine prefix and a Windows drive
// of hive files): concurrent writers lose nothing, read-only commands change nothing, a
// transaction comes back whole or not at all, the journal writes nowhere outside the
// machine, names the file cannot hold are refused, undo does not overwrite later changes,
// and a refused write is a failure the user sees.
#include "app/deskforge/JournalCommand.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/RegCommand.h"
#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "host/journal/Sqlite.h"
#include "host/registry/MachineLock.h"
#include "host/registry/NtHiveFile.h"
#include "host/registry/Registry.h"
#include "host/registry/WineRegistryFile.h"
#include "host/text/Text.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <hivex.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ravelin;
using namespace ravelin::registry;
using ravelin::journal::JournalError;
using ravelin::test::TempDir;

namespace fs = std::filesystem;

namespace {

enum class Kind { Wine, Hives };

std::string kindName(const ::testing::TestParamInfo<Kind>& info) {
    return info.param == Kind::Wine ? "WinePrefix" : "WindowsDrive";
}

// Runs deskforge with the arguments; returns its exit code, output and errors together.
int deskforge(const std::vector<std::string>& args, std::string* output = nullptr) {
    return test::runProgram(RAVELIN_DESKFORGE, args, output);
}

using test::snapshot;

class WriteSafety : public ::testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        Journal_Discard = false;
        Journal_Running = true;
        make(dir.path());
    }
    void TearDown() override { session.reset(); }
    void make(const std::string& where) {
        machine::createMachine(where, "winxp",
                               std::string(RAVELIN_SOURCE_DIR) + "/samples/templates",
                               GetParam() == Kind::Hives);
        fs::remove_all(where + "/.deskforge"); // as a machine nobody has changed yet
    }
    bool hives() const { return GetParam() == Kind::Hives; }
    void open(app::MachineSession::Mode mode = app::MachineSession::Mode::Write) {
        session.reset();
        session = std::make_unique<app::MachineSession>(dir.path(), mode);
    }
    Registry& reg() { return session->registry(); }
    journal::Journal& jnl() { return *session->journal(); }
    std::string userHive() const {
        return hives() ? dir.file("Users/anna/NTUSER.DAT") : dir.file("user.reg");
    }
    std::string str(HKEY root, const std::string& key, const std::string& name) {
        return GetRegStringValueDef(root, key, name, "<missing>", {});
    }
    std::string query(const std::string& key, const std::string& name) {
        std::string out;
        deskforge({"--machine", dir.path(), "reg", "query", key, "/v", name}, &out);
        return out;
    }

    TempDir dir;
    std::unique_ptr<app::MachineSession> session;
};

} // namespace

TEST(EmptyHive, LibhivexOpensItAndAddsToIt) {
    TempDir dir;
    std::string file = dir.file("NEW");
    test::writeFile(file, NtHive::emptyHiveImage(fileTimeNow()));
    hive_h* h = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
    ASSERT_NE(h, nullptr) << std::strerror(errno);
    hive_node_h root = hivex_root(h);
    ASSERT_NE(root, 0u);
    hive_node_h child = hivex_node_add_child(h, root, "Software");
    ASSERT_NE(child, 0u) << std::strerror(errno);
    char name[] = "Greeting", data[] = "h\0i\0\0\0";
    hive_set_value value{name, hive_t_REG_SZ, sizeof data - 1, data};
    ASSERT_EQ(hivex_node_set_value(h, child, &value, 0), 0);
    ASSERT_EQ(hivex_commit(h, file.c_str(), 0), 0);
    hivex_close(h);

    // Read back through the engine, then written to again by it.
    auto hive = NtHive::load(file);
    Key* software = hive->root().findSubkey("software");
    ASSERT_NE(software, nullptr);
    ASSERT_NE(software->findValue("Greeting"), nullptr);
    EXPECT_EQ(stringFromData(software->findValue("Greeting")->data), "hi");
    bool created = false;
    hive->root().addSubkey("System", created).markDirty(fileTimeNow());
    hive->root().markStructureChanged(fileTimeNow());
    hive->save();
    auto again = NtHive::load(file);
    EXPECT_NE(again->root().findSubkey("System"), nullptr);
    EXPECT_NE(again->root().findSubkey("Software"), nullptr);
    EXPECT_THROW(NtHive::create(file), RegistryAccessError);
}

TEST(HiveMachine, HasTheSameContentAsTheWinePrefix) {
    TempDir wine, drive;
    const std::string templates = std::string(RAVELIN_SOURCE_DIR) + "/samples/templates";
    machine::createMachine(wine.path(), "win7", templates);
    machine::createMachine(drive.path(), "win7", templates, true);
    EXPECT_TRUE(fs::is_regular_file(drive.file("Windows/System32/config/SOFTWARE")));
    EXPECT_TRUE(fs::is_regular_file(drive.file("Users/anna/NTUSER.DAT")));
    auto a = Registry::openMachine(wine.path()), b = Registry::openMachine(drive.path());
    EXPECT_TRUE(b->is64Bit());
    for (auto [root, key] :
         {std::pair{HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft"},
          std::pair{HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services"},
          std::pair{HKEY_CURRENT_USER, "Software"}, std::pair{HKEY_USERS, ".DEFAULT"}}) {
        // Compared key by key and value by value, in name order.
        std::function<void(const std::string&)> walk = [&](const std::string& path) {
            std::vector<RegistryValue> va, vb;
            a->enumValues(root, path, va, {2});
            b->enumValues(root, path, vb, {2});
            auto byName = [](std::vector<RegistryValue>& v) {
                std::sort(v.begin(), v.end(), [](const auto& x, const auto& y) {
                    return text::compareNames(x.name, y.name) < 0;
                });
            };
            byName(va);
            byName(vb);
            ASSERT_EQ(va.size(), vb.size()) << path;
            for (std::size_t i = 0; i < va.size(); ++i) {
                EXPECT_EQ(va[i].name, vb[i].name) << path;
                EXPECT_EQ(va[i].type, vb[i].type) << path << " " << va[i].name;
                EXPECT_EQ(va[i].data, vb[i].data) << path << " " << va[i].name;
            }
            std::vector<std::string> ka, kb;
            a->enumKeys(root, path, ka, {2});
            b->enumKeys(root, path, kb, {2});
            ASSERT_EQ(ka, kb) << path;
            for (const auto& k : ka)
                walk(path.empty() ? k : path + "\\" + k);
        };
        walk(key);
    }
}

// Two writers started together on the same key: both succeed and both values are there,
// or one fails with a message and its value is not there. Never two successes with one
// value missing.
TEST_P(WriteSafety, ConcurrentWritersLoseNoUpdate) {
    constexpr int kPairs = 12;
    int bothSucceeded = 0;
    for (int pair = 0; pair < kPairs; ++pair) {
        const std::string root = pair % 2 ? "HKLM\\SOFTWARE\\Race" : "HKCU\\Software\\Race";
        const std::string a = "a" + std::to_string(pair), b = "b" + std::to_string(pair);
        pid_t first = ::fork();
        if (first == 0) {
            int rc =
                deskforge({"--machine", dir.path(), "reg", "add", root, "/v", a, "/d", "1", "/f"});
            ::_exit(rc);
        }
        std::string outB;
        int rcB = deskforge({"--machine", dir.path(), "reg", "add", root, "/v", b, "/d", "2", "/f"},
                            &outB);
        int status = 0;
        ::waitpid(first, &status, 0);
        int rcA = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::string all;
        deskforge({"--machine", dir.path(), "reg", "query", root}, &all);
        SCOPED_TRACE("pair " + std::to_string(pair) + ": " + outB);
        EXPECT_EQ(rcA == 0, all.find("    " + a + "    ") != std::string::npos) << all;
        EXPECT_EQ(rcB == 0, all.find("    " + b + "    ") != std::string::npos) << all;
        if (rcA == 0 && rcB == 0) ++bothSucceeded;
    }
    // The second writer waits for the first rather than failing.
    EXPECT_EQ(bothSucceeded, kPairs);
}

TEST_P(WriteSafety, AWriterThatCannotGetTheLockFailsClearlyAfterABoundedWait) {
    MachineLock held(dir.path());
    ::setenv("DESKFORGE_LOCK_WAIT", "0.3", 1);
    std::string out;
    int rc = deskforge(
        {"--machine", dir.path(), "reg", "add", "HKCU\\Software\\X", "/v", "n", "/d", "1", "/f"},
        &out);
    ::unsetenv("DESKFORGE_LOCK_WAIT");
    EXPECT_EQ(rc, 1);
    EXPECT_NE(out.find("von einem anderen deskforge-Prozess geändert (0.3 s gewartet)"),
              std::string::npos)
        << out;
}

TEST_P(WriteSafety, AWindowRefusesToWriteOverChangesMadeSinceItRead) {
    open(app::MachineSession::Mode::Interactive);
    EXPECT_EQ(SetRegStringValue(HKEY_CURRENT_USER, "Software\\W", "mine", "1"), 0);
    reg().flush(); // gives the lock back
    ASSERT_EQ(deskforge({"--machine", dir.path(), "reg", "add", "HKCU\\Software\\W", "/v", "theirs",
                         "/d", "2", "/f"}),
              0);
    TakeWriteFailure();
    EXPECT_EQ(SetRegStringValue(HKEY_CURRENT_USER, "Software\\W", "mine", "3"),
              ERROR_ACCESS_DENIED);
    EXPECT_NE(TakeWriteFailure().find("Seit dem Lesen von einem anderen Programm geändert"),
              std::string::npos);
    session.reset();
    open();
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\W", "theirs"), "2");
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\W", "mine"), "1");
}

TEST_P(WriteSafety, ReadOnlyCommandsCreateAndChangeNothing) {
    auto before = snapshot(dir.path());
    for (std::vector<std::string> args :
         {std::vector<std::string>{"reg", "query", "HKCU\\Software", "/s"},
          {"reg", "export", "HKLM\\SOFTWARE\\Microsoft", dir.path() + "-export.reg", "/y"},
          {"machine", "info"},
          {"journal", "list"},
          {"show", "internet"}}) {
        args.insert(args.begin(), {"--machine", dir.path()});
        std::string out;
        EXPECT_EQ(deskforge(args, &out), 0) << out;
    }
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_FALSE(fs::exists(dir.file(".deskforge")));

    // A change the journal holds and the files do not yet: shown, applied in memory only.
    open();
    ASSERT_EQ(SetRegStringValue(HKEY_CURRENT_USER, "Software\\Pending", "v", "journalled"), 0);
    session.reset(); // as if the process had died before the flush
    const std::string file = test::readFile(userHive());
    before = snapshot(dir.path());
    EXPECT_NE(query("HKCU\\Software\\Pending", "v").find("journalled"), std::string::npos);
    std::string list;
    deskforge({"--machine", dir.path(), "journal", "list"}, &list);
    EXPECT_NE(list.find("Pending"), std::string::npos) << list;
    EXPECT_EQ(snapshot(dir.path()), before);
    // The next writer completes the recovery.
    ASSERT_EQ(deskforge({"--machine", dir.path(), "reg", "add", "HKCU\\Software\\Other", "/f"}), 0);
    EXPECT_NE(test::readFile(userHive()), file);
    open(app::MachineSession::Mode::ReadOnly);
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Pending", "v"), "journalled");
}

TEST_P(WriteSafety, ADryRunExportWritesNoFile) {
    std::string out;
    EXPECT_EQ(deskforge({"--machine", dir.path(), "reg", "export", "HKCU\\Software",
                         dir.path() + "-dry.reg", "/y", "--dry-run"},
                        &out),
              0);
    EXPECT_FALSE(fs::exists(dir.path() + "-dry.reg")) << out;
}

// A transaction that never ended is rolled back, even what of it had reached a file.
TEST_P(WriteSafety, AnUnfinishedTransactionIsRolledBackWhole) {
    open();
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Txn", "kept", "before");
    BackupStart(0, "dialog");
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Txn", "kept", "changed");
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Txn", "first", "1");
    reg().flush(); // part of it reaches the file
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Txn", "second", "2");
    session.reset(); // the process dies before BackupEnd

    open(app::MachineSession::Mode::ReadOnly);
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "kept"), "before");
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "first"), "<missing>");
    open();
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "kept"), "before");
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "first"), "<missing>");
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "second"), "<missing>");
    for (const auto& t : jnl().list())
        EXPECT_NE(t.label, "dialog");
    session.reset();
    // In the file too, for any reader.
    open(app::MachineSession::Mode::DryRun);
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "first"), "<missing>");

    // A finished one is replayed whole.
    open();
    BackupStart(0, "finished");
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Txn", "a", "1");
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\Txn", "b", "2");
    BackupEnd(false);
    session.reset();
    open(app::MachineSession::Mode::DryRun);
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "a"), "<missing>"); // not flushed yet
    open();
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "a"), "1");
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Txn", "b"), "2");
}

TEST_P(WriteSafety, TheJournalWritesNoFileOutsideTheMachine) {
    TempDir outside;
    const std::string target = outside.file("planted.txt");
    fs::create_directories(dir.file("drive_c"));
    fs::create_symlink(outside.path(), dir.file("escape"));
    open();
    session.reset();
    journal::Journal::open(dir.path()); // the journal an earlier write left
    // A journal copied from elsewhere, or crafted: file rows naming places outside.
    {
        journal::Database db(dir.file(".deskforge/journal.sqlite"), false);
        for (const std::string& path : {target, dir.file("escape/via-link.txt")})
            db.exec("INSERT INTO changes(txn, kind, key_path, full_name, before_exists, "
                    "after_exists, after_data, applied) VALUES(0, 'file', '" +
                    path + "', '" + path + "', 0, 1, X'6f776e6564', 0)");
    }
    try {
        open();
        FAIL() << "the crafted journal was replayed";
    } catch (const JournalError& e) {
        EXPECT_NE(std::string(e.what()).find("außerhalb des Maschinenordners"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(outside.file("via-link.txt")));
    std::string out;
    EXPECT_EQ(deskforge({"--machine", dir.path(), "reg", "add", "HKCU\\Software\\X", "/f"}, &out),
              1);
    EXPECT_NE(out.find("Abgelehnt"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(target));
}

TEST_P(WriteSafety, NamesTheFileCannotHoldAreRefused) {
    open();
    const std::string key = "Software\\Names";
    const std::string nul("a\0b", 3);
    int rc = SetRegStringValue(HKEY_CURRENT_USER, key, "a", "plain");
    ASSERT_EQ(rc, 0);
    TakeWriteFailure();
    rc = SetRegStringValue(HKEY_CURRENT_USER, key, nul, "with nul");
    if (hives()) {
        EXPECT_EQ(rc, ERROR_INVALID_PARAMETER);
        EXPECT_NE(TakeWriteFailure().find("NUL"), std::string::npos);
        EXPECT_EQ(reg().createKey(HKEY_CURRENT_USER, std::string("Software\\K\0one", 14)),
                  ERROR_INVALID_PARAMETER);
    } else {
        // Wine's text files keep such names.
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(reg().createKey(HKEY_CURRENT_USER, std::string("Software\\K\0one", 14)), 0);
        EXPECT_EQ(reg().createKey(HKEY_CURRENT_USER, std::string("Software\\K\0two", 14)), 0);
    }
    // Windows' own limits, on both.
    EXPECT_EQ(reg().createKey(HKEY_CURRENT_USER, key + "\\" + std::string(256, 'k')),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reg().createKey(HKEY_CURRENT_USER, key + "\\" + std::string(255, 'k')), 0);
    EXPECT_EQ(reg().setValue(HKEY_CURRENT_USER, key, std::string(16384, 'v'), REG_DWORD,
                             makeDwordData(1)),
              ERROR_INVALID_PARAMETER);
    reg().flush();
    open();
    EXPECT_EQ(str(HKEY_CURRENT_USER, key, "a"), "plain");
    std::vector<std::string> subkeys;
    reg().enumKeys(HKEY_CURRENT_USER, "Software", subkeys);
    const auto nulKeys = std::count_if(subkeys.begin(), subkeys.end(), [](const std::string& s) {
        return s.size() == 5 && s[0] == 'K' && s[1] == '\0';
    });
    EXPECT_EQ(nulKeys, hives() ? 0 : 2);
    RegistryValue v;
    EXPECT_EQ(reg().getValue(HKEY_CURRENT_USER, key, nul, v), hives() ? 2 : 0);
}

TEST_P(WriteSafety, UndoRefusesToOverwriteALaterChange) {
    open();
    const std::string key = "Software\\Undo";
    JournalSetContext("test", "one");
    SetRegStringValue(HKEY_CURRENT_USER, key, "v", "1"); // creates the key
    const auto created = jnl().list().front().id;
    JournalSetContext("test", "two");
    SetRegStringValue(HKEY_CURRENT_USER, key, "v", "2");
    const auto changed = jnl().list().front().id;
    JournalSetContext("test", "three");
    SetRegStringValue(HKEY_CURRENT_USER, key, "other", "later");
    const auto added = jnl().list().front().id;

    try {
        jnl().undo(created, reg());
        FAIL() << "undo overwrote later changes";
    } catch (const JournalError& e) {
        const std::string why = e.what();
        EXPECT_NE(why.find("seitdem von Transaktion"), std::string::npos) << why;
        EXPECT_NE(why.find(std::to_string(changed)), std::string::npos) << why;
    }
    EXPECT_EQ(str(HKEY_CURRENT_USER, key, "v"), "2");
    EXPECT_EQ(str(HKEY_CURRENT_USER, key, "other"), "later");

    // Undone newest first, each one restores only its own change.
    jnl().undo(added, reg());
    jnl().undo(changed, reg());
    EXPECT_EQ(str(HKEY_CURRENT_USER, key, "v"), "1");
    const auto undone = jnl().undo(created, reg());
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, key));
    jnl().undo(undone, reg()); // an undo is undone like any change
    EXPECT_EQ(str(HKEY_CURRENT_USER, key, "v"), "1");

    // From the command line, with the option to force.
    SetRegStringValue(HKEY_CURRENT_USER, key, "v", "again");
    std::ostringstream out, err;
    std::istringstream in;
    app::Console c{out, err, in};
    EXPECT_EQ(app::runJournalCommand(reg(), jnl(), {"undo", std::to_string(changed)}, c), 1);
    EXPECT_NE(err.str().find(": seitdem "), std::string::npos) << err.str();
    EXPECT_EQ(app::runJournalCommand(reg(), jnl(), {"undo", std::to_string(changed), "--force"}, c),
              0)
        << err.str();
    EXPECT_EQ(str(HKEY_CURRENT_USER, key, "v"), "1");
}

TEST_P(WriteSafety, ARefusedWriteFailsTheScriptLine) {
    open(app::MachineSession::Mode::Interactive);
    ::setenv("DESKFORGE_LOCK_WAIT", "0.1", 1);
    std::string out;
    {
        MachineLock other(dir.path()); // another process is writing
        out = test::runScript("internet", "check chkAdminShares off\n", 1);
    }
    ::unsetenv("DESKFORGE_LOCK_WAIT");
    EXPECT_NE(out.find("Zeile 1: Die Änderung wurde nicht vorgenommen"), std::string::npos) << out;
    EXPECT_NE(out.find("von einem anderen deskforge-Prozess geändert"), std::string::npos) << out;
    EXPECT_TRUE(TakeWriteFailure().empty());
    // Nothing of it is listed as done.
    for (const auto& t : jnl().list())
        EXPECT_NE(t.control, "chkAdminShares");
    // Once the machine is free, the same line works.
    out = test::runScript("internet", "check chkAdminShares off\n", 0);
}

TEST_P(WriteSafety, RegistryFilesReachedThroughLinksAreHandledSafely) {
    const std::string hive = userHive();
    // A link to a file inside the machine: written through, and stays a link.
    const std::string real = hive + ".real";
    fs::rename(hive, real);
    fs::create_symlink(fs::path(real).filename(), hive);
    ASSERT_EQ(deskforge({"--machine", dir.path(), "reg", "add", "HKCU\\Software\\Link", "/v", "n",
                         "/d", "through", "/f"}),
              0);
    EXPECT_TRUE(fs::is_symlink(hive));
    EXPECT_NE(query("HKCU\\Software\\Link", "n").find("through"), std::string::npos);
    fs::remove(hive);
    fs::rename(real, hive);

    // A hard link: refused, both names keep the same file.
    const std::string twin = dir.path() + "-twin";
    fs::create_hard_link(hive, twin);
    std::string out;
    EXPECT_EQ(
        deskforge({"--machine", dir.path(), "reg", "add", "HKCU\\Software\\Hard", "/f"}, &out), 1);
    EXPECT_NE(out.find("feste Verknüpfungen"), std::string::npos) << out;
    EXPECT_EQ(fs::hard_link_count(hive), 2u);
    fs::remove(twin);

    // A folder of hives that leads outside the machine: refused.
    TempDir outside;
    const std::string folder = hives() ? dir.file("Windows/System32/config") : std::string();
    if (hives()) {
        fs::rename(folder, outside.file("config"));
        fs::create_directory_symlink(outside.file("config"), folder);
    } else {
        fs::rename(dir.file("system.reg"), outside.file("system.reg"));
        fs::create_symlink(outside.file("system.reg"), dir.file("system.reg"));
    }
    const auto before = snapshot(outside.path());
    EXPECT_EQ(deskforge({"--machine", dir.path(), "reg", "add", "HKLM\\SOFTWARE\\Out", "/f"}, &out),
              1);
    EXPECT_NE(out.find("außerhalb des Maschinenordners"), std::string::npos) << out;
    EXPECT_EQ(snapshot(outside.path()), before);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, WriteSafety, ::testing::Values(Kind::Wine, Kind::Hives),
                         kindName);

TEST(WineFile, KeepsItsLineEndsAndRefusesAFileCutShort) {
    TempDir dir;
    const std::string file = dir.file("user.reg");
    test::writeFile(file, "WINE REGISTRY Version 2\r\n;; All keys relative to REGISTRY\\\\User\r\n"
                          "\r\n#arch=win32\r\n\r\n[Software\\\\A] 1700000000\r\n#time=1d9\r\n"
                          "\"x\"=\"1\"\r\n");
    auto hive = WineHive::load(file);
    bool created = false;
    Key& b = hive->root().addSubkey("Software", created).addSubkey("B", created);
    b.setValue("y", REG_SZ, makeStringData("2"));
    b.markDirty(fileTimeNow());
    hive->root().findSubkey("Software")->markStructureChanged(fileTimeNow());
    hive->save();
    const std::string saved = test::readFile(file);
    EXPECT_NE(saved.find("\"y\"=\"2\"\r\n"), std::string::npos) << saved;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i] == '\n') {
            ASSERT_TRUE(i > 0 && saved[i - 1] == '\r') << "at " << i;
        }
    }

    test::writeFile(file, "WINE REGISTRY Version 2\n\n[Software\\\\A] 1700000000\n"
                          "\"x\"=\"1\"\n\"cut\"=\"half a str");
    try {
        WineHive::load(file);
        FAIL() << "a file cut short was accepted";
    } catch (const RegistryFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("abgeschnitten"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(":5"), std::string::npos) << e.what();
    }
    // The last line complete but without its line end is fine.
    test::writeFile(file, "WINE REGISTRY Version 2\n\n[Software\\\\A] 1700000000\n\"x\"=\"1\"");
    EXPECT_NO_THROW(WineHive::load(file)->loadAll());
}
