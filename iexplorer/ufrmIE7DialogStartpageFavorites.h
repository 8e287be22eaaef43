// Unit ufrmIE7DialogStartpageFavorites: the modal dialog in which the user picks a start
// page among the Internet shortcuts of the favourites folder. It writes nothing.
#pragma once

#include "iexplorer/ufrmIE7FrameStartpage.h"
#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::iexplorer {

struct TFavoriteData {
    std::string Path;     // the node's file or folder, as a Windows path (shown, compared)
    std::string HostPath; // the same on disk, where it is read: never made from Path
};

class TfrmIE7StartpageFavorites : public toolkit::TForm {
  public:
    explicit TfrmIE7StartpageFavorites(toolkit::TComponent* owner);
    ~TfrmIE7StartpageFavorites() override;
    const char* ClassName() const override { return "TfrmIE7StartpageFavorites"; }

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TImage* imgStartpage;
    toolkit::TLabel *lblIntroText, *lblHiddenURL;
    toolkit::TTreeView* tvFavorites;
    toolkit::TButton *btnOK, *btnCancel;
    bool FAccepted = false;

    void FormCreate(toolkit::TComponent&);
    void btnOKClick(toolkit::TComponent&);
    void btnCancelClick(toolkit::TComponent&);
    void tvFavoritesChange(toolkit::TComponent&, toolkit::TTreeNode* node);
    int tvFavoritesCompare(toolkit::TComponent&, toolkit::TTreeNode& a, toolkit::TTreeNode& b);
    void tvFavoritesDblClick(toolkit::TComponent&);
    void tvFavoritesMouseDown(toolkit::TComponent&, toolkit::TMouseButton button, int x, int y);

    // Scans a folder (a Windows path) into the tree under a root named after it.
    void FillTreeView(const std::string& folder);
    static TFavoriteData& DataOf(const toolkit::TTreeNode& node);

  private:
    void scan(const std::string& folder, const std::string& hostFolder, toolkit::TTreeNode& into);

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

extern TfrmIE7StartpageFavorites* frmIE7StartpageFavorites;

// Clears the record and lets the user pick a shortcut; on OK fills URL and returns true.
bool ShowAddIE7StartpageFromFavorites(TStartPage& page);

} // namespace ravelin::iexplorer
