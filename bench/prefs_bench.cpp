// Reading and changing a large prefs.js against the floor of one memchr pass over its
// bytes. Prints the figures; exits 1 when a goal is missed.
#include "host/Prefsjseditor.h"

#include "bench/BenchTiming.h"

#include <cstdio>
#include <string>

using ravelin::PrefsJSFile;
using ravelin::PrefValue;
using ravelin::bench::best;
using ravelin::bench::memchrFloor;

namespace {

// What Firefox writes: its header, then one user_pref a line, sorted by name, with the
// three kinds of values and the escapes strings carry.
std::string generate(std::size_t target) {
    std::string text = ravelin::PrefsJSHeader(115);
    char name[64];
    for (unsigned i = 0; text.size() < target; ++i) {
        std::snprintf(name, sizeof name, "ravelin.bench.p%08u", i);
        switch (i % 4) {
        case 0:
            text +=
                "user_pref(\"" + std::string(name) + "\", " + (i % 8 ? "true" : "false") + ");\n";
            break;
        case 1:
            text += "user_pref(\"" + std::string(name) + "\", " +
                    std::to_string(i * 7919 % 100000) + ");\n";
            break;
        case 2:
            text += "user_pref(\"" + std::string(name) +
                    "\", "
                    "\"{\\\"id\\\":\\\"x\\\",\\\"list\\\":[1,2,3],\\\"path\\\":\\\"C:"
                    "\\\\\\\\Users\\\"}\");\n";
            break;
        default:
            text +=
                "user_pref(\"" + std::string(name) +
                "\", \"https://example.org/some/longer/address?with=query&n=" + std::to_string(i) +
                "\");\n";
            break;
        }
    }
    return text;
}

} // namespace

int main() {
    const std::string bytes = generate(10 << 20);
    std::size_t lines = 0;
    double floor = memchrFloor(bytes, lines);
    std::size_t statements = 0;
    double parse =
        best([&] { statements = PrefsJSFile::parse(bytes, "prefs.js").statements().size(); }, 5);
    PrefsJSFile file = PrefsJSFile::parse(bytes, "prefs.js");
    char middle[64];
    std::snprintf(middle, sizeof middle, "ravelin.bench.p%08zu",
                  (statements / 2) & ~std::size_t{3});
    bool flip = false;
    double change = best(
        [&] {
            flip = !flip;
            file.set(middle, PrefValue::Bool(flip), true);
        },
        10);
    double insertDelete = best(
        [&] {
            file.set("ravelin.bench.p00000001a", PrefValue::Int(1), true);
            file.remove("ravelin.bench.p00000001a", false);
        },
        10);
    double lookup = best([&] { (void)file.find("ravelin.bench.zzz"); }, 10);
    double copy = best(
        [&] {
            std::string again = bytes;
            (void)again;
        },
        10);

    std::printf("prefs.js: %.2f MB, %zu lines, %zu statements\n\n", bytes.size() / 1e6, lines,
                statements);
    std::printf("%-40s %9.3f ms\n", "floor: memchr over the bytes", floor * 1e3);
    std::printf("%-40s %9.3f ms\n", "copying the bytes once", copy * 1e3);
    const bool ok = parse < 0.5;
    std::printf("%-40s %9.3f ms  %.1fx floor  goal < 500 ms  %s\n", "parse", parse * 1e3,
                parse / floor, ok ? "ok" : "MISSED");
    const bool changeOk = change * 5 < parse;
    std::printf("%-40s %9.3f ms  %.1fx cheaper than a parse  %s\n", "one change (one splice)",
                change * 1e3, parse / change, changeOk ? "ok" : "MISSED");
    std::printf("%-40s %9.3f ms\n", "insert and delete a preference", insertDelete * 1e3);
    std::printf("%-40s %9.3f ms\n", "look up a preference", lookup * 1e3);
    return ok && changeOk ? 0 : 1;
}
