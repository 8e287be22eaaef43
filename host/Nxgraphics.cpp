#include "host/Nxgraphics.h"

#include "host/Nxsystem.h"

#include <map>
#include <sys/stat.h>

namespace ravelin {

namespace {

bool isFile(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The pictures of category 17 by number, as files below the data folder.
const std::map<int, const char*> kPictures = {
    {10000, "pictures/ie-contextmenu-dialog.png"},
    {11000, "pictures/tcpip-mtu.png"},
    {11001, "pictures/tcpip-rwin.png"},
    {11002, "pictures/tcpip-ttl.png"},
    {12000, "pictures/mail-none.png"},
    {12001, "pictures/logon-shutdown.png"},
    {12002, "pictures/logon-hideusers.png"},
    {12003, "pictures/logon-title.png"},
    {12004, "pictures/logon-input.png"},
    {12005, "pictures/logon-hideusers.png"},
    {13000, "pictures/logon-title.png"},
    {13001, "pictures/logon-info.png"},
    {13002, "pictures/logon-shutdown.png"},
    {13003, "pictures/logon-input.png"},
    {13004, "pictures/logon-hideusers.png"},
    {13005, "pictures/logon-screensaver.png"},
    {14004, "pictures/opera-performance.png"},
    {14006, "pictures/exclamation-small.png"},
    {15000, "pictures/ie-mediabar.png"},
    {15001, "pictures/ie-searchbar.png"},
    {15002, "pictures/ie-addressbar.png"},
    {15003, "pictures/ie-windowtitle.png"},
    {15004, "pictures/ie-backbitmap.png"},
    {15005, "pictures/ie-pictoolbar.png"},
    {15006, "pictures/ie-favorites.png"},
    {15007, "pictures/ie-sourceviewer.png"},
    {15008, "pictures/ie-contextmenu.png"},
    {15009, "pictures/ie-useragent.png"},
    {15010, "pictures/ie-folder.png"},
    {15011, "pictures/ie-folder-hidden.png"},
    {15012, "pictures/ie-favorites-root.png"},
    {15013, "pictures/ie-download.png"},
    {15014, "pictures/ie-connections.png"},
    {15015, "pictures/ie-optimizer.png"},
    {15016, "pictures/ie-searchproviders.png"},
    {15017, "pictures/ie-menubar.png"},
    {15018, "pictures/ie-startpages.png"},
    {15019, "pictures/ie-searchbox.png"},
    {15020, "pictures/ie-notinstalled.png"},
    {15021, "pictures/ie-download-link.png"},
    {15022, "pictures/ie-filemenu.png"},
    {15023, "pictures/ie-tabs.png"},
    {16000, "pictures/ie-startpage-add.png"},
    {17000, "pictures/ie-web-add.png"},
    {18001, "pictures/logon-info.png"},
    {18003, "pictures/logon-title.png"},
    {18004, "pictures/logon-title.png"},
    {18005, "pictures/logon-info.png"},
    {18006, "[LANG]/logon/win2000.png"},
    {18007, "[LANG]/logon/xp-classic.png"},
    {18008, "[LANG]/logon/xp-welcome.png"},
    {18009, "[LANG]/logon/vista.png"},
    {18010, "[LANG]/logon/unknown.png"},
    {18011, "pictures/logon-input.png"},
    {18012, "[LANG]/logon/win7.png"},
    {19000, "pictures/mail-livemessenger.png"},
    {19001, "pictures/mail-messenger.png"},
    {19002, "pictures/mail-titlebar.png"},
    {19003, "pictures/mail-attachments.png"},
    {19004, "pictures/mail-outlook-attachments.png"},
    {19005, "pictures/mail-office.png"},
    {19006, "pictures/mail-start.png"},
    {19007, "pictures/mail-tray.png"},
    {20000, "pictures/network-tcpip.png"},
    {20001, "pictures/network-dialup.png"},
    {20002, "pictures/network-firewall.png"},
    {20003, "pictures/network-ics.png"},
    {20004, "pictures/network-places.png"},
    {20005, "pictures/network-share.png"},
    {20006, "pictures/network-time.png"},
    {20007, "pictures/network-shares.png"},
    {20008, "pictures/network-qos.png"},
    {20010, "pictures/network-passwords.png"},
    {20011, "pictures/time-server.png"},
    {20012, "pictures/time-server-default.png"},
    {21000, "pictures/mail-outlook-attachments.png"},
    {37000, "pictures/opera-notinstalled.png"},
    {37002, "pictures/opera-sourceviewer.png"},
    {37003, "pictures/opera-view.png"},
    {37004, "pictures/opera-appicon.png"},
    {37006, "pictures/opera-browser.png"},
    {37007, "pictures/opera-history.png"},
    {37008, "pictures/opera-autocomplete.png"},
    {37009, "pictures/opera-speeddial-search.png"},
    {37010, "pictures/opera-speeddial.png"},
    {37012, "pictures/opera-search.png"},
};

} // namespace

std::string FileNameByID(int number, int category) {
    if (category != 17) return {};
    auto it = kPictures.find(number);
    return it == kPictures.end() ? std::string() : it->second;
}

void LoadGraphic(int number, toolkit::TImage& image, int category) {
    std::string name = FileNameByID(number, category);
    if (name.empty()) {
        image.PictureFile.clear();
        return;
    }
    std::string path = NXTranslateFilePath(CurAppDataDir() + name);
    struct stat st {};
    image.PictureFile = ::stat(path.c_str(), &st) == 0 ? path : name;
}

void SetupIL(toolkit::TImageList& list) {
    list.Files.clear();
    list.Width = list.Height = 16;
}

int AddGraphicToIL(int number, toolkit::TImageList& list, int category) {
    list.Files.push_back(FileNameByID(number, category));
    return static_cast<int>(list.Files.size()) - 1;
}

int AddSmallIconToIL(toolkit::TImageList& list, const std::string& fileName) {
    std::string path = fileName;
    if (!fileName.empty() && fileName[0] != '/') {
        std::string data = NXTranslateFilePath(CurAppDataDir() + fileName);
        if (isFile(data)) path = data;
    }
    list.Files.push_back(path);
    return static_cast<int>(list.Files.size()) - 1;
}

} // namespace ravelin
