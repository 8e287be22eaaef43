// Qt's own texts (standard buttons, file and colour dialogs, a text field's context menu,
// key names in menus) in the language the window shows.
#pragma once

namespace ravelin::gui {

// Installs Qt's catalogue for the current language (ravelin::text::CurrentLanguage) on the
// running application, replacing one installed before; false when Qt has none for it.
bool UseQtTranslations();

} // namespace ravelin::gui
