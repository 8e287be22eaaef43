// The host's helpers for the mail and chat programs: which Outlook is installed, which
// messengers, where their start-up settings live, Office's question field, and removing a
// messenger. Everything is read from and written to the machine the host has bound
// (SetCurrentMachine, SetCurrentRegistry); removing a program is a request to the
// machine's launcher, never a deletion of our own.
//
// Where the settings are kept:
//   - Windows Messenger with Windows: HKCU "...\CurrentVersion\Run", value "MSMSGS";
//     Live Messenger with Windows: the same key, value "msnmsgr" (present = starts).
//   - Windows Messenger with Outlook Express: HKLM "Software\Microsoft\Outlook Express",
//     "Hide Messenger" (2 = Outlook Express neither shows nor starts it).
//   - A messenger with Office Outlook: HKCU "Software\Microsoft\Office\<v>\Outlook\IM",
//     "Enabled" (DWORD, 1 when missing).
//   - The question field: HKCU "Software\Microsoft\Office\<v>\Common\Toolbars\Outlook",
//     "DisableAskAQuestionDropdown" (DWORD, shown when missing or 0).
#pragma once

#include "host/Nxsystem.h"

#include <string>
#include <vector>

namespace ravelin {

// The installed Outlook (major 0 when absent); text() is its Office version key ("11.0").
TFileVersionIdentification GetOutlookVersion();
// The Office version key of a major version: "11.0" for 11.
std::string OfficeVersionKey(int major);

// The messengers whose program is on the machine: "Windows Messenger", "Live Messenger".
std::vector<std::string> GetInstalledMessengerList();
// Whether the list holds the name, compared without regard to case.
bool MessengerListed(const std::vector<std::string>& list, const std::string& name);

bool GetWindowsMessengerStartupWindows();
void SetWindowsMessengerStartupWindows(bool start);
bool GetWindowsMessengerStartupOutlookExpress();
void SetWindowsMessengerStartupOutlookExpress(bool start);
bool GetWindowsMessengerStartupOfficeOutlook(int outlookMajor);
void SetWindowsMessengerStartupOfficeOutlook(bool start, int outlookMajor);
bool GetLiveMessengerStartupWindows();
void SetLiveMessengerStartupWindows(bool start);

bool GetOfficeQuestionFieldSetting(int major);
void SetOfficeQuestionField(int major, bool shown);

// A messenger's uninstaller. Refresh() reads whether the program is installed;
// UnInstall() asks the machine's launcher to run the program's own uninstaller and
// returns false, with Error() saying why, when that cannot be done.
class TNXMessengerUninstaller {
  public:
    virtual ~TNXMessengerUninstaller() = default;
    virtual void Refresh() = 0;
    bool GetIsInstalled() const { return installed_; }
    virtual bool UnInstall(bool quiet) = 0;
    const std::string& Error() const { return error_; }

  protected:
    bool installed_ = false;
    std::string error_;
};

class TNXWindowsMessenger final : public TNXMessengerUninstaller {
  public:
    void Refresh() override;
    bool Installed() const { return installed_; }
    // Runs the system's removal of the messenger component (its setup information file).
    bool UnInstall(bool quiet) override;
};

class TNXLiveMessenger final : public TNXMessengerUninstaller {
  public:
    void Refresh() override;
    // Runs the uninstall command the program registered.
    bool UnInstall(bool quiet) override;
};

} // namespace ravelin
