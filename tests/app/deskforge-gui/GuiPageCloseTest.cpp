// The window leaves a page as a person does: text typed into a field is written when the
// user switches pages or closes the window, as a change of that field, and what a field
// writes as the focus leaves it is labelled with that field.
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/MainWindow.h"
#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace ravelin;

namespace {

const std::string kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

void typeInto(gui::MainWindow& window, const std::string& name, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(window.pageView()->widgetByName(name));
    ASSERT_NE(edit, nullptr) << name;
    edit->setText(text);
    Q_EMIT edit->textEdited(text); // as the user's keys do
}

std::string userName() {
    return GetRegStringValueDef(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultUserName", "<none>", {});
}

} // namespace

TEST(GuiPageClose, TypedTextIsWrittenWhenThePageOrTheWindowClosesAsThatFieldsChange) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
    test::ModulePages pages;
    {
        gui::MainWindow window;
        ASSERT_TRUE(window.openPage("logon", "tsAutoLogon"));
        auto* box = qobject_cast<QAbstractButton*>(window.pageView()->widgetByName("chkAutoLogon"));
        ASSERT_NE(box, nullptr);
        box->click();
        typeInto(window, "txtAutoLogonUserName", "kinder");
        ASSERT_TRUE(window.openPage("internet")); // another page: the field is left
        EXPECT_EQ(userName(), "kinder");
        auto list = session.journal()->list();
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].page + "/" + list[0].control, "logon/txtAutoLogonUserName");

        // Leaving the field for a box: the field's change, then the box's.
        ASSERT_TRUE(window.openPage("logon", "tsAutoLogon"));
        typeInto(window, "txtAutoLogonUserName", "eltern");
        qobject_cast<QAbstractButton*>(window.pageView()->widgetByName("chkForceAutoLogon"))
            ->click();
        EXPECT_EQ(userName(), "eltern");
        list = session.journal()->list();
        ASSERT_EQ(list.size(), 4u);
        EXPECT_EQ(list[1].control, "txtAutoLogonUserName");
        EXPECT_EQ(list[0].control, "chkForceAutoLogon");
        EXPECT_TRUE(window.statusText().contains("logon/chkForceAutoLogon"))
            << window.statusText().toStdString();

        typeInto(window, "txtAutoLogonUserName", "oma");
    } // the window closes
    EXPECT_EQ(userName(), "oma");
    auto list = session.journal()->list();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].control, "txtAutoLogonUserName");
}
