// Unit ufrmFireFox: the Firefox page ("firefox|Ravelin.bpl"). It edits the preferences of
// the user's Firefox profile (prefs.js, and user.js where that sets them) and the
// profile's style sheets chrome/userChrome.css and chrome/userContent.css. Every change is
// written at once; what the page offers depends on the Firefox major version (below 2, or
// 2 and later). A profile that a running Firefox holds is shown and never written.
#pragma once

#include "host/Nxsystem.h"
#include "host/Prefsjseditor.h"
#include "host/Smallmozillastuff.h"
#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravelin::firefox {

class TfrmMozillaFireFox : public toolkit::TForm {
  public:
    explicit TfrmMozillaFireFox(toolkit::TComponent* owner);
    ~TfrmMozillaFireFox() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TPageControl* pcFireFox;
    toolkit::TTabSheet *tsNotInstalled, *tsGeneral, *tsUI, *tsWindows, *tsTabs, *tsPerformance;
    toolkit::TGroupBox *gbText, *gbErrorPages, *gbSideBar, *gbUrlBar, *gbSubMenus, *gbLinks,
        *gbJavaScript, *gbCloseButtons, *gbTabWidth, *gbActiveTab, *gbPipelining, *gbOptimizer;
    toolkit::TCheckBox *chkDisableBlinkingText, *chkDisableMarqueeText, *chkUrlBarAutoFill,
        *chkGoButton, *chkBlockTargetNewWindow, *chkActiveTabColor, *chkPipelining;
    toolkit::TRadioButton *rbErrorPageEnabled, *rbErrorPageDisabled, *rbSideBarLeft,
        *rbSideBarRight, *rbShowSubMenuLikeWindows, *rbShowMenuOnClick, *rbShowMenuAfterDelay,
        *rbOpenSameTab, *rbOpenNewTab;
    toolkit::TTrackBar* tbMenuShowDelay;
    toolkit::TLabel *lblMenuShowDelay, *lblMenuShowDelay1, *lblMenuShowDelay2, *lblJumpToPrivacy,
        *lblTabMinWidth, *lblTabMinWidthUnit, *lblNotInstalled, *lblLinkMozillaOrg,
        *lblProfileState;
    toolkit::TListView* lvJavaScript;
    toolkit::TComboBox* cbCloseTabs;
    toolkit::TUpDownEdit* udeTabMinWidth;
    toolkit::TShape* shpActiveTabColor;
    toolkit::TButton *btnViewDefault, *btnDefUI, *btnPopUpDefault, *btnActiveTabColor, *btnTabReset,
        *btnStartSpeedOptimizer, *btnPerformanceDefault;

    // Handlers.
    void FormCreate(toolkit::TComponent&);
    void FormDestroy(toolkit::TComponent&);
    void tsWindowsShow(toolkit::TComponent&);
    void chkDisableBlinkingTextClick(toolkit::TComponent&);
    void chkDisableMarqueeTextClick(toolkit::TComponent&);
    void rbErrorPageDisabledClick(toolkit::TComponent&);
    void rbErrorPageEnabledClick(toolkit::TComponent&);
    void rbSideBarClick(toolkit::TComponent&);
    void btnViewDefaultClick(toolkit::TComponent&);
    void chkUrlBarAutoFillClick(toolkit::TComponent&);
    void chkGoButtonClick(toolkit::TComponent&);
    void rbShowMenuClick(toolkit::TComponent&);
    void tbMenuShowDelayChange(toolkit::TComponent&);
    void tbMenuShowDelayExit(toolkit::TComponent&);
    void lblJumpToPrivacyClick(toolkit::TComponent&);
    void btnDefUIClick(toolkit::TComponent&);
    void chkBlockTargetNewWindowClick(toolkit::TComponent&);
    void rbOpenTabClick(toolkit::TComponent&);
    void lvJavaScriptChange(toolkit::TComponent&, toolkit::TListItem& item,
                            toolkit::TItemChange change);
    void btnPopUpDefaultClick(toolkit::TComponent&);
    void cbCloseTabsChange(toolkit::TComponent&);
    void udeTabMinWidthChange(toolkit::TComponent&);
    void chkActiveTabColorClick(toolkit::TComponent&);
    void btnActiveTabColorClick(toolkit::TComponent&);
    void btnTabResetClick(toolkit::TComponent&);
    void chkPipeliningClick(toolkit::TComponent&);
    void btnStartSpeedOptimizerClick(toolkit::TComponent&);
    void btnPerformanceDefaultClick(toolkit::TComponent&);
    void lblLinkMozillaOrgClick(toolkit::TComponent&);

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
    bool firstShow(toolkit::TTabSheet& sheet);
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

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    std::unique_ptr<TPrefsJSEditor> FPrefsEditor;
    machine::TFileVersionIdentification FFirefoxVersion;
    bool filling_ = false;   // the page fills its controls: nothing is written
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
