#include "host/Nxxmlscanner.h"

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

} // namespace

void TXmlScanner::Execute() {
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate("UTF-8"));
    if (!parser) throw EXmlScannerError("out of memory", 0);
    ScanState state{*this, parser.get(), {}, nullptr};
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
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
    throw EXmlScannerError(XML_ErrorString(code), line_);
}

} // namespace ravelin
