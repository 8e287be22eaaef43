// Unit ufrmMailClients: the mail and chat page ("mailchat|Ravelin.bpl"). One tab per
// installed program: Outlook Express or Windows Mail, Office Outlook, Windows Messenger
// and Live Messenger; "Nicht installiert" alone when none is there. Every setting is
// written at once, the title bar text when its field is left.
#pragma once

#include "host/Nxsystem.h"
#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::mailchat {

class TfrmMailClients : public toolkit::TForm {
  public:
    explicit TfrmMailClients(toolkit::TComponent* owner);
    ~TfrmMailClients() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    // The mail program: its name, its settings key below HKEY_CURRENT_USER, and whether
    // that key is an identity's (or Windows Mail's) rather than the plain program key.
    std::string OECaption;
    std::string OERegKey;
    bool OEUseIdentity = false;

    toolkit::TPageControl* pcMailClients;
    toolkit::TTabSheet *tsOutlookExpress, *tsOutlookView, *tsWinMsgr, *tsLiveMsgr, *tsNotInstalled;
    toolkit::TGroupBox *gbOEGeneral, *gbOETitlebar, *gbOEAttachments, *gbOutlookView,
        *gbOutlookSecurity, *gbWinMsgrExec, *gbWinMsgrStart, *gbWinMsgrUninstall, *GroupBox2,
        *gbLiveMsgrDeinstall;
    toolkit::TLabel *lblOEGeneral, *lblOETitlebar, *lblOETitleText, *lblMsMsgs;
    toolkit::TEdit* txtOETitlebar;
    toolkit::TCheckBox *chkShowSplash, *chkOESmoothScroll, *chkDisableEXEAttachments,
        *chkOutlookMinToSysTray, *chkOEStartMessenger, *chkWinMsgrStartOutlook,
        *chkWinMsgrStartLogon, *chkLiveMsgrStartOutlook;
    toolkit::TNXCheckBox* chkOfficeQuestionField;
    toolkit::TRadioButton *rbAllowWinMsgrExec, *rbDenyWinMsgrExec, *rbLiveMsgrRunEnable,
        *rbLiveMsgrRunDisable;
    toolkit::TButton *btnDefOE, *btnOutlookSettings, *btnDefOutlookView, *btnUninstallMsMsgr,
        *btnDefWinMsgr, *btnLiveMsgrDeinstall, *btnDefLiveMsgr;

    // Handlers.
    void FormCreate(toolkit::TComponent&);
    void tsOutlookExpressShow(toolkit::TComponent&);
    void tsOutlookViewShow(toolkit::TComponent&);
    void tsWinMsgrShow(toolkit::TComponent&);
    void txtOETitlebarChange(toolkit::TComponent&);
    void txtOETitlebarExit(toolkit::TComponent&);
    void chkShowSplashClick(toolkit::TComponent&);
    void chkOESmoothScrollClick(toolkit::TComponent&);
    void chkDisableEXEAttachmentsClick(toolkit::TComponent&);
    void btnDefOEClick(toolkit::TComponent&);
    void chkOfficeQuestionFieldClick(toolkit::TComponent&);
    void chkOutlookMinToSysTrayClick(toolkit::TComponent&);
    void btnOutlookSettingsClick(toolkit::TComponent&);
    void btnDefOutlookViewClick(toolkit::TComponent&);
    void rbAllowWinMsgrExecClick(toolkit::TComponent&);
    void rbDenyWinMsgrExecClick(toolkit::TComponent&);
    void chkOEStartMessengerClick(toolkit::TComponent&);
    void chkWinMsgrStartOutlookClick(toolkit::TComponent&);
    void chkWinMsgrStartLogonClick(toolkit::TComponent&);
    void btnUninstallMsMsgrClick(toolkit::TComponent&);
    void btnDefWinMsgrClick(toolkit::TComponent&);
    void rbLiveMsgrRunEnableClick(toolkit::TComponent&);
    void rbLiveMsgrRunDisableClick(toolkit::TComponent&);
    void chkLiveMsgrStartOutlookClick(toolkit::TComponent&);
    void btnLiveMsgrDeinstallClick(toolkit::TComponent&);
    void btnDefLiveMsgrClick(toolkit::TComponent&);

    // Whether the Windows Messenger counts as installed (its system component is set up).
    bool WinMsgrInstalled() const { return winMsgrInstalled_; }

  private:
    bool firstShow(toolkit::TTabSheet& sheet);
    void saveTitle();
    // The attachment value: per user below OERegKey, or machine-wide for the plain key
    // before Windows Vista.
    bool attachmentsMachineWide() const;
    std::string officeOutlookKey() const;
    void uninstall(bool live);

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    bool winMsgrInstalled_ = false;
    bool startOptionsQuiet_ = false; // the deny button writes the start options itself
};

extern TfrmMailClients* frmMailClients;
// The installed Outlook: its text is the Office version key, Major is 0 when absent.
extern TFileVersionIdentification OfficeOutlook;

} // namespace ravelin::mailchat
