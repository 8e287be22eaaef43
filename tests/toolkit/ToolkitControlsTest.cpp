// The toolkit's event rules that pages rely on beyond the basic controls: first shows, dialogs
// that refuse OK, sorting and finding, menus, actions, frames, memos, list and tree views,
// keys, timers and the script clock.
#include "app/deskforge/PageCommand.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/FormLoader.h"
#include "toolkit/TextCompare.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

using namespace ravelin::toolkit;

namespace {

using Log = std::vector<std::string>;

// Every "on..." binding of a description that a test did not bind itself logs its name.
void logEveryBinding(const nlohmann::json& j, Handlers& h, Log& log) {
    if (j.is_object())
        for (auto it = j.begin(); it != j.end(); ++it) {
            if (it.key().rfind("on", 0) == 0 && it.value().is_string() &&
                !h.find(it.value().get<std::string>())) {
                const std::string name = it.value().get<std::string>();
                h.add(name, TNotifyEvent([&log, name](TComponent&) { log.push_back(name); }));
            }
            logEveryBinding(it.value(), h, log);
        }
    if (j.is_array())
        for (const auto& e : j)
            logEveryBinding(e, h, log);
}

class Sandbox : public TForm {
  public:
    Sandbox(const std::string& json, Log& log, Handlers h = {}) : TForm(nullptr) {
        logEveryBinding(nlohmann::json::parse(json), h, log);
        LoadForm(*this, json, "sandbox.json", h);
    }
    template <typename T> T& get(const std::string& name) {
        return dynamic_cast<T&>(*FindComponent(name));
    }
};

class Controls : public ::testing::Test {
  protected:
    void SetUp() override {
        TApplication::Instance().SetDialogService(&dialogs);
        TApplication::Instance().SetInputSource(nullptr);
    }
    void TearDown() override {
        TApplication::Instance().CloseMenu();
        TApplication::Instance().SetDialogService(nullptr);
    }
    // Runs a script on a form and returns the error of the first failing line ("" for none).
    std::string run(TForm& form, const std::string& script) {
        UserDriver driver(form);
        ScriptRunner runner(driver, dialogs, out);
        try {
            runner.Load(script);
            runner.Run();
        } catch (const DriverError& e) {
            return e.what();
        }
        return "";
    }
    std::ostringstream out;
    ScriptedDialogs dialogs{&out};
    Log log;
};

const char* const kTabs = R"({"type": "TForm", "name": "frmTabs", "onShow": "FormShow",
  "children": [
    {"type": "TPageControl", "name": "pc", "activePage": "tsOne", "children": [
      {"type": "TTabSheet", "name": "tsOne", "caption": "Eins", "onShow": "tsOneShow",
       "children": [
         {"type": "TPageControl", "name": "pcInner", "activePage": "tsInnerA", "children": [
           {"type": "TTabSheet", "name": "tsInnerA", "onShow": "tsInnerAShow"},
           {"type": "TTabSheet", "name": "tsInnerB", "onShow": "tsInnerBShow"}]}]},
      {"type": "TTabSheet", "name": "tsTwo", "caption": "Zwei", "onShow": "tsTwoShow",
       "onHide": "tsTwoHide"}]},
    {"type": "TButton", "name": "btnOK", "caption": "OK", "modalResult": "mrOk", "default": true,
     "onClick": "btnOKClick"},
    {"type": "TButton", "name": "btnCancel", "caption": "Abbrechen", "modalResult": "mrCancel",
     "cancel": true}]})";

} // namespace

TEST_F(Controls, TheActiveTabIsShownWithItsFormOncePerActivation) {
    Sandbox form(kTabs, log);
    EXPECT_TRUE(log.empty()) << "nothing shows while the form is made";
    form.Show();
    EXPECT_EQ(log, (Log{"FormShow", "tsOneShow", "tsInnerAShow"})) << "outer sheets first";
    log.clear();
    form.Show();
    EXPECT_EQ(log, Log{"FormShow"}) << "a sheet already shown is not filled twice";
    EXPECT_EQ(run(form, "tab tsTwo\ntab tsOne\n"), "");
    EXPECT_EQ(log, (Log{"FormShow", "tsTwoShow", "tsTwoHide", "tsOneShow"}));

    // A sheet activated by code before the form shows fires at once and not again.
    Sandbox early(kTabs, log);
    log.clear();
    early.get<TPageControl>("pc").SetActivePage(&early.get<TTabSheet>("tsTwo"));
    early.Show();
    EXPECT_EQ(log, (Log{"tsTwoShow", "FormShow"}));
}

TEST_F(Controls, AModalDialogShowsItsActiveTabEachTimeItOpens) {
    Sandbox dialog(kTabs, log);
    EXPECT_EQ(dialog.ShowModal(), mrCancel) << "no input: closed as by its close box";
    EXPECT_EQ(log, (Log{"FormShow", "tsOneShow", "tsInnerAShow"}));
    log.clear();
    dialog.ShowModal();
    EXPECT_EQ(log, (Log{"FormShow", "tsOneShow", "tsInnerAShow"}));
}

TEST_F(Controls, AValidatingHandlerKeepsTheDialogOpen) {
    Log dialogLog;
    Handlers h;
    Sandbox* self = nullptr;
    int attempts = 0;
    h.add("btnOKClick", TNotifyEvent([&](TComponent&) {
              // The result is already set: refusing means resetting it.
              dialogLog.push_back("result " + std::to_string(self->ModalResult));
              if (++attempts == 1) self->ModalResult = mrNone;
          }));
    Sandbox dialog(kTabs, dialogLog, h);
    self = &dialog;
    Sandbox page(R"({"type": "TForm", "name": "frmPage", "children": [
        {"type": "TButton", "name": "btnOpen", "onClick": "btnOpenClick"}]})",
                 log, [&] {
                     Handlers ph;
                     ph.add("btnOpenClick", TNotifyEvent([&](TComponent&) {
                                log.push_back("closed " + std::to_string(dialog.ShowModal()));
                            }));
                     return ph;
                 }());
    EXPECT_EQ(run(page, "click btnOpen\nclick btnOK\nexpect frmTabs visible true\nclick btnOK\n"),
              "");
    EXPECT_EQ(log, Log{"closed 1"});
    EXPECT_EQ(std::count(dialogLog.begin(), dialogLog.end(), "result 1"), 2);
}

TEST_F(Controls, AFailingLineInsideADialogLeavesNoDialogBehind) {
    Sandbox dialog(kTabs, log);
    Sandbox page(R"({"type": "TForm", "name": "frmPage", "children": [
        {"type": "TButton", "name": "btnOpen", "onClick": "btnOpenClick"}]})",
                 log, [&] {
                     Handlers ph;
                     ph.add("btnOpenClick", TNotifyEvent([&](TComponent&) { dialog.ShowModal(); }));
                     return ph;
                 }());
    EXPECT_NE(run(page, "click btnOpen\nclick noSuchButton\n").find("Zeile 2"), std::string::npos);
    EXPECT_TRUE(TApplication::Instance().ModalForms().empty());
    EXPECT_EQ(run(page, "expect btnOpen enabled true\n"), "") << "names refer to the page again";
}

TEST_F(Controls, EnterAndEscapePressTheDefaultAndCancelButtons) {
    Sandbox dialog(kTabs, log);
    Sandbox page(R"({"type": "TForm", "name": "frmPage", "children": [
        {"type": "TButton", "name": "btnOpen", "onClick": "btnOpenClick"},
        {"type": "TMemo", "name": "txtNotice"}]})",
                 log, [&] {
                     Handlers ph;
                     ph.add("btnOpenClick", TNotifyEvent([&](TComponent&) {
                                log.push_back("closed " + std::to_string(dialog.ShowModal()));
                            }));
                     return ph;
                 }());
    EXPECT_EQ(run(page, "click btnOpen\npress enter\nclick btnOpen\npress escape\n"), "");
    EXPECT_EQ(std::count(log.begin(), log.end(), "closed 1"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "closed 2"), 1);
    EXPECT_EQ(log.back(), "closed 2");
    // In a memo Enter breaks the line instead.
    EXPECT_EQ(run(page, "type txtNotice \"Zeile 1\"\npress enter\ntype txtNotice \"Zeile 2\"\n"
                        "expect txtNotice text \"Zeile 1\\nZeile 2\"\n"),
              "");
    dialog.get<TButton>("btnOK").Enabled = false;
    log.clear();
    EXPECT_EQ(run(page, "click btnOpen\npress enter\n"), "");
    EXPECT_EQ(std::count(log.begin(), log.end(), "btnOKClick"), 0)
        << "a disabled default button is not pressed";
    EXPECT_EQ(log.back(), "closed 2");
}

TEST(TextCompare, SortsAsPeopleReadCaseAndAccentsAside) {
    std::vector<std::string> names = {"(Kein)", "Amazon", "Yahoo!", "bing", "eBay", "zeta", "Über"};
    std::sort(names.begin(), names.end(),
              [](const auto& a, const auto& b) { return AnsiCompareText(a, b) < 0; });
    EXPECT_EQ(names, (std::vector<std::string>{"(Kein)", "Amazon", "bing", "eBay", "Über", "Yahoo!",
                                               "zeta"}));
    EXPECT_EQ(AnsiCompareText("ÄRGER", "ärger"), 0);
    EXPECT_LT(AnsiCompareText("Ärger", "Aster"), 0) << "Ä sorts as A";
    EXPECT_LT(AnsiCompareText("Masse", "Maße"), 0) << "ß reads as ss, after it";
    EXPECT_GT(AnsiCompareText("item2", "item10"), 0) << "digit by digit, as the system sorts";
    EXPECT_LT(AnsiCompareText("coop", "co-op"), 0) << "a hyphen weighs only at the end";
    EXPECT_NE(AnsiCompareText("Uber", "Über"), 0);
    EXPECT_TRUE(AnsiSameText("STRASSE", "strasse"));
    EXPECT_TRUE(AnsiStartsText("live s", "Live Search"));
    EXPECT_FALSE(AnsiStartsText("Live Search!", "Live Search"));
    EXPECT_EQ(AnsiLowerCase("ÜBER Öl"), "über öl");
}

TEST_F(Controls, SortedCombosAndListsKeepTheirOrderAndFindIgnoringCase) {
    // "items" before "sorted" in the description: the items are sorted all the same.
    Handlers h;
    Log changes;
    h.add("lvChange", TLVChangeEvent([&](TComponent&, TListItem& item, TItemChange change) {
              changes.push_back(item.Caption + (change == TItemChange::ctImage   ? " image"
                                                : change == TItemChange::ctState ? " state"
                                                                                 : " text"));
          }));
    h.add("lvItemChecked", TLVCheckedItemEvent([&](TComponent&, TListItem& item) {
              changes.push_back(item.Caption + " ticked " + (item.Checked() ? "on" : "off"));
          }));
    Sandbox form(R"json({"type": "TForm", "name": "frm", "children": [
        {"type": "TComboBox", "name": "cbEngines",
         "items": ["zeta", "Yahoo!", "(Kein)", "eBay", "Über", "bing", "Amazon"], "sorted": true},
        {"type": "TListView", "name": "lv", "checkboxes": true, "sortType": "stText",
         "onChange": "lvChange", "onItemChecked": "lvItemChecked"}]})json",
                 log, h);
    UserDriver driver(form);
    EXPECT_EQ(driver.Property("cbEngines", "items"), "(Kein)|Amazon|bing|eBay|Über|Yahoo!|zeta");
    auto& cb = form.get<TComboBox>("cbEngines");
    EXPECT_EQ(cb.AddItem("ask"), 2);
    cb.SetText("EBAY");
    EXPECT_EQ(cb.Text(), "eBay") << "a drop-down list shows its own item";
    cb.ClearItems();
    EXPECT_EQ(cb.Text(), "") << "a cleared list keeps no old text";

    auto& lv = form.get<TListView>("lv");
    for (const char* c : {"Live Search", "ask.com", "Google", "live.com"})
        lv.Add().Caption = c;
    EXPECT_EQ(driver.Property("lv", "items"), "ask.com|Google|Live Search|live.com")
        << "a blank before punctuation";
    lv.Item(0).Caption = "Zoo";
    EXPECT_EQ(lv.Item(3).Caption, "Zoo") << "a changed caption moves to its place";
    // Prefix finds wrap around from the start item; whole-caption finds ignore case.
    EXPECT_EQ(lv.FindCaption(2, "LIVE", true, false, true)->Caption, "Live Search");
    EXPECT_EQ(lv.FindCaption(2, "live", true, true, false)->Caption, "live.com");
    EXPECT_EQ(lv.FindCaption(3, "google", true, true, true)->Caption, "Google");
    EXPECT_EQ(lv.FindCaption(3, "google", true, true, false), nullptr);
    EXPECT_EQ(lv.FindCaption("LIVE.COM")->Caption, "live.com");
    EXPECT_EQ(lv.FindCaption(0, "Live", false, true, true), nullptr) << "whole caption only";

    // Ticks fire OnItemChecked, selections never do; a new image fires OnChange (ctImage).
    EXPECT_EQ(run(form, "tick lv \"google\" on\nselect lv \"Zoo\"\n"), "");
    lv.Item(0).ImageIndex = 2;
    lv.Item(0).ImageIndex = 2;
    EXPECT_EQ(changes, (Log{"Google state", "Google ticked on", "Zoo state", "Google image"}));
    EXPECT_EQ(run(form, "expect lv \"Google\" checked true\nexpect lv \"#0\" image 2\n"
                        "expect lv \"Zoo\" selected true\nexpect lv \"Zoo\" index 3\n"),
              "");
    EXPECT_NE(run(form, "expect lv \"Google\" checked false\n").find("gefunden \"true\""),
              std::string::npos);

    // Data sorting follows the page's compare.
    lv.SortType = TSortType::stData;
    lv.OnCompare = [](TComponent&, TListItem& a, TListItem& b, std::intptr_t, int& compare) {
        compare = static_cast<int>(b.Caption.size()) - static_cast<int>(a.Caption.size());
    };
    EXPECT_EQ(lv.Item(0).Caption, "Live Search") << "longest first";
    lv.SortType = TSortType::stNone;
    lv.CustomSort([](TListItem& a, TListItem& b) { return AnsiCompareText(b.Caption, a.Caption); });
    EXPECT_EQ(driver.Property("lv", "items"), "Zoo|live.com|Live Search|Google");
}

TEST_F(Controls, TreesFindNodesAtPointsAndDeleteThem) {
    Handlers h;
    h.add("tvChange", TTVChangedEvent([&](TComponent&, TTreeNode* node) {
              log.push_back("change " + (node ? node->Text : std::string("-")));
          }));
    h.add("tvMouseDown", TMouseEvent([&](TComponent& sender, TMouseButton button, int x, int y) {
              auto& tv = dynamic_cast<TTreeView&>(sender);
              TTreeNode* node = tv.GetNodeAt(x, y);
              log.push_back(std::string(button == TMouseButton::mbRight ? "right " : "left ") +
                            (node ? node->Text : "-"));
          }));
    Sandbox form(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TImageList", "name": "ilFolders"},
        {"type": "TTreeView", "name": "tv", "images": "ilFolders", "readOnly": true,
         "left": 10, "top": 10, "width": 200, "height": 200,
         "onChange": "tvChange", "onClick": "tvClick", "onMouseDown": "tvMouseDown"}]})",
                 log, h);
    auto& tv = form.get<TTreeView>("tv");
    EXPECT_EQ(tv.Images, &form.get<TImageList>("ilFolders"));
    TTreeNode& root = tv.AddRoot("Favoriten");
    root.ImageIndex = 2;
    TTreeNode& links = root.AddChild("Links");
    links.AddChild("Unterordner");
    TTreeNode& news = root.AddChild("Nachrichten");
    news.ImageIndex = 1;
    root.Expanded = true;
    EXPECT_EQ(tv.GetNodeAt(30, 5), &root);
    EXPECT_EQ(tv.GetNodeAt(45, 16 + 3), &links);
    EXPECT_EQ(tv.GetNodeAt(45, 32 + 3), &news) << "a collapsed node's children take no rows";
    EXPECT_EQ(tv.GetNodeAt(5, 16 + 3), nullptr) << "left of the node is the tree's lines";
    EXPECT_EQ(tv.GetNodeAt(45, 48 + 3), nullptr);

    // A right press reaches the handler at the node's point, selects nothing, clicks nothing.
    EXPECT_EQ(run(form, "select tv \"Favoriten\"\nrightclick tv \"Favoriten/Nachrichten\"\n"), "");
    EXPECT_EQ(log, (Log{"change Favoriten", "tvClick", "right Nachrichten"}));
    EXPECT_EQ(run(form, "expect tv \"favoriten/nachrichten\" image 1\n"
                        "expect tv \"Favoriten\" count 2\n"),
              "");
    EXPECT_NE(DescribeForm(form).find("      Nachrichten (image 1)\n"), std::string::npos)
        << DescribeForm(form);
    const auto json = nlohmann::json::parse(DescribeFormJson(form));
    const auto& nodes = json["children"][0]["nodes"];
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]["imageIndex"], 2);
    EXPECT_EQ(nodes[0]["children"][1]["text"], "Nachrichten");
    EXPECT_EQ(nodes[0]["selected"], true);

    // Deleting the selected node's parent takes the selection with it.
    tv.SetSelected(&links.Item(0));
    log.clear();
    links.Delete();
    EXPECT_EQ(log, Log{"change -"});
    EXPECT_EQ(root.Count(), 1);
    EXPECT_EQ(tv.Count(), 2);
    news.Delete();
    EXPECT_EQ(tv.FindPath("Favoriten/Nachrichten"), nullptr);
}

TEST_F(Controls, PopupMenusOpenAtThePointAndOfferTheirItemsOnlyWhileOpen) {
    Handlers h;
    h.add("lvMouseDown", TMouseEvent([&](TComponent&, TMouseButton, int x, int y) {
              log.push_back("down " + std::to_string(x) + "," + std::to_string(y));
          }));
    Sandbox form(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TPopupMenu", "name": "pupList", "onPopup": "pupListPopup", "children": [
          {"type": "TMenuItem", "name": "miOpen", "caption": "Ö&ffnen", "onClick": "miOpenClick"},
          {"type": "TMenuItem", "name": "miSep", "caption": "-"},
          {"type": "TMenuItem", "name": "miMore", "caption": "Weitere", "children": [
            {"type": "TMenuItem", "name": "miDeep", "caption": "Tief", "onClick": "miDeepClick"},
            {"type": "TMenuItem", "name": "miOff", "caption": "Aus", "enabled": false,
             "onClick": "miOffClick"}]}]},
        {"type": "TButton", "name": "btnAdd", "caption": "Hinzufügen", "left": 20, "top": 200,
         "width": 80, "height": 24, "onClick": "btnAddClick"},
        {"type": "TPanel", "name": "pnl", "left": 10, "top": 10, "width": 300, "height": 150,
         "children": [
          {"type": "TListView", "name": "lv", "left": 5, "top": 5, "width": 200, "height": 100,
           "popupMenu": "pupList", "viewStyle": "vsReport", "showColumnHeaders": false,
           "columns": [{"caption": "Name", "width": 180}], "onMouseDown": "lvMouseDown"}]}]})",
                 log, h);
    auto& lv = form.get<TListView>("lv");
    lv.Add().Caption = "eins";
    lv.Add().Caption = "zwei";
    EXPECT_NE(run(form, "click miOpen\n").find("nicht geöffnet ist: abgelehnt"), std::string::npos);
    EXPECT_EQ(run(form, "rightclick lv \"zwei\"\nexpect pupList open true\n"), "");
    EXPECT_EQ(log, (Log{"down 2,25", "pupListPopup"}));
    EXPECT_EQ(form.get<TPopupMenu>("pupList").PopupPoint(), (TPoint{17, 40}))
        << "in form coordinates";
    EXPECT_EQ(form.get<TPopupMenu>("pupList").PopupComponent, &lv);
    const std::string shown = DescribeForm(form);
    EXPECT_NE(
        shown.find("TPopupMenu pupList at 17,40\n  miOpen \"Ö&ffnen\"\n  ----\n"
                   "  miMore \"Weitere\" >\n    miDeep \"Tief\"\n    miOff \"Aus\" (disabled)\n"),
        std::string::npos)
        << shown;
    EXPECT_NE(DescribeFormJson(form).find("\"openMenu\""), std::string::npos);
    EXPECT_EQ(run(form, "expect lv selected \"zwei\"\nclick miMore\nexpect pupList open true\n"
                        "click miDeep\nexpect pupList open false\n"),
              "");
    EXPECT_EQ(log.back(), "miDeepClick");
    EXPECT_NE(run(form, "rightclick lv\nclick miOff\n").find("deaktiviert: abgelehnt"),
              std::string::npos);
    EXPECT_NE(run(form, "rightclick lv\nclick miSep\n").find("Trennlinie"), std::string::npos);
    // Anything else the user does closes the menu.
    EXPECT_EQ(run(form, "rightclick lv\nclick btnAdd\nexpect pupList open false\n"), "");
    EXPECT_NE(run(form, "click miOpen\n").find("nicht geöffnet"), std::string::npos);
    EXPECT_EQ(run(form, "rightclick lv\npress escape\nexpect pupList open false\n"), "");

    // A page opens a menu from code, at a control's lower left corner.
    auto& btn = form.get<TButton>("btnAdd");
    const TPoint corner = btn.ClientToScreen({0, btn.Height});
    form.get<TPopupMenu>("pupList").Popup(corner.X, corner.Y);
    EXPECT_EQ(run(form, "click miOpen\n"), "");
    EXPECT_EQ(log.back(), "miOpenClick");
    EXPECT_EQ(corner, (TPoint{20, 224}));
}

TEST_F(Controls, ActionsDriveTheirButtonsAndMenuItems) {
    Sandbox form(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TActionList", "name": "alMain", "children": [
          {"type": "TAction", "name": "actRemove", "caption": "&Entfernen",
           "onExecute": "actRemoveExecute"}]},
        {"type": "TPopupMenu", "name": "pup", "children": [
          {"type": "TMenuItem", "name": "miRemove", "action": "actRemove"}]},
        {"type": "TButton", "name": "btnRemove", "action": "actRemove"},
        {"type": "TSpeedButton", "name": "sbRemove", "action": "actRemove"},
        {"type": "TButton", "name": "btnOwn", "action": "actRemove", "onClick": "btnOwnClick"}]})",
                 log);
    auto& act = form.get<TAction>("actRemove");
    auto& btn = form.get<TButton>("btnRemove");
    auto& mi = form.get<TMenuItem>("miRemove");
    EXPECT_EQ(btn.Caption, "&Entfernen");
    EXPECT_EQ(mi.Caption, "&Entfernen");
    EXPECT_EQ(run(form, "click btnRemove\nclick sbRemove\nclick btnOwn\n"), "");
    EXPECT_EQ(log, (Log{"actRemoveExecute", "actRemoveExecute", "btnOwnClick"}));
    act.Enabled = false;
    act.Caption = "Löschen";
    EXPECT_FALSE(btn.Enabled);
    EXPECT_FALSE(mi.Enabled);
    EXPECT_EQ(mi.Caption, "Löschen");
    EXPECT_NE(run(form, "click btnRemove\n").find("deaktiviert: abgelehnt"), std::string::npos);
    form.get<TPopupMenu>("pup").Popup(0, 0);
    EXPECT_NE(run(form, "click miRemove\n").find("deaktiviert: abgelehnt"), std::string::npos);
    EXPECT_FALSE(act.Execute());
    EXPECT_TRUE(act.Caption == "Löschen" && act.Caption != "Entfernen" && !act.Enabled);
    EXPECT_EQ(run(form, "expect actRemove enabled false\nexpect btnRemove caption \"Löschen\"\n"),
              "");
}

namespace {

class SearchFrame : public TFrame {
  public:
    explicit SearchFrame(TComponent* owner, Log& log) : TFrame(owner) {
        Handlers h;
        h.add("chkShowClick", TNotifyEvent([&log](TComponent&) { log.push_back("frame click"); }));
        LoadFrame(*this, R"({"type": "TFrame", "name": "FrameSearch", "children": [
            {"type": "TGroupBox", "name": "gbSearch", "children": [
              {"type": "TCheckBox", "name": "chkShow", "caption": "Anzeigen",
               "onClick": "chkShowClick"},
              {"type": "TLabel", "name": "lblInfo", "caption": "Hinweis"}]}]})",
                  "ufrmSearchFrame.json", h);
    }
    template <typename T> T& get(const std::string& name) {
        return dynamic_cast<T&>(*FindComponent(name));
    }
};

} // namespace

TEST_F(Controls, FramesCarryTheirOwnFormAndHandlersOnAPageTab) {
    Sandbox page(kTabs, log);
    auto& frame = page.Create<SearchFrame>(log);
    frame.SetParent(&page.get<TTabSheet>("tsTwo"));
    frame.Name = "IE7FrameSearch";
    frame.Left = 12;
    frame.Top = 10;
    // The page has a check box of the same name: the frame's names are its own.
    page.Create<TCheckBox>().Name = "chkShow";
    log.clear();
    EXPECT_EQ(run(page, "tab tsTwo\nclick IE7FrameSearch.chkShow\n"
                        "expect IE7FrameSearch.chkShow checked true\n"),
              "");
    EXPECT_EQ(log, (Log{"tsTwoShow", "frame click"}));
    EXPECT_NE(DescribeForm(page).find("TFrame IE7FrameSearch"), std::string::npos);

    EnableComponents(false, page);
    EXPECT_FALSE(page.get<TButton>("btnOK").Enabled);
    EXPECT_TRUE(page.get<TPageControl>("pc").Enabled) << "containers stay as they are";
    EXPECT_TRUE(frame.get<TCheckBox>("chkShow").Enabled) << "the frame owns its controls";
    EnableComponents(false, frame);
    EXPECT_FALSE(frame.get<TCheckBox>("chkShow").Enabled);
    EXPECT_TRUE(frame.get<TGroupBox>("gbSearch").Enabled);
    EXPECT_TRUE(frame.get<TLabel>("lblInfo").Enabled);
}

TEST_F(Controls, MemosKeepLinesAndScriptsWriteLineBreaks) {
    Sandbox form(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TMemo", "name": "txtText", "lines": ["Erste", "Zweite"], "onChange": "txtChange",
         "scrollBars": "ssVertical"},
        {"type": "TMemo", "name": "txtFixed", "readOnly": true}]})",
                 log);
    auto& memo = form.get<TMemo>("txtText");
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(memo.Text(), "Erste\r\nZweite");
    EXPECT_EQ(memo.Lines().Count(), 2);
    EXPECT_EQ(memo.Lines().Text(), "Erste\r\nZweite\r\n");
    memo.Lines().Add("Dritte");
    EXPECT_EQ(memo.Lines()[2], "Dritte");
    EXPECT_EQ(log, Log{"txtChange"});
    EXPECT_EQ(run(form, "set txtText \"a\\nb\\n\\nc\"\nexpect txtText lines 4\n"
                        "expect txtText text \"a\\nb\\n\\nc\"\n"),
              "");
    EXPECT_EQ(memo.Text(), "a\r\nb\r\n\r\nc");
    EXPECT_NE(DescribeForm(form).find("TMemo txtText = \"a\\nb\\n\\nc\""), std::string::npos);
    EXPECT_NE(run(form, "type txtFixed \"x\"\n").find("schreibgeschützt"), std::string::npos);
    EXPECT_EQ(SplitScriptLine(R"(set txt "1\t2\n3")", 1),
              (std::vector<std::string>{"set", "txt", "1\t2\n3"}));
}

TEST_F(Controls, TickingMovesTheFocusFirst) {
    Sandbox form(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TGroupBox", "name": "gbAgent", "onExit": "gbAgentExit", "children": [
          {"type": "TEdit", "name": "txtAgent"}]},
        {"type": "TListView", "name": "lv", "checkboxes": true, "onEnter": "lvEnter"},
        {"type": "TBigCheckListBox", "name": "clb", "items": ["Anna"], "onEnter": "clbEnter",
         "onClickCheck": "clbClickCheck"}]})",
                 log);
    form.get<TListView>("lv").Add().Caption = "eins";
    EXPECT_EQ(run(form, "focus txtAgent\ntick lv \"eins\" on\ntick clb \"anna\" on\n"), "");
    EXPECT_EQ(log, (Log{"gbAgentExit", "lvEnter", "clbEnter", "clbClickCheck"}));
    EXPECT_EQ(run(form, "expect clb \"Anna\" checked true\n"), "");
}

TEST_F(Controls, FormsRunFormDestroyOnceWhenFreed) {
    { Sandbox form(R"({"type": "TForm", "name": "frm", "onDestroy": "FormDestroy"})", log); }
    EXPECT_EQ(log, Log{"FormDestroy"});
    log.clear();
    auto form = std::make_unique<Sandbox>(
        R"({"type": "TForm", "name": "frm", "onDestroy": "FormDestroy"})", log);
    form->BeforeDestruction(); // as a form class does first in its destructor
    form.reset();
    EXPECT_EQ(log, Log{"FormDestroy"});
}

TEST_F(Controls, TimersWithoutIntervalNeverFireAndANewIntervalRestarts) {
    Sandbox form(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TTimer", "name": "tmrGuard", "interval": 0, "enabled": true,
         "onTimer": "tmrGuardTimer"}]})",
                 log);
    auto& app = TApplication::Instance();
    app.AdvanceClock(5000);
    EXPECT_TRUE(log.empty()) << "interval 0 does not fire";
    auto& timer = form.get<TTimer>("tmrGuard");
    timer.Interval = 750;
    app.AdvanceClock(500);
    timer.Interval = 300; // counts from now
    app.AdvanceClock(299);
    EXPECT_TRUE(log.empty());
    app.AdvanceClock(1);
    EXPECT_EQ(log.size(), 1u);
    timer.SetEnabled(false);
}

TEST_F(Controls, ScriptsPauseLikeAPersonBeforeEachAction) {
    Handlers h;
    Sandbox* self = nullptr;
    h.add("btnRebuildClick", TNotifyEvent([&](TComponent&) {
              self->get<TTimer>("tmrRebuild").SetEnabled(true);
              log.push_back("rebuild");
          }));
    h.add("tmrRebuildTimer", TNotifyEvent([&](TComponent& t) {
              dynamic_cast<TTimer&>(t).SetEnabled(false);
              log.push_back("rebuilt");
          }));
    Sandbox form(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TTimer", "name": "tmrRebuild", "interval": 10, "onTimer": "tmrRebuildTimer"},
        {"type": "TTimer", "name": "tmrNotice", "interval": 750, "onTimer": "tmrNoticeTimer"},
        {"type": "TButton", "name": "btnRebuild", "onClick": "btnRebuildClick"},
        {"type": "TButton", "name": "btnOther", "onClick": "btnOtherClick"}]})",
                 log, h);
    self = &form;
    form.get<TTimer>("tmrNotice").SetEnabled(true);
    EXPECT_EQ(run(form, "click btnRebuild\nexpect tmrRebuild enabled true\nclick btnOther\n"), "");
    EXPECT_EQ(log, (Log{"rebuild", "rebuilt", "btnOtherClick"}))
        << "the 10 ms guard expires before the next action, the 750 ms delay does not";
    form.get<TTimer>("tmrNotice").SetEnabled(false);
}

TEST_F(Controls, FileDialogsOfferTheirNameAndRefuseWhatMustExist) {
    Sandbox form(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TOpenDialog", "name": "dlgIcon", "filter": "Symbole|*.ico",
         "options": ["ofPathMustExist"]}]})",
                 log);
    auto& dlg = form.get<TOpenDialog>("dlgIcon");
    dlg.FileName = "opera.ico";
    dialogs.Exists = [](const std::string& path) {
        return path == "/vorhanden" || path == "/vorhanden/neu.ico";
    };
    dialogs.choose(std::string("/vorhanden/neu.ico"));
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(dlg.FileName, "/vorhanden/neu.ico");
    EXPECT_NE(out.str().find("file dialog: [] Symbole|*.ico (opera.ico)"), std::string::npos);
    dialogs.choose(std::string("/fehlt/neu.ico"));
    EXPECT_THROW(dlg.Execute(), DriverError);
    dlg.FileMustExist = true;
    dialogs.choose(std::string("/vorhanden/fehlt.ico"));
    EXPECT_THROW(dlg.Execute(), DriverError);
    dialogs.choose(std::nullopt);
    EXPECT_FALSE(dlg.Execute());

    Sandbox colours(R"({"type": "TForm", "name": "frm", "children": [
        {"type": "TColorDialog", "name": "dlgColor", "customColors": ["ColorA=3245CD"]}]})",
                    log);
    auto& cd = colours.get<TColorDialog>("dlgColor");
    dialogs.color(Color{1, 2, 3});
    EXPECT_TRUE(cd.Execute());
    EXPECT_EQ(cd.Color, 0x030201u);
    EXPECT_EQ(cd.CustomColors.front(), "ColorA=3245CD");
}

TEST(FormLoader, KnowsTheControlsOfEveryPageAndStaysStrict) {
    Handlers handlers;
    handlers.add("ok", TNotifyEvent([](TComponent&) {}));
    TForm form(nullptr);
    LoadForm(form, R"({"type": "TForm", "name": "f", "borderStyle": "bsDialog",
        "position": "poScreenCenter", "clientWidth": 452, "clientHeight": 141, "children": [
        {"type": "TImageList", "name": "il", "width": 16, "height": 16},
        {"type": "TSpeedButton", "name": "sb", "groupIndex": 1, "down": true, "flat": true},
        {"type": "TNXPNGImage", "name": "img", "stretch": true, "transparent": true},
        {"type": "TLabel", "name": "lbl", "wordWrap": true, "alignment": "taRightJustify"},
        {"type": "TExListView", "name": "lv", "checkboxes": true, "readOnly": true,
         "viewStyle": "vsReport", "showColumnHeaders": false, "sortType": "stText",
         "smallImages": "il", "columns": ["Name", {"caption": "Typ", "width": 120}]},
        {"type": "TTreeView", "name": "tv", "images": "il", "readOnly": true,
         "hideSelection": false, "onDblClick": "ok"}]})",
             "f.json", handlers);
    EXPECT_EQ(form.BorderStyle, TFormBorderStyle::bsDialog);
    EXPECT_EQ(dynamic_cast<TListView&>(*form.FindComponent("lv")).Columns.at(1).Width, 120);

    struct Case {
        std::string json, error;
    };
    const Case cases[] = {
        {R"({"type":"TForm","name":"f","children":[{"type":"TListView","name":"l","sortType":"stName"}]})",
         "f.json: /children/0/sortType: must be one of stBoth, stData, stNone, stText"},
        {R"({"type":"TForm","name":"f","children":[{"type":"TListView","name":"l","smallImages":"none"}]})",
         "f.json: /children/0/smallImages: no image list named \"none\""},
        {R"({"type":"TForm","name":"f","children":[{"type":"TMenuItem","name":"m"}]})",
         "f.json: /children/0: a menu item belongs into a popup menu or a menu item"},
        {R"({"type":"TForm","name":"f","children":[{"type":"TListView","name":"l","columns":[{"caption":"a","wdth":3}]}]})",
         "f.json: /children/0/columns/0/wdth: a column has no property \"wdth\""},
        {R"({"type":"TForm","name":"f","children":[{"type":"TLabel","name":"l","action":"a"}]})",
         "f.json: /children/0/action: a TLabel has no property \"action\""},
        {R"({"type":"TFrame","name":"f"})", "f.json: /type: the root component must be a TForm"},
    };
    for (const auto& c : cases) {
        TForm f(nullptr);
        try {
            LoadForm(f, c.json, "f.json", handlers);
            ADD_FAILURE() << "accepted: " << c.json;
        } catch (const FormError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
    TFrame frame(nullptr);
    EXPECT_THROW(LoadFrame(frame, R"({"type":"TForm","name":"f"})", "f.json", handlers), FormError);
}
