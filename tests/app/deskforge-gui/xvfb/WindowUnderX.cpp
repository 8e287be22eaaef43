// The window on a real X display (a virtual one): the program itself starts, shows its
// machine and draws every part of it; then a person's clicks and keys, as X events, go
// through every page, and each change they make lands in the journal and is undone by the
// undo key.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/MachineChoice.h"
#include "app/deskforge-gui/MainWindow.h"
#include "app/deskforge/PageCommand.h"
#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ravelin;

namespace {

// Closes whatever modal window a click opens: a message box with its default button, a
// page's dialog as its close box does.
class DialogCloser {
  public:
    DialogCloser() {
        timer_.setInterval(20);
        timer_.callOnTimeout([this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                said.push_back(box->text().toStdString());
                if (box->defaultButton())
                    box->defaultButton()->click();
                else
                    box->reject();
            } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                said.push_back("dialog " + dialog->windowTitle().toStdString());
                dialog->reject();
            }
        });
        timer_.start();
    }
    std::vector<std::string> said;

  private:
    QTimer timer_;
};

void settle(int ms = 60) {
    QTest::qWait(ms);
}

journal::TransactionInfo newest() {
    auto list = CurrentJournal()->list();
    return list.empty() ? journal::TransactionInfo{} : list.front();
}

std::string program() {
    return RAVELIN_DESKFORGE_GUI;
}

// The window on a fresh XP sample machine, shown, active and with the machine open.
class WindowOnSampleMachine : public ::testing::Test {
  protected:
    void SetUp() override {
        test::createSampleMachine(xp, "winxp");
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_TRUE(window.openMachine(xp));
    }

    test::TempDir dir;
    const std::string xp = dir.file("xp");
    test::ModulePages pages;
    gui::MainWindow window;
};

} // namespace

// The program as a person starts it: its window on the display, named after the machine,
// drawn whole; without a machine the window stays, with the chooser.
TEST(WindowUnderX, TheProgramShowsItsMachineOnTheDisplay) {
    test::TempDir dir;
    const std::string xp = dir.file("xp");
    test::createSampleMachine(xp, "winxp");
    const std::string shot = dir.file("window.png");
    std::string out;
    ASSERT_EQ(test::runProgram(
                  program(),
                  {"--machine", xp, "--page", "internet:tsShares", "--window-screenshot", shot},
                  &out),
              0)
        << out;
    QImage image(QString::fromStdString(shot));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), gui::MainWindow::DefaultSize());

    ASSERT_EQ(test::runProgram(
                  program(),
                  {"--machine", dir.file("nothing"), "--window-screenshot", dir.file("none.png")},
                  &out),
              0)
        << "the window stays open for the user to choose: " << out;
    EXPECT_NE(out.find("gibt es nicht"), std::string::npos) << out;
    EXPECT_FALSE(QImage(QString::fromStdString(dir.file("none.png"))).isNull());

    // Left running, its window carries the machine's name in the title bar.
    QProcess gui;
    gui.start(QString::fromStdString(program()), {"--machine", QString::fromStdString(xp)});
    ASSERT_TRUE(gui.waitForStarted());
    const QString title = gui::ShownFolder(QString::fromStdString(xp)) +
                          " – Microsoft Windows XP SP2 (Wine-Präfix) – Deskforge";
    QString windows;
    for (int i = 0; i < 100 && !windows.contains(title); ++i) {
        QTest::qWait(100);
        QProcess info;
        info.start("xwininfo", {"-root", "-tree"});
        info.waitForFinished();
        windows = QString::fromUtf8(info.readAllStandardOutput());
    }
    gui.kill();
    gui.waitForFinished();
    EXPECT_TRUE(windows.contains(title)) << windows.toStdString();
}

// Every page, every tab, by mouse; on each page a check box whose click writes, then the
// undo key: the journal has the change, then its undo, and the page shows the old state.
TEST_F(WindowOnSampleMachine, ClicksAndKeysGoThroughEveryPageAndEachChangeIsUndone) {
    DialogCloser closer;
    QListWidget* list = window.pageList();
    int pagesChanged = 0, pagesShown = 0;
    std::vector<std::string> unchanged;
    for (int p = 0; p < list->count(); ++p) {
        QListWidgetItem* item = list->item(p);
        if (!(item->flags() & Qt::ItemIsEnabled)) continue;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
        settle();
        ASSERT_NE(window.page(), nullptr) << item->text().toStdString();
        const std::string id = item->data(Qt::UserRole).toString().toStdString();
        const std::string name = id.substr(0, id.find('|'));
        ASSERT_EQ(app::FindPage(name)->id, id);
        ++pagesShown;
        bool changed = false;
        auto* tabs = window.pageView()->findChild<QTabWidget*>();
        const int tabCount = tabs ? tabs->count() : 1;
        for (int t = 0; t < tabCount && !changed; ++t) {
            QWidget* sheet = window.pageView();
            if (tabs) {
                if (!tabs->isTabVisible(t) || !tabs->isTabEnabled(t)) continue;
                QTabBar* bar = tabs->tabBar();
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(t).center());
                settle();
                tabs = window.pageView()->findChild<QTabWidget*>();
                ASSERT_EQ(tabs->currentIndex(), t) << name << " tab " << t;
                sheet = tabs->currentWidget();
            }
            for (QCheckBox* box : sheet->findChildren<QCheckBox*>()) {
                if (!box->isVisible() || !box->isEnabled()) continue;
                const std::string control = box->objectName().toStdString();
                const QString objectName = box->objectName();
                const std::int64_t before = newest().id;
                const bool wasChecked = box->isChecked();
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
                settle(100);
                const journal::TransactionInfo made = newest();
                if (made.id == before || made.changes == 0) continue;
                EXPECT_EQ(made.page, name) << control;
                // The undo key, as X delivers it to the focused window. A question the click
                // asked took the focus; with no window manager on this display nothing hands
                // it back, as a person would by clicking the window.
                window.activateWindow();
                ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                                            : static_cast<QWidget*>(&window),
                                Qt::Key_Z, Qt::ControlModifier);
                settle(100);
                const journal::TransactionInfo undo = newest();
                if (undo.id == made.id) {
                    // A change with sensitive values: the window says it cannot undo it.
                    ASSERT_FALSE(closer.said.empty()) << name << "/" << control;
                    EXPECT_NE(closer.said.back().find("nicht rückgängig machen"), std::string::npos)
                        << closer.said.back();
                    continue;
                }
                EXPECT_EQ(undo.kind, "undo") << name << "/" << control;
                EXPECT_EQ(undo.target, made.id) << name << "/" << control;
                auto* again = window.pageView()->findChild<QCheckBox*>(objectName);
                ASSERT_NE(again, nullptr) << name << "/" << control;
                EXPECT_EQ(again->isChecked(), wasChecked) << name << "/" << control;
                if (tabs) {
                    auto* nowTabs = window.pageView()->findChild<QTabWidget*>();
                    EXPECT_EQ(nowTabs->currentIndex(), t) << "undo keeps the tab: " << name;
                }
                changed = true;
                break;
            }
        }
        if (changed)
            ++pagesChanged;
        else
            unchanged.push_back(name);
    }
    EXPECT_EQ(pagesShown, static_cast<int>(app::ModulePages().size()));
    std::string without;
    for (const auto& n : unchanged)
        without += n + " ";
    // The TCP/IP options write on OK only: every other page writes as its box is clicked.
    EXPECT_EQ(without, "tcpip ");
    EXPECT_EQ(pagesChanged, pagesShown - 1);
}

// F5 reads again what another program wrote, on the page and tab the user was on.
TEST_F(WindowOnSampleMachine, F5ReadsTheMachineAgain) {
    ASSERT_TRUE(window.openPage("internet", "tsShares"));
    auto shown = [&] {
        auto* box = qobject_cast<QCheckBox*>(window.pageView()->widgetByName("chkAdminShares"));
        return box && box->isChecked();
    };
    ASSERT_TRUE(shown());
    std::string out;
    ASSERT_EQ(
        test::runProgram(RAVELIN_DESKFORGE,
                         {"reg", "add",
                          "HKLM\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters",
                          "/v", "AutoShareWks", "/t", "REG_DWORD", "/d", "0", "/f"},
                         &out, {{"DESKFORGE_MACHINE", xp}}),
        0)
        << out;
    // As X delivers it: to the focused widget of the active window.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                                : static_cast<QWidget*>(&window),
                    Qt::Key_F5);
    settle();
    EXPECT_FALSE(shown()) << "the page shows what the other program wrote";
    auto* tabs = window.pageView()->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentWidget()->objectName(), "tsShares");
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("deskforge");
    QApplication::setApplicationName("deskforge");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
