#include "host/registry/WineRegistryFile.h"

#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ravelin;
using namespace ravelin::registry;
using ravelin::test::TempDir;

namespace {

// Written as wineserver writes: sorted, escaped and wrapped its way.
const std::string kSystemReg = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Classes\\*\\shellex\\ContextMenuHandlers] 1796549070
#time=1dd856399314a8c

[Software\\Test] 1796549070
#time=1dd856399352242
#class="My\"Class"
@="default"
"_under"="1"
"Bin"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\
  17,18,19,1a,1b,1c,1d,1e,1f,20
"Ctl"="tab\tnl\nbell\aesc\e\1\0012"
"Dword"=dword:0000002a
"Empty"=hex:
"Expand"=str(2):"%SystemRoot%\\system32"
"Multi"=str(7):"a\0b\0"
"Odd"=hex(1):41,00,42
"Quote\"d"="C:\\Program Files\\\"x\""
"Qword"=hex(b):01,00,00,00,00,00,00,00
"Short"=hex(4):01,00
"Wide"="Gr\xfc\x00dfe \x20ac"

[Software\\Test\\Sub\[1\]] 1796549070
#time=1dd856399352242

[System\\CurrentControlSet] 1796549070
#time=1dd856399352242
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\
  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,\
  74,00,65,00,6d,00,5c,00,43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,\
  00,74,00,30,00,30,00,31,00
)";

void markAllDirtyKeepingTimes(Key& key) {
    key.ensureValues();
    key.markDirty(key.lastWrite());
    for (const auto& sub : key.subkeys())
        markAllDirtyKeepingTimes(*sub);
}

} // namespace

TEST(WineRegistryFile, UnchangedFileSavesByteIdentical) {
    auto hive = WineHive::parse(kSystemReg, "system.reg");
    EXPECT_EQ(hive->serialize(), kSystemReg);
    hive->loadAll();
    EXPECT_EQ(hive->serialize(), kSystemReg) << "parsing values must not change the text";
}

TEST(WineRegistryFile, RegeneratedKeysMatchWhatWineWrites) {
    // Every key rewritten from the parsed tree must come out as wineserver wrote it.
    auto hive = WineHive::parse(kSystemReg, "system.reg");
    markAllDirtyKeepingTimes(hive->root());
    EXPECT_EQ(hive->serialize(), kSystemReg);
}

TEST(WineRegistryFile, ValuesParseToTheirTypesAndData) {
    auto hive = WineHive::parse(kSystemReg, "system.reg");
    Key* test = hive->root().findSubkey("software")->findSubkey("TEST");
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(test->className().value_or(""), "My\"Class");
    EXPECT_EQ(test->lastWrite(), 0x1dd856399352242ull);

    const RegistryValue* def = test->findValue("");
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(stringFromData(def->data), "default");
    EXPECT_EQ(def->data.size(), 16u) << "strings keep their terminating NUL";

    EXPECT_EQ(test->findValue("dword")->data, makeDwordData(42));
    EXPECT_EQ(test->findValue("Empty")->type, REG_BINARY);
    EXPECT_TRUE(test->findValue("Empty")->data.empty());
    EXPECT_EQ(test->findValue("Bin")->data.size(), 33u);
    EXPECT_EQ(test->findValue("Expand")->type, REG_EXPAND_SZ);
    EXPECT_EQ(stringFromData(test->findValue("Expand")->data), "%SystemRoot%\\system32");
    EXPECT_EQ(multiStringFromData(test->findValue("Multi")->data),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(test->findValue("Odd")->data, (std::vector<std::uint8_t>{0x41, 0, 0x42}));
    EXPECT_EQ(test->findValue("Short")->type, REG_DWORD);
    EXPECT_EQ(test->findValue("Short")->data.size(), 2u);
    EXPECT_EQ(test->findValue("Qword")->type, REG_QWORD);
    EXPECT_EQ(stringFromData(test->findValue("Quote\"d")->data), "C:\\Program Files\\\"x\"");
    EXPECT_EQ(stringFromData(test->findValue("Wide")->data), "Gr\xC3\xBC\xC3\x9F"
                                                             "e \xE2\x82\xAC");
    std::u16string ctl = text::bytesToUtf16(test->findValue("Ctl")->data.data(),
                                            test->findValue("Ctl")->data.size());
    EXPECT_EQ(ctl, (std::u16string{u't', u'a', u'b', 9,    u'n', u'l', 10, u'b', u'e', u'l',
                                   u'l', 7,    u'e', u's', u'c', 27,   1,  1,    u'2', 0}));

    EXPECT_NE(test->findSubkey("Sub[1]"), nullptr) << "escaped brackets in key names";
    Key* ccs = hive->root().findSubkey("System")->findSubkey("CurrentControlSet");
    EXPECT_TRUE(ccs->isLink());
}

TEST(WineRegistryFile, EscapesFollowWineserver) {
    auto line = [](std::u16string data, DWORD type = REG_SZ) {
        data.push_back(0);
        return wine::formatValue(RegistryValue{"n", type, text::utf16ToBytes(data)});
    };
    EXPECT_EQ(line(u"a\"b\\c"), "\"n\"=\"a\\\"b\\\\c\"\n");
    EXPECT_EQ(line(u"\u00e9a"), "\"n\"=\"\\x00e9a\"\n")
        << "a hex digit after \\x forces four digits";
    EXPECT_EQ(line(u"\u00e9z"), "\"n\"=\"\\xe9z\"\n");
    EXPECT_EQ(line(std::u16string{1, u'7'}), "\"n\"=\"\\0017\"\n")
        << "an octal digit after forces three digits";
    EXPECT_EQ(line(std::u16string{1, u'8'}), "\"n\"=\"\\18\"\n");
    EXPECT_EQ(line(std::u16string{0x7F, u'['}), "\"n\"=\"\x7F[\"\n")
        << "brackets are escaped in key names only";
    EXPECT_EQ(line(u"\U0001F600"), "\"n\"=\"\\xd83d\\xde00\"\n");
    EXPECT_EQ(line(u"x", REG_MULTI_SZ), "\"n\"=str(7):\"x\"\n");
    EXPECT_EQ(wine::formatValue(RegistryValue{"", REG_SZ, {'a', 0}}), "@=hex(1):61,00\n")
        << "a string without its terminator is kept as hex";
    EXPECT_EQ(wine::formatValue(RegistryValue{"", REG_DWORD, makeDwordData(0xDEADBEEF)}),
              "@=dword:deadbeef\n");
    EXPECT_EQ(wine::formatValue(RegistryValue{"", 0x20000, {1}}), "@=hex(20000):01\n");
    EXPECT_EQ(wine::formatValue(RegistryValue{"", REG_BINARY, {}}), "@=hex:\n");
}

TEST(WineRegistryFile, LongHexWrapsAfterColumn76) {
    RegistryValue v{"LongName", REG_BINARY, std::vector<std::uint8_t>(60, 0xab)};
    std::string s = wine::formatValue(v);
    std::size_t lineStart = 0;
    while (lineStart < s.size()) {
        std::size_t nl = s.find('\n', lineStart);
        EXPECT_LE(nl - lineStart, 80u);
        lineStart = nl + 1;
    }
    std::size_t pos = 0;
    unsigned line = 1;
    RegistryValue back;
    wine::parseValue(s, pos, line, back);
    EXPECT_EQ(back.data, v.data);
    EXPECT_EQ(pos, s.size());
}

TEST(WineRegistryFile, ChangedKeysGetNewTimesAndSortAsWineDoes) {
    auto hive = WineHive::parse(kSystemReg, "system.reg");
    Key* software = hive->root().findSubkey("Software");
    bool created = false;
    Key& added = software->addSubkey("_New", created);
    ASSERT_TRUE(created);
    added.setValue("zeta", REG_DWORD, makeDwordData(1));
    added.setValue("Alpha", REG_DWORD, makeDwordData(2));
    added.markDirty(0x1dd900000000000ull);
    software->markStructureChanged(0x1dd900000000000ull);
    std::string out = hive->serialize();
    std::size_t pNew = out.find("[Software\\\\_New]");
    std::size_t pClasses = out.find("[Software\\\\Classes");
    ASSERT_NE(pNew, std::string::npos);
    EXPECT_LT(pNew, pClasses) << "'_' sorts before letters";
    EXPECT_NE(out.find("[Software\\\\_New] "
                       "1797715756\n#time=1dd900000000000\n\"Alpha\"=dword:00000002\n\"zeta\"="
                       "dword:00000001\n"),
              std::string::npos);
    // Everything else is untouched.
    std::string withoutNew = out;
    withoutNew.erase(pNew - 1, out.find("\n\n", pNew) - pNew + 2);
    EXPECT_EQ(withoutNew, kSystemReg);
}

TEST(WineRegistryFile, DeletedKeysDisappearAndTheirParentsAreRewritten) {
    auto hive = WineHive::parse(kSystemReg, "system.reg");
    Key* test = hive->root().findSubkey("Software")->findSubkey("Test");
    ASSERT_NE(test->removeSubkey("sub[1]"), nullptr);
    test->markStructureChanged(test->lastWrite());
    std::string out = hive->serialize();
    EXPECT_EQ(out.find("Sub\\[1\\]"), std::string::npos);
    EXPECT_NE(out.find("[Software\\\\Test] 1796549070"), std::string::npos);
}

TEST(WineRegistryFile, SavesAtomicallyKeepingPermissionsAndReloadsItsOwnOutput) {
    TempDir dir;
    std::string path = dir.file("user.reg");
    test::writeFile(path, kSystemReg);
    ::chmod(path.c_str(), 0600);
    auto hive = WineHive::load(path);
    Key* test = hive->root().findSubkey("Software")->findSubkey("Test");
    test->setValue("New", REG_SZ, makeStringData("v"));
    test->markDirty(fileTimeNow());
    hive->save();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string saved = test::readFile(path);
    EXPECT_NE(saved.find("\"New\"=\"v\"\n"), std::string::npos);

    // A second change after the save works from the saved text.
    Key* classes = hive->root().findSubkey("Software")->findSubkey("Classes");
    ASSERT_NE(classes, nullptr);
    hive->root().findSubkey("System")->findSubkey("CurrentControlSet")->ensureValues();
    test->deleteValue("Dword");
    test->markDirty(fileTimeNow());
    hive->save();
    auto again = WineHive::load(path);
    again->loadAll();
    Key* t2 = again->root().findSubkey("Software")->findSubkey("Test");
    EXPECT_EQ(t2->findValue("Dword"), nullptr);
    EXPECT_NE(t2->findValue("New"), nullptr);
    EXPECT_NE(t2->findValue("Bin"), nullptr);
    EXPECT_EQ(again->serialize(), test::readFile(path));
}

TEST(WineRegistryFile, BadInputNamesFileAndLineAndIsNeverRewritten) {
    struct Case {
        std::string text;
        unsigned line;
    };
    const Case cases[] = {
        {"WINE REGISTRY Version 1\n", 1},
        {"WINE REGISTRY Version 2\n\n[Key] 1\nwhat is this\n", 4},
        {"WINE REGISTRY Version 2\n\"v\"=\"x\"\n", 2},
        {"WINE REGISTRY Version 2\n\n[Key\n", 3},
        {"WINE REGISTRY Version 2\n\n[Key] 1\n#time=xyz\n", 4},
    };
    for (const auto& c : cases) {
        try {
            WineHive::parse(c.text, "bad.reg");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const RegistryFormatError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text;
            EXPECT_EQ(e.file(), "bad.reg");
        }
    }
    // A broken value line is found when its key is read; the file is not written.
    TempDir dir;
    std::string path = dir.file("system.reg");
    std::string text =
        "WINE REGISTRY Version 2\n\n[A] 1\n\"ok\"=dword:1\n\"bad\"=dwrd:1\n\n[B] 1\n\"x\"=\"y\"\n";
    test::writeFile(path, text);
    auto hive = WineHive::load(path);
    try {
        hive->root().findSubkey("A")->values();
        ADD_FAILURE() << "bad value accepted";
    } catch (const RegistryFormatError& e) {
        EXPECT_EQ(e.line(), 5u);
    }
    Key* b = hive->root().findSubkey("B");
    b->setValue("x", REG_SZ, makeStringData("z"));
    b->markDirty(fileTimeNow());
    hive->save();
    std::string saved = test::readFile(path);
    EXPECT_NE(saved.find("\"bad\"=dwrd:1"), std::string::npos)
        << "unparsed lines are kept as they were";
    EXPECT_NE(saved.find("\"x\"=\"z\""), std::string::npos);
}

TEST(WineRegistryFile, DuplicateKeysMergeAsWineDoes) {
    std::string text =
        "WINE REGISTRY Version 2\n\n[A] 1\n\"x\"=\"1\"\n\"y\"=\"1\"\n\n[A] 2\n\"y\"=\"2\"\n";
    auto hive = WineHive::parse(text, "dup.reg");
    Key* a = hive->root().findSubkey("A");
    EXPECT_EQ(stringFromData(a->findValue("x")->data), "1");
    EXPECT_EQ(stringFromData(a->findValue("y")->data), "2");
    std::string out = hive->serialize();
    EXPECT_EQ(out.find("[A]"), out.rfind("[A]")) << "written once";
}

TEST(WineRegistryFile, NewFileHasWinesHeader) {
    TempDir dir;
    auto hive = WineHive::create(dir.file("userdef.reg"), "REGISTRY\\\\User\\\\.Default", "win64");
    bool created = false;
    Key& k = hive->root().addSubkey("Control Panel", created);
    k.setValue("x", REG_DWORD, makeDwordData(1));
    k.markDirty(116444736000000000ull + 10000000ull);
    hive->save();
    EXPECT_EQ(test::readFile(dir.file("userdef.reg")),
              "WINE REGISTRY Version 2\n;; All keys relative to "
              "REGISTRY\\\\User\\\\.Default\n\n#arch=win64\n\n"
              "[Control Panel] 1\n#time=19db1ded5d71680\n\"x\"=dword:00000001\n");
    EXPECT_EQ(WineHive::load(dir.file("userdef.reg"))->relativeTo(), "REGISTRY\\User\\.Default");
}
