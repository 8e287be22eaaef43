#include "iexplorer/NXUserAgent.h"

#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/machine/Templates.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::iexplorer;

namespace {

const std::string k50 =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\User Agent";
const std::string kOld =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent";

class UserAgent : public ::testing::Test {
  protected:
    void SetUp() override { open("winxp"); }
    void open(const std::string& name) {
        session.reset();
        dir = std::make_unique<test::TempDir>();
        machine::createMachine(dir->path(), name,
                               std::string(RAVELIN_SOURCE_DIR) + "/samples/templates");
        session =
            std::make_unique<app::MachineSession>(dir->path(), app::MachineSession::Mode::Write);
    }
    void TearDown() override { session.reset(); }
    std::string value(HKEY root, const std::string& key, const std::string& name) {
        return RegValueExists(root, key, name, {})
                   ? "[" + GetRegStringValueDef(root, key, name, "", {}) + "]"
                   : "<none>";
    }
    std::unique_ptr<test::TempDir> dir;
    std::unique_ptr<app::MachineSession> session;
};

} // namespace

TEST_F(UserAgent, StandardTokensComeFromTheInstalledBrowserAndWindows) {
    EXPECT_EQ(GetStandardCompatibleVersion(), "MSIE 7.0");
    EXPECT_EQ(GetStandardPlatform(), "Windows NT 5.1");
    EXPECT_TRUE(IsNewIE());
    TNXUserAgent ua(false, true);
    EXPECT_EQ(ua.GetApplicationToken(), "Mozilla/4.0");
    EXPECT_EQ(ua.GetCompatibilityString(), "Compatible");
    EXPECT_TRUE(ua.GetCompatibilityFlag());
    EXPECT_EQ(ua.GetVersionToken(), "MSIE 7.0");
    EXPECT_EQ(ua.GetPlatformToken(), "Windows NT 5.1");
    EXPECT_EQ(GetIEUserAgentString(), "Mozilla/4.0 (Compatible; MSIE 7.0; Windows NT 5.1)");
}

TEST_F(UserAgent, CurrentUserTokensWinAndEmptyCountsOnlyForThePlatform) {
    SetRegStringValue(HKEY_LOCAL_MACHINE, k50, "Version", "MSIE 6.0", {});
    SetRegStringValue(HKEY_CURRENT_USER, k50, "Version", "", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, k50, "Platform", "Windows NT 6.0", {});
    SetRegStringValue(HKEY_CURRENT_USER, k50, "Platform", "", {});
    SetRegStringValue(HKEY_CURRENT_USER, k50, "", "Opera/9.0", {});
    TNXUserAgent ua(false, true);
    EXPECT_EQ(ua.GetVersionToken(), "MSIE 6.0")
        << "an empty current-user version falls back to the machine's";
    EXPECT_EQ(ua.GetPlatformToken(), "") << "an empty platform counts";
    EXPECT_EQ(ua.GetApplicationToken(), "Opera/9.0");
    EXPECT_EQ(GetIEUserAgentString(), "Opera/9.0 (Compatible; MSIE 6.0)");
}

TEST_F(UserAgent, SavingWritesOnlyWhatDiffersFromTheStandard) {
    TNXUserAgent ua(false, true);
    ua.SetCompatibilityFlag(false);
    ua.SetVersionToken("");
    ua.SetPlatformToken("");
    ua.SetApplicationToken("Mozilla/4.0"); // the standard: no value
    ASSERT_TRUE(ua.Save(false));
    EXPECT_EQ(value(HKEY_CURRENT_USER, k50, "Compatible"), "[ ]");
    EXPECT_EQ(value(HKEY_CURRENT_USER, k50, "Version"), "[ ]");
    EXPECT_EQ(value(HKEY_CURRENT_USER, k50, "Platform"), "[]");
    EXPECT_EQ(value(HKEY_CURRENT_USER, k50, ""), "<none>");

    TNXUserAgent again(false, true);
    EXPECT_FALSE(again.GetCompatibilityFlag());
    again.SetCompatibilityFlag(true);
    ASSERT_TRUE(again.Save(false));
    EXPECT_EQ(value(HKEY_CURRENT_USER, k50, "Compatible"), "<none>")
        << "the standard is stored as no value";
}

TEST_F(UserAgent, ListsMergeBothHivesAndOldTokensMoveToTheNewLayout) {
    SetRegStringValue(HKEY_CURRENT_USER, kOld + "\\Pre Platform", "OldPre", "", {});
    SetRegStringValue(HKEY_CURRENT_USER, k50 + "\\Post Platform", ".NET CLR 2.0.50727", "", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, k50 + "\\Post Platform", "InfoPath.2", "", {});
    TNXUserAgent ua(false, true);
    EXPECT_EQ(ua.GetPrePlatformString(), "OldPre;");
    EXPECT_EQ(ua.GetPostPlatformString(), ".NET CLR 2.0.50727; InfoPath.2;");
    EXPECT_EQ(GetIEUserAgentString(), "Mozilla/4.0 (Compatible; MSIE 7.0; OldPre; Windows NT 5.1; "
                                      ".NET CLR 2.0.50727; InfoPath.2)");
    ASSERT_TRUE(ua.Save(false));
    ASSERT_TRUE(ua.Save(true));
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_FALSE(KeyExist(root, kOld, {})) << "the old layout is retired";
        std::vector<std::string> names, data;
        EnumRegValuesEx(root, k50 + "\\Pre Platform", names, data, {});
        EXPECT_EQ(names, std::vector<std::string>{"OldPre"});
        EnumRegValuesEx(root, k50 + "\\Post Platform", names, data, {});
        EXPECT_EQ(names, (std::vector<std::string>{".NET CLR 2.0.50727", "InfoPath.2"}))
            << "current user first";
    }
}

TEST_F(UserAgent, SetToStandardAndTwoSavesLeaveNoTokens) {
    SetRegStringValue(HKEY_CURRENT_USER, k50, "Version", "MSIE 9.9", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, k50, "Platform", "", {});
    SetRegStringValue(HKEY_CURRENT_USER, k50 + "\\Pre Platform", "X", "", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kOld, "User Agent", "Mozilla/3.0", {});
    TNXUserAgent ua(false, true);
    ASSERT_TRUE(ua.SetToStandard());
    ua.Save(false);
    ua.Save(true);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        std::vector<std::string> names, data;
        EnumRegValuesEx(root, k50, names, data, {});
        EXPECT_TRUE(names.empty()) << names.size();
        EnumRegValuesEx(root, k50 + "\\Pre Platform", names, data, {});
        EXPECT_TRUE(names.empty());
        EnumRegValuesEx(root, k50 + "\\Post Platform", names, data, {});
        EXPECT_TRUE(names.empty());
        EXPECT_FALSE(KeyExist(root, kOld, {}));
    }
    EXPECT_EQ(GetIEUserAgentString(), "Mozilla/4.0 (Compatible; MSIE 7.0; Windows NT 5.1)");
}

TEST(UserAgentParse, SplitsTheTokens) {
    auto p = ParseUserAgentString("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)");
    EXPECT_EQ(p.Application, "Mozilla/4.0");
    EXPECT_EQ(p.Compatibility, "compatible");
    EXPECT_EQ(p.Version, "MSIE 6.0");
    EXPECT_EQ(p.Platform, "Windows NT 5.1");
    EXPECT_EQ(ParseUserAgentString("Mozilla/4.0 (compatible; MSIE 6.0; Win32)").Platform, "Win32");
    auto two = ParseUserAgentString("App (one; two)");
    EXPECT_EQ(two.Compatibility, "one");
    EXPECT_EQ(two.Version, "");
    EXPECT_EQ(two.Platform, "two");
    auto bare = ParseUserAgentString("  Mozilla/4.0  ");
    EXPECT_EQ(bare.Application, "Mozilla/4.0");
    EXPECT_EQ(bare.Compatibility, "");
    EXPECT_TRUE(IsCompatibleToken(""));
    EXPECT_TRUE(IsCompatibleToken("COMPATIBLE"));
    EXPECT_FALSE(IsCompatibleToken(" "));
}

TEST_F(UserAgent, RepairRemovesKnownForeignTokens) {
    using R = TNXRepairResult;
    EXPECT_EQ(RepairUserAgentString(false), TNXRepairResults{R::rrAllFine});
    SetRegStringValue(HKEY_CURRENT_USER, kOld + "\\Post Platform", kEmbeddedBrowserToken, "", {});
    EXPECT_EQ(RepairUserAgentString(false),
              (TNXRepairResults{R::rrBlemished, R::rrSucessfullyRepaired}));
    EXPECT_FALSE(
        RegValueExists(HKEY_CURRENT_USER, kOld + "\\Post Platform", kEmbeddedBrowserToken, {}));
    EXPECT_EQ(RepairUserAgentString(false), TNXRepairResults{R::rrAllFine});
    // Wherever the token sits (the machine's new-layout list here), it is removed.
    const std::string first = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1) ";
    SetRegStringValue(HKEY_LOCAL_MACHINE, k50 + "\\Post Platform", first, "", {});
    EXPECT_EQ(RepairUserAgentString(false),
              (TNXRepairResults{R::rrBlemished, R::rrSucessfullyRepaired}));
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, k50 + "\\Post Platform", first, {}));
    EXPECT_EQ(RepairUserAgentString(false), TNXRepairResults{R::rrAllFine});
}

TEST_F(UserAgent, RepairFindsTokensASaveMovedAndStringsPastTheLimit) {
    using R = TNXRepairResult;
    SetRegStringValue(HKEY_CURRENT_USER, kOld + "\\Post Platform", kEmbeddedBrowserToken, "", {});
    {
        TNXUserAgent ua(false, true);
        ASSERT_TRUE(ua.Save(false)); // moves the old list into the new layout
    }
    EXPECT_TRUE(
        RegValueExists(HKEY_CURRENT_USER, k50 + "\\Post Platform", kEmbeddedBrowserToken, {}));
    EXPECT_EQ(RepairUserAgentString(false),
              (TNXRepairResults{R::rrBlemished, R::rrSucessfullyRepaired}));
    EXPECT_EQ(RepairUserAgentString(false), TNXRepairResults{R::rrAllFine});

    // Grown past 260 characters: the browser sends nothing, and that is not "all fine".
    for (int i = 0; i < 30; ++i)
        SetRegStringValue(HKEY_CURRENT_USER, k50 + "\\Post Platform",
                          "Filler.Token." + std::to_string(i), "", {});
    SetRegStringValue(HKEY_CURRENT_USER, k50 + "\\Post Platform", kEmbeddedBrowserToken, "", {});
    EXPECT_EQ(GetIEUserAgentString(), "");
    EXPECT_EQ(RepairUserAgentString(false),
              (TNXRepairResults{R::rrBlemished, R::rrSucessfullyRepaired}));
    EXPECT_FALSE(
        RegValueExists(HKEY_CURRENT_USER, k50 + "\\Post Platform", kEmbeddedBrowserToken, {}));
}

TEST_F(UserAgent, SavingBothHivesTwiceKeepsEachTokenOnce) {
    SetRegStringValue(HKEY_CURRENT_USER, k50 + "\\Post Platform", "A", "", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, k50 + "\\Post Platform", "B", "", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kOld + "\\Pre Platform", "P", "", {});
    const std::string expected = "Mozilla/4.0 (Compatible; MSIE 7.0; P; Windows NT 5.1; A; B)";
    EXPECT_EQ(GetIEUserAgentString(), expected);
    for (int round = 0; round < 3; ++round) {
        TNXUserAgent ua(false, true);
        EXPECT_EQ(ua.GetPostPlatformString(), "A; B;") << round;
        EXPECT_EQ(ua.GetPrePlatformString(), "P;") << round;
        ASSERT_TRUE(ua.Save(false));
        ASSERT_TRUE(ua.Save(true));
        EXPECT_EQ(GetIEUserAgentString(), expected) << "the string must not grow, round " << round;
    }
}

TEST_F(UserAgent, OldBrowsersSaveTheEditedTokensIntoEachHive) {
    open("win98");
    SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version",
                      "4.72.3110.8", {});
    ASSERT_FALSE(IsNewIE());
    SetRegStringValue(HKEY_CURRENT_USER, kOld, "User Agent",
                      "Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kOld, "User Agent",
                      "Mozilla/4.0 (compatible; MSIE 4.0; Windows 95)", {});
    TNXUserAgent ua(false, true);
    EXPECT_EQ(ua.GetVersionToken(), "MSIE 4.01");
    ua.SetVersionToken("MSIE 4.01 Edited");
    ua.SetPlatformToken("Windows 98 SE");
    ASSERT_TRUE(ua.Save(false));
    EXPECT_EQ(value(HKEY_CURRENT_USER, kOld, "User Agent"),
              "[Mozilla/4.0 (compatible; MSIE 4.01 Edited; Windows 98 SE)]");
    ASSERT_TRUE(ua.Save(true));
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kOld, "User Agent"),
              "[Mozilla/4.0 (compatible; MSIE 4.01 Edited; Windows 98 SE)]");
    // A hive saved on its own keeps its own string.
    TNXUserAgentSettings machine(HKEY_LOCAL_MACHINE, false, true);
    machine.SetVersion("MSIE 4.0");
    ASSERT_TRUE(machine.Save());
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kOld, "User Agent"),
              "[Mozilla/4.0 (compatible; MSIE 4.0; Windows 98 SE)]");
    EXPECT_EQ(value(HKEY_CURRENT_USER, kOld, "User Agent"),
              "[Mozilla/4.0 (compatible; MSIE 4.01 Edited; Windows 98 SE)]");
}

TEST_F(UserAgent, OldBrowsersKeepTheWholeString) {
    open("win98");
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "x", 0,
                     {}); // keep the key
    SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version",
                      "4.72.3110.8", {});
    EXPECT_FALSE(IsNewIE());
    EXPECT_EQ(GetStandardPlatform(), "Windows 98");
    SetRegStringValue(HKEY_CURRENT_USER, kOld, "User Agent",
                      "Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)", {});
    TNXUserAgentSettings s(HKEY_CURRENT_USER, false, true);
    EXPECT_EQ(s.GetVersion(), "MSIE 4.01");
    EXPECT_EQ(s.GetPlatform(), "Windows 98");
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(value(HKEY_CURRENT_USER, kOld, "Default User Agent"),
              "[Mozilla/4.0 (compatible; MSIE 6.0; Win32)]");
}
