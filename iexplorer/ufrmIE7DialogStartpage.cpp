#include "iexplorer/ufrmIE7DialogStartpage.h"

#include "forms/EmbeddedForms.h"
#include "host/Nxgraphics.h"
#include "host/text/Text.h"
#include "toolkit/Application.h"

#include <memory>

namespace ravelin::iexplorer {

using namespace toolkit;

TfrmIE7Startpage* frmIE7Startpage = nullptr;

namespace {

template <typename T> T* need(TForm& form, const char* name) {
    auto* c = dynamic_cast<T*>(form.FindComponent(name));
    if (!c) throw FormError(std::string("ufrmIE7DialogStartpage: the form has no ") + name);
    return c;
}

using text::trimmed;

} // namespace

TfrmIE7Startpage::TfrmIE7Startpage(TComponent* owner) : TForm(owner) {
    using Self = TfrmIE7Startpage;
    auto notify = [this](void (Self::*fn)(TComponent&)) {
        return TNotifyEvent([this, fn](TComponent& s) { (this->*fn)(s); });
    };
    handlers_.add("FormCreate", notify(&Self::FormCreate));
    handlers_.add("btnOKClick", notify(&Self::btnOKClick));
    handlers_.add("btnCancelClick", notify(&Self::btnCancelClick));
    bound_ = LoadForm(*this, forms::FormText("ufrmIE7DialogStartpage"),
                      "forms/ufrmIE7DialogStartpage.json", handlers_);
    imgStartpage = need<TImage>(*this, "imgStartpage");
    lblIntroText = need<TLabel>(*this, "lblIntroText");
    Label2 = need<TLabel>(*this, "Label2");
    edURL = need<TEdit>(*this, "edURL");
    btnOK = need<TButton>(*this, "btnOK");
    btnCancel = need<TButton>(*this, "btnCancel");
    Fire(OnCreate);
}

TfrmIE7Startpage::~TfrmIE7Startpage() {
    if (frmIE7Startpage == this) frmIE7Startpage = nullptr;
}

void TfrmIE7Startpage::FormCreate(TComponent&) {
    LoadGraphic(16000, *imgStartpage, 17);
}

void TfrmIE7Startpage::btnOKClick(TComponent&) {
    ModalResult = mrNone;
    edURL->SetText(trimmed(edURL->Text(), " "));
    if (edURL->Text().empty()) {
        Application().MessageBox("Die von Ihnen eingegebene Adresse entspricht keinem gültigen "
                                 "Format.\nBitte überprüfen Sie Ihre Eingabe auf Fehler.",
                                 "Adresse ungültig", MB_OK | MB_ICONWARNING);
        edURL->SetFocus();
        return;
    }
    if (edURL->Text().find("://") == std::string::npos) edURL->SetText("http://" + edURL->Text());
    FAccepted = true;
    ModalResult = mrOk;
}

void TfrmIE7Startpage::btnCancelClick(TComponent&) {
    FAccepted = false;
    ModalResult = mrCancel;
}

bool ShowAddIE7Startpage(TStartPage& page) {
    page = TStartPage{};
    auto dialog = std::make_unique<TfrmIE7Startpage>(nullptr);
    dialog->Caption = "Startseite hinzufügen";
    dialog->lblIntroText->Caption = "Geben Sie die Internetadresse der Webseite ein, die Sie als "
                                    "Startseite hinzufügen möchten.";
    dialog->edURL->SetText("");
    frmIE7Startpage = dialog.get();
    dialog->ShowModal();
    frmIE7Startpage = nullptr;
    if (!dialog->FAccepted) return false;
    page.URL = dialog->edURL->Text();
    return true;
}

} // namespace ravelin::iexplorer
