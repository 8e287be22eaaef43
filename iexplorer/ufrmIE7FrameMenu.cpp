#include "iexplorer/ufrmIE7FrameMenu.h"

#include "host/Nxregistry.h"

namespace ravelin::iexplorer {

using namespace toolkit;

TIE7FrameMenu* IE7FrameMenu = nullptr;

namespace {

constexpr const char* kMain = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char* kWebBrowser = "Software\\Microsoft\\Internet Explorer\\Toolbar\\WebBrowser";

// A value of 1 ticks; a missing or unreadable value counts as 0.
bool isOne(const char* key, const char* name) {
    DWORD v = 0;
    if (GetRegDWORDValue(HKEY_CURRENT_USER, key, name, v, {}) != ERROR_SUCCESS) v = 0;
    return v == 1;
}

void writeFlag(const char* key, const char* name, bool on) {
    DWORD v = 0;
    SetOneIfTrue(on, v);
    SetRegDWORDValue(HKEY_CURRENT_USER, key, name, v, {});
}

} // namespace

TIE7FrameMenu::TIE7FrameMenu(TComponent* owner) : PageBase(owner) {
    loadForm();
}

void TIE7FrameMenu::InitializeFrame() {
    // The boxes show what is stored; writing it back would only rewrite it.
    quiet_ = true;
    cbMenueBarPosition->SetChecked(isOne(kWebBrowser, "ITBar7Position"));
    cbMenueBarShow->SetChecked(isOne(kMain, "AlwaysShowMenus"));
    quiet_ = false;
}

void TIE7FrameMenu::ResetIE7Settings() {
    DeleteRegValue(HKEY_CURRENT_USER, kWebBrowser, "ITBar7Position", {});
    DeleteRegValue(HKEY_CURRENT_USER, kMain, "AlwaysShowMenus", {});
    // The boxes follow the deleted values without writing a 0 behind the deletion: that
    // write would bypass the journal and leave a value the journal says is gone.
    const JournalDiscarding discarding;
    quiet_ = true;
    cbMenueBarShow->SetChecked(false);
    cbMenueBarPosition->SetChecked(false);
    quiet_ = false;
}

void TIE7FrameMenu::cbMenueBarShowClick(TComponent&) {
    if (quiet_) return;
    writeFlag(kMain, "AlwaysShowMenus", cbMenueBarShow->Checked());
}

void TIE7FrameMenu::cbMenueBarPositionClick(TComponent&) {
    if (quiet_) return;
    writeFlag(kWebBrowser, "ITBar7Position", cbMenueBarPosition->Checked());
}

} // namespace ravelin::iexplorer
