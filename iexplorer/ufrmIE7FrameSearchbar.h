// Unit ufrmIE7FrameSearchbar: the search-provider group of the Internet Explorer page for
// version 7 browsers. The page places it and calls the members below; the provider list
// itself is filled in by its own unit's work.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::iexplorer {

class TIE7FrameSearchbar : public toolkit::TFrame {
  public:
    explicit TIE7FrameSearchbar(toolkit::TComponent* owner);
    const char* ClassName() const override { return "TIE7FrameSearchbar"; }

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TGroupBox* gbSearchbar;
    toolkit::TImage* imgSearchbar;
    toolkit::TListView* lvSearchScopes;

    void IE7InitialRegistryCheckForSearchscopes();
    void ListRefresh();
    void ResetIE7Settings();

  private:
    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

extern TIE7FrameSearchbar* IE7FrameSearchbar;

} // namespace ravelin::iexplorer
