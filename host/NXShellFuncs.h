// Unit NXShellFuncs: starting a program with the WOW64 file-system redirection handled,
// the run dialog, and the long form of a folder path. The unit is one of the module's (its
// package table lists it, and it exports NXShellExecute and ShowRunDialog as C functions),
// hence the namespace; the host compiles it once, so that the pages and the module share
// it, ShellLongPathName included.
#pragma once

#include <functional>
#include <string>

namespace ravelin::module {

// Passes its arguments on to the shell's execute call and returns its result (above 32 on
// success). For a 32-bit process on 64-bit Windows it tries with redirection enabled and,
// when the file or path is not found (2, 3), not an executable (11) or a library is
// missing (32), once more with redirection disabled; the redirection state is restored.
long NXShellExecute(long window, const std::u16string& operation, const std::u16string& file,
                    const std::u16string& parameters, const std::u16string& directory,
                    int showCommand);

// The shell's Run dialog: the machines here offer none, so the result is 0.
int ShowRunDialog(long owner, const std::u16string& title, const std::u16string& description,
                  int flags);

// A path with every component below the drive spelled as it is on disk; network paths and
// the 9x family come back with their slashes turned into backslashes; a path that cannot
// be resolved comes back exactly as it was passed in.
std::string LongPathName(const std::string& path);
// The replaceable procedure variable the favourites trees call.
extern std::function<std::string(const std::string&)> ShellLongPathName;

} // namespace ravelin::module
