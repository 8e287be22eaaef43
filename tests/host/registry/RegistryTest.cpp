#include "host/registry/Registry.h"

#include "host/machine/Templates.h"
#include "host/registry/WineRegistryFile.h"
#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ravelin;
using namespace ravelin::registry;
using ravelin::test::TempDir;

namespace {

constexpr const char* kSid = "S-1-5-21-0-0-0-1000";

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reg.mount(HKEY_LOCAL_MACHINE, "", std::make_unique<MemoryHive>("system"));
        reg.mount(HKEY_USERS, kSid, std::make_unique<MemoryHive>("user"));
        reg.mount(HKEY_USERS, ".DEFAULT", std::make_unique<MemoryHive>("userdef"));
        reg.setCurrentUser(kSid);
    }
    std::string str(HKEY root, const std::string& path, const std::string& name,
                    RegOptions o = {}) {
        RegistryValue v;
        if (reg.getValue(root, path, name, v, o) != ERROR_SUCCESS) return "<missing>";
        return stringFromData(v.data);
    }
    int set(HKEY root, const std::string& path, const std::string& name, const std::string& value,
            RegOptions o = {}) {
        return reg.setValue(root, path, name, REG_SZ, makeStringData(value), o);
    }
    Registry reg;
};

} // namespace

TEST_F(RegistryTest, CurrentUserIsTheUsersHiveAndRootsEnumerateMounts) {
    ASSERT_EQ(set(HKEY_CURRENT_USER, "Software\\X", "v", "1"), 0);
    EXPECT_EQ(str(HKEY_USERS, std::string(kSid) + "\\software\\x", "V"), "1");
    std::vector<std::string> names;
    ASSERT_EQ(reg.enumKeys(HKEY_USERS, "", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".DEFAULT", kSid}));
    EXPECT_EQ(reg.deleteKey(HKEY_USERS, ".DEFAULT"), ERROR_ACCESS_DENIED)
        << "a hive file itself is not a deletable key";
    EXPECT_EQ(set(HKEY_USERS, "NoSuchUser\\X", "v", "1"), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, ClassesRootMergesUserOverMachine) {
    set(HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt", "", "txtfile");
    set(HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt", "Content Type", "text/plain");
    set(HKEY_LOCAL_MACHINE, "Software\\Classes\\machineOnly", "", "m");
    set(HKEY_CURRENT_USER, "Software\\Classes\\.txt", "", "myeditor");
    set(HKEY_CURRENT_USER, "Software\\Classes\\userOnly", "", "u");

    EXPECT_EQ(str(HKEY_CLASSES_ROOT, ".txt", ""), "myeditor");
    EXPECT_EQ(str(HKEY_CLASSES_ROOT, ".txt", "Content Type"), "text/plain");
    std::vector<std::string> keys;
    reg.enumKeys(HKEY_CLASSES_ROOT, "", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{".txt", "machineOnly", "userOnly"}));
    std::vector<RegistryValue> values;
    reg.enumValues(HKEY_CLASSES_ROOT, ".txt", values);
    EXPECT_EQ(values.size(), 2u);

    // Writes go to the user's key when it has one, else to the machine's.
    set(HKEY_CLASSES_ROOT, ".txt", "PerceivedType", "text");
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Classes\\.txt", "PerceivedType"), "text");
    set(HKEY_CLASSES_ROOT, "machineOnly", "x", "1");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Classes\\machineOnly", "x"), "1");
    EXPECT_EQ(reg.deleteKey(HKEY_CLASSES_ROOT, ".txt"), 0);
    EXPECT_FALSE(reg.keyExists(HKEY_CLASSES_ROOT, ".txt"));
}

TEST_F(RegistryTest, Wow64ViewsRedirectSoftwareExceptSharedKeys) {
    reg.setIs64Bit(true);
    set(HKEY_LOCAL_MACHINE, "Software\\Vendor", "bits", "64");
    set(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Vendor", "bits", "32");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Vendor", "bits"), "64")
        << "a 64-bit process sees the native key";
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Vendor", "bits", {1}), "32");

    reg.setEmulatesWow64(true);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Vendor", "bits"), "32")
        << "an emulated 32-bit process is redirected";
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Vendor", "bits", {0}), "64");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Vendor", "bits", {2}), "64");

    // Shared keys and other hives are not redirected.
    set(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\X", "v",
        "tz");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE,
                  "Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\X", "v", {2}),
              "tz");
    set(HKEY_LOCAL_MACHINE, "System\\Y", "v", "sys");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "System\\Y", "v", {2}), "sys");
    set(HKEY_CURRENT_USER, "Software\\Z", "v", "user");
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Z", "v", {2}), "user");

    // A 32-bit process writes where it reads.
    set(HKEY_LOCAL_MACHINE, "Software\\New", "v", "w");
    EXPECT_TRUE(reg.keyExists(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\New", {2}));
    EXPECT_FALSE(reg.keyExists(HKEY_LOCAL_MACHINE, "Software\\New", {2}));

    // Class registrations of COM objects have their own 32-bit view.
    set(HKEY_CLASSES_ROOT, "CLSID\\{1}", "", "com32");
    EXPECT_TRUE(
        reg.keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\Wow6432Node\\CLSID\\{1}", {2}));
    set(HKEY_CLASSES_ROOT, ".ext", "", "shared");
    EXPECT_TRUE(reg.keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\.ext", {2}));
}

TEST_F(RegistryTest, A32BitWindowsHasNoWow6432Views) {
    reg.setIs64Bit(false);
    reg.setEmulatesWow64(true);
    set(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v", "1", {1});
    EXPECT_TRUE(reg.keyExists(HKEY_LOCAL_MACHINE, "Software\\Vendor", {2}));
}

TEST_F(RegistryTest, LinkKeysAreFollowed) {
    set(HKEY_LOCAL_MACHINE, "System\\ControlSet001\\Services\\Tcpip", "v", "real");
    reg.setValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet", "SymbolicLinkValue", REG_LINK,
                 text::utf16ToBytes(u"\\REGISTRY\\Machine\\System\\ControlSet001"));
    // Mark it as a link the way the Wine loader does.
    for (Hive* h : reg.hives())
        if (h->file() == "system")
            h->root().findSubkey("System")->findSubkey("CurrentControlSet")->setLink(true);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip", "v"), "real");
    set(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip", "w", "through");
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "System\\ControlSet001\\Services\\Tcpip", "w"), "through");
    set(HKEY_LOCAL_MACHINE, "System\\ControlSet001\\Hardware Profiles\\Current\\Software", "cc",
        "config");
    EXPECT_EQ(str(HKEY_CURRENT_CONFIG, "Software", "cc"), "config");
}

TEST_F(RegistryTest, CopyMoveAndDeleteWholeSubtrees) {
    set(HKEY_CURRENT_USER, "Software\\A", "top", "1");
    set(HKEY_CURRENT_USER, "Software\\A\\B\\C", "deep", "2");
    reg.setValue(HKEY_CURRENT_USER, "Software\\A\\B", "bin", REG_BINARY, {1, 2});

    ASSERT_EQ(reg.copyKey(HKEY_CURRENT_USER, "Software\\A", HKEY_LOCAL_MACHINE, "Software\\Copy"),
              0);
    EXPECT_EQ(str(HKEY_LOCAL_MACHINE, "Software\\Copy\\B\\C", "deep"), "2");
    RegistryValue bin;
    ASSERT_EQ(reg.getValue(HKEY_LOCAL_MACHINE, "Software\\Copy\\B", "bin", bin), 0);
    EXPECT_EQ(bin.type, REG_BINARY);

    // Copying a key into its own subtree copies what was there before.
    ASSERT_EQ(
        reg.copyKey(HKEY_CURRENT_USER, "Software\\A", HKEY_CURRENT_USER, "Software\\A\\B\\Inner"),
        0);
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\A\\B\\Inner\\B\\C", "deep"), "2");
    EXPECT_FALSE(reg.keyExists(HKEY_CURRENT_USER, "Software\\A\\B\\Inner\\B\\Inner"));
    EXPECT_EQ(reg.moveKey(HKEY_CURRENT_USER, "Software\\A", HKEY_CURRENT_USER, "Software\\A\\X"),
              ERROR_INVALID_PARAMETER);

    ASSERT_EQ(reg.moveKey(HKEY_CURRENT_USER, "Software\\A", HKEY_CURRENT_USER, "Software\\Moved"),
              0);
    EXPECT_FALSE(reg.keyExists(HKEY_CURRENT_USER, "Software\\A"));
    EXPECT_EQ(str(HKEY_CURRENT_USER, "Software\\Moved\\B\\C", "deep"), "2");
    EXPECT_EQ(reg.copyKey(HKEY_CURRENT_USER, "Software\\Nope", HKEY_CURRENT_USER, "Software\\T"),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(reg.keyExists(HKEY_CURRENT_USER, "Software\\T"))
        << "a failed copy creates nothing";

    ASSERT_EQ(reg.deleteKey(HKEY_CURRENT_USER, "software\\moved"), 0);
    EXPECT_FALSE(reg.keyExists(HKEY_CURRENT_USER, "Software\\Moved\\B\\C"));
    EXPECT_EQ(reg.deleteKey(HKEY_CURRENT_USER, "Software\\Moved"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndCasePreserving) {
    set(HKEY_CURRENT_USER, "Software\\MixedCase", "ValueName", "1");
    set(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase", "VALUENAME", "2");
    std::vector<std::string> keys;
    reg.enumKeys(HKEY_CURRENT_USER, "Software", keys);
    EXPECT_EQ(keys, std::vector<std::string>{"MixedCase"});
    std::vector<RegistryValue> values;
    reg.enumValues(HKEY_CURRENT_USER, "Software\\MixedCase", values);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "ValueName");
    EXPECT_EQ(stringFromData(values[0].data), "2");
}

namespace {

const char* kWineSystem =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n"
    "[Software\\\\Vendor] 1796549070\n#time=1dd856399352242\n\"v\"=\"1\"\n\n"
    "[System\\\\ControlSet001\\\\Control] "
    "1796549070\n#time=1dd856399352242\n\"c\"=dword:00000001\n\n"
    "[System\\\\CurrentControlSet] 1796549070\n#time=1dd856399352242\n#link\n"
    "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,\\\n"
    "  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,\\\n"
    "  74,00,65,00,6d,00,5c,00,43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,\\\n"
    "  00,74,00,30,00,30,00,31,00\n";
const char* kWineUser = "WINE REGISTRY Version 2\n;; All keys relative to "
                        "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n"
                        "[Software\\\\Wine] 1796549070\n#time=1dd856399352242\n\"u\"=\"1\"\n";
const char* kWineUserdef = "WINE REGISTRY Version 2\n;; All keys relative to "
                           "REGISTRY\\\\User\\\\.Default\n\n#arch=win64\n\n"
                           "[Control Panel] 1796549070\n#time=1dd856399352242\n\"d\"=\"1\"\n";

void makeWinePrefix(const std::string& dir) {
    test::writeFile(dir + "/system.reg", kWineSystem);
    test::writeFile(dir + "/user.reg", kWineUser);
    test::writeFile(dir + "/userdef.reg", kWineUserdef);
}

} // namespace

TEST(RegistryMachine, OpensAWinePrefixAndWritesOnlyChangedFiles) {
    TempDir dir;
    makeWinePrefix(dir.path());
    auto reg = Registry::openMachine(dir.path());
    EXPECT_TRUE(reg->is64Bit());
    RegistryValue v;
    EXPECT_EQ(reg->getValue(HKEY_USERS, ".DEFAULT\\Control Panel", "d", v), 0);
    EXPECT_EQ(reg->getValue(HKEY_CURRENT_USER, "Software\\Wine", "u", v), 0);
    EXPECT_EQ(reg->getValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control", "c", v), 0);
    ASSERT_EQ(reg->setValue(HKEY_CURRENT_USER, "Software\\Wine", "u", REG_SZ, makeStringData("2")),
              0);
    reg->flush();
    EXPECT_EQ(test::readFile(dir.file("system.reg")), kWineSystem);
    EXPECT_NE(test::readFile(dir.file("user.reg")).find("\"u\"=\"2\""), std::string::npos);
}

TEST(RegistryMachine, OnlyOneProcessWritesAMachine) {
    TempDir dir;
    makeWinePrefix(dir.path());
    auto first = Registry::openMachine(dir.path());
    auto second = Registry::openMachine(dir.path());
    ASSERT_EQ(
        first->setValue(HKEY_CURRENT_USER, "Software\\Wine", "a", REG_DWORD, makeDwordData(1)), 0);
    EXPECT_THROW(
        second->setValue(HKEY_CURRENT_USER, "Software\\Wine", "b", REG_DWORD, makeDwordData(1)),
        RegistryAccessError);
    RegistryValue v;
    EXPECT_EQ(second->getValue(HKEY_CURRENT_USER, "Software\\Wine", "u", v), 0)
        << "reading needs no lock";
}

TEST(RegistryMachine, RefusesToWriteWhileWineserverRuns) {
    TempDir dir;
    makeWinePrefix(dir.path());
    // Play wineserver: its folder in the temporary folder named by <prefix>/wineserver,
    // with a write lock on byte 0 of "lock", held by another process.
    struct stat st {};
    ASSERT_EQ(::stat(dir.path().c_str(), &st), 0);
    char server[64];
    std::snprintf(server, sizeof server, "server-%llx-%llx",
                  static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::string wineTmp = dir.file("wine-tmp");
    std::filesystem::create_directories(wineTmp + "/" + server);
    test::writeFile(dir.file("wineserver"), wineTmp + "\n");
    std::string lockFile = wineTmp + "/" + server + "/lock";
    test::writeFile(lockFile, "");

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    if (child == 0) {
        int fd = ::open(lockFile.c_str(), O_RDWR);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_len = 1;
        ::fcntl(fd, F_SETLK, &fl);
        char c = 1;
        (void)!::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    auto reg = Registry::openMachine(dir.path());
    try {
        reg->setValue(HKEY_CURRENT_USER, "Software\\Wine", "a", REG_DWORD, makeDwordData(1));
        ADD_FAILURE() << "wrote while Wine runs";
    } catch (const RegistryAccessError& e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(child)), std::string::npos) << e.what();
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(reg->setValue(HKEY_CURRENT_USER, "Software\\Wine", "a", REG_DWORD, makeDwordData(1)),
              0);
}

TEST(RegistryMachine, ABrokenFileIsReportedAndNothingIsWritten) {
    TempDir dir;
    makeWinePrefix(dir.path());
    test::writeFile(dir.file("user.reg"), std::string(kWineUser) + "garbage line\n");
    try {
        Registry::openMachine(dir.path());
        FAIL() << "accepted a broken user.reg";
    } catch (const RegistryFormatError& e) {
        EXPECT_EQ(e.file(), dir.file("user.reg"));
        EXPECT_EQ(e.line(), 9u);
    }
    EXPECT_EQ(test::readFile(dir.file("user.reg")), std::string(kWineUser) + "garbage line\n");
}

TEST(RegistryMachine, OpensAWindowsDriveWithItsHiveFiles) {
    TempDir scratch;
    for (const auto& sample : test::hiveSamples(scratch)) {
        SCOPED_TRACE(sample.origin);
        TempDir dir;
        std::string config = dir.file("Windows/system32/CONFIG");
        std::filesystem::create_directories(config);
        std::filesystem::create_directories(dir.file("Users/alice"));
        test::copyFile(sample.minimal, config + "/SOFTWARE");
        test::copyFile(sample.minimal, config + "/SYSTEM");
        test::copyFile(sample.special, dir.file("Users/alice/NTUSER.DAT"));
        {
            auto reg = Registry::openMachine(dir.path());
            EXPECT_FALSE(reg->is64Bit());
            std::vector<std::string> names;
            reg->enumKeys(HKEY_LOCAL_MACHINE, "", names);
            EXPECT_EQ(names, (std::vector<std::string>{"SOFTWARE", "SYSTEM"}));
            reg->enumKeys(HKEY_CURRENT_USER, "", names);
            EXPECT_EQ(names.size(), 3u);
            // CurrentControlSet is made from Select\Current, as Windows does at boot.
            ASSERT_EQ(reg->setValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Select", "Current", REG_DWORD,
                                    makeDwordData(2)),
                      0);
            ASSERT_EQ(reg->setValue(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\X",
                                    "Start", REG_DWORD, makeDwordData(4)),
                      0);
            RegistryValue v;
            EXPECT_EQ(reg->getValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\X",
                                    "Start", v),
                      0);
            EXPECT_EQ(reg->setValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Big", "b", REG_BINARY,
                                    std::vector<std::uint8_t>(20000)),
                      ERROR_INVALID_PARAMETER);
            EXPECT_EQ(
                reg->setValue(HKEY_LOCAL_MACHINE, "NEWHIVE\\X", "b", REG_DWORD, makeDwordData(1)),
                ERROR_ACCESS_DENIED);
            reg->flush();
        }
        auto again = Registry::openMachine(dir.path());
        RegistryValue v;
        EXPECT_EQ(again->getValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\X",
                                  "Start", v),
                  0);
        EXPECT_EQ(v.data, makeDwordData(4));
    }
}

TEST(RegistryMachine, TheBundledSampleMachineReads) {
    TempDir dir;
    machine::createMachine(dir.path(), "winxp",
                           std::string(RAVELIN_SOURCE_DIR) + "/samples/templates");
    auto reg = Registry::openMachine(dir.path());
    RegistryValue v;
    ASSERT_EQ(reg->getValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion",
                            "CSDVersion", v),
              0);
    EXPECT_EQ(stringFromData(v.data), "Service Pack 2");
    ASSERT_EQ(reg->getValue(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", "DefaultTTL",
                            v),
              0);
    EXPECT_EQ(v.data, makeDwordData(128));
    for (Hive* h : reg->hives()) {
        h->loadAll();
        EXPECT_FALSE(h->modified()) << h->file();
    }
}
