// Every page, tab and dialog at its design size in the window's dialog font, on every sample
// machine and in both languages: no caption wider than its control, none running into a
// neighbour, no control lying over another, no picture place left empty.
// RAVELIN_LAYOUT_SHOTS=FOLDER also writes each form and tab as the window shows it.
#include "app/deskforge-gui/DialogFont.h"
#include "app/deskforge-gui/FormView.h"
#include "app/deskforge-gui/Pictures.h"
#include "app/deskforge/Machine.h"
#include "firefox/ufrmFireFox.h"
#include "host/text/Translate.h"
#include "iexplorer/ufrmIE.h"
#include "iexplorer/ufrmIE7DialogStartpage.h"
#include "iexplorer/ufrmIE7DialogStartpageFavorites.h"
#include "iexplorer/ufrmIEContextMenu.h"
#include "iexplorer/ufrmIESearchScope.h"
#include "logon/ufrmEditLogonNew.h"
#include "logon/ufrmEditLogonOld.h"
#include "logon/ufrmLogon.h"
#include "mailchat/ufrmMailClients.h"
#include "mailchat/ufrmOutlookSecurity.h"
#include "network/ufrmNetwork.h"
#include "network/ufrmTCPIP.h"
#include "opera/ufrmOpera.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/FormLoader.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QIcon>
#include <QRect>
#include <QStyle>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

using namespace ravelin;
using namespace ravelin::toolkit;

namespace {

QString text(const std::string& caption) {
    return QString::fromStdString(StripAccelerator(caption));
}

QRect rectOf(const TControl& c) {
    return {c.Left, c.Top, c.Width, c.Height};
}

// Checks the captions of one form as the toolkit placed them (not as the window may
// stretch them); one line per fault.
class LayoutCheck {
  public:
    explicit LayoutCheck(const QWidget& view) : metrics_(view.font()), style_(*view.style()) {}

    // `view` given: also controls lying over each other as the window places them, and
    // pictures that show nothing.
    std::string faults(TWinControl& parent, const std::string& where,
                       const gui::FormView* view = nullptr) {
        std::string out;
        if (view) out += overlapFaults(parent, where, *view);
        for (TControl* c : parent.Controls()) {
            if (!c->Visible) continue;
            if (auto* sheet = dynamic_cast<TTabSheet*>(c); sheet && !sheet->TabVisible) continue;
            out += captionFault(*c, parent, where);
            if (view && checkPictures_) out += pictureFault(*c, where);
            if (auto* pc = dynamic_cast<TPageControl*>(c)) {
                // A tab a user cannot open is not seen.
                for (TTabSheet* sheet : pc->Pages())
                    if (sheet->TabVisible && sheet->Enabled)
                        out += faults(*sheet, where + ":" + sheet->Name, view);
            } else if (auto* wc = dynamic_cast<TWinControl*>(c)) {
                out += faults(*wc, where, view);
            }
        }
        return out;
    }

    // Pictures are looked up in the shipped files and the icon theme; without a theme only
    // the shipped ones could show.
    void checkPictures(bool on) { checkPictures_ = on; }

  private:
    // Two shown siblings lie over each other where the window puts them; a picture, shape
    // or panel that holds the other whole is its background, a picture on a picture its
    // emblem.
    static std::string overlapFaults(const TWinControl& parent, const std::string& where,
                                     const gui::FormView& view) {
        std::vector<std::pair<const TControl*, QRect>> shown;
        for (const TControl* c : parent.Controls()) {
            if (!c->Visible || dynamic_cast<const TTabSheet*>(c)) continue;
            if (const QWidget* w = view.widgetFor(*c)) shown.emplace_back(c, w->geometry());
        }
        auto isBackground = [](const TControl& c) {
            return dynamic_cast<const TImage*>(&c) || dynamic_cast<const TShape*>(&c) ||
                   dynamic_cast<const TPanel*>(&c);
        };
        std::string out;
        for (std::size_t i = 0; i < shown.size(); ++i)
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                const auto& [a, ra] = shown[i];
                const auto& [b, rb] = shown[j];
                if (!ra.adjusted(1, 1, -1, -1).intersects(rb.adjusted(1, 1, -1, -1))) continue;
                if ((isBackground(*a) && ra.contains(rb)) || (isBackground(*b) && rb.contains(ra)))
                    continue;
                // A small picture on a picture is its emblem.
                if (dynamic_cast<const TImage*>(a) && dynamic_cast<const TImage*>(b)) continue;
                out += where + "." + a->Name + " and " + b->Name + " lie over each other\n";
            }
        return out;
    }

    // A picture place, a list's or tree's item picture or a button's glyph that shows nothing.
    static std::string pictureFault(const TControl& c, const std::string& where) {
        const std::string name = where + "." + c.Name;
        if (auto* image = dynamic_cast<const TImage*>(&c)) {
            if (gui::Picture(image->PictureFile, QSize(c.Width, c.Height)).isNull())
                return name + " shows no picture (\"" + image->PictureFile + "\")\n";
            return {};
        }
        if (auto* button = dynamic_cast<const TSpeedButton*>(&c);
            button && !button->Glyph.empty() && gui::Picture(button->Glyph, QSize(16, 16)).isNull())
            return name + " shows no glyph (\"" + button->Glyph + "\")\n";
        auto missing = [&](const TImageList* images, int index) -> std::string {
            if (!images || index < 0) return {};
            if (index >= images->Count())
                return name + " item picture " + std::to_string(index) + " is not in its list\n";
            const std::string& file = images->Files[static_cast<std::size_t>(index)];
            if (!gui::Picture(file, QSize(images->Width, images->Height)).isNull()) return {};
            return name + " item picture \"" + file + "\" shows nothing\n";
        };
        if (auto* list = dynamic_cast<const TListView*>(&c))
            for (int i = 0; i < list->Count(); ++i)
                if (auto fault = missing(list->SmallImages,
                                         const_cast<TListView*>(list)->Item(i).ImageIndex.get());
                    !fault.empty())
                    return fault;
        if (auto* tree = dynamic_cast<const TTreeView*>(&c)) {
            std::string fault;
            std::function<void(const TTreeNode&)> walk = [&](const TTreeNode& node) {
                if (fault.empty()) fault = missing(tree->Images, node.ImageIndex);
                for (const auto& child : node.Children())
                    walk(*child);
            };
            for (const auto& root : tree->Roots())
                walk(*root);
            return fault;
        }
        return {};
    }

    // The width the caption takes from the control's left edge; 0 when it has none.
    int needed(const TControl& c) const {
        if (c.Caption.empty()) return 0;
        const int width = metrics_.horizontalAdvance(text(c.Caption));
        if (auto* cb = dynamic_cast<const TCheckBox*>(&c)) {
            if (cb->WordWrap) return 0;
            return width + style_.pixelMetric(QStyle::PM_IndicatorWidth) +
                   style_.pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        }
        if (auto* rb = dynamic_cast<const TRadioButton*>(&c)) {
            if (rb->WordWrap) return 0;
            return width + style_.pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                   style_.pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
        }
        if (dynamic_cast<const TButton*>(&c)) return width + 8;
        if (dynamic_cast<const TGroupBox*>(&c)) return width + 16;
        if (dynamic_cast<const TLabel*>(&c)) return width;
        return 0;
    }

    std::string captionFault(const TControl& c, const TWinControl& parent,
                             const std::string& where) const {
        const std::string name = where + "." + c.Name + " \"" + c.Caption + "\"";
        // The window breaks the lines of a label of fixed size, as a word-wrapping one.
        if (auto* l = dynamic_cast<const TLabel*>(&c);
            l && (l->WordWrap || !l->AutoSize) && !c.Caption.empty()) {
            const QRect lines = metrics_.boundingRect(QRect(0, 0, c.Width, 10000), Qt::TextWordWrap,
                                                      text(c.Caption));
            if (lines.height() > c.Height + 1)
                return name + " needs " + std::to_string(lines.height()) + " px high, has " +
                       std::to_string(c.Height) + "\n";
            return {};
        }
        const int need = needed(c);
        if (need == 0) return {};
        const auto* label = dynamic_cast<const TLabel*>(&c);
        // A label that sizes itself is as wide as its text; others must hold it.
        if (!(label && label->AutoSize) && need > c.Width + 1)
            return name + " needs " + std::to_string(need) + " px, has " + std::to_string(c.Width) +
                   "\n";
        if (dynamic_cast<const TGroupBox*>(&c) || dynamic_cast<const TButton*>(&c)) return {};
        // The caption's own place must be free of its neighbours.
        const int height = label ? metrics_.height() : std::min(c.Height, metrics_.height());
        const int top = label ? c.Top : c.Top + std::max(0, (c.Height - height) / 2);
        const QRect caption(c.Left, top, need, height);
        for (const TControl* other : parent.Controls()) {
            if (other == &c || !other->Visible || dynamic_cast<const TTabSheet*>(other)) continue;
            const QRect r = rectOf(*other).adjusted(1, 1, -1, -1);
            // A picture, shape or panel behind the caption is its background.
            if (r.contains(caption) || !r.intersects(caption)) continue;
            return name + " runs into " + other->Name + "\n";
        }
        return {};
    }

    QFontMetrics metrics_;
    const QStyle& style_;
    bool checkPictures_ = false;
};

bool themeInstalled() {
    gui::UseFreedesktopTheme();
    return !QIcon::fromTheme("network-server").isNull();
}

// Shows every tab of every page control of the form (their OnShow fills them), then checks
// the whole form as the window shows it.
std::string formFaults(TForm& form, const std::string& where) {
    form.Show(); // as the host shows it: the active tabs fill themselves
    UserDriver driver(form);
    gui::FormView view(form, [](const std::string&, const gui::DriverAction&) {});
    const char* shots = std::getenv("RAVELIN_LAYOUT_SHOTS");
    auto shoot = [&](const std::string& name) {
        if (!shots) return;
        view.sync();
        QApplication::processEvents();
        QDir().mkpath(shots);
        view.grab().save(QString::fromStdString(std::string(shots) + "/" + name + ".png"));
    };
    std::function<void(TWinControl&)> showTabs = [&](TWinControl& parent) {
        for (TControl* c : parent.Controls()) {
            if (auto* pc = dynamic_cast<TPageControl*>(c)) {
                const TTabSheet* first = pc->ActivePage();
                for (TTabSheet* sheet : pc->Pages())
                    if (sheet->TabVisible && sheet->Enabled && pc->Reachable()) {
                        driver.Tab(sheet->Name);
                        showTabs(*sheet);
                        shoot(where + "-" + sheet->Name);
                    }
                if (first && first->TabVisible && first->Reachable()) driver.Tab(first->Name);
            } else if (auto* wc = dynamic_cast<TWinControl*>(c)) {
                showTabs(*wc);
            }
        }
    };
    showTabs(form);
    shoot(where);
    view.sync();
    LayoutCheck check(view);
    check.checkPictures(themeInstalled());
    return check.faults(form, where, &view);
}

class GuiLayout : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {
  protected:
    // Labels that size themselves are measured in the window's font, as in the window.
    void SetUp() override { gui::MeasureTextInDialogFont(); }
    void TearDown() override { TApplication::Instance().MeasureText = nullptr; }
};

} // namespace

TEST_P(GuiLayout, NothingIsClippedOverlappedOrEmpty) {
    const std::string templ = std::get<0>(GetParam());
    const std::string language = std::get<1>(GetParam());
    text::SetLanguage(language);
    test::TempDir dir;
    test::createSampleMachine(dir.path(), templ);
    app::MachineSession session(dir.path(), app::MachineSession::Mode::DryRun);
    const auto check = [&](auto make, const std::string& name) {
        auto form = make();
        EXPECT_EQ(formFaults(*form, templ + "-" + language + "-" + name), "");
    };
    check([] { return std::make_unique<network::TfrmTCPIP>(nullptr); }, "tcpip");
    check([] { return std::make_unique<network::TfrmNetwork>(nullptr); }, "internet");
    check([] { return std::make_unique<iexplorer::TfrmIE>(nullptr); }, "explorer");
    check([] { return std::make_unique<iexplorer::TfrmIEContextMenu>(nullptr); },
          "explorer-contextmenu");
    check([] { return std::make_unique<firefox::TfrmMozillaFireFox>(nullptr); }, "firefox");
    check([] { return std::make_unique<opera::TfrmOpera>(nullptr); }, "opera");
    check([] { return std::make_unique<logon::TfrmLogon>(nullptr); }, "logon");
    if (templ != "win98") {
        check([] { return std::make_unique<logon::TfrmEditLogonOld>(nullptr); }, "logon-classic");
        check([] { return std::make_unique<logon::TfrmEditLogonNew>(nullptr); }, "logon-welcome");
    }
    check([] { return std::make_unique<mailchat::TfrmMailClients>(nullptr); }, "mailchat");
    check([] { return std::make_unique<mailchat::TfrmOutlookSecurity>(nullptr); },
          "mailchat-attachments");
    check([] { return std::make_unique<iexplorer::TfrmIESearchScope>(nullptr); },
          "explorer-searchscope");
    check([] { return std::make_unique<iexplorer::TfrmIE7Startpage>(nullptr); },
          "explorer-startpage");
    check([] { return std::make_unique<iexplorer::TfrmIE7StartpageFavorites>(nullptr); },
          "explorer-startpage-favorites");
    text::SetLanguage("de");
}

INSTANTIATE_TEST_SUITE_P(SampleMachines, GuiLayout,
                         ::testing::Combine(::testing::Values("win98", "win2000", "winxp", "vista",
                                                              "win7", "bare"),
                                            ::testing::Values("de", "en")),
                         [](const auto& tested) {
                             return std::get<0>(tested.param) + std::string("_") +
                                    std::get<1>(tested.param);
                         });

TEST(GuiLayoutCheck, FindsClippedCaptionsAndCaptionsOverNeighbours) {
    TForm form(nullptr);
    LoadForm(form, R"({"type": "TForm", "name": "frmCramped", "width": 300, "height": 200,
      "children": [
        {"type": "TCheckBox", "name": "chkShort", "caption": "Universal Plug && Play aktivieren",
         "left": 8, "top": 8, "width": 60, "height": 17},
        {"type": "TLabel", "name": "lblNote", "caption": "Ein Hinweis", "left": 8, "top": 40},
        {"type": "TEdit", "name": "txtNear", "left": 40, "top": 38, "width": 100, "height": 21},
        {"type": "TLabel", "name": "lblFixed", "caption": "Eine lange Beschreibung, die umbricht",
         "autoSize": false, "left": 8, "top": 80, "width": 112, "height": 13},
        {"type": "TGroupBox", "name": "gbFits", "caption": "Gruppe", "left": 150, "top": 8,
         "width": 120, "height": 60}]})",
             "cramped.json", {});
    gui::FormView view(form, [](const std::string&, const gui::DriverAction&) {});
    const std::string faults = LayoutCheck(view).faults(form, "test");
    EXPECT_NE(faults.find("chkShort"), std::string::npos) << faults;
    EXPECT_NE(faults.find("lblNote \"Ein Hinweis\" runs into txtNear"), std::string::npos)
        << faults;
    EXPECT_NE(faults.find("lblFixed"), std::string::npos) << "its lines need more height";
    EXPECT_EQ(faults.find("gbFits"), std::string::npos) << faults;
}

TEST(GuiLayoutCheck, FindsControlsOverEachOtherAndEmptyPictures) {
    TForm form(nullptr);
    LoadForm(form, R"({"type": "TForm", "name": "frmCrowded", "width": 400, "height": 300,
      "children": [
        {"type": "TImageList", "name": "ilIcons"},
        {"type": "TGroupBox", "name": "gbUpper", "caption": "Oben", "left": 8, "top": 8,
         "width": 300, "height": 80},
        {"type": "TGroupBox", "name": "gbLower", "caption": "Unten", "left": 8, "top": 70,
         "width": 300, "height": 60},
        {"type": "TImage", "name": "imgMissing", "left": 320, "top": 8, "width": 32, "height": 32},
        {"type": "TImage", "name": "imgEmblem", "left": 340, "top": 28, "width": 16, "height": 16},
        {"type": "TPanel", "name": "pnlBack", "left": 8, "top": 140, "width": 200, "height": 100,
         "children": []},
        {"type": "TTreeView", "name": "tvItems", "images": "ilIcons", "left": 220, "top": 140,
         "width": 150, "height": 100},
        {"type": "TCheckBox", "name": "chkHidden", "caption": "Versteckt", "visible": false,
         "left": 8, "top": 20, "width": 100, "height": 17}]})",
             "crowded.json", {});
    auto& images = dynamic_cast<TImageList&>(*form.FindComponent("ilIcons"));
    images.Files = {"pictures/no-such-picture.png"};
    auto& tree = dynamic_cast<TTreeView&>(*form.FindComponent("tvItems"));
    tree.AddRoot("Ordner").ImageIndex = 0;
    dynamic_cast<TImage&>(*form.FindComponent("imgMissing")).PictureFile = "pictures/nothing.png";
    gui::FormView view(form, [](const std::string&, const gui::DriverAction&) {});
    view.sync();
    LayoutCheck check(view);
    check.checkPictures(true);
    const std::string faults = check.faults(form, "test", &view);
    EXPECT_NE(faults.find("gbUpper and gbLower lie over each other"), std::string::npos) << faults;
    EXPECT_NE(faults.find("imgMissing shows no picture"), std::string::npos) << faults;
    EXPECT_NE(faults.find("tvItems item picture \"pictures/no-such-picture.png\""),
              std::string::npos)
        << faults;
    EXPECT_EQ(faults.find("imgMissing and imgEmblem"), std::string::npos)
        << "an emblem on its picture";
    EXPECT_EQ(faults.find("chkHidden"), std::string::npos) << "hidden controls are not seen";
    EXPECT_EQ(faults.find("pnlBack"), std::string::npos) << faults;
}
