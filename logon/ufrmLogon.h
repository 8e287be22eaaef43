// Unit ufrmLogon: the logon page ("logon|Ravelin.bpl") with its tabs: logon type (Welcome
// screen or classic prompt, with a dialog for each), automatic logon, the notice shown
// before logon and the status messages, the Windows XP tour and the welcome window of
// Windows Vista and later. Every setting is written at once; the notice after a pause.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::logon {

enum class TLogonScreenType { tlsUnknown, tlsXPNew, tlsXPOld, tls2K, tlsVista, tlsW7 };

class TfrmLogon : public toolkit::TForm {
  public:
    explicit TfrmLogon(toolkit::TComponent* owner);
    ~TfrmLogon() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TPageControl* pcLogon;
    toolkit::TTabSheet *tsLogonType, *tsAutoLogon, *tsMessages, *tsTour, *tsWelcomeCenter;
    toolkit::TImage *imgLogonType, *imgAutoLogon, *imgSpeak, *imgTour, *imgInfo, *imgWelcomeCenter;
    toolkit::TRadioButton *optLogonNew, *optLogonOld, *optShowTourApplyAll, *optShowTourApplyCur;
    toolkit::TButton *btnLogonNew, *btnLogonOld, *btnLogonOld2k, *btnDefAutoLogon, *btnDefMessages,
        *btnDefTour;
    toolkit::TPanel* pnlLogonType2k;
    toolkit::TLabel *lblLogonType2k, *lblAutoLogonUserName, *lblAutoLogonPassword,
        *lblAutoLogonDomain, *lblLegalNoticeCaption, *lblLegalNoticeText, *Label1,
        *lblJumpToPrivacy;
    toolkit::TGroupBox *gbAutoLogon, *gbAutoLogonSecurity, *gbLegalNotice, *gbVerbose;
    toolkit::TCheckBox *chkAutoLogon, *chkIgnoreShiftOverride, *chkForceAutoLogon, *chkLegalNotice,
        *chkVerbose, *chkShowTour, *chkShowWelcomeCenter;
    toolkit::TEdit *txtAutoLogonUserName, *txtAutoLogonPassword, *txtAutoLogonDomain,
        *txtLegalNoticeCaption;
    toolkit::TMemo* txtLegalNoticeText;
    toolkit::TTimer* tmrLegalNoticeChange;

    // Handlers.
    void FormCreate(toolkit::TComponent&);
    void FormDestroy(toolkit::TComponent&);
    void tsLogonTypeShow(toolkit::TComponent&);
    void tsAutoLogonShow(toolkit::TComponent&);
    void tsMessagesShow(toolkit::TComponent&);
    void tsTourShow(toolkit::TComponent&);
    void tsTourExit(toolkit::TComponent&);
    void tsWelcomeCenterShow(toolkit::TComponent&);
    void optLogonChange(toolkit::TComponent&);
    void btnLogonNewClick(toolkit::TComponent&);
    void btnLogonOldClick(toolkit::TComponent&);
    void chkAutoLogonClick(toolkit::TComponent&);
    void txtAutoLogonExit(toolkit::TComponent&);
    void chkIgnoreShiftOverrideClick(toolkit::TComponent&);
    void chkForceAutoLogonClick(toolkit::TComponent&);
    void btnDefAutoLogonClick(toolkit::TComponent&);
    void txtLegalNoticeChange(toolkit::TComponent&);
    void LegalNoticeApply(toolkit::TComponent&);
    void chkLegalNoticeClick(toolkit::TComponent&);
    void gbLegalNoticeExit(toolkit::TComponent&);
    void chkVerboseClick(toolkit::TComponent&);
    void btnDefMessagesClick(toolkit::TComponent&);
    void chkShowTourClick(toolkit::TComponent&);
    void btnDefTourClick(toolkit::TComponent&);
    void chkShowWelcomeCenterClick(toolkit::TComponent&);
    void lblJumpToPrivacyClick(toolkit::TComponent&);
    void LinkMouseEnter(toolkit::TComponent&);
    void LinkMouseLeave(toolkit::TComponent&);

    void ChangeLogonPicture(TLogonScreenType type);

  private:
    bool firstShow(toolkit::TTabSheet& sheet);
    void writeAutoLogonFields();
    void writeLegalNotice();
    void restartLegalNoticeTimer();
    void writeTour();
    void enableLegalNotice();

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

extern TfrmLogon* frmLogon;
extern std::string WinlogonKey;
extern std::string LegalNoticeKey;
extern TLogonScreenType CurLogonScreen;

// Tells the user that a program the page asked the shell to start could not be started.
void reportNotStarted(const std::string& program);

// What the welcome window's value holds while the window is shown after logon.
inline constexpr const char* kWelcomeCenterCommand = "control.exe /name Microsoft.WelcomeCenter";

} // namespace ravelin::logon
