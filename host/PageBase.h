// The base of every page, dialog and frame of the module.
//
// Writing a page (unit ufrmFoo, form forms/ufrmFoo.json with root "frmFoo"):
//
//   1. The build generates forms/ufrmFooForm.h from the description: class
//      forms::TfrmFooForm (a TForm or a TFrame, as the root) with every named component as
//      a typed public member and every handler the description binds as a pure virtual.
//   2. The page derives from it through the page base and keeps its classic names:
//
//        class TfrmFoo : public PageBase<forms::TfrmFooForm> {
//          public:
//            explicit TfrmFoo(toolkit::TComponent* owner);
//            void FormCreate(toolkit::TComponent& sender) override;   // one per handler
//        };
//
//        TfrmFoo::TfrmFoo(TComponent* owner) : PageBase(owner) {
//            loadForm();        // first: builds the components and binds the handlers
//            frmFoo = this;     // the unit variable, where the unit has one
//            Fire(OnCreate);    // a form; a frame has no OnCreate
//        }
//
//      Every handler carries `override`: one the form names but the page lacks leaves the
//      page abstract, one the form does not name fails to compile. Components are used as
//      they are (`chkFoo->Checked()`), never looked up by name.
//   3. A form whose FormDestroy uses the page's members calls BeforeDestruction() first in
//      the page's destructor (the page's members are gone when TForm's destructor runs).
//   4. A tab fills itself on its first show, with the journal discarding what filling
//      writes, and a handler writes nothing while a tab fills:
//
//        void TfrmFoo::tsBarShow(TComponent&) {
//            if (!firstShow(*tsBar)) return;
//            const JournalDiscarding discarding;
//            chkBaz->SetChecked(...);
//        }
//        void TfrmFoo::chkBazClick(TComponent&) {
//            if (filling()) return;
//            SetRegDWORDValue(...);
//        }
//
//   5. A dialog that writes on OK marks what the user changed (`mark(*chkBaz)` in the
//      control's handler; nothing is marked while filling) and writes the marked controls
//      in one journal transaction:
//
//        void TfrmFoo::btnOKClick(TComponent&) {
//            const JournalTransaction transaction;
//            if (chkBaz->Tag == 1) SetRegDWORDValue(...);
//            ModalResult = mrOk;
//        }
#pragma once

#include "host/Nxregistry.h"
#include "toolkit/Controls.h"

#include <exception>
#include <string>

namespace ravelin {

// One journal transaction of its own, e.g. what a dialog writes on OK: the running journal
// is ended, everything written while the object lives is one transaction (labelled with
// `text`), and the journal starts again however the scope is left. Left by a throw, the
// transaction is voided: half a dialog's changes would be a state the user never chose.
class JournalTransaction {
  public:
    explicit JournalTransaction(const std::string& text = "")
        : unwinding_(std::uncaught_exceptions()) {
        JournalEnd();
        BackupStart(0, text);
    }
    ~JournalTransaction() {
        if (open_) {
            open_ = false;
            BackupEnd(std::uncaught_exceptions() > unwinding_);
        }
        JournalStart();
    }
    JournalTransaction(const JournalTransaction&) = delete;
    JournalTransaction& operator=(const JournalTransaction&) = delete;

    // Closes the transaction before the scope ends (say, before a message about it); the
    // journal still starts again only at the end of the scope.
    void close() {
        if (!open_) return;
        open_ = false;
        BackupEnd(false);
    }

  private:
    int unwinding_;
    bool open_ = true;
};

// `Form` is a generated form class (forms/<unit>Form.h).
template <typename Form> class PageBase : public Form {
  protected:
    using Form::Form;

    // True the first time a tab sheet is shown: its filled mark (the sheet's Tag) is set.
    static bool firstShow(toolkit::TTabSheet& sheet) {
        if (sheet.Tag == 1) return false;
        sheet.Tag = 1;
        return true;
    }

    // While a tab or dialog fills its controls (Journal_Discard is set, see
    // JournalDiscarding): setting a box runs its handler, which must not store what was
    // just read.
    static bool filling() { return Journal_Discard; }

    // Marks a control the user changed (its Tag), for a dialog that writes on OK only what
    // was changed. Filling marks nothing.
    static void mark(toolkit::TComponent& control) {
        if (!filling()) control.Tag = 1;
    }
};

} // namespace ravelin
