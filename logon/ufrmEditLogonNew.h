// Unit ufrmEditLogonNew: the dialog "Willkommensseite anpassen" for the Welcome screen:
// fast user switching, the title text, the shutdown button, the accounts shown, the count of
// unread mail and font smoothing, written together on OK.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>
#include <vector>

namespace ravelin::logon {

class TfrmEditLogonNew : public toolkit::TForm {
  public:
    explicit TfrmEditLogonNew(toolkit::TComponent* owner);
    ~TfrmEditLogonNew() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TPageControl* pcEditLogonNew;
    toolkit::TTabSheet *tsGeneral, *tsSecurity, *tsMail, *tsView;
    toolkit::TImage *imgMail, *imgShutdown, *imgFastSwitch, *imgAppendTitle, *imgFontSmoothing,
        *imgHideUsers;
    toolkit::TGroupBox *gbFastSwitch, *gbAppendTitle, *gbUnreadMails, *gbFontSmoothing;
    toolkit::TRadioButton *optFastSwitchOn, *optFastSwitchOff, *optUnreadMailsShowSome,
        *optUnreadMailsShowAll, *optUnreadMailsShowNone, *optUnreadMailsApplyAll,
        *optUnreadMailsApplyCur;
    toolkit::TCheckBox *chkAppendTitle, *chkAllowShutdown, *chkEnableFontSmoothing;
    toolkit::TEdit* txtAppendTitle;
    toolkit::TLabel *lblAppendTitle, *lblUnreadMails1, *lblUnreadMails2, *lblFontSmoothingType;
    toolkit::TBigCheckListBox* lbHideUsers;
    toolkit::TUpDownEdit* udUnreadMails;
    toolkit::TComboBox* cbFontSmoothingType;
    toolkit::TButton *btnOK, *btnCancel;

    // True while a tab fills its controls: change handlers then record nothing.
    bool Loading = false;

    // Handlers.
    void FormCreate(toolkit::TComponent&);
    void tsGeneralShow(toolkit::TComponent&);
    void tsSecurityShow(toolkit::TComponent&);
    void tsMailShow(toolkit::TComponent&);
    void tsViewShow(toolkit::TComponent&);
    void optFastSwitchClick(toolkit::TComponent&);
    void chkAppendTitleClick(toolkit::TComponent&);
    void txtAppendTitleChange(toolkit::TComponent&);
    void chkAllowShutdownClick(toolkit::TComponent&);
    void lbHideUsersClickCheck(toolkit::TComponent&);
    void optUnreadMailsClick(toolkit::TComponent&);
    void udUnreadMailsChange(toolkit::TComponent&);
    void optUnreadMailsApplyClick(toolkit::TComponent&);
    void chkEnableFontSmoothingClick(toolkit::TComponent&);
    void cbFontSmoothingTypeChange(toolkit::TComponent&);
    void btnOKClick(toolkit::TComponent&);
    void btnCancelClick(toolkit::TComponent&);

  private:
    bool firstShow(toolkit::TTabSheet& sheet);
    void mark(toolkit::TComponent& control);
    void addAccounts();

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    std::vector<bool> shownChecks_; // the list's check states as last seen
};

extern TfrmEditLogonNew* frmEditLogonNew;

} // namespace ravelin::logon
