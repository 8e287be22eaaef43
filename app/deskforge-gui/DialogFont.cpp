#include "app/deskforge-gui/DialogFont.h"

#include "toolkit/Application.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

namespace ravelin::gui {

namespace {

constexpr const char* kFamily = "Tahoma";

bool loadDialogFont() {
    if (QFontDatabase::families().contains(kFamily)) return true;
    // Not registered with fontconfig by the package: loaded from its folder.
    bool loaded = false;
    for (const char* file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf",
          "/usr/share/fonts/truetype/wine/tahoma.ttf"})
        if (QFontDatabase::addApplicationFont(QString::fromLatin1(file)) >= 0) loaded = true;
    return loaded && QFontDatabase::families().contains(kFamily);
}

} // namespace

QFont DialogFont() {
    static const bool available = loadDialogFont();
    QFont font = available ? QFont(kFamily) : QApplication::font();
    font.setPointSizeF(8);
    return font;
}

void MeasureTextInDialogFont() {
    toolkit::TApplication::Instance().MeasureText = [](const std::string& text) {
        return QFontMetrics(DialogFont()).horizontalAdvance(QString::fromStdString(text));
    };
}

} // namespace ravelin::gui
