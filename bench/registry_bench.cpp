// Load and save of a large Wine registry file against the floor of reading its bytes.
//
// Prints: the floor (read the file, count its lines with memchr), load, full parse of
// every value, an unchanged save, one value written and flushed, and the peak memory of a
// load, each against its goal. Exits 1 when a goal is missed.
#include "host/journal/Journal.h"
#include "host/registry/FileUtil.h"
#include "host/registry/Registry.h"
#include "host/registry/WineRegistryFile.h"
#include "host/text/Text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace ravelin;
using namespace ravelin::registry;
using Clock = std::chrono::steady_clock;

namespace {

// A file shaped like a real system.reg: nested keys, a few values each, of every kind.
std::string generate(std::size_t targetBytes) {
    std::string out =
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
    std::vector<std::string> keys;
    unsigned n = 0;
    for (unsigned vendor = 0; out.size() < targetBytes; ++vendor) {
        for (unsigned product = 0; product < 40 && out.size() < targetBytes; ++product) {
            for (unsigned sub = 0; sub < 8; ++sub, ++n) {
                char key[160];
                std::snprintf(key, sizeof key,
                              "Software\\\\Vendor%05u\\\\Product%02u\\\\Settings%u", vendor,
                              product, sub);
                out += "\n[";
                out += key;
                out += "] 1796549070\n#time=1dd856399352242\n";
                out += "\"DisplayName\"=\"Product " + std::to_string(product) +
                       " \\x00e9dition \\\"pro\\\"\"\n";
                out += "\"InstallPath\"=\"C:\\\\Program Files\\\\Vendor" + std::to_string(vendor) +
                       "\\\\App\"\n";
                out +=
                    "\"Count\"=dword:" + std::string(8 - std::to_string(n % 100000).size(), '0') +
                    std::to_string(n % 100000) + "\n";
                out += "\"Path\"=str(2):\"%SystemRoot%\\\\system32\\\\app" + std::to_string(sub) +
                       ".dll\"\n";
                if (sub % 2 == 0)
                    out += "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,"
                           "13,14,15,16,\\\n"
                           "  17,18,19,1a,1b,1c,1d,1e,1f\n";
            }
        }
    }
    out.push_back('\n');
    return out;
}

double seconds(const std::function<void()>& fn, int runs = 3) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

// Peak memory of a load, measured in a child so that nothing else counts.
long loadPeakKb(const std::string& path) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        long before = statusKb("VmRSS:");
        auto hive = WineHive::load(path);
        long peak = statusKb("VmHWM:") - before;
        (void)!::write(fds[1], &peak, sizeof peak);
        ::_exit(0);
    }
    long peak = -1;
    (void)!::read(fds[0], &peak, sizeof peak);
    ::waitpid(pid, nullptr, 0);
    ::close(fds[0]);
    ::close(fds[1]);
    return peak;
}

bool report(const char* what, double value, const char* unit, double goal, const char* goalText) {
    bool ok = value <= goal;
    std::printf("%-44s %10.1f %-3s  goal %s  %s\n", what, value, unit, goalText,
                ok ? "ok" : "MISSED");
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 50;
    auto dir =
        std::filesystem::temp_directory_path() / ("ravelin-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "system.reg").string();
    {
        std::string text = generate(megabytes << 20);
        writeFileAtomically(path, text);
    }
    const double size = static_cast<double>(std::filesystem::file_size(path));
    std::printf("Wine registry file: %.1f MB\n\n", size / 1e6);

    std::size_t lines = 0;
    double floor = seconds([&] {
        std::string bytes = readWholeFile(path);
        lines = 0;
        const char* p = bytes.data();
        const char* end = p + bytes.size();
        while (
            (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))))
            ++lines, ++p;
    });
    double load = seconds([&] { auto h = WineHive::load(path); });
    auto hive = WineHive::load(path);
    double parseAll = seconds([&] { hive->loadAll(); }, 1);
    std::size_t keys = 0;
    std::function<void(Key&)> count = [&](Key& k) {
        ++keys;
        for (const auto& s : k.subkeys())
            count(*s);
    };
    count(hive->root());
    double unchanged = seconds([&] { (void)hive->serialize(); });
    double writeFlush = seconds([&] {
        auto h = WineHive::load(path);
        Key* k = h->root()
                     .findSubkey("Software")
                     ->findSubkey("Vendor00010")
                     ->findSubkey("Product05")
                     ->findSubkey("Settings3");
        k->setValue("Count", REG_DWORD, makeDwordData(static_cast<DWORD>(std::rand())));
        k->markDirty(fileTimeNow());
        h->save();
    });
    long peakKb = loadPeakKb(path);

    std::printf("floor: read + memchr over %zu lines        %10.1f ms\n", lines, floor * 1e3);
    bool ok = true;
    ok &= report("load (key lines parsed, values on demand)", load * 1e3, "ms", floor * 4e3,
                 "<= 4x floor");
    std::printf("%-44s %10.1f x floor\n", "  load / floor", load / floor);
    std::printf("%-44s %10.1f ms  (%zu keys)\n", "parse every value of every key", parseAll * 1e3,
                keys);
    std::printf("%-44s %10.1f ms\n", "render unchanged file", unchanged * 1e3);
    ok &=
        report("load + one value write + flush (fsync)", writeFlush * 1e3, "ms", 1000, "< 1000 ms");
    ok &= report("peak memory of a load", peakKb / 1024.0, "MB", 4 * size / (1 << 20),
                 "< 4x file size");
    std::printf("%-44s %10.2f x file size\n", "  peak / file size", peakKb * 1024.0 / size);

    // One acknowledged write (journal row committed, tree changed in memory) against
    // rewriting the registry file once.
    {
        writeFileAtomically((dir / "user.reg").string(),
                            "WINE REGISTRY Version 2\n;; All keys relative to "
                            "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n");
        auto reg = Registry::openMachine(dir.string());
        auto journal = journal::Journal::open(dir.string());
        reg->setChangeSink(journal.get());
        const int writes = 200;
        auto t0 = Clock::now();
        for (int i = 0; i < writes; ++i)
            reg->setValue(HKEY_LOCAL_MACHINE, "Software\\Vendor00010\\Product05\\Settings3",
                          "Count", REG_DWORD, makeDwordData(static_cast<DWORD>(i)));
        double perWrite = std::chrono::duration<double>(Clock::now() - t0).count() / writes;
        t0 = Clock::now();
        reg->flush();
        double rewrite = std::chrono::duration<double>(Clock::now() - t0).count();
        std::printf("\n%-44s %10.3f ms\n", "one acknowledged write (journal + memory)",
                    perWrite * 1e3);
        std::printf("%-44s %10.1f ms\n", "rewriting the registry file once", rewrite * 1e3);
        double ratio = rewrite / perWrite;
        std::printf("%-44s %10.1f x    goal >= 50x  %s\n", "  rewrite / acknowledged write", ratio,
                    ratio >= 50 ? "ok" : "MISSED");
        ok &= ratio >= 50;
    }

    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
