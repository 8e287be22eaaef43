// Kills `deskforge reg import --verbose` at random moments and checks, on both kinds of
// machine, that the import comes back whole or not at all, that every write it had
// reported as done is there after the machine is opened again, and that every registry
// file still reads.
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

void copySample(const std::string& to, bool hives) {
    machine::createMachine(to, "winxp", std::string(RAVELIN_SOURCE_DIR) + "/samples/templates",
                           hives);
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

class CrashSafety : public ::testing::TestWithParam<bool> {};

TEST_P(CrashSafety, AnImportKilledAtAnyMomentComesBackWholeOrNotAtAll) {
    const bool hives = GetParam();
    test::TempDir dir;
    std::string file = dir.file("import.reg");
    test::writeFile(file, importFile());

    // How long a whole import takes here, to spread the kills over it.
    std::string whole = dir.file("whole");
    ::mkdir(whole.c_str(), 0755);
    copySample(whole, hives);
    auto t0 = std::chrono::steady_clock::now();
    std::string full = runImport(whole, file, std::chrono::microseconds(-1));
    auto duration = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - t0);
    ASSERT_NE(full.find("The operation completed successfully."), std::string::npos) << full;

    std::random_device device;
    unsigned seed = device();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> when(0, duration.count() * 11 / 10);
    int killedMidway = 0, complete = 0, none = 0;
    for (int trial = 0; trial < 20; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial) + ", seed " + std::to_string(seed));
        std::string machine = dir.file("m" + std::to_string(trial));
        ::mkdir(machine.c_str(), 0755);
        copySample(machine, hives);
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

        if (!hives)
            for (const char* f : {"system.reg", "user.reg", "userdef.reg"}) {
                auto hive = registry::WineHive::load(machine + "/" + f);
                EXPECT_NO_THROW(hive->loadAll()) << f;
            }
        app::MachineSession session(machine, false);
        int present = 0;
        for (int i = 0; i < kValues; ++i)
            if (GetRegStringValueDef(
                    HKEY_CURRENT_USER, "Software\\Crash\\K" + std::to_string(i / 50),
                    "v" + std::to_string(i), "", {}) == "value " + std::to_string(i))
                ++present;
        EXPECT_TRUE(present == 0 || present == kValues) << present << " of " << kValues;
        if (present == kValues) ++complete;
        if (present == 0) ++none;
        for (const auto& [key, name] : acknowledged) {
            std::string path = key.substr(key.find('\\') + 1);
            std::string expected = "value " + name.substr(1);
            EXPECT_EQ(GetRegStringValueDef(HKEY_CURRENT_USER, path, name, "<lost>", {}), expected)
                << key << " " << name;
        }
    }
    std::printf("crash trials (%s): %d whole, %d none of 20; %d killed while reporting\n",
                hives ? "Windows drive" : "Wine prefix", complete, none, killedMidway);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, CrashSafety, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WindowsDrive" : "WinePrefix");
                         });
