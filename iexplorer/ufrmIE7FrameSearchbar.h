// Unit ufrmIE7FrameSearchbar: the search-provider group of the Internet Explorer page for
// version 7 browsers. The page places it and calls the members below; the provider list
// itself is filled in by its own unit's work.
#pragma once

#include "toolkit/Controls.h"

namespace ravelin::iexplorer {

class TIE7FrameSearchbar : public toolkit::TFrame {
  public:
    explicit TIE7FrameSearchbar(toolkit::TComponent* owner);
    const char* ClassName() const override { return "TIE7FrameSearchbar"; }

    toolkit::TGroupBox* gbSearchbar;
    toolkit::TImage* imgSearchbar;
    toolkit::TListView* lvSearchScopes;

    void IE7InitialRegistryCheckForSearchscopes();
    void ListRefresh();
    void ResetIE7Settings();
};

extern TIE7FrameSearchbar* IE7FrameSearchbar;

} // namespace ravelin::iexplorer
