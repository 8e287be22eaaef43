// Unit ufrmIE7FrameStartpage: the start-pages group of the Internet Explorer page for
// browsers from version 7 on: the ordered list of pages the browser opens, one tab each.
// Every change is written at once to "Start Page" and "Secondary Start Pages".
#pragma once

#include "forms/ufrmIE7FrameStartpageForm.h"
#include "host/PageBase.h"

#include <string>

namespace ravelin::iexplorer {

struct TStartPage {
    std::string Name; // "SP" and a counter; never stored
    std::string URL;
};

// The address a reset gives the browser.
extern const char* const kDefaultStartPage;

class TIE7FrameStartpage : public PageBase<forms::TIE7FrameStartpageForm> {
  public:
    explicit TIE7FrameStartpage(toolkit::TComponent* owner);
    const char* ClassName() const override { return "TIE7FrameStartpage"; }

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

    void btnAddStartPageClick(toolkit::TComponent& sender) override;
    void miAddSPManualClick(toolkit::TComponent& sender) override;
    void miAddSPFromFavoritesClick(toolkit::TComponent& sender) override;
    void btnRemoveStartpageClick(toolkit::TComponent& sender) override;
    void btnMoveUpClick(toolkit::TComponent& sender) override;
    void btnMoveDownClick(toolkit::TComponent& sender) override;
    void lvStartpagesSelectItem(toolkit::TComponent& sender, toolkit::TListItem& item,
                                bool selected) override;

    static TStartPage& PageOf(toolkit::TListItem& item);

  private:
    int NamesCount = 0;
};

extern TIE7FrameStartpage* IE7FrameStartpage;

} // namespace ravelin::iexplorer
