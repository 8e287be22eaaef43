// Unit CSSParser: a position-keeping parser of CSS style sheets (userChrome.css,
// userContent.css). It records every rule block and declaration with its positions in
// CSSText and edits the sheet by splicing CSSText there, so that everything it does not
// edit (comments, layout, rules it does not understand) stays exactly as it was.
//
// Positions are 1-based indices of UTF-16 code units in CSSText; -1 is unset.
//
// The text is read by a CSS tokenizer: comments, strings, escapes, url(...) and blocks
// nested to any depth are skipped as units, so a ";", "{" or "/*" inside them never ends
// anything. What gets records:
//  - style rules at the top level (media "all") and directly inside a top-level
//    "@media" block (its media text) or another grouping block such as
//    "@-moz-document", "@supports" or "@layer" (the block's header, so they never match
//    "all");
//  - the declarations of those rules. Rules nested deeper (CSS nesting, at-rules inside
//    at-rules, rules inside style rules) are kept byte for byte and never matched.
// Selectors are compared in normal form (see SimplifySelector).
//
// Decisions beyond the classic algorithm, each so that no edit splices at a meaningless
// place:
//  - Every declaration also records where its ":" and its terminator stand (ColonPos,
//    TermPos). An empty value ("color: ;") is filled in after the colon, and a value
//    followed by blanks or a comment before its ";" ("color: red /* x */;") is removed
//    up to its real ";", and new declarations go after that ";".
//  - A new declaration goes into the block of the rule's last declaration, on its own
//    line with that declaration's indentation when it stands on its own line; a rule
//    without declarations gets it inside its own block.
//  - A new rule appended to a sheet that ends inside a comment, string or block first
//    closes them, as a browser would at the end of the sheet; it gets a selector record.
//  - Values, names and selectors that would break the sheet (an unclosed string or
//    comment, a ";", "{" or "}" outside brackets) are refused: nothing changes and
//    lastError() says why.
//  - Files keep their bytes: a UTF-8 or UTF-16 byte-order mark selects that encoding and
//    is written back; text without a mark is UTF-8 when it is valid UTF-8 (so also
//    plain ASCII and an empty sheet), else Windows-1252. A character Windows-1252 lacks
//    is written there as a CSS escape. Line breaks are kept as they are; new lines use
//    the sheet's own style (LF when it has LF and no CR LF, else CR LF). A symbolic link
//    is written through.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin {
class TStream;
}

namespace ravelin::firefox {

class TCSSParser;
class SheetReader;

using TDebugEvent = std::function<void(TCSSParser& sender, const std::string& line)>;

class TCSSProperty {
  public:
    std::string Media;
    std::string Selector; // empty: removed
    std::string PropertyName;
    int StartPos = -1;
    int ValStartPos = -1;
    int EndPos = -1;
    std::string Terminator; // ";" or empty when the rule's "}" ended it
    int ColonPos = -1;      // the ":" after the name
    int TermPos = -1;       // the ";" or "}" that ended the declaration

  private:
    friend class TCSSParser;
    friend class SheetReader;
    // Which rule of which parse last set Media and Selector; 0 when none did. Records
    // with the same mark hold the same two texts, so a parse filling them in again
    // compares those only once per rule. (Change records through the parser, whose
    // edits keep this true.)
    std::uint64_t filledBy_ = 0;
};

class TCSSSelector {
  public:
    std::string Media;
    std::string Selector; // empty: removed
    int StartPos = -1;
    int BracePos = -1;
    int EndPos = -1;

  private:
    friend class TCSSParser;
    friend class SheetReader;
    // The selector as the sheet wrote it when a parse set Selector from it; empty
    // otherwise. A parse that finds the same text there again keeps Selector as it is
    // instead of simplifying it anew. (Change records through the parser, whose edits
    // keep Selector the simplified form of this text.)
    std::u16string written_;
};

// Lists that own their records: a record that leaves the list is destroyed.
template <typename Record> class TCSSRecordList {
  public:
    int Count() const { return static_cast<int>(items_.size()); }
    Record& Get(int index) { return *items_.at(static_cast<std::size_t>(index)); }
    const Record& Get(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
    void Put(int index, std::unique_ptr<Record> record) {
        items_.at(static_cast<std::size_t>(index)) = std::move(record);
    }
    void Delete(int index) { items_.erase(items_.begin() + index); }
    void Clear() { items_.clear(); }
    // Every position (removed records included) >= FromPos moves by Delta.
    void UpdatePositions(int fromPos, int delta);

  protected:
    Record& insertAt(int index, std::unique_ptr<Record> record) {
        return **items_.insert(items_.begin() + index, std::move(record));
    }
    std::vector<std::unique_ptr<Record>> items_;
};

class TCSSPropertyList : public TCSSRecordList<TCSSProperty> {
  public:
    TCSSProperty& Add(const std::string& media, const std::string& selector,
                      const std::string& name, int startPos, int valStartPos, int endPos,
                      const std::string& terminator);
    TCSSProperty& Insert(int index, const std::string& media, const std::string& selector,
                         const std::string& name, int startPos, int valStartPos, int endPos,
                         const std::string& terminator);
};

class TCSSSelectorList : public TCSSRecordList<TCSSSelector> {
  public:
    TCSSSelector& Add(const std::string& media, const std::string& selector, int startPos,
                      int bracePos, int endPos);
    TCSSSelector& Insert(int index, const std::string& media, const std::string& selector,
                         int startPos, int bracePos, int endPos);
};

class TCSSParser {
  public:
    enum class Encoding { Ansi, Utf8, Utf8Bom, Utf16LeBom, Utf16BeBom };

    TCSSParser() = default;

    std::u16string CSSText;
    TCSSPropertyList Properties;
    TCSSSelectorList Selectors;
    TDebugEvent OnDebug;

    bool LoadFromFile(const std::string& fileName);
    bool LoadFromStream(TStream& stream);
    bool SaveToFile(const std::string& fileName);
    bool SaveToStream(TStream& stream);
    // Loads bytes as a file holds them / gives the bytes to store.
    void LoadFromBytes(const std::string& bytes);
    std::string SaveToBytes() const;
    Encoding encoding() const { return encoding_; }

    bool ParseFCSS();
    bool GetCSSProperty(const std::string& selector, const std::string& propertyName,
                        std::vector<std::string>& values, const std::string& media);
    bool SetCSSProperty(const std::string& selector, const std::string& propertyName,
                        std::vector<std::string>& values, const std::string& media);
    bool DeleteCSSSelector(const std::string& selector, const std::string& media);
    static std::string SimplifySelector(const std::string& s);
    static std::string StripComments(const std::string& s);
    void UpdatePositions(int fromPos, int delta);
    void Debug(const std::string& line);

    // CSSText between two positions (inclusive) as UTF-8.
    std::string textBetween(int from, int to) const;
    // Why the last SetCSSProperty refused to change anything; empty otherwise.
    const std::string& lastError() const { return lastError_; }
    // True when the text ends outside every comment, string and block and no closing
    // bracket lacks its opening one.
    static bool IsBalanced(std::u16string_view text);
    // The file a sheet's name stands for: a symbolic link is followed to its target.
    static std::string ResolveLink(const std::string& fileName);

  private:
    friend class SheetReader;
    struct Splice {
        int from;  // 1-based
        int count; // units replaced
        std::u16string text;
    };
    // Applies non-overlapping splices in one pass and moves every stored position.
    void applySplices(std::vector<Splice> splices);
    std::u16string lineBreak() const;
    int declarationEnd(const TCSSProperty& p) const; // last position the declaration covers
    bool refuse(std::string why);
    bool replaceValues(const std::vector<int>& hits, const std::u16string& value);
    void removeDeclarations(const std::vector<int>& hits);
    bool insertIntoRule(TCSSSelector& rule, const std::string& name, const std::string& media,
                        const std::u16string& value);
    bool appendRule(const std::string& sel, const std::string& name, const std::u16string& value);

    Encoding encoding_ = Encoding::Utf8;
    std::string lastError_;
    std::uint32_t parses_ = 0; // tells the marks of one parse from those of the others
};

} // namespace ravelin::firefox
