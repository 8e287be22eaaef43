// Opening the Internet Explorer page with many search providers: the merge of the provider
// catalogue with the registry, and the list built from it.
//
// Prints, for 0 (the page's own cost, the baseline), 1,000 and 4,000 providers in both the
// registry and the catalogue (a quarter of them under an outdated address the merge renews):
// the time to open the page, the time above the baseline, and the floor of folding every
// compared text once. Exits 1 when 4,000 providers take 0.5 s or more above the baseline.
#include "app/deskforge/Machine.h"
#include "host/machine/Templates.h"
#include "host/text/Text.h"
#include "iexplorer/ufrmIE.h"
#include "iexplorer/ufrmIE7FrameSearchbar.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace ravelin;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

std::string num(unsigned i) {
    char b[16];
    std::snprintf(b, sizeof b, "%05u", i);
    return b;
}

std::string name(unsigned i) {
    return "Anbieter \xC3\x9C" + num(i);
}
std::string url(unsigned i) {
    return "https://s" + num(i) + ".example.org/?q={searchTerms}";
}
std::string oldUrl(unsigned i) {
    return "http://alt" + num(i) + ".example.org/?q={searchTerms}";
}

// A machine whose user has `n` providers, and a catalogue that knows them all.
void prepare(const fs::path& dir, unsigned n) {
    machine::createMachine(dir.string(), "winxp", RAVELIN_TEMPLATES);
    std::ofstream reg(dir / "user.reg", std::ios::app);
    for (unsigned i = 0; i < n; ++i) {
        const bool outdated = i % 4 == 0;
        reg << "\n[Software\\\\Microsoft\\\\Internet Explorer\\\\SearchScopes\\\\{" << num(i)
            << "}] 1796546821\n"
            << "\"DisplayName\"=\"" << name(i) << "\"\n"
            << "\"URL\"=\"" << (outdated ? oldUrl(i) : url(i)) << "\"\n";
    }
    fs::create_directories(dir / "share" / "de");
    std::ofstream xml(dir / "share" / "de" / "NXSearchscopes.xml");
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<orvex_deskforge><searchscopes>\n";
    for (unsigned i = 0; i < n; ++i) {
        xml << "<scope name=\"" << name(i) << "\"><Key>{" << num(i) << "}</Key><DisplayName>"
            << name(i) << "</DisplayName><URL>" << url(i) << "</URL>";
        if (i % 4 == 0) xml << "<Previous><URL>" << oldUrl(i) << "</URL></Previous>";
        xml << "</scope>\n";
    }
    xml << "</searchscopes></orvex_deskforge>\n";
}

struct Figures {
    double open = 0;
    double floor = 0;
    int shown = 0;
};

Figures measure(const fs::path& root, unsigned n) {
    const fs::path dir = root / ("n" + std::to_string(n));
    prepare(dir, n);
    setenv("DESKFORGE_SHARE", (dir / "share").c_str(), 1);
    iexplorer::IE7ForgetSearchscopeCatalogue();
    Figures f;
    {
        // Nothing reaches the disk: the renewals are made in memory.
        app::MachineSession session(dir.string(), app::MachineSession::Mode::DryRun);
        const auto t0 = Clock::now();
        iexplorer::TfrmIE page(nullptr);
        f.open = std::chrono::duration<double>(Clock::now() - t0).count();
        f.shown = iexplorer::IE7FrameSearchbar
                      ? iexplorer::IE7FrameSearchbar->lvSearchscopes->Count()
                      : -1;
    }
    const auto t0 = Clock::now();
    std::size_t sink = 0;
    for (unsigned i = 0; i < n; ++i)
        sink += text::foldName(name(i)).size() + text::foldName(url(i)).size() +
                text::foldName(oldUrl(i)).size() + text::foldName(name(i)).size();
    f.floor = std::chrono::duration<double>(Clock::now() - t0).count() + (sink == 0 ? 1 : 0);
    return f;
}

} // namespace

int main() {
    const fs::path root =
        fs::temp_directory_path() / ("ravelin-scopes-bench-" + std::to_string(::getpid()));
    toolkit::ScriptedDialogs dialogs(nullptr);
    toolkit::TApplication::Instance().SetDialogService(&dialogs);
    const Figures base = measure(root, 0);
    std::printf("%-34s %8.3f s  (%d providers shown)\n", "open, no providers (baseline)", base.open,
                base.shown);
    bool ok = true;
    for (unsigned n : {1000u, 4000u}) {
        const Figures f = measure(root, n);
        const double above = f.open - base.open;
        const bool met = n != 4000 || above < 0.5;
        ok = ok && met;
        std::printf("open, %u providers%*s %8.3f s  above baseline %.3f s  floor %.3f s  "
                    "(%d shown)%s\n",
                    n, n < 1000 ? 13 : 12, "", f.open, above, f.floor, f.shown,
                    n == 4000 ? (met ? "  goal < 0.5 s ok" : "  goal < 0.5 s MISSED") : "");
    }
    toolkit::TApplication::Instance().SetDialogService(nullptr);
    fs::remove_all(root);
    return ok ? 0 : 1;
}
