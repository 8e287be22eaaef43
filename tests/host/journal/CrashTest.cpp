// Kills `deskforge reg import --verbose` at random moments and checks, on both kinds of
// machine, that the import comes back whole or not at all, that every write it had
// reported as done is there after the machine is opened again, and that every registry
// file still reads.
#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/machine/Templates.h"
#include "host/registry/Registry.h"
#include "host/registry/WineRegistryFile.h"
#include "tests/TestSupport.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ravelin;

namespace {

constexpr int kValues = 1000;

// Transactions that never ended when the process died: what recovery will roll back.
int openTransactions(const std::string& machine) {
    sqlite3* db = nullptr;
    int open = 0;
    if (sqlite3_open_v2((machine + "/.deskforge/journal.sqlite").c_str(), &db,
                        SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM transactions WHERE state='open'", -1, &s,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            open = sqlite3_column_int(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return open;
}

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

// Runs `child` in a child process, its output to the pipe it is given; kills it after
// `killAfter` (never when negative). Returns what it wrote.
std::string runKilled(const std::function<void(int out)>& child,
                      std::chrono::microseconds killAfter) {
    int out[2];
    if (::pipe(out) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        child(out[1]);
        ::_exit(0);
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

// Runs the import; kills it after `killAfter` (never when negative). Returns its output.
std::string runImport(const std::string& machine, const std::string& file,
                      std::chrono::microseconds killAfter) {
    return runKilled(
        [&](int out) {
            ::dup2(out, 1);
            ::execl(RAVELIN_DESKFORGE, "deskforge", "--machine", machine.c_str(), "reg", "import",
                    file.c_str(), "--verbose", static_cast<char*>(nullptr));
            ::_exit(127);
        },
        killAfter);
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
    ASSERT_NE(full.find("Der Vorgang wurde erfolgreich beendet."), std::string::npos) << full;

    std::random_device device;
    unsigned seed = device();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> when(0, duration.count() * 11 / 10);
    int killedMidway = 0, killedInside = 0, complete = 0, none = 0;
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
        if (openTransactions(machine) > 0) ++killedInside;

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
    std::printf("crash trials (%s): %d whole, %d none of 20; %d killed while reporting, %d "
                "inside the transaction\n",
                hives ? "Windows drive" : "Wine prefix", complete, none, killedMidway,
                killedInside);
    // Kills that all land before or after the transaction would prove nothing.
    EXPECT_GT(killedInside, 0) << "no kill landed inside the import's transaction";
}

INSTANTIATE_TEST_SUITE_P(BothKinds, CrashSafety, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WindowsDrive" : "WinePrefix");
                         });

namespace {

const std::string kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr int kSteps = 60;

// One dialog's transaction, run in a child process that reports "committed" once its end
// returned: with sensitive steps (automatic logon switched off) or with files and a folder.
void runTransaction(const std::string& machine, bool sensitive, int report) {
    app::MachineSession session(machine, false);
    Journal_Discard = false;
    Journal_Running = true;
    BackupStart(0, "");
    if (sensitive) {
        SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "0", {2});
        DeleteRegValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName", {2, 6});
    } else {
        CreateFolderJournalled(machine + "/drive_c/crash");
    }
    for (int i = 0; i < kSteps; ++i) {
        SetRegStringValue(HKEY_CURRENT_USER, "Software\\Crash", "v" + std::to_string(i), "x", {});
        if (!sensitive && i % 6 == 0) {
            TJournalStream s;
            s.Data() = "file " + std::to_string(i);
            s.SaveToFile(machine + "/drive_c/crash/f" + std::to_string(i) + ".txt");
        }
        if (sensitive && i == kSteps / 2)
            SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "XXXXXXXXXXX",
                              {2, 6});
    }
    BackupEnd(false);
    if (!TakeWriteFailure().empty()) ::_exit(3);
    ssize_t n = ::write(report, "committed\n", 10);
    (void)n;
    session.registry().flush();
}

} // namespace

class TransactionCrash : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(TransactionCrash, ADialogKilledAtAnyMomentComesBackWholeOrNotAtAll) {
    const auto [hives, sensitive] = GetParam();
    test::TempDir dir;
    auto prepare = [&](const std::string& machine) {
        ::mkdir(machine.c_str(), 0755);
        copySample(machine, hives);
        app::MachineSession session(machine, false);
        SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "1", {2});
        SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName", "anna", {2, 6});
        SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "geheim", {2, 6});
        session.registry().flush();
    };
    // Runs it in a child, killed after `killAfter` (never when negative).
    auto run = [&](const std::string& machine, std::chrono::microseconds killAfter) {
        return runKilled(
            [&](int out) {
                try {
                    runTransaction(machine, sensitive, out);
                } catch (...) {
                    ::_exit(2);
                }
            },
            killAfter);
    };
    std::string whole = dir.file("whole");
    prepare(whole);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(run(whole, std::chrono::microseconds(-1)), "committed\n");
    auto duration = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - t0);

    std::random_device device;
    unsigned seed = device();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> when(0, duration.count() * 11 / 10);
    int complete = 0, none = 0, midway = 0;
    for (int trial = 0; trial < 20; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial) + ", seed " + std::to_string(seed));
        std::string machine = dir.file("m" + std::to_string(trial));
        prepare(machine);
        const bool committed =
            run(machine, std::chrono::microseconds(when(random))) == "committed\n";
        if (openTransactions(machine) > 0) ++midway;
        app::MachineSession session(machine, false);
        int present = 0;
        for (int i = 0; i < kSteps; ++i)
            present +=
                RegValueExists(HKEY_CURRENT_USER, "Software\\Crash", "v" + std::to_string(i), {});
        int files = 0;
        for (int i = 0; i < kSteps; i += 6)
            files +=
                std::filesystem::exists(machine + "/drive_c/crash/f" + std::to_string(i) + ".txt");
        const std::string logon =
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "", {2});
        const std::string user = GetRegStringValueDef(HKEY_LOCAL_MACHINE, kWinlogon,
                                                      "DefaultUserName", "<missing>", {2});
        const std::string password =
            GetRegStringValueDef(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "", {2});
        const bool all = present == kSteps && (sensitive ? logon == "0" && user == "<missing>" &&
                                                               password == "XXXXXXXXXXX"
                                                         : files == (kSteps + 5) / 6);
        const bool nothing =
            present == 0 &&
            (sensitive ? logon == "1" && user == "anna" && password == "geheim"
                       : files == 0 && !std::filesystem::exists(machine + "/drive_c/crash"));
        EXPECT_TRUE(all || nothing) << present << " values, " << files << " files, logon " << logon
                                    << ", user " << user << ", password " << password;
        if (committed) {
            EXPECT_TRUE(all) << "acknowledged, then lost";
        }
        complete += all;
        none += nothing && !all;
    }
    std::printf("crash trials (%s, %s): %d whole, %d none of 20; %d killed mid-transaction\n",
                hives ? "Windows drive" : "Wine prefix",
                sensitive ? "sensitive steps" : "files and registry", complete, none, midway);
    EXPECT_GT(midway, 0) << "no kill landed inside the transaction";
}

INSTANTIATE_TEST_SUITE_P(BothKinds, TransactionCrash,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<bool, bool>>& info) {
                             return std::string(std::get<0>(info.param) ? "WindowsDrive"
                                                                        : "WinePrefix") +
                                    (std::get<1>(info.param) ? "Sensitive" : "FilesAndRegistry");
                         });
