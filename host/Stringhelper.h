// Word functions over blank-separated words (blanks: space, tab, CR, LF; a run of them
// separates two words; quotes have no meaning).
#pragma once

#include <string>

namespace ravelin {

int ParamCount(const std::string& text);
// The n-th word, counting from 1; "" when there is none.
std::string Param(const std::string& text, int n);
// The text from the n-th word to the end (trailing blanks dropped); "" when there is none.
std::string GetRest(const std::string& text, int n);
// Field n (counting from 1) of a text split at every `separator` (empty fields count); ""
// when there is none.
std::string ParamX(const std::string& text, int n, char separator);
// The text without the spaces and control characters (bytes up to 32) at both ends.
std::string Trim(const std::string& text);

} // namespace ravelin
