// The settings centre: the module's pages on the left, the chosen page embedded on the
// right, a search over every caption, the journal's last change in the status line and
// an undo for it. Dialogs a page opens modally become modal Qt dialogs.
#pragma once

#include "app/deskforge-gui/FormView.h"
#include "app/deskforge/PageCommand.h"
#include "toolkit/Application.h"

#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QScrollArea;

namespace ravelin::toolkit {
class UserDriver;
}

namespace ravelin::gui {

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
    MainWindow();
    ~MainWindow() override;

    // Shows a page ("tcpip" or its identifier), its tab when given (name or caption).
    bool openPage(const std::string& page, const std::string& tab = "");
    // Undoes the newest change that is not undone yet; false when there is none.
    bool undoLastChange();
    void search(const std::string& text);

    FormView* pageView() const { return view_; }
    // The view of the innermost modal dialog, nullptr when none is open.
    FormView* dialogView() const;
    toolkit::TForm* page() const { return page_.get(); }
    QListWidget* pageList() const { return pages_; }
    QListWidget* searchResults() const { return results_; }
    // The Firefox page's strip: the profiles of the Firefox root, each with its installation.
    QComboBox* profileChooser() const { return profiles_; }
    QString statusText() const;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct ModalDialog {
        toolkit::TForm* form;
        QDialog* dialog;
        FormView* view;
    };
    bool next() override; // the modal loop's next user input
    void buildLayout();
    void buildActions();
    void connectNavigation();
    void connectToolkit();
    void connectHost();
    void runAction(const std::string& control, const DriverAction& action);
    void syncAll();
    void closePage();
    void updateStatus();
    void flushSoon();
    void showSearchHit(int row);
    void fillProfileStrip();

    QListWidget* pages_ = nullptr;
    QLineEdit* searchField_ = nullptr;
    QListWidget* results_ = nullptr;
    QScrollArea* area_ = nullptr;
    QWidget* profileStrip_ = nullptr;
    QComboBox* profiles_ = nullptr;
    QLabel* status_ = nullptr;
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
};

} // namespace ravelin::gui
