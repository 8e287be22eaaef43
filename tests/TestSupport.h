// Helpers shared by the test suites.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ravelin::test {

// A fresh temporary folder, removed with its contents when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);
void copyFile(const std::string& from, const std::string& to);
// Every file and folder under `dir` with its bytes (folders end in '/'), to see that nothing
// changed; without the journal's folder when `machineOnly`.
std::map<std::string, std::string> snapshot(const std::string& dir, bool machineOnly = false);
// Runs a program with the arguments and environment changes (an empty value unsets) and
// returns its exit code; `output` receives what it printed, errors included.
int runProgram(const std::string& program, const std::vector<std::string>& args,
               std::string* output = nullptr, const std::map<std::string, std::string>& env = {});
// The shared corpus of real files beside the checkout, or "" when it is not there.
std::string corpusDir();

} // namespace ravelin::test
