// Unit ufrmIE: the Internet Explorer page ("explorer|Ravelin.bpl") with its eight tabs:
// not installed, explorer bars, view, favourites, menu, navigation, security and
// performance. Which groups and tabs show depends on the installed browser's version;
// from version 7 on the page places its frames (search providers, menu bar, start pages)
// and shows the favourites as a group of the view tab.
#pragma once

#include "host/Nxsystem.h"
#include "iexplorer/NXUserAgent.h"
#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <memory>
#include <set>
#include <string>

namespace ravelin::iexplorer {

class TfrmIE : public toolkit::TForm {
  public:
    explicit TfrmIE(toolkit::TComponent* owner);
    ~TfrmIE() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }
    bool NotInstalled() const { return notInstalled_; }
    TNXUserAgent& UserAgent() { return *userAgent_; }

    toolkit::TPageControl* PageControl1;
    toolkit::TTabSheet *tsNotInstalled, *tsExplorerBars, *tsView, *tsFavorites, *tsMenu,
        *tsNavigation, *tsSecurity, *tsPerformance;
    toolkit::TGroupBox *gbSearchProviderIE8, *GroupBox8, *GroupBox2, *gbAutoComplete,
        *gbWindowTitle, *gbBackBitmap, *gbPicToolbar, *gbFavorites, *gbFileMenu, *gbSourceViewer,
        *gbContextMenu, *gbTabbedBrowsing, *gbUserAgentNew, *gbDownloadPrompt, *gbManualSettings,
        *gbSpeedOptimizer;
    toolkit::TCheckBox *cbIE8DisplaySearchBox, *chkShowMediaBar, *chkBackBitmap, *chkPicToolbar,
        *chkAgentCompatible, *chkAlwaysPromptWhenDownload;
    toolkit::TRadioButton *optNewMenu, *optNewNoMenu, *rbDefaultViewer, *rbSourceViewer;
    toolkit::TEdit *txtSearchAddress, *txtWindowTitle, *txtBackBitmap, *txtSourceViewer,
        *edtAgentApplication, *edtAgentVersion, *edtAgentPlatform;
    toolkit::TComboBox *cbSearchBar, *cbPopupsUseNewWindow, *cbShortcutBehavior;
    toolkit::TTrackBar* tbPicToolbar;
    toolkit::TUpDownEdit *udeMaxHTTP1, *udeMaxHTTP11;
    toolkit::TTreeView* tvFavorites;
    toolkit::TButton *btnSearchProviderSettings, *btnBackBitmap, *btnViewDefault,
        *cmdHideFavoriteFolder, *btnResortFavorites, *btnSourceViewer, *btnIEContextMenu,
        *btnMenuDefault, *btnSecurityDefault;
    toolkit::TLabel *lblAddress, *lblBackBitmap, *lblPicToolbar, *lblPicToolbarMinSize,
        *lblPicToolbarSmall, *lblPicToolbarLarge, *Label1, *Label21, *Label14, *lblAgentApplication,
        *lblAgentVersion, *lblAgentPlatform, *lblMaxHTTP1, *lblMaxHTTP11;
    toolkit::TImage* imgFavorites;
    toolkit::TPanel* pnlPlaceholder;

    // Handlers.
    void FormCreate(toolkit::TComponent&);
    void FormDestroy(toolkit::TComponent&);
    void lblGetIEClick(toolkit::TComponent&);
    void tsExplorerBarsShow(toolkit::TComponent&);
    void cbIE8DisplaySearchBoxClick(toolkit::TComponent&);
    void btnSearchProviderSettingsClick(toolkit::TComponent&);
    void chkShowMediaBarClick(toolkit::TComponent&);
    void cbSearchBarChange(toolkit::TComponent&);
    void txtSearchAddressExit(toolkit::TComponent&);
    void btnAdressBarSettingsClick(toolkit::TComponent&);
    void btnUsabilityDefaultClick(toolkit::TComponent&);
    void tsViewShow(toolkit::TComponent&);
    void txtWindowTitleChange(toolkit::TComponent&);
    void txtWindowTitleExit(toolkit::TComponent&);
    void chkBackBitmapClick(toolkit::TComponent&);
    void txtBackBitmapChange(toolkit::TComponent&);
    void gbBackBitmapExit(toolkit::TComponent&);
    void btnBackBitmapClick(toolkit::TComponent&);
    void chkPicToolbarClick(toolkit::TComponent&);
    void tbPicToolbarChange(toolkit::TComponent&);
    void tbPicToolbarExit(toolkit::TComponent&);
    void btnViewDefaultClick(toolkit::TComponent&);
    void tvFavoritesClick(toolkit::TComponent&);
    void cmdHideFavoriteFolderClick(toolkit::TComponent&);
    void btnResortFavoritesClick(toolkit::TComponent&);
    void optNewMenuClick(toolkit::TComponent&);
    void optNewNoMenuClick(toolkit::TComponent&);
    void rbSourceViewerClick(toolkit::TComponent&);
    void txtSourceViewerChange(toolkit::TComponent&);
    void gbSourceViewerExit(toolkit::TComponent&);
    void btnSourceViewerClick(toolkit::TComponent&);
    void btnIEContextMenuClick(toolkit::TComponent&);
    void btnMenuDefaultClick(toolkit::TComponent&);
    void tsNavigationShow(toolkit::TComponent&);
    void cbPopupsUseNewWindowChange(toolkit::TComponent&);
    void cbShortcutBehaviorChange(toolkit::TComponent&);
    void btnNavigationDefaultClick(toolkit::TComponent&);
    void tsSecurityShow(toolkit::TComponent&);
    void UserAgentChange(toolkit::TComponent&);
    void UserAgentExit(toolkit::TComponent&);
    void chkAlwaysPromptWhenDownloadClick(toolkit::TComponent&);
    void btnSecurityDefaultClick(toolkit::TComponent&);
    void tsPerformanceShow(toolkit::TComponent&);
    void udeMaxHTTPChange(toolkit::TComponent&);
    void gbManualSettingsExit(toolkit::TComponent&);
    void btnStartSpeedOptimizerClick(toolkit::TComponent&);

    void IE7ShowPanelsByIEVersion();
    void SaveUserAgent();
    // The folder a favourites node stands for, as a Windows path.
    std::string FavoriteFolderPath(const toolkit::TTreeNode& node) const;

  private:
    bool firstShow(toolkit::TTabSheet& sheet);
    void fillFavorites();
    void readSourceViewer();
    void writeSearchPreset();
    void placeFrame(toolkit::TFrame& frame, toolkit::TGroupBox& inner, toolkit::TWinControl& sheet,
                    int left, int top);
    void moveFavoritesToView();
    void stack(toolkit::TWinControl& sheet, int top);
    bool warnIfMachineless(const std::string& path);

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    std::unique_ptr<TNXUserAgent> userAgent_;
    bool notInstalled_ = false;
    bool filling_ = false; // a tab is being filled
};

extern TfrmIE* frmIE;
extern TFileVersionIdentification IEVersion;
extern std::string LinksFolder;
extern std::string DefaultSourceViewer;
extern std::string NotepadSourceViewer;
extern toolkit::TImageList* ilFavorites;

} // namespace ravelin::iexplorer
