// Unit ufrmIEContextMenu: the modal dialog that switches the browser's context-menu
// extensions (the current user's "MenuExt" entries) on and off and offers the known
// extensions the host ships. Nothing is written before OK; OK is one journal transaction.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <cstdint>
#include <set>
#include <string>

namespace ravelin::iexplorer {

// The record attached to each list item.
struct TIEMenuEntry {
    std::string Key;  // "Software\Microsoft\Internet Explorer\MenuExt[-]\" + key name
    std::string Name; // the key name, accelerator marks included
    std::uint32_t Contexts = 0;
    std::string File; // the script or resource (the key's default value)
    std::string Desc;
};

// "Contexts" of an entry that has none.
inline constexpr std::uint32_t kAllContexts = 123456;

// The context flags as the dialog names them: "Allen Elementen", "Nie", or the sorted
// names joined by ", ".
std::string ContextText(std::uint32_t contexts);

class TfrmIEContextMenu : public toolkit::TForm {
  public:
    explicit TfrmIEContextMenu(toolkit::TComponent* owner);
    ~TfrmIEContextMenu() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TPageControl* PageControl1;
    toolkit::TTabSheet* tsContextMenuEntries;
    toolkit::TListView* ListView1;
    toolkit::TLabel *lblDesc, *lblContext;
    toolkit::TImage* imgContextMenu;
    toolkit::TButton *btnOK, *btnCancel;

    void FormCreate(toolkit::TComponent&);
    void FormShow(toolkit::TComponent&);
    void tsContextMenuEntriesShow(toolkit::TComponent&);
    void ListView1SelectItem(toolkit::TComponent&, toolkit::TListItem& item, bool selected);
    void btnOKClick(toolkit::TComponent&);
    void btnCancelClick(toolkit::TComponent&);

    void GetKnownEntryData(const std::string& file, std::string& friendlyName, std::string& desc,
                           std::uint32_t& contexts, const std::string& section,
                           const std::string& profile);
    void AddMenuEntryItem(const std::string& file, const std::string& file2,
                          const std::string& profile, const std::string& section);
    static TIEMenuEntry& Entry(toolkit::TListItem& item);

  private:
    void addEntry(const std::string& folder, const std::string& name, bool ticked);
    void apply();

    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

extern TfrmIEContextMenu* frmIEContextMenu;

} // namespace ravelin::iexplorer
