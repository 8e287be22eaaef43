// Unit ufrmIE: the Internet Explorer page ("explorer|Ravelin.bpl") with its eight tabs:
// not installed, explorer bars, view, favourites, menu, navigation, security and
// performance. Which groups and tabs show depends on the installed browser's version;
// from version 7 on the page places its frames (search providers, menu bar, start pages)
// and shows the favourites as a group of the view tab.
#pragma once

#include "forms/ufrmIEForm.h"
#include "host/Nxsystem.h"
#include "host/PageBase.h"
#include "iexplorer/NXUserAgent.h"

#include <memory>
#include <string>

namespace ravelin::iexplorer {

class TfrmIE : public PageBase<forms::TfrmIEForm> {
  public:
    explicit TfrmIE(toolkit::TComponent* owner);
    ~TfrmIE() override;

    bool NotInstalled() const { return notInstalled_; }
    TNXUserAgent& UserAgent() { return *userAgent_; }

    // Handlers.
    void FormCreate(toolkit::TComponent& sender) override;
    void FormDestroy(toolkit::TComponent& sender) override;
    void lblGetIEClick(toolkit::TComponent& sender) override;
    void tsExplorerBarsShow(toolkit::TComponent& sender) override;
    void cbIE8DisplaySearchBoxClick(toolkit::TComponent& sender) override;
    void btnSearchProviderSettingsClick(toolkit::TComponent& sender) override;
    void chkShowMediaBarClick(toolkit::TComponent& sender) override;
    void cbSearchBarChange(toolkit::TComponent& sender) override;
    void txtSearchAddressExit(toolkit::TComponent& sender) override;
    void btnAdressBarSettingsClick(toolkit::TComponent& sender) override;
    void btnUsabilityDefaultClick(toolkit::TComponent& sender) override;
    void tsViewShow(toolkit::TComponent& sender) override;
    void txtWindowTitleChange(toolkit::TComponent& sender) override;
    void txtWindowTitleExit(toolkit::TComponent& sender) override;
    void chkBackBitmapClick(toolkit::TComponent& sender) override;
    void txtBackBitmapChange(toolkit::TComponent& sender) override;
    void gbBackBitmapExit(toolkit::TComponent& sender) override;
    void btnBackBitmapClick(toolkit::TComponent& sender) override;
    void chkPicToolbarClick(toolkit::TComponent& sender) override;
    void tbPicToolbarChange(toolkit::TComponent& sender) override;
    void tbPicToolbarExit(toolkit::TComponent& sender) override;
    void btnViewDefaultClick(toolkit::TComponent& sender) override;
    void tvFavoritesClick(toolkit::TComponent& sender) override;
    void cmdHideFavoriteFolderClick(toolkit::TComponent& sender) override;
    void btnResortFavoritesClick(toolkit::TComponent& sender) override;
    void optNewMenuClick(toolkit::TComponent& sender) override;
    void optNewNoMenuClick(toolkit::TComponent& sender) override;
    void rbSourceViewerClick(toolkit::TComponent& sender) override;
    void txtSourceViewerChange(toolkit::TComponent& sender) override;
    void gbSourceViewerExit(toolkit::TComponent& sender) override;
    void btnSourceViewerClick(toolkit::TComponent& sender) override;
    void btnIEContextMenuClick(toolkit::TComponent& sender) override;
    void btnMenuDefaultClick(toolkit::TComponent& sender) override;
    void tsNavigationShow(toolkit::TComponent& sender) override;
    void cbPopupsUseNewWindowChange(toolkit::TComponent& sender) override;
    void cbShortcutBehaviorChange(toolkit::TComponent& sender) override;
    void btnNavigationDefaultClick(toolkit::TComponent& sender) override;
    void tsSecurityShow(toolkit::TComponent& sender) override;
    void UserAgentChange(toolkit::TComponent& sender) override;
    void UserAgentExit(toolkit::TComponent& sender) override;
    void chkAlwaysPromptWhenDownloadClick(toolkit::TComponent& sender) override;
    void btnSecurityDefaultClick(toolkit::TComponent& sender) override;
    void tsPerformanceShow(toolkit::TComponent& sender) override;
    void udeMaxHTTPChange(toolkit::TComponent& sender) override;
    void gbManualSettingsExit(toolkit::TComponent& sender) override;
    void btnStartSpeedOptimizerClick(toolkit::TComponent& sender) override;

    void IE7ShowPanelsByIEVersion();
    void SaveUserAgent();
    // The folder a favourites node stands for, as a Windows path.
    std::string FavoriteFolderPath(const toolkit::TTreeNode& node) const;

  private:
    void fillFavorites();
    void readSourceViewer();
    void writeSearchPreset();
    void placeFrame(toolkit::TFrame& frame, toolkit::TGroupBox& inner, toolkit::TWinControl& sheet,
                    int left, int top);
    void moveFavoritesToView();
    void stack(toolkit::TWinControl& sheet, int top);
    bool warnIfMachineless(const std::string& path);

    std::unique_ptr<TNXUserAgent> userAgent_;
    bool notInstalled_ = false;
};
extern TfrmIE* frmIE;
extern TFileVersionIdentification IEVersion;
extern std::string LinksFolder;
extern std::string DefaultSourceViewer;
extern std::string NotepadSourceViewer;
extern toolkit::TImageList* ilFavorites;

} // namespace ravelin::iexplorer
