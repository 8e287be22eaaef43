// The interface in the language asked for: the catalogue against the sources, the command
// line's --lang and locale, forms loaded in the language shown, scripts in either language.
#include "host/Nxxmlscanner.h"
#include "host/machine/ProfileFile.h"
#include "host/text/Translate.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Driver.h"
#include "toolkit/FormLoader.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

using namespace ravelin;
using namespace ravelin::toolkit;

namespace {

const std::string kSource = RAVELIN_SOURCE_DIR;

bool haveGettext() {
    return test::runProgram("/bin/sh", {"-c", "command -v msgen && command -v msgfmt"}) == 0;
}

int msgfmt(const std::string& po, const std::string& mo) {
    return test::runProgram("/bin/sh", {"-c", "msgfmt -o \"$1\" \"$0\"", po, mo});
}

// The placeholders and the shortcut marks of a text: a translation must keep both.
std::multiset<std::string> placeholders(const std::string& s) {
    std::multiset<std::string> out;
    for (std::size_t i = 0; i + 1 < s.size(); ++i)
        if (s[i] == '%' && s[i + 1] >= '1' && s[i + 1] <= '9') out.insert(s.substr(i, 2));
    return out;
}
int shortcuts(const std::string& s) {
    int n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') continue;
        if (i + 1 < s.size() && s[i + 1] == '&')
            ++i;
        else
            ++n;
    }
    return n;
}

// Runs deskforge with the locale the test names and no other.
int deskforge(const std::vector<std::string>& args, std::string& out,
              const std::string& lang = "C.UTF-8") {
    return test::runProgram(RAVELIN_DESKFORGE, args, &out,
                            {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", lang}});
}

} // namespace

TEST(Catalogue, EveryGermanTextHasItsEnglishAndEveryEnglishItsGerman) {
    if (!haveGettext()) RAVELIN_SKIP_WITHOUT_TOOL("msgen and msgfmt (gettext) are not installed");
    // The template's texts, as a catalogue that maps each to itself.
    test::TempDir dir;
    const std::string german = dir.file("de.mo");
    ASSERT_EQ(test::runProgram("/bin/sh", {"-c", "msgen \"$0\" | msgfmt -o \"$1\" -",
                                           kSource + "/po/de.pot", german}),
              0);
    // The English catalogue as the build compiles it: fuzzy and empty entries are missing.
    const std::string english = dir.file("en.mo");
    ASSERT_EQ(msgfmt(kSource + "/po/en.po", english), 0);
    const text::Catalogue de = text::Catalogue::Load(german);
    const text::Catalogue en = text::Catalogue::Load(english);
    ASSERT_GT(de.Size(), 300u) << "the forms alone have more texts";

    std::string missing, orphaned, different;
    for (const std::string& key : de.Keys())
        if (!en.Find(key)) missing += "\n  " + key;
    for (const std::string& key : en.Keys()) {
        if (!de.Find(key)) {
            orphaned += "\n  " + key;
            continue;
        }
        const std::string& shown = *en.Find(key);
        if (placeholders(shown) != placeholders(key) || shortcuts(shown) != shortcuts(key))
            different += "\n  \"" + key + "\" -> \"" + shown + "\"";
    }
    EXPECT_EQ(missing, "") << "German texts without English (po/en.po; fold po/fragments "
                              "with scripts/update-catalogue):";
    EXPECT_EQ(orphaned, "") << "English entries whose German text is gone:";
    EXPECT_EQ(different, "") << "translations that lose a %N value or a shortcut's &:";
}

TEST(Catalogue, TheTemplateIsWhatTheSourcesGive) {
    if (!haveGettext()) RAVELIN_SKIP_WITHOUT_TOOL("xgettext (gettext) is not installed");
    std::string out;
    EXPECT_EQ(test::runProgram(kSource + "/scripts/update-catalogue", {"--check", kSource}, &out),
              0)
        << out;
}

TEST(Catalogue, ShowAndFindSpeakTheLanguageAsked) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    const std::vector<std::string> machine = {"--machine", dir.path()};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), machine.begin(), machine.end());
        return args;
    };
    std::string out;
    ASSERT_EQ(deskforge(with({"--lang", "en", "show", "tcpip"}), out), 0) << out;
    EXPECT_NE(out.find("TCP/IP Options"), std::string::npos) << out;
    EXPECT_NE(out.find("Packet size (MTU)"), std::string::npos) << out;
    EXPECT_EQ(out.find("Paketgröße"), std::string::npos) << out;
    const std::string english = out;

    ASSERT_EQ(deskforge(with({"--lang", "en", "show", "tcpip", "--json"}), out), 0) << out;
    EXPECT_NE(out.find("\"Packet size (MTU)\""), std::string::npos) << out;

    // The locale decides where --lang does not; --lang wins over it; German is the default.
    ASSERT_EQ(deskforge(with({"show", "tcpip"}), out, "en_US.UTF-8"), 0) << out;
    EXPECT_EQ(out, english);
    ASSERT_EQ(deskforge(with({"--lang", "de", "show", "tcpip"}), out, "en_US.UTF-8"), 0) << out;
    EXPECT_NE(out.find("Paketgröße (MTU)"), std::string::npos) << out;
    const std::string german = out;
    for (const char* lang : {"fr_FR.UTF-8", "C.UTF-8", "de_AT"}) {
        ASSERT_EQ(deskforge(with({"show", "tcpip"}), out, lang), 0) << out;
        EXPECT_EQ(out, german) << lang;
    }
    EXPECT_NE(deskforge(with({"--lang", "fr", "show", "tcpip"}), out), 0);
    EXPECT_NE(out.find("--lang"), std::string::npos) << out;
    // A damaged catalogue stops the program naming the file; a missing one leaves German.
    test::TempDir locale;
    std::filesystem::create_directories(locale.path() + "/en/LC_MESSAGES");
    test::writeFile(locale.path() + "/en/LC_MESSAGES/deskforge.mo", "not a catalogue");
    EXPECT_EQ(test::runProgram(RAVELIN_DESKFORGE, with({"--lang", "en", "show", "tcpip"}), &out,
                               {{"DESKFORGE_LOCALE", locale.path()}}),
              1);
    EXPECT_EQ(out, "ERROR: " + locale.path() +
                       "/en/LC_MESSAGES/deskforge.mo: too short to be a message catalogue\n");
    EXPECT_EQ(test::runProgram(RAVELIN_DESKFORGE, with({"--lang", "en", "show", "tcpip"}), &out,
                               {{"DESKFORGE_LOCALE", locale.path() + "/none"}}),
              0);
    EXPECT_EQ(out.rfind("WARNING: no catalogue " + locale.path() + "/none/en/LC_MESSAGES/", 0), 0u)
        << out;
    EXPECT_NE(out.find("Paketgröße (MTU)"), std::string::npos) << out;

    // find searches what is shown: the English caption in English only.
    ASSERT_EQ(deskforge(with({"--lang", "en", "find", "packet size"}), out), 0) << out;
    EXPECT_NE(out.find("tcpip\tPacket size (MTU)\tlblMTU1\tPacket size (MTU):"), std::string::npos)
        << out;
    EXPECT_NE(deskforge(with({"--lang", "en", "find", "Paketgröße"}), out), 0) << out;
    ASSERT_EQ(deskforge(with({"--lang", "de", "find", "Paketgröße"}), out), 0) << out;
    ASSERT_EQ(deskforge(with({"--lang", "en", "pages"}), out), 0) << out;
    EXPECT_NE(out.find("internet|Ravelin.bpl\tNetwork\tavailable"), std::string::npos) << out;

    // The page reads the data folder of the language shown.
    ASSERT_EQ(deskforge(with({"--lang", "en", "show", "explorer"}), out), 0) << out;
    EXPECT_NE(out.find("Wikipedia (English)"), std::string::npos) << out;
    ASSERT_EQ(deskforge(with({"show", "explorer"}), out), 0) << out;
    EXPECT_NE(out.find("Wikipedia (Deutsch)"), std::string::npos) << out;
}

TEST(Catalogue, TheEnglishDataFolderDescribesWhatTheGermanOneDoes) {
    namespace fs = std::filesystem;
    const fs::path de = kSource + "/share/de", en = kSource + "/share/en";
    // Every file of words has its English; pictures may fall back to the German ones.
    for (const auto& entry : fs::recursive_directory_iterator(de)) {
        const fs::path relative = fs::relative(entry.path(), de);
        const std::string ext = relative.extension().string();
        if (ext == ".ini" || ext == ".xml")
            EXPECT_TRUE(fs::is_regular_file(en / relative)) << relative;
    }
    // The same extensions with the same scripts and places; only the words differ.
    machine::ProfileFile german, english;
    ASSERT_TRUE(machine::ProfileFile::load((de / "iecontextmenu.ini").string(), german));
    ASSERT_TRUE(machine::ProfileFile::load((en / "iecontextmenu.ini").string(), english));
    ASSERT_EQ(english.sections(), german.sections());
    for (const std::string& section : german.sections()) {
        EXPECT_EQ(english.keys(section), german.keys(section)) << section;
        for (const char* key : {"File", "File2", "Contexts"})
            EXPECT_EQ(english.get(section, key, ""), german.get(section, key, ""))
                << section << " " << key;
        EXPECT_NE(english.get(section, "FriendlyName", ""), german.get(section, "FriendlyName", ""))
            << section;
    }
    // The search providers: well-formed, the entry the reset looks for first, an address
    // with the search terms for each.
    TXmlScanner scanner;
    ASSERT_TRUE(scanner.LoadFromFile((en / "NXSearchscopes.xml").string()));
    std::string element;
    std::vector<std::string> names, urls;
    scanner.OnStartTag = [&](const std::string& t, const TXmlAttributes& a) {
        element = t;
        if (t == "scope") names.push_back(a.Value("name"));
    };
    scanner.OnContent = [&](const std::string& t) {
        if (element == "URL") urls.push_back(t);
    };
    scanner.OnEndTag = [&](const std::string&) { element.clear(); };
    scanner.Execute();
    ASSERT_GE(names.size(), 8u);
    EXPECT_EQ(names.front(), "Live Search");
    for (const auto& url : urls)
        EXPECT_NE(url.find("{searchTerms}"), std::string::npos) << url;
}

namespace {

const char* kForm = R"({"type": "TForm", "name": "frmColours", "caption": "Farben",
  "children": [
    {"type": "TLabel", "name": "lblColour", "caption": "&Farbe:", "hint": "Die Farbe"},
    {"type": "TComboBox", "name": "cbColour", "style": "csDropDownList", "sorted": true,
     "items": ["Rot", "Grün", "Blau"]},
    {"type": "TListView", "name": "lvColours", "checkboxes": true,
     "columns": [{"caption": "Farbe", "width": 80}, "Wert"]},
    {"type": "TBigCheckListBox", "name": "clColours", "items": ["Rot", "Ohne Übersetzung"]},
    {"type": "TPopupMenu", "name": "pmColours",
     "children": [{"type": "TMenuItem", "name": "miRed", "caption": "Rot"},
                  {"type": "TMenuItem", "name": "miLine", "caption": "-"}]}
  ]})";

text::Catalogue colours() {
    test::TempDir dir;
    const std::string po = dir.file("en.po"), mo = dir.file("en.mo");
    test::writeFile(po, "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
                        "msgid \"Farben\"\nmsgstr \"Colours\"\n"
                        "msgid \"&Farbe:\"\nmsgstr \"&Colour:\"\n"
                        "msgid \"Die Farbe\"\nmsgstr \"The colour\"\n"
                        "msgid \"Farbe\"\nmsgstr \"Colour\"\n"
                        "msgid \"Wert\"\nmsgstr \"Value\"\n"
                        "msgid \"Rot\"\nmsgstr \"Red\"\n"
                        "msgid \"Grün\"\nmsgstr \"Green\"\n"
                        "msgid \"Blau\"\nmsgstr \"Blue\"\n");
    if (msgfmt(po, mo) != 0) return {};
    return text::Catalogue::Load(mo);
}

struct English {
    English() { text::UseCatalogue("en", colours()); }
    ~English() { text::UseCatalogue("de", text::Catalogue()); }
};

} // namespace

TEST(Catalogue, FormsLoadInTheLanguageShownAndScriptsWorkInBoth) {
    if (!haveGettext()) RAVELIN_SKIP_WITHOUT_TOOL("msgfmt (gettext) is not installed");
    const English english;
    TForm form(nullptr);
    LoadForm(form, kForm, "colours.json", Handlers());
    EXPECT_EQ(form.Caption, "Colours");
    auto& label = dynamic_cast<TLabel&>(*form.FindComponent("lblColour"));
    EXPECT_EQ(label.Caption, "&Colour:");
    EXPECT_EQ(label.Hint, "The colour");
    auto& cb = dynamic_cast<TComboBox&>(*form.FindComponent("cbColour"));
    ASSERT_EQ(cb.Items.size(), 3u);
    // Sorted as shown, not as the German source.
    EXPECT_EQ(cb.Items[0].text, "Blue");
    EXPECT_EQ(cb.Items[1].text, "Green");
    auto& lv = dynamic_cast<TListView&>(*form.FindComponent("lvColours"));
    EXPECT_EQ(lv.Columns[0].Caption, "Colour");
    EXPECT_EQ(lv.Columns[1].Caption, "Value");
    auto& cl = dynamic_cast<TBigCheckListBox&>(*form.FindComponent("clColours"));
    EXPECT_EQ(cl.Items, (std::vector<std::string>{"Red", "Ohne Übersetzung"}));
    EXPECT_EQ(dynamic_cast<TMenuItem&>(*form.FindComponent("miRed")).Caption, "Red");
    EXPECT_EQ(dynamic_cast<TMenuItem&>(*form.FindComponent("miLine")).Caption, "-");

    // A script names items as shown or as the German interface shows them.
    form.Show();
    UserDriver driver(form);
    std::ostringstream out;
    ScriptedDialogs dialogs(&out);
    ScriptRunner runner(driver, dialogs, out);
    runner.Load("select cbColour \"Grün\"\n"
                "expect cbColour text \"Green\"\n"
                "expect cbColour text \"Grün\"\n"
                "select cbColour \"blue\"\n"
                "expect cbColour itemindex \"0\"\n"
                "expect lblColour caption \"&Farbe:\"\n"
                "tick clColours \"Rot\" on\n"
                "expect clColours \"Red\" checked \"true\"\n"
                "expect cbColour \"Rot\" index \"2\"\n"
                "expect cbColour items \"Blau|Green|Rot\"\n");
    EXPECT_NO_THROW(runner.Run()) << out.str();
    for (const char* wrong :
         {"select cbColour \"Gelb\"\n", "expect cbColour text \"Rot\"\n",
          "expect lblColour caption \"Farbe\"\n", "expect cbColour items \"Blau|Grün\"\n"}) {
        runner.Load(wrong);
        EXPECT_THROW(runner.Run(), DriverError) << wrong;
    }
}

TEST(Catalogue, FormsStayGermanWithoutACatalogue) {
    TForm form(nullptr);
    LoadForm(form, kForm, "colours.json", Handlers());
    EXPECT_EQ(form.Caption, "Farben");
    auto& cb = dynamic_cast<TComboBox&>(*form.FindComponent("cbColour"));
    EXPECT_EQ(cb.Items[0].text, "Blau");
    EXPECT_EQ(cb.Items[1].text, "Grün");
}
