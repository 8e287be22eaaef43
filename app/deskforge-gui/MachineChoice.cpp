#include "app/deskforge-gui/MachineChoice.h"

#include "host/machine/Machine.h"
#include "host/registry/Registry.h"
#include "host/text/Translate.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace ravelin::gui {

namespace {

constexpr const char* kRecentKey = "machines/recent";

QString windowsName(machine::Machine& m) {
    const machine::WindowsIdentity id = m.identity();
    QString name = QString::fromStdString(id.productName);
    if (name.isEmpty()) name = QString::fromStdString(text::trf("Windows %1", id.version));
    if (id.servicePack) name += " SP" + QString::number(id.servicePack);
    return name;
}

} // namespace

QString ShownFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString home = QDir::cleanPath(QDir::homePath());
    if (home.size() > 1 && (path == home || path.startsWith(home + '/')))
        return '~' + path.mid(home.size());
    return path;
}

QString WindowTitle(machine::Machine* m) {
    if (!m) return QString::fromStdString(text::tr("Keine Maschine – Deskforge"));
    const std::string kind = m->kind() == machine::MachineKind::Wine ? text::tr("Wine-Präfix")
                                                                     : text::tr("Windows-Laufwerk");
    return QString::fromStdString(text::trf(
        "%1 – %2 (%3) – Deskforge", ShownFolder(QString::fromStdString(m->root())).toStdString(),
        windowsName(*m).toStdString(), kind));
}

std::optional<std::string> NotAMachine(const std::string& folder) {
    const QFileInfo info(QString::fromStdString(folder));
    if (!info.exists()) return text::trf("Den Ordner %1 gibt es nicht.", folder);
    if (!info.isDir()) return text::trf("%1 ist kein Ordner.", folder);
    if (!registry::Registry::isMachineFolder(folder))
        return text::trf("Der Ordner %1 ist keine Maschine: Er enthält weder die "
                         "Registrierungsdateien eines Wine-Präfixes (system.reg) noch die "
                         "Hive-Dateien eines Windows-Laufwerks.",
                         folder);
    return std::nullopt;
}

QStringList RecentMachines() {
    QSettings settings;
    const QStringList stored = settings.value(kRecentKey).toStringList();
    QStringList kept;
    for (const QString& folder : stored)
        if (QFileInfo(folder).isDir() && !kept.contains(folder) && kept.size() < kMaxRecent)
            kept << folder;
    if (kept != stored) settings.setValue(kRecentKey, kept);
    return kept;
}

void RememberMachine(const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QStringList list = RecentMachines();
    list.removeAll(path);
    list.prepend(path);
    while (list.size() > kMaxRecent)
        list.removeLast();
    QSettings().setValue(kRecentKey, list);
}

} // namespace ravelin::gui
