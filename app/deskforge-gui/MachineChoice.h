// Which machine the window shows: how it is named in the title, whether a folder is one at
// all, and the machines opened before.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace ravelin::machine {
class Machine;
}

namespace ravelin::gui {

// "~/maschinen/winxp – Microsoft Windows XP SP3 (Wine-Präfix) – Deskforge"; without a
// machine "Keine Maschine – Deskforge".
QString WindowTitle(machine::Machine* machine);
// The folder as a person reads it: the home folder as "~".
QString ShownFolder(const QString& folder);

// Why the folder cannot be opened as a machine, in a sentence for the user; nullopt when it
// looks like one.
std::optional<std::string> NotAMachine(const std::string& folder);

// The machines opened in the window, newest first, at most kMaxRecent; folders that are gone
// are dropped as they are read.
constexpr int kMaxRecent = 8;
QStringList RecentMachines();
void RememberMachine(const QString& folder);

} // namespace ravelin::gui
