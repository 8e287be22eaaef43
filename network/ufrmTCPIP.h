// Unit ufrmTCPIP: the TCP/IP options dialog. It tunes the packet size (MTU) with path-MTU
// discovery, the receive window (RWIN) with selective acknowledgement and timestamps, and
// the packet lifetime (TTL). Nothing is written while the user edits; OK writes exactly
// the settings the user changed, as one journal transaction.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <memory>
#include <set>
#include <string>

namespace ravelin::network {

class TfrmTCPIP : public toolkit::TForm {
  public:
    explicit TfrmTCPIP(toolkit::TComponent* owner);
    ~TfrmTCPIP() override;

    // The handlers the form binds by name (a test checks both directions).
    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    // Controls of the form.
    toolkit::TPageControl* pcTCPIP;
    toolkit::TTabSheet *tsMTU, *tsRWin, *tsTTL;
    toolkit::TImage *imgMTU, *imgRWin, *imgTTL;
    toolkit::TGroupBox* gbMTU;
    toolkit::TRadioButton *optMTUAuto, *optMTUManual;
    toolkit::TLabel *lblMTU1, *lblMTU2, *lblTTL, *lblJumpToPrivacy, *Label1, *Label4;
    toolkit::TUpDownEdit* udeMTU;
    toolkit::TCheckBox *chkMTUDiscovery, *chkRWinSACK, *chkRWinTimeStamp;
    toolkit::TComboBox* cbRWin;
    toolkit::TTrackBar* tbTTL;
    toolkit::TButton *btnMTUDefault, *btnRWinDefault, *btnTTLDefault, *btnOK, *btnCancel;

    // Handlers.
    void FormCreate(toolkit::TComponent& sender);
    void FormShow(toolkit::TComponent& sender);
    void optMTUClick(toolkit::TComponent& sender);
    void udeMTUChange(toolkit::TComponent& sender);
    void udeMTUExit(toolkit::TComponent& sender);
    void chkMTUDiscoveryClick(toolkit::TComponent& sender);
    void chkRWinSACKClick(toolkit::TComponent& sender);
    void chkRWinTimeStampClick(toolkit::TComponent& sender);
    void cbRWinChange(toolkit::TComponent& sender);
    void cbRWinSelect(toolkit::TComponent& sender);
    void cbRWinKeyPress(toolkit::TComponent& sender, char16_t& key);
    void tbTTLChange(toolkit::TComponent& sender);
    void btnMTUDefaultClick(toolkit::TComponent& sender);
    void btnRWinDefaultClick(toolkit::TComponent& sender);
    void btnTTLDefaultClick(toolkit::TComponent& sender);
    void lblJumpToPrivacyClick(toolkit::TComponent& sender);
    void Label1Click(toolkit::TComponent& sender);
    void Label4Click(toolkit::TComponent& sender);
    void HelpLinkMouseEnter(toolkit::TComponent& sender);
    void HelpLinkMouseLeave(toolkit::TComponent& sender);
    void btnOKClick(toolkit::TComponent& sender);
    void btnCancelClick(toolkit::TComponent& sender);

    void CalcRWINItems();
    void SetDefaultMTUSettings();

  private:
    void mark(toolkit::TComponent& control);
    void showHelp(int context);
    bool nt() const;
    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

// The unit variable of the dialog while the network page shows it.
extern TfrmTCPIP* frmTCPIP;
// The parameter key, set when the form is created.
extern std::string RegKey_TCPIP;

} // namespace ravelin::network
