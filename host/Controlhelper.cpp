#include "host/Controlhelper.h"

#include <utility>

namespace ravelin {

void SetControlStatus(toolkit::TControl& control, bool enabled, const std::string&) {
    control.Enabled = enabled;
}

void ActivateFirstVisiblePage(toolkit::TPageControl& pageControl) {
    for (toolkit::TTabSheet* sheet : pageControl.Pages())
        if (sheet->TabVisible && sheet->Visible) {
            pageControl.SetActivePage(sheet);
            return;
        }
}

namespace {

MainAppFormShowHandler& pageJump() {
    static MainAppFormShowHandler handler; // installed by the front end
    return handler;
}

} // namespace

void MainAppFormShow(toolkit::TForm& caller, const std::string& pageId, int tab) {
    if (pageJump()) pageJump()(caller, pageId, tab);
}

void SetMainAppFormShow(MainAppFormShowHandler handler) {
    pageJump() = std::move(handler);
}

} // namespace ravelin
