#include "app/deskforge-gui/Language.h"

#include "host/text/Translate.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace ravelin::gui {

bool UseQtTranslations() {
    auto* app = QCoreApplication::instance();
    if (!app) return false;
    // The application owns its catalogue: one at a time.
    for (QTranslator* old :
         app->findChildren<QTranslator*>("qtTranslations", Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    auto* catalogue = new QTranslator(app);
    catalogue->setObjectName("qtTranslations");
    if (!catalogue->load("qtbase_" + QString::fromStdString(text::CurrentLanguage()),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete catalogue;
        return false;
    }
    return QCoreApplication::installTranslator(catalogue);
}

} // namespace ravelin::gui
