// Unit ufrmTCPIP: the TCP/IP options dialog. It tunes the packet size (MTU) with path-MTU
// discovery, the receive window (RWIN) with selective acknowledgement and timestamps, and
// the packet lifetime (TTL). Nothing is written while the user edits; OK writes exactly
// the settings the user changed, as one journal transaction.
#pragma once

#include "forms/ufrmTCPIPForm.h"
#include "host/PageBase.h"

#include <string>

namespace ravelin::network {

class TfrmTCPIP : public PageBase<forms::TfrmTCPIPForm> {
  public:
    explicit TfrmTCPIP(toolkit::TComponent* owner);
    ~TfrmTCPIP() override;

    // Handlers.
    void FormCreate(toolkit::TComponent& sender) override;
    void FormShow(toolkit::TComponent& sender) override;
    void optMTUClick(toolkit::TComponent& sender) override;
    void udeMTUChange(toolkit::TComponent& sender) override;
    void udeMTUExit(toolkit::TComponent& sender) override;
    void chkMTUDiscoveryClick(toolkit::TComponent& sender) override;
    void chkRWinSACKClick(toolkit::TComponent& sender) override;
    void chkRWinTimeStampClick(toolkit::TComponent& sender) override;
    void cbRWinChange(toolkit::TComponent& sender) override;
    void cbRWinSelect(toolkit::TComponent& sender) override;
    void cbRWinKeyPress(toolkit::TComponent& sender, char16_t& key) override;
    void tbTTLChange(toolkit::TComponent& sender) override;
    void btnMTUDefaultClick(toolkit::TComponent& sender) override;
    void btnRWinDefaultClick(toolkit::TComponent& sender) override;
    void btnTTLDefaultClick(toolkit::TComponent& sender) override;
    void lblJumpToPrivacyClick(toolkit::TComponent& sender) override;
    void Label1Click(toolkit::TComponent& sender) override;
    void Label4Click(toolkit::TComponent& sender) override;
    void HelpLinkMouseEnter(toolkit::TComponent& sender) override;
    void HelpLinkMouseLeave(toolkit::TComponent& sender) override;
    void btnOKClick(toolkit::TComponent& sender) override;
    void btnCancelClick(toolkit::TComponent& sender) override;

    void CalcRWINItems();
    void SetDefaultMTUSettings();

  private:
    // What the fields showed when read or last written: a control changed back to it has
    // nothing to write.
    struct Shown {
        bool mtuAuto = false;
        int mtu = 0;
        bool discovery = false;
        std::string window;
        bool sack = false, timestamps = false;
        int ttl = 0;
    };
    Shown shownNow() const;
    Shown shown_;

    void readSettings();
    void clearMarks();
    void showHelp(int context);
    bool nt() const;
};

// The unit variable of the dialog while the network page shows it.
extern TfrmTCPIP* frmTCPIP;
// The parameter key, set when the form is created.
extern std::string RegKey_TCPIP;

} // namespace ravelin::network
