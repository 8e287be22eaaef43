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
// The shared corpus of real files beside the checkout, or "" when it is not there. Tests
// use it for extra cases only: every test runs on a clean clone without it.
std::string corpusDir();

// NT hive files made by our own writer, so that the hive tests run on every clone. The
// minimal one holds only the root key; the special one adds three keys with awkward names
// (one stored in Latin-1, one that needs UTF-16, one with a blank), each with a REG_DWORD
// value of a matching name.
void writeMinimalHive(const std::string& path);
void writeSpecialHive(const std::string& path);

// A minimal and a special hive file for a test to copy: our own, made in `scratch`, and the
// corpus's real ones where the corpus is present.
struct HiveSamples {
    std::string origin; // "own" or "corpus", for the test's trace
    std::string minimal;
    std::string special;
};
std::vector<HiveSamples> hiveSamples(const TempDir& scratch);

// Whether this run must have every program the test dependencies install (Wine, firefox-esr,
// ntfs-3g, ansible, ...): `make test`, and so CI, sets RAVELIN_REQUIRE_TOOLS=1, where
// scripts/install-deps has installed them; a missing one then fails its test.
bool toolsRequired();

} // namespace ravelin::test

// Skips the test for a missing program, or fails it where the run requires every program
// (see toolsRequired). For a test body or SetUp, with <gtest/gtest.h> included.
#define RAVELIN_SKIP_WITHOUT_TOOL(why)                                                             \
    do {                                                                                           \
        if (::ravelin::test::toolsRequired())                                                      \
            FAIL() << (why) << " (this run requires it: RAVELIN_REQUIRE_TOOLS is set)";            \
        else                                                                                       \
            GTEST_SKIP() << (why);                                                                 \
    } while (false)
