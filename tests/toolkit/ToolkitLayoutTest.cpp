// Closing the rows that hidden controls leave, and typing at a person's caret through the
// key handlers.
#include "toolkit/Controls.h"
#include "toolkit/Driver.h"
#include "toolkit/FormLoader.h"

#include <gtest/gtest.h>

using namespace ravelin::toolkit;

namespace {

// A tab laid out for the fullest case: a picture beside a group of four rows, a second
// group below, a button anchored at the bottom.
const char* const kTab = R"({"type": "TForm", "name": "frmRows", "width": 520, "height": 440,
  "children": [
    {"type": "TImage", "name": "imgTop", "left": 8, "top": 8, "width": 32, "height": 32},
    {"type": "TGroupBox", "name": "gbRows", "caption": "Allgemein", "left": 48, "top": 8,
     "width": 456, "height": 116, "children": [
      {"type": "TCheckBox", "name": "chkOne", "caption": "Eins", "left": 12, "top": 20, "width": 430, "height": 17},
      {"type": "TCheckBox", "name": "chkTwo", "caption": "Zwei", "left": 12, "top": 42, "width": 430, "height": 17},
      {"type": "TCheckBox", "name": "chkThree", "caption": "Drei", "left": 12, "top": 64, "width": 430, "height": 17},
      {"type": "TCheckBox", "name": "chkFour", "caption": "Vier", "left": 12, "top": 86, "width": 430, "height": 17}]},
    {"type": "TImage", "name": "imgBelow", "left": 8, "top": 132, "width": 32, "height": 32},
    {"type": "TGroupBox", "name": "gbBelow", "caption": "Sicherheit", "left": 48, "top": 132,
     "width": 456, "height": 72},
    {"type": "TGroupBox", "name": "gbLast", "caption": "Zuletzt", "left": 48, "top": 212,
     "width": 456, "height": 48},
    {"type": "TButton", "name": "btnDefaults", "caption": "&Standardeinstellungen", "left": 354,
     "top": 376, "width": 150, "height": 25}]})";

class Rows : public TForm {
  public:
    Rows() : TForm(nullptr) { LoadForm(*this, kTab, "rows.json", {}); }
    TControl& operator[](const std::string& name) {
        return dynamic_cast<TControl&>(*FindComponent(name));
    }
};

} // namespace

TEST(CloseGaps, HiddenRowsCloseOnceAndTheGroupShrinksWithTheRestFollowing) {
    // Two hidden rows in a run: their gaps overlap and count once (the last shown row once
    // landed on the group's caption).
    {
        Rows f;
        f["chkOne"].Visible = f["chkTwo"].Visible = f["chkFour"].Visible = false;
        CloseGaps(f);
        EXPECT_EQ(f["chkThree"].Top, 20) << "the only row takes the first row's place";
        EXPECT_EQ(f["gbRows"].Height, 20 + 17 + 13) << "the group keeps its bottom margin";
        EXPECT_EQ(f["imgBelow"].Top, 132 - 66);
        EXPECT_EQ(f["gbBelow"].Top, 132 - 66) << "the next group follows up";
        EXPECT_EQ(f["gbLast"].Top, 212 - 66);
        EXPECT_EQ(f["imgTop"].Top, 8) << "the picture beside stays";
        EXPECT_EQ(f["btnDefaults"].Top, 376) << "the anchored button stays";
    }
    // One hidden row in the middle: the rows below move up by one pitch, no row is left empty.
    {
        Rows f;
        f["chkTwo"].Visible = false;
        CloseGaps(f);
        EXPECT_EQ(f["chkOne"].Top, 20);
        EXPECT_EQ(f["chkThree"].Top, 42);
        EXPECT_EQ(f["chkFour"].Top, 64);
        EXPECT_EQ(f["gbRows"].Height, 116 - 22);
        EXPECT_EQ(f["gbBelow"].Top, 132 - 22);
    }
    // A hidden group with its picture shown beside it: the picture's place stays.
    {
        Rows f;
        f["gbBelow"].Visible = false;
        CloseGaps(f);
        EXPECT_EQ(f["imgBelow"].Top, 132);
        EXPECT_EQ(f["gbLast"].Top, 164) << "only what the picture does not cover closes";
    }
    // A group closed on its own shrinks by its last, hidden row.
    {
        Rows f;
        f["chkFour"].Visible = false;
        CloseGaps(dynamic_cast<TGroupBox&>(f["gbRows"]));
        EXPECT_EQ(f["gbRows"].Height, 116 - 22);
        EXPECT_EQ(f["chkThree"].Top, 64);
    }
    // Nothing hidden: nothing moves, and a second pass changes nothing either.
    {
        Rows f;
        CloseGaps(f);
        CloseGaps(f);
        EXPECT_EQ(f["chkFour"].Top, 86);
        EXPECT_EQ(f["gbRows"].Height, 116);
        EXPECT_EQ(f["gbLast"].Top, 212);
    }
}

TEST(TypingAtTheCaret, KeysGoThroughTheHandlerAndLandWhereTheCaretIs) {
    TForm form(nullptr);
    Handlers h;
    std::vector<char16_t> seen;
    h.add("digitsOnly", TKeyPressEvent([&](TComponent&, char16_t& key) {
              seen.push_back(key);
              if (!((key >= u'0' && key <= u'9') || key == 8)) key = 0;
          }));
    LoadForm(form, R"({"type": "TForm", "name": "frmKeys", "width": 300, "height": 200,
      "children": [
        {"type": "TComboBox", "name": "cbWindow", "style": "csDropDown", "left": 8, "top": 8,
         "width": 100, "height": 21, "onKeyPress": "digitsOnly"},
        {"type": "TEdit", "name": "txtPort", "left": 8, "top": 40, "width": 100,
         "height": 21, "onKeyPress": "digitsOnly", "maxLength": 5},
        {"type": "TEdit", "name": "txtName", "left": 8, "top": 70, "width": 100, "height": 21}]})",
             "keys.json", h);
    UserDriver d(form);
    auto& combo = dynamic_cast<TComboBox&>(*form.FindComponent("cbWindow"));
    auto& port = dynamic_cast<TEdit&>(*form.FindComponent("txtPort"));
    auto& name = dynamic_cast<TEdit&>(*form.FindComponent("txtName"));

    combo.SetText("1600");
    d.Type("cbWindow", "x3", TCaret{2, 0});
    EXPECT_EQ(combo.Text(), "16300") << "the letter is refused, the digit lands at the caret";
    EXPECT_EQ(seen, (std::vector<char16_t>{u'x', u'3'}));
    d.Type("cbWindow", "\b", TCaret{1, 3});
    EXPECT_EQ(combo.Text(), "10") << "Backspace removes the selection";
    d.Type("cbWindow", "\b", TCaret{0, 0});
    EXPECT_EQ(combo.Text(), "10") << "nothing before the caret";
    d.Type("cbWindow", "5");
    EXPECT_EQ(combo.Text(), "105") << "without a caret the keys go to the end, as scripts type";

    d.Type("txtPort", "123456789");
    EXPECT_EQ(port.Text(), "12345") << "a full field takes no more keys";
    d.Type("txtPort", "9", TCaret{0, 2});
    EXPECT_EQ(port.Text(), "9345") << "a key over a selection replaces it";

    name.SetText("Grün");
    d.Type("txtName", "\b", TCaret{4, 0});
    EXPECT_EQ(name.Text(), "Grü") << "one character back, not one byte";
    d.Type("txtName", "ß", TCaret{3, 0});
    EXPECT_EQ(name.Text(), "Grüß");
}
