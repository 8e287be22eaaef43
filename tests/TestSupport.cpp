#include "tests/TestSupport.h"

#include "host/registry/Key.h"
#include "host/registry/NtHiveFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

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

void writeMinimalHive(const std::string& path) {
    registry::NtHive::create(path);
}

void writeSpecialHive(const std::string& path) {
    auto hive = registry::NtHive::create(path);
    struct Entry {
        const char* key;
        const char* value;
        std::uint32_t data;
    };
    const Entry entries[] = {
        {"abcd_\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F", "abcd_\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F", 1},
        {"weird\xE2\x84\xA2", "symbols $\xC2\xA3\xE2\x82\xAC", 0},
        {"zero key", "zero value", 2},
    };
    const std::uint64_t now = registry::fileTimeNow();
    for (const auto& e : entries) {
        bool created = false;
        registry::Key& key = hive->root().addSubkey(e.key, created);
        key.setValue(e.value, REG_DWORD, makeDwordData(e.data));
        key.markDirty(now);
    }
    hive->root().markStructureChanged(now);
    hive->save();
}

std::vector<HiveSamples> hiveSamples(const TempDir& scratch) {
    std::vector<HiveSamples> out{{"own", scratch.file("own-minimal"), scratch.file("own-special")}};
    writeMinimalHive(out[0].minimal);
    writeSpecialHive(out[0].special);
    if (const std::string corpus = corpusDir(); !corpus.empty())
        out.push_back({"corpus", corpus + "/hives/minimal", corpus + "/hives/special"});
    return out;
}

bool toolsRequired() {
    const char* value = std::getenv("RAVELIN_REQUIRE_TOOLS");
    return value && *value && std::string(value) != "0";
}

std::map<std::string, std::string> snapshot(const std::string& dir, bool machineOnly) {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (machineOnly && e.path().string().find("/.deskforge") != std::string::npos)
            continue;
        else if (e.is_regular_file())
            out[e.path().string()] = readFile(e.path().string());
        else if (e.is_directory())
            out[e.path().string() + "/"] = "";
    return out;
}

int runProgram(const std::string& program, const std::vector<std::string>& args,
               std::string* output, const std::map<std::string, std::string>& env) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFd[1], 1);
        ::dup2(pipeFd[1], 2);
        ::close(pipeFd[0]);
        for (const auto& [name, value] : env)
            value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
        const std::string name = program.substr(program.rfind('/') + 1);
        std::vector<char*> argv{const_cast<char*>(name.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFd[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace ravelin::test
