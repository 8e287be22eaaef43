#include "host/Nxregistry.h"

#include "host/registry/Registry.h"

#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::registry;

namespace {

class NxregistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reg.mount(HKEY_LOCAL_MACHINE, "", std::make_unique<MemoryHive>("system"));
        reg.mount(HKEY_USERS, "S-1", std::make_unique<MemoryHive>("user"));
        reg.setCurrentUser("S-1");
        SetCurrentRegistry(&reg);
    }
    void TearDown() override { SetCurrentRegistry(nullptr); }
    Registry reg;
};

} // namespace

TEST_F(NxregistryTest, ReadersReturnCodesAndKeepDefaults) {
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
    DWORD v = 0;
    SetOneIfTrue(true, v);
    ASSERT_EQ(SetRegDWORDValue(HKEY_LOCAL_MACHINE, key, "AutoShareWks", v, {}), 0);
    DWORD read = 99;
    EXPECT_EQ(GetRegDWORDValue(HKEY_LOCAL_MACHINE, key, "autosharewks", read, {}), 0);
    EXPECT_EQ(read, 1u);
    read = 99;
    EXPECT_EQ(GetRegDWORDValue(HKEY_LOCAL_MACHINE, key, "Missing", read, {}), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(read, 99u);

    SetRegStringValue(HKEY_LOCAL_MACHINE, key, "Str", "text", {2});
    EXPECT_EQ(GetRegDWORDValue(HKEY_LOCAL_MACHINE, key, "Str", read, {}), ERROR_INVALID_DATA);
    std::string s = "keep";
    EXPECT_EQ(GetRegStringValue(HKEY_LOCAL_MACHINE, key, "AutoShareWks", s, {}),
              ERROR_INVALID_DATA);
    EXPECT_EQ(s, "keep");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, "Str", "def", {}), "text");
    EXPECT_EQ(GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, "Nope", "def", {}), "def");

    int n = 0;
    SetRegStringValue(HKEY_LOCAL_MACHINE, key, "Num", " 42 ", {});
    EXPECT_EQ(GetRegIntValue(HKEY_LOCAL_MACHINE, key, "Num", n, 7, {}), 0);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(GetRegIntValue(HKEY_LOCAL_MACHINE, key, "Str", n, 7, {}), ERROR_INVALID_DATA);
    EXPECT_EQ(n, 7);

    SetRegMultiStringValue(HKEY_LOCAL_MACHINE, key, "Multi", {"a", "b c"}, {});
    std::vector<std::string> multi;
    EXPECT_EQ(GetRegMultiStringValue(HKEY_LOCAL_MACHINE, key, "Multi", multi, {}), 0);
    EXPECT_EQ(multi, (std::vector<std::string>{"a", "b c"}));

    SetRegBinaryValue(HKEY_LOCAL_MACHINE, key, "Bin4", {1, 0, 0, 0}, {});
    EXPECT_EQ(GetRegDWORDValue(HKEY_LOCAL_MACHINE, key, "Bin4", read, {}), 0)
        << "four binary bytes read as a DWORD";
    EXPECT_EQ(read, 1u);
}

TEST_F(NxregistryTest, FlagsReadAsDocumented) {
    const std::string key = "Software\\Flags";
    struct Case {
        std::string name;
        bool def;
        bool expected;
    };
    SetRegDWORDValue(HKEY_CURRENT_USER, key, "dw1", 1, {});
    SetRegDWORDValue(HKEY_CURRENT_USER, key, "dw0", 0, {});
    SetRegStringValue(HKEY_CURRENT_USER, key, "yes", "YES", {});
    SetRegStringValue(HKEY_CURRENT_USER, key, "true", " True ", {});
    SetRegStringValue(HKEY_CURRENT_USER, key, "one", "1", {});
    SetRegStringValue(HKEY_CURRENT_USER, key, "no", "no", {});
    SetRegStringValue(HKEY_CURRENT_USER, key, "empty", "", {});
    SetRegStringValue(HKEY_CURRENT_USER, key, "other", "maybe", {});
    SetRegBinaryValue(HKEY_CURRENT_USER, key, "bin", {0, 0, 1}, {});
    SetRegMultiStringValue(HKEY_CURRENT_USER, key, "multi", {"1"}, {});
    const Case cases[] = {{"dw1", false, true},   {"dw0", true, false},    {"yes", false, true},
                          {"true", false, true},  {"one", false, true},    {"no", true, false},
                          {"empty", true, false}, {"other", true, true},   {"other", false, false},
                          {"bin", false, true},   {"multi", false, false}, {"missing", true, true}};
    for (const auto& c : cases)
        EXPECT_EQ(GetRegSetting(HKEY_CURRENT_USER, key, c.name, c.def, {}), c.expected)
            << c.name << " default " << c.def;
    EXPECT_TRUE(GetRegSettingEx("HKEY_CURRENT_USER\\Software\\Flags", "dw1", false, {}));
    EXPECT_TRUE(GetRegSettingEx("HKCU\\Software\\Flags", "yes", false, {}));
    EXPECT_TRUE(GetRegSettingEx("HKXX\\Software\\Flags", "dw0", true, {}));
}

TEST_F(NxregistryTest, EnumerationEndsWith259) {
    SetRegDWORDValue(HKEY_CURRENT_USER, "Software\\E\\b", "x", 1, {});
    SetRegDWORDValue(HKEY_CURRENT_USER, "Software\\E\\A", "x", 1, {});
    SetRegDWORDValue(HKEY_CURRENT_USER, "Software\\E", "dw", 5, {});
    SetRegStringValue(HKEY_CURRENT_USER, "Software\\E", "s", "t", {});
    std::string name;
    EXPECT_EQ(EnumRegKeys(HKEY_CURRENT_USER, "Software\\E", 0, name, {}), 0);
    EXPECT_EQ(name, "A");
    EXPECT_EQ(EnumRegKeys(HKEY_CURRENT_USER, "Software\\E", 1, name, {}), 0);
    EXPECT_EQ(name, "b");
    EXPECT_EQ(EnumRegKeys(HKEY_CURRENT_USER, "Software\\E", 2, name, {}), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(EnumRegKeys(HKEY_CURRENT_USER, "Software\\None", 0, name, {}), ERROR_FILE_NOT_FOUND);

    std::vector<std::string> names, data;
    EXPECT_EQ(EnumRegValuesEx(HKEY_CURRENT_USER, "Software\\E", names, data, {}),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(names, (std::vector<std::string>{"dw", "s"}));
    EXPECT_EQ(data, (std::vector<std::string>{"5", "t"}));
    EXPECT_EQ(EnumRegValuesEx(HKEY_CURRENT_USER, "Software\\None", names, data, {}),
              ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(names.empty());

    std::vector<std::string> keys;
    EXPECT_EQ(EnumRegKeysEx(HKEY_CURRENT_USER, "Software\\E", keys, {}), 0);
    EXPECT_EQ(keys.size(), 2u);
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, "software\\e\\A", {}));
    EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, "Software\\E", "DW", {}));
    EXPECT_EQ(DeleteRegValue(HKEY_CURRENT_USER, "Software\\E", "dw", {}), 0);
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, "Software\\E", "dw", {}));
    EXPECT_EQ(
        MoveRegKey(HKEY_CURRENT_USER, "Software\\E", HKEY_LOCAL_MACHINE, "Software\\E", {}, {}), 0);
    EXPECT_TRUE(KeyExist(HKEY_LOCAL_MACHINE, "Software\\E\\b", {}));
    EXPECT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, "Software\\E", {}), 0);
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, "Software\\E", {}));
}

TEST(NxregistryUnbound, FailsWithoutARegistry) {
    SetCurrentRegistry(nullptr);
    DWORD v = 3;
    EXPECT_EQ(GetRegDWORDValue(HKEY_LOCAL_MACHINE, "X", "y", v, {}), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetRegDWORDValue(HKEY_LOCAL_MACHINE, "X", "y", 1, {}), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, "X", {}));
}
