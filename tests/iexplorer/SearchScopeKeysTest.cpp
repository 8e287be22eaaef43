// Search providers from the catalogue and from the user: the key a provider gets never
// names another key, and the catalogue is read in the encoding it declares.
#include "host/Nxxmlscanner.h"
#include "iexplorer/ufrmIE7FrameSearchbar.h"
#include "tests/iexplorer/IE7FrameTestSupport.h"

using namespace ravelin;
using namespace ravelin::iexplorer;

namespace {

const std::string kScopes = "Software\\Microsoft\\Internet Explorer\\SearchScopes";
const std::string kOff = kScopes + "-";
const std::string kGoogle = "{6A1806CD-94D4-4689-BA73-E35EA1EA9990}";
const std::string kShow = "tab tsExplorerBars\nprint IE7FrameSearchbar.lvSearchscopes\n";
const std::string kList = "IE7FrameSearchbar.lvSearchscopes";

class SearchScopeKeys : public test::IE7FrameFixture {
  protected:
    std::vector<std::string> subkeys(const std::string& key) {
        std::vector<std::string> names;
        EnumRegKeysEx(HKEY_CURRENT_USER, key, names, {});
        return names;
    }
    // Nothing was written on the two parent keys themselves, and no key below a provider.
    void expectFlat() {
        for (const auto& key : {kScopes, kOff}) {
            for (const char* v : {"URL", "DisplayName", "DeletedByUser", ""})
                EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, key, v, {})) << key << " " << v;
            for (const auto& sub : subkeys(key)) {
                EXPECT_NE(sub.find_first_not_of('.'), std::string::npos) << key << "\\" << sub;
                EXPECT_TRUE(subkeys(key + "\\" + sub).empty()) << key << "\\" << sub;
            }
        }
    }
};

std::string latin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3) {
            out += static_cast<char>(0xC0 + (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            out += utf8[i];
        }
    }
    return out;
}

} // namespace

TEST(SearchScopeKeyText, AKeyFromTextIsOneNameOrNothing) {
    EXPECT_EQ(ScopeKeyFromText("{6A1806CD-94D4-4689-BA73-E35EA1EA9990}"),
              "{6A1806CD-94D4-4689-BA73-E35EA1EA9990}");
    EXPECT_EQ(ScopeKeyFromText("..\\..\\Pfad"), "....Pfad");
    EXPECT_EQ(ScopeKeyFromText("a\\b"), "ab");
    EXPECT_EQ(ScopeKeyFromText("\\"), "");
    EXPECT_EQ(ScopeKeyFromText(".."), "");
    EXPECT_EQ(ScopeKeyFromText("  \t"), "");
    EXPECT_EQ(ScopeKeyFromText("Zeile\nzwei"), "Zeilezwei");
    EXPECT_EQ(ScopeKeyFromText(std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(ScopeKeyFromText(KeyStripChars("a\\b c")), "abc");
}

TEST_F(SearchScopeKeys, CatalogueProvidersWithoutOrWithClimbingKeysStayInTheirOwnKey) {
    open("winxp");
    catalogue(R"(<?xml version="1.0" encoding="UTF-8"?>
<orvex_deskforge><searchscopes>
  <scope><DisplayName>Namenlos</DisplayName><URL>https://n.example.org/?q={searchTerms}</URL></scope>
  <scope><URL>https://leer.example.org/?q={searchTerms}</URL></scope>
  <scope name="Pfad"><Key>..\..\Pfad</Key><DisplayName>Pfad</DisplayName>
    <URL>https://pfad.example.org/?q={searchTerms}</URL></scope>
  <scope name="Zuletzt"><DisplayName>Zuletzt</DisplayName>
    <URL>https://z.example.org/?q={searchTerms}</URL></scope>
</searchscopes></orvex_deskforge>)");
    const std::string shown = run(kShow);
    ASSERT_NE(shown.find("[ ] Namenlos\n"), std::string::npos) << shown;
    ASSERT_NE(shown.find("[ ] Pfad\n"), std::string::npos) << shown;

    run("tab tsExplorerBars\ntick " + kList + " Namenlos on\ntick " + kList + " Pfad on\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\Namenlos", "URL"),
              "https://n.example.org/?q={searchTerms}");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\....Pfad", "URL"),
              "https://pfad.example.org/?q={searchTerms}");
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle));
    expectFlat();

    // Removing moves the one provider, nothing else.
    run("tab tsExplorerBars\nselect " + kList + " Namenlos\nclick " +
        "IE7FrameSearchbar.btnIE7removeSearchscope\n");
    EXPECT_EQ(dword(HKEY_CURRENT_USER, kOff + "\\Namenlos", "DeletedByUser"), 1u);
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\Namenlos"));
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle));
    EXPECT_TRUE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\....Pfad"));
    expectFlat();

    // Switching one off and on again moves only that one between the keys.
    run("tab tsExplorerBars\ntick " + kList + " Google off\n");
    const auto offBefore = subkeys(kOff);
    run("tab tsExplorerBars\ntick " + kList + " Pfad off\ntick " + kList + " Pfad on\n");
    EXPECT_EQ(subkeys(kOff), offBefore);
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\" + kGoogle));
    expectFlat();
}

TEST_F(SearchScopeKeys, AProviderNamedWithABackslashKeepsItsNameAfterReopening) {
    open("winxp");
    catalogue("<orvex_deskforge><searchscopes/></orvex_deskforge>");
    run("tab tsExplorerBars\nclick IE7FrameSearchbar.btnIE7addSearchscope\n"
        "set edName \"a\\\\b\"\nset edURL \"https://ab.example.org/?q={searchTerms}\"\n"
        "click btnOK\n");
    EXPECT_EQ(str(HKEY_CURRENT_USER, kScopes + "\\ab", "DisplayName"), "a\\b");
    EXPECT_FALSE(KeyExist(HKEY_CURRENT_USER, kScopes + "\\a"));
    expectFlat();
    const std::string shown = run(kShow);
    EXPECT_NE(shown.find("  [x] a\\b\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("  [x] \n"), std::string::npos) << "no nameless row: " << shown;
}

TEST(SearchScopeCatalogueEncoding, TheDeclaredEncodingIsHonoured) {
    auto contents = [](const std::string& doc) {
        TXmlScanner scanner;
        std::string text, attribute;
        scanner.OnStartTag = [&](const std::string&, const TXmlAttributes& a) {
            attribute += a.Value("name");
        };
        scanner.OnContent = [&](const std::string& t) { text += t; };
        scanner.LoadFromBuffer(doc);
        scanner.Execute();
        return attribute + "|" + text;
    };
    EXPECT_EQ(contents(latin1("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                              "<a name=\"Grüße\">Müller-Suche ß</a>")),
              "Grüße|Müller-Suche ß");
    EXPECT_EQ(contents("<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
                       "<a name=\"\x80\">\x84Zitat\x93 \xFC\x9F</a>"),
              "€|„Zitat“ üŸ");
    EXPECT_EQ(contents("<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a>plain</a>"), "|plain");
    EXPECT_EQ(contents("<?xml version=\"1.0\"?><a>Grüße</a>"), "|Grüße") << "UTF-8 by default";
    const std::string utf16 = std::string("\xFF\xFE<\0a\0>\0\xFC\0<\0/\0a\0>\0", 18);
    EXPECT_EQ(contents(utf16), "|ü");
    // An unused byte of the Windows code page, and a code page the reader does not know.
    for (const std::string& doc :
         {std::string("<?xml version=\"1.0\" encoding=\"cp1252\"?><a>\x81</a>"),
          std::string("<?xml version=\"1.0\" encoding=\"EBCDIC-X\"?><a/>")})
        EXPECT_THROW(contents(doc), EXmlScannerError) << doc;
}

TEST(SearchScopeCatalogueEncoding, ParserMessagesAreGerman) {
    auto message = [](const std::string& doc) {
        TXmlScanner scanner;
        scanner.LoadFromBuffer(doc);
        try {
            scanner.Execute();
        } catch (const EXmlScannerError& e) {
            return std::string(e.what());
        }
        return std::string("(kein Fehler)");
    };
    EXPECT_EQ(message("<a></a><b/>"), "Inhalt nach dem Dokumentelement");
    EXPECT_EQ(message("<a x=\"1\" x=\"2\"/>"), "Attribut doppelt angegeben");
    EXPECT_EQ(message("<a>&nix;</a>"), "Nicht definierte Entität");
    EXPECT_EQ(message("<?xml version=\"1.0\" encoding=\"EBCDIC-X\"?><a/>"),
              "Unbekannte Zeichenkodierung");
    EXPECT_EQ(message("<a>"), "Kein Element gefunden");
    for (int code = 1; code <= 43; ++code)
        EXPECT_EQ(XmlErrorText(code).find("XML-Fehler"), std::string::npos) << code;
}

TEST_F(SearchScopeKeys, ALatinOneCatalogueOpensAndItsErrorsReadInGerman) {
    open("winxp");
    catalogue(latin1("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                     "<orvex_deskforge><searchscopes><scope name=\"Bücher\">"
                     "<DisplayName>Bücher</DisplayName>"
                     "<URL>https://buch.example.org/?q={searchTerms}</URL></scope>"
                     "</searchscopes></orvex_deskforge>"));
    std::string out = run(kShow);
    EXPECT_NE(out.find("[ ] Bücher\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("message:"), std::string::npos) << out;

    catalogue("<orvex_deskforge></orvex_deskforge><zweite/>");
    out = run(kShow);
    EXPECT_NE(out.find("Inhalt nach dem Dokumentelement"), std::string::npos) << out;
}
