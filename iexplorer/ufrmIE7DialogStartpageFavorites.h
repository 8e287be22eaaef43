// Unit ufrmIE7DialogStartpageFavorites: the modal dialog in which the user picks a start
// page among the Internet shortcuts of the favourites folder. It writes nothing.
#pragma once

#include "forms/ufrmIE7DialogStartpageFavoritesForm.h"
#include "host/PageBase.h"
#include "iexplorer/ufrmIE7FrameStartpage.h"

#include <string>

namespace ravelin::iexplorer {

struct TFavoriteData {
    std::string Path;     // the node's file or folder, as a Windows path (shown, compared)
    std::string HostPath; // the same on disk, where it is read: never made from Path
};

class TfrmIE7StartpageFavorites : public PageBase<forms::TfrmIE7StartpageFavoritesForm> {
  public:
    explicit TfrmIE7StartpageFavorites(toolkit::TComponent* owner);
    ~TfrmIE7StartpageFavorites() override;
    const char* ClassName() const override { return "TfrmIE7StartpageFavorites"; }

    bool FAccepted = false;

    void FormCreate(toolkit::TComponent& sender) override;
    void btnOKClick(toolkit::TComponent& sender) override;
    void btnCancelClick(toolkit::TComponent& sender) override;
    void tvFavoritesChange(toolkit::TComponent& sender, toolkit::TTreeNode* node) override;
    int tvFavoritesCompare(toolkit::TComponent& sender, toolkit::TTreeNode& a,
                           toolkit::TTreeNode& b) override;
    void tvFavoritesDblClick(toolkit::TComponent& sender) override;
    void tvFavoritesMouseDown(toolkit::TComponent& sender, toolkit::TMouseButton button, int x,
                              int y) override;

    // Scans a folder (a Windows path) into the tree under a root named after it.
    void FillTreeView(const std::string& folder);
    static TFavoriteData& DataOf(const toolkit::TTreeNode& node);

  private:
    void scan(const std::string& folder, const std::string& hostFolder, toolkit::TTreeNode& into);
    static void setIcon(toolkit::TTreeNode& node, const std::string& path, bool folder);
};

extern TfrmIE7StartpageFavorites* frmIE7StartpageFavorites;

// Clears the record and lets the user pick a shortcut; on OK fills URL and returns true.
bool ShowAddIE7StartpageFromFavorites(TStartPage& page);

} // namespace ravelin::iexplorer
