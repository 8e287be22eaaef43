// Unit ufrmEditLogonNew: the dialog "Willkommensseite anpassen" for the Welcome screen:
// fast user switching, the title text, the shutdown button, the accounts shown, the count of
// unread mail and font smoothing, written together on OK.
#pragma once

#include "forms/ufrmEditLogonNewForm.h"
#include "host/PageBase.h"

#include <string>
#include <vector>

namespace ravelin::logon {

class TfrmEditLogonNew : public PageBase<forms::TfrmEditLogonNewForm> {
  public:
    explicit TfrmEditLogonNew(toolkit::TComponent* owner);
    ~TfrmEditLogonNew() override;

    // Handlers.
    void FormCreate(toolkit::TComponent&) override;
    void tsGeneralShow(toolkit::TComponent&) override;
    void tsSecurityShow(toolkit::TComponent&) override;
    void tsMailShow(toolkit::TComponent&) override;
    void tsViewShow(toolkit::TComponent&) override;
    void optFastSwitchClick(toolkit::TComponent&) override;
    void chkAppendTitleClick(toolkit::TComponent&) override;
    void txtAppendTitleChange(toolkit::TComponent&) override;
    void chkAllowShutdownClick(toolkit::TComponent&) override;
    void lbHideUsersClickCheck(toolkit::TComponent&) override;
    void optUnreadMailsClick(toolkit::TComponent&) override;
    void udUnreadMailsChange(toolkit::TComponent&) override;
    void optUnreadMailsApplyClick(toolkit::TComponent&) override;
    void chkEnableFontSmoothingClick(toolkit::TComponent&) override;
    void cbFontSmoothingTypeChange(toolkit::TComponent&) override;
    void btnOKClick(toolkit::TComponent&) override;
    void btnCancelClick(toolkit::TComponent&) override;

  private:
    void addAccounts();

    std::vector<bool> shownChecks_; // the list's check states as last seen
};

extern TfrmEditLogonNew* frmEditLogonNew;

} // namespace ravelin::logon
