#include "app/deskforge-gui/Pictures.h"

#include "host/Nxsystem.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
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
    {"network-places", "network-workgroup"},
    {"network-share", "folder-remote"},
    {"network-shares", "folder-remote"},
    {"network-time", "appointment-soon"},
    {"network-qos", "network-transmit-receive"},
    {"network-passwords", "dialog-password"},
    {"time-server", "network-server"},
    {"time-server-default", "emblem-default"},
    {"logon-title", "system-users"},
    {"logon-info", "dialog-information"},
    {"logon-shutdown", "system-shutdown"},
    {"logon-input", "preferences-desktop-keyboard"},
    {"logon-hideusers", "system-users"},
    {"logon-screensaver", "preferences-desktop-screensaver"},
};

const std::map<std::string, const char*> kPageIcons = {
    {"tcpip", "network-wired"},        {"internet", "network-workgroup"},
    {"explorer", "web-browser"},       {"firefox", "web-browser"},
    {"opera", "web-browser"},          {"logon", "system-users"},
    {"mailchat", "mail-send-receive"},
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
    const QString shipped = QString::fromStdString(file.front() == '/' ? file : CurAppDir() + file);
    if (QFileInfo::exists(shipped)) {
        QPixmap p(shipped);
        if (!p.isNull()) return p.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    const std::string base =
        QFileInfo(QString::fromStdString(file)).completeBaseName().toStdString();
    auto it = kThemeIcons.find(base);
    if (it == kThemeIcons.end()) return {};
    return QIcon::fromTheme(it->second).pixmap(size);
}

QIcon PageIcon(const std::string& page) {
    auto it = kPageIcons.find(page);
    return QIcon::fromTheme(it == kPageIcons.end() ? "preferences-system" : it->second);
}

} // namespace ravelin::gui
