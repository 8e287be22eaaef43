#include "iexplorer/ufrmIE7FrameSearchbar.h"

#include "forms/EmbeddedForms.h"

namespace ravelin::iexplorer {

using namespace toolkit;

namespace {

template <typename T> T* need(TFrame& frame, const char* name) {
    auto* c = dynamic_cast<T*>(frame.FindComponent(name));
    if (!c) throw FormError(std::string("ufrmIE7FrameSearchbar: the frame has no ") + name);
    return c;
}

} // namespace

TIE7FrameSearchbar* IE7FrameSearchbar = nullptr;

TIE7FrameSearchbar::TIE7FrameSearchbar(TComponent* owner) : TFrame(owner) {
    bound_ = LoadFrame(*this, forms::FormText("ufrmIE7FrameSearchbar"),
                       "forms/ufrmIE7FrameSearchbar.json", handlers_);
    gbSearchbar = need<TGroupBox>(*this, "gbSearchbar");
    imgSearchbar = need<TImage>(*this, "imgSearchbar");
    lvSearchScopes = need<TListView>(*this, "lvSearchScopes");
}

// The provider catalogue and its registry check come with the frame's own work; until
// then the frame shows an empty list and changes nothing.
void TIE7FrameSearchbar::IE7InitialRegistryCheckForSearchscopes() {}
void TIE7FrameSearchbar::ListRefresh() {}
void TIE7FrameSearchbar::ResetIE7Settings() {}

} // namespace ravelin::iexplorer
