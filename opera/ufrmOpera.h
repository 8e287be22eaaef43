// Unit ufrmOpera: the Opera page ("opera|Ravelin.bpl"): window title and application icon,
// host-name completion, the source viewer, the speed-dial grid, history navigation and the
// two default search engines, all read and written through the host's Opera library.
// Three states: Opera not installed, installed but never started (no profile), usable.
#pragma once

#include "forms/ufrmOperaForm.h"
#include "host/PageBase.h"
#include "host/opera/Nxopera.h"

#include <functional>
#include <memory>
#include <string>

namespace ravelin::opera {

class TfrmOpera : public PageBase<forms::TfrmOperaForm> {
  public:
    explicit TfrmOpera(toolkit::TComponent* owner);
    ~TfrmOpera() override;

    // Handlers.
    void FormCreate(toolkit::TComponent&) override;
    void FormDestroy(toolkit::TComponent&) override;
    void tsViewShow(toolkit::TComponent&) override;
    void tsHandlingShow(toolkit::TComponent&) override;
    void tsPerformanceShow(toolkit::TComponent&) override;
    void tsSearchShow(toolkit::TComponent&) override;
    void lblNoProfile_OperaStartClick(toolkit::TComponent&) override;
    void lblNotInstalled_OperaOrgClick(toolkit::TComponent&) override;
    void LinkMouseEnter(toolkit::TComponent&) override;
    void LinkMouseLeave(toolkit::TComponent&) override;
    void btnStartSpeedOptimizerClick(toolkit::TComponent&) override;
    void edtWindowTitleChange(toolkit::TComponent&) override;
    void edtWindowTitleExit(toolkit::TComponent&) override;
    void rbUseOperaIconClick(toolkit::TComponent&) override;
    void rbUseOtherIconClick(toolkit::TComponent&) override;
    void edtApplicationIconChange(toolkit::TComponent&) override;
    void edtApplicationIconExit(toolkit::TComponent&) override;
    void btnApplicationIconClick(toolkit::TComponent&) override;
    void cbHandling_AutocompleteServernamesClick(toolkit::TComponent&) override;
    void edtHandling_AutocompleteServernamesPrefixChange(toolkit::TComponent&) override;
    void edtHandling_AutocompleteServernamesPostfixChange(toolkit::TComponent&) override;
    void edtSourceViewerChange(toolkit::TComponent&) override;
    void rbUseOperaClick(toolkit::TComponent&) override;
    void rbUseOtherAppClick(toolkit::TComponent&) override;
    void btnSourceViewerClick(toolkit::TComponent&) override;
    void gbMenu_SourceViewerExit(toolkit::TComponent&) override;
    void udeColumnsChange(toolkit::TComponent&) override;
    void udeRowsChange(toolkit::TComponent&) override;
    void chkShowSpeedDialClick(toolkit::TComponent&) override;
    void rbHistoryNavigationModeAutomaticClick(toolkit::TComponent&) override;
    void rbHistoryNavigationModeCompatibilityClick(toolkit::TComponent&) override;
    void rbHistoryNavigationModeFastClick(toolkit::TComponent&) override;
    void cbSearchEngineChange(toolkit::TComponent&) override;
    void cbSpeedDialSearchEngineChange(toolkit::TComponent&) override;
    void btnViewDefaultClick(toolkit::TComponent&) override;
    void btnHandling_DefaultClick(toolkit::TComponent&) override;
    void btnPerformance_DefaultClick(toolkit::TComponent&) override;
    void btnSearch_DefaultClick(toolkit::TComponent&) override;

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
    void enableExpansionFields(bool on);
    void markSourceViewer();
    void writeSourceViewer();
    void applyFixedPreferences();
    void selectEngine(toolkit::TComboBox& box, const std::string& stored,
                      const std::string& builtIn, const std::string& current);
    std::string windowsPathOf(const std::string& chosen);

    std::unique_ptr<TNXOpera> opera_;
    std::string appIconPath_;
    std::string defaultSearchId_, defaultSpeedDialSearchId_;
    std::string notepadPath_;
    bool usable_ = false;
    bool settingIcon_ = false;
};

extern TfrmOpera* frmOpera;

} // namespace ravelin::opera
