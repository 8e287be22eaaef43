// The toolkit's test forms with handlers that log every event they see, as pages would
// react to them; shared by the toolkit's tests and the desktop host's.
#pragma once

#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>
#include <vector>

namespace ravelin::test {

using namespace ravelin::toolkit;

inline std::string formFile(const std::string& name) {
    return test::readFile(std::string(RAVELIN_SOURCE_DIR) + "/tests/forms/" + name);
}

// Records every event it sees, as pages would react to them.
class TestDialog : public TForm {
  public:
    TestDialog(std::vector<std::string>& log, int depth)
        : TForm(nullptr), log_(log), depth_(depth) {
        Handlers h;
        h.add("chkOptionClick", TNotifyEvent([this](TComponent&) {
                  log_.push_back("dialog" + std::to_string(depth_) + ":chkOption");
              }));
        h.add("btnInnerClick", TNotifyEvent([this](TComponent&) {
                  TestDialog inner(log_, depth_ + 1);
                  int r = inner.ShowModal();
                  log_.push_back("inner closed " + std::to_string(r));
              }));
        LoadForm(*this, formFile("TestDialog.json"), "TestDialog.json", h);
        Name = "frmDialog" + std::to_string(depth);
    }

  private:
    std::vector<std::string>& log_;
    int depth_;
};

class TestPage : public TForm {
  public:
    std::vector<std::string> log;
    Handlers handlers;
    std::set<std::string> bound;

    TestPage() : TForm(nullptr) {
        auto note = [this](const std::string& what) {
            return TNotifyEvent([this, what](TComponent&) { log.push_back(what); });
        };
        for (const char* n :
             {"FormCreate",       "tsFirstShow",   "tsFirstHide",    "tsSecondShow",
              "gbOuterEnter",     "gbOuterExit",   "gbInnerEnter",   "gbInnerExit",
              "txtDigitsChange",  "txtDigitsExit", "chkOneClick",    "rbAClick",
              "rbBClick",         "txtOtherEnter", "cbChoiceChange", "cbChoiceSelect",
              "cbEditableChange", "tbLevelChange", "udCountChange",  "tmrTickTimer"})
            handlers.add(n, note(n));
        handlers.add("txtDigitsKeyPress", TKeyPressEvent([this](TComponent&, char16_t& key) {
                         if ((key < u'0' || key > u'9') && key != 8) {
                             key = 0;
                             Application().Beep("txtDigits");
                         }
                     }));
        handlers.add("btnDialogClick", TNotifyEvent([this](TComponent&) {
                         TestDialog dialog(log, 1);
                         log.push_back("dialog closed " + std::to_string(dialog.ShowModal()));
                     }));
        handlers.add(
            "lvItemsChange", TLVChangeEvent([this](TComponent&, TListItem& item, TItemChange) {
                log.push_back("lvItemsChange " + item.Caption + (item.Checked() ? " checked" : "") +
                              (item.Selected() ? " selected" : ""));
            }));
        handlers.add("lvItemsSelectItem",
                     TLVSelectItemEvent([this](TComponent&, TListItem& item, bool selected) {
                         log.push_back("lvItemsSelectItem " + item.Caption +
                                       (selected ? " on" : " off"));
                     }));
        handlers.add("tvFoldersChange", TTVChangedEvent([this](TComponent&, TTreeNode* node) {
                         log.push_back("tvFoldersChange " +
                                       (node ? node->Path() : std::string("-")));
                     }));
        bound = LoadForm(*this, formFile("TestForm.json"), "TestForm.json", handlers);
        Fire(OnCreate);
    }
    template <typename T> T& get(const std::string& name) {
        return dynamic_cast<T&>(*FindComponent(name));
    }
};

} // namespace ravelin::test
