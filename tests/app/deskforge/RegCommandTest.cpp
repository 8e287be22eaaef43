#include "app/deskforge/RegCommand.h"

#include "host/registry/RegFile.h"
#include "host/registry/Registry.h"
#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using namespace ravelin::registry;
using ravelin::test::TempDir;

namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

class RegCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeFile(
            dir.file("system.reg"),
            "WINE REGISTRY Version 2\n;; All keys relative to "
            "REGISTRY\\\\Machine\n\n#arch=win32\n\n"
            "[Software\\\\Vendor] 1796549070\n#time=1dd856399352242\n@=\"def\"\n\"Bin\"=hex:01,ab\n"
            "\"Dw\"=dword:0000002a\n\"Multi\"=str(7):\"a\\0b\\0\"\n\"Q\"=hex(b):10,00,00,00,00,00,"
            "00,00\n\n"
            "[Software\\\\Vendor\\\\App] "
            "1796549070\n#time=1dd856399352242\n\"Dw\"=dword:00000001\n\n"
            "[Software\\\\Vendor\\\\Empty] 1796549070\n#time=1dd856399352242\n");
        test::writeFile(dir.file("user.reg"),
                        "WINE REGISTRY Version 2\n;; All keys relative to "
                        "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n");
    }
    Result run(std::vector<std::string> args, const std::string& input = "") {
        auto reg = Registry::openMachine(dir.path());
        std::ostringstream out, err;
        std::istringstream in(input);
        app::Console console{out, err, in};
        int code = app::runRegCommand(*reg, args, console);
        return {code, out.str(), err.str()};
    }
    TempDir dir;
};

} // namespace

TEST_F(RegCommandTest, QueryPrintsAsRegExe) {
    Result r = run({"query", "hklm\\software\\vendor"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "\nHKEY_LOCAL_MACHINE\\software\\vendor\n"
                     "    (Standard)    REG_SZ    def\n"
                     "    Bin    REG_BINARY    01AB\n"
                     "    Dw    REG_DWORD    0x2a\n"
                     "    Multi    REG_MULTI_SZ    a\\0b\n"
                     "    Q    REG_QWORD    0x10\n"
                     "\n"
                     "HKEY_LOCAL_MACHINE\\software\\vendor\\App\n"
                     "HKEY_LOCAL_MACHINE\\software\\vendor\\Empty\n");

    r = run({"QUERY", "HKEY_LOCAL_MACHINE\\Software\\Vendor", "/v", "dw"});
    EXPECT_EQ(r.out, "\nHKEY_LOCAL_MACHINE\\Software\\Vendor\n    Dw    REG_DWORD    0x2a\n\n");

    r = run({"query", "HKLM\\Software\\Vendor\\App", "/ve"});
    EXPECT_EQ(r.out, "\nHKEY_LOCAL_MACHINE\\Software\\Vendor\\App\n    (Standard)    REG_SZ    "
                     "(Wert nicht festgelegt)\n\n");

    r = run({"query", "HKLM\\Software\\Vendor", "/s"});
    EXPECT_EQ(r.out, "\nHKEY_LOCAL_MACHINE\\Software\\Vendor\n"
                     "    (Standard)    REG_SZ    def\n"
                     "    Bin    REG_BINARY    01AB\n"
                     "    Dw    REG_DWORD    0x2a\n"
                     "    Multi    REG_MULTI_SZ    a\\0b\n"
                     "    Q    REG_QWORD    0x10\n"
                     "\n"
                     "HKEY_LOCAL_MACHINE\\Software\\Vendor\\App\n"
                     "    Dw    REG_DWORD    0x1\n"
                     "\n"
                     "HKEY_LOCAL_MACHINE\\Software\\Vendor\\Empty\n"
                     "\n");

    r = run({"query", "HKLM\\Software\\Vendor", "/v", "Dw", "/s"});
    EXPECT_NE(r.out.find("Suche beendet: 2 Übereinstimmung(en) gefunden.\n"), std::string::npos);
}

TEST_F(RegCommandTest, ErrorsAreWordedAsRegExeAndExitWith1) {
    Result r = run({"query", "HKLM\\Software\\Nothing"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "FEHLER: Das System kann den angegebenen Registrierungsschlüssel bzw. Wert "
                     "nicht finden.\n");
    r = run({"query", "HKLM\\Software\\Vendor", "/v", "Nope"});
    EXPECT_EQ(r.code, 1);
    r = run({"query", "HKXY\\Software"});
    EXPECT_EQ(r.err,
              "FEHLER: Ungültiger Schlüsselname.\nGeben Sie \"REG QUERY /?\" ein, um die Syntax "
              "anzuzeigen.\n");
    r = run({"query", "HKLM\\Software", "/bogus"});
    EXPECT_EQ(r.err, "FEHLER: Ungültige Syntax.\nGeben Sie \"REG QUERY /?\" ein, um die Syntax "
                     "anzuzeigen.\n");
    r = run({"add", "HKLM\\Software\\X", "/v", "n", "/t", "REG_DWORD", "/d", "notanumber"});
    EXPECT_EQ(r.code, 1);
    r = run({"frobnicate"});
    EXPECT_EQ(r.code, 1);
}

TEST_F(RegCommandTest, SwitchesAreTakenOnceInAnyCaseOrderAndPrefix) {
    // Accepted: "-" or "/", any case, any order, value switches with their argument.
    Result r = run({"query", "HKLM\\Software\\Vendor", "-V", "Dw", "/REG:32"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Dw    REG_DWORD    0x2a"), std::string::npos) << r.out;
    r = run({"add", "HKCU\\Software\\S", "/d", "x;y", "/t", "REG_MULTI_SZ", "/S", ";", "/v", "M",
             "/f"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(run({"query", "HKCU\\Software\\S", "/v", "M"}).out,
              "\nHKEY_CURRENT_USER\\Software\\S\n    M    REG_MULTI_SZ    x\\0y\n\n");

    // Refused before anything is done: twice, both views, a value switch without its value,
    // exclusive choices, and a switch another operation has.
    const std::vector<std::vector<std::string>> wrong = {
        {"query", "HKLM\\Software\\Vendor", "/s", "/S"},
        {"query", "HKLM\\Software\\Vendor", "/reg:32", "/reg:64"},
        {"query", "HKLM\\Software\\Vendor", "/v"},
        {"query", "HKLM\\Software\\Vendor", "/v", "Dw", "/ve"},
        {"query", "HKLM\\Software\\Vendor", "/f"},
        {"delete", "HKLM\\Software\\Vendor", "/va", "/ve", "/f"},
        {"delete", "HKLM\\Software\\Vendor", "/v", "Dw", "/v", "Bin", "/f"},
        {"export", "HKLM\\Software\\Vendor", dir.file("x.reg"), "/y", "/y"},
        {"import", dir.file("x.reg"), "/y"},
    };
    const std::string before = test::readFile(dir.file("system.reg"));
    for (const auto& args : wrong) {
        r = run(args);
        EXPECT_EQ(r.code, 1) << args[0] << " " << args.back();
        EXPECT_NE(r.err.find("FEHLER: Ungültige Syntax."), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::readFile(dir.file("system.reg")), before);
}

TEST_F(RegCommandTest, AddAndDeleteWriteTheFileAndAskFirst) {
    Result r = run({"add", "HKCU\\Software\\New", "/v", "Name", "/d", "a \"quoted\" value", "/f"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Der Vorgang wurde erfolgreich beendet.\n");
    EXPECT_NE(test::readFile(dir.file("user.reg")).find("\"Name\"=\"a \\\"quoted\\\" value\""),
              std::string::npos);

    r = run({"add", "HKCU\\Software\\New", "/v", "Name", "/d", "other"}, "no\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("Der Wert Name ist bereits vorhanden. Überschreiben (Ja/Nein)? "),
              std::string::npos);
    EXPECT_EQ(run({"query", "HKCU\\Software\\New", "/v", "Name"}).out.find("other"),
              std::string::npos);

    r = run({"add", "HKCU\\Software\\New", "/v", "Name", "/d", "other"}, "yes\n");
    EXPECT_EQ(r.code, 0);
    // The prompt asks "Ja/Nein": a German answer is taken as well, and only a yes overwrites.
    r = run({"add", "HKCU\\Software\\New", "/v", "Name", "/d", "dritte"}, "nein\n");
    EXPECT_EQ(r.code, 1);
    r = run({"add", "HKCU\\Software\\New", "/v", "Name", "/d", "dritte"}, "Ja\n");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(run({"query", "HKCU\\Software\\New", "/v", "Name"}).out.find("dritte"),
              std::string::npos);
    run({"add", "HKCU\\Software\\New", "/v", "M", "/t", "REG_MULTI_SZ", "/d", "x#y", "/s", "#",
         "/f"});
    run({"add", "HKCU\\Software\\New", "/v", "B", "/t", "REG_BINARY", "/d", "0aff", "/f"});
    run({"add", "HKCU\\Software\\New", "/v", "Q", "/t", "REG_QWORD", "/d", "0x100000000", "/f"});
    std::string user = test::readFile(dir.file("user.reg"));
    EXPECT_NE(user.find("\"M\"=str(7):\"x\\0y\\0\""), std::string::npos);
    EXPECT_NE(user.find("\"B\"=hex:0a,ff"), std::string::npos);
    EXPECT_NE(user.find("\"Q\"=hex(b):00,00,00,00,01,00,00,00"), std::string::npos);

    r = run({"delete", "HKCU\\Software\\New"}, "");
    EXPECT_EQ(r.code, 1) << "no answer is no";
    r = run({"delete", "HKCU\\Software\\New", "/v", "M", "/f"});
    EXPECT_EQ(r.code, 0);
    r = run({"delete", "HKCU\\Software\\New", "/f"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(test::readFile(dir.file("user.reg")).find("New"), std::string::npos);
    EXPECT_EQ(run({"delete", "HKCU\\Software\\New", "/f"}).code, 1);
}

TEST_F(RegCommandTest, ExportAndImportRoundTrip) {
    std::string file = dir.file("out.reg");
    Result r = run({"export", "HKLM\\Software\\Vendor", file});
    EXPECT_EQ(r.code, 0);
    std::string bytes = test::readFile(file);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(run({"export", "HKLM\\Software\\Vendor", file}, "n\n").code, 1)
        << "an existing file needs /y or a yes";
    EXPECT_EQ(run({"export", "HKLM\\Software\\Vendor", file, "/y"}).code, 0);

    // Import the export under another name: the values come back the same.
    RegFileContent content = parseRegFile(bytes, file);
    std::string text = text::utf16ToUtf8(text::bytesToUtf16(
        reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2, bytes.size() - 2));
    for (std::size_t p;
         (p = text.find("HKEY_LOCAL_MACHINE\\Software\\Vendor")) != std::string::npos;)
        text.replace(p, 34, "HKEY_CURRENT_USER\\Software\\Copy");
    test::writeFile(dir.file("in.reg"), text);
    r = run({"import", dir.file("in.reg")});
    ASSERT_EQ(r.code, 0) << r.err;
    Result a = run({"query", "HKLM\\Software\\Vendor", "/s"});
    Result b = run({"query", "HKCU\\Software\\Copy", "/s"});
    std::string expected = a.out;
    for (std::size_t p;
         (p = expected.find("HKEY_LOCAL_MACHINE\\Software\\Vendor")) != std::string::npos;)
        expected.replace(p, 34, "HKEY_CURRENT_USER\\Software\\Copy");
    EXPECT_EQ(b.out, expected);

    // Deletions in an import.
    test::writeFile(dir.file("del.reg"),
                    "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Copy\\App]\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Copy]\r\n\"Dw\"=-\r\n");
    EXPECT_EQ(run({"import", dir.file("del.reg")}).code, 0);
    EXPECT_EQ(run({"query", "HKCU\\Software\\Copy\\App"}).code, 1);
    EXPECT_EQ(run({"query", "HKCU\\Software\\Copy", "/v", "Dw"}).code, 1);
}

TEST_F(RegCommandTest, ABadImportChangesNothing) {
    std::string before = test::readFile(dir.file("user.reg"));
    test::writeFile(dir.file("bad.reg"),
                    "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n\"ok\"=dword:1\r\n"
                    "[HKEY_CURRENT_USER\\Software\\B]\r\n\"bad\"=dword:xyz\r\n");
    Result r = run({"import", dir.file("bad.reg")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "FEHLER: " + dir.file("bad.reg") +
                         ":6: dword: 1 bis 8 Hexadezimalziffern erforderlich.\n");
    test::writeFile(dir.file("root.reg"), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]"
                                          "\r\n\"ok\"=dword:1\r\n[HKEY_NOWHERE\\X]\r\n");
    r = run({"import", dir.file("root.reg")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(":5: Ungültiger Schlüsselname"), std::string::npos);
    EXPECT_EQ(test::readFile(dir.file("user.reg")), before);
    EXPECT_FALSE(std::ifstream(dir.file(".deskforge/journal.sqlite")).good());
}
