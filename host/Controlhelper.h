// Page helpers the pages call on their controls.
#pragma once

#include "toolkit/Controls.h"

#include <string>

namespace ravelin {

// Enables or disables a control (callers pass an empty text).
void SetControlStatus(toolkit::TControl& control, bool enabled, const std::string& text);
// Selects the first tab sheet whose tab is visible (firing the sheets' hide and show).
void ActivateFirstVisiblePage(toolkit::TPageControl& pageControl);

} // namespace ravelin
