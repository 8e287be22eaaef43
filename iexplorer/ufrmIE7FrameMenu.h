// Unit ufrmIE7FrameMenu: the menu-bar group of the Internet Explorer page for browsers
// from version 7 on (menu bar always shown, menu bar above the address bar).
#pragma once

#include "forms/ufrmIE7FrameMenuForm.h"
#include "host/PageBase.h"

namespace ravelin::iexplorer {

// A frame the page places on its "Menü" tab; it owns its controls.
class TIE7FrameMenu : public PageBase<forms::TIE7FrameMenuForm> {
  public:
    explicit TIE7FrameMenu(toolkit::TComponent* owner);
    const char* ClassName() const override { return "TIE7FrameMenu"; }

    // Reads both settings; the page calls it while it fills (Journal_Discard set).
    void InitializeFrame();
    // Deletes both values and unticks the boxes.
    void ResetIE7Settings();

    void cbMenueBarShowClick(toolkit::TComponent& sender) override;
    void cbMenueBarPositionClick(toolkit::TComponent& sender) override;

  private:
    bool quiet_ = false;
};

extern TIE7FrameMenu* IE7FrameMenu;

} // namespace ravelin::iexplorer
