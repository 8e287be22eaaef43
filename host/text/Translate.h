// The interface speaks German; other languages come from a message catalogue keyed by the
// German text. Code marks each text a user may see with tr() (or trf() when it carries
// values), so the extractor finds it and the catalogue can translate it; a text without an
// entry is shown in German.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace ravelin::text {

// The language texts are shown in: "de" (the source language) or a catalogue's language.
const std::string& CurrentLanguage();
// Chooses the language; an unknown one, or one without a catalogue, leaves German.
void SetLanguage(std::string_view language);
// The language the environment asks for (LC_ALL, LC_MESSAGES, LANG, as the C library
// orders them), as a two-letter code; "de" when it names none.
std::string LanguageFromLocale();

// The German text in the language shown.
std::string tr(std::string_view german);

// As tr(), then %1 … %9 replaced by the values in order (after translating, so the
// catalogue may move them). "%%" is a literal percent sign.
std::string formatText(std::string_view pattern, std::initializer_list<std::string_view> values);

template <class... Values> std::string trf(std::string_view german, const Values&... values) {
    return formatText(tr(german), {std::string_view(values)...});
}

} // namespace ravelin::text
