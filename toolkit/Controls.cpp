#include "toolkit/Controls.h"

#include "toolkit/Application.h"

#include <algorithm>
#include <stdexcept>

namespace ravelin::toolkit {

std::string StripAccelerator(const std::string& caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') out.push_back('&'), ++i;
            continue;
        }
        out.push_back(caption[i]);
    }
    return out;
}

// ---- TComponent ----

TComponent::TComponent(TComponent* owner) : owner_(owner) {}
TComponent::~TComponent() {
    // Owned components go in reverse order of creation.
    while (!components_.empty())
        components_.pop_back();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (const auto& c : components_) {
        if (c->Name == name) return c.get();
        if (TComponent* inner = c->FindComponent(name)) return inner;
    }
    return nullptr;
}

TApplication& TComponent::Application() const {
    return TApplication::Instance();
}

// ---- TControl ----

TControl::~TControl() {
    SetParent(nullptr);
}

void TControl::SetParent(TWinControl* parent) {
    if (parent_) {
        auto& list = parent_->controls_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    parent_ = parent;
    if (parent_) parent_->controls_.push_back(this);
}

bool TControl::Showing() const {
    if (!Visible) return false;
    if (!parent_) return true;
    if (auto* sheet = dynamic_cast<const TTabSheet*>(this)) {
        auto* pc = dynamic_cast<const TPageControl*>(parent_);
        if (pc && (pc->ActivePage() != sheet || !sheet->TabVisible)) return false;
    }
    return parent_->Showing();
}

bool TControl::Reachable() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->Enabled) return false;
    return Showing();
}

TForm* TControl::ParentForm() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (auto* f = dynamic_cast<const TForm*>(c)) return const_cast<TForm*>(f);
    return nullptr;
}

void TControl::Click() {
    Fire(OnClick);
}

TWinControl::~TWinControl() {
    // Children may outlive this control (their owner frees them later): they must not
    // reach back into it.
    for (TControl* child : controls_)
        child->parent_ = nullptr;
    controls_.clear();
}

void TWinControl::SetFocus() {
    if (TForm* f = ParentForm()) f->SetActiveControl(this);
}

bool TWinControl::Focused() const {
    TForm* f = ParentForm();
    return f && f->ActiveControl() == this;
}

// ---- simple controls ----

void TLabel::SetCaption(const std::string& caption) {
    Caption = caption;
    if (AutoSize) Width = TApplication::TextWidth(caption);
}

void TLabel::Click() {
    Fire(OnClick);
    if (FocusControl && FocusControl->CanFocus()) FocusControl->SetFocus();
}

void TButton::Click() {
    Fire(OnClick);
    if (ModalResult != mrNone)
        if (TForm* f = ParentForm()) f->ModalResult = ModalResult;
}

void TCheckBox::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    Fire(OnClick);
}

void TRadioButton::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    if (!checked) return;
    if (TWinControl* p = Parent())
        for (TControl* sibling : p->Controls())
            if (auto* rb = dynamic_cast<TRadioButton*>(sibling); rb && rb != this)
                rb->checked_ = false;
    Fire(OnClick);
}

void TEdit::SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    Fire(OnChange);
}

void TUpDownEdit::SetPosition(int position) {
    position = std::clamp(position, Min, std::max(Min, Max));
    if (position == position_) return;
    position_ = position;
    Fire(OnChange);
}

void TTrackBar::SetPosition(int position) {
    position = std::clamp(position, Min, std::max(Min, Max));
    if (position == position_) return;
    position_ = position;
    Fire(OnChange);
}

// ---- TComboBox ----

int TComboBox::AddItem(const std::string& text, std::intptr_t data) {
    TStringItem item{text, nullptr, data};
    if (!Sorted) {
        Items.push_back(std::move(item));
        return static_cast<int>(Items.size()) - 1;
    }
    auto it =
        std::upper_bound(Items.begin(), Items.end(), text,
                         [](const std::string& t, const TStringItem& i) { return t < i.text; });
    int index = static_cast<int>(it - Items.begin());
    Items.insert(it, std::move(item));
    if (itemIndex_ >= index) ++itemIndex_;
    return index;
}

void TComboBox::ClearItems() {
    Items.clear();
    itemIndex_ = -1;
}

void TComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(Items.size())) index = -1;
    itemIndex_ = index;
    if (index >= 0)
        text_ = Items[static_cast<std::size_t>(index)].text;
    else if (Style == TComboBoxStyle::csDropDownList)
        text_.clear();
}

std::string TComboBox::Text() const {
    return text_;
}

void TComboBox::SetText(const std::string& text) {
    text_ = text;
    itemIndex_ = IndexOf(text);
    if (Style == TComboBoxStyle::csDropDownList && itemIndex_ < 0) text_.clear();
}

int TComboBox::IndexOf(const std::string& text) const {
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (Items[i].text == text) return static_cast<int>(i);
    return -1;
}

void TComboBox::UserSelect(int index) {
    SetItemIndex(index);
    Fire(OnSelect ? OnSelect : OnChange);
}

void TComboBox::UserType(const std::u16string& keys) {
    for (char16_t key : keys) {
        char16_t k = key;
        if (OnKeyPress) OnKeyPress(*this, k);
        if (k == 0) continue; // discarded
        std::u16string one(1, k);
        std::string utf8;
        if (k == 8) {
            // Backspace removes the last character.
            while (!text_.empty() && (static_cast<unsigned char>(text_.back()) & 0xC0) == 0x80)
                text_.pop_back();
            if (!text_.empty()) text_.pop_back();
        } else {
            char32_t c = k;
            if (c < 0x80)
                utf8.push_back(static_cast<char>(c));
            else if (c < 0x800)
                utf8 += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
            else
                utf8 += {static_cast<char>(0xE0 | (c >> 12)),
                         static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                         static_cast<char>(0x80 | (c & 0x3F))};
            text_ += utf8;
        }
        itemIndex_ = IndexOf(text_);
        Fire(OnChange);
    }
}

// ---- TListView ----

void TListItem::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    if (owner_->OnChange) owner_->OnChange(*owner_, *this, TItemChange::ctState);
}

void TListItem::SetSelected(bool selected) {
    if (selected == selected_) return;
    if (selected && !owner_->MultiSelect)
        for (auto& other : owner_->items_)
            if (other.get() != this && other->selected_) other->SetSelected(false);
    selected_ = selected;
    Focused = selected;
    if (owner_->OnChange) owner_->OnChange(*owner_, *this, TItemChange::ctState);
    if (owner_->OnSelectItem) owner_->OnSelectItem(*owner_, *this, selected);
}

int TListItem::Index() const {
    for (int i = 0; i < owner_->Count(); ++i)
        if (&owner_->Item(i) == this) return i;
    return -1;
}

TListItem& TListView::Add() {
    items_.push_back(std::unique_ptr<TListItem>(new TListItem(this)));
    return *items_.back();
}

void TListView::Clear() {
    items_.clear();
}
void TListView::Delete(int index) {
    items_.erase(items_.begin() + index);
}

TListItem* TListView::Selected() const {
    for (const auto& i : items_)
        if (i->Selected()) return i.get();
    return nullptr;
}

TListItem* TListView::FindCaption(const std::string& caption) const {
    for (const auto& i : items_)
        if (i->Caption == caption) return i.get();
    return nullptr;
}

void TListView::SortByCaption() {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const auto& a, const auto& b) { return a->Caption < b->Caption; });
}

// ---- TBigCheckListBox ----

int TBigCheckListBox::AddItem(const std::string& text) {
    Items.push_back(text);
    checks_.push_back(false);
    data_.push_back(0);
    return static_cast<int>(Items.size()) - 1;
}
bool TBigCheckListBox::GetCheck(int index) const {
    return checks_.at(static_cast<std::size_t>(index));
}
void TBigCheckListBox::SetCheck(int index, bool checked) {
    checks_.at(static_cast<std::size_t>(index)) = checked;
}
std::intptr_t TBigCheckListBox::GetMyItemData(int index) const {
    return data_.at(static_cast<std::size_t>(index));
}
void TBigCheckListBox::SetMyItemData(int index, std::intptr_t value) {
    data_.at(static_cast<std::size_t>(index)) = value;
}

// ---- TTreeView ----

TTreeNode& TTreeNode::AddChild(const std::string& text) {
    auto node = std::make_unique<TTreeNode>();
    node->Text = text;
    node->parent_ = this;
    children_.push_back(std::move(node));
    return *children_.back();
}

std::string TTreeNode::Path() const {
    return parent_ ? parent_->Path() + "/" + Text : Text;
}

TTreeNode& TTreeView::AddRoot(const std::string& text) {
    auto node = std::make_unique<TTreeNode>();
    node->Text = text;
    roots_.push_back(std::move(node));
    return *roots_.back();
}

void TTreeView::Clear() {
    roots_.clear();
    selected_ = nullptr;
}

void TTreeView::SetSelected(TTreeNode* node) {
    if (node == selected_) return;
    selected_ = node;
    if (OnChange) OnChange(*this, node);
}

TTreeNode* TTreeView::FindPath(const std::string& path) const {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t sep = path.find('/', start);
        if (sep == std::string::npos) sep = path.size();
        parts.push_back(path.substr(start, sep - start));
        start = sep + 1;
    }
    const std::vector<std::unique_ptr<TTreeNode>>* level = &roots_;
    TTreeNode* found = nullptr;
    for (const auto& part : parts) {
        found = nullptr;
        for (const auto& n : *level)
            if (n->Text == part) {
                found = n.get();
                break;
            }
        if (!found) return nullptr;
        level = &found->Children();
    }
    return found;
}

void TTreeView::Sort() {
    auto less = [&](const std::unique_ptr<TTreeNode>& a, const std::unique_ptr<TTreeNode>& b) {
        return OnCompare ? OnCompare(*this, *a, *b) < 0 : a->Text < b->Text;
    };
    std::function<void(std::vector<std::unique_ptr<TTreeNode>>&)> sortLevel = [&](auto& level) {
        std::stable_sort(level.begin(), level.end(), less);
        for (auto& n : level)
            sortLevel(const_cast<std::vector<std::unique_ptr<TTreeNode>>&>(n->Children()));
    };
    sortLevel(roots_);
}

// ---- TTimer ----

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    TApplication::Instance().AddTimer(this);
}
TTimer::~TTimer() {
    TApplication::Instance().RemoveTimer(this);
}

void TTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled) TApplication::Instance().ScheduleTimer(this);
}

// ---- TPageControl ----

int TTabSheet::PageIndex() const {
    auto* pc = dynamic_cast<TPageControl*>(Parent());
    if (!pc) return -1;
    auto pages = pc->Pages();
    return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

std::vector<TTabSheet*> TPageControl::Pages() const {
    std::vector<TTabSheet*> out;
    for (TControl* c : Controls())
        if (auto* s = dynamic_cast<TTabSheet*>(c)) out.push_back(s);
    return out;
}

void TPageControl::SetActivePage(TTabSheet* sheet) {
    if (sheet == active_) return;
    TTabSheet* old = active_;
    // The focus cannot stay on a sheet that goes away.
    if (TForm* f = ParentForm(); f && old && f->ActiveControl()) {
        for (TControl* c = f->ActiveControl(); c; c = c->Parent())
            if (c == old) {
                f->SetActiveControl(this);
                break;
            }
    }
    if (old) old->Fire(old->OnHide);
    active_ = sheet;
    if (sheet) sheet->Fire(sheet->OnShow);
}

// ---- TForm ----

void TForm::SetActiveControl(TWinControl* control) {
    if (control == active_) return;
    // The chains of containers from the form down to each control.
    auto chain = [](TWinControl* c) {
        std::vector<TWinControl*> out;
        for (TControl* p = c; p; p = p->Parent())
            if (auto* w = dynamic_cast<TWinControl*>(p)) out.push_back(w);
        std::reverse(out.begin(), out.end()); // outermost first
        return out;
    };
    std::vector<TWinControl*> from = active_ ? chain(active_) : std::vector<TWinControl*>{};
    std::vector<TWinControl*> to = control ? chain(control) : std::vector<TWinControl*>{};
    std::size_t common = 0;
    while (common < from.size() && common < to.size() && from[common] == to[common])
        ++common;
    active_ = control;
    for (std::size_t i = from.size(); i > common; --i)
        from[i - 1]->Fire(from[i - 1]->OnExit); // innermost first
    for (std::size_t i = common; i < to.size(); ++i)
        to[i]->Fire(to[i]->OnEnter); // outermost first
}

int TForm::ShowModal() {
    return Application().RunModal(*this);
}

} // namespace ravelin::toolkit
