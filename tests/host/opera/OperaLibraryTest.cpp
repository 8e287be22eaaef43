#include "app/deskforge/Machine.h"
#include "host/Nxfilechanges.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/journal/Journal.h"
#include "host/opera/Nxopera.h"
#include "host/opera/OperaIniFile.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>

using namespace ravelin;
using ravelin::opera::OperaFileError;
using ravelin::opera::OperaIniFile;

namespace {

const std::string kData = std::string(RAVELIN_SOURCE_DIR) + "/tests/data/opera/";

std::vector<std::string> corpusFiles(const std::string& folder) {
    std::vector<std::string> out;
    const std::string dir = test::corpusDir();
    if (dir.empty()) return out;
    for (const auto& e : std::filesystem::directory_iterator(dir + "/" + folder))
        if (e.path().extension() == ".ini" || e.path().extension() == ".txt")
            out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// The bytes with one line (found by its start) replaced, as a hand edit would do it.
std::string replaceLine(const std::string& bytes, const std::string& start,
                        const std::string& line) {
    auto at = bytes.find(start);
    EXPECT_NE(at, std::string::npos) << start;
    auto end = bytes.find_first_of("\r\n", at);
    return bytes.substr(0, at) + line + bytes.substr(end);
}

} // namespace

// ---- The file format ----

TEST(OperaIniFile, EveryRealFileComesBackByteForByte) {
    auto files = corpusFiles("opera");
    auto ini = corpusFiles("ini");
    files.insert(files.end(), ini.begin(), ini.end());
    for (const char* own : {"prefs-crlf.ini", "prefs-lf-noeol.ini", "search.ini"})
        files.push_back(kData + own);
    for (const auto& path : files) {
        const std::string bytes = test::readFile(path);
        // Opera writes UTF-8; a UTF-16 file is refused rather than garbled.
        const bool utf16 = bytes.rfind("\xFF\xFE", 0) == 0;
        try {
            EXPECT_EQ(OperaIniFile::parse(bytes, path).bytes(), bytes) << path;
            EXPECT_FALSE(utf16) << path;
        } catch (const OperaFileError& e) {
            EXPECT_TRUE(utf16) << e.what();
        }
    }
}

TEST(OperaIniFile, ChangingAKeyRewritesOnlyItsLine) {
    std::vector<std::string> files = {kData + "prefs-crlf.ini"};
    for (const auto& f : corpusFiles("opera"))
        if (f.find("prefs.ini") != std::string::npos || f.find("opera6.ini") != std::string::npos)
            files.push_back(f);
    for (const auto& path : files) {
        const std::string bytes = test::readFile(path);
        OperaIniFile doc = OperaIniFile::parse(bytes, path);
        if (!doc.has("User Prefs", "Source Viewer Mode")) continue;
        ASSERT_TRUE(doc.set("User Prefs", "Source Viewer Mode", "2")) << path;
        EXPECT_EQ(doc.bytes(), replaceLine(bytes, "Source Viewer Mode=", "Source Viewer Mode=2"))
            << path;
        EXPECT_EQ(doc.get("User Prefs", "Source Viewer Mode"), "2");
        EXPECT_FALSE(doc.set("User Prefs", "Source Viewer Mode", "2")) << "no change, no write";
    }
}

TEST(OperaIniFile, AddsAKeyToItsSectionOrTheSectionAtTheEnd) {
    const std::string bytes = test::readFile(kData + "prefs-crlf.ini");
    OperaIniFile doc = OperaIniFile::parse(bytes, "prefs-crlf.ini");
    // After the last line of the last [User Prefs], in the file's CR LF.
    ASSERT_TRUE(doc.set("User Prefs", "History Navigation Mode", "3"));
    EXPECT_EQ(doc.bytes(), replaceLine(bytes, "Title=\"  Zweiter  \"",
                                       "Title=\"  Zweiter  \"\r\nHistory Navigation Mode=3"));
    // A section the file lacks goes to the end, after a blank line.
    ASSERT_TRUE(doc.set("Performance", "Max Connections Server", "16"));
    const std::string out = doc.bytes();
    const std::string tail =
        "Used Version=964\r\n\r\n[Performance]\r\nMax Connections Server=16\r\n";
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(out.substr(0, 3), "\xEF\xBB\xBF");

    // LF, no byte-order mark and no final line ending: all three kept.
    const std::string lf = test::readFile(kData + "prefs-lf-noeol.ini");
    OperaIniFile plain = OperaIniFile::parse(lf, "prefs-lf-noeol.ini");
    ASSERT_TRUE(plain.set("Network", "HostName Expansion Prefix", "www"));
    EXPECT_EQ(plain.bytes(), lf + "\nHostName Expansion Prefix=www");
    ASSERT_TRUE(plain.set("User Prefs", "Title", "Mein Browser"));
    EXPECT_EQ(plain.bytes(),
              lf + "\nHostName Expansion Prefix=www\n\n[User Prefs]\nTitle=Mein Browser\n");
}

TEST(OperaIniFile, RepeatedKeysQuotesAndKeysWithoutValues) {
    OperaIniFile doc =
        OperaIniFile::parse(test::readFile(kData + "prefs-crlf.ini"), "prefs-crlf.ini");
    // The later assignment counts; quotes keep blanks; a key without "=" is empty.
    EXPECT_EQ(doc.get("user prefs", "TITLE"), "  Zweiter  ");
    EXPECT_EQ(doc.get("User Prefs", "Source Viewer"), "");
    EXPECT_FALSE(doc.get("User Prefs", "Missing").has_value());
    EXPECT_FALSE(doc.get("", "Opera Preferences version 2.1").has_value());
    // A write reaches every copy, so no reader can see the old value.
    ASSERT_TRUE(doc.set("User Prefs", "Title", "Neu"));
    const std::string out = doc.bytes();
    EXPECT_EQ(out.find("Erster"), std::string::npos);
    EXPECT_EQ(out.find("Zweiter"), std::string::npos);
    EXPECT_NE(out.find("\r\nTitle=Neu\r\nSpeed Dial State=1\r\n"), std::string::npos);
    // A key without "=" gets one.
    ASSERT_TRUE(doc.set("User Prefs", "Source Viewer", "C:\\Programme\\Editor\\edit.exe"));
    EXPECT_NE(doc.bytes().find("\r\nSource Viewer=C:\\Programme\\Editor\\edit.exe\r\n"),
              std::string::npos);
    // Values that would lose blanks or quotes are quoted, and read back as they were.
    for (const std::string v : {" a", "b ", "\"c\"", "d e"}) {
        ASSERT_TRUE(doc.set("User Prefs", "Title", v));
        EXPECT_EQ(OperaIniFile::parse(doc.bytes(), "x").get("User Prefs", "Title"), v);
    }
}

TEST(OperaIniFile, MalformedFilesAreNamedWithTheirLine) {
    struct Case {
        std::string bytes;
        std::string message;
    };
    const Case cases[] = {
        {test::readFile(kData + "broken-section.ini"), "x.ini: Zeile 5: "},
        {std::string("\xFF\xFE"
                     "O\0p\0",
                     6),
         "x.ini: Zeile 1: UTF-16"},
        {std::string("Opera Preferences version 2.1\n[A]\nk=v\0w\n", 41),
         "x.ini: Zeile 3: Nullbyte"},
    };
    for (const auto& c : cases) {
        try {
            OperaIniFile::parse(c.bytes, "x.ini");
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const OperaFileError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
        }
    }
    // Empty input is an empty file, not an error; a new one starts as Opera starts it.
    EXPECT_EQ(OperaIniFile::parse("", "x").bytes(), "");
    OperaIniFile fresh;
    fresh.set("Size", "Rows", "4");
    EXPECT_EQ(fresh.bytes(),
              "\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[Size]\r\nRows=4\r\n");
}

TEST(OperaIniFile, Versions) {
    EXPECT_EQ(ParseOperaVersion("9.64"), 964);
    EXPECT_EQ(ParseOperaVersion("964"), 964);
    EXPECT_EQ(ParseOperaVersion("10.63.3516"), 1063);
    EXPECT_EQ(ParseOperaVersion("9.5"), 950);
    EXPECT_EQ(ParseOperaVersion("12.16.1860"), 1216);
    EXPECT_EQ(ParseOperaVersion(""), 0);
    EXPECT_EQ(ParseOperaVersion("Opera"), 0);
}

// ---- The library on sample machines ----

namespace {

class OperaLibrary : public ::testing::Test {
  protected:
    void open(const std::string& templ,
              app::MachineSession::Mode mode = app::MachineSession::Mode::Write) {
        session.reset();
        if (!dir) {
            dir = std::make_unique<test::TempDir>();
            test::createSampleMachine(dir->path(), templ);
        }
        session = std::make_unique<app::MachineSession>(dir->path(), mode);
        opera = std::make_unique<TNXOpera>();
        opera->Init();
    }
    std::string host(const std::string& windowsPath) {
        return session->machine().files().hostPath(windowsPath);
    }
    void TearDown() override {
        opera.reset();
        session.reset();
        ClearDryRunFiles();
    }
    std::unique_ptr<test::TempDir> dir;
    std::unique_ptr<app::MachineSession> session;
    std::unique_ptr<TNXOpera> opera;
};

const std::string kXpPrefs = "C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\opera6.ini";
const std::string kW7Dir = "C:\\users\\anna\\AppData\\Roaming\\Opera\\Opera\\";

} // namespace

TEST_F(OperaLibrary, FindsInstallationProfileAndVersion) {
    struct Expect {
        const char* templ;
        bool installed;
        const char* installDir;
        const char* prefs;
        int version;
        bool speedDial;
    };
    const Expect cases[] = {
        {"winxp", true, "C:\\Programme\\Opera\\", kXpPrefs.c_str(), 964, true},
        {"win7", true, "C:\\Program Files (x86)\\Opera\\",
         "C:\\users\\anna\\AppData\\Roaming\\Opera\\Opera\\operaprefs.ini", 1063, true},
        {"win2000", true, "C:\\Programme\\Opera\\", "", 0, false},
        {"win98", false, "", "", 0, false},
    };
    for (const auto& c : cases) {
        dir.reset();
        open(c.templ);
        SCOPED_TRACE(c.templ);
        EXPECT_EQ(opera->GetIsInstalled(), c.installed);
        EXPECT_EQ(opera->GetInstallDir(), c.installDir);
        EXPECT_EQ(opera->Prefs().GetPreferencesFileName(), c.prefs);
        EXPECT_EQ(opera->GetVersion(), c.version);
        EXPECT_EQ(opera->GetSpeedDial() != nullptr, c.speedDial);
        EXPECT_EQ(opera->Errors(), "");
    }
}

TEST_F(OperaLibrary, EachSetterChangesOneLineJournalledAndUndoable) {
    open("winxp");
    const std::string path = host(kXpPrefs);
    const std::string before = test::readFile(path);
    TNXOpera_NetworkPrefs& net = opera->NetworkPrefs();
    TNXOpera_UserPrefs& user = opera->UserPrefs();
    EXPECT_TRUE(net.GetEnableHostNameExpansion());
    EXPECT_EQ(net.GetHostNameExpansionPostfix(), "de,com,org");
    EXPECT_EQ(user.GetSourceViewerMode(), 3);
    EXPECT_TRUE(user.GetSpeedDialState());
    EXPECT_EQ(user.GetTitle(), "Opera"); // not in the file: the default
    EXPECT_EQ(user.GetHistoryNavigationMode(), 1);

    JournalSetContext("opera", "test");
    net.SetHostNameExpansionPostfix("de,at,ch");
    EXPECT_EQ(test::readFile(path), replaceLine(before, "HostName Expansion Postfix=",
                                                "HostName Expansion Postfix=de,at,ch"));
    EXPECT_EQ(net.GetHostNameExpansionPostfix(), "de,at,ch");

    // Each pair reads back what it wrote.
    net.SetEnableHostNameExpansion(false);
    net.SetHostNameExpansionPrefix("web");
    user.SetTitle("Grüße – Opera");
    user.SetSourceViewer("C:\\Programme\\Editor\\edit.exe");
    user.SetSourceViewerMode(2);
    user.SetHistoryNavigationMode(3);
    user.SetSpeedDialState(false);
    user.SetSearchType("12");
    user.SetSpeedDialSearchType("FEAF2EF45FCC11DD8287529456D89593");
    user.SetApplicationIcon("C:\\Icons\\opera.ico");
    TNXOpera fresh;
    fresh.Init();
    EXPECT_FALSE(fresh.NetworkPrefs().GetEnableHostNameExpansion());
    EXPECT_EQ(fresh.NetworkPrefs().GetHostNameExpansionPrefix(), "web");
    EXPECT_EQ(fresh.UserPrefs().GetTitle(), "Grüße – Opera");
    EXPECT_EQ(fresh.UserPrefs().GetSourceViewer(), "C:\\Programme\\Editor\\edit.exe");
    EXPECT_EQ(fresh.UserPrefs().GetSourceViewerMode(), 2);
    EXPECT_EQ(fresh.UserPrefs().GetHistoryNavigationMode(), 3);
    EXPECT_FALSE(fresh.UserPrefs().GetSpeedDialState());
    EXPECT_EQ(fresh.UserPrefs().GetSearchType(), "12");
    EXPECT_EQ(fresh.UserPrefs().GetSpeedDialSearchType(), "FEAF2EF45FCC11DD8287529456D89593");
    EXPECT_EQ(fresh.UserPrefs().GetApplicationIcon(), "C:\\Icons\\opera.ico");
    EXPECT_NE(test::readFile(path).find("Grüße – Opera"), std::string::npos) << "UTF-8 bytes";

    // Every write is in the journal; undoing them all puts the file back byte for byte.
    journal::Journal* j = session->journal();
    auto list = j->list();
    ASSERT_GE(list.size(), 10u);
    for (const auto& t : list)
        if (t.kind == "change") j->undo(t.id, session->registry());
    EXPECT_EQ(test::readFile(path), before);
    // The library reads the file again after the undo.
    EXPECT_EQ(net.GetHostNameExpansionPostfix(), "de,com,org");
}

TEST_F(OperaLibrary, NineXSectionNamesAreReadAndWrittenWhereTheyAre) {
    open("winxp");
    const std::string path = host(kXpPrefs);
    test::copyFile(kData + "prefs-crlf.ini", path);
    const std::string before = test::readFile(path);
    EXPECT_EQ(opera->NetworkPrefs().GetHostNameExpansionPrefix(), "web");
    opera->NetworkPrefs().SetHostNameExpansionPrefix("www");
    EXPECT_EQ(test::readFile(path),
              replaceLine(before, "HostName Expansion Prefix=", "HostName Expansion Prefix=www"));
    // A key found in neither goes to [Network].
    opera->NetworkPrefs().SetEnableHostNameExpansion(false);
    EXPECT_NE(test::readFile(path).find("[Network]\r\nEnable HostName Expansion=0\r\n"),
              std::string::npos);
}

TEST_F(OperaLibrary, InstallationDefaultsAndFixedPreferences) {
    open("win7");
    const std::string prefs = host(kW7Dir + "operaprefs.ini");
    const std::string before = test::readFile(prefs);
    // The installation's default supplies what the user's file lacks.
    EXPECT_EQ(opera->NetworkPrefs().GetHostNameExpansionPostfixDefault(), "de,com,org");
    EXPECT_EQ(opera->NetworkPrefs().GetHostNameExpansionPrefixDefault(), "www");
    EXPECT_EQ(opera->NetworkPrefs().GetHostNameExpansionPostfix(), "de,com"); // the user's own

    test::writeFile(host("C:\\Program Files (x86)\\Opera\\operaprefs_fixed.ini"),
                    "Opera Preferences version 2.1\r\n\r\n[User Prefs]\r\nTitle=Firmenbrowser\r\n");
    EXPECT_EQ(opera->UserPrefs().GetTitle(), "Firmenbrowser");
    EXPECT_TRUE(opera->Prefs().IsFixed("User Prefs", "Title"));
    EXPECT_NE(opera->Prefs().FixedReason("User Prefs", "Title").find("operaprefs_fixed.ini"),
              std::string::npos);
    EXPECT_THROW(opera->UserPrefs().SetTitle("Privat"), OperaFileError);
    EXPECT_EQ(test::readFile(prefs), before);
    EXPECT_TRUE(session->journal()->list().empty());

    // 9.x keeps its fixed file in the system folder, its defaults in operadef6.ini.
    dir.reset();
    open("winxp");
    test::writeFile(host("C:\\windows\\system32\\opera6.ini"),
                    "Opera Preferences version 2.1\n[User Prefs]\nSpeed Dial State=0\n");
    test::writeFile(host("C:\\Programme\\Opera\\operadef6.ini"),
                    "Opera Preferences version 2.1\n[User Prefs]\nHistory Navigation Mode=2\n");
    opera->Init();
    EXPECT_FALSE(opera->UserPrefs().GetSpeedDialState());
    EXPECT_TRUE(opera->Prefs().IsFixed("User Prefs", "Speed Dial State"));
    EXPECT_EQ(opera->UserPrefs().GetHistoryNavigationMode(), 2);
    EXPECT_FALSE(opera->Prefs().IsFixed("User Prefs", "History Navigation Mode"));
}

TEST_F(OperaLibrary, MalformedOrMissingFilesGiveDefaultsAndRefuseWrites) {
    open("winxp");
    const std::string path = host(kXpPrefs);
    test::copyFile(kData + "broken-section.ini", path);
    const std::string before = test::readFile(path);
    EXPECT_EQ(opera->UserPrefs().GetTitle(), "Opera");
    EXPECT_NE(opera->Errors().find("opera6.ini: Zeile 5"), std::string::npos) << opera->Errors();
    try {
        opera->UserPrefs().SetTitle("X");
        ADD_FAILURE() << "written into a malformed file";
    } catch (const OperaFileError& e) {
        EXPECT_NE(std::string(e.what()).find("Zeile 5"), std::string::npos);
    }
    EXPECT_EQ(test::readFile(path), before);

    // Repaired on disk: read again without a new Init.
    test::writeFile(path, "Opera Preferences version 2.1\n[User Prefs]\nTitle=Heil\n");
    EXPECT_EQ(opera->UserPrefs().GetTitle(), "Heil");
    EXPECT_EQ(opera->Errors(), "");

    // speeddial.ini missing: defaults, and the first write creates it as Opera would.
    const std::string dial =
        host("C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\speeddial.ini");
    std::filesystem::remove(dial);
    ASSERT_NE(opera->GetSpeedDial(), nullptr);
    EXPECT_EQ(opera->GetSpeedDial()->GetColumns(), 3);
    opera->GetSpeedDial()->SetRows(4);
    EXPECT_EQ(test::readFile(dial),
              "\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[Size]\r\nRows=4\r\n");
    test::writeFile(dial, "");
    opera->GetSpeedDial()->SetRows(5);
    EXPECT_EQ(test::readFile(dial),
              "\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[Size]\r\nRows=5\r\n");
    // Out-of-range and non-numeric sizes.
    test::copyFile(kData + "speeddial-odd.ini", dial);
    EXPECT_EQ(opera->GetSpeedDial()->GetRows(), 3);
    EXPECT_EQ(opera->GetSpeedDial()->GetColumns(), 50);
    opera->GetSpeedDial()->SetColumns(0);
    EXPECT_EQ(opera->GetSpeedDial()->GetColumns(), 1);
}

TEST_F(OperaLibrary, SearchListFromSearchIni) {
    open("winxp");
    test::copyFile(kData + "search.ini",
                   host("C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\search.ini"));
    TNXOpera_Search& search = opera->Search();
    search.Load();
    TNXOpera_Search_List& list = search.List();
    ASSERT_EQ(list.Count(), 4); // the repeated UNIQUEID counts once
    EXPECT_EQ(list.Get(0).Name, "Alte Suche");
    EXPECT_EQ(list.Get(0).ID, 12);
    EXPECT_EQ(list.Get(0).Identifier(), "12");
    EXPECT_TRUE(list.Get(1).Hidden);
    EXPECT_EQ(list.Get(1).Identifier(), "7A8CADE6677811DDBA4B5E9D55D89593");
    EXPECT_EQ(list.Get(2).Name, "Lexikon"); // the later entry of the same engine
    EXPECT_EQ(list.Get(3).Name, "Rock & Pop");
    EXPECT_EQ(list.IndexOfID("12"), 0);
    EXPECT_EQ(list.IndexOfID("0D1E2F30415263748596A7B8C9DAEBFC"), 3);
    EXPECT_EQ(list.IndexOfID("99"), -1);
    EXPECT_EQ(list.IndexOfID(""), -1);

    // Every real search.ini gives engines with identifiers and names.
    for (const auto& f : corpusFiles("opera")) {
        if (f.find("search.ini") == std::string::npos) continue;
        test::copyFile(f,
                       host("C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\search.ini"));
        search.Load();
        EXPECT_GT(search.List().Count(), 0) << f;
        EXPECT_EQ(search.Errors(), "") << f;
        for (int i = 0; i < search.List().Count(); ++i) {
            EXPECT_FALSE(search.List().Get(i).Name.empty()) << f;
            EXPECT_EQ(search.List().IndexOfID(search.List().Get(i).Identifier()), i) << f;
        }
    }
}

TEST_F(OperaLibrary, SpeedDialOnRealFiles) {
    open("winxp");
    const std::string dial =
        host("C:\\users\\anna\\Anwendungsdaten\\Opera\\Opera\\profile\\speeddial.ini");
    for (const auto& f : corpusFiles("opera")) {
        if (f.find("speeddial.ini") == std::string::npos) continue;
        test::copyFile(f, dial);
        const std::string before = test::readFile(dial);
        TNXOpera_SpeedDial& sd = *opera->GetSpeedDial();
        const int rows = sd.GetRows();
        sd.SetColumns(7);
        EXPECT_EQ(sd.GetColumns(), 7) << f;
        EXPECT_EQ(sd.GetRows(), rows) << f;
        const std::string after = test::readFile(dial);
        // Only the [Size] section grew or changed; everything before it is as it was.
        const auto size = before.find("[Size]");
        const auto cut = size == std::string::npos ? before.size() : size;
        EXPECT_EQ(after.substr(0, cut), before.substr(0, cut)) << f;
    }
}

TEST_F(OperaLibrary, DryRunWritesNothingAndReportsTheLine) {
    dir = std::make_unique<test::TempDir>();
    test::createSampleMachine(dir->path(), "winxp");
    open("winxp", app::MachineSession::Mode::DryRun);
    const std::string path = host(kXpPrefs);
    const std::string before = test::readFile(path);
    opera->UserPrefs().SetHistoryNavigationMode(2);
    opera->UserPrefs().SetHistoryNavigationMode(3);
    EXPECT_EQ(test::readFile(path), before);
    EXPECT_EQ(opera->UserPrefs().GetHistoryNavigationMode(), 3) << "the run sees its own change";
    ASSERT_EQ(DryRunFiles().size(), 1u);
    const auto& f = DryRunFiles().front();
    EXPECT_EQ(f.path, path);
    EXPECT_EQ(f.original, before);
    const std::string diff = UnifiedDiff(f.path, f.original, f.current);
    EXPECT_NE(diff.find("+History Navigation Mode=3"), std::string::npos) << diff;
    EXPECT_EQ(diff.find("=2"), std::string::npos) << diff;
}
