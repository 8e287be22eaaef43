// A password field's text never appears in what a script prints, a failing expect included.
#include "app/deskforge/Machine.h"
#include "host/machine/Machine.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

using namespace ravelin;

TEST(SecretMask, AFailingExpectOnAPasswordFieldDoesNotPrintIt) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
    const std::string out =
        test::runScript("logon",
                        "tab tsAutoLogon\ncheck chkAutoLogon on\n"
                        "set txtAutoLogonPassword \"Geheim-7x9\"\nprint txtAutoLogonPassword\n"
                        "expect txtAutoLogonPassword text \"Geheim-7x8\"\n",
                        1);
    EXPECT_EQ(out.find("Geheim"), std::string::npos) << out;
    EXPECT_NE(
        out.find("erwartet txtAutoLogonPassword text \"**********\", gefunden \"**********\""),
        std::string::npos)
        << out;
    // The right text still passes.
    test::runScript("logon", "tab tsAutoLogon\ncheck chkAutoLogon on\n"
                             "set txtAutoLogonPassword \"Geheim-7x9\"\n"
                             "expect txtAutoLogonPassword text \"Geheim-7x9\"\n");
}
