#include "toolkit/Driver.h"

#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "toolkit/TextCompare.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

namespace ravelin::toolkit {

namespace {

std::optional<int> number(const std::string& s) {
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

const char* yes(bool b) {
    return b ? "true" : "false";
}

// Scripts name controls, which every language shares, and items by their text. A script
// written against the German interface names items in German: where no item shows the text,
// the one showing its translation is meant. The same holds for the text a script expects.
int itemIndex(const TComboBox& cb, const std::string& item) {
    const int i = cb.IndexOf(item);
    return i >= 0 ? i : cb.IndexOf(text::tr(item));
}

TListItem* listItem(const TListView& lv, const std::string& item) {
    TListItem* it = lv.FindCaption(item);
    return it ? it : lv.FindCaption(text::tr(item));
}

int itemIndex(const TBigCheckListBox& cl, const std::string& item) {
    for (const std::string& wanted : {item, text::tr(item)})
        for (std::size_t k = 0; k < cl.Items.size(); ++k)
            if (AnsiSameText(cl.Items[k], wanted)) return static_cast<int>(k);
    return -1;
}

bool showsExpected(const std::string& actual, const std::string& expected) {
    if (actual == expected || actual == text::tr(expected)) return true;
    // A list of items ("items" of a combo, a menu's captions) item by item.
    if (expected.find('|') == std::string::npos) return false;
    auto split = [](const std::string& s) {
        std::vector<std::string> parts;
        for (std::size_t start = 0;;) {
            const std::size_t bar = s.find('|', start);
            parts.push_back(s.substr(start, bar - start));
            if (bar == std::string::npos) return parts;
            start = bar + 1;
        }
    };
    const auto shown = split(actual), wanted = split(expected);
    if (shown.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < shown.size(); ++i)
        if (shown[i] != wanted[i] && shown[i] != text::tr(wanted[i])) return false;
    return true;
}

} // namespace

namespace {
void describe(TControl& c, int depth, std::ostream& out);
} // namespace

// ---- ScriptedDialogs ----

int ScriptedDialogs::messageBox(const MessageBoxRequest& request) {
    shown.push_back(request);
    if (log_) *log_ << "message: [" << request.title << "] " << request.text << "\n";
    if (answers_.empty()) return request.defaultResult();
    int a = answers_.front();
    answers_.pop_front();
    return a;
}

std::optional<std::string>
ScriptedDialogs::inputBox(const std::string& title, const std::string& prompt, const std::string&) {
    if (log_) *log_ << "input: [" << title << "] " << prompt << "\n";
    if (inputs_.empty()) return std::nullopt;
    auto a = inputs_.front();
    inputs_.pop_front();
    return a;
}

std::optional<std::string> ScriptedDialogs::openFile(const FileDialogRequest& request) {
    if (log_)
        *log_ << "file dialog: [" << request.title << "] " << request.filter
              << (request.fileName.empty() ? "" : " (" + request.fileName + ")") << "\n";
    if (files_.empty()) return std::nullopt;
    auto a = files_.front();
    files_.pop_front();
    if (a && Exists) {
        // The dialog itself refuses what it was told must exist, as the system's does.
        const std::size_t slash = a->find_last_of("/\\");
        const std::string folder = slash == std::string::npos ? std::string() : a->substr(0, slash);
        if (request.fileMustExist && !Exists(*a))
            throw DriverError(text::trf(
                "Das Dateidialogfeld lehnt %1 ab: Die Datei existiert nicht", ScriptLiteral(*a)));
        if (request.pathMustExist && !folder.empty() && !Exists(folder))
            throw DriverError(text::trf(
                "Das Dateidialogfeld lehnt %1 ab: Der Ordner existiert nicht", ScriptLiteral(*a)));
    }
    return a;
}

std::optional<Color> ScriptedDialogs::chooseColor(const Color&, std::vector<Color>&) {
    if (colors_.empty()) return std::nullopt;
    auto a = colors_.front();
    colors_.pop_front();
    return a;
}

// ---- UserDriver ----

TForm& UserDriver::CurrentForm() const {
    const auto& modal = TApplication::Instance().ModalForms();
    return modal.empty() ? root_ : *modal.back();
}

TComponent& UserDriver::Find(const std::string& name) const {
    TForm& form = CurrentForm();
    TComponent* c = nullptr;
    std::size_t dot = name.find('.');
    if (dot != std::string::npos) {
        TComponent* frame = form.FindComponent(name.substr(0, dot));
        if (frame) c = frame->FindComponent(name.substr(dot + 1));
        if (!c) c = form.FindComponent(name.substr(dot + 1)); // frames loaded into their page
    } else {
        c = name == form.Name ? &form : form.FindComponent(name);
    }
    if (!c)
        throw DriverError(
            text::trf("keine Komponente namens %1 in %2", ScriptLiteral(name), form.Name));
    return *c;
}

TControl& UserDriver::Reachable(const std::string& name) const {
    // Any action but choosing from it closes an open pop-up menu, as a click elsewhere does.
    TApplication::Instance().CloseMenu();
    auto* c = dynamic_cast<TControl*>(&Find(name));
    if (!c) throw DriverError(text::trf("%1 ist kein Steuerelement", name));
    if (!c->Showing()) throw DriverError(text::trf("%1 ist nicht sichtbar: abgelehnt", name));
    if (!c->Reachable()) throw DriverError(text::trf("%1 ist deaktiviert: abgelehnt", name));
    return *c;
}

void UserDriver::Tab(const std::string& sheetName) {
    auto* sheet = dynamic_cast<TTabSheet*>(&Find(sheetName));
    if (!sheet) throw DriverError(text::trf("%1 ist keine Registerkarte", sheetName));
    auto* pc = dynamic_cast<TPageControl*>(sheet->Parent());
    if (!pc || !pc->Reachable() || !sheet->TabVisible || !sheet->Enabled)
        throw DriverError(
            text::trf("die Registerkarte %1 kann nicht gewählt werden: abgelehnt", sheetName));
    // A user's tab switch moves the focus to the page control first.
    if (TForm* f = pc->ParentForm()) f->SetActiveControl(pc);
    pc->SetActivePage(sheet);
    pc->Fire(pc->OnChange);
}

void UserDriver::Click(const std::string& name) {
    TComponent& c = Find(name);
    if (auto* item = dynamic_cast<TMenuItem*>(&c)) {
        // A menu item is there to click only while its menu is open, it and the items it
        // hangs from shown and enabled.
        TPopupMenu* menu = item->Menu();
        if (!menu || !menu->IsOpen())
            throw DriverError(
                text::trf("%1 steht in einem Menü, das nicht geöffnet ist: abgelehnt", name));
        for (TMenuItem* m = item; m; m = m->Parent()) {
            if (!m->Visible) throw DriverError(text::trf("%1 ist nicht sichtbar: abgelehnt", name));
            if (!m->Enabled) throw DriverError(text::trf("%1 ist deaktiviert: abgelehnt", name));
        }
        if (item->IsSeparator())
            throw DriverError(text::trf("%1 ist eine Trennlinie: abgelehnt", name));
        if (!item->Items.empty()) {
            item->Click(); // opens its submenu; the menu stays open
            return;
        }
        TApplication::Instance().CloseMenu();
        item->Click();
        return;
    }
    TControl& control = Reachable(name);
    if (auto* w = dynamic_cast<TWinControl*>(&control); w && w->CanFocus()) w->SetFocus();
    control.Click();
}

void UserDriver::Press(const std::string& key) {
    TApplication& app = TApplication::Instance();
    if (app.OpenedMenu()) {
        // The keys act on the open menu first: Escape closes it, Enter as well.
        app.CloseMenu();
        return;
    }
    TForm& form = CurrentForm();
    TWinControl* focused = form.ActiveControl();
    if (key == "enter") {
        if (auto* memo = dynamic_cast<TMemo*>(focused); memo && memo->WantReturns) {
            if (memo->ReadOnly) return;
            memo->SetText(memo->Text() + "\r\n");
            return;
        }
        // A focused button is the one Enter presses; else the form's default button.
        if (auto* b = dynamic_cast<TButton*>(focused); b && b->Reachable()) {
            b->Click();
            return;
        }
        if (TButton* b = form.DefaultButton()) b->Click();
    } else if (key == "escape") {
        if (TButton* b = form.CancelButton()) b->Click();
    } else {
        throw DriverError(text::trf("unbekannte Taste %1 (enter oder escape)", ScriptLiteral(key)));
    }
}

void UserDriver::Check(const std::string& name, bool on) {
    TControl& c = Reachable(name);
    bool state;
    if (auto* cb = dynamic_cast<TCheckBox*>(&c))
        state = cb->Checked();
    else if (auto* rb = dynamic_cast<TRadioButton*>(&c))
        state = rb->Checked();
    else
        throw DriverError(
            text::trf("%1 ist weder ein Kontrollkästchen noch ein Optionsfeld", name));
    if (state != on) Click(name);
}

void UserDriver::Type(const std::string& name, const std::string& text) {
    Type(name, text, TCaret{});
}

void UserDriver::Type(const std::string& name, const std::string& text, TCaret caret) {
    TControl& c = Reachable(name);
    if (auto* w = dynamic_cast<TWinControl*>(&c); w && w->CanFocus()) w->SetFocus();
    if (auto* cb = dynamic_cast<TComboBox*>(&c)) {
        if (cb->Style != TComboBox::TComboBoxStyle::csDropDown)
            throw DriverError(text::trf("%1 nimmt keine Tastatureingabe an", name));
        cb->UserType(text::utf8ToUtf16(text), caret);
        return;
    }
    if (auto* e = dynamic_cast<TEdit*>(&c)) {
        if (e->ReadOnly) throw DriverError(text::trf("%1 ist schreibgeschützt: abgelehnt", name));
        for (char16_t key : text::utf8ToUtf16(text)) {
            char16_t k = key;
            if (e->OnKeyPress) e->OnKeyPress(*e, k);
            if (k == 0) continue;
            if (k == u'\r') continue; // "\r\n" is one Enter
            std::u16string t = text::utf8ToUtf16(e->Text());
            if (k == u'\n') {
                // Enter breaks the line in a memo; a one-line field takes no line break.
                auto* memo = dynamic_cast<TMemo*>(e);
                if (!memo || !memo->WantReturns) continue;
                ApplyKey(t, caret, u'\r');
                ApplyKey(t, caret, u'\n');
            } else {
                ApplyKey(t, caret, k, e->MaxLength);
            }
            e->SetText(text::utf16ToUtf8(t));
        }
        return;
    }
    if (auto* u = dynamic_cast<TUpDownEdit*>(&c)) {
        auto n = number(text);
        if (!n) throw DriverError(text::trf("%1 nimmt nur Zahlen an", name));
        u->SetPosition(*n);
        return;
    }
    throw DriverError(text::trf("%1 nimmt keine Tastatureingabe an", name));
}

void UserDriver::Set(const std::string& name, const std::string& text) {
    TControl& c = Reachable(name);
    if (auto* w = dynamic_cast<TWinControl*>(&c); w && w->CanFocus()) w->SetFocus();
    if (auto* e = dynamic_cast<TEdit*>(&c)) {
        if (e->ReadOnly) throw DriverError(text::trf("%1 ist schreibgeschützt: abgelehnt", name));
        if (dynamic_cast<TMemo*>(e)) {
            // A memo keeps its lines broken by CR LF, however the text came.
            std::string joined;
            const auto lines = TMemo::SplitLines(text);
            for (std::size_t i = 0; i < lines.size(); ++i)
                joined += (i ? "\r\n" : "") + lines[i];
            e->SetText(joined);
        } else {
            e->SetText(text);
        }
    } else if (auto* cb = dynamic_cast<TComboBox*>(&c)) {
        if (cb->Style != TComboBox::TComboBoxStyle::csDropDown)
            throw DriverError(text::trf("%1 nimmt keinen Text an", name));
        cb->SetText(text);
        cb->Fire(cb->OnChange);
    } else if (auto* u = dynamic_cast<TUpDownEdit*>(&c)) {
        auto n = number(text);
        if (!n) throw DriverError(text::trf("%1 nimmt nur Zahlen an", name));
        u->SetPosition(*n);
    } else {
        throw DriverError(text::trf("%1 nimmt keinen Text an", name));
    }
}

void UserDriver::Select(const std::string& name, const std::string& item) {
    TControl& c = Reachable(name);
    const std::optional<int> parsed =
        item.size() > 1 && item[0] == '#' ? number(item.substr(1)) : std::nullopt;
    const bool byIndex = parsed.has_value();
    const int index = parsed.value_or(-1);
    if (auto* cb = dynamic_cast<TComboBox*>(&c)) {
        int i = byIndex ? index : itemIndex(*cb, item);
        if (i < 0 || i >= static_cast<int>(cb->Items.size()))
            throw DriverError(text::trf("%1 hat keinen Eintrag %2", name, ScriptLiteral(item)));
        if (cb->CanFocus()) cb->SetFocus();
        cb->UserSelect(i);
    } else if (auto* lv = dynamic_cast<TListView*>(&c)) {
        TListItem* it = byIndex ? (index >= 0 && index < lv->Count() ? &lv->Item(index) : nullptr)
                                : listItem(*lv, item);
        if (!it)
            throw DriverError(text::trf("%1 hat keinen Eintrag %2", name, ScriptLiteral(item)));
        if (lv->CanFocus()) lv->SetFocus();
        it->SetSelected(true);
    } else if (auto* tv = dynamic_cast<TTreeView*>(&c)) {
        TTreeNode* node = tv->FindPath(item);
        if (!node)
            throw DriverError(text::trf("%1 hat keinen Knoten %2", name, ScriptLiteral(item)));
        if (tv->CanFocus()) tv->SetFocus();
        tv->SetSelected(node);
        tv->Fire(tv->OnClick);
    } else {
        throw DriverError(text::trf("%1 hat keine Einträge zum Auswählen", name));
    }
}

void UserDriver::Tick(const std::string& name, const std::string& item, bool on) {
    TControl& c = Reachable(name);
    // "#N" names the item by its position, where captions may repeat.
    const std::optional<int> parsed =
        item.size() > 1 && item[0] == '#' ? number(item.substr(1)) : std::nullopt;
    const bool byIndex = parsed.has_value();
    const int index = parsed.value_or(-1);
    // Ticking is a click into the list: the focus moves there first, so that a pending
    // write on leaving another group happens before the tick's own.
    if (auto* w = dynamic_cast<TWinControl*>(&c); w && w->CanFocus()) w->SetFocus();
    if (auto* lv = dynamic_cast<TListView*>(&c)) {
        TListItem* it = byIndex ? (index >= 0 && index < lv->Count() ? &lv->Item(index) : nullptr)
                                : listItem(*lv, item);
        if (!it)
            throw DriverError(text::trf("%1 hat keinen Eintrag %2", name, ScriptLiteral(item)));
        if (!lv->Checkboxes) throw DriverError(text::trf("%1 hat keine Kontrollkästchen", name));
        it->SetChecked(on);
    } else if (auto* cl = dynamic_cast<TBigCheckListBox*>(&c)) {
        const int i = byIndex ? index : itemIndex(*cl, item);
        if (i < 0 || i >= static_cast<int>(cl->Items.size()))
            throw DriverError(text::trf("%1 hat keinen Eintrag %2", name, ScriptLiteral(item)));
        if (cl->GetCheck(i) == on) return;
        cl->SetCheck(i, on);
        cl->Fire(cl->OnClickCheck);
    } else {
        throw DriverError(text::trf("%1 hat keine Einträge zum Ankreuzen", name));
    }
}

void UserDriver::Spin(const std::string& name, int position) {
    TControl& c = Reachable(name);
    if (auto* w = dynamic_cast<TWinControl*>(&c); w && w->CanFocus())
        w->SetFocus(); // as a click on its arrows
    if (auto* u = dynamic_cast<TUpDownEdit*>(&c))
        u->SetPosition(position);
    else if (auto* t = dynamic_cast<TTrackBar*>(&c))
        t->SetPosition(position);
    else
        throw DriverError(text::trf("%1 ist weder ein Drehfeld noch ein Schieberegler", name));
}

void UserDriver::Focus(const std::string& name) {
    auto* w = dynamic_cast<TWinControl*>(&Reachable(name));
    if (!w || !w->CanFocus())
        throw DriverError(text::trf("%1 kann den Fokus nicht erhalten", name));
    w->SetFocus();
}

void UserDriver::DblClick(const std::string& name, const std::string& item) {
    TControl& c = Reachable(name);
    if (!item.empty()) Select(name, item);
    c.Fire(c.OnDblClick);
}

void UserDriver::RightClick(const std::string& name, const std::string& item) {
    TControl& c = Reachable(name);
    // Where the press lands, in the control's client coordinates.
    TPoint at{c.Width / 2, c.Height / 2};
    if (auto* tv = dynamic_cast<TTreeView*>(&c)) {
        if (!item.empty()) {
            TTreeNode* node = tv->FindPath(item);
            if (!node)
                throw DriverError(text::trf("%1 hat keinen Knoten %2", name, ScriptLiteral(item)));
            // A user opens the folders above it first; the press itself selects nothing
            // unless the tree selects on right clicks.
            node->MakeVisible();
            const TRect r = tv->NodeRect(*node);
            at = {r.Left + 2, r.Top + tv->ItemHeight / 2};
            if (tv->RightClickSelect) tv->SetSelected(node);
        }
    } else if (auto* lv = dynamic_cast<TListView*>(&c)) {
        if (!item.empty()) {
            // A list selects the item under a right click, as the system's list does.
            Select(name, item);
            const int row = lv->Selected() ? lv->Selected()->Index() : 0;
            at = {2, (lv->ShowColumnHeaders && lv->ViewStyle == TViewStyle::vsReport ? 19 : 0) +
                         row * 17 + 8};
        }
    } else if (!item.empty()) {
        throw DriverError(text::trf("%1 hat keine Einträge", name));
    }
    if (auto* w = dynamic_cast<TWinControl*>(&c); w && w->CanFocus()) w->SetFocus();
    if (c.OnMouseDown) c.OnMouseDown(c, TMouseButton::mbRight, at.X, at.Y);
    if (c.PopupMenu && c.PopupMenu->AutoPopup) {
        c.PopupMenu->PopupComponent = &c;
        const TPoint screen = c.ClientToScreen(at);
        c.PopupMenu->Popup(screen.X, screen.Y);
    }
}

void UserDriver::Wait(int milliseconds) {
    TApplication::Instance().AdvanceClock(milliseconds);
}

std::string UserDriver::Property(const std::string& name, const std::string& property) const {
    TComponent& comp = Find(name);
    auto* c = dynamic_cast<TControl*>(&comp);
    if (property == "tag") return std::to_string(comp.Tag);
    if (auto* mi = dynamic_cast<TMenuItem*>(&comp)) {
        if (property == "enabled") return yes(mi->Enabled);
        if (property == "visible") return yes(mi->Visible);
        if (property == "checked") return yes(mi->Checked);
        if (property == "caption" || property == "text") return mi->Caption;
        if (property == "items" || property == "count") {
            std::string out;
            for (TMenuItem* sub : mi->Items)
                out += (out.empty() ? "" : "|") + sub->Caption;
            return property == "count" ? std::to_string(mi->Items.size()) : out;
        }
    }
    if (auto* pm = dynamic_cast<TPopupMenu*>(&comp)) {
        if (property == "open") return yes(pm->IsOpen());
        if (property == "items" || property == "count") {
            std::string out;
            for (TMenuItem* sub : pm->Items)
                out += (out.empty() ? "" : "|") + sub->Caption;
            return property == "count" ? std::to_string(pm->Items.size()) : out;
        }
    }
    if (auto* a = dynamic_cast<TAction*>(&comp)) {
        if (property == "enabled") return yes(a->Enabled);
        if (property == "visible") return yes(a->Visible);
        if (property == "checked") return yes(a->Checked);
        if (property == "caption" || property == "text") return a->Caption;
    }
    if (auto* t = dynamic_cast<TTimer*>(&comp)) {
        if (property == "enabled") return yes(t->Enabled());
        if (property == "position") return std::to_string(t->Interval.get());
    }
    if (!c)
        throw DriverError(text::trf("%1 (%2) hat keine Eigenschaft %3", name, comp.ClassName(),
                                    ScriptLiteral(property)));
    if (property == "enabled") return yes(c->Enabled);
    if (property == "visible") {
        if (auto* sheet = dynamic_cast<TTabSheet*>(c))
            return yes(sheet->Visible && sheet->TabVisible);
        return yes(c->Showing());
    }
    if (property == "caption") return c->Caption;
    if (property == "checked") {
        if (auto* cb = dynamic_cast<TCheckBox*>(c)) return yes(cb->Checked());
        if (auto* rb = dynamic_cast<TRadioButton*>(c)) return yes(rb->Checked());
        if (auto* sb = dynamic_cast<TSpeedButton*>(c)) return yes(sb->Down());
    }
    if (property == "readonly") {
        if (auto* e = dynamic_cast<TEdit*>(c)) return yes(e->ReadOnly);
        if (auto* lv = dynamic_cast<TListView*>(c)) return yes(lv->ReadOnly);
        if (auto* tv = dynamic_cast<TTreeView*>(c)) return yes(tv->ReadOnly);
    }
    if (property == "focused") {
        auto* w = dynamic_cast<TWinControl*>(c);
        return yes(w && w->Focused());
    }
    if (property == "text") {
        if (auto* memo = dynamic_cast<TMemo*>(c)) {
            // Line breaks read as "\n" whatever the memo keeps.
            std::string out;
            const auto lines = TMemo::SplitLines(memo->Text());
            for (std::size_t i = 0; i < lines.size(); ++i)
                out += (i ? "\n" : "") + lines[i];
            return out;
        }
        if (auto* e = dynamic_cast<TEdit*>(c)) return e->Text();
        if (auto* cb = dynamic_cast<TComboBox*>(c)) return cb->Text();
        if (auto* u = dynamic_cast<TUpDownEdit*>(c)) return std::to_string(u->GetPosition());
        return c->Caption;
    }
    if (property == "lines")
        if (auto* memo = dynamic_cast<TMemo*>(c)) return std::to_string(memo->Lines().Count());
    if (property == "position") {
        if (auto* u = dynamic_cast<TUpDownEdit*>(c)) return std::to_string(u->GetPosition());
        if (auto* t = dynamic_cast<TTrackBar*>(c)) return std::to_string(t->Position());
    }
    if (property == "itemindex") {
        if (auto* cb = dynamic_cast<TComboBox*>(c)) return std::to_string(cb->ItemIndex());
        if (auto* lv = dynamic_cast<TListView*>(c))
            return std::to_string(lv->Selected() ? lv->Selected()->Index() : -1);
    }
    if (property == "items" || property == "count") {
        std::vector<std::string> items;
        if (auto* cb = dynamic_cast<TComboBox*>(c))
            for (const auto& i : cb->Items)
                items.push_back(i.text);
        else if (auto* lv = dynamic_cast<TListView*>(c))
            for (int i = 0; i < lv->Count(); ++i)
                items.push_back(lv->Item(i).Caption);
        else if (auto* cl = dynamic_cast<TBigCheckListBox*>(c))
            items = cl->Items;
        else if (auto* tv = dynamic_cast<TTreeView*>(c))
            for (const auto& n : tv->Roots())
                items.push_back(n->Text);
        else if (auto* pc = dynamic_cast<TPageControl*>(c))
            for (auto* s : pc->Pages())
                items.push_back(s->Caption);
        else if (auto* memo = dynamic_cast<TMemo*>(c))
            items = memo->Lines().ToVector();
        else
            throw DriverError(text::trf("%1 hat keine Einträge", name));
        if (property == "count") return std::to_string(items.size());
        std::string out;
        for (std::size_t i = 0; i < items.size(); ++i)
            out += (i ? "|" : "") + items[i];
        return out;
    }
    if (property == "selected") {
        if (auto* lv = dynamic_cast<TListView*>(c))
            return lv->Selected() ? lv->Selected()->Caption : "";
        if (auto* tv = dynamic_cast<TTreeView*>(c))
            return tv->Selected() ? tv->Selected()->Text : "";
        if (auto* cb = dynamic_cast<TComboBox*>(c)) return cb->ItemIndex() >= 0 ? cb->Text() : "";
        if (auto* pc = dynamic_cast<TPageControl*>(c))
            return pc->ActivePage() ? pc->ActivePage()->Name : "";
    }
    if (property == "image") {
        if (auto* img = dynamic_cast<TImage*>(c)) return img->PictureFile;
        if (auto* sb = dynamic_cast<TSpeedButton*>(c)) return sb->Glyph;
    }
    throw DriverError(text::trf("%1 (%2) hat keine Eigenschaft %3", name, c->ClassName(),
                                ScriptLiteral(property)));
}

std::string UserDriver::ItemProperty(const std::string& name, const std::string& item,
                                     const std::string& property) const {
    TComponent& comp = Find(name);
    const std::optional<int> parsed =
        item.size() > 1 && item[0] == '#' ? number(item.substr(1)) : std::nullopt;
    if (auto* lv = dynamic_cast<TListView*>(&comp)) {
        TListItem* it = parsed
                            ? (*parsed >= 0 && *parsed < lv->Count() ? &lv->Item(*parsed) : nullptr)
                            : listItem(*lv, item);
        if (!it)
            throw DriverError(text::trf("%1 hat keinen Eintrag %2", name, ScriptLiteral(item)));
        if (property == "checked") return yes(it->Checked());
        if (property == "selected") return yes(it->Selected());
        if (property == "image") return std::to_string(it->ImageIndex.get());
        if (property == "index") return std::to_string(it->Index());
        if (property == "text" || property == "caption") return it->Caption;
        if (property == "subitems") {
            std::string out;
            for (std::size_t i = 0; i < it->SubItems.size(); ++i)
                out += (i ? "|" : "") + it->SubItems[i];
            return out;
        }
    } else if (auto* tv = dynamic_cast<TTreeView*>(&comp)) {
        TTreeNode* node = tv->FindPath(item);
        if (!node)
            throw DriverError(text::trf("%1 hat keinen Knoten %2", name, ScriptLiteral(item)));
        if (property == "selected") return yes(node->Selected());
        if (property == "image") return std::to_string(node->ImageIndex);
        if (property == "expanded") return yes(node->Expanded);
        if (property == "index") return std::to_string(node->Index());
        if (property == "text" || property == "caption") return node->Text;
        if (property == "items" || property == "count") {
            std::string out;
            for (const auto& child : node->Children())
                out += (out.empty() ? "" : "|") + child->Text;
            return property == "count" ? std::to_string(node->Count()) : out;
        }
    } else if (auto* cl = dynamic_cast<TBigCheckListBox*>(&comp)) {
        const int i = parsed.has_value() ? parsed.value_or(-1) : itemIndex(*cl, item);
        if (i < 0 || i >= static_cast<int>(cl->Items.size()))
            throw DriverError(text::trf("%1 hat keinen Eintrag %2", name, ScriptLiteral(item)));
        if (property == "checked") return yes(cl->GetCheck(i));
        if (property == "text" || property == "caption")
            return cl->Items[static_cast<std::size_t>(i)];
    } else if (auto* cb = dynamic_cast<TComboBox*>(&comp)) {
        const int i = parsed.has_value() ? parsed.value_or(-1) : itemIndex(*cb, item);
        if (i < 0 || i >= static_cast<int>(cb->Items.size()))
            throw DriverError(text::trf("%1 hat keinen Eintrag %2", name, ScriptLiteral(item)));
        if (property == "selected") return yes(cb->ItemIndex() == i);
        if (property == "index") return std::to_string(i);
        if (property == "text" || property == "caption")
            return cb->Items[static_cast<std::size_t>(i)].text;
    } else {
        throw DriverError(text::trf("%1 hat keine Einträge", name));
    }
    throw DriverError(
        text::trf("ein Eintrag von %1 hat keine Eigenschaft %2", name, ScriptLiteral(property)));
}

// ---- Scripts ----

DriverError::DriverError(unsigned line, const std::string& what)
    : std::runtime_error(text::trf("Zeile %1: %2", std::to_string(line), what)), line_(line) {}

std::vector<std::string> SplitScriptLine(const std::string& line, unsigned number) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size()) break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
                    word.push_back(line[i++]);
                } else if (c == '\\' && i < line.size() && (line[i] == 'n' || line[i] == 't')) {
                    word.push_back(line[i++] == 'n' ? '\n' : '\t');
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    word.push_back(c);
                }
            }
            if (!closed)
                throw DriverError(number, text::tr("ein Anführungszeichen ist nicht geschlossen"));
        } else if (line[i] == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string::npos)
                throw DriverError(number, text::tr("ein Anführungszeichen ist nicht geschlossen"));
            word = line.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word.push_back(line[i++]);
        }
        words.push_back(word);
    }
    return words;
}

std::string ScriptLiteral(const std::string& value) {
    bool special = false, control = false;
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            control = true;
        else if (c == '\\' || c == '"')
            special = true;
    }
    if (!special && !control) return "\"" + value + "\"";
    if (!control && value.find('\'') == std::string::npos) return "'" + value + "'";
    std::string out = "\"";
    for (char c : value) {
        if (c == '\\' || c == '"')
            out += {'\\', c};
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c; // no escape for it: a carriage return or the like reads back as it stands
    }
    return out + "\"";
}

ScriptRunner::ScriptRunner(UserDriver& driver, ScriptedDialogs& dialogs, std::ostream& out)
    : driver_(driver), dialogs_(dialogs), out_(out) {}

void ScriptRunner::Load(const std::string& script) {
    struct Syntax {
        const char* verb;
        std::size_t min, max;
        const char* usage;
    };
    static const Syntax kSyntax[] = {
        {"tab", 1, 1, "tab SHEET"},
        {"click", 1, 1, "click NAME"},
        {"check", 2, 2, "check NAME on|off"},
        {"type", 2, 2, "type NAME \"text\""},
        {"set", 2, 2, "set NAME \"text\""},
        {"select", 2, 2, "select NAME \"item\" | #N"},
        {"tick", 3, 3, "tick NAME \"item\" on|off"},
        {"spin", 2, 2, "spin NAME N"},
        {"focus", 1, 1, "focus NAME"},
        {"dblclick", 1, 2, "dblclick NAME [\"item\"]"},
        {"rightclick", 1, 2, "rightclick NAME [\"item\"]"},
        {"press", 1, 1, "press enter|escape"},
        {"answer", 1, 1, "answer yes|no|ok|cancel"},
        {"input", 1, 1, "input \"text\" | input cancel"},
        {"choose", 1, 1, "choose \"path\" | choose cancel"},
        {"color", 1, 3, "color R G B | color cancel"},
        {"wait", 1, 1, "wait MS"},
        {"expect", 3, 4, "expect NAME [\"item\"] PROPERTY \"value\""},
        {"print", 1, 1, "print NAME"},
    };
    lines_.clear();
    next_ = 0;
    std::istringstream in(script);
    std::string text;
    unsigned number = 0;
    while (std::getline(in, text)) {
        ++number;
        std::vector<std::string> words = SplitScriptLine(text, number);
        if (words.empty() || words[0][0] == '#') continue;
        const Syntax* syntax = nullptr;
        for (const auto& s : kSyntax)
            if (words[0] == s.verb) syntax = &s;
        auto fail = [&](const std::string& why) { throw DriverError(number, why); };
        if (!syntax) fail(text::trf("unbekannte Aktion %1", ScriptLiteral(words[0])));
        const std::size_t args = words.size() - 1;
        if (args < syntax->min || args > syntax->max)
            fail(text::trf("erwartet: %1", syntax->usage));
        const std::string& verb = words[0];
        if ((verb == "check" && words[2] != "on" && words[2] != "off") ||
            (verb == "tick" && words[3] != "on" && words[3] != "off"))
            fail(text::trf("erwartet wird on oder off: %1", syntax->usage));
        if ((verb == "spin" && !number_or(words[2])) || (verb == "wait" && !number_or(words[1])))
            fail(text::trf("erwartet wird eine Zahl: %1", syntax->usage));
        if (verb == "answer" && words[1] != "yes" && words[1] != "no" && words[1] != "ok" &&
            words[1] != "cancel")
            fail(text::trf("erwartet: %1", syntax->usage));
        if (verb == "color" && !(args == 1 && words[1] == "cancel") &&
            !(args == 3 && number_or(words[1]) && number_or(words[2]) && number_or(words[3])))
            fail(text::trf("erwartet: %1", syntax->usage));
        if (verb == "press" && words[1] != "enter" && words[1] != "escape")
            fail(text::trf("erwartet: %1", syntax->usage));
        static const std::set<std::string> kProperties = {
            "checked", "enabled",  "visible", "text", "caption",  "position", "itemindex", "items",
            "count",   "selected", "image",   "tag",  "readonly", "focused",  "lines",     "open"};
        static const std::set<std::string> kItemProperties = {
            "checked", "selected", "image",    "index", "text",
            "caption", "subitems", "expanded", "items", "count"};
        if (verb == "expect" && args == 3 && !kProperties.count(words[2]))
            fail(text::trf("unbekannte Eigenschaft %1", ScriptLiteral(words[2])));
        if (verb == "expect" && args == 4 && !kItemProperties.count(words[3]))
            fail(text::trf("unbekannte Eigenschaft eines Eintrags %1", ScriptLiteral(words[3])));
        lines_.push_back({number, std::move(words)});
    }
}

bool ScriptRunner::number_or(const std::string& s) {
    return number(s).has_value();
}

void ScriptRunner::Execute(const Line& line) {
    const auto& w = line.words;
    const std::string& verb = w[0];
    static const std::set<std::string> kActions = {"tab",   "click",    "check",      "type",
                                                   "set",   "select",   "tick",       "spin",
                                                   "focus", "dblclick", "rightclick", "press"};
    const bool action = kActions.count(verb) > 0;
    // A person pauses before each action: timers a user would see expire do so first.
    if (action) TApplication::Instance().AdvanceClock(kHumanPauseMs);
    struct Around {
        UserDriver& driver;
        bool active;
        ~Around() {
            if (active && driver.AfterAction) driver.AfterAction();
        }
    } around{driver_, action};
    if (action && driver_.BeforeAction) driver_.BeforeAction(verb == "press" ? "" : w[1]);
    try {
        if (verb == "tab")
            driver_.Tab(w[1]);
        else if (verb == "click")
            driver_.Click(w[1]);
        else if (verb == "check")
            driver_.Check(w[1], w[2] == "on");
        else if (verb == "type")
            driver_.Type(w[1], w[2]);
        else if (verb == "set")
            driver_.Set(w[1], w[2]);
        else if (verb == "select")
            driver_.Select(w[1], w[2]);
        else if (verb == "tick")
            driver_.Tick(w[1], w[2], w[3] == "on");
        else if (verb == "spin")
            driver_.Spin(w[1], *number(w[2]));
        else if (verb == "focus")
            driver_.Focus(w[1]);
        else if (verb == "dblclick")
            driver_.DblClick(w[1], w.size() > 2 ? w[2] : "");
        else if (verb == "rightclick")
            driver_.RightClick(w[1], w.size() > 2 ? w[2] : "");
        else if (verb == "press")
            driver_.Press(w[1]);
        else if (verb == "answer")
            dialogs_.answer(w[1] == "yes"  ? IDYES
                            : w[1] == "no" ? IDNO
                            : w[1] == "ok" ? IDOK
                                           : IDCANCEL);
        else if (verb == "input")
            dialogs_.input(w[1] == "cancel" ? std::nullopt : std::optional<std::string>(w[1]));
        else if (verb == "choose")
            dialogs_.choose(w[1] == "cancel" ? std::nullopt : std::optional<std::string>(w[1]));
        else if (verb == "color")
            dialogs_.color(w[1] == "cancel" ? std::nullopt
                                            : std::optional<Color>(Color{
                                                  *number(w[1]), *number(w[2]), *number(w[3])}));
        else if (verb == "wait")
            driver_.Wait(*number(w[1]));
        else if (verb == "print") {
            auto* control = dynamic_cast<TControl*>(&driver_.Find(w[1]));
            if (!control) throw DriverError(text::trf("%1 ist kein Steuerelement", w[1]));
            std::ostringstream one;
            describe(*control, 0, one);
            out_ << one.str();
        } else if (verb == "expect" && w.size() == 5) {
            std::string actual = driver_.ItemProperty(w[1], w[2], w[3]);
            if (!showsExpected(actual, w[4]))
                throw DriverError(text::trf("erwartet %1, gefunden %2",
                                            w[1] + " " + ScriptLiteral(w[2]) + " " + w[3] + " " +
                                                ScriptLiteral(w[4]),
                                            ScriptLiteral(actual)));
        } else if (verb == "expect") {
            std::string actual = driver_.Property(w[1], w[2]);
            if (!showsExpected(actual, w[3])) {
                // A password field's text is shown as the field shows it, also the one the
                // script expected: the message may end up in logs.
                std::string expected = w[3];
                if (auto* e = dynamic_cast<TEdit*>(&driver_.Find(w[1]));
                    e && e->PasswordChar && w[2] == "text") {
                    expected = std::string(expected.size(), '*');
                    actual = std::string(actual.size(), '*');
                }
                throw DriverError(text::trf("erwartet %1, gefunden %2",
                                            w[1] + " " + w[2] + " " + ScriptLiteral(expected),
                                            ScriptLiteral(actual)));
            }
        }
    } catch (const DriverError& e) {
        // A line run inside a dialog this one opened has named itself already.
        if (e.line() != 0) throw;
        throw DriverError(line.number, e.what());
    }
}

bool ScriptRunner::next() {
    if (next_ >= lines_.size()) return false;
    const Line& line = lines_[next_++];
    Execute(line);
    return true;
}

void ScriptRunner::Run() {
    InputSource* previous = TApplication::Instance().Input();
    TApplication::Instance().SetInputSource(this);
    try {
        while (next()) {
        }
    } catch (...) {
        TApplication::Instance().SetInputSource(previous);
        throw;
    }
    TApplication::Instance().SetInputSource(previous);
}

// ---- Describing forms ----

namespace {

void describe(TControl& c, int depth, std::ostream& out) {
    if (!c.Visible) return;
    if (auto* sheet = dynamic_cast<TTabSheet*>(&c); sheet && !sheet->TabVisible) return;
    std::string pad(static_cast<std::size_t>(depth) * 2, ' ');
    out << pad;
    const auto quoted = ScriptLiteral;
    if (auto* cb = dynamic_cast<TCheckBox*>(&c))
        out << (cb->Checked() ? "[x] " : "[ ] ") << c.Name << " " << quoted(c.Caption);
    else if (auto* rb = dynamic_cast<TRadioButton*>(&c))
        out << (rb->Checked() ? "(*) " : "( ) ") << c.Name << " " << quoted(c.Caption);
    else if (auto* memo = dynamic_cast<TMemo*>(&c)) {
        std::string shown;
        const auto lines = TMemo::SplitLines(memo->Text());
        for (std::size_t i = 0; i < lines.size(); ++i)
            shown += (i ? "\n" : "") + lines[i];
        out << c.ClassName() << " " << c.Name << " = " << quoted(shown)
            << (memo->ReadOnly ? " (read-only)" : "");
    } else if (auto* e = dynamic_cast<TEdit*>(&c))
        out << c.ClassName() << " " << c.Name << " = "
            << quoted(e->PasswordChar ? std::string(e->Text().size(), '*') : e->Text())
            << (e->ReadOnly ? " (read-only)" : "");
    else if (auto* sb = dynamic_cast<TSpeedButton*>(&c))
        out << (sb->Down() ? "[down] " : "") << "TSpeedButton " << c.Name
            << (c.Caption.empty() ? "" : " " + quoted(c.Caption));
    else if (auto* u = dynamic_cast<TUpDownEdit*>(&c))
        out << "TUpDownEdit " << c.Name << " = " << u->GetPosition() << " (" << u->Min << ".."
            << u->Max << ")";
    else if (auto* t = dynamic_cast<TTrackBar*>(&c))
        out << c.ClassName() << " " << c.Name << " = " << t->Position() << " (" << t->Min << ".."
            << t->Max << ")";
    else if (auto* cb2 = dynamic_cast<TComboBox*>(&c)) {
        out << "TComboBox " << c.Name << " = " << quoted(cb2->Text()) << ":";
        for (std::size_t i = 0; i < cb2->Items.size(); ++i)
            out << (i ? " |" : "") << " "
                << (static_cast<int>(i) == cb2->ItemIndex() ? "*" + cb2->Items[i].text + "*"
                                                            : cb2->Items[i].text);
    } else if (auto* lv = dynamic_cast<TListView*>(&c)) {
        out << c.ClassName() << " " << c.Name;
        if (lv->ShowColumnHeaders && lv->ViewStyle == TViewStyle::vsReport &&
            !lv->Columns.empty()) {
            out << " [";
            for (std::size_t i = 0; i < lv->Columns.size(); ++i)
                out << (i ? " | " : "") << lv->Columns[i].Caption;
            out << "]";
        }
        for (int i = 0; i < lv->Count(); ++i) {
            TListItem& it = lv->Item(i);
            out << "\n"
                << pad << "  " << (lv->Checkboxes ? (it.Checked() ? "[x] " : "[ ] ") : "- ")
                << it.Caption;
            for (const auto& s : it.SubItems)
                out << " | " << s;
            if (it.ImageIndex.get() >= 0 && lv->SmallImages)
                out << " (image " << it.ImageIndex.get() << ")";
            if (it.Selected()) out << " (selected)";
        }
    } else if (auto* cl = dynamic_cast<TBigCheckListBox*>(&c)) {
        out << "TBigCheckListBox " << c.Name;
        for (int i = 0; i < static_cast<int>(cl->Items.size()); ++i)
            out << "\n"
                << pad << "  " << (cl->GetCheck(i) ? "[x] " : "[ ] ")
                << cl->Items[static_cast<std::size_t>(i)];
    } else if (auto* tv = dynamic_cast<TTreeView*>(&c)) {
        out << "TTreeView " << c.Name;
        std::function<void(const TTreeNode&, int)> node = [&](const TTreeNode& n, int d) {
            out << "\n"
                << pad << std::string(static_cast<std::size_t>(d) * 2 + 2, ' ')
                << (n.HasChildren() ? (n.Expanded ? "- " : "+ ") : "") << n.Text;
            if (tv->Images && n.ImageIndex >= 0) out << " (image " << n.ImageIndex << ")";
            out << (tv->Selected() == &n ? " (selected)" : "");
            if (!n.Expanded) return;
            for (const auto& ch : n.Children())
                node(*ch, d + 1);
        };
        for (const auto& r : tv->Roots())
            node(*r, 0);
    } else if (auto* img = dynamic_cast<TImage*>(&c)) {
        out << "TImage " << c.Name << (img->PictureFile.empty() ? "" : " " + img->PictureFile);
    } else if (auto* sheet2 = dynamic_cast<TTabSheet*>(&c)) {
        auto* pc = dynamic_cast<TPageControl*>(sheet2->Parent());
        out << "TTabSheet " << c.Name << " " << quoted(c.Caption)
            << (pc && pc->ActivePage() == sheet2 ? " [active]" : "");
    } else {
        out << c.ClassName() << " " << c.Name;
        if (!c.Caption.empty()) out << " " << quoted(c.Caption);
    }
    if (!c.Enabled) out << " (disabled)";
    out << "\n";
    auto* w = dynamic_cast<TWinControl*>(&c);
    if (!w) return;
    if (auto* sheet3 = dynamic_cast<TTabSheet*>(&c)) {
        auto* pc = dynamic_cast<TPageControl*>(sheet3->Parent());
        if (pc && pc->ActivePage() != sheet3) return; // only the shown sheet's contents
    }
    for (TControl* child : w->Controls())
        describe(*child, depth + 1, out);
}

nlohmann::ordered_json describeJson(TControl& c) {
    nlohmann::ordered_json j;
    j["type"] = c.ClassName();
    j["name"] = c.Name;
    if (!c.Caption.empty()) j["caption"] = c.Caption;
    j["enabled"] = c.Enabled;
    if (auto* cb = dynamic_cast<TCheckBox*>(&c)) j["checked"] = cb->Checked();
    if (auto* rb = dynamic_cast<TRadioButton*>(&c)) j["checked"] = rb->Checked();
    if (auto* e = dynamic_cast<TEdit*>(&c)) {
        j["text"] = e->PasswordChar ? std::string(e->Text().size(), '*') : e->Text();
        if (e->ReadOnly) j["readOnly"] = true;
    }
    if (auto* memo = dynamic_cast<TMemo*>(&c)) j["lines"] = memo->Lines().ToVector();
    if (auto* sb = dynamic_cast<TSpeedButton*>(&c)) j["down"] = sb->Down();
    if (c.PopupMenu) j["popupMenu"] = c.PopupMenu->Name;
    if (auto* img = dynamic_cast<TImage*>(&c); img && !img->PictureFile.empty())
        j["picture"] = img->PictureFile;
    if (auto* u = dynamic_cast<TUpDownEdit*>(&c)) j["position"] = u->GetPosition();
    if (auto* t = dynamic_cast<TTrackBar*>(&c)) j["position"] = t->Position();
    if (auto* cb2 = dynamic_cast<TComboBox*>(&c)) {
        j["text"] = cb2->Text();
        j["itemIndex"] = cb2->ItemIndex();
        j["items"] = nlohmann::ordered_json::array();
        for (const auto& i : cb2->Items)
            j["items"].push_back(i.text);
    }
    if (auto* lv = dynamic_cast<TListView*>(&c)) {
        if (!lv->Columns.empty()) {
            j["columns"] = nlohmann::ordered_json::array();
            for (const auto& col : lv->Columns)
                j["columns"].push_back({{"caption", col.Caption}, {"width", col.Width}});
        }
        j["checkboxes"] = lv->Checkboxes;
        j["items"] = nlohmann::ordered_json::array();
        for (int i = 0; i < lv->Count(); ++i)
            j["items"].push_back({{"caption", lv->Item(i).Caption},
                                  {"subItems", lv->Item(i).SubItems},
                                  {"checked", lv->Item(i).Checked()},
                                  {"selected", lv->Item(i).Selected()},
                                  {"imageIndex", lv->Item(i).ImageIndex.get()}});
    }
    if (auto* tv = dynamic_cast<TTreeView*>(&c)) {
        std::function<nlohmann::ordered_json(const TTreeNode&)> node = [&](const TTreeNode& n) {
            nlohmann::ordered_json jn{{"text", n.Text},
                                      {"imageIndex", n.ImageIndex},
                                      {"expanded", n.Expanded},
                                      {"selected", tv->Selected() == &n}};
            if (n.HasChildren()) {
                jn["children"] = nlohmann::ordered_json::array();
                for (const auto& ch : n.Children())
                    jn["children"].push_back(node(*ch));
            }
            return jn;
        };
        j["nodes"] = nlohmann::ordered_json::array();
        for (const auto& r : tv->Roots())
            j["nodes"].push_back(node(*r));
    }
    if (auto* cl = dynamic_cast<TBigCheckListBox*>(&c)) {
        j["items"] = nlohmann::ordered_json::array();
        for (int i = 0; i < static_cast<int>(cl->Items.size()); ++i)
            j["items"].push_back({{"caption", cl->Items[static_cast<std::size_t>(i)]},
                                  {"checked", cl->GetCheck(i)}});
    }
    if (auto* sheet = dynamic_cast<TTabSheet*>(&c)) {
        auto* pc = dynamic_cast<TPageControl*>(sheet->Parent());
        j["active"] = pc && pc->ActivePage() == sheet;
        if (!j["active"].get<bool>()) return j;
    }
    if (auto* w = dynamic_cast<TWinControl*>(&c)) {
        auto children = nlohmann::ordered_json::array();
        for (TControl* child : w->Controls()) {
            if (!child->Visible) continue;
            if (auto* s = dynamic_cast<TTabSheet*>(child); s && !s->TabVisible) continue;
            children.push_back(describeJson(*child));
        }
        if (!children.empty()) j["children"] = children;
    }
    return j;
}

} // namespace

namespace {

void describeMenuItems(const std::vector<TMenuItem*>& items, int depth, std::ostream& out) {
    for (TMenuItem* item : items) {
        if (!item->Visible) continue;
        out << std::string(static_cast<std::size_t>(depth) * 2, ' ');
        if (item->IsSeparator()) {
            out << "----\n";
            continue;
        }
        out << (item->Checked ? "[x] " : "") << item->Name << " " << ScriptLiteral(item->Caption)
            << (item->Enabled ? "" : " (disabled)") << (item->Items.empty() ? "" : " >") << "\n";
        describeMenuItems(item->Items, depth + 1, out);
    }
}

nlohmann::ordered_json menuJson(const std::vector<TMenuItem*>& items) {
    auto out = nlohmann::ordered_json::array();
    for (TMenuItem* item : items) {
        if (!item->Visible) continue;
        nlohmann::ordered_json j{{"name", item->Name},
                                 {"caption", item->Caption},
                                 {"enabled", item->Enabled},
                                 {"checked", item->Checked}};
        if (!item->Items.empty()) j["items"] = menuJson(item->Items);
        out.push_back(j);
    }
    return out;
}

// The open pop-up menu when it belongs to the form (or to a frame on it).
TPopupMenu* openMenuOf(TForm& form) {
    TPopupMenu* menu = TApplication::Instance().OpenedMenu();
    for (TComponent* owner = menu; owner; owner = owner->Owner())
        if (owner == &form) return menu;
    return nullptr;
}

} // namespace

std::string DescribeForm(TForm& form) {
    std::ostringstream out;
    describe(form, 0, out);
    if (TPopupMenu* menu = openMenuOf(form)) {
        out << "TPopupMenu " << menu->Name << " at " << menu->PopupPoint().X << ","
            << menu->PopupPoint().Y << "\n";
        describeMenuItems(menu->Items, 1, out);
    }
    return out.str();
}

std::string DescribeFormJson(TForm& form) {
    nlohmann::ordered_json j = describeJson(form);
    if (TPopupMenu* menu = openMenuOf(form))
        j["openMenu"] = {{"name", menu->Name},
                         {"x", menu->PopupPoint().X},
                         {"y", menu->PopupPoint().Y},
                         {"items", menuJson(menu->Items)}};
    return j.dump(2) + "\n";
}

} // namespace ravelin::toolkit
