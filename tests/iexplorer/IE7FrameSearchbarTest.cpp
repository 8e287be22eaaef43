#include "host/Nxxmlscanner.h"
#include "iexplorer/ufrmIE7FrameSearchbar.h"
#include "iexplorer/ufrmIESearchScope.h"
#include "tests/iexplorer/IE7FrameTestSupport.h"

using namespace ravelin;
using namespace ravelin::iexplorer;

namespace {

const std::string kScopes = "Software\\Microsoft\\Internet Explorer\\SearchScopes";
const std::string kOff = kScopes + "-";
const std::string kLive = "{0633EE93-D776-472f-A0FF-E1416B8B2E3A}";
const std::string kGoogle = "{6A1806CD-94D4-4689-BA73-E35EA1EA9990}";
const std::string kLexikon = "{3F1B6C7A-2D4E-4F8A-9B0C-1D2E3F4A5B6C}";
const std::string kOld = "{9A8B7C6D-5E4F-4A3B-8C2D-1E0F9A8B7C6D}";
const std::string kRestrictions =
    "Software\\Policies\\Microsoft\\Internet Explorer\\InfoDelivery\\Restrictions";

// The XP sample holds: Live Search (the machine's default, the user's default), Google
// under an outdated address, Beispiel-Lexikon, and the switched-off Altes Suchportal.
const std::string kCatalogue = R"(<?xml version="1.0" encoding="UTF-8"?>
<orvex_deskforge>
  <searchscopes>
    <scope name="Live Search">
      <Key>{0633EE93-D776-472f-A0FF-E1416B8B2E3A}</Key>
      <Default>Live Search</Default>
      <DisplayName>@ieframe.dll,-12512</DisplayName>
      <URL>http://search.live.com/results.aspx?q={searchTerms}&amp;src={referrer:source?}</URL>
      <Codepage>65001</Codepage>
    </scope>
    <scope name="Google">
      <DisplayName>Google</DisplayName>
      <URL>https://www.google.de/search?q={searchTerms}</URL>
      <Codepage>65001</Codepage>
      <Previous>
        <URL>http://www.google.de/search?q={searchTerms}&amp;rls=com.microsoft:de:IE-SearchBox&amp;ie=UTF-8&amp;oe=UTF-8&amp;sourceid=ie7</URL>
      </Previous>
    </scope>
    <scope name="Portal Neu">
      <Key>PortalNeu</Key>
      <DisplayName>Portal Neu</DisplayName>
      <URL>https://neu.example.org/?s={searchTerms}</URL>
      <Previous><DisplayName>Altes Suchportal</DisplayName></Previous>
    </scope>
    <scope name="Lexikon">
      <DisplayName>Lexikon</DisplayName>
      <URL>http://lexikon.ravelin-beispiel.de/suche?q={searchTerms}</URL>
    </scope>
    <scope name="Neuling!">
      <DisplayName>Neuling!</DisplayName>
      <URL>https://neuling.example.org/?q={searchTerms}</URL>
      <Codepage>kein</Codepage>
    </scope>
  </searchscopes>
</orvex_deskforge>
)";

const std::string kShow = "tab tsExplorerBars\nprint IE7FrameSearchbar.lvSearchscopes\n";

class IE7FrameSearchbarTest : public test::IE7FrameFixture {};

} // namespace

TEST(IE7XmlScanner, ReportsTagsContentAndTheEndTagThatDoesNotFit) {
    TXmlScanner scanner;
    std::vector<std::string> events;
    scanner.OnStartTag = [&](const std::string& t, const TXmlAttributes& a) {
        events.push_back("<" + t + (a.Count() ? " name=" + a.Value("name") : "") +
                         a.Value("missing") + ">");
    };
    scanner.OnContent = [&](const std::string& t) { events.push_back(t); };
    scanner.OnEndTag = [&](const std::string& t) { events.push_back("</" + t + ">"); };
    scanner.LoadFromBuffer("<a name=\"x &amp; y\"><b>1 &lt; 2</b></a>");
    scanner.Execute();
    EXPECT_EQ(events, (std::vector<std::string>{"<a name=x & y>", "<b>", "1 < 2", "</b>", "</a>"}));

    // The parser refuses a closing tag that does not fit; the reader still hears it, so it
    // can say what it waited for.
    events.clear();
    scanner.LoadFromBuffer("<a>\n<b>x</B>\n</a>");
    EXPECT_THROW(scanner.Execute(), EXmlScannerError);
    EXPECT_EQ(events.back(), "</B>");
    EXPECT_EQ(scanner.CurrentLine(), 2);

    scanner.LoadFromBuffer("<a><b></a>");
    scanner.OnEndTag = [](const std::string&) { throw std::runtime_error("stop"); };
    EXPECT_THROW(scanner.Execute(), std::runtime_error);
    EXPECT_FALSE(scanner.LoadFromFile("/nonexistent/catalogue.xml"));
}

TEST(IE7SearchScopeKeys, StripTheCharactersKeysAvoid) {
    EXPECT_EQ(KeyStripChars("Meine Suche (neu) §1: 50% & mehr!"), "MeineSucheneu150mehr");
    EXPECT_EQ(KeyStripChars("a\"b`c´d;e,f.g-h+i*j#k/l=m?n$o"), "abcdefghijklmno");
    EXPECT_EQ(KeyStripChars("..."), "");
}

TEST_F(IE7FrameSearchbarTest, MergeRenewsOutdatedEntriesAndOffersUnknownOnesUnticked) {
    open("winxp");
    catalogue(kCatalogue);
    SetRegStringValue(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle, "URL",
                      "http://www.google.de/search?q={searchTerms}&rls=com.microsoft:de:"
                      "IE-SearchBox&ie=UTF-8&oe=UTF-8&sourceid=ie7",
                      {});
    const std::size_t base = transactions();
    EXPECT_EQ(run(kShow), "TExListView lvSearchscopes\n"
                          "  [x] Beispiel-Lexikon\n"
                          "  [x] Google\n"
                          "  [x] Live Search (Standard)\n"
                          "  [ ] Neuling!\n"
                          "  [ ] Portal Neu\n");
    // Google keeps the key the user had, with the current address.
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle, "URL"),
              "https://www.google.de/search?q={searchTerms}");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle, "Codepage"), 65001u);
    // The switched-off portal moves to the catalogue's key and stays switched off.
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kOff + "\\" + kOld));
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\PortalNeu"));
    EXPECT_EQ(str(HKEY_CURRENT_USER, kOff + "\\PortalNeu", "URL"),
              "https://neu.example.org/?s={searchTerms}");
    // Providers only the catalogue knows are offered, not written.
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\Neuling"));
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kOff + "\\Neuling"));
    // Bringing entries up to date is no change of the user's.
    EXPECT_EQ(transactions(), base);
    // A second opening finds nothing left to renew.
    EXPECT_EQ(run(kShow).find("Altes"), std::string::npos);
    EXPECT_EQ(transactions(), base);
}

TEST_F(IE7FrameSearchbarTest, MissingEmptyAndMalformedCatalogues) {
    open("winxp");
    const std::string registryOnly = "TExListView lvSearchscopes\n"
                                     "  [ ] Altes Suchportal\n"
                                     "  [x] Beispiel-Lexikon\n"
                                     "  [x] Google\n"
                                     "  [x] Live Search (Standard)\n";
    EXPECT_EQ(run(kShow), registryOnly);
    catalogue("");
    EXPECT_EQ(run(kShow).find("message:"), std::string::npos);
    catalogue("<orvex_deskforge><searchscopes/></orvex_deskforge>");
    EXPECT_EQ(run(kShow), registryOnly);

    // The scope completed before the fault stays; the page opens with a message.
    catalogue("<orvex_deskforge><searchscopes>\n"
              "<scope name=\"Neu\"><URL>https://neu.example.org/?q={searchTerms}</URL></scope>\n"
              "<scope name=\"Kaputt\"><URL>x</url></scope></searchscopes></orvex_deskforge>");
    const std::string out = run(kShow);
    EXPECT_NE(out.find("] TIE7FrameSearchbar.DeleteFromXMLTree: Unexpected closing tag! Waiting "
                       "for: \"URL\" - Current closing: \"url\"\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("NXSearchscopes.xml, Zeile 3]"), std::string::npos) << out;
    EXPECT_NE(out.find("[ ] Neu\n"), std::string::npos);
    EXPECT_EQ(out.find("Kaputt"), std::string::npos);

    // Text outside elements is not well-formed either: a message, never a crash.
    catalogue("<orvex_deskforge></orvex_deskforge><zweite/>");
    EXPECT_NE(run(kShow).find("message: [Suchmaschinen-Katalog"), std::string::npos);
}

TEST_F(IE7FrameSearchbarTest, SwitchRemoveAndDefaultMoveKeysOneTransactionEach) {
    open("winxp");
    catalogue(kCatalogue);
    run("tab tsExplorerBars\n"
        "tick IE7FrameSearchbar.lvSearchscopes \"Beispiel-Lexikon\" off\n"
        "tick IE7FrameSearchbar.lvSearchscopes \"Neuling!\" on\n");
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kLexikon));
    EXPECT_EQ(str(HKEY_CURRENT_USER, kOff + "\\" + kLexikon, "DisplayName"), "Beispiel-Lexikon");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\Neuling", "URL"),
              "https://neuling.example.org/?q={searchTerms}");
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, kScopes + "\\Neuling", "Codepage"));
    EXPECT_EQ(transactions(), 2u);
    undoLast();
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\Neuling"));

    // The default cannot be switched off or removed; choosing another one can.
    std::string out = run("tab tsExplorerBars\n"
                          "tick IE7FrameSearchbar.lvSearchscopes \"Live Search (Standard)\" off\n"
                          "expect IE7FrameSearchbar.lvSearchscopes \"Live Search (Standard)\" "
                          "checked true\n"
                          "select IE7FrameSearchbar.lvSearchscopes \"Live Search (Standard)\"\n"
                          "expect IE7FrameSearchbar.btnIE7SetDefaultSearchscope enabled false\n"
                          "click IE7FrameSearchbar.btnIE7removeSearchscope\n"
                          "select IE7FrameSearchbar.lvSearchscopes \"Beispiel-Lexikon\"\n"
                          "click IE7FrameSearchbar.btnIE7SetDefaultSearchscope\n"
                          "expect IE7FrameSearchbar.lvSearchscopes \"Beispiel-Lexikon (Standard)\" "
                          "checked true\n");
    EXPECT_NE(out.find("[Deaktivieren der Standard-Suchmaschine]"), std::string::npos);
    EXPECT_NE(out.find("[Löschen der Standard-Suchmaschine]"), std::string::npos);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes, "DefaultScope"), kLexikon);
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kLexikon));
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kOff + "\\" + kLexikon));
    EXPECT_EQ(transactions(), 4u); // the undo above counts as one

    // Switching the machine's default off leaves a stub that keeps it off.
    run("tab tsExplorerBars\ntick IE7FrameSearchbar.lvSearchscopes \"Live Search\" off\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kScopes + "\\" + kLive, "Deleted"), 1u);
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, kScopes + "\\" + kLive, "URL"));
    EXPECT_EQ(str(HKEY_CURRENT_USER, kOff + "\\" + kLive, "DisplayName"), "Live Search");
    EXPECT_NE(run(kShow).find("[ ] Live Search\n"), std::string::npos);
    run("tab tsExplorerBars\ntick IE7FrameSearchbar.lvSearchscopes \"Live Search\" on\n");
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, kScopes + "\\" + kLive, "Deleted"));
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kOff + "\\" + kLive));

    // A removed provider keeps its mark and never shows again, not even from the catalogue.
    const std::size_t before = transactions();
    run("tab tsExplorerBars\nselect IE7FrameSearchbar.lvSearchscopes \"Google\"\n"
        "click IE7FrameSearchbar.btnIE7removeSearchscope\n");
    EXPECT_EQ(transactions(), before + 1);
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kOff + "\\" + kGoogle, "DeletedByUser"), 1u);
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle));
    EXPECT_EQ(run(kShow).find("Google"), std::string::npos);
    undoLast();
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle));
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kOff + "\\" + kGoogle));
    EXPECT_NE(run(kShow).find("[x] Google\n"), std::string::npos);
}

TEST_F(IE7FrameSearchbarTest, AddAndEditDialogs) {
    open("winxp");
    catalogue(kCatalogue);
    const std::string open = "tab tsExplorerBars\nclick IE7FrameSearchbar.btnIE7addSearchscope\n";
    // Refusals keep the dialog open; Cancel writes nothing.
    std::string out = run(open + "set edName \"  \"\nset edURL \"x.org/?q={searchTerms}\"\n"
                                 "click btnOK\nexpect edName focused true\n"
                                 "set edName \"Neu\"\nset edURL \" ={searchTerms} \"\n"
                                 "click btnOK\n"
                                 "set edURL \"ab=%7BsearchTerms}\"\nclick btnOK\n"
                                 "click btnCancel\n");
    EXPECT_NE(out.find("[Name ungültig] Sie müssen der Suchmaschine einen Namen geben.\n\n"
                       "Beispiel: \"Meine Suchmaschine\""),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("[Adresse ungültig] Die von Ihnen eingegebene Adresse entspricht keinem "
                       "gültigen Format.\n\nBeispiel: \"http://www.example.com/search?q="
                       "{searchTerms}\""),
              std::string::npos);
    EXPECT_NE(out.find("[Adresse ungültig] Als Platzhalter für die Suchabfrage muss "
                       "{searchTerms} angegeben sein."),
              std::string::npos);
    EXPECT_EQ(transactions(), 0u);

    // A name that reduces to another provider's key gets a key of its own; an address of
    // fifteen characters is enough and gets a scheme.
    run(open + "set edName \"Google\"\nset edURL \"a={searchTerms}\"\nclick btnOK\n" + open +
        "set edName \"Goo-gle\"\nset edURL \"ftp://b?q={searchTerms}\"\nclick btnOK\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\Google", "URL"), "http://a={searchTerms}");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\Google2", "URL"),
              "http://ftp://b?q={searchTerms}");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\Google2", "DisplayName"), "Goo-gle");
    EXPECT_EQ(transactions(), 2u);

    // Editing: OK without a change writes nothing; a new name is written as shown.
    run("tab tsExplorerBars\nselect IE7FrameSearchbar.lvSearchscopes \"Beispiel-Lexikon\"\n"
        "click IE7FrameSearchbar.btnIE7editSearchscope\nexpect edURL text "
        "\"http://lexikon.ravelin-beispiel.de/suche?q={searchTerms}\"\nclick btnOK\n");
    EXPECT_EQ(transactions(), 2u);
    run("tab tsExplorerBars\nselect IE7FrameSearchbar.lvSearchscopes \"Beispiel-Lexikon\"\n"
        "click IE7FrameSearchbar.btnIE7editSearchscope\nset edName \"Lexikon 2\"\nclick btnOK\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\" + kLexikon, "DisplayName"), "Lexikon 2");
    EXPECT_EQ(transactions(), 3u);
}

TEST_F(IE7FrameSearchbarTest, ResetAndTheSearchBoxSwitch) {
    open("winxp");
    catalogue(kCatalogue);
    run("tab tsExplorerBars\ncheck IE7FrameSearchbar.cbIE7DisplaySearchBox off\n"
        "expect IE7FrameSearchbar.lvSearchscopes enabled false\n"
        "expect IE7FrameSearchbar.btnIE7addSearchscope enabled false\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kRestrictions, "NoSearchBox"), 1u);
    run("tab tsExplorerBars\nexpect IE7FrameSearchbar.cbIE7DisplaySearchBox checked false\n"
        "expect IE7FrameSearchbar.btnIE7addSearchscope enabled false\n"
        "expect IE7FrameSearchbar.lvSearchscopes enabled false\n");

    run("tab tsExplorerBars\nclick btnUsabilityDefault\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kRestrictions, "NoSearchBox"), 0u);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes, "DefaultScope"), kLive);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\" + kLive, "DisplayName"), "@ieframe.dll,-12512");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\" + kLive, ""), "Live Search");
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle));
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kLexikon));
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, kOff + "\\" + kGoogle));
    EXPECT_EQ(run(kShow), "TExListView lvSearchscopes\n"
                          "  [ ] Beispiel-Lexikon\n"
                          "  [ ] Google\n"
                          "  [x] Live Search (Standard)\n"
                          "  [ ] Neuling!\n"
                          "  [ ] Portal Neu\n");
    EXPECT_EQ(transactions(), 2u);
    undoLast();
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kRestrictions, "NoSearchBox"), 1u);
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle));
}

TEST_F(IE7FrameSearchbarTest, RenewedDefaultKeepsBeingTheDefault) {
    open("winxp");
    catalogue("<orvex_deskforge><searchscopes><scope name=\"Lexikon Neu\"><Key>LexikonNeu</Key>"
              "<DisplayName>Lexikon Neu</DisplayName><URL>https://lexikon.example.org/?q="
              "{searchTerms}</URL><Previous><DisplayName>Beispiel-Lexikon</DisplayName>"
              "</Previous></scope></searchscopes></orvex_deskforge>");
    SetRegStringValue(HKEY_CURRENT_USER, kScopes, "DefaultScope", kLexikon, {});
    EXPECT_NE(run(kShow).find("[x] Lexikon Neu (Standard)\n"), std::string::npos);
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes, "DefaultScope"), "LexikonNeu");
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kLexikon));
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\LexikonNeu", "URL"),
              "https://lexikon.example.org/?q={searchTerms}");
}

TEST(IE7SearchScopeCatalogue, ShippedCatalogueIsWellFormedAndComplete) {
    TXmlScanner scanner;
    ASSERT_TRUE(
        scanner.LoadFromFile(std::string(RAVELIN_SOURCE_DIR) + "/share/de/NXSearchscopes.xml"));
    std::string element, name;
    std::vector<std::string> urls, names;
    bool resetEntry = false;
    scanner.OnStartTag = [&](const std::string& t, const TXmlAttributes& a) {
        element = t;
        if (t == "scope") names.push_back(a.Value("name"));
    };
    scanner.OnContent = [&](const std::string& text) {
        if (element == "URL") urls.push_back(text);
        if (element == "DisplayName" && text == "@ieframe.dll,-12512") resetEntry = true;
    };
    scanner.OnEndTag = [&](const std::string&) { element.clear(); };
    scanner.Execute();
    EXPECT_TRUE(resetEntry);
    EXPECT_GE(names.size(), 8u);
    for (const auto& url : urls)
        EXPECT_NE(url.find("{searchTerms}"), std::string::npos) << url;
    // The reset looks for the provider by this name.
    EXPECT_EQ(names.front(), "Live Search");
}
