#include "iexplorer/ufrmIE7FrameStartpage.h"

#include "host/Nxbrowser.h"
#include "host/Nxregistry.h"
#include "host/text/Translate.h"
#include "iexplorer/ufrmIE7DialogStartpage.h"
#include "iexplorer/ufrmIE7DialogStartpageFavorites.h"
#include "toolkit/Application.h"

#include <memory>
#include <vector>

namespace ravelin::iexplorer {

using namespace toolkit;

const char* const kDefaultStartPage = "http://go.microsoft.com/fwlink/?LinkId=69157";
TIE7FrameStartpage* IE7FrameStartpage = nullptr;

namespace {

constexpr const char* kMain = "Software\\Microsoft\\Internet Explorer\\Main";

} // namespace

TIE7FrameStartpage::TIE7FrameStartpage(TComponent* owner) : PageBase(owner) {
    loadForm();
}

TStartPage& TIE7FrameStartpage::PageOf(TListItem& item) {
    return *std::static_pointer_cast<TStartPage>(item.Object);
}

std::string TIE7FrameStartpage::GetUniqueSPName() {
    return "SP" + std::to_string(NamesCount++);
}

bool TIE7FrameStartpage::ListAddStartPage(const TStartPage& page) {
    TListItem& item = lvStartpages->Add();
    item.Caption = page.URL;
    item.Object = std::make_shared<TStartPage>(page);
    return true;
}

bool TIE7FrameStartpage::ListRemoveStartPage(TListItem& item) {
    const int index = item.Index();
    if (index < 0) return false;
    lvStartpages->Delete(index);
    return true;
}

void TIE7FrameStartpage::GetStartpageSettingFromRegistry() {
    NamesCount = 0;
    lvStartpages->Clear();
    const std::string first =
        GetRegStringValueDef(HKEY_CURRENT_USER, kMain, "Start Page", "about:blank", {});
    std::vector<std::string> more;
    if (GetRegMultiStringValue(HKEY_CURRENT_USER, kMain, "Secondary Start Pages", more, {}) != 0)
        more.clear();
    ListAddStartPage({GetUniqueSPName(), first});
    for (const auto& url : more)
        ListAddStartPage({GetUniqueSPName(), url});
}

void TIE7FrameStartpage::WriteStartpagesToRegistry() {
    const int count = lvStartpages->Count();
    if (count == 0) return;
    SetRegStringValue(HKEY_CURRENT_USER, kMain, "Start Page", lvStartpages->Item(0).Caption, {});
    if (count > 1) {
        std::vector<std::string> more;
        for (int i = 1; i < count; ++i)
            more.push_back(lvStartpages->Item(i).Caption);
        SetRegMultiStringValue(HKEY_CURRENT_USER, kMain, "Secondary Start Pages", more, {});
    } else if (RegValueExists(HKEY_CURRENT_USER, kMain, "Secondary Start Pages", {})) {
        DeleteRegValue(HKEY_CURRENT_USER, kMain, "Secondary Start Pages", {});
    }
}

void TIE7FrameStartpage::AddStartPage_Internal(TStartPage page) {
    for (int i = 0; i < lvStartpages->Count(); ++i)
        if (AnsiCompareText(lvStartpages->Item(i).Caption, page.URL) == 0) {
            Application().MessageBox(
                text::tr("Die von Ihnen angegebene Startseite befindet sich schon in der Liste."),
                text::tr("Hinweis"), MB_OK | MB_ICONWARNING);
            return;
        }
    if (lvStartpages->Count() == 1 && lvStartpages->Item(0).Caption == "about:blank") {
        TListItem& only = lvStartpages->Item(0);
        only.Caption = page.URL;
        PageOf(only).URL = page.URL;
    } else {
        page.Name = GetUniqueSPName();
        ListAddStartPage(page);
    }
    WriteStartpagesToRegistry();
    for (int i = 0; i < lvStartpages->Count(); ++i) {
        TListItem& item = lvStartpages->Item(i);
        if (item.Caption != page.URL) continue;
        item.SetSelected(true);
        break;
    }
    lvStartpages->SetFocus();
}

void TIE7FrameStartpage::AddManualStartPage() {
    TStartPage page;
    if (ShowAddIE7Startpage(page)) AddStartPage_Internal(page);
}

void TIE7FrameStartpage::AddFavoritesStartPage() {
    TStartPage page;
    if (ShowAddIE7StartpageFromFavorites(page)) AddStartPage_Internal(page);
}

void TIE7FrameStartpage::btnAddStartPageClick(TComponent&) {
    const TPoint at = btnAddStartPage->ClientToScreen({0, btnAddStartPage->Height});
    pupAddStartPage->Popup(at.X, at.Y);
}

void TIE7FrameStartpage::miAddSPManualClick(TComponent&) {
    AddManualStartPage();
}

void TIE7FrameStartpage::miAddSPFromFavoritesClick(TComponent&) {
    AddFavoritesStartPage();
}

void TIE7FrameStartpage::btnRemoveStartpageClick(TComponent&) {
    TListItem* item = lvStartpages->Selected();
    if (!item) return;
    btnRemoveStartpage->Enabled = false;
    if (lvStartpages->Count() >= 2) {
        if (ListRemoveStartPage(*item)) WriteStartpagesToRegistry();
    } else {
        Application().MessageBox(
            text::tr(
                "Durch das Löschen der letzten Startseite wird die Startseite auf \"about:blank\" "
                "gesetzt"),
            text::tr("Startseite entfernen"), MB_OK | MB_ICONWARNING);
        item->Caption = "about:blank";
        PageOf(*item).URL = "about:blank";
        WriteStartpagesToRegistry();
    }
    if (TListItem* now = lvStartpages->Selected())
        lvStartpagesSelectItem(*lvStartpages, *now, true);
    else {
        btnMoveUp->Enabled = false;
        btnMoveDown->Enabled = false;
    }
}

void TIE7FrameStartpage::MoveItem(TListItem& item, int direction) {
    if (direction != 1 && direction != -1) return;
    const int index = item.Index();
    const int to = index - direction;
    if (to < 0 || to >= lvStartpages->Count()) return;
    TListItem& other = lvStartpages->Item(to);
    std::swap(item.Caption, other.Caption);
    std::swap(item.Object, other.Object);
    std::swap(item.Focused, other.Focused);
    other.SetSelected(true);
    other.Focused = true;
    lvStartpages->SetFocus();
    WriteStartpagesToRegistry();
}

void TIE7FrameStartpage::btnMoveUpClick(TComponent&) {
    TListItem* item = lvStartpages->Selected();
    if (!item || item->Index() == 0) return;
    MoveItem(*item, 1);
}

void TIE7FrameStartpage::btnMoveDownClick(TComponent&) {
    TListItem* item = lvStartpages->Selected();
    if (!item || item->Index() == lvStartpages->Count() - 1) return;
    MoveItem(*item, -1);
}

void TIE7FrameStartpage::lvStartpagesSelectItem(TComponent&, TListItem&, bool) {
    TListItem* item = lvStartpages->Selected();
    btnRemoveStartpage->Enabled = item != nullptr;
    const bool movable = item && lvStartpages->Count() > 1;
    btnMoveUp->Enabled = movable && item->Index() > 0;
    btnMoveDown->Enabled = movable && item->Index() < lvStartpages->Count() - 1;
}

void TIE7FrameStartpage::ResetIE7Settings() {
    lvStartpages->Clear();
    NamesCount = 0;
    ListAddStartPage({GetUniqueSPName(), kDefaultStartPage});
    WriteStartpagesToRegistry();
    btnRemoveStartpage->Enabled = false;
    btnMoveUp->Enabled = false;
    btnMoveDown->Enabled = false;
}

} // namespace ravelin::iexplorer
