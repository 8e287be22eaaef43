// What a user types or a file brings never breaks the line structure of Opera's files.
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/machine/Machine.h"
#include "host/opera/OperaIniFile.h"
#include "opera/ufrmOpera.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using ravelin::opera::OperaFileError;
using ravelin::opera::OperaIniFile;

TEST(OperaLines, AValueWithALineBreakIsRefusedAndTheDocumentStaysAsItWas) {
    OperaIniFile doc = OperaIniFile::parse("Opera Preferences version 2.1\r\n\r\n[User Prefs]\r\n"
                                           "Title=Alt\r\n",
                                           "operaprefs.ini");
    const std::string before = doc.bytes();
    for (const std::string& v :
         std::vector<std::string>{"x\r\n[Network]\r\nEnable HostName Expansion=0", "x\ny", "x\ry",
                                  std::string("x\0y", 3)}) {
        EXPECT_THROW(doc.set("User Prefs", "Title", v), OperaFileError);
        EXPECT_THROW(doc.set("User Prefs", "Neu", v), OperaFileError);
    }
    EXPECT_THROW(doc.set("User Prefs\n[Network]", "Title", "x"), OperaFileError);
    EXPECT_THROW(doc.set("User Prefs", "Title\nTitle", "x"), OperaFileError);
    EXPECT_THROW(doc.set("User Prefs", "a=b", "x"), OperaFileError);
    EXPECT_EQ(doc.bytes(), before);
    EXPECT_FALSE(doc.has("Network", "Enable HostName Expansion"));
}

TEST(OperaLines, EachFileKeepsItsOwnLineEndsCarriageReturnsIncluded) {
    const std::string cr = "Opera Preferences version 2.1\r\r[User Prefs]\rTitle=Mein Opera\r"
                           "Source Viewer Mode=3\r\r[Network]\rEnable HostName Expansion=1\r";
    OperaIniFile doc = OperaIniFile::parse(cr, "opera6.ini");
    EXPECT_EQ(doc.bytes(), cr);
    EXPECT_EQ(doc.lineEnding(), "\r");
    EXPECT_EQ(doc.get("User Prefs", "Title").value_or(""), "Mein Opera");
    EXPECT_EQ(doc.get("Network", "Enable HostName Expansion").value_or(""), "1");
    EXPECT_EQ(doc.sections(), (std::vector<std::string>{"User Prefs", "Network"}));

    // A change rewrites its line, an added key joins its section: one section each, CR only.
    doc.set("User Prefs", "Title", "Neu");
    doc.set("User Prefs", "Source Viewer", "C:\\x.exe");
    doc.set("Extra", "K", "1");
    EXPECT_EQ(doc.bytes(), "Opera Preferences version 2.1\r\r[User Prefs]\rTitle=Neu\r"
                           "Source Viewer Mode=3\rSource Viewer=C:\\x.exe\r\r[Network]\r"
                           "Enable HostName Expansion=1\r\r[Extra]\rK=1\r");

    // Mixed files keep each line's own ending.
    const std::string mixed = "Opera Preferences version 2.1\r\n[A]\rk=1\nl=2\r\n";
    OperaIniFile m = OperaIniFile::parse(mixed, "x.ini");
    EXPECT_EQ(m.bytes(), mixed);
    EXPECT_EQ(m.get("A", "l").value_or(""), "2");
}

namespace {

const std::string kXpPrefs = "C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\opera6.ini";

class OperaPageLines : public test::PageTest {
  protected:
    OperaPageLines() : PageTest("opera") {}
    void SetUp() override {
        open("winxp");
        toolkit::TApplication::Instance().SetDialogService(&dialogs);
    }
    void TearDown() override {
        toolkit::TApplication::Instance().SetDialogService(nullptr);
        PageTest::TearDown();
    }
    std::string prefsPath() { return host(kXpPrefs); }
    // A script runs with dialogs of its own; the suite's answer afterwards.
    std::string run(const std::string& script, int rc) {
        const std::string out = PageTest::run(script, rc);
        toolkit::TApplication::Instance().SetDialogService(&dialogs);
        return out;
    }
    toolkit::ScriptedDialogs dialogs{nullptr};
};

} // namespace

TEST_F(OperaPageLines, ALineBreakInATextFieldFailsTheLineWithAMessageAndWritesNothing) {
    // Linux allows line breaks in file names; the icon is stored only for a file that exists.
    test::writeFile(host("C:\\") + "/x.exe\n[Network]\nEnable HostName Expansion=0", "ico");
    const std::string before = test::readFile(prefsPath());
    const struct {
        const char* tab;
        const char* field;
        const char* leave;
    } fields[] = {
        {"tsView", "edtWindowTitle", "rbUseOperaIcon"},
        {"tsView", "edtApplicationIcon", "edtWindowTitle"}, // a file of that name exists
        {"tsHandling", "edtSourceViewer", "cbHandling_AutocompleteServernames"},
    };
    for (const auto& f : fields) {
        SCOPED_TRACE(f.field);
        const std::string out =
            run(std::string("tab ") + f.tab + "\nset " + f.field +
                    " \"C:\\\\x.exe\\n[Network]\\nEnable HostName Expansion=0\"\nfocus " + f.leave +
                    "\n",
                1);
        EXPECT_NE(out.find("Zeilenumbruch"), std::string::npos) << out;
        EXPECT_EQ(test::readFile(prefsPath()), before);
    }
}
