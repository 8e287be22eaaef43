// The settings centre: the module's pages on the left, the chosen page embedded on the
// right, a search over every caption, the journal's last change in the status line, undo
// and redo of each change, and the choice of the machine it edits. Dialogs a page opens
// modally become modal Qt dialogs.
#pragma once

#include "app/deskforge-gui/FormView.h"
#include "app/deskforge/PageCommand.h"
#include "toolkit/Application.h"

#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QScrollArea;

namespace ravelin::toolkit {
class UserDriver;
}
namespace ravelin::app {
class MachineSession;
}

namespace ravelin::gui {

class ElidedLabel;
class HistoryDialog;

// Message boxes, input boxes, file-open and colour dialogs as Qt's standard dialogs.
class QtDialogs final : public toolkit::DialogService {
  public:
    int messageBox(const toolkit::MessageBoxRequest& request) override;
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& initial) override;
    std::optional<std::string> openFile(const toolkit::FileDialogRequest& request) override;
    std::optional<toolkit::Color> chooseColor(const toolkit::Color& initial,
                                              std::vector<toolkit::Color>& customColors) override;
};

class MainWindow final : public QMainWindow, private toolkit::InputSource {
  public:
    // Shows the machine the process has bound, if any; without one the pages wait for
    // the user to open a machine.
    MainWindow();
    ~MainWindow() override;

    // The size a new window takes: room for the largest page without scroll bars, within
    // a 1024x768 screen.
    static QSize DefaultSize();

    // The Firefox folder and profile the command line chose, applied to every machine the
    // window opens.
    void setFirefoxOptions(std::string root, std::string profile);
    // Opens the machine in the folder, for writing as a window does: the session is made
    // anew, the page shown before is shown again. Refused with a message to the user when
    // the folder is not a machine (the machine open so far stays open).
    bool openMachine(std::string folder);
    // Reads the open machine from its files again, keeping the page and tab on screen.
    bool reloadMachine();
    bool hasMachine() const;

    // Shows a page ("tcpip" or its identifier), its tab when given (name or caption).
    bool openPage(const std::string& page, const std::string& tab = "");
    // Undoes the newest change whose effect stands; false when there is none. A change
    // the journal cannot undo (it kept no content of a sensitive value) is reported once
    // and passed over from then on, so that older ones can be undone.
    bool undoLastChange();
    // Redoes the change the newest standing undo took back; false when there is none.
    bool redoLastUndo();
    // Undoes or redoes one transaction of the journal; the page and tab stay.
    bool undoTransaction(std::int64_t id);
    bool redoTransaction(std::int64_t id);
    // Bearbeiten → Verlauf.
    HistoryDialog* showHistory();
    HistoryDialog* historyDialog() const { return history_; }
    void search(const std::string& text);

    FormView* pageView() const { return view_; }
    // The view of the innermost modal dialog, nullptr when none is open.
    FormView* dialogView() const;
    toolkit::TForm* page() const { return page_.get(); }
    QListWidget* pageList() const { return pages_; }
    QListWidget* searchResults() const { return results_; }
    // The Firefox page's strip: the profiles of the Firefox root, each with its installation.
    QComboBox* profileChooser() const { return profiles_; }
    QMenu* recentMenu() const { return recent_; }
    QAction* reloadAction() const { return reload_; }
    // The last change as the status line holds it (whole, however much of it shows).
    QString statusText() const;
    ElidedLabel* lastChangeLabel() const { return status_; }
    // The message shown in the status line for a while ("" when none).
    QString statusMessage() const;
    // The chooser shown while no machine is open (nullptr otherwise).
    QWidget* machineChooser() const { return chooser_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct ModalDialog {
        toolkit::TForm* form;
        QDialog* dialog;
        FormView* view;
    };
    // Where the user is: the page and the active sheet of each of its page controls.
    struct Place {
        std::string page;
        std::vector<std::string> sheets;
    };
    bool next() override; // the modal loop's next user input
    void buildLayout();
    void buildActions();
    void connectNavigation();
    void connectToolkit();
    void connectHost();
    void bindMachine();
    void runAction(const std::string& control, const DriverAction& action);
    void syncAll();
    void closePage();
    void updateStatus();
    void updateMachineState();
    void fillRecentMenu();
    void chooseMachine();
    void flushSoon();
    void showSearchHit(int row);
    void fillProfileStrip();
    Place place() const;
    void restore(const Place& place);
    bool undoOrRedo(std::int64_t id, bool undo);
    // A failure the user must see; a write refused because another program changed the
    // machine's files offers to read them again.
    void reportFailure(const std::string& why);
    bool machineChangedOnDisk() const;
    void message(const QString& text, int timeout = 5000);

    QListWidget* pages_ = nullptr;
    QLineEdit* searchField_ = nullptr;
    QListWidget* results_ = nullptr;
    QScrollArea* area_ = nullptr;
    QWidget* profileStrip_ = nullptr;
    QComboBox* profiles_ = nullptr;
    QWidget* chooser_ = nullptr;
    ElidedLabel* status_ = nullptr;
    QMenu* recent_ = nullptr;
    QAction* reload_ = nullptr;
    std::vector<QAction*> machineActions_; // what needs an open machine
    HistoryDialog* history_ = nullptr;
    FormView* view_ = nullptr;
    QTimer clock_, flush_, searchDelay_;
    qint64 lastTick_ = 0;
    std::string pageName_;
    app::PageActions actions_{""}; // outlives the page: closing it journals its last edits
    std::unique_ptr<toolkit::TForm> page_;
    std::unique_ptr<toolkit::UserDriver> driver_;
    std::vector<ModalDialog> modal_;
    QtDialogs dialogs_;
    struct SearchHit {
        std::string page, tab, control;
    };
    std::vector<SearchHit> hits_;
    std::unique_ptr<app::MachineSession> session_; // the machine this window opened
    std::string firefoxRoot_, commandProfile_, firefoxProfile_;
    std::set<std::int64_t> passedOver_; // changes Ctrl+Z cannot undo, reported already
};

} // namespace ravelin::gui
