// Unit ufrmEditLogonOld: the dialog "Anmeldeaufforderung anpassen" for the classic logon
// prompt: its texts and security options, written together on OK, and the screen saver of
// the logon desktop, written at once.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::logon {

// One screen-saver file offered in the list.
class TSSInfo {
  public:
    std::string FileName; // folder with trailing backslash, then the file name
};

class TfrmEditLogonOld : public toolkit::TForm {
  public:
    explicit TfrmEditLogonOld(toolkit::TComponent* owner);
    ~TfrmEditLogonOld() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TPageControl* pcEditLogonOld;
    toolkit::TTabSheet *tsView, *tsSecurity, *tsScreensaver;
    toolkit::TImage *imgTitle, *imgInfo, *imgShutdown, *imgInput, *imgHideUsers, *imgScreenSaver;
    toolkit::TGroupBox *gbLogonPrompt, *gbAppendTitle;
    toolkit::TCheckBox *chkLogonPrompt, *chkAppendTitle, *chkSecureLogon, *chkHideLastUser,
        *chkAllowShutdown;
    toolkit::TLabel *lblLogonPrompt, *lblAppendTitle, *lblScreenSaver1, *lblScreenSaver2;
    toolkit::TMemo* txtLogonPrompt;
    toolkit::TEdit* txtAppendTitle;
    toolkit::TComboBox* cbScreenSaver;
    toolkit::TUpDownEdit* udScreenSaver;
    toolkit::TButton *btnSaverSettings, *btnSaverPreview, *btnOK, *btnCancel;

    // True while a tab fills its controls: change handlers then record nothing.
    bool Loading = false;

    // Handlers.
    void FormCreate(toolkit::TComponent&);
    void tsViewShow(toolkit::TComponent&);
    void tsSecurityShow(toolkit::TComponent&);
    void tsScreensaverShow(toolkit::TComponent&);
    void chkLogonPromptClick(toolkit::TComponent&);
    void chkAppendTitleClick(toolkit::TComponent&);
    void txtLogonPromptChange(toolkit::TComponent&);
    void txtAppendTitleChange(toolkit::TComponent&);
    void chkSecurityClick(toolkit::TComponent&);
    void cbScreenSaverSelect(toolkit::TComponent&);
    void udScreenSaverChange(toolkit::TComponent&);
    void udScreenSaverExit(toolkit::TComponent&);
    void btnSaverSettingsClick(toolkit::TComponent&);
    void btnSaverPreviewClick(toolkit::TComponent&);
    void btnOKClick(toolkit::TComponent&);
    void btnCancelClick(toolkit::TComponent&);

    void SetScreenSaver();
    // The selected saver, nullptr for "(Kein)".
    const TSSInfo* SelectedSaver() const;

  private:
    bool firstShow(toolkit::TTabSheet& sheet);
    void mark(toolkit::TComponent& control);
    void enableSaverControls();
    std::string saverPath() const;

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

extern TfrmEditLogonOld* frmEditLogonOld;

} // namespace ravelin::logon
