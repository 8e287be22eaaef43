#include "iexplorer/ufrmIESearchScope.h"

#include "host/Nxgraphics.h"
#include "host/Stringhelper.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"
#include "toolkit/TextCompare.h"

#include <memory>

namespace ravelin::iexplorer {

using namespace toolkit;

TfrmIESearchScope* frmIESearchScope = nullptr;

namespace {

constexpr const char* kPlaceholder = "{searchTerms}";
// An address shorter than "=" followed by the placeholder cannot hold a query.
constexpr std::size_t kShortestAddress = 14;
constexpr const char* kExampleAddress = "http://www.example.com/search?q=%s";

std::string fill(std::string format, const std::string& with) {
    for (std::size_t p; (p = format.find("%s")) != std::string::npos;)
        format.replace(p, 2, with);
    return format;
}

using text::lower;
using text::startsWithIgnoringCase;
using text::trimmed;

} // namespace

TfrmIESearchScope::TfrmIESearchScope(TComponent* owner) : PageBase(owner) {
    loadForm();
    Fire(OnCreate);
}

TfrmIESearchScope::~TfrmIESearchScope() {
    if (frmIESearchScope == this) frmIESearchScope = nullptr;
}

void TfrmIESearchScope::FormCreate(TComponent&) {
    LoadGraphic(17000, *imgScope, 17);
}

void TfrmIESearchScope::btnOKClick(TComponent&) {
    ModalResult = mrNone;
    edURL->SetText(trimmed(edURL->Text(), " "));
    const std::string url = edURL->Text();
    const std::string example = fill(kExampleAddress, kPlaceholder);
    auto refuse = [this](TEdit& edit, const std::string& text, const std::string& title) {
        edit.SetFocus();
        Application().MessageBox(text, title, MB_OK | MB_ICONWARNING);
    };
    // A name of blanks only would give the provider an empty key, and its values would
    // land in the list's own key.
    if (trimmed(edName->Text(), " ").empty()) {
        refuse(*edName,
               text::tr("Sie müssen der Suchmaschine einen Namen geben.\n\nBeispiel: \"Meine "
                        "Suchmaschine\""),
               text::tr("Name ungültig"));
        return;
    }
    if (url.size() <= kShortestAddress) {
        refuse(*edURL,
               text::trf("Die von Ihnen eingegebene Adresse entspricht keinem gültigen "
                         "Format.\n\nBeispiel: \"%1\"",
                         example),
               text::tr("Adresse ungültig"));
        return;
    }
    if (lower(url).find(lower(kPlaceholder)) == std::string::npos) {
        refuse(*edURL,
               text::trf("Als Platzhalter für die Suchabfrage muss %1 angegeben sein.\n\n"
                         "Beispiel: \"%2\"",
                         kPlaceholder, example),
               text::tr("Adresse ungültig"));
        return;
    }
    if (!startsWithIgnoringCase(url, "http://") && !startsWithIgnoringCase(url, "https://"))
        edURL->SetText("http://" + url);
    FAccepted = true;
    ModalResult = mrOk;
}

void TfrmIESearchScope::btnCancelClick(TComponent&) {
    FAccepted = false;
    ModalResult = mrCancel;
}

namespace {

bool runDialog(TfrmIESearchScope& dialog) {
    frmIESearchScope = &dialog;
    dialog.ShowModal();
    frmIESearchScope = nullptr;
    return dialog.FAccepted;
}

} // namespace

bool ShowAddIESearchScope(TSearchScope& scope) {
    scope = TSearchScope{};
    auto dialog = std::make_unique<TfrmIESearchScope>(nullptr);
    dialog->Caption = text::tr("Suchmaschine hinzufügen");
    dialog->lblIntroText->Caption = text::tr(
        "Bitte füllen Sie die nachfolgenden Felder aus, um eine neue Suchmaschine hinzuzufügen.");
    if (!runDialog(*dialog)) return false;
    scope.Name = dialog->edName->Text();
    scope.DisplayName = dialog->edName->Text();
    scope.URL = dialog->edURL->Text();
    scope.Enabled = true;
    return true;
}

bool ShowEditIESearchScope(TSearchScope& scope, bool& changed) {
    auto dialog = std::make_unique<TfrmIESearchScope>(nullptr);
    dialog->Caption = text::tr("Suchmaschine bearbeiten");
    dialog->lblIntroText->Caption =
        text::tr("Ändern Sie die gewünschten Daten in den nachfolgenden "
                 "Feldern, um die Suchmaschine zu bearbeiten.");
    dialog->edName->SetText(scope.Name);
    dialog->edURL->SetText(scope.URL);
    if (!runDialog(*dialog)) return false;
    if (dialog->edName->Text() != scope.Name) {
        scope.Name = dialog->edName->Text();
        changed = true;
    }
    if (dialog->edURL->Text() != scope.URL) {
        scope.URL = dialog->edURL->Text();
        changed = true;
    }
    return true;
}

} // namespace ravelin::iexplorer
