// The Firefox page against a real Firefox (Debian's firefox-esr, where it is installed):
// a profile Firefox made itself, every control's write kept through a start of Firefox,
// and every writing command refused while Firefox runs with the profile. Firefox runs
// headless, offline, and is ended after a few seconds each time.
#include "host/Prefsjseditor.h"
#include "host/Smallmozillastuff.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ravelin;

namespace {

std::string findProgram() {
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/bin:/bin";
    for (const char* name : {"firefox-esr", "firefox"}) {
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t colon = list.find(':', start);
            if (colon == std::string::npos) colon = list.size();
            const std::string candidate = list.substr(start, colon - start) + "/" + name;
            start = colon + 1;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
    }
    return {};
}

struct Result {
    int rc = -1;
    std::string out;
};

// Runs a program with HOME set, its output in a file; `seconds` from its start bound it,
// and `whileRunning` (then SIGTERM, which Firefox answers by quitting and writing its
// preferences, then SIGKILL).
Result runProgram(const std::vector<std::string>& argv, const std::string& home, double seconds,
                  const std::function<void()>& whileRunning = {}) {
    static int runs = 0; // a Firefox still running keeps writing into its own log
    const std::string log = home + "/.run" + std::to_string(++runs) + ".log";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("MOZ_HEADLESS", "1", 1);
        ::setenv("MOZ_CRASHREPORTER_DISABLE", "1", 1);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        FILE* f = std::freopen(log.c_str(), "w", stdout);
        (void)f;
        ::dup2(STDOUT_FILENO, STDERR_FILENO);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    if (whileRunning) whileRunning();
    int status = 0;
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!ended) {
        // A loaded machine may need long for Firefox to quit and save: give it a minute.
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 600 && !ended; ++i) {
            if (::waitpid(pid, &status, WNOHANG) == pid) ended = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
    }
    Result r;
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = test::readFile(log);
    return r;
}

bool waitFor(const std::function<bool()>& ready, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// Preferences that keep Firefox off the network and quiet for a short headless run. They
// go into user.js, which the page's preferences do not touch.
const char* const kOffline = "user_pref(\"network.proxy.type\", 1);\n"
                             "user_pref(\"network.proxy.http\", \"127.0.0.1\");\n"
                             "user_pref(\"network.proxy.http_port\", 9);\n"
                             "user_pref(\"network.proxy.ssl\", \"127.0.0.1\");\n"
                             "user_pref(\"network.proxy.ssl_port\", 9);\n"
                             "user_pref(\"network.proxy.share_proxy_settings\", true);\n"
                             "user_pref(\"network.proxy.no_proxies_on\", \"\");\n"
                             "user_pref(\"network.dns.disabled\", true);\n"
                             "user_pref(\"network.connectivity-service.enabled\", false);\n"
                             "user_pref(\"network.captive-portal-service.enabled\", false);\n"
                             "user_pref(\"app.update.enabled\", false);\n"
                             "user_pref(\"app.normandy.enabled\", false);\n"
                             "user_pref(\"browser.safebrowsing.update.enabled\", false);\n"
                             "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                             "user_pref(\"toolkit.telemetry.enabled\", false);\n"
                             "user_pref(\"extensions.update.enabled\", false);\n"
                             "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n";

} // namespace

TEST(FireFoxReal, EveryWriteSurvivesAStartAndARunningFirefoxIsRefused) {
    const std::string firefox = findProgram();
    if (firefox.empty())
        RAVELIN_SKIP_WITHOUT_TOOL(
            "firefox-esr is not installed (scripts/install-deps installs it)");
    const std::string deskforge = RAVELIN_DESKFORGE;
    test::TempDir home, machine;
    test::createSampleMachine(machine.path(), "winxp");
    const std::string profile = home.path() + "/profile";

    // A profile as Firefox makes it, and Firefox's own first start on it.
    Result made = runProgram({firefox, "--headless", "-CreateProfile", "ravelin " + profile},
                             home.path(), 60);
    ASSERT_TRUE(std::filesystem::is_directory(profile)) << made.out;
    std::string root;
    for (const char* dir : {"/.config/mozilla/firefox", "/.mozilla/firefox"})
        if (std::filesystem::exists(home.path() + dir + "/profiles.ini")) root = home.path() + dir;
    ASSERT_FALSE(root.empty()) << "Firefox wrote no profiles.ini";
    test::writeFile(profile + "/user.js", kOffline);
    const std::vector<std::string> start = {firefox,     "--headless", "--no-remote",
                                            "--profile", profile,      "about:blank"};
    runProgram(start, home.path(), 8);
    ASSERT_TRUE(std::filesystem::exists(profile + "/prefs.js"));

    auto deskforgeRun = [&](std::vector<std::string> args) {
        std::vector<std::string> argv = {deskforge,        "--machine", machine.path(),
                                         "--firefox-root", root,        "--firefox-profile",
                                         "ravelin"};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv, home.path(), 60);
    };
    // Every control of the page to a value Firefox does not have by default.
    test::writeFile(home.path() + "/script",
                    "check chkDisableBlinkingText on\nclick rbErrorPageDisabled\n"
                    "click rbSideBarRight\ncheck chkDisableMarqueeText on\n"
                    "tab tsUI\ncheck chkUrlBarAutoFill on\ncheck chkUrlBarAutoFill off\n"
                    "check chkGoButton off\nclick rbShowMenuAfterDelay\n"
                    "spin tbMenuShowDelay 450\nfocus rbShowMenuAfterDelay\n"
                    "tab tsWindows\nclick rbOpenSameTab\n"
                    "tick lvJavaScript \"Veränderung der Fenstergröße\" on\n"
                    "tick lvJavaScript \"Minimierung von Fenster\" off\n"
                    "tick lvJavaScript \"Verstecken der Menüleiste\" off\n"
                    "tick lvJavaScript \"Verstecken der Symbolleiste\" on\n"
                    "tick lvJavaScript \"Verstecken der Bildlaufleisten\" off\n"
                    "tab tsTabs\nselect cbCloseTabs \"Nur auf dem aktiven Tab\"\n"
                    "spin udeTabMinWidth 150\ncheck chkActiveTabColor on\n"
                    "tab tsPerformance\nanswer yes\ncheck chkPipelining on\n");
    Result changed = deskforgeRun({"run", "firefox", home.path() + "/script"});
    ASSERT_EQ(changed.rc, 0) << changed.out;

    const std::pair<const char*, const char*> expected[] = {
        {"browser.blink_allowed", "false"},
        {"browser.xul.error_pages.enabled", "false"},
        {"toolkit.legacyUserProfileCustomizations.stylesheets", "true"},
        {"browser.urlbar.autoFill", "false"},
        {"browser.urlbar.hideGoButton", "true"},
        {"ui.submenuDelay", "450"},
        {"browser.link.open_newwindow", "1"},
        {"dom.disable_window_open_feature.resizable", "false"},
        {"dom.disable_window_open_feature.minimizable", "true"},
        {"dom.disable_window_open_feature.menubar", "true"},
        {"dom.disable_window_open_feature.location", "false"},
        {"dom.disable_window_open_feature.scrollbars", "true"},
        {"browser.tabs.closeButtons", "0"},
        {"browser.tabs.tabMinWidth", "150"},
        {"network.http.pipelining", "true"},
        {"network.http.proxy.pipelining", "true"},
        {"network.http.pipelining.ssl", "true"},
        {"network.http.pipelining.maxrequests", "8"},
    };
    auto checkPrefs = [&](const char* when) {
        const std::string prefs = test::readFile(profile + "/prefs.js");
        for (const auto& [name, value] : expected)
            EXPECT_NE(prefs.find("user_pref(\"" + std::string(name) + "\", " + value + ");"),
                      std::string::npos)
                << name << " " << when;
    };
    checkPrefs("after the page wrote it");
    const std::string chrome = test::readFile(profile + "/chrome/userChrome.css");
    const std::string content = test::readFile(profile + "/chrome/userContent.css");
    ASSERT_NE(chrome.find("direction: rtl"), std::string::npos);
    ASSERT_NE(content.find("-moz-binding: none"), std::string::npos);

    // Firefox runs: every writing command refuses, with the page's reason, and nothing
    // of the profile changes.
    Result list = deskforgeRun({"journal", "list"});
    std::string firstTxn;
    for (std::size_t at = 0; at < list.out.size();) {
        std::size_t nl = list.out.find('\n', at);
        std::string line = list.out.substr(at, nl == std::string::npos ? nl : nl - at);
        if (firstTxn.empty() && !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
            firstTxn = line.substr(0, line.find_first_not_of("0123456789"));
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    ASSERT_FALSE(firstTxn.empty()) << list.out;
    // A value user.js brings makes Firefox rewrite prefs.js, whatever else it does.
    test::writeFile(profile + "/user.js",
                    std::string(kOffline) + "user_pref(\"ravelin.test.run\", 2);\n");
    const std::string sheet = profile + "/chrome/userContent.css";
    runProgram(start, home.path(), 2, [&] {
        ASSERT_TRUE(waitFor([&] { return !FirefoxProfileInUse(profile).empty(); }, 30))
            << "Firefox did not take the profile";
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const std::vector<std::vector<std::string>> commands = {
            {"journal", "undo", firstTxn},       {"journal", "undo", firstTxn, "--force"},
            {"journal", "redo", firstTxn},       {"css", "set", sheet, "marquee", "color", "red"},
            {"css", "delete", sheet, "marquee"}, {"run", "firefox", home.path() + "/script"},
        };
        for (const auto& c : commands) {
            std::vector<std::string> css = {deskforge, "--machine", machine.path()};
            css.insert(css.end(), c.begin(), c.end());
            Result r = c[0] == "css" ? runProgram(css, home.path(), 60) : deskforgeRun(c);
            EXPECT_EQ(r.rc, 1) << c[0] << " " << c[1] << ": " << r.out;
            EXPECT_NE(r.out.find("läuft mit dem Profil"), std::string::npos)
                << c[0] << " " << c[1] << ": " << r.out;
        }
        // Firefox saves prefs.js itself while it runs, so the file may differ: what must
        // hold is that no refused command reached it or the journal.
        checkPrefs("while Firefox ran");
        EXPECT_EQ(deskforgeRun({"journal", "list"}).out, list.out);
        // Long enough a run for Firefox to settle before it is ended.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_EQ(test::readFile(sheet), content);
    });
    // Firefox has rewritten prefs.js on its way out: every change is still there.
    ASSERT_NE(test::readFile(profile + "/prefs.js").find("user_pref(\"ravelin.test.run\", 2);"),
              std::string::npos)
        << "Firefox did not rewrite prefs.js";
    checkPrefs("after Firefox ran");
    EXPECT_EQ(test::readFile(profile + "/chrome/userChrome.css"), chrome);
    EXPECT_EQ(test::readFile(profile + "/chrome/userContent.css"), content);
}
