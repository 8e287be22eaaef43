// The interface speaks German; other languages come from a message catalogue keyed by the
// German text. Code marks each text a user may see with tr() (or trf() when it carries
// values), so the extractor finds it and the catalogue can translate it; a text without an
// entry is shown in German.
//
// Catalogues are GNU gettext's compiled .mo files, read here rather than through the C
// library's gettext: that one only translates for locales the system has installed.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::text {

// A catalogue file that is not a sound .mo file; the message names the file.
class CatalogueError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One language's translations, keyed by the German text.
class Catalogue {
  public:
    // Reads a compiled catalogue in either byte order; throws CatalogueError naming the file
    // when it cannot be read or is damaged.
    static Catalogue Load(const std::string& path);
    // The same for bytes already in memory; `name` is the file the messages name.
    static Catalogue Parse(std::string_view bytes, const std::string& name);

    // The translation of a German text, or nullptr where the catalogue has none.
    const std::string* Find(std::string_view german) const;
    // Every German text the catalogue translates, sorted.
    std::vector<std::string> Keys() const;
    std::size_t Size() const { return entries_.size(); }

  private:
    std::map<std::string, std::string, std::less<>> entries_;
};

// The language texts are shown in: "de" (the source language) or a catalogue's language.
const std::string& CurrentLanguage();
// Chooses the language; an unknown one, or one without a catalogue, leaves German. Throws
// CatalogueError when the language's catalogue exists but is damaged (German stays).
void SetLanguage(std::string_view language);
// Shows texts from this catalogue, as language `language` (tests; "de" drops it).
void UseCatalogue(std::string_view language, Catalogue catalogue);
// The language the environment asks for (LC_ALL, LC_MESSAGES, LANG, as the C library
// orders them), as a two-letter code; "de" when it names none.
std::string LanguageFromLocale();
// The languages the programs offer on their command line.
const std::vector<std::string>& OfferedLanguages();

// Where a language's catalogue lives: $DESKFORGE_LOCALE, else locale/ beside the data folder
// $DESKFORGE_SHARE names where there is one, else share/locale beside an installed program's
// data folder (share/deskforge), else the build folder's locale/; in each,
// <language>/LC_MESSAGES/deskforge.mo.
std::string CatalogueFile(std::string_view language);

// The German text in the language shown.
std::string tr(std::string_view german);

// As tr(), then %1 … %9 replaced by the values in order (after translating, so the
// catalogue may move them). "%%" is a literal percent sign.
std::string formatText(std::string_view pattern, std::initializer_list<std::string_view> values);

template <class... Values> std::string trf(std::string_view german, const Values&... values) {
    return formatText(tr(german), {std::string_view(values)...});
}

} // namespace ravelin::text
