// Unit ufrmNetwork: the network page ("internet|Ravelin.bpl") with its five tabs:
// network neighbourhood and shares, advanced (bandwidth reservation, Universal Plug and
// Play), stored passwords, Internet time, and Internet (TCP/IP dialog, dial-up
// connections at logoff, firewall or connection sharing). Every setting is written at once.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::network {

class TfrmNetwork : public toolkit::TForm {
  public:
    explicit TfrmNetwork(toolkit::TComponent* owner);
    ~TfrmNetwork() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TPageControl* pcNetwork;
    toolkit::TTabSheet *tsShares, *tsAdvancedNT, *tsPasswords, *tsTimeSync, *tsInternet;
    toolkit::TGroupBox *gbNetTasks, *gbAdvSettings, *gbQoS, *gbUPnP, *gbPasswordStorage,
        *gbHideSharePwds, *gbEncryptPwds, *gbTCPIP, *gbKeepRASConnections, *gbSharedAccess;
    toolkit::TCheckBox *chkNetTasks, *chkNetPrinters, *chkNoNetcrawling, *chkRecentDocsNetHood,
        *chkAdminShares, *chkHideMyComputerFromNetHood, *chkEnableQoS, *chkEnableUPnP,
        *chkPwdCaching, *chkDomainPwdCaching, *chkHideSharePwds, *chkEncryptPwds, *chkSyncTime,
        *chkEnableICFnICS;
    toolkit::TUpDownEdit* udBWLimit;
    toolkit::TLabel *lblBWLimit, *lblBWPercent, *lblTimeServersTopic, *lblTimeServersDesc,
        *lblChangeSettings, *lblSharedAccess;
    toolkit::TListView* lvTimeServers;
    toolkit::TImageList* ilTimeServers;
    toolkit::TButton *btnTimeSvrAdd, *btnTimeSvrDel, *btnTimeSvrSetAsDefault, *btnDefTimeSync,
        *btnTCPIPSettings, *btnSecurityOpt;
    toolkit::TRadioButton *rbKeepRasConnectionsON, *rbKeepRasConnectionsOFF;

    // Handlers.
    void FormCreate(toolkit::TComponent&);
    void tsSharesShow(toolkit::TComponent&);
    void tsAdvancedNTShow(toolkit::TComponent&);
    void tsPasswordsShow(toolkit::TComponent&);
    void tsTimeSyncShow(toolkit::TComponent&);
    void tsInternetShow(toolkit::TComponent&);
    void chkNetTasksClick(toolkit::TComponent&);
    void chkNetPrintersClick(toolkit::TComponent&);
    void chkNoNetcrawlingClick(toolkit::TComponent&);
    void chkRecentDocsNetHoodClick(toolkit::TComponent&);
    void chkAdminSharesClick(toolkit::TComponent&);
    void chkHideMyComputerFromNetHoodClick(toolkit::TComponent&);
    void chkEnableQoSClick(toolkit::TComponent&);
    void udBWLimitChange(toolkit::TComponent&);
    void udBWLimitExit(toolkit::TComponent&);
    void chkEnableUPnPClick(toolkit::TComponent&);
    void btnSecurityOptClick(toolkit::TComponent&);
    void chkPwdCachingClick(toolkit::TComponent&);
    void chkDomainPwdCachingClick(toolkit::TComponent&);
    void chkHideSharePwdsClick(toolkit::TComponent&);
    void chkEncryptPwdsClick(toolkit::TComponent&);
    void chkSyncTimeClick(toolkit::TComponent&);
    void lvTimeServersChange(toolkit::TComponent&, toolkit::TListItem& item,
                             toolkit::TItemChange change);
    void btnTimeSvrAddClick(toolkit::TComponent&);
    void btnTimeSvrDelClick(toolkit::TComponent&);
    void btnTimeSvrSetAsDefaultClick(toolkit::TComponent&);
    void btnDefTimeSyncClick(toolkit::TComponent&);
    void lblChangeSettingsClick(toolkit::TComponent&);
    void LinkMouseEnter(toolkit::TComponent&);
    void LinkMouseLeave(toolkit::TComponent&);
    void btnTCPIPSettingsClick(toolkit::TComponent&);
    void rbKeepRasConnectionsONClick(toolkit::TComponent&);
    void rbKeepRasConnectionsOFFClick(toolkit::TComponent&);
    void chkEnableICFnICSClick(toolkit::TComponent&);
    void btnDefSharesClick(toolkit::TComponent&);
    void btnDefPerformanceClick(toolkit::TComponent&);
    void btnPasswordsDefaultClick(toolkit::TComponent&);
    void btnDefInternetClick(toolkit::TComponent&);

    void SetBWLimit();
    void SaveTimeServers();
    void syncNtpServer();

  private:
    bool firstShow(toolkit::TTabSheet& sheet); // true once: the sheet's filled mark
    void nameSpaceKey(bool checked, const char* clsid);
    void sortTimeServers();
    void updateTimeServerButtons();
    bool firewallOn();
    bool xpSp2() const { return xpSp2_; }

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    bool xpSp2_ = false;
    bool fillingTime_ = false;
};

extern TfrmNetwork* frmNetwork;
extern std::string RegSMB;
extern int ICS;

// The system's own standard time servers.
extern const char* const kStandardTimeServers[5];

} // namespace ravelin::network
