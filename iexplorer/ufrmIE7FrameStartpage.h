// Unit ufrmIE7FrameStartpage: the start-pages group of the Internet Explorer page for
// browsers from version 7 on. The page places it and calls the members below; the list
// of start pages is filled in by its own unit's work.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::iexplorer {

class TIE7FrameStartpage : public toolkit::TFrame {
  public:
    explicit TIE7FrameStartpage(toolkit::TComponent* owner);
    const char* ClassName() const override { return "TIE7FrameStartpage"; }

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TGroupBox* gbStartpage;
    toolkit::TImage* imgStartpage;
    toolkit::TListView* lvStartpages;

    void GetStartpageSettingFromRegistry();
    void ResetIE7Settings();

  private:
    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

extern TIE7FrameStartpage* IE7FrameStartpage;

} // namespace ravelin::iexplorer
