// Unit ufrmFireFox: the Firefox page ("firefox|Ravelin.bpl"). It edits the preferences of
// the user's Firefox profile (prefs.js, and user.js where that sets them) and the
// profile's style sheets chrome/userChrome.css and chrome/userContent.css. Every change is
// written at once; what the page offers depends on the Firefox major version (below 2, or
// 2 and later). A profile that a running Firefox holds is shown and never written.
#pragma once

#include "forms/ufrmFireFoxForm.h"
#include "host/Nxsystem.h"
#include "host/PageBase.h"
#include "host/Prefsjseditor.h"
#include "host/Smallmozillastuff.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravelin::firefox {

class TfrmMozillaFireFox : public PageBase<forms::TfrmMozillaFireFoxForm> {
  public:
    explicit TfrmMozillaFireFox(toolkit::TComponent* owner);
    ~TfrmMozillaFireFox() override;

    // Handlers.
    void FormCreate(toolkit::TComponent&) override;
    void FormDestroy(toolkit::TComponent&) override;
    void tsWindowsShow(toolkit::TComponent&) override;
    void chkDisableBlinkingTextClick(toolkit::TComponent&) override;
    void chkDisableMarqueeTextClick(toolkit::TComponent&) override;
    void rbErrorPageDisabledClick(toolkit::TComponent&) override;
    void rbErrorPageEnabledClick(toolkit::TComponent&) override;
    void rbSideBarClick(toolkit::TComponent&) override;
    void btnViewDefaultClick(toolkit::TComponent&) override;
    void chkUrlBarAutoFillClick(toolkit::TComponent&) override;
    void chkGoButtonClick(toolkit::TComponent&) override;
    void rbShowMenuClick(toolkit::TComponent&) override;
    void tbMenuShowDelayChange(toolkit::TComponent&) override;
    void tbMenuShowDelayExit(toolkit::TComponent&) override;
    void lblJumpToPrivacyClick(toolkit::TComponent&) override;
    void btnDefUIClick(toolkit::TComponent&) override;
    void chkBlockTargetNewWindowClick(toolkit::TComponent&) override;
    void rbOpenTabClick(toolkit::TComponent&) override;
    void lvJavaScriptChange(toolkit::TComponent&, toolkit::TListItem& item,
                            toolkit::TItemChange change) override;
    void btnPopUpDefaultClick(toolkit::TComponent&) override;
    void cbCloseTabsChange(toolkit::TComponent&) override;
    void udeTabMinWidthChange(toolkit::TComponent&) override;
    void chkActiveTabColorClick(toolkit::TComponent&) override;
    void btnActiveTabColorClick(toolkit::TComponent&) override;
    void btnTabResetClick(toolkit::TComponent&) override;
    void chkPipeliningClick(toolkit::TComponent&) override;
    void btnStartSpeedOptimizerClick(toolkit::TComponent&) override;
    void btnPerformanceDefaultClick(toolkit::TComponent&) override;
    void lblLinkMozillaOrgClick(toolkit::TComponent&) override;

    // Preferences: nothing without an editor or while the page fills its controls.
    void SetPrefsJSBool(const std::string& name, bool value);
    void SetPrefsJSInt(const std::string& name, std::int64_t value);
    void DelPrefsJS(const std::string& name);

    // Style sheets of the first profile ("userChrome.css", "userContent.css").
    bool CSSHasValue(const std::string& file, const std::string& selector,
                     const std::string& property, const std::string& value, bool def);
    bool CSSReadValues(const std::string& file, const std::string& selector,
                       const std::string& property, std::vector<std::string>& words);
    void CSSChangeValue(const std::string& file, const std::string& selector,
                        const std::string& property, const std::string& value, bool remove);
    void CSSDeleteSelector(const std::string& file, const std::string& selector);

    int major() const { return FFirefoxVersion.Major; }
    TPrefsJSEditor* prefsEditor() { return FPrefsEditor.get(); }

  private:
    void fillControls();
    void showProfileState();
    void fillVersionOneLayout();
    void fillTabs();
    void fillActiveTabColor();
    void fillPreferences();
    void savePrefs();
    std::string sheetPath(const std::string& file) const;
    void saveSheet(const std::string& path, const std::string& text);
    void writeSheet(const std::string& path, const std::string& text);
    [[noreturn]] void refuse(const std::exception& e);
    void requireWritable() const;
    void applyLinkRule();
    void writeColor(int r, int g, int b);
    void deleteColor();
    void showColor(int r, int g, int b);
    void disableLocked();
    void showNotInstalled();

    std::unique_ptr<TPrefsJSEditor> FPrefsEditor;
    machine::TFileVersionIdentification FFirefoxVersion;
    bool noWarning_ = false; // the pipelining box is unticked after a "No"
    std::string refusal_;    // why the profile may not be written ("" when it may)
};

extern TfrmMozillaFireFox* frmMozillaFireFox;
// The profile folders (each ending with '/'), the first one is used.
extern TSmallStringList ProfilePaths;
// The active tab's colour last read or written.
extern int TabRValue, TabGValue, TabBValue;

// R + G*256 + B*65536, and back.
std::uint32_t RGB2TColor(int r, int g, int b);
void TColor2RGB(std::uint32_t color, int& r, int& g, int& b);
// The decimal number whose digits start at `position` (0-based) of `text`.
int ReadColorNumber(const std::string& text, std::size_t position);
// "rgb(R,G,B)".
std::string ColorWord(int r, int g, int b);

} // namespace ravelin::firefox
