// Unit ufrmIE7FrameStartpage: the start-pages group of the Internet Explorer page for
// browsers from version 7 on: the ordered list of pages the browser opens, one tab each.
// Every change is written at once to "Start Page" and "Secondary Start Pages".
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::iexplorer {

struct TStartPage {
    std::string Name; // "SP" and a counter; never stored
    std::string URL;
};

// The address a reset gives the browser.
extern const char* const kDefaultStartPage;

class TIE7FrameStartpage : public toolkit::TFrame {
  public:
    explicit TIE7FrameStartpage(toolkit::TComponent* owner);
    const char* ClassName() const override { return "TIE7FrameStartpage"; }

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TGroupBox* gbStartpage;
    toolkit::TImage* imgStartpage;
    toolkit::TExListView* lvStartpages;
    toolkit::TButton *btnAddStartPage, *btnRemoveStartpage, *btnMoveUp, *btnMoveDown;
    toolkit::TPopupMenu* pupAddStartPage;
    toolkit::TMenuItem *miAddSPFromFavorites, *miAddSPManual;

    void GetStartpageSettingFromRegistry();
    void ResetIE7Settings();

    std::string GetUniqueSPName();
    bool ListAddStartPage(const TStartPage& page);
    bool ListRemoveStartPage(toolkit::TListItem& item);
    void WriteStartpagesToRegistry();
    void MoveItem(toolkit::TListItem& item, int direction);
    void AddStartPage_Internal(TStartPage page);
    void AddManualStartPage();
    void AddFavoritesStartPage();

    void btnAddStartPageClick(toolkit::TComponent&);
    void miAddSPManualClick(toolkit::TComponent&);
    void miAddSPFromFavoritesClick(toolkit::TComponent&);
    void btnRemoveStartpageClick(toolkit::TComponent&);
    void btnMoveUpClick(toolkit::TComponent&);
    void btnMoveDownClick(toolkit::TComponent&);
    void lvStartpagesSelectItem(toolkit::TComponent&, toolkit::TListItem& item, bool selected);

    static TStartPage& PageOf(toolkit::TListItem& item);

  private:
    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    int NamesCount = 0;
};

extern TIE7FrameStartpage* IE7FrameStartpage;

} // namespace ravelin::iexplorer
