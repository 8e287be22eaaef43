// Unit ufrmOpera: the Opera page ("opera|Ravelin.bpl"): window title and application icon,
// host-name completion, the source viewer, the speed-dial grid, history navigation and the
// two default search engines, all read and written through the host's Opera library.
// Three states: Opera not installed, installed but never started (no profile), usable.
#pragma once

#include "host/opera/Nxopera.h"
#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

namespace ravelin::opera {

class TfrmOpera : public toolkit::TForm {
  public:
    explicit TfrmOpera(toolkit::TComponent* owner);
    ~TfrmOpera() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TPageControl* pcOpera;
    toolkit::TTabSheet *tsNotInstalled, *tsNoProfile, *tsView, *tsHandling, *tsPerformance,
        *tsSearch, *tsMenubars, *tsSpeedDial;
    toolkit::TGroupBox *gbWindowTitle, *gbApplicationIcon, *gbMenu_SourceViewer,
        *gbHandling_Autocomplete, *gbSpeedDial, *gbHistoryNavigation, *gbSearchEngine,
        *gbSpeedDialSearchEngine;
    toolkit::TImage *imgNotInstalled, *imgNotInstalledBrowser, *imgNoProfile, *imgNoProfileBrowser,
        *imgView, *imgAppIcon, *imgSourceViewer, *imgAutocomplete, *imgSpeedDial, *imgPerformance,
        *imgHistoryNavigation, *imgSearch, *imgSpeedDialSearch;
    toolkit::TLabel *lblWindowTitle, *lblApplicationIcon, *lblSourceViewer,
        *lblNoProfile_OperaStart, *lblNotInstalled_OperaOrg;
    toolkit::TEdit *edtWindowTitle, *edtApplicationIcon, *edtSourceViewer,
        *edtHandling_AutocompleteServernamesPrefix, *edtHandling_AutocompleteServernamesPostfix;
    toolkit::TRadioButton *rbUseOperaIcon, *rbUseOtherIcon, *rbUseOpera, *rbUseOtherApp,
        *rbHistoryNavigationModeAutomatic, *rbHistoryNavigationModeCompatibility,
        *rbHistoryNavigationModeFast;
    toolkit::TButton *btnApplicationIcon, *btnSourceViewer, *btnStartSpeedOptimizer,
        *btnViewDefault, *btnHandling_Default, *btnPerformance_Default, *btnSearch_Default;
    toolkit::TCheckBox *cbHandling_AutocompleteServernames, *chkShowSpeedDial;
    toolkit::TUpDownEdit *udeColumns, *udeRows;
    toolkit::TComboBox *cbSearchEngine, *cbSpeedDialSearchEngine;

    // Handlers.
    void FormCreate(toolkit::TComponent&);
    void FormDestroy(toolkit::TComponent&);
    void tsViewShow(toolkit::TComponent&);
    void tsHandlingShow(toolkit::TComponent&);
    void tsPerformanceShow(toolkit::TComponent&);
    void tsSearchShow(toolkit::TComponent&);
    void lblNoProfile_OperaStartClick(toolkit::TComponent&);
    void lblNotInstalled_OperaOrgClick(toolkit::TComponent&);
    void LinkMouseEnter(toolkit::TComponent&);
    void LinkMouseLeave(toolkit::TComponent&);
    void btnStartSpeedOptimizerClick(toolkit::TComponent&);
    void edtWindowTitleChange(toolkit::TComponent&);
    void edtWindowTitleExit(toolkit::TComponent&);
    void rbUseOperaIconClick(toolkit::TComponent&);
    void rbUseOtherIconClick(toolkit::TComponent&);
    void edtApplicationIconChange(toolkit::TComponent&);
    void edtApplicationIconExit(toolkit::TComponent&);
    void btnApplicationIconClick(toolkit::TComponent&);
    void cbHandling_AutocompleteServernamesClick(toolkit::TComponent&);
    void edtHandling_AutocompleteServernamesPrefixChange(toolkit::TComponent&);
    void edtHandling_AutocompleteServernamesPostfixChange(toolkit::TComponent&);
    void edtSourceViewerChange(toolkit::TComponent&);
    void rbUseOperaClick(toolkit::TComponent&);
    void rbUseOtherAppClick(toolkit::TComponent&);
    void btnSourceViewerClick(toolkit::TComponent&);
    void gbMenu_SourceViewerExit(toolkit::TComponent&);
    void udeColumnsChange(toolkit::TComponent&);
    void udeRowsChange(toolkit::TComponent&);
    void chkShowSpeedDialClick(toolkit::TComponent&);
    void rbHistoryNavigationModeAutomaticClick(toolkit::TComponent&);
    void rbHistoryNavigationModeCompatibilityClick(toolkit::TComponent&);
    void rbHistoryNavigationModeFastClick(toolkit::TComponent&);
    void cbSearchEngineChange(toolkit::TComponent&);
    void cbSpeedDialSearchEngineChange(toolkit::TComponent&);
    void btnViewDefaultClick(toolkit::TComponent&);
    void btnHandling_DefaultClick(toolkit::TComponent&);
    void btnPerformance_DefaultClick(toolkit::TComponent&);
    void btnSearch_DefaultClick(toolkit::TComponent&);

    void InitOperaForm();
    void SetApplIcon(const std::string& path);

    TNXOpera& Opera() { return *opera_; }
    const std::string& NotepadPath() const { return notepadPath_; }
    const std::string& DefaultSearchID() const { return defaultSearchId_; }
    const std::string& DefaultSpeedDialSearchID() const { return defaultSpeedDialSearchId_; }

    // How the start link waits between its looks for the new profile: the toolkit's clock
    // by default (virtual time in scripts and tests).
    std::function<void(int milliseconds)> Sleep;

    static constexpr const char* kSearchBarDefault = "7A8CADE6677811DDBA4B5E9D55D89593";
    static constexpr const char* kSpeedDialSearchDefault = "FEAF2EF45FCC11DD8287529456D89593";
    static constexpr const char* kVendorAddress = "https://www.opera.com/";

  private:
    // Runs a write of the library; a refusal (a fixed preference, a malformed file, a journal
    // or disk that cannot be written) is reported to the host as a refused write. False when
    // it failed.
    bool write(const std::function<void()>& change);
    void fill(const std::function<void()>& body); // with Journal_Discard set
    void enableExpansionFields(bool on);
    void markSourceViewer();
    void writeSourceViewer();
    void applyFixedPreferences();
    void selectEngine(toolkit::TComboBox& box, const std::string& stored,
                      const std::string& builtIn, const std::string& current);
    std::string windowsPathOf(const std::string& chosen);

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    std::unique_ptr<TNXOpera> opera_;
    std::string appIconPath_;
    std::string defaultSearchId_, defaultSpeedDialSearchId_;
    std::string notepadPath_;
    bool usable_ = false;
    bool filling_ = false;
    bool settingIcon_ = false;
};

extern TfrmOpera* frmOpera;

} // namespace ravelin::opera
