// The Internet Explorer page in the desktop host, offscreen: its tree and lists render
// with the machine's data, and the context-menu dialog opens modally over it.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/MainWindow.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/journal/Journal.h"
#include "iexplorer/ufrmIE.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <QAbstractButton>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace ravelin;

namespace {

class GuiIE : public ::testing::Test {
  protected:
    void TearDown() override { session.reset(); }
    void open(test::TempDir& dir, const std::string& templ) {
        session.reset();
        test::createSampleMachine(dir.path(), templ);
        session =
            std::make_unique<app::MachineSession>(dir.path(), app::MachineSession::Mode::Write);
    }
    const test::ModulePages pages{{"explorer"}};
    std::unique_ptr<app::MachineSession> session;
};

template <typename T> T* widget(gui::FormView* view, const std::string& name) {
    return view ? dynamic_cast<T*>(view->widgetByName(name)) : nullptr;
}

// Where a developer asked for pictures of what the tests show ($RAVELIN_SHOT_DIR).
void keepPicture(QWidget* w, const std::string& name) {
    if (const char* dir = std::getenv("RAVELIN_SHOT_DIR"); dir && *dir && w)
        w->grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

} // namespace

TEST_F(GuiIE, FavouritesTreeShowsTheMachinesFolders) {
    test::TempDir dir;
    open(dir, "win7");
    gui::MainWindow window;
    ASSERT_TRUE(window.openPage("explorer", "tsView"));
    auto* tree = widget<QTreeWidget>(window.pageView(), "tvFavorites");
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0).toStdString(), "Favorites");
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(1)->text(0).toStdString(), "Reisen");
    EXPECT_EQ(root->child(1)->childCount(), 1) << "folders below folders";
    keepPicture(window.pageView(), "ie-view");
}

TEST_F(GuiIE, TheContextMenuDialogOpensModallyAndCancelWritesNothing) {
    test::TempDir dir;
    open(dir, "winxp");
    const auto before = session->journal()->list().size();
    gui::MainWindow window;
    ASSERT_TRUE(window.openPage("explorer", "tsMenu"));
    std::string seen;
    int rows = -1;
    QTimer::singleShot(0, [&] {
        gui::FormView* dialog = window.dialogView();
        seen = dialog && dialog->form() ? dialog->form()->Name : "no dialog";
        if (dialog && dialog->window()->isModal()) seen += " modal";
        if (auto* list = widget<QTreeWidget>(dialog, "ListView1")) {
            rows = list->topLevelItemCount();
            // The longest description and context text of the known entries.
            for (int i = 0; i < rows; ++i)
                if (list->topLevelItem(i)->text(0) == "Text hervorheben")
                    list->setCurrentItem(list->topLevelItem(i));
        }
        keepPicture(dialog, "ie-contextmenu");
        if (auto* cancel = widget<QAbstractButton>(dialog, "btnCancel")) cancel->click();
    });
    auto* button = widget<QAbstractButton>(window.pageView(), "btnIEContextMenu");
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(seen, "frmIEContextMenu modal");
    EXPECT_GE(rows, 9) << "installed, parked and known entries";
    EXPECT_EQ(session->journal()->list().size(), before);
}
