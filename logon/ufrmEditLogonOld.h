// Unit ufrmEditLogonOld: the dialog "Anmeldeaufforderung anpassen" for the classic logon
// prompt: its texts and security options, written together on OK, and the screen saver of
// the logon desktop, written at once.
#pragma once

#include "forms/ufrmEditLogonOldForm.h"
#include "host/PageBase.h"

#include <string>

namespace ravelin::logon {

// One screen-saver file offered in the list.
class TSSInfo {
  public:
    std::string FileName; // folder with trailing backslash, then the file name
};

class TfrmEditLogonOld : public PageBase<forms::TfrmEditLogonOldForm> {
  public:
    explicit TfrmEditLogonOld(toolkit::TComponent* owner);
    ~TfrmEditLogonOld() override;

    // Handlers.
    void FormCreate(toolkit::TComponent&) override;
    void tsViewShow(toolkit::TComponent&) override;
    void tsSecurityShow(toolkit::TComponent&) override;
    void tsScreensaverShow(toolkit::TComponent&) override;
    void chkLogonPromptClick(toolkit::TComponent&) override;
    void chkAppendTitleClick(toolkit::TComponent&) override;
    void txtLogonPromptChange(toolkit::TComponent&) override;
    void txtAppendTitleChange(toolkit::TComponent&) override;
    void chkSecurityClick(toolkit::TComponent&) override;
    void cbScreenSaverSelect(toolkit::TComponent&) override;
    void udScreenSaverChange(toolkit::TComponent&) override;
    void udScreenSaverExit(toolkit::TComponent&) override;
    void btnSaverSettingsClick(toolkit::TComponent&) override;
    void btnSaverPreviewClick(toolkit::TComponent&) override;
    void btnOKClick(toolkit::TComponent&) override;
    void btnCancelClick(toolkit::TComponent&) override;

    void SetScreenSaver();
    // The selected saver, nullptr for "(Kein)".
    const TSSInfo* SelectedSaver() const;

  private:
    void enableSaverControls();
    std::string saverPath() const;
};

extern TfrmEditLogonOld* frmEditLogonOld;

} // namespace ravelin::logon
