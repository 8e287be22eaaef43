// The host's Firefox units: prefs.js and user.js editing, profile choice, the profile
// lock, the installation's locked preferences and the unified diff of a dry run.
#include "host/Nxfilechanges.h"
#include "host/Prefsjseditor.h"
#include "host/Smallmozillastuff.h"
#include "host/registry/Types.h"
#include "tests/TestSupport.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ravelin;

namespace {

const std::string kData = std::string(RAVELIN_SOURCE_DIR) + "/tests/data/firefox/";

// A profile folder holding copies of the given files.
struct Profile {
    test::TempDir dir;
    std::string path() const { return dir.path() + "/"; }
    void put(const std::string& name, const std::string& text) {
        test::writeFile(path() + name, text);
    }
    std::string get(const std::string& name) const { return test::readFile(path() + name); }
};

TPrefsJSEditor loaded(const Profile& p) {
    TPrefsJSEditor e;
    e.Load(p.path() + "prefs.js");
    return e;
}

} // namespace

TEST(FireFoxPrefs, ReadsEveryKindOfValueAndIgnoresTheWrongType) {
    Profile p;
    p.put("prefs.js", test::readFile(kData + "prefs.js"));
    auto e = loaded(p);
    ASSERT_EQ(e.LoadError(), "");
    EXPECT_EQ(e.GetUserPrefStringValue("browser.download.dir", ""),
              "C:\\Dokumente und Einstellungen\\anna\\Desktop");
    EXPECT_EQ(e.GetUserPrefStringValue("browser.startup.homepage", ""),
              "http://www.ravelin-beispiel.de/?q=\"x\"");
    EXPECT_EQ(e.GetUserPrefIntegerValue("browser.link.open_newwindow", 3), 1);
    EXPECT_EQ(e.GetUserPrefIntegerValue("zz.sticky", 0), -5);
    EXPECT_TRUE(e.GetUserPrefBooleanValue("network.http.pipelining", false)) << "spaced out";
    EXPECT_EQ(e.GetUserPrefIntegerValue("browser.tabs.closeButtons", 1), 1)
        << "a string where a number belongs counts as absent";
    EXPECT_EQ(e.GetUserPrefIntegerValue("absent.pref", 42), 42);
    EXPECT_FALSE(e.GetUserPrefBooleanValue("browser.link.open_newwindow", false));
}

TEST(FireFoxPrefs, ChangesKeepEveryOtherByte) {
    Profile p;
    const std::string original = test::readFile(kData + "prefs.js");
    p.put("prefs.js", original);
    auto e = loaded(p);
    // In place: only the value's text changes, the odd spacing stays.
    e.SetUserPrefBooleanValue("network.http.pipelining", false);
    e.Save();
    std::string expected = original;
    expected.replace(expected.find("true ) ;"), 4, "false");
    EXPECT_EQ(p.get("prefs.js"), expected);
    // A new one goes where Firefox's order puts it; deleting it gives the file back.
    e.SetUserPrefIntegerValue("browser.tabs.tabMinWidth", 90);
    e.Save();
    std::string withNew = expected;
    withNew.insert(withNew.find("  user_pref ( \"network"),
                   "user_pref(\"browser.tabs.tabMinWidth\", 90);\n");
    EXPECT_EQ(p.get("prefs.js"), withNew);
    e.DeleteUserPrefSetting("browser.tabs.tabMinWidth");
    e.Save();
    EXPECT_EQ(p.get("prefs.js"), expected);
    // A string with characters that need escapes comes back as it went in.
    e.SetUserPrefStringValue("a.string", "say \"hi\"\\\n");
    e.Save();
    TPrefsJSEditor again = loaded(p);
    EXPECT_EQ(again.GetUserPrefStringValue("a.string", ""), "say \"hi\"\\\n");
    EXPECT_NE(p.get("prefs.js").find("user_pref(\"a.string\", \"say \\\"hi\\\"\\\\\\n\");\n"),
              std::string::npos);
}

TEST(FireFoxPrefs, AMissingFileGetsFirefoxsHeader) {
    Profile p;
    auto e = loaded(p);
    ASSERT_EQ(e.LoadError(), "");
    e.SetUserPrefBooleanValue("browser.blink_allowed", false);
    e.Save();
    const std::string text = p.get("prefs.js");
    EXPECT_EQ(text.rfind("// Mozilla User Preferences\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 43), "user_pref(\"browser.blink_allowed\", false);\n");
    EXPECT_EQ(PrefsJSHeader(2).rfind("# Mozilla User Preferences\n", 0), 0u)
        << "old versions wrote another header";
}

TEST(FireFoxPrefs, MalformedStatementsAreRefusedWithFileAndLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"user_pref(\"a\", 1);\nuser_pref(\"b\", );\n", "2"},
        {"user_pref(\"a\", 1)\n", "1"},
        {"\n\nuser_pref(\"a\", \"open);\n", "3"},
        {"user_pref(a, 1);\n", "1"},
        {"user_pref(\"a\", maybe);\n", "1"},
        {"user_pref(\"a\", 99999999999);\n", "1"},
        {"/* never closed\nuser_pref(\"a\", 1);\n", "1"},
    };
    for (const auto& [text, line] : cases) {
        SCOPED_TRACE(text);
        Profile p;
        p.put("prefs.js", text);
        auto e = loaded(p);
        EXPECT_NE(e.LoadError().find(p.path() + "prefs.js:" + line + ":"), std::string::npos)
            << e.LoadError();
        e.SetUserPrefBooleanValue("x", true);
        EXPECT_THROW(e.Save(), RegistryAccessError);
        EXPECT_EQ(p.get("prefs.js"), text) << "nothing written";
    }
}

TEST(FireFoxPrefs, UserJsWinsAndChangesGoToBothFiles) {
    Profile p;
    const std::string user = test::readFile(kData + "user.js");
    p.put("prefs.js", test::readFile(kData + "prefs.js"));
    p.put("user.js", user);
    auto e = loaded(p);
    ASSERT_EQ(e.LoadError(), "") << "an unknown statement in user.js is kept, not refused";
    EXPECT_EQ(e.GetUserPrefIntegerValue("ui.submenuDelay", -1), 100);
    EXPECT_FALSE(e.GetUserPrefBooleanValue("browser.blink_allowed", true));
    EXPECT_FALSE(e.SetByUserJS("browser.urlbar.autoFill")) << "commented out";

    e.SetUserPrefIntegerValue("ui.submenuDelay", 300);
    e.Save();
    std::string expectedUser = user;
    expectedUser.replace(expectedUser.find("100"), 3, "300");
    EXPECT_EQ(p.get("user.js"), expectedUser) << "CR LF and every other line kept";
    EXPECT_NE(p.get("prefs.js").find("user_pref(\"ui.submenuDelay\", 300);"), std::string::npos);

    // A preference only user.js sets is written to prefs.js too.
    e.SetUserPrefBooleanValue("browser.blink_allowed", true);
    e.Save();
    EXPECT_NE(p.get("prefs.js").find("user_pref(\"browser.blink_allowed\", true);"),
              std::string::npos);

    // Deleting comments the statement out, so that the next start does not set it again.
    e.DeleteUserPrefSetting("ui.submenuDelay");
    e.Save();
    EXPECT_NE(p.get("user.js").find("\r\n// user_pref(\"ui.submenuDelay\", 300);\r\n"),
              std::string::npos);
    EXPECT_EQ(p.get("prefs.js").find("ui.submenuDelay"), std::string::npos);
    EXPECT_EQ(loaded(p).GetUserPrefIntegerValue("ui.submenuDelay", -1), -1);
}

TEST(FireFoxPrefs, RealFilesComeBackByteForByte) {
    // Our own files, and the corpus's real ones where it is present.
    std::vector<std::filesystem::path> paths;
    for (const std::string& dir :
         {kData, test::corpusDir().empty() ? std::string() : test::corpusDir() + "/prefs"}) {
        if (dir.empty()) continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".js") paths.push_back(entry.path());
    }
    ASSERT_GE(paths.size(), 2u);
    for (const auto& path : paths) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        const std::string original = test::readFile(path.string());
        Profile p;
        const bool isUserJs = name.find("user.js") != std::string::npos;
        p.put(isUserJs ? "user.js" : "prefs.js", original);
        auto e = loaded(p);
        ASSERT_EQ(e.LoadError(), "");
        // Every statement as Firefox reads it; then a change and its reversal.
        auto file = PrefsJSFile::parse(original, name);
        ASSERT_FALSE(file.statements().empty());
        // A preference set once, so that putting its value back restores the file.
        const auto& all = file.statements();
        auto once = std::find_if(all.begin(), all.end(), [&](const auto& s) {
            return std::count_if(all.begin(), all.end(),
                                 [&](const auto& o) { return o.name == s.name; }) == 1;
        });
        ASSERT_NE(once, all.end());
        const std::string name1 = once->name;
        const PrefValue value = once->value;
        PrefValue other = value;
        if (other.kind == PrefValue::Kind::Bool) other.boolean = !other.boolean;
        if (other.kind == PrefValue::Kind::Int) other.integer += 1;
        if (other.kind == PrefValue::Kind::String) other.text += "x";
        ASSERT_TRUE(file.set(name1, other, true));
        EXPECT_EQ(file.find(name1)->value, other);
        ASSERT_TRUE(file.set(name1, value, true));
        EXPECT_EQ(file.text(), original);
        // A new preference, inserted and deleted again.
        ASSERT_TRUE(file.set("ravelin.test.new", PrefValue::Int(7), true));
        EXPECT_NE(file.text().find("user_pref(\"ravelin.test.new\", 7);"), std::string::npos);
        ASSERT_TRUE(file.remove("ravelin.test.new", false));
        EXPECT_EQ(file.text(), original);
    }
}

TEST(FireFoxPrefs, TheDefaultProfileComesFirst) {
    struct Case {
        const char* profiles;
        const char* installs;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // An installation's choice wins over Default=1.
        {"[Profile1]\nName=a\nIsRelative=1\nPath=a.default\nDefault=1\n\n[Profile0]\nName=b\n"
         "IsRelative=1\nPath=b.default-release\n\n[Install1234]\nDefault=b.default-release\n"
         "Locked=1\n",
         "",
         {"R/b.default-release/", "R/a.default/"}},
        // installs.ini alone names it.
        {"[Profile0]\nPath=Profiles/x.one\n[Profile1]\nPath=Profiles/y.two\n",
         "[ABCD]\nDefault=Profiles/y.two\nLocked=1\n",
         {"R/Profiles/y.two/", "R/Profiles/x.one/"}},
        // Before installations: Default=1, else file order; absolute paths as they are.
        {"[Profile0]\nPath=one\n[Profile1]\nIsRelative=0\nPath=/abs/two\nDefault=1\n",
         "",
         {"/abs/two/", "R/one/"}},
        {"[General]\nStartWithLastProfile=1\n[Profile0]\nPath=one\n[Profile1]\nPath=two\n",
         "",
         {"R/one/", "R/two/"}},
        // A default no section lists, and Windows' backslashes.
        {"[Profile0]\nPath=Profiles\\old\n",
         "[X]\nDefault=Profiles/new\n",
         {"R/Profiles/new/", "R/Profiles/old/"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profiles);
        EXPECT_EQ(ProfilePathsFromIni("R/", c.profiles, c.installs), c.expected);
    }
}

TEST(FireFoxPrefs, RealProfileListsNameTheInstallationsProfile) {
    // Our own pairs of files as Firefox writes them, and the corpus's where it is present.
    std::vector<std::pair<std::string, std::string>> cases = {
        {kData + "esr", "R/p7r4m1ze.default-esr/"},
        {kData + "windows", "R/Profiles/w8c2d5hn.default-release/"},
    };
    if (const std::string corpus = test::corpusDir(); !corpus.empty()) {
        cases.emplace_back(corpus + "/prefs/borodin", "R/mz8hqsuw.default-esr/");
        cases.emplace_back(corpus + "/prefs/13isgreen", "R/wx6b4e5l.default-release/");
        cases.emplace_back(corpus + "/prefs/mrcapivaro_windows", "R/Profiles/c4p1v4r0.mrcapivaro/");
    }
    for (const auto& [base, first] : cases) {
        SCOPED_TRACE(base);
        auto list = ProfilePathsFromIni("R/", test::readFile(base + "_profiles.ini"),
                                        test::readFile(base + "_installs.ini"));
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.front(), first);
        // And from profiles.ini alone, whose Install section says the same.
        EXPECT_EQ(ProfilePathsFromIni("R/", test::readFile(base + "_profiles.ini"), "").front(),
                  first);
    }
}

TEST(FireFoxPrefs, ALiveLockRefusesAndAStaleOneDoesNot) {
    Profile p;
    EXPECT_EQ(FirefoxProfileInUse(p.path()), "");
    // The symbolic link Firefox leaves: our own pid is surely running.
    const std::string live = "127.0.1.1:+" + std::to_string(::getpid());
    ASSERT_EQ(::symlink(live.c_str(), (p.path() + "lock").c_str()), 0);
    EXPECT_NE(FirefoxProfileInUse(p.path()).find(std::to_string(::getpid())), std::string::npos);
    // A child that has ended leaves a stale lock.
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    ::unlink((p.path() + "lock").c_str());
    ASSERT_EQ(
        ::symlink(("127.0.1.1:+" + std::to_string(child)).c_str(), (p.path() + "lock").c_str()), 0);
    EXPECT_EQ(FirefoxProfileInUse(p.path()), "");

    // An fcntl lock on .parentlock, held by another process.
    p.put(".parentlock", "");
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        int fd = ::open((p.path() + ".parentlock").c_str(), O_RDWR);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        ::fcntl(fd, F_SETLK, &fl);
        char c = 1;
        (void)!::write(ready[1], &c, 1);
        (void)!::read(release[0], &c, 1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_NE(FirefoxProfileInUse(p.path()).find(std::to_string(holder)), std::string::npos);
    // The editor refuses to write, and leaves the file alone.
    p.put("prefs.js", "user_pref(\"a\", 1);\n");
    auto e = loaded(p);
    e.SetUserPrefIntegerValue("a", 2);
    EXPECT_THROW(e.Save(), RegistryAccessError);
    EXPECT_EQ(p.get("prefs.js"), "user_pref(\"a\", 1);\n");
    EXPECT_EQ(e.GetUserPrefIntegerValue("a", 0), 1) << "the refused change is forgotten";
    (void)!::write(release[1], &c, 1);
    ::waitpid(holder, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);
    EXPECT_EQ(FirefoxProfileInUse(p.path()), "");

    // A Windows drive: parent.lock exists only while Firefox runs.
    p.put("parent.lock", "");
    EXPECT_NE(FirefoxProfileInUse(p.path()), "");
}

TEST(FireFoxPrefs, TheInstallationLocksPreferences) {
    test::TempDir install;
    std::filesystem::create_directories(install.path() + "/distribution");
    std::filesystem::create_directories(install.path() + "/defaults/pref");
    test::writeFile(install.path() + "/distribution/policies.json",
                    R"({"policies": {"Preferences": {
                        "network.http.pipelining": {"Value": false, "Status": "locked"},
                        "browser.urlbar.autoFill": {"Value": true, "Status": "default"},
                        "ui.submenuDelay": 0}}})");
    test::writeFile(install.path() + "/defaults/pref/autoconfig.js",
                    "pref(\"general.config.filename\", \"ravelin.cfg\");\n");
    // The autoconfig file, obscured as Firefox expects by default (every byte plus 13).
    std::string cfg = "// first line\nlockPref(\"browser.blink_allowed\", false);\n";
    for (char& ch : cfg)
        ch = static_cast<char>(ch + 13);
    test::writeFile(install.path() + "/ravelin.cfg", cfg);
    SetFirefoxInstallDir(install.path());
    Profile p;
    auto e = loaded(p);
    SetFirefoxInstallDir("");
    EXPECT_NE(e.LockedReason("network.http.pipelining"), "");
    EXPECT_NE(e.LockedReason("ui.submenuDelay"), "") << "the first form locked every value";
    EXPECT_EQ(e.LockedReason("browser.urlbar.autoFill"), "") << "a default is no lock";
    EXPECT_NE(e.LockedReason("browser.blink_allowed").find("ravelin.cfg"), std::string::npos);
    EXPECT_EQ(e.LockedReason("browser.tabs.closeButtons"), "");
}

TEST(FireFoxPrefs, UnifiedDiffOfAFileChange) {
    const std::string before = "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\n";
    const std::string after = "a\nb\nc\nd\nE\nf\ng\nh\ni\nj\nk";
    EXPECT_EQ(UnifiedDiff("/p/x", before, after), "--- /p/x\n+++ /p/x\n"
                                                  "@@ -2,9 +2,10 @@\n"
                                                  " b\n c\n d\n-e\n+E\n f\n g\n h\n i\n j\n"
                                                  "+k\n\\ No newline at end of file\n");
    EXPECT_EQ(UnifiedDiff("/p/x", std::nullopt, std::string("new\n")),
              "--- /dev/null\n+++ /p/x\n@@ -0,0 +1 @@\n+new\n");
    EXPECT_EQ(UnifiedDiff("/p/x", before, before), "");
}
