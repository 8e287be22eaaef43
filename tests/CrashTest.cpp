// Kills `deskforge reg import --verbose` at random moments and checks that every write
// it had reported as done is there after the machine is opened again, and that every
// registry file still reads.
#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/machine/Templates.h"
#include "host/registry/WineRegistryFile.h"
#include "tests/TestSupport.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ravelin;

namespace {

constexpr int kValues = 1000;

void copySample(const std::string& to) {
    machine::createMachine(to, "winxp", std::string(RAVELIN_SOURCE_DIR) + "/samples/templates");
}

std::string importFile() {
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    for (int i = 0; i < kValues; ++i) {
        if (i % 50 == 0)
            text += "\r\n[HKEY_CURRENT_USER\\Software\\Crash\\K" + std::to_string(i / 50) + "]\r\n";
        text += "\"v" + std::to_string(i) + "\"=\"value " + std::to_string(i) + "\"\r\n";
    }
    return text;
}

// Runs the import; kills it after `killAfter` (never when negative). Returns its output.
std::string runImport(const std::string& machine, const std::string& file,
                      std::chrono::microseconds killAfter) {
    int out[2];
    if (::pipe(out) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(RAVELIN_DESKFORGE, "deskforge", "--machine", machine.c_str(), "reg", "import",
                file.c_str(), "--verbose", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    if (killAfter.count() >= 0) {
        std::this_thread::sleep_for(killAfter);
        ::kill(pid, SIGKILL);
    }
    std::string output;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0)
        output.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    return output;
}

} // namespace

TEST(CrashSafety, NoAcknowledgedWriteIsLostWhenTheProcessIsKilled) {
    test::TempDir dir;
    std::string file = dir.file("import.reg");
    test::writeFile(file, importFile());

    // How long a whole import takes here, to spread the kills over it.
    std::string whole = dir.file("whole");
    ::mkdir(whole.c_str(), 0755);
    copySample(whole);
    auto t0 = std::chrono::steady_clock::now();
    std::string full = runImport(whole, file, std::chrono::microseconds(-1));
    auto duration = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - t0);
    ASSERT_NE(full.find("The operation completed successfully."), std::string::npos) << full;

    std::random_device device;
    unsigned seed = device();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> when(0, duration.count() * 11 / 10);
    int killedMidway = 0;
    for (int trial = 0; trial < 20; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial) + ", seed " + std::to_string(seed));
        std::string machine = dir.file("m" + std::to_string(trial));
        ::mkdir(machine.c_str(), 0755);
        copySample(machine);
        std::string output = runImport(machine, file, std::chrono::microseconds(when(random)));

        // Complete lines only: a line cut by the kill was not acknowledged.
        std::vector<std::pair<std::string, std::string>> acknowledged;
        std::istringstream lines(output.substr(0, output.rfind('\n') + 1));
        for (std::string line; std::getline(lines, line);) {
            auto tab = line.find('\t');
            if (tab != std::string::npos)
                acknowledged.emplace_back(line.substr(0, tab), line.substr(tab + 1));
        }
        if (!acknowledged.empty() && acknowledged.size() < kValues) ++killedMidway;

        for (const char* f : {"system.reg", "user.reg", "userdef.reg"}) {
            auto hive = registry::WineHive::load(machine + "/" + f);
            EXPECT_NO_THROW(hive->loadAll()) << f;
        }
        app::MachineSession session(machine, false);
        for (const auto& [key, name] : acknowledged) {
            std::string path = key.substr(key.find('\\') + 1);
            std::string expected = "value " + name.substr(1);
            EXPECT_EQ(GetRegStringValueDef(HKEY_CURRENT_USER, path, name, "<lost>", {}), expected)
                << key << " " << name;
        }
    }
    std::printf("crash trials: %d of 20 killed part way through the import\n", killedMidway);
}
