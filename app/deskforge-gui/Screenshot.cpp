#include "app/deskforge-gui/Screenshot.h"

#include "app/deskforge-gui/MainWindow.h"
#include "host/text/Translate.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <ostream>

namespace ravelin::gui {

int Screenshot(const std::string& pageAndTab, const std::string& outFile, std::ostream& err) {
    const auto colon = pageAndTab.find(':');
    const std::string page = pageAndTab.substr(0, colon);
    const std::string tab = colon == std::string::npos ? "" : pageAndTab.substr(colon + 1);
    MainWindow window;
    if (!window.openPage(page, tab) || !window.pageView()) {
        err << "ERROR: " << text::trf("Keine Seite \"%1\" zu zeigen", pageAndTab) << "\n";
        return 1;
    }
    QApplication::processEvents();
    const QPixmap shot = window.pageView()->grab();
    if (shot.isNull() || !shot.save(QString::fromStdString(outFile), "PNG")) {
        err << "ERROR: " << text::trf("%1 lässt sich nicht schreiben", outFile) << "\n";
        return 1;
    }
    return 0;
}

} // namespace ravelin::gui
