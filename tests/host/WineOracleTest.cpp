// Checks our Wine registry files against Wine itself: a prefix made by wineboot must come
// back byte for byte when every key is rewritten from the parsed tree, and Wine must read
// what we write. Without Wine the whole program reports a skip (exit code 77, which ctest
// shows as "Skipped"), or a failure where the run requires every test program
// (RAVELIN_REQUIRE_TOOLS, set by `make test`).
#include "host/machine/Machine.h"
#include "host/registry/Registry.h"
#include "host/registry/WineRegistryFile.h"
#include "tests/TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ravelin;
using namespace ravelin::registry;

namespace {

// The exit code ctest counts as a skip (SKIP_RETURN_CODE in tests/CMakeLists.txt).
constexpr int kSkipped = 77;

bool haveWine() {
    return std::system(
               "command -v wine >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1") == 0;
}

// Runs a Wine command on the prefix; its output goes to a file (Wine's services keep
// pipes open while wineserver lives).
int runWine(const std::string& prefix, const std::string& args, const std::string& output) {
    std::string cmd = "WINEPREFIX='" + prefix +
                      "' WINEDLLOVERRIDES='mscoree,mshtml=' WINEDEBUG=-all timeout 300 " + args +
                      " >'" + output + "' 2>&1 </dev/null; rc=$?; WINEPREFIX='" + prefix +
                      "' wineserver -w; exit $rc";
    return std::system(cmd.c_str());
}

void markAllDirtyKeepingTimes(Key& key) {
    key.ensureValues();
    key.markDirty(key.lastWrite());
    for (const auto& sub : key.subkeys())
        markAllDirtyKeepingTimes(*sub);
}

class WineOracle : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<test::TempDir>();
        prefix = dir->file("prefix");
        ready = runWine(prefix, "wine wineboot --init", dir->file("wineboot.log")) == 0;
    }
    static void TearDownTestSuite() {
        if (dir) std::system(("WINEPREFIX='" + prefix + "' wineserver -k >/dev/null 2>&1").c_str());
        dir.reset();
    }
    void SetUp() override { ASSERT_TRUE(ready) << "wineboot failed"; }
    static inline std::unique_ptr<test::TempDir> dir;
    static inline std::string prefix;
    static inline bool ready = false;
};

} // namespace

TEST_F(WineOracle, EveryKeyOfAFreshPrefixIsWrittenAsWineWritesIt) {
    for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
        SCOPED_TRACE(name);
        std::string original = test::readFile(prefix + "/" + name);
        auto hive = WineHive::parse(original, name);
        markAllDirtyKeepingTimes(hive->root());
        std::string ours = hive->serialize();
        ASSERT_EQ(ours.size(), original.size());
        EXPECT_TRUE(ours == original)
            << "first difference at byte "
            << std::mismatch(ours.begin(), ours.end(), original.begin()).first - ours.begin();
    }
}

TEST_F(WineOracle, WineReadsWhatWeWriteAndWritesItBackTheSame) {
    {
        auto reg = Registry::openMachine(prefix);
        ASSERT_EQ(reg->setValue(HKEY_CURRENT_USER, "Software\\Deskforge\\[Odd] Key",
                                "Quote\"Back\\slash", REG_SZ,
                                makeStringData("Gr\xC3\xBC\xC3\x9F"
                                               "e \"x\" \\ \xE2\x82\xAC tab\t")),
                  0);
        ASSERT_EQ(reg->setValue(HKEY_CURRENT_USER, "Software\\Deskforge\\[Odd] Key", "Multi",
                                REG_MULTI_SZ, makeMultiStringData({"one", "two"})),
                  0);
        ASSERT_EQ(reg->setValue(HKEY_LOCAL_MACHINE, "Software\\Deskforge", "Number", REG_DWORD,
                                makeDwordData(0x1234)),
                  0);
        ASSERT_EQ(reg->setValue(HKEY_LOCAL_MACHINE, "Software\\Deskforge", "Blob", REG_BINARY,
                                std::vector<std::uint8_t>(100, 0x5A)),
                  0);
        reg->flush();
    }
    std::string ourUser = test::readFile(prefix + "/user.reg");
    std::string ourSystem = test::readFile(prefix + "/system.reg");
    ASSERT_EQ(runWine(prefix, "wine reg query 'HKLM\\Software\\Deskforge'", dir->file("q.txt")), 0);
    std::string q = test::readFile(dir->file("q.txt"));
    EXPECT_NE(q.find("Number    REG_DWORD    0x1234"), std::string::npos) << q;
    EXPECT_NE(q.find("Blob    REG_BINARY    5A5A5A"), std::string::npos) << q;
    ASSERT_EQ(runWine(prefix, "wine reg query 'HKCU\\Software\\Deskforge\\[Odd] Key' /v Multi",
                      dir->file("q2.txt")),
              0);
    EXPECT_NE(test::readFile(dir->file("q2.txt")).find("one\\0two"), std::string::npos);

    // Wine rewrote its files on exit: our keys must read back identical from them.
    auto extract = [](const std::string& file, const std::string& keyLine) {
        std::size_t at = file.find(keyLine);
        if (at == std::string::npos) return std::string();
        std::size_t end = file.find("\n\n", at);
        std::string block =
            file.substr(at, end == std::string::npos ? std::string::npos : end - at);
        return block.substr(block.find('\n', block.find("#time=")) +
                            1); // values only: Wine stamps new times
    };
    std::string wineUser = test::readFile(prefix + "/user.reg");
    std::string wineSystem = test::readFile(prefix + "/system.reg");
    std::string key = "[Software\\\\Deskforge\\\\\\[Odd\\] Key]";
    EXPECT_FALSE(extract(ourUser, key).empty());
    EXPECT_EQ(extract(wineUser, key), extract(ourUser, key));
    EXPECT_EQ(extract(wineSystem, "[Software\\\\Deskforge]"),
              extract(ourSystem, "[Software\\\\Deskforge]"));
}

TEST_F(WineOracle, AFreshPrefixIsRecognised) {
    auto m = machine::Machine::open(prefix);
    auto id = m->identity();
    EXPECT_EQ(m->kind(), machine::MachineKind::Wine);
    EXPECT_EQ(id.osCode, 8) << "Wine 8 reports Windows 7";
    EXPECT_EQ(id.servicePack, 1);
    EXPECT_TRUE(id.is64);
    EXPECT_EQ(m->ieVersion().Major, 11);
    EXPECT_FALSE(m->config().user.empty());
    EXPECT_TRUE(m->files().dirExists(m->shellFolder(6))) << m->shellFolder(6);
}

// While Wine runs on the prefix, a write would be lost when wineserver exits: it is
// refused, and a page's refused write fails its script line. Once Wine has stopped, the
// same write is made and Wine reads it, also through a user.reg that is a link.
TEST_F(WineOracle, WritesWhileWineRunsAreRefusedAndWineReadsWhatFollows) {
    const std::string deskforge = std::string(RAVELIN_DESKFORGE) + " --machine '" + prefix + "' ";
    auto run = [&](const std::string& args, std::string& out) {
        std::string file = dir->file("deskforge.out");
        int rc = std::system((deskforge + args + " >'" + file + "' 2>&1 </dev/null").c_str());
        out = test::readFile(file);
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    ASSERT_EQ(std::system(("WINEPREFIX='" + prefix + "' wineserver -p 30").c_str()), 0);
    std::string out;
    EXPECT_EQ(run("reg add 'HKCU\\Software\\Deskforge\\Busy' /v n /d 1 /f", out), 1);
    EXPECT_NE(out.find("Wine läuft auf diesem Präfix"), std::string::npos) << out;
    // One of the two lines changes the box, whichever state the prefix has.
    test::writeFile(dir->file("script"), "check chkAdminShares off\ncheck chkAdminShares on\n");
    EXPECT_EQ(run("run internet '" + dir->file("script") + "'", out), 1);
    EXPECT_NE(out.find(": Die Änderung wurde nicht vorgenommen"), std::string::npos) << out;
    std::system(
        ("WINEPREFIX='" + prefix + "' wineserver -k; WINEPREFIX='" + prefix + "' wineserver -w")
            .c_str());

    // user.reg as a link to a file beside it: written through, the link kept.
    const std::string user = prefix + "/user.reg";
    ASSERT_EQ(std::rename(user.c_str(), (user + ".real").c_str()), 0);
    ASSERT_EQ(::symlink("user.reg.real", user.c_str()), 0);
    EXPECT_EQ(run("reg add 'HKCU\\Software\\Deskforge\\Busy' /v n /d linked /f", out), 0) << out;
    struct stat st {};
    ASSERT_EQ(::lstat(user.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(runWine(prefix, "wine reg query 'HKCU\\Software\\Deskforge\\Busy' /v n",
                      dir->file("q3.txt")),
              0);
    EXPECT_NE(test::readFile(dir->file("q3.txt")).find("linked"), std::string::npos);
    // Wine's own exit may have replaced the link by a file; put the prefix back either way.
    if (::lstat(user.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::remove(user.c_str());
        std::rename((user + ".real").c_str(), user.c_str());
    } else {
        std::remove((user + ".real").c_str());
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!haveWine()) {
        if (test::toolsRequired()) {
            std::cerr << "Wine is not installed, and this run requires it (RAVELIN_REQUIRE_TOOLS "
                         "is set; scripts/install-deps installs Wine)\n";
            return 1;
        }
        std::cout << "skipped: Wine is not installed\n";
        return kSkipped;
    }
    return RUN_ALL_TESTS();
}
