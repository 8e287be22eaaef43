// The window's rendering of the richer controls (pop-up menus, list and tree views with
// images and ticks, memos, speed buttons, frames) and the keys that reach the toolkit.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "network/ufrmTCPIP.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/FormLoader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::toolkit;

namespace {

const char* const kForm = R"({"type": "TForm", "name": "frmControls", "width": 500,
  "height": 400, "children": [
    {"type": "TImageList", "name": "ilIcons"},
    {"type": "TPopupMenu", "name": "pupList", "children": [
      {"type": "TMenuItem", "name": "miOpen", "caption": "&Öffnen", "onClick": "miOpenClick"},
      {"type": "TMenuItem", "name": "miSep", "caption": "-"},
      {"type": "TMenuItem", "name": "miMore", "caption": "Weitere", "children": [
        {"type": "TMenuItem", "name": "miDeep", "caption": "Tief", "onClick": "miDeepClick"}]}]},
    {"type": "TListView", "name": "lvTypes", "left": 10, "top": 10, "width": 220,
     "height": 120, "checkboxes": true, "viewStyle": "vsReport", "smallImages": "ilIcons",
     "popupMenu": "pupList", "columns": [{"caption": "Typ", "width": 80}, "Beschreibung"]},
    {"type": "TTreeView", "name": "tvFavorites", "left": 240, "top": 10, "width": 220,
     "height": 120, "images": "ilIcons"},
    {"type": "TMemo", "name": "txtNotice", "left": 10, "top": 140, "width": 220, "height": 60},
    {"type": "TSpeedButton", "name": "sbBold", "caption": "Fett", "groupIndex": 1,
     "allowAllUp": true, "left": 240, "top": 140, "width": 60, "height": 22},
    {"type": "TEdit", "name": "txtName", "left": 240, "top": 170, "width": 100},
    {"type": "TButton", "name": "btnOK", "caption": "OK", "default": true,
     "onClick": "btnOKClick", "left": 320, "top": 360, "width": 75, "height": 23},
    {"type": "TButton", "name": "btnCancel", "caption": "Abbrechen", "cancel": true,
     "onClick": "btnCancelClick", "left": 400, "top": 360, "width": 75, "height": 23}]})";

class ControlsForm : public TForm {
  public:
    std::vector<std::string> log;
    ControlsForm() : TForm(nullptr) {
        Handlers h;
        for (const char* n : {"miOpenClick", "miDeepClick", "btnOKClick", "btnCancelClick"})
            h.add(n, TNotifyEvent([this, n](TComponent&) { log.push_back(n); }));
        LoadForm(*this, kForm, "controls.json", h);
    }
    template <typename T> T& get(const std::string& name) {
        return dynamic_cast<T&>(*FindComponent(name));
    }
};

class GuiControls : public ::testing::Test {
  protected:
    GuiControls()
        : driver(form), view(form, [this](const std::string&, const gui::DriverAction& action) {
              try {
                  action(driver);
              } catch (const DriverError& e) {
                  refused.push_back(e.what());
              }
              view.sync();
          }) {}
    ~GuiControls() override {
        view.detach();
        TApplication::Instance().CloseMenu();
    }
    template <typename T> T* w(const std::string& name) {
        return dynamic_cast<T*>(view.widgetByName(name));
    }
    ControlsForm form;
    UserDriver driver;
    std::vector<std::string> refused;
    gui::FormView view;
};

} // namespace

TEST_F(GuiControls, ARightClickOpensThePopupMenuAndAChoiceRunsItsItem) {
    auto& lv = form.get<TListView>("lvTypes");
    lv.Add().Caption = "EXE";
    lv.Add().Caption = "BAT";
    view.sync();
    auto* list = w<QTreeWidget>("lvTypes");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    const QPoint at = list->visualItemRect(list->topLevelItem(1)).center();
    emit list->customContextMenuRequested(at);
    EXPECT_EQ(lv.Selected(), &lv.Item(1)) << "the item under the pointer is selected";
    QMenu* menu = view.shownMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "&Öffnen");
    EXPECT_TRUE(actions[1]->isSeparator());
    ASSERT_NE(actions[2]->menu(), nullptr);
    EXPECT_EQ(actions[2]->menu()->actions().front()->text(), "Tief");
    actions[2]->menu()->actions().front()->trigger();
    EXPECT_EQ(form.log, std::vector<std::string>{"miDeepClick"})
        << (refused.empty() ? "" : refused.front());
    EXPECT_EQ(TApplication::Instance().OpenedMenu(), nullptr);
    EXPECT_EQ(view.shownMenu(), nullptr);

    // Dismissed (Escape, a click elsewhere): the toolkit's menu closes as well.
    emit list->customContextMenuRequested(at);
    ASSERT_NE(view.shownMenu(), nullptr);
    view.shownMenu()->hide();
    QApplication::processEvents();
    EXPECT_EQ(TApplication::Instance().OpenedMenu(), nullptr);
    EXPECT_EQ(view.shownMenu(), nullptr);
    EXPECT_THROW(driver.Click("miOpen"), DriverError);
}

TEST_F(GuiControls, ListsAndTreesShowTheirImagesTicksAndColumns) {
    test::TempDir dir;
    const std::string png = dir.path() + "/folder.png";
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(QString::fromStdString(png)));
    form.get<TImageList>("ilIcons").Files = {png};

    auto& lv = form.get<TListView>("lvTypes");
    TListItem& exe = lv.Add();
    exe.Caption = "EXE";
    exe.SubItems = {"Anwendung"};
    exe.SetChecked(true);
    view.sync();
    auto* list = w<QTreeWidget>("lvTypes");
    EXPECT_FALSE(list->isHeaderHidden());
    EXPECT_EQ(list->columnWidth(0), 80);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Anwendung");
    EXPECT_TRUE(list->topLevelItem(0)->icon(0).isNull());
    exe.ImageIndex = 0;
    view.sync();
    EXPECT_FALSE(list->topLevelItem(0)->icon(0).isNull()) << "a new image shows";
    list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_FALSE(exe.Checked()) << "unticking in the window ticks off in the toolkit";

    auto& tv = form.get<TTreeView>("tvFavorites");
    TTreeNode& root = tv.AddRoot("Favoriten");
    root.ImageIndex = 0;
    root.AddChild("Links");
    view.sync();
    auto* tree = w<QTreeWidget>("tvFavorites");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_FALSE(tree->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(tree->topLevelItem(0)->child(0)->icon(0).isNull());
    // Opening a folder in the window moves the rows the toolkit's GetNodeAt counts.
    tree->topLevelItem(0)->setExpanded(true);
    EXPECT_TRUE(root.Expanded);
    EXPECT_EQ(tv.GetNodeAt(40, tv.ItemHeight + 2), &root.Item(0));
    root.Item(0).Delete();
    view.sync();
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 0);
}

TEST_F(GuiControls, MemosAndSpeedButtonsTakeTheUsersInput) {
    auto* memo = w<QPlainTextEdit>("txtNotice");
    ASSERT_NE(memo, nullptr);
    memo->setPlainText("Erste\nZweite");
    auto& notice = form.get<TMemo>("txtNotice");
    EXPECT_EQ(notice.Text(), "Erste\r\nZweite");
    notice.Lines().Add("Dritte");
    view.sync();
    EXPECT_EQ(memo->toPlainText(), "Erste\nZweite\nDritte");

    auto* bold = w<QToolButton>("sbBold");
    ASSERT_NE(bold, nullptr);
    bold->click();
    EXPECT_TRUE(form.get<TSpeedButton>("sbBold").Down());
    EXPECT_TRUE(bold->isChecked());
    bold->click();
    EXPECT_FALSE(form.get<TSpeedButton>("sbBold").Down()) << "all up allowed";
}

TEST_F(GuiControls, EnterAndEscapeReachTheDefaultAndCancelButtons) {
    auto* name = w<QLineEdit>("txtName");
    ASSERT_NE(name, nullptr);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(name, &enter);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(name, &escape);
    EXPECT_EQ(form.log, (std::vector<std::string>{"btnOKClick", "btnCancelClick"}));
    // In a memo Enter is a line break.
    auto* memo = w<QPlainTextEdit>("txtNotice");
    memo->setFocus();
    QKeyEvent inMemo(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(memo, &inMemo);
    EXPECT_EQ(form.log.size(), 2u);
    EXPECT_TRUE(refused.empty());
}

TEST_F(GuiControls, AFrameShowsItsOwnControlsWhereThePagePlacedIt) {
    class Frame : public TFrame {
      public:
        Frame(TComponent* owner, std::vector<std::string>& log) : TFrame(owner) {
            Handlers h;
            h.add("chkShowClick", TNotifyEvent([&log](TComponent&) { log.push_back("frame"); }));
            LoadFrame(*this, R"({"type": "TFrame", "name": "FrameMenu", "width": 200,
                "height": 60, "children": [
                {"type": "TCheckBox", "name": "chkShow", "caption": "Menüleiste anzeigen",
                 "left": 8, "top": 8, "width": 150, "height": 17, "onClick": "chkShowClick"}]})",
                      "frame.json", h);
        }
    };
    ControlsForm page;
    auto& frame = page.Create<Frame>(page.log);
    frame.SetParent(&page);
    frame.Left = 12;
    frame.Top = 220;
    UserDriver pageDriver(page);
    gui::FormView pageView(page, [&](const std::string&, const gui::DriverAction& action) {
        action(pageDriver);
        pageView.sync();
    });
    auto* box = dynamic_cast<QCheckBox*>(pageView.widgetByName("FrameMenu.chkShow"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget()->geometry().topLeft(), QPoint(12, 220));
    box->click();
    EXPECT_TRUE(dynamic_cast<TCheckBox&>(*frame.FindComponent("chkShow")).Checked());
    EXPECT_EQ(page.log, std::vector<std::string>{"frame"});
    pageView.detach();
}

namespace {

void press(QWidget* field, Qt::Key key, const QString& text = {}) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(field, &event);
}

void typeInto(QWidget* field, const QString& text) {
    for (QChar ch : text)
        press(field, static_cast<Qt::Key>(ch.toUpper().unicode()), QString(ch));
}

} // namespace

// Keys typed in the window take the path a script's typing takes: the page's key handler
// sees each one and may refuse it. The receive window takes digits only, at the caret.
TEST(GuiTyping, KeysInTheWindowGoThroughThePagesKeyHandler) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    app::MachineSession session(dir.path(), app::MachineSession::Mode::Interactive);
    network::TfrmTCPIP page(nullptr);
    page.Show();
    UserDriver driver(page);
    std::vector<std::string> refused;
    gui::FormView view(page, [&](const std::string&, const gui::DriverAction& action) {
        try {
            action(driver);
        } catch (const DriverError& e) {
            refused.push_back(e.what());
        }
        view.sync();
    });
    driver.Tab("tsRWin");
    view.sync();
    auto* combo = dynamic_cast<QComboBox*>(view.widgetByName("cbRWin"));
    ASSERT_NE(combo, nullptr);
    QLineEdit* field = combo->lineEdit();
    ASSERT_NE(field, nullptr);
    ASSERT_EQ(field->text(), "64240");
    const std::size_t beeps = TApplication::Instance().Beeps.size();

    field->setCursorPosition(2);
    typeInto(field, "1a");
    EXPECT_EQ(page.cbRWin->Text(), "641240") << "the digit at the caret, the letter refused";
    EXPECT_EQ(field->text(), "641240");
    EXPECT_EQ(field->cursorPosition(), 3) << "the caret stays after what was typed";
    EXPECT_EQ(TApplication::Instance().Beeps.size(), beeps + 1) << "the refused key beeps";

    field->setSelection(0, 6);
    typeInto(field, "x8");
    field->setCursorPosition(1);
    press(field, Qt::Key_Backspace);
    press(field, Qt::Key_Backspace);
    typeInto(field, "81");
    press(field, Qt::Key_End);
    typeInto(field, "92");
    field->setCursorPosition(2);
    press(field, Qt::Key_Delete);
    EXPECT_EQ(page.cbRWin->Text(), "812") << "select, backspace, delete and the arrows as a person";
    EXPECT_TRUE(refused.empty()) << refused.front();

    view.widgetByName("btnOK")->setFocus();
    static_cast<QPushButton*>(view.widgetByName("btnOK"))->click();
    std::vector<std::string> adapters;
    EnumRegKeysEx(HKEY_LOCAL_MACHINE,
                  "System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces", adapters,
                  {});
    ASSERT_FALSE(adapters.empty());
    DWORD window = 0;
    GetRegDWORDValue(HKEY_LOCAL_MACHINE,
                     "System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" +
                         adapters.front(),
                     "TcpWindowSize", window, {});
    EXPECT_EQ(window, 812u) << "what was typed is written, not the fallback for letters";
    view.detach();
}

// A read-only field looks it (the window's colour, not an editable field's white) and
// typing into it reaches nothing.
TEST_F(GuiControls, AReadOnlyFieldLooksReadOnlyAndTakesNoKeys) {
    auto& name = form.get<TEdit>("txtName");
    auto* field = w<QLineEdit>("txtName");
    ASSERT_NE(field, nullptr);
    const QColor editable = field->palette().color(QPalette::Base);
    name.ReadOnly = true;
    name.SetText("fest");
    view.sync();
    EXPECT_TRUE(field->isReadOnly());
    EXPECT_EQ(field->palette().color(QPalette::Base), field->palette().color(QPalette::Window));
    EXPECT_NE(field->palette().color(QPalette::Base), editable);
    typeInto(field, "x");
    EXPECT_EQ(name.Text(), "fest");
    EXPECT_TRUE(refused.empty()) << "the window does not even try";
    name.ReadOnly = false;
    view.sync();
    EXPECT_EQ(field->palette().color(QPalette::Base), editable) << "editable again, white again";
    typeInto(field, "x");
    EXPECT_EQ(name.Text(), "festx");
}
