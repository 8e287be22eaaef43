// Page helpers the pages call on their controls.
#pragma once

#include "toolkit/Controls.h"

#include <functional>
#include <string>

namespace ravelin {

// Enables or disables a control (callers pass an empty text).
void SetControlStatus(toolkit::TControl& control, bool enabled, const std::string& text);
// Selects the first tab sheet whose tab is visible (firing the sheets' hide and show).
void ActivateFirstVisiblePage(toolkit::TPageControl& pageControl);

// Asks the host to show another page (also of a sibling module) with the tab of the given
// zero-based index, and returns at once. The host decides how: a front end installs its
// way with SetMainAppFormShow; a page the host cannot find is the host's to report.
void MainAppFormShow(toolkit::TForm& caller, const std::string& pageId, int tab);
using MainAppFormShowHandler =
    std::function<void(toolkit::TForm& caller, const std::string& pageId, int tab)>;
void SetMainAppFormShow(MainAppFormShowHandler handler);

} // namespace ravelin
