#include "host/registry/RegFile.h"
#include "host/registry/Hive.h"

#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::registry;
using Kind = RegFileOperation::Kind;

namespace {

std::string utf16File(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text::utf8ToUtf16(utf8)) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

} // namespace

TEST(RegFile, ParsesEveryKindOfLineOfAVersion5File) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                       "; a comment\r\n"
                       "[HKEY_CURRENT_USER\\Software\\A]\r\n"
                       "@=\"def\"\r\n"
                       "\"Str\"=\"C:\\\\Dir \\\"q\\\" \xC3\xA4\" ; trailing comment\r\n"
                       "\"Dw\"=dword:0000002A\r\n"
                       "\"Short\"=dword:1\r\n"
                       "\"Bin\"=hex:01,02,\\\r\n"
                       "\r\n"
                       "  ; inside a continuation\r\n"
                       "  03\r\n"
                       "\"Exp\"=hex(2):25,00,41,00\r\n"
                       "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                       "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                       "\"Gone\"=-\r\n"
                       "\r\n"
                       "[-HKEY_CURRENT_USER\\Software\\B]\r\n"
                       "[HKEY_LOCAL_MACHINE\\Software\\Odd]Name]\r\n";
    RegFileContent c = parseRegFile(utf16File(text), "t.reg");
    ASSERT_EQ(c.operations.size(), 12u);
    EXPECT_EQ(c.operations[0].kind, Kind::CreateKey);
    EXPECT_EQ(c.operations[0].key, "HKEY_CURRENT_USER\\Software\\A");
    EXPECT_EQ(c.operations[1].value.name, "");
    EXPECT_EQ(stringFromData(c.operations[2].value.data), "C:\\Dir \"q\" \xC3\xA4");
    EXPECT_EQ(c.operations[3].value.data, makeDwordData(42));
    EXPECT_EQ(c.operations[4].value.data, makeDwordData(1));
    EXPECT_EQ(c.operations[5].value.data, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(c.operations[6].value.type, REG_EXPAND_SZ);
    EXPECT_EQ(stringFromData(c.operations[6].value.data), "%A")
        << "the missing terminator is supplied";
    EXPECT_EQ(c.operations[6].value.data.size(), 6u);
    EXPECT_EQ(multiStringFromData(c.operations[7].value.data),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(c.operations[8].value.type, REG_QWORD);
    EXPECT_EQ(c.operations[9].kind, Kind::DeleteValue);
    EXPECT_EQ(c.operations[10].kind, Kind::DeleteKey);
    EXPECT_EQ(c.operations[10].key, "HKEY_CURRENT_USER\\Software\\B");
    EXPECT_EQ(c.operations[11].key, "HKEY_LOCAL_MACHINE\\Software\\Odd]Name")
        << "the last ']' ends the name";
}

TEST(RegFile, Regedit4StringsAreInTheAnsiCodePage) {
    std::string text =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n\"S\"=\"\xE4\"\r\n\"H\"=hex(2):e4,00\r\n";
    RegFileContent c = parseRegFile(text, "v4.reg");
    EXPECT_EQ(c.version, RegFileContent::Version::Regedit4);
    EXPECT_EQ(stringFromData(c.operations[1].value.data), "\xC3\xA4");
    EXPECT_EQ(c.operations[2].value.data, (std::vector<std::uint8_t>{0xE4, 0, 0, 0}));
}

TEST(RegFile, BadLinesAreReportedWithTheirNumber) {
    struct Case {
        std::string text;
        unsigned line;
    };
    const Case cases[] = {
        {"Not a registry file\r\n", 1},
        {"REGEDIT4\r\n\r\n\"v\"=\"x\"\r\n", 3},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\X]\r\n\"v\"=dword:123456789\r\n", 3},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\X]\r\n\"v\"=hex:zz\r\n", 3},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\X]\r\n\"v\"=\"open\r\n", 3},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\X\r\n", 2},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\X]\r\n\"v\"=hex:01,\\\r\n", 3},
    };
    for (const auto& c : cases) {
        try {
            parseRegFile(c.text, "bad.reg");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const RegistryFormatError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text;
        }
    }
}

TEST(RegFile, WriterProducesVersion5TextThatParsesBack) {
    MemoryHive hive;
    bool created = false;
    Key& k = hive.root().addSubkey("K", created);
    k.setValue("", REG_SZ, makeStringData("d\"ef\\"));
    k.setValue("Lines", REG_SZ, makeStringData("a\r\nb"));
    k.setValue("Name\rwith\nbreaks", REG_SZ, makeStringData("x"));
    k.setValue("Dw", REG_DWORD, makeDwordData(0xFFFFFFFF));
    k.setValue("Big", REG_BINARY, std::vector<std::uint8_t>(40, 0x5a));
    k.setValue("Odd", REG_SZ, {0x41});
    k.setValue("Q", REG_QWORD, makeQwordData(5));
    k.setValue("Non-Latin \xE4\xB8\xAD", REG_MULTI_SZ, makeMultiStringData({"x", "\xE4\xB8\xAD"}));
    Key& sub = k.addSubkey("Sub", created);
    sub.setValue("n", REG_NONE, {});
    RegFileWriter w;
    w.addTree("HKEY_CURRENT_USER\\K", k);
    std::string bytes = w.bytes();
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    std::string t = w.text();
    EXPECT_EQ(t.substr(0, 40), "Windows Registry Editor Version 5.00\r\n\r\n");
    EXPECT_NE(t.find("@=\"d\\\"ef\\\\\"\r\n"), std::string::npos);
    EXPECT_NE(t.find("\"Dw\"=dword:ffffffff\r\n"), std::string::npos);
    EXPECT_NE(t.find("\"Lines\"=hex(1):"), std::string::npos)
        << "line breaks cannot stand in quotes";
    EXPECT_EQ(t.substr(t.size() - 4), "\r\n\r\n");
    for (std::size_t start = 0; start < t.size();) {
        std::size_t end = t.find("\r\n", start);
        EXPECT_LE(end - start, 80u);
        start = end + 2;
    }

    RegFileContent back = parseRegFile(bytes, "out.reg");
    std::vector<RegistryValue> values;
    for (const auto& op : back.operations)
        if (op.kind == Kind::SetValue && op.key == "HKEY_CURRENT_USER\\K")
            values.push_back(op.value);
    ASSERT_EQ(values.size(), k.values().size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].name, k.values()[i].name);
        EXPECT_EQ(values[i].type, k.values()[i].type);
        EXPECT_EQ(values[i].data, k.values()[i].data) << values[i].name;
    }
    EXPECT_EQ(back.operations.back().key, "HKEY_CURRENT_USER\\K\\Sub");
}

TEST(RegFile, RealFilesParseAndSurviveARoundTrip) {
    // Our own files in the encodings and forms exports come in, and the corpus's real ones
    // where it is present.
    std::vector<std::filesystem::path> paths;
    for (const std::string& dir :
         {std::string(RAVELIN_SOURCE_DIR) + "/tests/data/reg",
          test::corpusDir().empty() ? std::string() : test::corpusDir() + "/reg"}) {
        if (dir.empty()) continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".reg") paths.push_back(entry.path());
    }
    int files = 0;
    for (const auto& path : paths) {
        ++files;
        SCOPED_TRACE(path.filename().string());
        RegFileContent c = parseRegFile(test::readFile(path), path.string());
        ASSERT_FALSE(c.operations.empty());
        // Write the values out again and read them back: nothing may change.
        RegFileWriter w;
        std::vector<RegistryValue> pending;
        std::string key;
        std::vector<RegistryValue> all;
        auto flushKey = [&] {
            if (!key.empty()) w.addKey(key, pending);
            pending.clear();
        };
        for (const auto& op : c.operations) {
            if (op.kind == Kind::CreateKey) {
                flushKey();
                key = op.key;
            } else if (op.kind == Kind::SetValue) {
                pending.push_back(op.value);
                all.push_back(op.value);
            }
        }
        flushKey();
        RegFileContent back = parseRegFile(w.bytes(), "again.reg");
        std::vector<RegistryValue> again;
        for (const auto& op : back.operations)
            if (op.kind == Kind::SetValue) again.push_back(op.value);
        ASSERT_EQ(again.size(), all.size());
        for (std::size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(again[i].type, all[i].type);
            EXPECT_EQ(again[i].data, all[i].data) << all[i].name;
        }
    }
    EXPECT_GE(files, 5);
}
