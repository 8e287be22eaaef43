// The window around the machine: which one is open and how another is chosen, reading it
// again after another program changed it, the journal's history with undo and redo of each
// change, and the status line. Offscreen, on machines the window opens itself.
#include "app/deskforge-gui/ElidedLabel.h"
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/JournalHistory.h"
#include "app/deskforge-gui/Language.h"
#include "app/deskforge-gui/MachineChoice.h"
#include "app/deskforge-gui/MainWindow.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/journal/Journal.h"
#include "host/machine/Machine.h"
#include "host/text/Translate.h"
#include "network/ufrmNetwork.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>

using namespace ravelin;

namespace {

const std::string kLanman = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
const std::string kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

// Answers every message box the window shows, with the button of the given text (else its
// default button), and keeps what each said.
class Boxes {
  public:
    explicit Boxes(QString answer = {}) : answer_(std::move(answer)) {
        timer_.setInterval(10);
        timer_.callOnTimeout([this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            said.push_back((box->text() + "\n" + box->informativeText()).toStdString());
            for (QAbstractButton* b : box->buttons())
                if (b->text() == answer_) {
                    b->click();
                    return;
                }
            if (box->defaultButton())
                box->defaultButton()->click();
            else
                box->reject();
        });
        timer_.start();
    }
    std::vector<std::string> said;

  private:
    QString answer_;
    QTimer timer_;
};

DWORD lanman(const std::string& name) {
    DWORD v = 0xDEADBEEF;
    GetRegDWORDValue(HKEY_LOCAL_MACHINE, kLanman, name, v, {});
    return v;
}

class GuiMachine : public ::testing::Test {
  protected:
    void SetUp() override { QSettings().clear(); }
    // A sample machine in a folder of its own.
    std::string machine(const std::string& name, const std::string& templ = "winxp") {
        const std::string folder = dir.file(name);
        test::createSampleMachine(folder, templ);
        return folder;
    }
    // Another program changes the machine's files while the window has them open.
    void changeOutside(const std::string& folder, const std::string& value, int data) {
        std::string out;
        ASSERT_EQ(test::runProgram(RAVELIN_DESKFORGE,
                                   {"reg", "add", "HKLM\\" + kLanman, "/v", value, "/t",
                                    "REG_DWORD", "/d", std::to_string(data), "/f"},
                                   &out, {{"DESKFORGE_MACHINE", folder}}),
                  0)
            << out;
    }
    template <typename T> T* widget(gui::MainWindow& window, const std::string& name) {
        return dynamic_cast<T*>(window.pageView()->widgetByName(name));
    }
    std::string activeTab(gui::MainWindow& window) {
        auto* form = dynamic_cast<network::TfrmNetwork*>(window.page());
        return form ? form->pcNetwork->ActivePage()->Name : "not the network page";
    }
    test::TempDir dir;
    test::ModulePages pages;
};

} // namespace

TEST_F(GuiMachine, TheTitleNamesTheMachineAndRecentMachinesAreRememberedAndPruned) {
    const std::string xp = machine("xp"), seven = machine("seven", "win7");
    gui::MainWindow window;
    EXPECT_EQ(window.windowTitle(), "Keine Maschine – Deskforge");
    ASSERT_TRUE(window.openMachine(xp));
    const QString shown = gui::ShownFolder(QString::fromStdString(xp));
    EXPECT_EQ(window.windowTitle(),
              shown + " – Microsoft Windows XP SP2 (Wine-Präfix) – Deskforge");
    ASSERT_TRUE(window.openMachine(seven));
    EXPECT_TRUE(window.windowTitle().contains("Windows 7 Ultimate SP1"))
        << window.windowTitle().toStdString();
    EXPECT_EQ(CurrentMachine()->root(), seven) << "the session was made anew for the folder";
    EXPECT_NE(window.page(), nullptr) << "a page of the new machine shows";

    // Newest first, each once; a folder that went away is dropped.
    ASSERT_TRUE(window.openMachine(xp));
    EXPECT_EQ(gui::RecentMachines(),
              (QStringList{QString::fromStdString(xp), QString::fromStdString(seven)}));
    emit window.recentMenu()->aboutToShow();
    ASSERT_EQ(window.recentMenu()->actions().size(), 2);
    EXPECT_EQ(window.recentMenu()->actions()[1]->data().toString().toStdString(), seven);
    window.recentMenu()->actions()[1]->trigger();
    EXPECT_EQ(CurrentMachine()->root(), seven);
    std::filesystem::remove_all(xp);
    EXPECT_EQ(gui::RecentMachines(), QStringList{QString::fromStdString(seven)});

    // At most eight are kept.
    for (int i = 0; i < 10; ++i) {
        const std::string folder = dir.file("m" + std::to_string(i));
        std::filesystem::create_directory(folder);
        gui::RememberMachine(QString::fromStdString(folder));
    }
    const QStringList recent = gui::RecentMachines();
    ASSERT_EQ(recent.size(), gui::kMaxRecent);
    EXPECT_EQ(recent.front().toStdString(), dir.file("m9"));
}

TEST_F(GuiMachine, AFolderThatIsNoMachineIsRefusedInGermanAndTheOpenMachineStays) {
    const std::string xp = machine("xp");
    std::filesystem::create_directory(dir.file("empty"));
    gui::MainWindow window;
    ASSERT_TRUE(window.openMachine(xp));
    ASSERT_TRUE(window.openPage("internet", "tsPasswords"));
    Boxes boxes;
    EXPECT_FALSE(window.openMachine(dir.file("empty")));
    EXPECT_FALSE(window.openMachine(dir.file("missing")));
    ASSERT_EQ(boxes.said.size(), 2u);
    EXPECT_NE(boxes.said[0].find("ist keine Maschine"), std::string::npos) << boxes.said[0];
    EXPECT_NE(boxes.said[1].find("gibt es nicht"), std::string::npos) << boxes.said[1];
    EXPECT_EQ(CurrentMachine()->root(), xp);
    EXPECT_TRUE(window.windowTitle().contains("Windows XP"));
    EXPECT_EQ(activeTab(window), "tsPasswords") << "the page stays as it was";
    EXPECT_TRUE(gui::RecentMachines().size() == 1) << "a refused folder is not remembered";
}

TEST_F(GuiMachine, WithoutAMachineThePagesWaitAndTheChooserOpensARecentOne) {
    const std::string xp = machine("xp");
    gui::RememberMachine(QString::fromStdString(xp));
    gui::MainWindow window;
    EXPECT_FALSE(window.hasMachine());
    EXPECT_FALSE(window.pageList()->isEnabled());
    EXPECT_FALSE(window.reloadAction()->isEnabled());
    EXPECT_FALSE(window.openPage("internet"));
    EXPECT_FALSE(window.undoLastChange());
    EXPECT_EQ(window.statusText(), "Keine Maschine geöffnet");
    ASSERT_NE(window.machineChooser(), nullptr);
    QPushButton* recent = nullptr;
    for (auto* b : window.machineChooser()->findChildren<QPushButton*>())
        if (b->toolTip().toStdString() == xp) recent = b;
    ASSERT_NE(recent, nullptr) << "the chooser offers the machine opened before";
    recent->click();
    QApplication::processEvents();
    EXPECT_TRUE(window.hasMachine());
    EXPECT_EQ(window.machineChooser(), nullptr);
    EXPECT_TRUE(window.pageList()->isEnabled());
    EXPECT_NE(window.page(), nullptr);
}

TEST_F(GuiMachine, ReloadReadsWhatAnotherProgramWroteAndKeepsPageAndTab) {
    const std::string xp = machine("xp");
    gui::MainWindow window;
    ASSERT_TRUE(window.openMachine(xp));
    ASSERT_TRUE(window.openPage("internet", "tsShares"));
    ASSERT_EQ(lanman("AutoShareWks"), 1u);
    ASSERT_TRUE(window.openPage("internet", "tsPasswords"));
    changeOutside(xp, "AutoShareWks", 0);
    EXPECT_EQ(lanman("AutoShareWks"), 1u) << "not seen before it is read again";
    window.reloadAction()->trigger();
    EXPECT_EQ(lanman("AutoShareWks"), 0u);
    EXPECT_EQ(activeTab(window), "tsPasswords");
    window.openPage("internet", "tsShares");
    auto* form = dynamic_cast<network::TfrmNetwork*>(window.page());
    EXPECT_FALSE(form->chkAdminShares->Checked()) << "the page shows what was read";
}

TEST_F(GuiMachine, AWriteRefusedBecauseTheFilesChangedOffersToReload) {
    const std::string xp = machine("xp");
    gui::MainWindow window;
    ASSERT_TRUE(window.openMachine(xp));
    ASSERT_TRUE(window.openPage("internet", "tsShares"));
    changeOutside(xp, "Hidden", 1);
    const auto journalled = CurrentJournal()->list().size();
    Boxes boxes("&Neu laden");
    auto* box = widget<QAbstractButton>(window, "chkAdminShares");
    ASSERT_NE(box, nullptr);
    box->click(); // refused: the copy in memory is older than the files
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    ASSERT_EQ(boxes.said.size(), 1u);
    EXPECT_NE(boxes.said[0].find("neu"), std::string::npos) << boxes.said[0];
    EXPECT_EQ(lanman("Hidden"), 1u) << "reloaded: the other program's value is seen";
    EXPECT_EQ(lanman("AutoShareWks"), 1u) << "the refused click changed nothing";
    EXPECT_EQ(CurrentJournal()->list().size(), journalled) << "nor was it journalled";
    EXPECT_EQ(activeTab(window), "tsShares");
    // Once read again, the same click is written.
    widget<QAbstractButton>(window, "chkAdminShares")->click();
    QApplication::processEvents();
    EXPECT_EQ(boxes.said.size(), 1u);
    EXPECT_EQ(lanman("AutoShareWks"), 0u);
}

TEST_F(GuiMachine, UndoPassesOverWhatItCannotUndoAfterSayingSoOnce) {
    const std::string xp = machine("xp");
    // The automatic logon's password, set by another program before the window opens.
    std::string out;
    ASSERT_EQ(test::runProgram(
                  RAVELIN_DESKFORGE,
                  {"reg", "add", "HKLM\\" + kWinlogon, "/v", "DefaultPassword", "/d", "erst", "/f"},
                  &out, {{"DESKFORGE_MACHINE", xp}}),
              0)
        << out;
    gui::MainWindow window;
    ASSERT_TRUE(window.openMachine(xp));
    ASSERT_TRUE(window.openPage("internet", "tsShares"));
    widget<QAbstractButton>(window, "chkAdminShares")->click();
    ASSERT_EQ(lanman("AutoShareWks"), 0u);
    // Written over: the journal keeps no content of it to put back.
    JournalSetContext("logon", "edtPassword");
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "dann", {}), 0);
    ASSERT_TRUE(window.openPage("internet", "tsPasswords"));
    Boxes boxes;
    auto password = [] {
        return GetRegStringValueDef(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "<absent>",
                                    {});
    };
    EXPECT_TRUE(window.undoLastChange());
    ASSERT_EQ(boxes.said.size(), 1u);
    EXPECT_NE(boxes.said[0].find("nicht rückgängig machen"), std::string::npos) << boxes.said[0];
    EXPECT_EQ(password(), "dann") << "nothing undone while saying so";
    EXPECT_EQ(lanman("AutoShareWks"), 0u);
    EXPECT_TRUE(window.undoLastChange());
    EXPECT_EQ(lanman("AutoShareWks"), 1u) << "the older change, at another place";
    EXPECT_EQ(boxes.said.size(), 1u);
    // The first password write lies under the one passed over: refused, said, passed over.
    EXPECT_TRUE(window.undoLastChange());
    EXPECT_EQ(boxes.said.size(), 2u);
    EXPECT_EQ(password(), "dann");
    EXPECT_FALSE(window.undoLastChange());
    EXPECT_EQ(boxes.said.size(), 2u) << "each said once";
    EXPECT_EQ(activeTab(window), "tsPasswords") << "undo keeps the tab";
    // Redo takes back the newest undo.
    EXPECT_TRUE(window.redoLastUndo());
    EXPECT_EQ(lanman("AutoShareWks"), 0u);
    EXPECT_FALSE(window.redoLastUndo());
}

TEST_F(GuiMachine, TheHistoryListsEveryTransactionAndUndoesAndRedoesEachOnItsOwn) {
    const std::string xp = machine("xp");
    gui::MainWindow window;
    ASSERT_TRUE(window.openMachine(xp));
    ASSERT_TRUE(window.openPage("internet", "tsShares"));
    widget<QAbstractButton>(window, "chkAdminShares")->click();
    widget<QAbstractButton>(window, "chkHideMyComputerFromNetHood")->click();
    ASSERT_EQ(lanman("AutoShareWks"), 0u);
    ASSERT_EQ(lanman("Hidden"), 1u);
    JournalSetContext("logon", "edtPassword");
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "erst", {});
    SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", "dann", {});
    ASSERT_TRUE(window.openPage("internet", "tsPasswords"));

    gui::HistoryDialog* history = window.showHistory();
    QTreeWidget* list = history->list();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    auto row = [&](int i) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->topLevelItem(i)->text(c);
        return cells.join(" | ").toStdString();
    };
    const auto entries = CurrentJournal()->list();
    const std::int64_t adminShares = entries[3].id;
    EXPECT_NE(row(3).find("internet | chkAdminShares"), std::string::npos) << row(3);
    EXPECT_NE(row(3).find("| wirksam"), std::string::npos) << row(3);
    EXPECT_NE(row(0).find("nicht rückgängig zu machen"), std::string::npos) << row(0);
    history->select(entries[0].id);
    EXPECT_FALSE(history->undoButton()->isEnabled()) << "the sensitive value's content is gone";

    // The older change alone, while the newer stands.
    history->select(adminShares);
    ASSERT_TRUE(history->undoButton()->isEnabled());
    EXPECT_FALSE(history->redoButton()->isEnabled());
    history->undoButton()->click();
    EXPECT_EQ(lanman("AutoShareWks"), 1u);
    EXPECT_EQ(lanman("Hidden"), 1u);
    ASSERT_EQ(list->topLevelItemCount(), 5);
    EXPECT_NE(row(0).find("Rückgängigmachen von Nr. " + std::to_string(adminShares)),
              std::string::npos)
        << row(0);
    EXPECT_NE(row(4).find("| rückgängig gemacht"), std::string::npos) << row(4);
    EXPECT_EQ(activeTab(window), "tsPasswords");
    ASSERT_TRUE(history->redoButton()->isEnabled()) << "the selection stays on the change";
    history->redoButton()->click();
    EXPECT_EQ(lanman("AutoShareWks"), 0u);
    EXPECT_NE(row(5).find("| wirksam"), std::string::npos) << row(5);
    EXPECT_TRUE(history->undoButton()->isEnabled());
    EXPECT_EQ(activeTab(window), "tsPasswords");
}

TEST_F(GuiMachine, TheStatusLineShowsMessagesBesideTheShortenedLastChange) {
    const std::string xp = machine("xp");
    gui::MainWindow window;
    window.resize(gui::MainWindow::DefaultSize());
    window.show();
    ASSERT_TRUE(window.openMachine(xp));
    ASSERT_TRUE(window.openPage("internet", "tsShares"));
    widget<QAbstractButton>(window, "chkNetTasks")->click();
    QApplication::processEvents();
    gui::ElidedLabel* last = window.lastChangeLabel();
    EXPECT_TRUE(window.statusText().startsWith("Letzte Änderung: Nr. "));
    EXPECT_EQ(last->toolTip(), window.statusText()) << "the whole text, however much shows";
    EXPECT_LE(last->width(), window.width() / 2 + 1);
    EXPECT_TRUE(last->shownText().endsWith("…")) << last->shownText().toStdString();

    // The undo shortcut with nothing to undo says so where it can be read.
    ASSERT_TRUE(window.undoLastChange());
    QAction* undo = nullptr;
    for (QAction* a : window.findChildren<QAction*>())
        if (a->shortcut() == QKeySequence(QKeySequence::Undo)) undo = a;
    ASSERT_NE(undo, nullptr);
    undo->trigger();
    QApplication::processEvents();
    const QString said = window.statusMessage();
    EXPECT_EQ(said, "Keine Änderung zum Rückgängigmachen");
    const int room = window.statusBar()->width() - last->width();
    EXPECT_GT(room, window.statusBar()->fontMetrics().horizontalAdvance(said) + 10);

    CurrentMachine()->launcher().record({"iexplore.exe", "https://example.org/", "", 1, ""});
    EXPECT_EQ(window.statusMessage(), "Gestartet: iexplore.exe https://example.org/");
}

TEST_F(GuiMachine, TheSearchShowsOneLinePerHitAndMarksTheControlItOpens) {
    const std::string xp = machine("xp");
    gui::MainWindow window;
    window.resize(gui::MainWindow::DefaultSize());
    window.show();
    ASSERT_TRUE(window.openMachine(xp));
    window.activateWindow();
    window.search("freigaben");
    QListWidget* results = window.searchResults();
    ASSERT_GT(results->count(), 1);
    QApplication::processEvents();
    for (int i = 0; i < results->count(); ++i) {
        QListWidgetItem* item = results->item(i);
        EXPECT_FALSE(item->text().contains('\n')) << item->text().toStdString();
        EXPECT_TRUE(item->toolTip().startsWith(item->text()));
        EXPECT_LE(results->visualItemRect(item).right(), results->viewport()->width())
            << "shortened, not cut off: " << item->text().toStdString();
    }
    int row = -1;
    for (int i = 0; i < results->count(); ++i)
        if (results->item(i)->toolTip().endsWith("chkAdminShares")) row = i;
    ASSERT_GE(row, 0);
    emit results->itemClicked(results->item(row));
    QWidget* found = window.pageView()->widgetByName("chkAdminShares");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(activeTab(window), "tsShares");
    EXPECT_EQ(QApplication::focusWidget(), found);
    auto marks = window.findChildren<QWidget*>("searchHighlight");
    ASSERT_EQ(marks.size(), 1);
    EXPECT_TRUE(marks[0]->isVisible());
    EXPECT_TRUE(marks[0]->geometry().contains(found->geometry())) << "around the control";
}

TEST_F(GuiMachine, EveryPageFitsTheDefaultWindowAndTheWindowKeepsItsSize) {
    const QSize size = gui::MainWindow::DefaultSize();
    EXPECT_LE(size.width(), 1024);
    EXPECT_LE(size.height(), 768 - 60) << "room for the title bar and a panel";
    const std::string xp = machine("xp"), seven = machine("seven", "win7");
    {
        gui::MainWindow window;
        window.show();
        EXPECT_EQ(window.size(), size);
        auto* area = window.findChild<QScrollArea*>();
        for (const std::string& folder : {xp, seven}) {
            ASSERT_TRUE(window.openMachine(folder));
            for (int i = 0; i < window.pageList()->count(); ++i) {
                QListWidgetItem* item = window.pageList()->item(i);
                if (!(item->flags() & Qt::ItemIsEnabled)) continue;
                window.pageList()->setCurrentItem(item);
                QApplication::processEvents();
                ASSERT_NE(window.pageView(), nullptr);
                EXPECT_FALSE(area->horizontalScrollBar()->isVisible())
                    << folder << " " << window.page()->Name << " is " << window.pageView()->width()
                    << " wide, room " << area->viewport()->width();
                EXPECT_FALSE(area->verticalScrollBar()->isVisible())
                    << folder << " " << window.page()->Name << " is " << window.pageView()->height()
                    << " high, room " << area->viewport()->height();
            }
        }
        window.resize(800, 600);
        window.move(40, 30);
        window.close();
    }
    gui::MainWindow again;
    EXPECT_EQ(again.size(), QSize(800, 600)) << "as the user left it";
}

TEST(GuiLanguage, QtsOwnTextsFollowTheLanguageShown) {
    text::SetLanguage("de");
    ASSERT_TRUE(gui::UseQtTranslations()) << "Qt's German catalogue is installed";
    EXPECT_EQ(QKeySequence(QKeySequence::Undo).toString(QKeySequence::NativeText), "Strg+Z");
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Abbrechen");
    EXPECT_TRUE(gui::UseQtTranslations()) << "again: the one before is replaced";
    EXPECT_EQ(QCoreApplication::instance()->findChildren<QTranslator*>().size(), 1);
    // Without a catalogue for the language Qt speaks its own English.
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    EXPECT_EQ(QKeySequence(QKeySequence::Undo).toString(QKeySequence::NativeText), "Ctrl+Z");
}
