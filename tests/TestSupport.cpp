#include "tests/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ravelin::test {

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "ravelin-test-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    if (!out) throw std::runtime_error("cannot write " + path);
}

void copyFile(const std::string& from, const std::string& to) {
    writeFile(to, readFile(from));
}

std::string corpusDir() {
    std::filesystem::path dir =
        std::filesystem::path(RAVELIN_SOURCE_DIR) / ".." / "shared" / "corpus";
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec)) return std::filesystem::canonical(dir).string();
    return {};
}

} // namespace ravelin::test
