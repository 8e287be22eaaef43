#include "iexplorer/ufrmIE7FrameStartpage.h"

namespace ravelin::iexplorer {

using namespace toolkit;

TIE7FrameStartpage* IE7FrameStartpage = nullptr;

TIE7FrameStartpage::TIE7FrameStartpage(TComponent* owner) : TFrame(owner) {
    Name = "IE7FrameStartpage";
    gbStartpage = &Create<TGroupBox>();
    gbStartpage->Name = "gbStartpage";
    gbStartpage->Caption = "Startseiten";
    gbStartpage->SetParent(this);
    gbStartpage->Width = 372;
    gbStartpage->Height = 180;
    imgStartpage = &Create<TImage>();
    imgStartpage->Name = "imgStartpage";
    imgStartpage->SetParent(gbStartpage);
    imgStartpage->Left = 12;
    imgStartpage->Top = 20;
    imgStartpage->Width = imgStartpage->Height = 32;
    lvStartpages = &Create<TListView>();
    lvStartpages->Name = "lvStartpages";
    lvStartpages->SetParent(gbStartpage);
    lvStartpages->Columns = {"Adresse"};
    lvStartpages->Left = 56;
    lvStartpages->Top = 20;
    lvStartpages->Width = 304;
    lvStartpages->Height = 148;
}

// The start-page list comes with the frame's own work; until then it shows an empty list
// and changes nothing.
void TIE7FrameStartpage::GetStartpageSettingFromRegistry() {}
void TIE7FrameStartpage::ResetIE7Settings() {}

} // namespace ravelin::iexplorer
