// The registry engine and its files against hostile input and hostile surroundings, on a
// Wine prefix and on a Windows drive of hive files: read-only and odd files, refused writes
// that leave everything as it was, a wineserver started elsewhere, leftovers of a killed
// save, secrets that must leave no trace, damaged hives, deep or malformed .reg files, and
// settings from the environment.
#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/machine/Templates.h"
#include "host/registry/FileUtil.h"
#include "host/registry/MachineLock.h"
#include "host/registry/RegFile.h"
#include "host/registry/Registry.h"
#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <hivex.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace ravelin;
using namespace ravelin::registry;
using ravelin::test::TempDir;

namespace fs = std::filesystem;

namespace {

enum class Kind { Wine, Hives };

std::string kindName(const ::testing::TestParamInfo<Kind>& info) {
    return info.param == Kind::Wine ? "WinePrefix" : "WindowsDrive";
}

// Runs deskforge with the arguments (and environment changes: an empty value unsets);
// returns its exit code, output and errors together.
int deskforge(const std::vector<std::string>& args, std::string* output = nullptr,
              const std::map<std::string, std::string>& env = {}) {
    return test::runProgram(RAVELIN_DESKFORGE, args, output, env);
}

using test::snapshot;

std::string utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

std::string regFile(const std::string& body) {
    return "\xFF\xFE" + utf16("Windows Registry Editor Version 5.00\r\n\r\n" + body + "\r\n");
}

bool contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

class HostileInput : public ::testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        machine::createMachine(dir.path(), "winxp",
                               std::string(RAVELIN_SOURCE_DIR) + "/samples/templates",
                               GetParam() == Kind::Hives);
        fs::remove_all(dir.file(".deskforge"));
    }
    bool hives() const { return GetParam() == Kind::Hives; }
    std::string userHive() const {
        return hives() ? dir.file("Users/anna/NTUSER.DAT") : dir.file("user.reg");
    }
    std::string machineHive() const {
        return hives() ? dir.file("Windows/System32/config/SOFTWARE") : dir.file("system.reg");
    }
    int df(std::vector<std::string> args, std::string* out = nullptr,
           const std::map<std::string, std::string>& env = {}) {
        args.insert(args.begin(), {"--machine", dir.path()});
        return deskforge(args, out, env);
    }

    TempDir dir;
};

} // namespace

TEST_P(HostileInput, AReadOnlyRegistryFileIsRefusedAndLeftAlone) {
    const std::string file = userHive();
    const std::string before = test::readFile(file);
    ::chmod(file.c_str(), 0444);
    std::string out;
    EXPECT_EQ(df({"reg", "add", "HKCU\\Software\\RO", "/v", "x", "/d", "1", "/f"}, &out), 1);
    EXPECT_TRUE(contains(out, "schreibgeschützt")) << out;
    EXPECT_TRUE(contains(out, file)) << out;
    EXPECT_EQ(test::readFile(file), before);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    std::string list;
    df({"journal", "list"}, &list);
    EXPECT_FALSE(contains(list, "RO")) << list;

    // Wine's read-only attribute, where the file system keeps extended attributes.
    ::chmod(file.c_str(), 0644);
    if (::setxattr(file.c_str(), "user.DOSATTRIB", "0x21", 4, 0) != 0) {
        std::cout << "extended attributes not supported here: the attribute is not tested\n";
        return;
    }
    EXPECT_EQ(df({"reg", "add", "HKCU\\Software\\RO", "/v", "x", "/d", "1", "/f"}, &out), 1);
    EXPECT_TRUE(contains(out, "Attribut „Schreibgeschützt“")) << out;
    EXPECT_EQ(test::readFile(file), before);
    ::removexattr(file.c_str(), "user.DOSATTRIB");
    EXPECT_EQ(df({"reg", "add", "HKCU\\Software\\RO", "/v", "x", "/d", "1", "/f"}, &out), 0) << out;
}

TEST_P(HostileInput, ARefusedWriteCreatesNoJournalAndKillSavesLeaveNothingBehind) {
    // A hard link makes the write refused.
    const std::string link = dir.path() + "/../" + fs::path(dir.path()).filename().string() + "-ln";
    ASSERT_EQ(::link(userHive().c_str(), link.c_str()), 0);
    std::string out;
    EXPECT_EQ(df({"reg", "add", "HKCU\\Software\\L", "/v", "x", "/d", "1", "/f"}, &out), 1);
    EXPECT_TRUE(contains(out, "feste Verknüpfungen")) << out;
    EXPECT_FALSE(fs::exists(dir.path() + "/.deskforge/journal.sqlite"));
    EXPECT_FALSE(fs::exists(dir.path() + "/.deskforge/journal.sqlite-wal"));
    ::unlink(link.c_str());

    // What a save killed before its rename left: removed by the next writer; a name that
    // only looks alike stays.
    const std::string leftover = machineHive() + ".deskforge-Ab12Cd";
    const std::string alike = machineHive() + ".deskforge-notours";
    test::writeFile(leftover, std::string(4096, 'x'));
    test::writeFile(alike, "mine");
    EXPECT_EQ(df({"reg", "query", "HKLM\\SOFTWARE"}, &out), 0) << out;
    EXPECT_TRUE(fs::exists(leftover)) << "a read-only command removes nothing";
    EXPECT_EQ(df({"reg", "add", "HKCU\\Software\\L", "/v", "x", "/d", "1", "/f"}, &out), 0) << out;
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(alike));
}

TEST_P(HostileInput, AReadOnlyCommandAfterACrashTouchesNoFile) {
    // A writer that dies after its change is committed leaves the journal's write-ahead
    // and index files behind.
    pid_t pid = ::fork();
    if (pid == 0) {
        Journal_Discard = false;
        Journal_Running = true;
        app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
        int rc = SetRegStringValue(HKEY_CURRENT_USER, "Software\\Crash", "v", "kept", {});
        ::_exit(rc == 0 ? 0 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(fs::exists(dir.file(".deskforge/journal.sqlite-wal")));
    ASSERT_TRUE(fs::exists(dir.file(".deskforge/journal.sqlite-shm")));
    // An index as a crash may leave it: readers must not rebuild it in place.
    {
        std::string shm = test::readFile(dir.file(".deskforge/journal.sqlite-shm"));
        std::fill(shm.begin(), shm.begin() + std::min<std::size_t>(shm.size(), 136), '\0');
        test::writeFile(dir.file(".deskforge/journal.sqlite-shm"), shm);
    }
    auto before = snapshot(dir.path());
    std::string out;
    EXPECT_EQ(df({"reg", "query", "HKCU\\Software\\Crash", "/v", "v"}, &out), 0) << out;
    EXPECT_TRUE(contains(out, "kept")) << out;
    EXPECT_EQ(snapshot(dir.path()), before);
    // Without the index file too: still shown, still nothing made.
    fs::remove(dir.file(".deskforge/journal.sqlite-shm"));
    before = snapshot(dir.path());
    EXPECT_EQ(df({"reg", "query", "HKCU\\Software\\Crash", "/v", "v"}, &out), 0) << out;
    EXPECT_TRUE(contains(out, "kept")) << out;
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_P(HostileInput, AutomaticLogonSecretsAreSensitiveWhateverWritesThem) {
    const std::string winlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::string secret = "Geheim-Wort-4711";
    std::string out;
    ASSERT_EQ(df({"reg", "add", winlogon, "/v", "DefaultPassword", "/d", secret, "/f"}, &out), 0)
        << out;
    EXPECT_EQ(df({"reg", "add", winlogon, "/v", "AltDefaultPassword", "/d", secret + "b", "/f",
                  "--dry-run"},
                 &out),
              0);
    EXPECT_FALSE(contains(out, secret)) << out;
    test::writeFile(dir.path() + "-secret.reg",
                    regFile("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows "
                            "NT\\CurrentVersion\\Winlogon]\r\n\"DefaultPassword\"=\"" +
                            secret + "-import\"\r\n"));
    ASSERT_EQ(df({"reg", "import", dir.path() + "-secret.reg"}, &out), 0) << out;
    fs::remove(dir.path() + "-secret.reg");
    // The registry holds it; the journal, its views and its patch do not.
    EXPECT_EQ(df({"reg", "query", winlogon, "/v", "DefaultPassword"}, &out), 0);
    EXPECT_TRUE(contains(out, secret + "-import")) << out;
    std::string journal;
    for (const char* suffix : {"", "-wal"})
        if (fs::exists(dir.file(std::string(".deskforge/journal.sqlite") + suffix)))
            journal += test::readFile(dir.file(std::string(".deskforge/journal.sqlite") + suffix));
    EXPECT_FALSE(contains(journal, secret));
    EXPECT_FALSE(contains(journal, utf16(secret)));
    for (std::vector<std::string> args : {std::vector<std::string>{"journal", "show", "1"},
                                          {"journal", "show", "2"},
                                          {"journal", "show", "3"},
                                          {"journal", "export", dir.path() + "-patch.reg"}}) {
        df(args, &out);
        EXPECT_FALSE(contains(out, secret)) << out;
    }
    if (fs::exists(dir.path() + "-patch.reg")) {
        std::string patch = test::readFile(dir.path() + "-patch.reg");
        EXPECT_FALSE(contains(patch, utf16(secret)));
        fs::remove(dir.path() + "-patch.reg");
    }
}

TEST_P(HostileInput, ADeletedSecretLeavesNoCopyInTheFile) {
    const std::string winlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::string secret = "Kennwort-Xq-9931";
    {
        Journal_Discard = false;
        Journal_Running = true;
        app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
        ASSERT_EQ(
            SetRegStringValue(HKEY_LOCAL_MACHINE, winlogon, "DefaultPassword", secret, {2, 6}), 0);
        ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, winlogon, "AutoAdminLogon", "1", {2}), 0);
        ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, winlogon, "DefaultPassword",
                                    "XXXXXXXXXXXXXXXX", {2, 6}),
                  0);
        ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, winlogon, "AutoAdminLogon", "0", {2}), 0);
        ASSERT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, winlogon, "DefaultPassword", {2, 6}), 0);
        session.registry().flush();
    }
    const std::string bytes = test::readFile(machineHive());
    EXPECT_FALSE(contains(bytes, secret));
    EXPECT_FALSE(contains(bytes, utf16(secret)));
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        if (e.is_regular_file()) {
            const std::string any = test::readFile(e.path().string());
            EXPECT_FALSE(contains(any, secret) || contains(any, utf16(secret))) << e.path();
        }
    // The file is still a hive that reads back.
    std::string out;
    EXPECT_EQ(df({"reg", "query", "HKLM\\" + winlogon, "/v", "AutoAdminLogon"}, &out), 0) << out;
    EXPECT_TRUE(contains(out, "0")) << out;
}

TEST_P(HostileInput, DeepOrMalformedRegFilesAreErrorsNamingFileAndLine) {
    const std::string file = dir.path() + "-in.reg";
    auto import = [&](const std::string& bytes, std::string& out) {
        test::writeFile(file, bytes);
        return df({"reg", "import", file}, &out);
    };
    const auto before = snapshot(dir.path(), true);
    std::string out;
    // Deeper than Windows allows: refused whole, no crash however deep.
    for (std::size_t levels : {513u, 30000u}) {
        std::string key = "HKEY_CURRENT_USER\\Software";
        for (std::size_t i = 2; i <= levels; ++i)
            key += "\\k";
        EXPECT_EQ(import(regFile("[HKEY_CURRENT_USER\\Software\\Ok]\r\n\"a\"=\"1\"\r\n\r\n[" + key +
                                 "]\r\n\"v\"=\"1\""),
                         out),
                  1)
            << levels;
        EXPECT_TRUE(contains(out, file + ":6")) << out.substr(0, 300);
        EXPECT_TRUE(contains(out, "512")) << out.substr(0, 300);
    }
    // Text after a key's ']': an error, not a key without its values.
    EXPECT_EQ(import(regFile("[HKEY_CURRENT_USER\\Software\\T] x\r\n\"v\"=\"1\""), out), 1);
    EXPECT_TRUE(contains(out, file + ":3")) << out;
    // A UTF-16 file cut inside a character.
    std::string cut = regFile("[HKEY_CURRENT_USER\\Software\\T]\r\n\"v\"=\"1\"");
    cut.pop_back();
    EXPECT_EQ(import(cut, out), 1);
    EXPECT_TRUE(contains(out, "abgeschnitten")) << out;
    // The root of a hive file cannot be deleted: said, not passed over.
    EXPECT_EQ(import(regFile("[-HKEY_USERS\\.DEFAULT]"), out), 1);
    EXPECT_TRUE(contains(out, file + ":3")) << out;
    fs::remove(file);
    EXPECT_EQ(snapshot(dir.path(), true), before);

    // CR-only line ends are line ends: the values arrive.
    std::string crOnly = "\xFF\xFE" + utf16("Windows Registry Editor Version 5.00\r\r"
                                            "[HKEY_CURRENT_USER\\Software\\Cr]\r\"v\"=\"cr\"\r"
                                            "\"w\"=dword:00000002\r");
    ASSERT_EQ(import(crOnly, out), 0) << out;
    EXPECT_EQ(df({"reg", "query", "HKCU\\Software\\Cr"}, &out), 0);
    EXPECT_TRUE(contains(out, "cr") && contains(out, "0x2")) << out;

    // 512 levels are allowed, and walked without trouble.
    std::string key = "HKEY_CURRENT_USER\\Software";
    for (std::size_t i = 2; i <= 512; ++i)
        key += "\\d";
    ASSERT_EQ(import(regFile("[" + key + "]\r\n\"deep\"=\"yes\""), out), 0) << out.substr(0, 300);
    EXPECT_EQ(df({"reg", "query", "HKCU\\Software\\d", "/s"}, &out), 0);
    EXPECT_TRUE(contains(out, "deep")) << out.substr(0, 300);
    EXPECT_EQ(df({"reg", "export", "HKCU\\Software\\d", dir.path() + "-deep.reg", "/y"}, &out), 0);
    EXPECT_TRUE(contains(test::readFile(dir.path() + "-deep.reg"), utf16("\"deep\"")));
    fs::remove(dir.path() + "-deep.reg");
    fs::remove(file);
}

TEST_P(HostileInput, ABadLockWaitIsAnErrorAndAHugeOneMeansWaitLong) {
    std::string out;
    for (const char* bad : {"abc", "-1", "nan", "5s"}) {
        EXPECT_EQ(df({"reg", "add", "HKCU\\Software\\W", "/v", "x", "/d", "1", "/f"}, &out,
                     {{"DESKFORGE_LOCK_WAIT", bad}}),
                  1)
            << bad;
        EXPECT_TRUE(contains(out, "DESKFORGE_LOCK_WAIT")) << out;
    }
    // Held by another writer for a moment: a huge wait waits for it.
    for (const char* huge : {"inf", "1e30"}) {
        auto held = std::make_unique<MachineLock>(dir.path(), 0);
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            held.reset();
        });
        EXPECT_EQ(df({"reg", "add", "HKCU\\Software\\W", "/v", "x", "/d", huge, "/f"}, &out,
                     {{"DESKFORGE_LOCK_WAIT", huge}}),
                  0)
            << huge << ": " << out;
        release.join();
    }
}

INSTANTIATE_TEST_SUITE_P(BothKinds, HostileInput, ::testing::Values(Kind::Wine, Kind::Hives),
                         kindName);

namespace {

// The offset of the only place `name` (as ASCII) occurs in the bytes.
std::size_t onlyPlace(const std::string& bytes, const std::string& name) {
    std::size_t at = bytes.find(name);
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(bytes.find(name, at + 1), std::string::npos);
    return at;
}

// A hive with a subkey `name` under Software, added through libhivex.
void addKey(const std::string& file, const std::string& name) {
    hive_h* h = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
    ASSERT_NE(h, nullptr);
    hive_node_h software = hivex_node_get_child(h, hivex_root(h), "Software");
    ASSERT_NE(software, 0u);
    ASSERT_NE(hivex_node_add_child(h, software, name.c_str()), 0u);
    ASSERT_EQ(hivex_commit(h, file.c_str(), 0), 0);
    hivex_close(h);
}

class DamagedHive : public ::testing::Test {
  protected:
    void SetUp() override {
        machine::createMachine(dir.path(), "winxp",
                               std::string(RAVELIN_SOURCE_DIR) + "/samples/templates", true);
        fs::remove_all(dir.file(".deskforge"));
    }
    std::string hive() const { return dir.file("Users/anna/NTUSER.DAT"); }
    int df(std::vector<std::string> args, std::string* out) {
        args.insert(args.begin(), {"--machine", dir.path()});
        return deskforge(args, out);
    }
    TempDir dir;
};

} // namespace

TEST_F(DamagedHive, AnUnreadableKeyNameIsAnErrorNamingTheFile) {
    addKey(hive(), "DamagedKeyName");
    std::string bytes = test::readFile(hive());
    // The name's length sits just before its characters: make it run past its cell.
    const std::size_t at = onlyPlace(bytes, "DamagedKeyName");
    bytes[at - 4] = '\xF0';
    bytes[at - 3] = '\x7F';
    test::writeFile(hive(), bytes);
    for (std::vector<std::string> args :
         {std::vector<std::string>{"reg", "query", "HKCU\\Software", "/s"},
          {"reg", "export", "HKCU\\Software", dir.path() + "-out.reg", "/y"}}) {
        std::string out;
        EXPECT_EQ(df(args, &out), 1) << args[1] << ": " << out.substr(0, 300);
        EXPECT_TRUE(contains(out, hive())) << out.substr(0, 300);
        EXPECT_TRUE(contains(out, "beschädigt")) << out.substr(0, 300);
    }
    EXPECT_EQ(test::readFile(hive()), bytes);
}

TEST_F(DamagedHive, ARefusedWriteLeavesTheFileByteIdenticalAndSaysWhy) {
    // A key whose name holds a NUL, which the file keeps but no write could keep.
    addKey(hive(), "NulXName");
    std::string bytes = test::readFile(hive());
    bytes[onlyPlace(bytes, "NulXName") + 3] = '\0';
    test::writeFile(hive(), bytes);
    std::string out;
    // Beside it, and into it through a new key.
    for (std::vector<std::string> args :
         {std::vector<std::string>{"reg", "add", "HKCU\\Software", "/v", "x", "/d", "1", "/f"},
          {"reg", "add", "HKCU\\Software\\Fresh", "/f"},
          {"reg", "add", "HKCU\\Software\\Fresh", "/v", "x", "/d", "1", "/f"}}) {
        EXPECT_EQ(df(args, &out), 1) << out;
        EXPECT_TRUE(contains(out, "NUL")) << out;
        EXPECT_FALSE(contains(out, "too large")) << out;
        EXPECT_EQ(test::readFile(hive()), bytes);
    }
    test::writeFile(dir.path() + "-nul.reg",
                    "\xFF\xFE" +
                        utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\K") +
                        std::string(2, '\0') + utf16("one]\r\n\"v\"=\"1\"\r\n"));
    EXPECT_EQ(df({"reg", "import", dir.path() + "-nul.reg"}, &out), 1);
    EXPECT_EQ(test::readFile(hive()), bytes);
    fs::remove(dir.path() + "-nul.reg");
}

TEST(RegFileParser, KeysAndLinesAsWindowsHasThem) {
    // A comment after a key, and a ']' inside a name (the last one ends it).
    auto c = parseRegFile("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\a]b] ; note]\r\n\"v\"=\"1\"\r\n",
                          "x.reg");
    ASSERT_EQ(c.operations.size(), 2u);
    EXPECT_EQ(c.operations[0].key, "HKEY_CURRENT_USER\\a]b");
    EXPECT_EQ(c.operations[1].key, "HKEY_CURRENT_USER\\a]b");
    // Mixed line ends.
    c = parseRegFile("REGEDIT4\r[HKEY_CURRENT_USER\\a]\n\"v\"=\"1\"\r\n\"w\"=\"2\"\r", "x.reg");
    ASSERT_EQ(c.operations.size(), 3u);
    EXPECT_EQ(c.operations[2].line, 4u);
    try {
        parseRegFile("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\a]junk\r\n", "x.reg");
        FAIL() << "text after a key was accepted";
    } catch (const RegistryFormatError& e) {
        EXPECT_TRUE(contains(e.what(), "x.reg:3")) << e.what();
    }
}

TEST(FilePrimitives, AFifoIsRefusedAtOnceNeverWaitedOn) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Without a writer, opening the FIFO to read would wait forever.
    EXPECT_THROW(readWholeFile(fifo), RegistryAccessError);
    EXPECT_THROW(writeFileAtomically(fifo, "data"), RegistryAccessError);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_THROW(readWholeFile(dir.path()), RegistryAccessError);
}

namespace {

std::string which(const std::string& program) {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        std::string path = std::string(dir) + "/" + program;
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

} // namespace

TEST(RunningWine, AWineserverStartedWithAnotherTemporaryFolderIsFound) {
    const std::string wineserver = which("wineserver");
    if (wineserver.empty())
        RAVELIN_SKIP_WITHOUT_TOOL("Wine is not installed (scripts/install-deps installs it)");
    TempDir dir, otherTmp;
    machine::createMachine(dir.path(), "winxp",
                           std::string(RAVELIN_SOURCE_DIR) + "/samples/templates", false);
    const std::map<std::string, std::string> env{{"WINEPREFIX", dir.path()},
                                                 {"TMPDIR", otherTmp.path()},
                                                 {"XDG_RUNTIME_DIR", otherTmp.path()},
                                                 {"WINEDEBUG", "-all"}};
    auto run = [&](const std::vector<std::string>& args) {
        pid_t pid = ::fork();
        if (pid == 0) {
            for (const auto& [name, value] : env)
                ::setenv(name.c_str(), value.c_str(), 1);
            // The server outlives this call: it must not hold a pipe of the test runner.
            int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
            std::vector<char*> argv;
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    };
    // A persistent server detaches and waits for clients that never come.
    run({wineserver, "-p30"});
    std::optional<pid_t> found;
    for (int i = 0; i < 100 && !found; ++i) {
        found = runningWineserver(dir.path());
        if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string out;
    int rc = deskforge(
        {"--machine", dir.path(), "reg", "add", "HKCU\\Software\\W", "/v", "x", "/d", "1", "/f"},
        &out, {{"TMPDIR", ""}});
    run({wineserver, "-k"});
    ASSERT_TRUE(found.has_value()) << "the wineserver was not found";
    EXPECT_EQ(rc, 1) << out;
    EXPECT_TRUE(contains(out, "Wine läuft")) << out;
}
