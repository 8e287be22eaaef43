// Unit ufrmIE7FrameMenu: the menu-bar group of the Internet Explorer page for browsers
// from version 7 on (menu bar always shown, menu bar above the address bar).
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::iexplorer {

// A frame the page places on its "Menü" tab; it owns its controls.
class TIE7FrameMenu : public toolkit::TFrame {
  public:
    explicit TIE7FrameMenu(toolkit::TComponent* owner);
    const char* ClassName() const override { return "TIE7FrameMenu"; }

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TGroupBox* gbMenuBar;
    toolkit::TImage* imgMenuBar;
    toolkit::TCheckBox *cbMenueBarShow, *cbMenueBarPosition;

    // Reads both settings; the page calls it while it fills (Journal_Discard set).
    void InitializeFrame();
    // Deletes both values and unticks the boxes.
    void ResetIE7Settings();

    void cbMenueBarShowClick(toolkit::TComponent&);
    void cbMenueBarPositionClick(toolkit::TComponent&);

  private:
    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    bool quiet_ = false;
};

extern TIE7FrameMenu* IE7FrameMenu;

} // namespace ravelin::iexplorer
