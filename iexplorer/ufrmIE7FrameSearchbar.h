// Unit ufrmIE7FrameSearchbar: the search-provider group of the Internet Explorer page for
// version 7 browsers. It merges the current user's providers (SearchScopes, and the
// switched-off ones under SearchScopes-) with the provider catalogue the host ships, and
// lets the user add, edit, remove, switch and choose the default provider.
#pragma once

#include "forms/ufrmIE7FrameSearchbarForm.h"
#include "host/Nxinternetexplorerhelper.h"
#include "host/Nxxmlscanner.h"
#include "host/PageBase.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ravelin::iexplorer {

// The merged provider list and the catalogue outlive the frame; the catalogue is loaded
// once per process.
extern std::vector<TSearchScope> IEScopes_Reg_Data;
extern std::vector<TSearchScope> IEScopes_XML_Data;
extern bool IEUpdateFlag;
extern bool Resetting;

// Forgets the catalogue, so that the next merge loads it again.
void IE7ForgetSearchscopeCatalogue();

// The key of a new provider: its name without the characters a key name avoids.
std::string KeyStripChars(const std::string& name);
// A provider's key name made from text (a catalogue's <Key>, a name): one name below
// SearchScopes, never a path. Backslashes and control characters are dropped, so is a
// name of dots only; "" when nothing is left.
std::string ScopeKeyFromText(const std::string& text);

class TIE7FrameSearchbar : public PageBase<forms::TIE7FrameSearchbarForm> {
  public:
    explicit TIE7FrameSearchbar(toolkit::TComponent* owner);
    const char* ClassName() const override { return "TIE7FrameSearchbar"; }

    std::string FDefaultScopeKey, FDefaultScopeName, FDefaultScopeHost;
    toolkit::TTimer* FUpdateTimer = nullptr;
    bool FUpdating = false;

    // The merge (gated: a call that finds the gate closed only opens it).
    void IE7InitialRegistryCheckForSearchscopes();
    // Merges, then rebuilds the list.
    void ListRefresh();
    void ResetIE7Settings();

    std::string GetSearchScopeKeyPath(const TSearchScope& scope, bool enabled) const;
    void LoadSearchScopeFromRegistry(TSearchScope& scope, const std::string& keyName, bool enabled);
    void WriteSearchScopeToRegistry(const TSearchScope& scope, bool enabled);
    static void IE7SearchScopeArrayAddItem(const TSearchScope& scope);
    static void IE7SearchScopeArrayRemoveItem(const TSearchScope& scope);
    static void IE7ResetDefaultSearchscope();
    static const TSearchScope* FindXMLSearchScopeByDisplayName(const std::string& text);
    static const TSearchScope* FindXMLSearchScopeByURL(const std::string& text);
    // Loads the catalogue unless it has entries. Throws what the scanner or the element
    // check throws; entries completed before stay.
    void IE7InitSearchscopes();
    void SelectListviewItem();
    void UpdatingLVSearchScopesEnd(toolkit::TComponent&);

    void XmlScannerStartTag(const std::string& tag, const TXmlAttributes& attributes);
    void XmlScannerContent(const std::string& text);
    void XmlScannerEndTag(const std::string& tag);
    void AddToXMLTree(const std::string& tag);
    void DeleteFromXMLTree(const std::string& tag);

    void cbIE7DisplaySearchBoxClick(toolkit::TComponent& sender) override;
    void actAddExecute(toolkit::TComponent& sender) override;
    void actEditExecute(toolkit::TComponent& sender) override;
    void actRemoveExecute(toolkit::TComponent& sender) override;
    void actSetAsDefaultExecute(toolkit::TComponent& sender) override;
    void lvSearchscopesItemChecked(toolkit::TComponent& sender, toolkit::TListItem& item) override;
    void lvSearchscopesSelectItem(toolkit::TComponent& sender, toolkit::TListItem& item,
                                  bool selected) override;

  private:
    // The machine's default provider (key, name, host), which a user entry without a
    // display name may stand for.
    void readMachineDefaultScope();
    TSearchScope* entryOf(const toolkit::TListItem& item) const;
    void updateActions();
    void selectIndex(int index);
    std::string uniqueKey(const std::string& name) const;

    bool quiet_ = false;
    std::string FCurXMLPos;
    TSearchScope TmpScope;
    std::optional<int> LvSelectedItem;
};

extern TIE7FrameSearchbar* IE7FrameSearchbar;

} // namespace ravelin::iexplorer
