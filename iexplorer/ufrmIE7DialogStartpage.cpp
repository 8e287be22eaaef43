#include "iexplorer/ufrmIE7DialogStartpage.h"

#include "host/Nxgraphics.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"

#include <memory>

namespace ravelin::iexplorer {

using namespace toolkit;

TfrmIE7Startpage* frmIE7Startpage = nullptr;

namespace {

using text::trimmed;

} // namespace

TfrmIE7Startpage::TfrmIE7Startpage(TComponent* owner) : PageBase(owner) {
    loadForm();
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
        Application().MessageBox(
            text::tr("Die von Ihnen eingegebene Adresse entspricht keinem gültigen "
                     "Format.\nBitte überprüfen Sie Ihre Eingabe auf Fehler."),
            text::tr("Adresse ungültig"), MB_OK | MB_ICONWARNING);
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
    dialog->Caption = text::tr("Startseite hinzufügen");
    dialog->lblIntroText->Caption =
        text::tr("Geben Sie die Internetadresse der Webseite ein, die Sie als "
                 "Startseite hinzufügen möchten.");
    dialog->edURL->SetText("");
    frmIE7Startpage = dialog.get();
    dialog->ShowModal();
    frmIE7Startpage = nullptr;
    if (!dialog->FAccepted) return false;
    page.URL = dialog->edURL->Text();
    return true;
}

} // namespace ravelin::iexplorer
