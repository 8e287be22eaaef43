// A streaming XML scanner: reports start tags with their attributes, character content
// and end tags in document order. End tags are reported as written, so that a reader that
// keeps its own element path can name a closing tag that does not fit.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ravelin {

// A document that is not well-formed; `line` is 1-based.
class EXmlScannerError : public std::runtime_error {
  public:
    EXmlScannerError(const std::string& message, int line)
        : std::runtime_error(message), line_(line) {}
    int Line() const { return line_; }

  private:
    int line_;
};

class TXmlAttributes {
  public:
    void Add(std::string name, std::string value) {
        items_.emplace_back(std::move(name), std::move(value));
    }
    // The value of the attribute of that name (case-sensitive), "" when there is none.
    std::string Value(const std::string& name) const;
    std::size_t Count() const { return items_.size(); }

  private:
    std::vector<std::pair<std::string, std::string>> items_;
};

// The parser's message for one of its error codes, in the interface's language.
std::string XmlErrorText(int code);

class TXmlScanner {
  public:
    std::function<void(const std::string& tag, const TXmlAttributes& attributes)> OnStartTag;
    // The text between two tags, in one piece (entities and character references resolved).
    std::function<void(const std::string& text)> OnContent;
    std::function<void(const std::string& tag)> OnEndTag;

    // False, with nothing loaded, when the file is missing or unreadable.
    bool LoadFromFile(const std::string& path);
    void LoadFromBuffer(std::string text) { text_ = std::move(text); }
    // True when what was loaded holds nothing but blanks and line breaks.
    bool Empty() const { return text_.find_first_not_of(" \t\r\n") == std::string::npos; }

    // Scans what was loaded, in the encoding the document declares (UTF-8, UTF-16,
    // ISO-8859-1, US-ASCII, Windows-1252). Throws EXmlScannerError for a document that is not
    // well-formed; an exception from a handler stops the scan and leaves it unchanged.
    void Execute();
    // The line the scan stopped on or is at.
    int CurrentLine() const { return line_; }

  private:
    std::string text_;
    int line_ = 0;
};

} // namespace ravelin
