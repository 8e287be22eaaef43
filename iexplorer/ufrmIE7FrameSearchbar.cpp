#include "iexplorer/ufrmIE7FrameSearchbar.h"

namespace ravelin::iexplorer {

using namespace toolkit;

TIE7FrameSearchbar* IE7FrameSearchbar = nullptr;

TIE7FrameSearchbar::TIE7FrameSearchbar(TComponent* owner) : TFrame(owner) {
    Name = "IE7FrameSearchbar";
    gbSearchbar = &Create<TGroupBox>();
    gbSearchbar->Name = "gbSearchbar";
    gbSearchbar->Caption = "Suchleiste";
    gbSearchbar->SetParent(this);
    gbSearchbar->Width = 372;
    gbSearchbar->Height = 223;
    imgSearchbar = &Create<TImage>();
    imgSearchbar->Name = "imgSearchbar";
    imgSearchbar->SetParent(gbSearchbar);
    imgSearchbar->Left = 12;
    imgSearchbar->Top = 20;
    imgSearchbar->Width = imgSearchbar->Height = 32;
    lvSearchScopes = &Create<TListView>();
    lvSearchScopes->Name = "lvSearchScopes";
    lvSearchScopes->SetParent(gbSearchbar);
    lvSearchScopes->Checkboxes = true;
    lvSearchScopes->Columns = {"Suchanbieter"};
    lvSearchScopes->Left = 56;
    lvSearchScopes->Top = 20;
    lvSearchScopes->Width = 304;
    lvSearchScopes->Height = 190;
}

// The provider catalogue and its registry check come with the frame's own work; until
// then the frame shows an empty list and changes nothing.
void TIE7FrameSearchbar::IE7InitialRegistryCheckForSearchscopes() {}
void TIE7FrameSearchbar::ListRefresh() {}
void TIE7FrameSearchbar::ResetIE7Settings() {}

} // namespace ravelin::iexplorer
