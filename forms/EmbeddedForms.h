// The form descriptions of forms/, compiled into the program.
#pragma once

#include <string>
#include <vector>

namespace ravelin::forms {

// The JSON description of a unit's form, e.g. "ufrmTCPIP"; throws std::out_of_range.
const std::string& FormText(const std::string& unit);
std::vector<std::string> FormUnits();

} // namespace ravelin::forms
