#include "host/Nxapps.h"

#include "host/Nxhelper.h"
#include "host/Nxregistry.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>

namespace ravelin {

namespace {

constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kOutlookExpress = "Software\\Microsoft\\Outlook Express";
constexpr const char* kMessengerService = "SOFTWARE\\Microsoft\\MessengerService";
constexpr const char* kLiveMessenger = "SOFTWARE\\Microsoft\\Windows Live\\Messenger";
constexpr DWORD kHideMessenger = 2;

// Both messengers are 32-bit programs: on a 64-bit Windows their keys are in the 32-bit
// view; a 32-bit Windows has only the one view.
std::string readProgramString(const std::string& key, const std::string& name) {
    for (RegOptions view : {RegOptions{1}, RegOptions{2}}) {
        std::string value;
        if (GetRegStringValue(HKEY_LOCAL_MACHINE, key, name, value, view) == ERROR_SUCCESS &&
            !value.empty())
            return value;
    }
    return {};
}

std::string withBackslash(std::string folder) {
    if (!folder.empty() && folder.back() != '\\') folder.push_back('\\');
    return folder;
}

std::string programFiles() {
    std::string dir =
        GetRegStringValueDef(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                             "ProgramFilesDir", "", {1});
    return withBackslash(dir.empty() ? "C:\\Program Files" : dir);
}

// The program file of a messenger, where its installation says it is.
std::string messengerProgram(const char* key, const char* folder, const char* exe) {
    std::string dir = readProgramString(key, "InstallationDirectory");
    if (dir.empty()) dir = programFiles() + folder;
    return withBackslash(dir) + exe;
}

std::string windowsMessengerProgram() {
    return messengerProgram(kMessengerService, "Messenger", "msmsgs.exe");
}
std::string liveMessengerProgram() {
    return messengerProgram(kLiveMessenger, "Windows Live\\Messenger", "msnmsgr.exe");
}

bool runEntry(const char* name) {
    std::string command;
    return GetRegStringValue(HKEY_CURRENT_USER, kRun, name, command, {}) == ERROR_SUCCESS &&
           !command.empty();
}

void setRunEntry(const char* name, bool start, const std::string& program) {
    if (start)
        SetRegStringValue(HKEY_CURRENT_USER, kRun, name, "\"" + program + "\" /background", {});
    else
        DeleteRegValue(HKEY_CURRENT_USER, kRun, name, {});
}

std::string officeKey(int major, const std::string& rest) {
    return "Software\\Microsoft\\Office\\" + OfficeVersionKey(major) + rest;
}

// Splits a command line into its program (quoted or up to the first blank) and the rest.
std::pair<std::string, std::string> splitCommand(const std::string& command) {
    std::size_t start = command.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    std::size_t end;
    std::string program;
    if (command[start] == '"') {
        end = command.find('"', start + 1);
        if (end == std::string::npos) return {command.substr(start + 1), ""};
        program = command.substr(start + 1, end - start - 1);
        ++end;
    } else {
        end = command.find(' ', start);
        if (end == std::string::npos) end = command.size();
        program = command.substr(start, end - start);
    }
    std::size_t rest = command.find_first_not_of(' ', end);
    return {program, rest == std::string::npos ? std::string() : command.substr(rest)};
}

} // namespace

TFileVersionIdentification GetOutlookVersion() {
    machine::Machine* m = CurrentMachine();
    return m ? m->outlookVersion() : TFileVersionIdentification{};
}

std::string OfficeVersionKey(int major) {
    return std::to_string(major) + ".0";
}

std::vector<std::string> GetInstalledMessengerList() {
    std::vector<std::string> list;
    if (!readProgramString(kLiveMessenger, "InstallationDirectory").empty() &&
        NXFileExists(liveMessengerProgram()))
        list.emplace_back("Live Messenger");
    if (!readProgramString(kMessengerService, "InstallationDirectory").empty() &&
        NXFileExists(windowsMessengerProgram()))
        list.emplace_back("Windows Messenger");
    return list;
}

bool MessengerListed(const std::vector<std::string>& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(),
                       [&](const std::string& entry) { return text::namesEqual(entry, name); });
}

bool GetWindowsMessengerStartupWindows() {
    return runEntry("MSMSGS");
}
void SetWindowsMessengerStartupWindows(bool start) {
    setRunEntry("MSMSGS", start, windowsMessengerProgram());
}

bool GetWindowsMessengerStartupOutlookExpress() {
    DWORD hide = 0;
    return GetRegDWORDValue(HKEY_LOCAL_MACHINE, kOutlookExpress, "Hide Messenger", hide, {}) !=
               ERROR_SUCCESS ||
           hide != kHideMessenger;
}
void SetWindowsMessengerStartupOutlookExpress(bool start) {
    if (start) {
        if (RegValueExists(HKEY_LOCAL_MACHINE, kOutlookExpress, "Hide Messenger", {}))
            DeleteRegValue(HKEY_LOCAL_MACHINE, kOutlookExpress, "Hide Messenger", {});
    } else {
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, kOutlookExpress, "Hide Messenger", kHideMessenger, {});
    }
}

bool GetWindowsMessengerStartupOfficeOutlook(int outlookMajor) {
    return GetRegSetting(HKEY_CURRENT_USER, officeKey(outlookMajor, "\\Outlook\\IM"), "Enabled",
                         true, {});
}
void SetWindowsMessengerStartupOfficeOutlook(bool start, int outlookMajor) {
    SetRegDWORDValue(HKEY_CURRENT_USER, officeKey(outlookMajor, "\\Outlook\\IM"), "Enabled",
                     start ? 1u : 0u, {});
}

bool GetLiveMessengerStartupWindows() {
    return runEntry("msnmsgr");
}
void SetLiveMessengerStartupWindows(bool start) {
    setRunEntry("msnmsgr", start, liveMessengerProgram());
}

bool GetOfficeQuestionFieldSetting(int major) {
    return !GetRegSetting(HKEY_CURRENT_USER, officeKey(major, "\\Common\\Toolbars\\Outlook"),
                          "DisableAskAQuestionDropdown", false, {});
}
void SetOfficeQuestionField(int major, bool shown) {
    SetRegDWORDValue(HKEY_CURRENT_USER, officeKey(major, "\\Common\\Toolbars\\Outlook"),
                     "DisableAskAQuestionDropdown", shown ? 0u : 1u, {});
}

// ---- Uninstallers ----

void TNXWindowsMessenger::Refresh() {
    installed_ = MessengerListed(GetInstalledMessengerList(), "Windows Messenger");
}

bool TNXWindowsMessenger::UnInstall(bool quiet) {
    error_.clear();
    const std::string inf = GetWinDir() + "\\INF\\msmsgs.inf";
    if (!NXFileExists(inf)) {
        error_ = text::trf("Die Installationsdatei \"%1\" fehlt.", inf);
        return false;
    }
    const std::string rundll = GetSysDir() + "\\rundll32.exe";
    const std::string parameters = "advpack.dll,LaunchINFSection " + inf + ",BLC.Remove";
    if (ShellExecuteWrapper(rundll, parameters, "", quiet ? 0 : 1) <= 32) {
        error_ = text::trf("\"%1\" konnte nicht gestartet werden.", rundll);
        return false;
    }
    return true;
}

void TNXLiveMessenger::Refresh() {
    installed_ = MessengerListed(GetInstalledMessengerList(), "Live Messenger");
}

bool TNXLiveMessenger::UnInstall(bool quiet) {
    error_.clear();
    // The entry the program's setup made in the list of installed programs.
    std::string command;
    for (RegOptions view : {RegOptions{1}, RegOptions{2}}) {
        std::vector<std::string> entries;
        EnumRegKeysEx(HKEY_LOCAL_MACHINE, kUninstall, entries, view);
        for (const auto& entry : entries) {
            const std::string key = std::string(kUninstall) + "\\" + entry;
            if (!text::namesEqual(
                    GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, "DisplayName", "", view),
                    "Windows Live Messenger"))
                continue;
            command = GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, "UninstallString", "", view);
            if (!command.empty()) break;
        }
        if (!command.empty()) break;
    }
    auto [program, parameters] = splitCommand(command);
    if (program.empty()) {
        error_ = text::tr(
            "Für den Windows Live Messenger ist kein Deinstallationsprogramm eingetragen.");
        return false;
    }
    // The installer service takes a reduced user interface; other uninstallers have their
    // own switches, which we do not guess.
    const std::string name = text::foldName(program);
    if (quiet && (name == "msiexec" || name == "msiexec.exe" || name.ends_with("\\msiexec.exe")))
        parameters += parameters.empty() ? "/qb" : " /qb";
    if (ShellExecuteWrapper(program, parameters, "", 1) <= 32) {
        error_ = text::trf("\"%1\" konnte nicht gestartet werden.", program);
        return false;
    }
    return true;
}

} // namespace ravelin
