#include "module/PageList.h"

#include "firefox/ufrmFireFox.h"
#include "iexplorer/ufrmIE.h"
#include "logon/ufrmLogon.h"
#include "mailchat/ufrmMailClients.h"
#include "network/ufrmNetwork.h"
#include "network/ufrmTCPIP.h"
#include "opera/ufrmOpera.h"

namespace ravelin::module {

namespace {

template <typename Page> toolkit::TForm* create() {
    return new Page(nullptr);
}

constexpr PageEntry kPages[] = {
    {"tcpip|Ravelin.bpl", "tcpip", "TCP/IP-Optionen", "network-wired", &create<network::TfrmTCPIP>},
    {"logon|Ravelin.bpl", "logon", "Anmeldung", "system-users", &create<logon::TfrmLogon>},
    {"internet|Ravelin.bpl", "internet", "Netzwerk", "network-workgroup",
     &create<network::TfrmNetwork>},
    {"explorer|Ravelin.bpl", "explorer", "Internet Explorer", "web-browser",
     &create<iexplorer::TfrmIE>},
    {"firefox|Ravelin.bpl", "firefox", "Mozilla Firefox", "web-browser",
     &create<firefox::TfrmMozillaFireFox>},
    {"opera|Ravelin.bpl", "opera", "Opera", "web-browser", &create<opera::TfrmOpera>},
    {"mailchat|Ravelin.bpl", "mailchat", "Mail-Programme", "mail-send-receive",
     &create<mailchat::TfrmMailClients>},
};

} // namespace

std::span<const PageEntry> Pages() {
    return kPages;
}

std::unique_ptr<toolkit::TForm> CreatePage(std::string_view id) {
    for (const PageEntry& page : kPages)
        if (id == page.id)
            return std::unique_ptr<toolkit::TForm>(page.create ? page.create() : nullptr);
    return nullptr;
}

} // namespace ravelin::module
