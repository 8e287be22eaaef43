// The font the forms were laid out for: an 8-point dialog font of fixed metrics. Where the
// system lacks it, the font that ships with the compatibility layer's fonts stands in; else
// the window's own font at 8 points.
#pragma once

#include <QFont>

namespace ravelin::gui {

QFont DialogFont();
// The toolkit sizes labels by this font's widths from now on, as the window draws them.
void MeasureTextInDialogFont();

} // namespace ravelin::gui
