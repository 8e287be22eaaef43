// Unit ufrmIE7DialogStartpage: the small modal dialog in which the user types the address
// of a new start page. It writes nothing; its result comes back through ShowAddIE7Startpage.
#pragma once

#include "iexplorer/ufrmIE7FrameStartpage.h"
#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>

namespace ravelin::iexplorer {

class TfrmIE7Startpage : public toolkit::TForm {
  public:
    explicit TfrmIE7Startpage(toolkit::TComponent* owner);
    ~TfrmIE7Startpage() override;
    const char* ClassName() const override { return "TfrmIE7Startpage"; }

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TImage* imgStartpage;
    toolkit::TLabel *lblIntroText, *Label2;
    toolkit::TEdit* edURL;
    toolkit::TButton *btnOK, *btnCancel;
    bool FAccepted = false;

    void FormCreate(toolkit::TComponent&);
    void btnOKClick(toolkit::TComponent&);
    void btnCancelClick(toolkit::TComponent&);

  private:
    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
};

extern TfrmIE7Startpage* frmIE7Startpage;

// Clears the record and asks for an address; on OK fills URL and returns true.
bool ShowAddIE7Startpage(TStartPage& page);

} // namespace ravelin::iexplorer
