// The picture store of the desktop host: the pages name pictures by share-relative file
// names; a file we ship wins, else an icon of the installed freedesktop theme stands in.
// Nothing is fetched at run time.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <string>

namespace ravelin::gui {

// "" or an unknown name gives an empty pixmap (the place stays blank).
QPixmap Picture(const std::string& file, QSize size);
// The icon of a page in the host's list, by the icon name of the module's page table.
QIcon PageIcon(const std::string& icon);
// Makes the freedesktop theme reachable where the platform names none (offscreen, bare X).
void UseFreedesktopTheme();

} // namespace ravelin::gui
