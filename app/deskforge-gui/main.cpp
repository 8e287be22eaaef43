// deskforge-gui: the desktop settings centre around the module.
#include "app/deskforge-gui/DialogFont.h"
#include "app/deskforge-gui/MainWindow.h"
#include "app/deskforge-gui/Pictures.h"
#include "app/deskforge-gui/Screenshot.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/ModuleLoader.h"
#include "app/deskforge/PageCommand.h"

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <iostream>

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
    CLI11_PARSE(cli, argc, argv);

    // A screenshot needs no display.
    const bool shot = !shotArgs.empty();
    if (shot && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("deskforge");
    QApplication::setDesktopFileName("deskforge");
    ravelin::gui::UseFreedesktopTheme();
    ravelin::gui::MeasureTextInDialogFont();

    try {
        ravelin::app::LoadedModule module("Ravelin.bpl");
        ravelin::app::SetModulePages(
            module.pages(), [&module](const std::string& id) { return module.InitSubForm(id); });
        using Mode = ravelin::app::MachineSession::Mode;
        // A screenshot changes nothing: what a page writes while it is created is dropped.
        ravelin::app::MachineSession session(ravelin::app::MachineFolder(machine, std::cerr),
                                             shot ? Mode::DryRun : Mode::Interactive);
        ravelin::app::UseFirefoxRoot(firefoxRoot);
        ravelin::app::UseFirefoxProfile(firefoxProfile);
        int rc = 0;
        if (shot) {
            rc = ravelin::gui::Screenshot(shotArgs[0], shotArgs[1], std::cerr);
        } else {
            ravelin::gui::MainWindow window;
            window.show();
            rc = QApplication::exec();
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
