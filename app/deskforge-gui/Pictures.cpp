#include "app/deskforge-gui/Pictures.h"

#include "host/Nxsystem.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <algorithm>
#include <map>

namespace ravelin::gui {

namespace {

// Theme icons that say the same as our pictures, by the picture's base name.
const std::map<std::string, const char*> kThemeIcons = {
    {"tcpip-mtu", "network-wired"},
    {"tcpip-rwin", "network-receive"},
    {"tcpip-ttl", "network-transmit"},
    {"network-tcpip", "network-wired"},
    {"network-dialup", "modem"},
    {"network-firewall", "security-high"},
    {"network-ics", "network-workgroup"},
    {"network-places", "folder-remote"},
    {"network-share", "folder-publicshare"},
    {"network-shares", "emblem-shared"},
    {"network-time", "appointment-soon"},
    {"network-qos", "network-transmit-receive"},
    {"network-passwords", "dialog-password"},
    {"time-server", "network-server"},
    {"time-server-default", "network-server"}, // with the default's emblem, see kEmblems
    {"logon-title", "system-users"},
    {"logon-info", "dialog-information"},
    {"logon-shutdown", "system-shutdown"},
    {"logon-input", "preferences-desktop-keyboard"},
    {"logon-hideusers", "avatar-default"},
    {"logon-screensaver", "preferences-desktop-screensaver"},
    {"oobefldr", "system-users"}, // the welcome screen's own icon, from its library
    {"exclamation-small", "dialog-warning"},
    {"ie-contextmenu-dialog", "document-properties"},
    {"ie-mediabar", "multimedia-player"},
    {"ie-searchbar", "system-search"},
    {"ie-addressbar", "go-jump"},
    {"ie-windowtitle", "preferences-system-windows"},
    {"ie-backbitmap", "preferences-desktop-wallpaper"},
    {"ie-pictoolbar", "image-x-generic"},
    {"ie-favorites", "user-bookmarks"},
    {"ie-sourceviewer", "text-html"},
    {"ie-contextmenu", "insert-object"},
    {"ie-useragent", "web-browser"},
    {"ie-folder", "folder"},
    {"ie-folder-hidden", "folder-saved-search"},
    {"ie-favorites-root", "user-bookmarks"},
    {"ie-download", "folder-download"},
    {"ie-connections", "network-transmit-receive"},
    {"ie-optimizer", "system-run"},
    {"ie-searchproviders", "edit-find"},
    {"ie-menubar", "format-justify-fill"},
    {"ie-startpages", "go-home"},
    {"ie-searchbox", "edit-find-replace"},
    {"ie-notinstalled", "dialog-warning"},
    {"ie-download-link", "insert-link"},
    {"ie-filemenu", "document-open"},
    {"ie-tabs", "tab-new"},
    {"mail-none", "mail-read"},
    {"mail-livemessenger", "user-available"},
    {"mail-messenger", "user-idle"},
    {"mail-titlebar", "preferences-system-windows"},
    {"mail-attachments", "mail-attachment"},
    {"mail-outlook-attachments", "security-medium"},
    {"mail-office", "x-office-document"},
    {"mail-start", "start-here"},
    {"mail-tray", "preferences-system-notifications"},
    {"opera-notinstalled", "dialog-warning"},
    {"opera-sourceviewer", "text-html"},
    {"opera-view", "preferences-desktop-theme"},
    {"opera-appicon", "web-browser"},
    {"opera-browser", "web-browser"},
    {"opera-history", "go-previous"},
    {"opera-autocomplete", "edit-select-all"},
    {"opera-speeddial-search", "system-search"},
    {"opera-speeddial", "view-fullscreen"},
    {"opera-search", "edit-find"},
    {"opera-performance", "power-profile-performance-symbolic"},
    {"ie-startpage-add", "go-home"},
    {"ie-web-add", "applications-internet"},
    // The system image list (file types as the shell shows them).
    {"document", "text-x-generic"},
    {"program", "application-x-executable"},
    {"shortcut", "emblem-symbolic-link"},
    {"web", "text-html"},
    {"folder", "folder"},
};

// Pictures that mark a special case of another: the other's icon with an emblem in its
// corner (the default time server stands out among the servers).
const std::map<std::string, const char*> kEmblems = {
    {"time-server-default", "emblem-default"},
};

} // namespace

void UseFreedesktopTheme() {
    // Without a desktop's platform theme Qt looks only in its resources.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        if (QDir(dir + "/icons").exists() && !paths.contains(dir + "/icons"))
            paths << dir + "/icons";
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == "hicolor")
        QIcon::setThemeName("Adwaita");
}

QPixmap Picture(const std::string& file, QSize size) {
    if (file.empty()) return {};
    // A page may show a file of the machine (an icon the user chose) by its full path.
    // Names in the language folder ("[LANG]/...") are the shipped files of the interface's
    // language.
    const QString shipped = QString::fromStdString(
        NXTranslateFilePath(file.front() == '/' ? file : CurAppDataDir() + file));
    if (QFileInfo::exists(shipped)) {
        QPixmap p(shipped);
        if (!p.isNull()) return p.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    const std::string base =
        QFileInfo(QString::fromStdString(file)).completeBaseName().toStdString();
    auto it = kThemeIcons.find(base);
    if (it == kThemeIcons.end()) return {};
    QPixmap icon = QIcon::fromTheme(it->second).pixmap(size);
    if (auto emblem = kEmblems.find(base); emblem != kEmblems.end() && !icon.isNull()) {
        const int side = std::max(8, std::min(icon.width(), icon.height()) * 5 / 8);
        const QPixmap mark = QIcon::fromTheme(emblem->second).pixmap(QSize(side, side));
        QPainter painter(&icon);
        painter.drawPixmap(icon.width() - mark.width(), icon.height() - mark.height(), mark);
    }
    return icon;
}

QIcon PageIcon(const std::string& icon) {
    return QIcon::fromTheme(QString::fromStdString(icon.empty() ? "preferences-system" : icon));
}

} // namespace ravelin::gui
