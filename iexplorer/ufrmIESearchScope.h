// Unit ufrmIESearchScope: the small modal dialog in which the user enters or changes the
// name and search address of one search provider. It touches neither registry nor files;
// its result comes back through the record its Show function fills.
#pragma once

#include "host/Nxinternetexplorerhelper.h"
#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::iexplorer {

class TfrmIESearchScope : public toolkit::TForm {
  public:
    explicit TfrmIESearchScope(toolkit::TComponent* owner);
    ~TfrmIESearchScope() override;
    const char* ClassName() const override { return "TfrmIESearchScope"; }

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TLabel *lblIntroText, *Label1, *Label2;
    toolkit::TImage* imgScope;
    toolkit::TEdit *edName, *edURL;
    toolkit::TButton *btnOK, *btnCancel;
    bool FAccepted = false;

    void FormCreate(toolkit::TComponent&);
    void btnOKClick(toolkit::TComponent&);
    void btnCancelClick(toolkit::TComponent&);

  private:
    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

extern TfrmIESearchScope* frmIESearchScope;

// Clears the record, asks for a new provider; on OK fills Name, DisplayName, URL and
// Enabled and returns true.
bool ShowAddIESearchScope(TSearchScope& scope);
// Offers Name and URL for change; on OK sets them and `changed` when either text differs.
// The caller clears `changed`.
bool ShowEditIESearchScope(TSearchScope& scope, bool& changed);

} // namespace ravelin::iexplorer
