// A toolkit form shown with Qt widgets. The toolkit stays the model: the view copies its
// state into the widgets (sync) and turns what a user does to a widget into the user
// driver's action, so the window behaves exactly like scripts and tests.
#pragma once

#include "toolkit/Controls.h"

#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QAbstractButton;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace ravelin::toolkit {
class UserDriver;
}

namespace ravelin::gui {

// Runs one user action on the control of that name; the host groups what it writes into
// one journal transaction and refreshes every view afterwards.
using DriverAction = std::function<void(toolkit::UserDriver&)>;
using ActionRunner = std::function<void(const std::string& control, const DriverAction& action)>;

class FormView final : public QWidget {
  public:
    FormView(toolkit::TForm& form, ActionRunner run, QWidget* parent = nullptr);
    ~FormView() override;

    // Copies the toolkit's state into the widgets.
    void sync();
    // The form is about to be freed: the view no longer touches it.
    void detach();
    toolkit::TForm* form() const { return form_; }

    QWidget* widgetFor(const toolkit::TControl& control) const;
    QWidget* widgetByName(const std::string& name) const;
    std::size_t widgetCount() const { return widgets_.size(); }
    // The name the user driver knows a control or menu item by ("FRAME.NAME" inside a
    // frame).
    static std::string DriverName(const toolkit::TComponent& component);
    // The pop-up menu shown for the toolkit's open menu (nullptr when none is open).
    QMenu* shownMenu() const { return menu_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Enter and Escape go to the toolkit (default and cancel buttons) when no widget took
    // them (a memo breaks its line, a focused button presses itself).
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void build(toolkit::TWinControl& parent, QWidget* host);
    QWidget* create(toolkit::TControl& control, QWidget* host);
    QWidget* newWidget(toolkit::TControl& control, QWidget* host);
    QWidget* newButton(toolkit::TButton& button, QWidget* host);
    QWidget* newCheckBox(toolkit::TCheckBox& box, QWidget* host);
    QWidget* newRadioButton(toolkit::TRadioButton& radio, QWidget* host);
    QWidget* newMemo(toolkit::TMemo& memo, QWidget* host);
    QWidget* newEdit(toolkit::TEdit& edit, QWidget* host);
    QWidget* newUpDown(toolkit::TUpDownEdit& upDown, QWidget* host);
    QWidget* newTrackBar(toolkit::TTrackBar& trackBar, QWidget* host);
    QWidget* newComboBox(toolkit::TComboBox& combo, QWidget* host);
    QWidget* newListView(toolkit::TListView& list, QWidget* host);
    QWidget* newCheckList(toolkit::TBigCheckListBox& list, QWidget* host);
    QWidget* newTreeView(toolkit::TTreeView& tree, QWidget* host);
    QWidget* newSpeedButton(toolkit::TSpeedButton& button, QWidget* host);
    QWidget* newLabel(toolkit::TLabel& label, QWidget* host);
    void routeRightClick(toolkit::TControl& control, QWidget* widget);
    bool typeKey(QLineEdit& field, QKeyEvent& key);

    void syncControl(toolkit::TControl& control, QWidget* widget);
    void syncTabSheet(toolkit::TTabSheet& sheet, QWidget* widget);
    QSize syncPlacement(toolkit::TControl& control, QWidget* widget);
    void syncButton(toolkit::TControl& control, QAbstractButton& button);
    void syncComboBox(toolkit::TComboBox& box, QComboBox& combo);
    void syncCheckList(toolkit::TBigCheckListBox& box, QListWidget& list);
    void syncListView(toolkit::TListView& list, QTreeWidget& tree);
    void syncTreeView(toolkit::TTreeView& view, QTreeWidget& tree);
    void syncImage(toolkit::TImage& image, QLabel& label, QSize size);

    void act(const toolkit::TControl& control, const DriverAction& action);
    // False while Qt is inside a signal of this widget (the view redraws once it returns):
    // clearing its items then would free the item Qt is still handling.
    bool mayRebuild(QWidget* widget);
    void syncMenu();
    void fillMenu(QMenu& menu, const std::vector<toolkit::TMenuItem*>& items);

    toolkit::TForm* form_;
    ActionRunner run_;
    std::vector<std::pair<toolkit::TControl*, QWidget*>> widgets_;
    std::map<const toolkit::TControl*, std::string> shownItems_; // items or picture last shown
    bool syncing_ = false;
    QWidget* signalling_ = nullptr; // the widget whose signal is being handled
    bool resyncWanted_ = false;
    QPointer<QMenu> menu_;
    toolkit::TPopupMenu* menuShown_ = nullptr;
};

} // namespace ravelin::gui
