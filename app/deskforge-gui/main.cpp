// deskforge-gui: the desktop settings centre around the module.
#include "app/deskforge-gui/DialogFont.h"
#include "app/deskforge-gui/Language.h"
#include "app/deskforge-gui/MachineChoice.h"
#include "app/deskforge-gui/MainWindow.h"
#include "app/deskforge-gui/Pictures.h"
#include "app/deskforge-gui/Screenshot.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/ModuleLoader.h"
#include "app/deskforge/PageCommand.h"
#include "host/text/Translate.h"

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QWindow>
#include <cstdlib>
#include <iostream>

namespace {

using ravelin::text::tr;
using ravelin::text::trf;

// Waits until the window is on screen and painted, then writes it to a PNG.
int grabWindow(QWidget& window, const std::string& file) {
    QDeadlineTimer deadline(10000);
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QDeadlineTimer settle(300);
    while (!settle.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    const QPixmap shot = window.grab();
    if (shot.isNull() || !shot.save(QString::fromStdString(file), "PNG")) {
        std::cerr << "ERROR: " << trf("%1 lässt sich nicht schreiben", file) << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App cli{"deskforge-gui: the settings of a Windows system seen from outside, in a window"};
    std::string machine, screenshot;
    std::vector<std::string> shotArgs;
    cli.add_option("--machine", machine, "a Wine prefix or a Windows drive or hive folder");
    std::string firefoxRoot;
    cli.add_option("--firefox-root", firefoxRoot,
                   "the Firefox folder with profiles.ini instead of the machine's");
    std::string firefoxProfile;
    cli.add_option("--firefox-profile", firefoxProfile,
                   "the Firefox profile to edit (a name in profiles.ini or a folder) instead of "
                   "the one Firefox starts with");
    cli.add_option("--screenshot", shotArgs,
                   "PAGE[:TAB] OUT.png: render the page to a PNG and exit")
        ->expected(2);
    std::string lang;
    cli.add_option("--lang", lang, "the language of the window (default: the locale's)")
        ->check(CLI::IsMember({"de", "en"}));
    std::string startPage;
    cli.add_option("--page", startPage, "PAGE[:TAB]: the page the window shows first");
    std::string windowShot;
    cli.add_option("--window-screenshot", windowShot,
                   "OUT.png: show the window, write it to a PNG once it is on screen and exit");
    CLI11_PARSE(cli, argc, argv);
    // Before anything builds a text.
    ravelin::text::SetLanguage(lang.empty() ? ravelin::text::LanguageFromLocale() : lang);

    // A screenshot needs no display.
    const bool shot = !shotArgs.empty();
    if (shot && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qtApp(argc, argv);
    QApplication::setOrganizationName("deskforge");
    QApplication::setApplicationName("deskforge");
    QApplication::setDesktopFileName("deskforge");
    ravelin::gui::UseQtTranslations();
    ravelin::gui::UseFreedesktopTheme();
    ravelin::gui::MeasureTextInDialogFont();

    try {
        ravelin::app::LoadedModule module("Ravelin.bpl");
        ravelin::app::SetModulePages(
            module.pages(), [&module](const std::string& id) { return module.InitSubForm(id); });
        int rc = 0;
        if (shot) {
            // A screenshot changes nothing: what a page writes while it is created is dropped.
            ravelin::app::MachineSession session(ravelin::app::MachineFolder(machine, std::cerr),
                                                 ravelin::app::MachineSession::Mode::DryRun);
            ravelin::app::UseFirefoxRoot(firefoxRoot);
            ravelin::app::UseFirefoxProfile(firefoxProfile);
            rc = ravelin::gui::Screenshot(shotArgs[0], shotArgs[1], std::cerr);
        } else {
            ravelin::gui::MainWindow window;
            window.setFirefoxOptions(firefoxRoot, firefoxProfile);
            window.show();
            // A folder that is no machine leaves the window open, for the user to choose one.
            std::string problem;
            std::string folder;
            try {
                folder = ravelin::app::MachineFolder(machine, std::cerr);
            } catch (const std::exception& e) {
                problem = trf("Die Beispielmaschine lässt sich nicht anlegen: %1", e.what());
            }
            if (problem.empty())
                if (auto why = ravelin::gui::NotAMachine(folder)) problem = *why;
            if (!problem.empty()) {
                std::cerr << "ERROR: " << problem << "\n";
                if (windowShot.empty())
                    QMessageBox::warning(&window, QString::fromStdString(tr("Maschine öffnen")),
                                         QString::fromStdString(problem));
            } else if (window.openMachine(folder) && !startPage.empty()) {
                const auto colon = startPage.find(':');
                const std::string tab =
                    colon == std::string::npos ? "" : startPage.substr(colon + 1);
                if (!window.openPage(startPage.substr(0, colon), tab))
                    std::cerr << "ERROR: " << trf("Keine Seite \"%1\"", startPage) << "\n";
            }
            rc = windowShot.empty() ? QApplication::exec() : grabWindow(window, windowShot);
        }
        ravelin::app::SetModulePages({}, nullptr);
        return rc;
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
        if (!shot && QApplication::platformName() != "offscreen")
            QMessageBox::critical(nullptr, "Deskforge", QString::fromStdString(e.what()));
        return 1;
    }
}
