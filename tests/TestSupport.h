// Helpers shared by the test suites.
#pragma once

#include <string>

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
// The shared corpus of real files beside the checkout, or "" when it is not there.
std::string corpusDir();

} // namespace ravelin::test
