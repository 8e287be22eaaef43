// Unit ufrmIEContextMenu: the modal dialog that switches the browser's context-menu
// extensions (the current user's "MenuExt" entries) on and off and offers the known
// extensions the host ships. Nothing is written before OK; OK is one journal transaction.
#pragma once

#include "forms/ufrmIEContextMenuForm.h"
#include "host/PageBase.h"

#include <cstdint>
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

class TfrmIEContextMenu : public PageBase<forms::TfrmIEContextMenuForm> {
  public:
    explicit TfrmIEContextMenu(toolkit::TComponent* owner);
    ~TfrmIEContextMenu() override;

    // Handlers.
    void FormCreate(toolkit::TComponent& sender) override;
    void FormShow(toolkit::TComponent& sender) override;
    void tsContextMenuEntriesShow(toolkit::TComponent& sender) override;
    void ListView1SelectItem(toolkit::TComponent& sender, toolkit::TListItem& item,
                             bool selected) override;
    void btnOKClick(toolkit::TComponent& sender) override;
    void btnCancelClick(toolkit::TComponent& sender) override;

    void GetKnownEntryData(const std::string& file, std::string& friendlyName, std::string& desc,
                           std::uint32_t& contexts, const std::string& section,
                           const std::string& profile);
    void AddMenuEntryItem(const std::string& file, const std::string& file2,
                          const std::string& profile, const std::string& section);
    static TIEMenuEntry& Entry(toolkit::TListItem& item);

  private:
    void addEntry(const std::string& folder, const std::string& name, bool ticked);
    void apply();
};

extern TfrmIEContextMenu* frmIEContextMenu;

} // namespace ravelin::iexplorer
