// What the window draws of a form: list ticks clicked through Qt, captions as written,
// check-list entries as a person reads them, pictures and the dialog font.
#include "app/deskforge-gui/DialogFont.h"
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/Pictures.h"
#include "host/Nxgraphics.h"
#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/FormLoader.h"

#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::toolkit;

namespace {

const char* const kForm = R"({"type": "TForm", "name": "frmRendering", "width": 500,
  "height": 400, "children": [
    {"type": "TListView", "name": "lvTypes", "left": 10, "top": 10, "width": 220,
     "height": 120, "checkboxes": true, "viewStyle": "vsReport",
     "onItemChecked": "lvTypesItemChecked", "columns": [{"caption": "Typ", "width": 80}]},
    {"type": "TBigCheckListBox", "name": "lbAccounts", "left": 240, "top": 10, "width": 220,
     "height": 120, "onClickCheck": "lbAccountsClickCheck"},
    {"type": "TLabel", "name": "lblQuote", "caption": "Der \"Start\"-Knopf <b>fett</b>",
     "left": 10, "top": 140},
    {"type": "TLabel", "name": "lblLink", "caption": "Mehr \"Hilfe\"", "isLink": true,
     "left": 10, "top": 160},
    {"type": "TGroupBox", "name": "gbUPnP", "caption": "Universal Plug && Play", "left": 10,
     "top": 180, "width": 220, "height": 60}]})";

class RenderingForm : public TForm {
  public:
    bool growOnTick = false; // a tick adds an entry: the list's items change in the click
    RenderingForm() : TForm(nullptr) {
        Handlers h;
        h.add("lvTypesItemChecked", TLVCheckedItemEvent([this](TComponent&, TListItem&) {
                  if (growOnTick) get<TListView>("lvTypes").Add().Caption = "NEU";
              }));
        h.add("lbAccountsClickCheck", TNotifyEvent([this](TComponent&) {
                  if (growOnTick) get<TBigCheckListBox>("lbAccounts").AddItem("neu");
              }));
        LoadForm(*this, kForm, "rendering.json", h);
    }
    template <typename T> T& get(const std::string& name) {
        return dynamic_cast<T&>(*FindComponent(name));
    }
};

// Like the main window: every action is followed at once by a redraw.
class GuiRendering : public ::testing::Test {
  protected:
    GuiRendering()
        : driver(form), view(form, [this](const std::string&, const gui::DriverAction& action) {
              action(driver);
              view.sync();
          }) {
        view.show();
    }
    ~GuiRendering() override { view.detach(); }
    template <typename T> T* w(const std::string& name) {
        return dynamic_cast<T*>(view.widgetByName(name));
    }
    // A left click on the check box of a list's row, as a user's mouse gives it.
    static void clickCheckBox(QTreeWidget& tree, QTreeWidgetItem& item) {
        QStyleOptionViewItem option;
        option.initFrom(&tree);
        option.rect = tree.visualItemRect(&item);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QPoint at =
            tree.style()
                ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &tree)
                .center();
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, tree.viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(tree.viewport(), &event);
        }
    }
    RenderingForm form;
    UserDriver driver;
    gui::FormView view;
};

} // namespace

TEST_F(GuiRendering, ClickingAListTickKeepsTheRowsQtIsHandling) {
    auto& lv = form.get<TListView>("lvTypes");
    lv.Add().Caption = "EXE";
    lv.Add().Caption = "BAT";
    view.sync();
    auto* tree = w<QTreeWidget>("lvTypes");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    QTreeWidgetItem* bat = tree->topLevelItem(1);
    ASSERT_EQ(bat->checkState(0), Qt::Unchecked) << "every row shows its check box";

    clickCheckBox(*tree, *bat);
    EXPECT_TRUE(lv.Item(1).Checked()) << "the click reached the toolkit";
    EXPECT_EQ(tree->topLevelItem(1), bat) << "ticks change in place, the row is not rebuilt";
    EXPECT_EQ(bat->checkState(0), Qt::Checked);
    lv.Item(0).SetChecked(true); // a page ticks another row
    view.sync();
    EXPECT_EQ(tree->topLevelItem(0)->checkState(0), Qt::Checked);

    // The page changes the rows themselves while handling the tick: the list is rebuilt
    // only after Qt has finished with the click.
    form.growOnTick = true;
    clickCheckBox(*tree, *bat);
    EXPECT_FALSE(lv.Item(1).Checked());
    EXPECT_EQ(tree->topLevelItem(1), bat);
    QApplication::processEvents();
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(2)->text(0), "NEU");
    EXPECT_EQ(tree->topLevelItem(1)->checkState(0), Qt::Unchecked);
}

TEST_F(GuiRendering, CheckListsShowTheEntrysTextAndTakeTicksLikeLists) {
    auto& accounts = form.get<TBigCheckListBox>("lbAccounts");
    const char sep = 29;
    accounts.AddItem(std::string("0") + sep + "\"anna\" anzeigen" + sep + "anna");
    accounts.AddItem("schlicht");
    accounts.SetCheck(0, true);
    view.sync();
    auto* list = w<QListWidget>("lbAccounts");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "\"anna\" anzeigen");
    EXPECT_EQ(list->item(1)->text(), "schlicht");
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);

    form.growOnTick = true;
    QListWidgetItem* anna = list->item(0);
    anna->setCheckState(Qt::Unchecked); // what a click does
    EXPECT_FALSE(accounts.GetCheck(0));
    EXPECT_EQ(list->item(0), anna) << "not rebuilt inside its own signal";
    QApplication::processEvents();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text(), "neu");
    EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
}

TEST_F(GuiRendering, CaptionsShowAsWrittenAndLinksInTheirColours) {
    auto* quote = w<QLabel>("lblQuote");
    ASSERT_NE(quote, nullptr);
    EXPECT_EQ(quote->text(), "Der \"Start\"-Knopf <b>fett</b>");
    EXPECT_EQ(quote->textFormat(), Qt::PlainText);

    auto* link = w<QLabel>("lblLink");
    EXPECT_EQ(link->textFormat(), Qt::RichText);
    EXPECT_TRUE(link->text().contains("#000080")) << link->text().toStdString();
    EXPECT_TRUE(link->text().contains("Mehr &quot;Hilfe&quot;"));
    // A page that colours its link as the mouse passes (blue) decides the colour.
    auto& l = form.get<TLabel>("lblLink");
    l.OnMouseEnter = [](TComponent& s) { static_cast<TLabel&>(s).FontColor = 0xFF0000; };
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(link, &enter);
    EXPECT_TRUE(link->text().contains("#0000ff")) << link->text().toStdString();

    auto* box = w<QGroupBox>("gbUPnP");
    ASSERT_NE(box, nullptr);
    // Qt reads "&&" as a literal "&", as the toolkit does.
    EXPECT_EQ(box->title(), "Universal Plug && Play");
}

TEST_F(GuiRendering, FormsAreDrawnInTheirDialogFont) {
    EXPECT_EQ(view.font().pointSizeF(), 8.0);
    const QFontInfo shown(view.font());
    // The font the forms were laid out for, where it is installed.
    if (QFontInfo(gui::DialogFont()).family() == "Tahoma") {
        EXPECT_EQ(shown.family(), "Tahoma");
    }
    // The toolkit sizes labels as the window draws them.
    auto& app = TApplication::Instance();
    const int table = TApplication::TextWidth("Universal Plug && Play");
    gui::MeasureTextInDialogFont();
    const int measured = TApplication::TextWidth("Universal Plug && Play");
    app.MeasureText = nullptr;
    EXPECT_EQ(measured, QFontMetrics(gui::DialogFont()).horizontalAdvance("Universal Plug & Play"));
    EXPECT_GT(table, 0);
}

TEST(GuiPictures, FilesByFullPathAndEveryPictureOfThePagesShow) {
    test::TempDir dir;
    const std::string png = dir.path() + "/logon screen.png";
    QImage image(240, 180, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(QString::fromStdString(png)));
    const QPixmap shown = gui::Picture(png, QSize(120, 90));
    ASSERT_FALSE(shown.isNull()) << "a picture by its full path shows";
    EXPECT_EQ(shown.size(), QSize(120, 90));
    EXPECT_TRUE(gui::Picture(dir.path() + "/missing.png", QSize(16, 16)).isNull());

    gui::UseFreedesktopTheme();
    if (QIcon::fromTheme("network-server").isNull())
        RAVELIN_SKIP_WITHOUT_TOOL("no icon theme installed (scripts/install-deps installs one)");
    std::vector<int> numbers;
    for (int n = 10000; n < 40000; ++n)
        if (!FileNameByID(n, 17).empty()) numbers.push_back(n);
    ASSERT_GT(numbers.size(), 50u);
    for (int n : numbers)
        EXPECT_FALSE(gui::Picture(FileNameByID(n, 17), QSize(32, 32)).isNull())
            << n << " " << FileNameByID(n, 17);
    const QImage server = gui::Picture(FileNameByID(20011, 17), QSize(32, 32)).toImage();
    const QImage standard = gui::Picture(FileNameByID(20012, 17), QSize(32, 32)).toImage();
    EXPECT_NE(server, standard) << "the default time server is marked";
}
