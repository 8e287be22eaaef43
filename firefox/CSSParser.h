// Unit CSSParser: a position-keeping parser of CSS style sheets (userChrome.css,
// userContent.css). It records every rule block and declaration with its positions in
// CSSText and edits the sheet by splicing CSSText there, so that everything it does not
// edit (comments, layout, rules it does not understand) stays exactly as it was.
//
// Positions are 1-based indices of UTF-16 code units in CSSText; -1 is unset.
//
// Decisions beyond the classic algorithm, each so that no edit splices at a meaningless
// place:
//  - Every declaration also records where its ":" and its terminator stand (ColonPos,
//    TermPos). An empty value ("color: ;") is filled in after the colon, and a value
//    followed by blanks or a comment before its ";" ("color: red /* x */;") is removed
//    up to its real ";", and new declarations go after that ";".
//  - Blocks of other at-rules ("@-moz-document url(...) { ... }", "@supports ...") are
//    tracked like "@media" blocks: their rules carry the at-rule's header as media, so
//    they never match media "all" and their closing "}" ends the block.
//  - Files keep their bytes: a UTF-8 or UTF-16 byte-order mark selects that encoding and
//    is written back; text without a mark is UTF-8 when it is valid UTF-8 with non-ASCII
//    characters, else Windows-1252 (which maps all 256 byte values and back). Line breaks
//    are kept as they are; new lines use the sheet's own style (LF when it has LF and no
//    CR LF, else CR LF).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ravelin {
class TStream;
}

namespace ravelin::firefox {

class TCSSParser;

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
};

class TCSSSelector {
  public:
    std::string Media;
    std::string Selector; // empty: removed
    int StartPos = -1;
    int BracePos = -1;
    int EndPos = -1;
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

  private:
    void splice(int from, int count,
                const std::u16string& with); // replaces count units at from (1-based)
    std::u16string lineBreak() const;
    int declarationEnd(const TCSSProperty& p) const; // last position the declaration covers
    void tidyLine(int k);

    Encoding encoding_ = Encoding::Ansi;
};

} // namespace ravelin::firefox
