// Unit ufrmIE7DialogStartpage: the small modal dialog in which the user types the address
// of a new start page. It writes nothing; its result comes back through ShowAddIE7Startpage.
#pragma once

#include "forms/ufrmIE7DialogStartpageForm.h"
#include "host/PageBase.h"
#include "iexplorer/ufrmIE7FrameStartpage.h"

namespace ravelin::iexplorer {

class TfrmIE7Startpage : public PageBase<forms::TfrmIE7StartpageForm> {
  public:
    explicit TfrmIE7Startpage(toolkit::TComponent* owner);
    ~TfrmIE7Startpage() override;
    const char* ClassName() const override { return "TfrmIE7Startpage"; }

    bool FAccepted = false;

    void FormCreate(toolkit::TComponent& sender) override;
    void btnOKClick(toolkit::TComponent& sender) override;
    void btnCancelClick(toolkit::TComponent& sender) override;
};

extern TfrmIE7Startpage* frmIE7Startpage;

// Clears the record and asks for an address; on OK fills URL and returns true.
bool ShowAddIE7Startpage(TStartPage& page);

} // namespace ravelin::iexplorer
