#include "app/deskforge/PageCommand.h"
#include "host/Controlhelper.h"
#include "tests/PageTestSupport.h"
#include "tests/TestForms.h"
#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/FormLoader.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace ravelin;
using namespace ravelin::toolkit;
using test::TestDialog;
using test::TestPage;

namespace {

class Toolkit : public ::testing::Test {
  protected:
    void SetUp() override {
        TApplication::Instance().SetDialogService(&dialogs);
        TApplication::Instance().SetInputSource(nullptr);
        page = std::make_unique<TestPage>();
        page->log.clear();
        driver = std::make_unique<UserDriver>(*page);
    }
    void TearDown() override {
        driver.reset();
        page.reset();
        TApplication::Instance().SetDialogService(nullptr);
    }
    std::vector<std::string>& log() { return page->log; }
    std::ostringstream out;
    ScriptedDialogs dialogs{&out};
    std::unique_ptr<TestPage> page;
    std::unique_ptr<UserDriver> driver;
};

} // namespace

TEST_F(Toolkit, EveryRegisteredHandlerIsBoundAndEveryBoundOneExists) {
    EXPECT_EQ(page->bound, page->handlers.names());
}

TEST_F(Toolkit, CheckBoxesAndRadioButtonsFireOnChangeOfState) {
    auto& chk = page->get<TCheckBox>("chkOne");
    EXPECT_TRUE(chk.Checked()) << "the form's state, set without events";
    chk.SetChecked(true);
    EXPECT_TRUE(log().empty());
    chk.SetChecked(false);
    EXPECT_EQ(log(), std::vector<std::string>{"chkOneClick"});
    log().clear();
    auto& a = page->get<TRadioButton>("rbA");
    auto& b = page->get<TRadioButton>("rbB");
    b.SetChecked(true);
    EXPECT_FALSE(a.Checked());
    EXPECT_EQ(log(), std::vector<std::string>{"rbBClick"}) << "siblings uncheck without firing";
    b.SetChecked(true);
    EXPECT_EQ(log().size(), 1u);
    b.SetChecked(false);
    EXPECT_EQ(log().size(), 1u) << "unchecking fires nothing";
}

TEST_F(Toolkit, EditsFireOnChangeAndKeyPressMayDiscard) {
    auto& txt = page->get<TEdit>("txtDigits");
    txt.SetText("12");
    EXPECT_TRUE(log().empty()) << "same text, no event";
    txt.SetText("7");
    EXPECT_EQ(log().back(), "txtDigitsChange");
    log().clear();
    driver->Type("txtDigits", "3x4");
    EXPECT_EQ(txt.Text(), "734");
    EXPECT_EQ(std::count(log().begin(), log().end(), "txtDigitsChange"), 2);
    EXPECT_EQ(TApplication::Instance().Beeps.back(), "txtDigits");
    log().clear();
    driver->Set("txtDigits", "99");
    EXPECT_EQ(std::count(log().begin(), log().end(), "txtDigitsChange"), 1)
        << "a paste is one change";
}

TEST_F(Toolkit, CombosFireNothingFromCodeAndSelectOrChangeForUsers) {
    auto& cb = page->get<TComboBox>("cbChoice");
    cb.SetItemIndex(2);
    cb.SetText("rot");
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(cb.ItemIndex(), 0);
    driver->Select("cbChoice", "blau");
    EXPECT_EQ(log(), std::vector<std::string>{"cbChoiceSelect"})
        << "OnSelect when bound, not OnChange";
    log().clear();
    driver->Type("cbEditable", "1a2");
    EXPECT_EQ(page->get<TComboBox>("cbEditable").Text(), "819212");
    EXPECT_EQ(std::count(log().begin(), log().end(), "cbEditableChange"), 2);
    auto& editable = page->get<TComboBox>("cbEditable");
    editable.OnSelect = nullptr;
    editable.AddItem("16384");
    log().clear();
    driver->Select("cbEditable", "#0");
    EXPECT_EQ(log(), std::vector<std::string>{"cbEditableChange"})
        << "OnChange when OnSelect is not bound";
}

TEST_F(Toolkit, TabsFireHideAndShowAndTakeTheFocusFirst) {
    driver->Focus("txtDigits");
    log().clear();
    driver->Tab("tsSecond");
    EXPECT_EQ(log(), (std::vector<std::string>{"txtDigitsExit", "gbInnerExit", "gbOuterExit",
                                               "tsFirstHide", "tsSecondShow"}));
    EXPECT_EQ(page->ActiveControl(), &page->get<TPageControl>("pcMain"));
    EXPECT_THROW(driver->Tab("tsHidden"), DriverError);
    EXPECT_THROW(driver->Click("chkOne"), DriverError) << "a control on a sheet that is not shown";
    ActivateFirstVisiblePage(page->get<TPageControl>("pcMain"));
    EXPECT_EQ(page->get<TPageControl>("pcMain").ActivePage()->Name, "tsFirst");
}

TEST_F(Toolkit, FocusMovesExitInnermostFirstAndEnterOutermostFirst) {
    driver->Focus("txtOther");
    log().clear();
    driver->Focus("txtDigits");
    EXPECT_EQ(log(), (std::vector<std::string>{"gbOuterEnter", "gbInnerEnter"}));
    log().clear();
    driver->Click("rbB"); // still inside gbOuter: only the inner box is left
    EXPECT_EQ(log(), (std::vector<std::string>{"txtDigitsExit", "gbInnerExit", "rbBClick"}));
    log().clear();
    driver->Click("lblDigits"); // a label hands the focus to its control
    EXPECT_EQ(log(), (std::vector<std::string>{"gbOuterExit", "txtOtherEnter"}));
}

TEST_F(Toolkit, TrackBarsUpDownsListsAndTreesFireTheirChanges) {
    driver->Tab("tsSecond");
    log().clear();
    driver->Spin("tbLevel", 3);
    EXPECT_TRUE(log().empty());
    driver->Spin("tbLevel", 9);
    EXPECT_EQ(page->get<TTrackBar>("tbLevel").Position(), 5) << "clamped";
    driver->Spin("udCount", 21);
    EXPECT_EQ(log(), (std::vector<std::string>{"tbLevelChange", "udCountChange"}));
    auto& lv = page->get<TListView>("lvItems");
    lv.Add().Caption = "eins";
    lv.Add().Caption = "zwei";
    log().clear();
    lv.Item(0).SetChecked(true); // from code as well
    driver->Tick("lvItems", "zwei", true);
    driver->Select("lvItems", "eins");
    driver->Select("lvItems", "zwei");
    EXPECT_EQ(log(), (std::vector<std::string>{
                         "lvItemsChange eins checked", "lvItemsChange zwei checked",
                         "lvItemsChange eins checked selected", "lvItemsSelectItem eins on",
                         "lvItemsChange eins checked", "lvItemsSelectItem eins off",
                         "lvItemsChange zwei checked selected", "lvItemsSelectItem zwei on"}));
    // Where captions repeat, "#N" reaches the one meant.
    lv.Add().Caption = "zwei";
    driver->Tick("lvItems", "#2", true);
    EXPECT_TRUE(lv.Item(2).Checked());
    driver->Tick("lvItems", "#1", false);
    EXPECT_FALSE(lv.Item(1).Checked());
    EXPECT_TRUE(lv.Item(2).Checked());
    EXPECT_THROW(driver->Tick("lvItems", "#3", true), DriverError);
    auto& tv = page->get<TTreeView>("tvFolders");
    tv.AddRoot("Favoriten").AddChild("Nachrichten");
    log().clear();
    driver->Select("tvFolders", "Favoriten/Nachrichten");
    EXPECT_EQ(log(), std::vector<std::string>{"tvFoldersChange Favoriten/Nachrichten"});
    EXPECT_EQ(driver->Property("tvFolders", "selected"), "Nachrichten");
}

TEST_F(Toolkit, DisabledAndHiddenControlsRefuseUsers) {
    EXPECT_THROW(driver->Click("btnDisabled"), DriverError);
    EXPECT_THROW(driver->Click("chkHidden"), DriverError);
    page->get<TGroupBox>("gbOuter").Enabled = false;
    EXPECT_THROW(driver->Click("chkOne"), DriverError)
        << "a disabled container disables its controls";
    EXPECT_THROW(driver->Click("nosuch"), DriverError);
    EXPECT_TRUE(log().empty());
}

TEST_F(Toolkit, AFailingLineInsideADialogIsReportedOnceWithItsOwnNumber) {
    ScriptRunner runner(*driver, dialogs, out);
    runner.Load("click btnDialog\n"
                "click chkOption\n"
                "click btnInner\n"
                "expect chkOption checked true\n");
    try {
        runner.Run();
        FAIL() << "a failing expect inside a dialog passed";
    } catch (const DriverError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Zeile 4: erwartet chkOption checked \"true\", gefunden \"false\"");
        EXPECT_EQ(e.line(), 4u);
    }
    EXPECT_TRUE(TApplication::Instance().ModalForms().empty());
}

TEST_F(Toolkit, ModalDialogsNestTwoDeepAndPullTheirInputFromTheScript) {
    ScriptRunner runner(*driver, dialogs, out);
    runner.Load("click btnDialog\n"
                "click chkOption\n"
                "click btnInner\n"
                "expect chkOption checked false\n" // names refer to the inner dialog now
                "click chkOption\n"
                "click btnOK\n"
                "click btnCancel\n"
                "expect chkOne checked true\n");
    runner.Run();
    EXPECT_EQ(log(), (std::vector<std::string>{"dialog1:chkOption", "dialog2:chkOption",
                                               "inner closed 1", "dialog closed 2"}));
    EXPECT_TRUE(TApplication::Instance().ModalForms().empty());
}

TEST_F(Toolkit, AScriptThatEndsInsideADialogCancelsIt) {
    ScriptRunner runner(*driver, dialogs, out);
    runner.Load("click btnDialog\n");
    runner.Run();
    EXPECT_EQ(log().back(), "dialog closed 2");
}

TEST_F(Toolkit, TimersRunOnTheVirtualClock) {
    page->get<TTimer>("tmrTick").SetEnabled(true);
    driver->Wait(9);
    EXPECT_TRUE(log().empty());
    driver->Wait(1);
    EXPECT_EQ(log().size(), 1u);
    driver->Wait(35);
    EXPECT_EQ(log().size(), 4u);
    page->get<TTimer>("tmrTick").SetEnabled(false);
    driver->Wait(100);
    EXPECT_EQ(log().size(), 4u);
}

TEST_F(Toolkit, MessageBoxesAreAnsweredOrTakeTheirDefault) {
    auto& app = TApplication::Instance();
    dialogs.answer(IDNO);
    EXPECT_EQ(app.MessageBox("Wirklich?", "Frage", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(app.MessageBox("Sicher?", "Frage", MB_YESNO | MB_DEFBUTTON2), IDNO)
        << "unanswered: the default button";
    EXPECT_EQ(app.MessageBox("Hinweis", "Info", MB_OK), IDOK);
    EXPECT_EQ(out.str(),
              "message: [Frage] Wirklich?\nmessage: [Frage] Sicher?\nmessage: [Info] Hinweis\n");
    dialogs.input(std::string("time.example.org"));
    EXPECT_EQ(dialogs.inputBox("Zeitserver", "Adresse:", "").value_or(""), "time.example.org");
    EXPECT_FALSE(dialogs.inputBox("Zeitserver", "Adresse:", "").has_value());
}

TEST_F(Toolkit, ScriptsAreCheckedLineByLine) {
    ScriptRunner runner(*driver, dialogs, out);
    struct Case {
        const char* script;
        const char* error;
    };
    const Case cases[] = {
        {"# comment\n\nfrobnicate x\n", "Zeile 3: unbekannte Aktion \"frobnicate\""},
        {"check chkOne maybe\n", "Zeile 1: erwartet wird on oder off: check NAME on|off"},
        {"click\n", "Zeile 1: erwartet: click NAME"},
        {"type txtDigits \"open\n", "Zeile 1: ein Anführungszeichen ist nicht geschlossen"},
        {"\nset txtOther 'C:\\temp\n", "Zeile 2: ein Anführungszeichen ist nicht geschlossen"},
        {"expect chkOne colour red\n", "Zeile 1: unbekannte Eigenschaft \"colour\""},
        {"spin udCount many\n", "Zeile 1: erwartet wird eine Zahl: spin NAME N"},
    };
    for (const auto& c : cases) {
        try {
            runner.Load(c.script);
            ADD_FAILURE() << "accepted: " << c.script;
        } catch (const DriverError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
    runner.Load("check chkOne off\nexpect chkOne checked true\n");
    try {
        runner.Run();
        FAIL() << "a failing expect passed";
    } catch (const DriverError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Zeile 2: erwartet chkOne checked \"true\", gefunden \"false\"");
    }
    runner.Load("click btnDisabled\n");
    EXPECT_THROW(runner.Run(), DriverError);
    EXPECT_EQ(SplitScriptLine(R"(set txtOther "a \"quoted\" \\ text")", 1),
              (std::vector<std::string>{"set", "txtOther", "a \"quoted\" \\ text"}));
}

TEST(ScriptWords, SingleQuotesTakeEveryCharacterAsItStands) {
    struct Case {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {R"(choose 'C:\temp\new.txt')", {"choose", "C:\\temp\\new.txt"}},
        {R"(set txt 'a "b" \n\t\\')", {"set", "txt", "a \"b\" \\n\\t\\\\"}},
        {"set txt ''", {"set", "txt", ""}},
        {"set txt '  two  blanks '\r", {"set", "txt", "  two  blanks "}},
        {"set txt 'tab\there'", {"set", "txt", "tab\there"}},
        // Double quotes keep their escapes; a backslash before anything else stands.
        {R"(choose "C:\temp")", {"choose", "C:\temp"}},
        {R"(choose "C:\Windows\x")", {"choose", "C:\\Windows\\x"}},
        // A quote counts only at the start of a word.
        {"set txt it's", {"set", "txt", "it's"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SplitScriptLine(c.line, 1), c.words);
    }
}

TEST(ScriptWords, EveryValueIsPrintedSoThatItReadsBack) {
    struct Case {
        std::string value;
        std::string printed;
    };
    const Case cases[] = {
        {"plain text", "\"plain text\""},
        {"", "\"\""},
        {"C:\\temp\\new.txt", "'C:\\temp\\new.txt'"},
        {"say \"hi\"", "'say \"hi\"'"},
        {"it's C:\\x", "\"it's C:\\\\x\""},
        {"it's \"so\"", "\"it's \\\"so\\\"\""},
        {"two\nlines\tand a tab", "\"two\\nlines\\tand a tab\""},
        {"C:\\a\nb", "\"C:\\\\a\\nb\""},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "\"Gr\xC3\xBC\xC3\x9F"
         "e\""},
        {"cr\rhere", "\"cr\rhere\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ScriptLiteral(c.value), c.printed);
        const auto words = SplitScriptLine("set txt " + ScriptLiteral(c.value), 1);
        ASSERT_EQ(words.size(), 3u);
        EXPECT_EQ(words[2], c.value);
    }
}

TEST_F(Toolkit, ShownAndFailedValuesReadBackAsScriptInput) {
    driver->Set("txtOther", "C:\\temp");
    EXPECT_NE(DescribeForm(*page).find("TEdit txtOther = 'C:\\temp'\n"), std::string::npos)
        << DescribeForm(*page);
    ScriptRunner runner(*driver, dialogs, out);
    runner.Load("expect txtOther text \"C:\\temp\"\n");
    try {
        runner.Run();
        FAIL() << "\\t was not a tab";
    } catch (const DriverError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Zeile 1: erwartet txtOther text \"C:\\temp\", gefunden 'C:\\temp'");
    }
    runner.Load("expect txtOther text 'C:\\temp'\nprint txtOther\n");
    runner.Run();
    EXPECT_EQ(out.str(), "TEdit txtOther = 'C:\\temp'\n");
}

TEST_F(Toolkit, TheFormDescribesItselfAsAPersonSeesIt) {
    std::string text = DescribeForm(*page);
    EXPECT_NE(text.find("TForm frmTest \"Testseite\"\n  TPageControl pcMain\n    TTabSheet tsFirst "
                        "\"&Erste\" [active]\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("          [x] chkOne \"&Eins\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("        (*) rbA \"A\"\n"), std::string::npos);
    EXPECT_NE(text.find("      TComboBox cbChoice = \"rot\": *rot* | grün | blau\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("      TButton btnDisabled \"Aus\" (disabled)\n"), std::string::npos);
    EXPECT_EQ(text.find("chkHidden"), std::string::npos) << "hidden controls are not shown";
    EXPECT_EQ(text.find("tsHidden"), std::string::npos);
    EXPECT_EQ(text.find("lvItems"), std::string::npos) << "only the shown sheet's contents";
    EXPECT_NE(DescribeFormJson(*page).find("\"name\": \"chkOne\""), std::string::npos);
    EXPECT_EQ(StripAccelerator("&Datei && Ordner"), "Datei & Ordner");
    EXPECT_EQ(TApplication::TextWidth("&Zahl:"), TApplication::TextWidth("Zahl:"));
}

TEST(FormLoader, IsStrictAndNamesThePath) {
    struct Case {
        std::string json;
        std::string error;
    };
    Handlers handlers;
    handlers.add("ok", TNotifyEvent([](TComponent&) {}));
    handlers.add("key", TKeyPressEvent([](TComponent&, char16_t&) {}));
    const Case cases[] = {
        {R"({"type":"TForm","name":"f","children":[{"type":"TWidget","name":"w"}]})",
         "f.json: /children/0/type: unknown component type \"TWidget\""},
        {R"({"type":"TForm","name":"f","children":[{"type":"TCheckBox","name":"c","captoin":"x"}]})",
         "f.json: /children/0/captoin: a TCheckBox has no property \"captoin\""},
        {R"({"type":"TForm","name":"f","children":[{"type":"TLabel","name":"a"},{"type":"TLabel","name":"a"}]})",
         "f.json: /children/1/name: the name \"a\" is used twice"},
        {R"({"type":"TForm","name":"f","children":[{"type":"TButton","name":"b","onClick":"missing"}]})",
         "f.json: /children/0/onClick: no handler named \"missing\""},
        {R"({"type":"TForm","name":"f","children":[{"type":"TButton","name":"b","onClick":"key"}]})",
         "f.json: /children/0/onClick: handler \"key\" does not fit this event"},
        {R"({"type":"TForm","name":"f","children":[{"type":"TCheckBox","name":"c","checked":"yes"}]})",
         "f.json: /children/0/checked: must be true or false"},
        {R"({"type":"TForm","name":"f","children":[{"type":"TPageControl","name":"p","children":[{"type":"TLabel","name":"l"}]}]})",
         "f.json: /children/0/children/0: a page control holds tab sheets only"},
        {R"({"type":"TPanel","name":"f"})", "f.json: /type: the root component must be a TForm"},
    };
    for (const auto& c : cases) {
        TForm form(nullptr);
        try {
            LoadForm(form, c.json, "f.json", handlers);
            ADD_FAILURE() << "accepted: " << c.json;
        } catch (const FormError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
}

TEST(PageCommands, ShowAndRunAPageThroughTheFactory) {
    const test::ModulePages pages;
    app::SetPageFactory([](const std::string& id) -> std::unique_ptr<TForm> {
        if (id != "tcpip|Ravelin.bpl") return nullptr;
        return std::make_unique<TestPage>();
    });
    std::ostringstream out, err;
    std::istringstream in;
    app::Console c{out, err, in};
    EXPECT_EQ(app::showPageCommand("tcpip", false, c), 0);
    EXPECT_EQ(out.str().substr(0, 26), "TForm frmTest \"Testseite\"\n");
    out.str("");
    EXPECT_EQ(app::runPageCommand("tcpip|Ravelin.bpl",
                                  "tab tsSecond\nspin udCount 30\nexpect udCount position 30\n",
                                  "s", c),
              0)
        << err.str();
    EXPECT_EQ(app::runPageCommand("tcpip", "click btnDisabled\n", "script.txt", c), 1);
    EXPECT_EQ(err.str(), "FEHLER: script.txt: Zeile 1: btnDisabled ist deaktiviert: abgelehnt\n");
    EXPECT_EQ(app::showPageCommand("internet", false, c), 1) << "not offered by the factory";
    EXPECT_EQ(app::showPageCommand("nopage", false, c), 1);
}
