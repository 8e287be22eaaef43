#include "host/text/Translate.h"
#include "host/Nxsystem.h"
#include "tests/TestSupport.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace ravelin;
using namespace ravelin::text;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// A compiled catalogue as msgfmt lays it out: header, the two tables, then the strings, each
// followed by a NUL. Big-endian files come from machines of that byte order.
std::string moFile(const Entries& entries, bool bigEndian = false) {
    std::string out;
    auto word = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>(v >> (bigEndian ? 8 * (3 - i) : 8 * i)));
    };
    const auto n = static_cast<std::uint32_t>(entries.size());
    word(0x950412de);
    word(0);
    word(n);
    word(28);
    word(28 + 8 * n);
    word(0);
    word(28 + 16 * n);
    std::string strings;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> originals, translations;
    const std::uint32_t base = 28 + 16 * n;
    for (const auto& [german, english] : entries) {
        originals.emplace_back(german.size(), base + strings.size());
        strings += german + '\0';
    }
    for (const auto& [german, english] : entries) {
        translations.emplace_back(english.size(), base + strings.size());
        strings += english + '\0';
    }
    for (const auto& [length, offset] : originals) {
        word(length);
        word(offset);
    }
    for (const auto& [length, offset] : translations) {
        word(length);
        word(offset);
    }
    return out + strings;
}

const Entries kEntries = {
    {"", "Content-Type: text/plain; charset=UTF-8\n"},
    {"Abbrechen", "Cancel"},
    {"Größe", "Size"},
    {"Die Datei %1 fehlt in Zeile %2", "Line %2 lacks the file %1"},
    {std::string("Eine Datei\0%1 Dateien", 21), std::string("One file\0%1 files", 17)},
    {"Unübersetzt", ""},
};

// Every test leaves the interface German, as the other suites expect it.
class Language : public ::testing::Test {
  protected:
    void TearDown() override {
        UseCatalogue("de", Catalogue());
        unsetenv("DESKFORGE_LOCALE");
        unsetenv("DESKFORGE_SHARE");
    }
};

} // namespace

TEST(Catalogue, ReadsBothByteOrders) {
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        const Catalogue c = Catalogue::Parse(moFile(kEntries, bigEndian), "en.mo");
        ASSERT_NE(c.Find("Abbrechen"), nullptr);
        EXPECT_EQ(*c.Find("Abbrechen"), "Cancel");
        EXPECT_EQ(*c.Find("Größe"), "Size");
        // A plural entry stands for its singular; the header and an empty translation are
        // no entries at all.
        EXPECT_EQ(*c.Find("Eine Datei"), "One file");
        EXPECT_EQ(c.Find(""), nullptr);
        EXPECT_EQ(c.Find("Unübersetzt"), nullptr);
        EXPECT_EQ(c.Find("abbrechen"), nullptr) << "keys compare exactly";
        EXPECT_EQ(c.Size(), 4u);
    }
}

TEST(Catalogue, ReadsWhatMsgfmtWritesInEitherByteOrder) {
    if (test::runProgram("/bin/sh", {"-c", "command -v msgfmt"}) != 0)
        RAVELIN_SKIP_WITHOUT_TOOL("msgfmt (gettext) is not installed");
    test::TempDir dir;
    test::writeFile(dir.file("en.po"),
                    "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                    "msgid \"Größe\"\nmsgstr \"Size\"\n\n"
                    "#, fuzzy\nmsgid \"Unsicher\"\nmsgstr \"Unsure\"\n\n"
                    "msgid \"Leer\"\nmsgstr \"\"\n");
    for (const char* order : {"little", "big"}) {
        const std::string mo = dir.file(std::string(order) + ".mo");
        ASSERT_EQ(test::runProgram("/bin/sh", {"-c", "msgfmt --endianness=$0 -o \"$1\" \"$2\"",
                                               order, mo, dir.file("en.po")}),
                  0);
        const Catalogue c = Catalogue::Load(mo);
        EXPECT_EQ(c.Keys(), std::vector<std::string>{"Größe"}) << order;
        ASSERT_NE(c.Find("Größe"), nullptr);
        EXPECT_EQ(*c.Find("Größe"), "Size");
    }
}

TEST(Catalogue, RefusesADamagedFileNamingIt) {
    const std::string good = moFile(kEntries);
    auto patched = [&](std::size_t at, std::uint32_t v) {
        std::string s = good;
        for (int i = 0; i < 4; ++i)
            s[at + i] = static_cast<char>(v >> (8 * i));
        return s;
    };
    const std::size_t firstString = 28 + 16 * kEntries.size();
    std::string unterminated = good;
    unterminated[firstString + kEntries[0].first.size()] = 'x'; // the header's own NUL
    const std::pair<std::string, std::string> cases[] = {
        {"", "too short to be a message catalogue"},
        {good.substr(0, 19), "too short to be a message catalogue"},
        {patched(0, 0x12345678), "not a message catalogue (wrong magic number)"},
        {patched(4, 0x20000), "unknown catalogue revision 2"},
        {patched(8, 0x40000000), "its tables of 1073741824 entries run past the end of the file"},
        {patched(16, 0xFFFFFFF0), "its tables of 6 entries run past the end of the file"},
        {patched(28 + 8, 0x7FFFFFFF), "the German text of entry 1 lies outside the file"},
        {patched(28 + 4, 0xFFFFFFFF), "the German text of entry 0 lies outside the file"},
        {unterminated, "the German text of entry 0 is not terminated"},
        {moFile({{"", "Content-Type: text/plain; charset=ISO-8859-1\n"}, {"a", "b"}}),
         "the texts are in ISO-8859-1, not UTF-8"},
        {good.substr(0, good.size() - 1), "the translated text of entry 5 lies outside the file"},
    };
    for (const auto& [bytes, why] : cases) {
        try {
            Catalogue::Parse(bytes, "/x/en.mo");
            ADD_FAILURE() << "accepted, expected: " << why;
        } catch (const CatalogueError& e) {
            EXPECT_EQ(std::string(e.what()), "/x/en.mo: " + why);
        }
    }
    test::TempDir dir;
    EXPECT_THROW(
        {
            try {
                Catalogue::Load(dir.file("missing.mo"));
            } catch (const CatalogueError& e) {
                EXPECT_EQ(std::string(e.what()), dir.file("missing.mo") + ": cannot be read");
                throw;
            }
        },
        CatalogueError);
}

TEST_F(Language, TheBuiltCatalogueTranslatesAndUnknownLanguagesStayGerman) {
    SetLanguage("en");
    ASSERT_EQ(CurrentLanguage(), "en") << "no catalogue at " << CatalogueFile("en");
    EXPECT_EQ(tr("Abbrechen"), "Cancel");
    EXPECT_EQ(tr("Ein Text, den kein Katalog kennt"), "Ein Text, den kein Katalog kennt");
    for (const char* unknown : {"xx", "fr", "", "../en", "EN", "en/../en"}) {
        SetLanguage(unknown);
        EXPECT_EQ(CurrentLanguage(), "de") << unknown;
        EXPECT_EQ(tr("Abbrechen"), "Abbrechen") << unknown;
    }
}

TEST_F(Language, ADamagedCatalogueIsRefusedAndGermanStays) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() + "/en/LC_MESSAGES");
    const std::string file = dir.path() + "/en/LC_MESSAGES/deskforge.mo";
    test::writeFile(file, moFile(kEntries).substr(0, 40));
    setenv("DESKFORGE_LOCALE", dir.path().c_str(), 1);
    EXPECT_EQ(CatalogueFile("en"), file);
    try {
        SetLanguage("en");
        ADD_FAILURE() << "a damaged catalogue was accepted";
    } catch (const CatalogueError& e) {
        EXPECT_NE(std::string(e.what()).find(file + ": "), std::string::npos) << e.what();
    }
    EXPECT_EQ(CurrentLanguage(), "de");
    EXPECT_EQ(tr("Abbrechen"), "Abbrechen");
    // A language without a catalogue in that folder is German, not an error.
    SetLanguage("fr");
    EXPECT_EQ(CurrentLanguage(), "de");
}

TEST_F(Language, TheCataloguesLieBesideTheDataFolder) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() + "/share/deskforge");
    setenv("DESKFORGE_SHARE", (dir.path() + "/share/deskforge/").c_str(), 1);
    const std::string built = CatalogueFile("en");
    EXPECT_EQ(built.find(dir.path()), std::string::npos) << "no locale folder there yet";
    std::filesystem::create_directories(dir.path() + "/share/locale");
    EXPECT_EQ(CatalogueFile("en"), dir.path() + "/share/locale/en/LC_MESSAGES/deskforge.mo");
    setenv("DESKFORGE_LOCALE", dir.path().c_str(), 1);
    EXPECT_EQ(CatalogueFile("en"), dir.path() + "/en/LC_MESSAGES/deskforge.mo");
}

TEST_F(Language, ValuesGoWhereTheTranslationPutsThem) {
    EXPECT_EQ(trf("Die Datei %1 fehlt in Zeile %2", "a.ini", "7"),
              "Die Datei a.ini fehlt in Zeile 7");
    UseCatalogue("en", Catalogue::Parse(moFile(kEntries), "en.mo"));
    EXPECT_EQ(trf("Die Datei %1 fehlt in Zeile %2", "a.ini", "7"), "Line 7 lacks the file a.ini");
    // A value that holds a placeholder is not expanded again; an untranslated text keeps its
    // German wording with the values in place.
    EXPECT_EQ(trf("Die Datei %1 fehlt in Zeile %2", "%2", "7"), "Line 7 lacks the file %2");
    EXPECT_EQ(trf("%1 von %2 (100%%)", "3", "4"), "3 von 4 (100%)");
}

TEST_F(Language, TheLocaleNamesTheLanguage) {
    struct Case {
        const char *all, *messages, *lang, *want;
    };
    const Case cases[] = {
        {nullptr, nullptr, "en_US.UTF-8", "en"},       {nullptr, nullptr, "de_DE.UTF-8", "de"},
        {nullptr, nullptr, "C.UTF-8", "de"},           {nullptr, nullptr, nullptr, "de"},
        {"en_GB.UTF-8", nullptr, "de_DE.UTF-8", "en"}, {"C", "en_US.UTF-8", "en_US.UTF-8", "de"},
        {nullptr, "fr_FR", "en_US.UTF-8", "fr"},       {"", "", "en", "en"},
    };
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string saved[3];
    bool had[3];
    for (int i = 0; i < 3; ++i)
        if ((had[i] = std::getenv(names[i]) != nullptr)) saved[i] = std::getenv(names[i]);
    for (const Case& c : cases) {
        const char* values[] = {c.all, c.messages, c.lang};
        for (int i = 0; i < 3; ++i)
            values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
        EXPECT_EQ(LanguageFromLocale(), c.want) << (c.lang ? c.lang : "-");
    }
    for (int i = 0; i < 3; ++i)
        had[i] ? setenv(names[i], saved[i].c_str(), 1) : unsetenv(names[i]);
}

TEST_F(Language, TheLanguageFolderFallsBackToGermanPerFile) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() + "/de/logon");
    std::filesystem::create_directories(dir.path() + "/en");
    for (const char* f : {"/de/list.ini", "/de/logon/xp.png", "/en/list.ini"})
        test::writeFile(dir.path() + f, "x");
    const std::string list = dir.path() + "/[LANG]/list.ini";
    const std::string picture = dir.path() + "/[LANG]/logon/xp.png";
    EXPECT_EQ(NXTranslateFilePath(list), dir.path() + "/de/list.ini");
    UseCatalogue("en", Catalogue());
    EXPECT_EQ(NXTranslateFilePath(list), dir.path() + "/en/list.ini");
    EXPECT_EQ(NXTranslateFilePath(picture), dir.path() + "/de/logon/xp.png");
    // Neither has it: the German name, so that the message names the source folder.
    EXPECT_EQ(NXTranslateFilePath(dir.path() + "/[LANG]/none.xml"), dir.path() + "/de/none.xml");
    EXPECT_EQ(NXTranslateFilePath(dir.path() + "/plain.ini"), dir.path() + "/plain.ini");
}
