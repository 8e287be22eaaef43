// Unit ufrmMailClients: the mail and chat page ("mailchat|Ravelin.bpl"). One tab per
// installed program: Outlook Express or Windows Mail, Office Outlook, Windows Messenger
// and Live Messenger; "Nicht installiert" alone when none is there. Every setting is
// written at once, the title bar text when its field is left.
#pragma once

#include "forms/ufrmMailClientsForm.h"
#include "host/Nxsystem.h"
#include "host/PageBase.h"

#include <string>

namespace ravelin::mailchat {

class TfrmMailClients : public PageBase<forms::TfrmMailClientsForm> {
  public:
    explicit TfrmMailClients(toolkit::TComponent* owner);
    ~TfrmMailClients() override;

    // The mail program: its name, its settings key below HKEY_CURRENT_USER, and whether
    // that key is an identity's (or Windows Mail's) rather than the plain program key.
    std::string OECaption;
    std::string OERegKey;
    bool OEUseIdentity = false;

    // Handlers.
    void FormCreate(toolkit::TComponent&) override;
    void tsOutlookExpressShow(toolkit::TComponent&) override;
    void tsOutlookViewShow(toolkit::TComponent&) override;
    void tsWinMsgrShow(toolkit::TComponent&) override;
    void txtOETitlebarChange(toolkit::TComponent&) override;
    void txtOETitlebarExit(toolkit::TComponent&) override;
    void chkShowSplashClick(toolkit::TComponent&) override;
    void chkOESmoothScrollClick(toolkit::TComponent&) override;
    void chkDisableEXEAttachmentsClick(toolkit::TComponent&) override;
    void btnDefOEClick(toolkit::TComponent&) override;
    void chkOfficeQuestionFieldClick(toolkit::TComponent&) override;
    void chkOutlookMinToSysTrayClick(toolkit::TComponent&) override;
    void btnOutlookSettingsClick(toolkit::TComponent&) override;
    void btnDefOutlookViewClick(toolkit::TComponent&) override;
    void rbAllowWinMsgrExecClick(toolkit::TComponent&) override;
    void rbDenyWinMsgrExecClick(toolkit::TComponent&) override;
    void chkOEStartMessengerClick(toolkit::TComponent&) override;
    void chkWinMsgrStartOutlookClick(toolkit::TComponent&) override;
    void chkWinMsgrStartLogonClick(toolkit::TComponent&) override;
    void btnUninstallMsMsgrClick(toolkit::TComponent&) override;
    void btnDefWinMsgrClick(toolkit::TComponent&) override;
    void rbLiveMsgrRunEnableClick(toolkit::TComponent&) override;
    void rbLiveMsgrRunDisableClick(toolkit::TComponent&) override;
    void chkLiveMsgrStartOutlookClick(toolkit::TComponent&) override;
    void btnLiveMsgrDeinstallClick(toolkit::TComponent&) override;
    void btnDefLiveMsgrClick(toolkit::TComponent&) override;

    // Whether the Windows Messenger counts as installed (its system component is set up).
    bool WinMsgrInstalled() const { return winMsgrInstalled_; }

  private:
    void saveTitle();
    // The attachment value: per user below OERegKey, or machine-wide for the plain key
    // before Windows Vista.
    bool attachmentsMachineWide() const;
    std::string officeOutlookKey() const;
    void uninstall(bool live);

    bool winMsgrInstalled_ = false;
    bool startOptionsQuiet_ = false; // the deny button writes the start options itself
};

extern TfrmMailClients* frmMailClients;
// The installed Outlook: its text is the Office version key, Major is 0 when absent.
extern TFileVersionIdentification OfficeOutlook;

} // namespace ravelin::mailchat
