#include "iexplorer/ufrmIE7FrameStartpage.h"

#include "forms/EmbeddedForms.h"

namespace ravelin::iexplorer {

using namespace toolkit;

namespace {

template <typename T> T* need(TFrame& frame, const char* name) {
    auto* c = dynamic_cast<T*>(frame.FindComponent(name));
    if (!c) throw FormError(std::string("ufrmIE7FrameStartpage: the frame has no ") + name);
    return c;
}

} // namespace

TIE7FrameStartpage* IE7FrameStartpage = nullptr;

TIE7FrameStartpage::TIE7FrameStartpage(TComponent* owner) : TFrame(owner) {
    bound_ = LoadFrame(*this, forms::FormText("ufrmIE7FrameStartpage"),
                       "forms/ufrmIE7FrameStartpage.json", handlers_);
    gbStartpage = need<TGroupBox>(*this, "gbStartpage");
    imgStartpage = need<TImage>(*this, "imgStartpage");
    lvStartpages = need<TListView>(*this, "lvStartpages");
}

// The start-page list comes with the frame's own work; until then it shows an empty list
// and changes nothing.
void TIE7FrameStartpage::GetStartpageSettingFromRegistry() {}
void TIE7FrameStartpage::ResetIE7Settings() {}

} // namespace ravelin::iexplorer
