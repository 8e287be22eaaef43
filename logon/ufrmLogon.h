// Unit ufrmLogon: the logon page ("logon|Ravelin.bpl") with its tabs: logon type (Welcome
// screen or classic prompt, with a dialog for each), automatic logon, the notice shown
// before logon and the status messages, the Windows XP tour and the welcome window of
// Windows Vista and later. Every setting is written at once; the notice after a pause.
#pragma once

#include "forms/ufrmLogonForm.h"
#include "host/PageBase.h"

#include <string>

namespace ravelin::logon {

enum class TLogonScreenType { tlsUnknown, tlsXPNew, tlsXPOld, tls2K, tlsVista, tlsW7 };

class TfrmLogon : public PageBase<forms::TfrmLogonForm> {
  public:
    explicit TfrmLogon(toolkit::TComponent* owner);
    ~TfrmLogon() override;

    // Handlers.
    void FormCreate(toolkit::TComponent&) override;
    void FormDestroy(toolkit::TComponent&) override;
    void tsLogonTypeShow(toolkit::TComponent&) override;
    void tsAutoLogonShow(toolkit::TComponent&) override;
    void tsMessagesShow(toolkit::TComponent&) override;
    void tsTourShow(toolkit::TComponent&) override;
    void tsTourExit(toolkit::TComponent&) override;
    void tsWelcomeCenterShow(toolkit::TComponent&) override;
    void optLogonChange(toolkit::TComponent&) override;
    void btnLogonNewClick(toolkit::TComponent&) override;
    void btnLogonOldClick(toolkit::TComponent&) override;
    void chkAutoLogonClick(toolkit::TComponent&) override;
    void txtAutoLogonExit(toolkit::TComponent&) override;
    void chkIgnoreShiftOverrideClick(toolkit::TComponent&) override;
    void chkForceAutoLogonClick(toolkit::TComponent&) override;
    void btnDefAutoLogonClick(toolkit::TComponent&) override;
    void txtLegalNoticeChange(toolkit::TComponent&) override;
    void LegalNoticeApply(toolkit::TComponent&) override;
    void chkLegalNoticeClick(toolkit::TComponent&) override;
    void gbLegalNoticeExit(toolkit::TComponent&) override;
    void chkVerboseClick(toolkit::TComponent&) override;
    void btnDefMessagesClick(toolkit::TComponent&) override;
    void chkShowTourClick(toolkit::TComponent&) override;
    void btnDefTourClick(toolkit::TComponent&) override;
    void chkShowWelcomeCenterClick(toolkit::TComponent&) override;
    void lblJumpToPrivacyClick(toolkit::TComponent&) override;
    void LinkMouseEnter(toolkit::TComponent&) override;
    void LinkMouseLeave(toolkit::TComponent&) override;

    void ChangeLogonPicture(TLogonScreenType type);

  private:
    void writeAutoLogonFields();
    void writeLegalNotice();
    void restartLegalNoticeTimer();
    void writeTour();
    void enableLegalNotice();
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
