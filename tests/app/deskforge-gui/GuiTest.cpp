// The desktop host, offscreen: what the window renders and that a user's clicks on Qt
// widgets take the same paths as script lines.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/MainWindow.h"
#include "app/deskforge-gui/Screenshot.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Controlhelper.h"
#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "host/machine/Templates.h"
#include "host/registry/Patch.h"
#include "host/registry/RegFile.h"
#include "network/ufrmNetwork.h"
#include "network/ufrmTCPIP.h"
#include "tests/PageTestSupport.h"
#include "tests/TestForms.h"
#include "tests/TestSupport.h"
#include "toolkit/Driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;

namespace {

class Gui : public ::testing::Test {
  protected:
    void TearDown() override { session.reset(); }
    void open(test::TempDir& dir,
              app::MachineSession::Mode mode = app::MachineSession::Mode::Write) {
        session.reset();
        test::createSampleMachine(dir.path(), "winxp");
        session = std::make_unique<app::MachineSession>(dir.path(), mode);
    }
    // What the journal holds, as the .reg patch it would export.
    std::string journalPatch() {
        registry::RegFileWriter writer;
        registry::writePatch(session->journal()->registryChangesSince(1), writer);
        const auto bytes = writer.bytes();
        return std::string(bytes.begin(), bytes.end());
    }
    test::ModulePages pages;
    std::unique_ptr<app::MachineSession> session;
};

template <typename T> T* widget(gui::FormView* view, const std::string& name) {
    return view ? dynamic_cast<T*>(view->widgetByName(name)) : nullptr;
}

void countControls(toolkit::TWinControl& parent, std::size_t& n) {
    for (toolkit::TControl* c : parent.Controls()) {
        ++n;
        if (auto* w = dynamic_cast<toolkit::TWinControl*>(c)) countControls(*w, n);
    }
}

} // namespace

TEST_F(Gui, EveryControlOfAPageHasItsWidgetAndTheToolkitStateShows) {
    test::TempDir dir;
    open(dir);
    gui::MainWindow window;
    ASSERT_TRUE(window.openPage("internet"));
    std::size_t controls = 0;
    countControls(*window.page(), controls);
    EXPECT_EQ(window.pageView()->widgetCount(), controls);

    auto* form = dynamic_cast<network::TfrmNetwork*>(window.page());
    ASSERT_NE(form, nullptr);
    auto* tabs = widget<QTabWidget>(window.pageView(), "pcNetwork");
    ASSERT_NE(tabs, nullptr);
    for (toolkit::TTabSheet* sheet : form->pcNetwork->Pages()) {
        const int index = tabs->indexOf(window.pageView()->widgetFor(*sheet));
        EXPECT_EQ(tabs->isTabVisible(index), sheet->TabVisible) << sheet->Name;
    }
    // A change made from code reaches the widget at the next sync.
    auto* box = widget<QAbstractButton>(window.pageView(), "chkNetTasks");
    ASSERT_NE(box, nullptr);
    form->chkNetTasks->SetChecked(!form->chkNetTasks->Checked());
    window.pageView()->sync();
    EXPECT_EQ(box->isChecked(), form->chkNetTasks->Checked());
}

TEST_F(Gui, ClickingACheckBoxWritesWhatTheScriptLineWrites) {
    test::TempDir byScript, byClick;
    open(byScript);
    std::ostringstream out, err;
    std::istringstream in;
    app::Console console{out, err, in};
    ASSERT_EQ(app::runPageCommand("internet", "click chkNetTasks\n", "script", console), 0)
        << err.str();
    const std::string scripted = journalPatch();
    ASSERT_GT(session->journal()->list().front().changes, 0);

    open(byClick);
    {
        gui::MainWindow window;
        ASSERT_TRUE(window.openPage("internet"));
        auto* box = widget<QAbstractButton>(window.pageView(), "chkNetTasks");
        ASSERT_NE(box, nullptr);
        box->click();
        EXPECT_TRUE(window.statusText().contains("internet/chkNetTasks"))
            << window.statusText().toStdString();
    }
    EXPECT_EQ(journalPatch(), scripted);
    auto last = session->journal()->list().front();
    EXPECT_EQ(last.page + "/" + last.control, "internet/chkNetTasks");
}

TEST_F(Gui, UndoRevertsTheLastClickAndThePageShowsIt) {
    test::TempDir dir;
    open(dir);
    gui::MainWindow window;
    ASSERT_TRUE(window.openPage("internet"));
    const bool before = dynamic_cast<network::TfrmNetwork*>(window.page())->chkNetTasks->Checked();
    widget<QAbstractButton>(window.pageView(), "chkNetTasks")->click();
    ASSERT_TRUE(window.undoLastChange());
    EXPECT_EQ(dynamic_cast<network::TfrmNetwork*>(window.page())->chkNetTasks->Checked(), before);
    EXPECT_EQ(widget<QAbstractButton>(window.pageView(), "chkNetTasks")->isChecked(), before);
    EXPECT_FALSE(window.undoLastChange()) << "the one change is undone already";
}

TEST_F(Gui, AModalDialogOpensAsAQtDialogAndClosesWithItsButton) {
    test::TempDir dir;
    open(dir);
    gui::MainWindow window;
    ASSERT_TRUE(window.openPage("internet", "tsInternet"));
    std::string seen;
    QTimer::singleShot(0, [&] {
        gui::FormView* dialog = window.dialogView();
        seen = dialog && dialog->form() ? dialog->form()->Name : "no dialog";
        if (dialog) dialog->window()->isModal() ? seen += " modal" : seen += " modeless";
        if (auto* cancel = widget<QAbstractButton>(dialog, "btnCancel")) cancel->click();
    });
    auto* button = widget<QAbstractButton>(window.pageView(), "btnTCPIPSettings");
    ASSERT_NE(button, nullptr);
    button->click(); // returns when the dialog has closed
    EXPECT_EQ(seen, "frmTCPIP modal");
    EXPECT_EQ(window.dialogView(), nullptr);
    EXPECT_EQ(window.page()->ModalResult, toolkit::mrNone) << "the page itself stays open";
}

TEST_F(Gui, AChangeMadeInsideADialogIsJournalledAndCanBeUndone) {
    test::TempDir dir;
    open(dir);
    const std::string key = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
    auto ttl = [&] {
        DWORD v = 0xDEADBEEF;
        GetRegDWORDValue(HKEY_LOCAL_MACHINE, key, "DefaultTTL", v, {});
        return v;
    };
    const DWORD before = ttl();
    gui::MainWindow window;
    ASSERT_TRUE(window.openPage("internet", "tsInternet"));
    QTimer::singleShot(0, [&] {
        gui::FormView* dialog = window.dialogView();
        if (!dialog) return;
        widget<QTabWidget>(dialog, "pcTCPIP")->setCurrentIndex(2); // tsTTL
        widget<QSlider>(dialog, "tbTTL")->setValue(99);
        widget<QAbstractButton>(dialog, "btnOK")->click();
    });
    widget<QAbstractButton>(window.pageView(), "btnTCPIPSettings")->click();
    EXPECT_EQ(window.dialogView(), nullptr);
    EXPECT_EQ(ttl(), 99u);
    ASSERT_TRUE(window.undoLastChange());
    EXPECT_EQ(ttl(), before);
}

TEST_F(Gui, APageAskingForAnotherOpensItAtTheTab) {
    test::TempDir dir;
    open(dir);
    gui::MainWindow window;
    ASSERT_TRUE(window.openPage("internet"));
    MainAppFormShow(*window.page(), "tcpip|Ravelin.bpl", 2);
    EXPECT_EQ(window.page()->Name, "frmNetwork") << "not while the asking page's handler runs";
    QApplication::processEvents();
    ASSERT_EQ(window.page()->Name, "frmTCPIP");
    auto* pc = dynamic_cast<toolkit::TPageControl*>(window.page()->FindComponent("pcTCPIP"));
    ASSERT_NE(pc, nullptr);
    EXPECT_EQ(pc->ActivePage()->Name, "tsTTL");
    EXPECT_EQ(window.pageList()->currentItem()->text(), "TCP/IP-Optionen");
}

TEST_F(Gui, SearchFindsACaptionAndOpensItsTab) {
    test::TempDir dir;
    open(dir);
    gui::MainWindow window;
    window.search("zeitserver");
    ASSERT_GT(window.searchResults()->count(), 0);
    emit window.searchResults()->itemClicked(window.searchResults()->item(0));
    auto* form = dynamic_cast<network::TfrmNetwork*>(window.page());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->pcNetwork->ActivePage(), form->tsTimeSync);
}

TEST_F(Gui, AScreenshotIsAPngOfThePageSize) {
    test::TempDir dir;
    open(dir, app::MachineSession::Mode::DryRun);
    const std::string file = dir.path() + "/tcpip.png";
    std::ostringstream err;
    ASSERT_EQ(gui::Screenshot("tcpip:Paketreichweite (TTL)", file, err), 0) << err.str();
    QImage image(QString::fromStdString(file), "PNG");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 412) << "the dialog's client width";
    EXPECT_EQ(image.height(), 349);
    EXPECT_EQ(gui::Screenshot("tcpip:noSuchTab", file, err), 1);
    EXPECT_EQ(gui::Screenshot("nopage", dir.path() + "/x.png", err), 1)
        << "not offered by this module";
}

// Every kind of control on the toolkit's test form, without a machine: the widget each
// becomes, and a user's action on the widget arriving in the toolkit as the driver's.
class FormViewTest : public ::testing::Test {
  protected:
    FormViewTest()
        : driver(page),
          view(page, [this](const std::string& control, const gui::DriverAction& action) {
              actions.push_back(control);
              try { // as the host does: a refused action changes nothing
                  action(driver);
              } catch (const toolkit::DriverError&) {
                  actions.back() += " refused";
              }
              view.sync();
          }) {}
    template <typename T> T* w(const std::string& name) { return widget<T>(&view, name); }
    std::vector<std::string>& log() { return page.log; }
    test::TestPage page;
    toolkit::UserDriver driver;
    std::vector<std::string> actions;
    gui::FormView view;
};

TEST_F(FormViewTest, EachControlBecomesItsWidgetWithTheFormsState) {
    EXPECT_EQ(view.size(), QSize(500, 400));
    auto* tabs = w<QTabWidget>("pcMain");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 3);
    EXPECT_FALSE(tabs->isTabVisible(2)) << "tsHidden";
    EXPECT_EQ(tabs->tabText(0), "&Erste") << "Qt underlines the accelerator itself";
    EXPECT_EQ(w<QGroupBox>("gbOuter")->title(), "Außen");
    EXPECT_EQ(w<QLineEdit>("txtDigits")->text(), "12");
    EXPECT_TRUE(w<QCheckBox>("chkOne")->isChecked());
    EXPECT_TRUE(w<QRadioButton>("rbA")->isChecked());
    EXPECT_FALSE(w<QRadioButton>("rbB")->isChecked());
    auto* choice = w<QComboBox>("cbChoice");
    EXPECT_FALSE(choice->isEditable());
    EXPECT_EQ(choice->count(), 3);
    EXPECT_EQ(choice->currentText(), "rot");
    EXPECT_TRUE(w<QComboBox>("cbEditable")->isEditable());
    EXPECT_EQ(w<QComboBox>("cbEditable")->currentText(), "8192");
    EXPECT_FALSE(w<QPushButton>("btnDisabled")->isEnabled());
    EXPECT_TRUE(w<QCheckBox>("chkHidden")->isHidden());
    EXPECT_EQ(w<QSlider>("tbLevel")->value(), 3);
    EXPECT_EQ(w<QSlider>("tbLevel")->maximum(), 5);
    EXPECT_EQ(w<QSpinBox>("udCount")->value(), 20);
    EXPECT_EQ(w<QTreeWidget>("lvItems")->columnCount(), 2);
    EXPECT_NE(w<QTreeWidget>("tvFolders"), nullptr);
    EXPECT_TRUE(actions.empty()) << "building and syncing the view is not a user action";
}

TEST_F(FormViewTest, WidgetActionsGoThroughTheDriverAndTheToolkitDecides) {
    w<QTabWidget>("pcMain")->setCurrentIndex(1);
    EXPECT_EQ(page.get<toolkit::TPageControl>("pcMain").ActivePage()->Name, "tsSecond");
    // The toolkit refuses what the user cannot reach (rbB is on the sheet no longer
    // shown), and the widget goes back to the toolkit's state.
    w<QRadioButton>("rbB")->click();
    EXPECT_TRUE(page.get<toolkit::TRadioButton>("rbA").Checked());
    EXPECT_FALSE(w<QRadioButton>("rbB")->isChecked());
    w<QTabWidget>("pcMain")->setCurrentIndex(0);
    emit w<QComboBox>("cbChoice")->activated(2);
    EXPECT_EQ(page.get<toolkit::TComboBox>("cbChoice").ItemIndex(), 2);
    EXPECT_NE(std::find(log().begin(), log().end(), "cbChoiceSelect"), log().end());
    w<QTabWidget>("pcMain")->setCurrentIndex(1);

    w<QSpinBox>("udCount")->setValue(42);
    EXPECT_EQ(page.get<toolkit::TUpDownEdit>("udCount").GetPosition(), 42);
    auto& lv = page.get<toolkit::TListView>("lvItems");
    lv.Add().Caption = "eins";
    lv.Add().Caption = "eins"; // captions may repeat
    view.sync();
    auto* list = w<QTreeWidget>("lvItems");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);
    EXPECT_FALSE(lv.Item(0).Checked());
    EXPECT_TRUE(lv.Item(1).Checked()) << "the item ticked, not the first of that caption";

    auto& tv = page.get<toolkit::TTreeView>("tvFolders");
    tv.AddRoot("Favoriten").AddChild("Nachrichten");
    view.sync();
    auto* tree = w<QTreeWidget>("tvFolders");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    emit tree->itemClicked(tree->topLevelItem(0)->child(0), 0);
    ASSERT_NE(tv.Selected(), nullptr);
    EXPECT_EQ(tv.Selected()->Path(), "Favoriten/Nachrichten");
    EXPECT_EQ(actions, (std::vector<std::string>{"pcMain", "rbB refused", "pcMain", "cbChoice",
                                                 "pcMain", "udCount", "lvItems", "tvFolders"}));
}

TEST_F(FormViewTest, TypingGoesToTheToolkitAndItsCorrectionsComeBack) {
    w<QLineEdit>("txtOther")->textEdited("abc");
    EXPECT_EQ(page.get<toolkit::TEdit>("txtOther").Text(), "abc");
    // A page that changes a value itself is shown at the next sync.
    page.get<toolkit::TTrackBar>("tbLevel").SetPosition(9);
    view.sync();
    EXPECT_EQ(w<QSlider>("tbLevel")->value(), 5) << "clamped by the toolkit";
    page.get<toolkit::TEdit>("txtDigits").PasswordChar = u'*';
    view.sync();
    EXPECT_EQ(w<QLineEdit>("txtDigits")->echoMode(), QLineEdit::Password);
}

TEST(QtDialogs, MessageBoxesAnswerWithTheButtonsWindowsWouldReport) {
    gui::QtDialogs dialogs;
    auto answer = [&](int flags, const QString& button) {
        QTimer::singleShot(0, [button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            if (button.isEmpty()) {
                box->reject(); // Escape or the close box
                return;
            }
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) b->click();
        });
        return dialogs.messageBox({"Titel", "Text", flags});
    };
    EXPECT_EQ(answer(toolkit::MB_YESNO | toolkit::MB_ICONQUESTION, "&Nein"), toolkit::IDNO);
    EXPECT_EQ(answer(toolkit::MB_YESNOCANCEL, "&Ja"), toolkit::IDYES);
    EXPECT_EQ(answer(toolkit::MB_OKCANCEL, ""), toolkit::IDCANCEL);
    EXPECT_EQ(answer(toolkit::MB_YESNO, ""), toolkit::IDNO);
    EXPECT_EQ(answer(toolkit::MB_OK, "OK"), toolkit::IDOK);

    QString defaultButton;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : "";
        box->defaultButton()->click();
    });
    EXPECT_EQ(dialogs.messageBox({"Titel", "Text", toolkit::MB_YESNO | toolkit::MB_DEFBUTTON2}),
              toolkit::IDNO);
    EXPECT_EQ(defaultButton, "&Nein");
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The window's settings (size, recent machines) go to a folder of this run's own.
    test::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    QApplication app(argc, argv);
    QApplication::setOrganizationName("deskforge");
    QApplication::setApplicationName("deskforge");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
