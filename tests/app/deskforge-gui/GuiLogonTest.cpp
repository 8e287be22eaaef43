// The logon page and its dialogs as the window draws them: every tab of every sample
// machine without a clipped caption. With RAVELIN_SHOT_DIR set the pictures are kept.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge/Machine.h"
#include "logon/ufrmEditLogonNew.h"
#include "logon/ufrmEditLogonOld.h"
#include "logon/ufrmLogon.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace ravelin;

namespace {

// The captions a user cannot read in full: "NAME: caption" per line.
std::string clippedCaptions(const QWidget& view) {
    std::string out;
    for (const QWidget* w : view.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&view)) continue;
        QString text;
        int needed = 0;
        if (const auto* p = qobject_cast<const QPushButton*>(w)) {
            // A push button's size hint has a minimum width; only its text must fit.
            text = p->text();
            needed = p->fontMetrics().horizontalAdvance(QString(text).remove('&')) + 8;
        } else if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
            text = b->text();
            needed = b->sizeHint().width();
        } else if (const auto* l = qobject_cast<const QLabel*>(w); l && !l->wordWrap()) {
            text = l->text();
            needed = l->sizeHint().width();
        } else {
            continue;
        }
        if (!text.isEmpty() && needed > w->width() + 2)
            out += w->objectName().toStdString() + ": " + text.toStdString() + "\n";
    }
    return out;
}

void keep(QWidget& view, const std::string& name) {
    if (const char* dir = std::getenv("RAVELIN_SHOT_DIR"); dir && *dir)
        view.grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png"), "PNG");
}

// Every visible tab of the form's page control, each drawn and checked.
void checkTabs(toolkit::TForm& form, toolkit::TPageControl& pages, const std::string& prefix) {
    toolkit::UserDriver driver(form);
    gui::FormView view(form, [](const std::string&, const gui::DriverAction&) {});
    view.resize(form.Width, form.Height);
    for (toolkit::TTabSheet* sheet : pages.Pages()) {
        if (!sheet->TabVisible) continue;
        SCOPED_TRACE(prefix + ":" + sheet->Name);
        driver.Tab(sheet->Name);
        view.sync();
        QApplication::processEvents();
        EXPECT_EQ(clippedCaptions(view), "");
        keep(view, prefix + "-" + sheet->Name);
    }
}

} // namespace

TEST(GuiLogon, EveryTabOfThePageAndItsDialogsReadsInFull) {
    for (const char* templ : {"win98", "win2000", "winxp", "vista", "win7"}) {
        test::TempDir dir;
        test::createSampleMachine(dir.path(), templ);
        app::MachineSession session(dir.path(), app::MachineSession::Mode::DryRun);
        logon::TfrmLogon page(nullptr);
        checkTabs(page, *page.pcLogon, std::string(templ) + "-logon");
        if (std::string(templ) == "win98") continue; // the dialogs belong to the NT family
        logon::TfrmEditLogonOld classic(nullptr);
        checkTabs(classic, *classic.pcEditLogonOld, std::string(templ) + "-classic");
        if (std::string(templ) != "winxp") continue;
        logon::TfrmEditLogonNew welcome(nullptr);
        checkTabs(welcome, *welcome.pcEditLogonNew, std::string(templ) + "-welcome");
    }
}
