#include "host/Nxxmlscanner.h"

#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <expat.h>

#include <exception>
#include <fstream>
#include <memory>
#include <sstream>

namespace ravelin {

std::string TXmlAttributes::Value(const std::string& name) const {
    for (const auto& [n, v] : items_)
        if (n == name) return v;
    return "";
}

bool TXmlScanner::LoadFromFile(const std::string& path) {
    text_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) return false;
    text_ = s.str();
    return true;
}

namespace {

struct ParserDeleter {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

struct ScanState {
    TXmlScanner& scanner;
    XML_Parser parser;
    std::string content;
    std::exception_ptr failure;

    // Handlers run inside the parser's C code: their exceptions are kept and the parse
    // stopped, then thrown again once the parser has returned.
    template <typename F> void guarded(F&& f) {
        if (failure) return;
        try {
            f();
        } catch (...) {
            failure = std::current_exception();
            XML_StopParser(parser, XML_FALSE);
        }
    }
    void flush() {
        if (content.empty()) return;
        std::string text;
        text.swap(content);
        if (scanner.OnContent) scanner.OnContent(text);
    }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attrs) {
    auto& s = *static_cast<ScanState*>(data);
    s.guarded([&] {
        s.flush();
        TXmlAttributes attributes;
        for (int i = 0; attrs[i] && attrs[i + 1]; i += 2)
            attributes.Add(attrs[i], attrs[i + 1]);
        if (s.scanner.OnStartTag) s.scanner.OnStartTag(name, attributes);
    });
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    auto& s = *static_cast<ScanState*>(data);
    s.guarded([&] {
        s.flush();
        if (s.scanner.OnEndTag) s.scanner.OnEndTag(name);
    });
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    auto& s = *static_cast<ScanState*>(data);
    s.content.append(text, static_cast<std::size_t>(length));
}

// The name of the end tag at `at`: the parser points at its "</" or just past it. "" when
// there is none.
std::string endTagAt(const std::string& text, long at) {
    if (at < 0 || static_cast<std::size_t>(at) > text.size()) return "";
    std::size_t start = static_cast<std::size_t>(at);
    if (text.compare(start, 2, "</") == 0)
        start += 2;
    else if (start < 2 || text.compare(start - 2, 2, "</") != 0)
        return "";
    std::size_t end = start;
    while (end < text.size() && text[end] != '>' && text[end] != ' ' && text[end] != '\t' &&
           text[end] != '\r' && text[end] != '\n')
        ++end;
    return text.substr(start, end - start);
}

// Windows-1252, the Western code page many Windows tools write while declaring it: the
// Latin-1 table except for 0x80..0x9F. -1 marks the five bytes the code page leaves unused.
constexpr int kCp1252High[32] = {0x20AC, -1,     0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, -1,     0x017D, -1,
                                 -1,     0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, -1,     0x017E, 0x0178};

// The parser knows UTF-8, UTF-16, ISO-8859-1 and US-ASCII itself; this adds the Windows
// code page under its usual names.
int XMLCALL onUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    if (!text::equalsIgnoringCase(name, "windows-1252") &&
        !text::equalsIgnoringCase(name, "cp1252") && !text::equalsIgnoringCase(name, "x-cp1252"))
        return XML_STATUS_ERROR;
    for (int i = 0; i < 256; ++i)
        info->map[i] = i >= 0x80 && i < 0xA0 ? kCp1252High[i - 0x80] : i;
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

} // namespace

std::string XmlErrorText(int code) {
    switch (static_cast<XML_Error>(code)) {
    case XML_ERROR_NO_MEMORY:
        return text::tr("Nicht genügend Arbeitsspeicher");
    case XML_ERROR_SYNTAX:
        return text::tr("Syntaxfehler");
    case XML_ERROR_NO_ELEMENTS:
        return text::tr("Kein Element gefunden");
    case XML_ERROR_INVALID_TOKEN:
        return text::tr("Nicht wohlgeformt (ungültiges Zeichen)");
    case XML_ERROR_UNCLOSED_TOKEN:
        return text::tr("Nicht abgeschlossenes Element oder Attribut");
    case XML_ERROR_PARTIAL_CHAR:
        return text::tr("Unvollständiges Zeichen");
    case XML_ERROR_TAG_MISMATCH:
        return text::tr("Das schließende Tag passt nicht zum offenen Element");
    case XML_ERROR_DUPLICATE_ATTRIBUTE:
        return text::tr("Attribut doppelt angegeben");
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
        return text::tr("Inhalt nach dem Dokumentelement");
    case XML_ERROR_PARAM_ENTITY_REF:
        return text::tr("Unzulässiger Verweis auf eine Parameter-Entität");
    case XML_ERROR_UNDEFINED_ENTITY:
        return text::tr("Nicht definierte Entität");
    case XML_ERROR_RECURSIVE_ENTITY_REF:
        return text::tr("Rekursiver Entitätsverweis");
    case XML_ERROR_ASYNC_ENTITY:
        return text::tr("Asynchrone Entität");
    case XML_ERROR_BAD_CHAR_REF:
        return text::tr("Verweis auf eine ungültige Zeichennummer");
    case XML_ERROR_BINARY_ENTITY_REF:
        return text::tr("Verweis auf eine binäre Entität");
    case XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF:
        return text::tr("Verweis auf eine externe Entität in einem Attribut");
    case XML_ERROR_MISPLACED_XML_PI:
        return text::tr("Die XML-Deklaration steht nicht am Anfang der Datei");
    case XML_ERROR_UNKNOWN_ENCODING:
        return text::tr("Unbekannte Zeichenkodierung");
    case XML_ERROR_INCORRECT_ENCODING:
        return text::tr("Die angegebene Zeichenkodierung passt nicht zum Inhalt");
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
        return text::tr("Nicht abgeschlossener CDATA-Abschnitt");
    case XML_ERROR_EXTERNAL_ENTITY_HANDLING:
        return text::tr("Fehler beim Verarbeiten eines externen Entitätsverweises");
    case XML_ERROR_NOT_STANDALONE:
        return text::tr("Das Dokument ist nicht eigenständig");
    case XML_ERROR_UNEXPECTED_STATE:
        return text::tr("Unerwarteter Zustand des Parsers");
    case XML_ERROR_ENTITY_DECLARED_IN_PE:
        return text::tr("Entität in einer Parameter-Entität deklariert");
    case XML_ERROR_FEATURE_REQUIRES_XML_DTD:
        return text::tr("Die Funktion erfordert DTD-Unterstützung");
    case XML_ERROR_CANT_CHANGE_FEATURE_ONCE_PARSING:
        return text::tr("Die Einstellung kann während des Lesens nicht geändert werden");
    case XML_ERROR_UNBOUND_PREFIX:
        return text::tr("Nicht gebundenes Namensraum-Präfix");
    case XML_ERROR_UNDECLARING_PREFIX:
        return text::tr("Ein Namensraum-Präfix darf nicht aufgehoben werden");
    case XML_ERROR_INCOMPLETE_PE:
        return text::tr("Unvollständiges Markup in einer Parameter-Entität");
    case XML_ERROR_XML_DECL:
        return text::tr("Fehlerhafte XML-Deklaration");
    case XML_ERROR_TEXT_DECL:
        return text::tr("Fehlerhafte Textdeklaration");
    case XML_ERROR_PUBLICID:
        return text::tr("Unzulässige Zeichen in der öffentlichen Kennung");
    case XML_ERROR_SUSPENDED:
        return text::tr("Der Parser ist angehalten");
    case XML_ERROR_NOT_SUSPENDED:
        return text::tr("Der Parser ist nicht angehalten");
    case XML_ERROR_ABORTED:
        return text::tr("Das Lesen wurde abgebrochen");
    case XML_ERROR_FINISHED:
        return text::tr("Das Lesen ist bereits beendet");
    case XML_ERROR_SUSPEND_PE:
        return text::tr("Eine Parameter-Entität kann nicht angehalten werden");
    case XML_ERROR_RESERVED_PREFIX_XML:
        return text::tr("Das Präfix \"xml\" ist reserviert");
    case XML_ERROR_RESERVED_PREFIX_XMLNS:
        return text::tr("Das Präfix \"xmlns\" ist reserviert");
    case XML_ERROR_RESERVED_NAMESPACE_URI:
        return text::tr("Reservierter Namensraum");
    case XML_ERROR_INVALID_ARGUMENT:
        return text::tr("Ungültiges Argument");
    case XML_ERROR_NO_BUFFER:
        return text::tr("Kein Puffer");
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH:
        return text::tr("Entitäten vervielfachen die Eingabe über die zulässige Grenze");
    default:
        break;
    }
    const XML_LChar* english = XML_ErrorString(static_cast<XML_Error>(code));
    if (!english) return text::trf("XML-Fehler %1", std::to_string(code));
    return text::trf("XML-Fehler %1 (%2)", std::to_string(code), english);
}

void TXmlScanner::Execute() {
    // The document's own declaration (or byte-order mark) says how it is encoded; without
    // one it is UTF-8. Whatever it is, the handlers get UTF-8.
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
    if (!parser) throw EXmlScannerError(XmlErrorText(XML_ERROR_NO_MEMORY), 0);
    ScanState state{*this, parser.get(), {}, nullptr};
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    XML_SetUnknownEncodingHandler(parser.get(), onUnknownEncoding, nullptr);
    line_ = 1;
    const XML_Status status =
        XML_Parse(parser.get(), text_.data(), static_cast<int>(text_.size()), XML_TRUE);
    line_ = static_cast<int>(XML_GetCurrentLineNumber(parser.get()));
    if (state.failure) std::rethrow_exception(state.failure);
    if (status == XML_STATUS_OK) return;
    const XML_Error code = XML_GetErrorCode(parser.get());
    if (code == XML_ERROR_TAG_MISMATCH) {
        // The parser stops at a closing tag that does not fit; the reader hears of it as an
        // end tag first, so that it can name what it waited for.
        const std::string tag = endTagAt(text_, XML_GetCurrentByteIndex(parser.get()));
        if (!tag.empty() && OnEndTag) {
            state.flush();
            OnEndTag(tag);
        }
    }
    throw EXmlScannerError(XmlErrorText(code), line_);
}

} // namespace ravelin
