// Unit ufrmIESearchScope: the small modal dialog in which the user enters or changes the
// name and search address of one search provider. It touches neither registry nor files;
// its result comes back through the record its Show function fills.
#pragma once

#include "forms/ufrmIESearchScopeForm.h"
#include "host/Nxinternetexplorerhelper.h"
#include "host/PageBase.h"

#include <string>

namespace ravelin::iexplorer {

class TfrmIESearchScope : public PageBase<forms::TfrmIESearchScopeForm> {
  public:
    explicit TfrmIESearchScope(toolkit::TComponent* owner);
    ~TfrmIESearchScope() override;
    const char* ClassName() const override { return "TfrmIESearchScope"; }

    bool FAccepted = false;

    // Handlers.
    void FormCreate(toolkit::TComponent& sender) override;
    void btnOKClick(toolkit::TComponent& sender) override;
    void btnCancelClick(toolkit::TComponent& sender) override;
};

extern TfrmIESearchScope* frmIESearchScope;

// Clears the record, asks for a new provider; on OK fills Name, DisplayName, URL and
// Enabled and returns true.
bool ShowAddIESearchScope(TSearchScope& scope);
// Offers Name and URL for change; on OK sets them and `changed` when either text differs.
// The caller clears `changed`.
bool ShowEditIESearchScope(TSearchScope& scope, bool& changed);

} // namespace ravelin::iexplorer
