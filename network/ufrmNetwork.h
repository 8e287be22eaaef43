// Unit ufrmNetwork: the network page ("internet|Ravelin.bpl") with its five tabs:
// network neighbourhood and shares, advanced (bandwidth reservation, Universal Plug and
// Play), stored passwords, Internet time, and Internet (TCP/IP dialog, dial-up
// connections at logoff, firewall or connection sharing). Every setting is written at once.
#pragma once

#include "forms/ufrmNetworkForm.h"
#include "host/PageBase.h"

#include <string>

namespace ravelin::network {

class TfrmNetwork : public PageBase<forms::TfrmNetworkForm> {
  public:
    explicit TfrmNetwork(toolkit::TComponent* owner);
    ~TfrmNetwork() override;

    // Handlers.
    void FormCreate(toolkit::TComponent&) override;
    void tsSharesShow(toolkit::TComponent&) override;
    void tsAdvancedNTShow(toolkit::TComponent&) override;
    void tsPasswordsShow(toolkit::TComponent&) override;
    void tsTimeSyncShow(toolkit::TComponent&) override;
    void tsInternetShow(toolkit::TComponent&) override;
    void chkNetTasksClick(toolkit::TComponent&) override;
    void chkNetPrintersClick(toolkit::TComponent&) override;
    void chkNoNetcrawlingClick(toolkit::TComponent&) override;
    void chkRecentDocsNetHoodClick(toolkit::TComponent&) override;
    void chkAdminSharesClick(toolkit::TComponent&) override;
    void chkHideMyComputerFromNetHoodClick(toolkit::TComponent&) override;
    void chkEnableQoSClick(toolkit::TComponent&) override;
    void udBWLimitChange(toolkit::TComponent&) override;
    void udBWLimitExit(toolkit::TComponent&) override;
    void chkEnableUPnPClick(toolkit::TComponent&) override;
    void btnSecurityOptClick(toolkit::TComponent&) override;
    void chkPwdCachingClick(toolkit::TComponent&) override;
    void chkDomainPwdCachingClick(toolkit::TComponent&) override;
    void chkHideSharePwdsClick(toolkit::TComponent&) override;
    void chkEncryptPwdsClick(toolkit::TComponent&) override;
    void chkSyncTimeClick(toolkit::TComponent&) override;
    void lvTimeServersChange(toolkit::TComponent&, toolkit::TListItem& item,
                             toolkit::TItemChange change) override;
    void btnTimeSvrAddClick(toolkit::TComponent&) override;
    void btnTimeSvrDelClick(toolkit::TComponent&) override;
    void btnTimeSvrSetAsDefaultClick(toolkit::TComponent&) override;
    void btnDefTimeSyncClick(toolkit::TComponent&) override;
    void lblChangeSettingsClick(toolkit::TComponent&) override;
    void LinkMouseEnter(toolkit::TComponent&) override;
    void LinkMouseLeave(toolkit::TComponent&) override;
    void btnTCPIPSettingsClick(toolkit::TComponent&) override;
    void rbKeepRasConnectionsONClick(toolkit::TComponent&) override;
    void rbKeepRasConnectionsOFFClick(toolkit::TComponent&) override;
    void chkEnableICFnICSClick(toolkit::TComponent&) override;
    void btnDefSharesClick(toolkit::TComponent&) override;
    void btnDefPerformanceClick(toolkit::TComponent&) override;
    void btnPasswordsDefaultClick(toolkit::TComponent&) override;
    void btnDefInternetClick(toolkit::TComponent&) override;

    void SetBWLimit();
    void SaveTimeServers();
    void syncNtpServer();

  private:
    void nameSpaceKey(bool checked, const char* clsid);
    void sortTimeServers();
    void updateTimeServerButtons();
    bool firewallOn();
    bool xpSp2() const { return xpSp2_; }

    bool xpSp2_ = false;
    bool fillingTime_ = false;
};

extern TfrmNetwork* frmNetwork;
extern std::string RegSMB;
extern int ICS;

// The system's own standard time servers.
extern const char* const kStandardTimeServers[5];

} // namespace ravelin::network
