#include "toolkit/Controls.h"

#include "toolkit/Application.h"

#include "host/text/Text.h"
#include "toolkit/TextCompare.h"

#include <algorithm>
#include <cstdio>
#include <limits>
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
    SetAction(nullptr);
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

void TControl::SetAction(TAction* action) {
    if (action_) {
        auto& list = action_->controls_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    action_ = action;
    if (action_) {
        action_->controls_.push_back(this);
        action_->apply(*this);
    }
}

TPoint TControl::ClientToScreen(TPoint p) const {
    for (const TControl* c = this; c && !dynamic_cast<const TForm*>(c); c = c->parent_)
        p.X += c->Left, p.Y += c->Top;
    return p;
}

TPoint TControl::ScreenToClient(TPoint p) const {
    const TPoint origin = ClientToScreen({0, 0});
    return {p.X - origin.X, p.Y - origin.Y};
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
    if (OnClick)
        Fire(OnClick);
    else if (action_)
        action_->Execute();
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
    // The result first: a validating handler may reset it to keep its dialog open.
    if (ModalResult != mrNone)
        if (TForm* f = ParentForm()) f->ModalResult = ModalResult;
    TControl::Click();
}

void TSpeedButton::SetDown(bool down) {
    if (down == down_) return;
    down_ = down;
    if (!down || GroupIndex == 0 || !Parent()) return;
    for (TControl* sibling : Parent()->Controls())
        if (auto* sb = dynamic_cast<TSpeedButton*>(sibling);
            sb && sb != this && sb->GroupIndex == GroupIndex)
            sb->down_ = false;
}

void TSpeedButton::Click() {
    if (GroupIndex != 0) {
        if (!down_)
            SetDown(true);
        else if (AllowAllUp)
            SetDown(false);
    }
    TControl::Click();
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

// ---- TMemo ----

std::vector<std::string> TMemo::SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line.push_back(text[i]);
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

std::vector<std::string> TMemoLines::ToVector() const {
    return TMemo::SplitLines(memo_.Text());
}

int TMemoLines::Count() const {
    return static_cast<int>(ToVector().size());
}

std::string TMemoLines::operator[](int index) const {
    return ToVector().at(static_cast<std::size_t>(index));
}

void TMemoLines::Add(const std::string& line) {
    std::string text = memo_.Text();
    if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += "\r\n";
    memo_.SetText(text + line);
}

void TMemoLines::Clear() {
    memo_.SetText("");
}

std::string TMemoLines::Text() const {
    std::string out;
    for (const auto& line : ToVector())
        out += line + "\r\n";
    return out;
}

void TMemoLines::SetText(const std::string& text) {
    std::string joined;
    const auto lines = TMemo::SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i)
        joined += (i ? "\r\n" : "") + lines[i];
    memo_.SetText(joined);
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

namespace {
bool textLess(const std::string& a, const std::string& b) {
    return AnsiCompareText(a, b) < 0;
}
} // namespace

void TComboBox::SetSorted(bool sorted) {
    Sorted = sorted;
    if (!sorted) return;
    const TStringItem* selected =
        itemIndex_ >= 0 ? &Items[static_cast<std::size_t>(itemIndex_)] : nullptr;
    std::string selectedText = selected ? selected->text : std::string();
    std::stable_sort(Items.begin(), Items.end(), [](const TStringItem& a, const TStringItem& b) {
        return textLess(a.text, b.text);
    });
    if (selected) itemIndex_ = IndexOf(selectedText);
}

int TComboBox::AddItem(const std::string& text, std::intptr_t data) {
    TStringItem item{text, nullptr, data};
    if (!Sorted) {
        Items.push_back(std::move(item));
        return static_cast<int>(Items.size()) - 1;
    }
    auto it = std::upper_bound(
        Items.begin(), Items.end(), text,
        [](const std::string& t, const TStringItem& i) { return textLess(t, i.text); });
    int index = static_cast<int>(it - Items.begin());
    Items.insert(it, std::move(item));
    if (itemIndex_ >= index) ++itemIndex_;
    return index;
}

int TComboBox::AddObject(const std::string& text, std::shared_ptr<void> object) {
    int index = AddItem(text);
    Items[static_cast<std::size_t>(index)].object = std::move(object);
    return index;
}

void TComboBox::ClearItems() {
    Items.clear();
    itemIndex_ = -1;
    text_.clear();
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
    if (Style == TComboBoxStyle::csDropDownList) {
        if (itemIndex_ < 0)
            text_.clear();
        else
            text_ = Items[static_cast<std::size_t>(itemIndex_)].text;
    }
}

int TComboBox::IndexOf(const std::string& text) const {
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (Items[i].text == text) return static_cast<int>(i);
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (AnsiSameText(Items[i].text, text)) return static_cast<int>(i);
    return -1;
}

void TComboBox::UserSelect(int index) {
    SetItemIndex(index);
    Fire(OnSelect ? OnSelect : OnChange);
}

void TComboBox::UserType(const std::u16string& keys, TCaret caret) {
    for (char16_t key : keys) {
        char16_t k = key;
        if (OnKeyPress) OnKeyPress(*this, k);
        if (k == 0) continue; // discarded
        std::u16string typed = text::utf8ToUtf16(text_);
        ApplyKey(typed, caret, k);
        text_ = text::utf16ToUtf8(typed);
        itemIndex_ = -1;
        for (std::size_t i = 0; i < Items.size(); ++i)
            if (Items[i].text == text_) itemIndex_ = static_cast<int>(i);
        Fire(OnChange);
    }
}

void ApplyKey(std::u16string& text, TCaret& caret, char16_t key, int maxLength) {
    const int size = static_cast<int>(text.size());
    int start = caret.start < 0 || caret.start > size ? size : caret.start;
    int length = std::clamp(caret.length, 0, size - start);
    auto isLow = [](char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
    auto isHigh = [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
    if (key == 8) {
        if (length == 0 && start > 0) {
            // One character back, both halves of a pair.
            length = start >= 2 && isLow(text[start - 1]) && isHigh(text[start - 2]) ? 2 : 1;
            start -= length;
        }
        text.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    } else {
        if (maxLength > 0 && size - length >= maxLength) {
            caret = {start, length};
            return;
        }
        text.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(length), 1, key);
        ++start;
    }
    caret = {start, 0};
}

// ---- TListView ----

TListItem::TListItem(TListView* owner)
    : ImageIndex(-1,
                 [this] {
                     if (owner_->OnChange) owner_->OnChange(*owner_, *this, TItemChange::ctImage);
                 }),
      owner_(owner) {}

void TListItem::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    if (owner_->OnChange) owner_->OnChange(*owner_, *this, TItemChange::ctState);
    if (owner_->OnItemChecked) owner_->OnItemChecked(*owner_, *this);
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
    owner_->keepSorted();
    for (std::size_t i = 0; i < owner_->items_.size(); ++i)
        if (owner_->items_[i].get() == this) return static_cast<int>(i);
    return -1;
}

void TListItem::Delete() {
    owner_->Delete(Index());
}

TListItem& TListView::Add() {
    items_.push_back(std::unique_ptr<TListItem>(new TListItem(this)));
    return *items_.back();
}

TListItem& TListView::Insert(int index) {
    keepSorted();
    index = std::clamp(index, 0, Count());
    auto it =
        items_.insert(items_.begin() + index, std::unique_ptr<TListItem>(new TListItem(this)));
    return **it;
}

void TListView::Clear() {
    items_.clear();
}

void TListView::Delete(int index) {
    keepSorted();
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
}

TListItem& TListView::Item(int index) const {
    keepSorted();
    return *items_.at(static_cast<std::size_t>(index));
}

TListItem* TListView::Selected() const {
    keepSorted();
    for (const auto& i : items_)
        if (i->Selected()) return i.get();
    return nullptr;
}

void TListView::SetSelected(TListItem* item) {
    if (item) {
        item->SetSelected(true);
        return;
    }
    for (const auto& i : items_)
        i->SetSelected(false);
}

TListItem* TListView::ItemFocused() const {
    keepSorted();
    for (const auto& i : items_)
        if (i->Focused) return i.get();
    return nullptr;
}

TListItem* TListView::FindCaption(int start, const std::string& value, bool partial, bool inclusive,
                                  bool wrap) const {
    keepSorted();
    const int n = Count();
    if (n == 0) return nullptr;
    int first = std::max(0, inclusive ? start : start + 1);
    auto matches = [&](int i) {
        const std::string& c = items_[static_cast<std::size_t>(i)]->Caption;
        return partial ? AnsiStartsText(value, c) : AnsiSameText(value, c);
    };
    for (int i = first; i < n; ++i)
        if (matches(i)) return items_[static_cast<std::size_t>(i)].get();
    if (wrap)
        for (int i = 0; i < std::min(first, n); ++i)
            if (matches(i)) return items_[static_cast<std::size_t>(i)].get();
    return nullptr;
}

TListItem* TListView::FindCaption(const std::string& caption) const {
    // An exact match wins over one that differs in case only.
    keepSorted();
    for (const auto& i : items_)
        if (i->Caption == caption) return i.get();
    return FindCaption(0, caption, false, true, false);
}

TListItem* TListView::FindData(int start, std::intptr_t data, bool inclusive, bool wrap) const {
    keepSorted();
    const int n = Count();
    int first = std::max(0, inclusive ? start : start + 1);
    for (int i = first; i < n; ++i)
        if (items_[static_cast<std::size_t>(i)]->Data == data)
            return items_[static_cast<std::size_t>(i)].get();
    if (wrap)
        for (int i = 0; i < std::min(first, n); ++i)
            if (items_[static_cast<std::size_t>(i)]->Data == data)
                return items_[static_cast<std::size_t>(i)].get();
    return nullptr;
}

int TListView::compare(TListItem& a, TListItem& b) {
    if (SortType != TSortType::stText && OnCompare) {
        int result = 0;
        OnCompare(*this, a, b, 0, result);
        return result;
    }
    return AnsiCompareText(a.Caption, b.Caption);
}

void TListView::keepSorted() const {
    if (SortType == TSortType::stNone || items_.size() < 2) return;
    auto* self = const_cast<TListView*>(this);
    auto less = [self](const auto& a, const auto& b) { return self->compare(*a, *b) < 0; };
    if (!std::is_sorted(items_.begin(), items_.end(), less))
        std::stable_sort(items_.begin(), items_.end(), less);
}

void TListView::AlphaSort() {
    std::stable_sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
        return AnsiCompareText(a->Caption, b->Caption) < 0;
    });
}

void TListView::CustomSort(const std::function<int(TListItem&, TListItem&)>& compare) {
    std::stable_sort(items_.begin(), items_.end(), [&](const auto& a, const auto& b) {
        if (compare) return compare(*a, *b) < 0;
        if (OnCompare) {
            int result = 0;
            OnCompare(*this, *a, *b, 0, result);
            return result < 0;
        }
        return AnsiCompareText(a->Caption, b->Caption) < 0;
    });
}

// ---- TBigCheckListBox ----

int TBigCheckListBox::AddItem(const std::string& text) {
    Items.push_back(text);
    checks_.push_back(false);
    data_.push_back(0);
    return static_cast<int>(Items.size()) - 1;
}
void TBigCheckListBox::Clear() {
    Items.clear();
    checks_.clear();
    data_.clear();
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
    node->tree_ = tree_;
    children_.push_back(std::move(node));
    return *children_.back();
}

int TTreeNode::Index() const {
    const auto& siblings = parent_ ? parent_->children_ : tree_->roots_;
    for (std::size_t i = 0; i < siblings.size(); ++i)
        if (siblings[i].get() == this) return static_cast<int>(i);
    return -1;
}

int TTreeNode::Level() const {
    int level = 0;
    for (TTreeNode* p = parent_; p; p = p->parent_)
        ++level;
    return level;
}

void TTreeNode::Expand(bool recursive) {
    Expanded = true;
    if (recursive)
        for (auto& c : children_)
            c->Expand(true);
}

void TTreeNode::Collapse(bool recursive) {
    Expanded = false;
    if (recursive)
        for (auto& c : children_)
            c->Collapse(true);
}

void TTreeNode::MakeVisible() {
    for (TTreeNode* p = parent_; p; p = p->parent_)
        p->Expanded = true;
}

bool TTreeNode::Selected() const {
    return tree_ && tree_->Selected() == this;
}

void TTreeNode::Delete() {
    tree_->Delete(*this);
}

void TTreeNode::DeleteChildren() {
    while (!children_.empty())
        tree_->Delete(*children_.back());
}

std::string TTreeNode::Path() const {
    return parent_ ? parent_->Path() + "/" + Text : Text;
}

TTreeNode& TTreeView::AddRoot(const std::string& text) {
    auto node = std::make_unique<TTreeNode>();
    node->Text = text;
    node->tree_ = this;
    roots_.push_back(std::move(node));
    return *roots_.back();
}

int TTreeView::Count() const {
    std::function<int(const std::vector<std::unique_ptr<TTreeNode>>&)> count =
        [&](const auto& level) {
            int n = 0;
            for (const auto& node : level)
                n += 1 + count(node->Children());
            return n;
        };
    return count(roots_);
}

void TTreeView::Clear() {
    if (selected_) SetSelected(nullptr);
    while (!roots_.empty())
        Delete(*roots_.back());
}

void TTreeView::forgetSelection(TTreeNode& going) {
    for (TTreeNode* n = selected_; n; n = n->parent_)
        if (n == &going) {
            SetSelected(nullptr);
            return;
        }
}

void TTreeView::Delete(TTreeNode& node) {
    // Children first, as the system frees them, each announced before it goes.
    while (!node.children_.empty())
        Delete(*node.children_.back());
    forgetSelection(node);
    if (OnDeletion) OnDeletion(*this, &node);
    auto& siblings = node.parent_ ? node.parent_->children_ : roots_;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                  [&](const auto& n) { return n.get() == &node; }),
                   siblings.end());
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
        if (!found)
            for (const auto& n : *level)
                if (AnsiSameText(n->Text, part)) {
                    found = n.get();
                    break;
                }
        if (!found) return nullptr;
        level = &found->Children();
    }
    return found;
}

std::vector<TTreeNode*> TTreeView::ShownNodes() const {
    std::vector<TTreeNode*> out;
    std::function<void(const std::vector<std::unique_ptr<TTreeNode>>&)> walk =
        [&](const auto& level) {
            for (const auto& n : level) {
                out.push_back(n.get());
                if (n->Expanded) walk(n->Children());
            }
        };
    walk(roots_);
    return out;
}

TRect TTreeView::NodeRect(const TTreeNode& node) const {
    const auto shown = ShownNodes();
    auto it = std::find(shown.begin(), shown.end(), &node);
    if (it == shown.end()) return {};
    const int row = static_cast<int>(it - shown.begin());
    const int left = (node.Level() + (ShowRoot ? 1 : 0)) * Indent;
    return {left, row * ItemHeight, std::max(left + 1, Width), (row + 1) * ItemHeight};
}

TTreeNode* TTreeView::GetNodeAt(int x, int y) const {
    if (y < 0 || x < 0) return nullptr;
    const auto shown = ShownNodes();
    const auto row = static_cast<std::size_t>(y / std::max(1, ItemHeight));
    if (row >= shown.size()) return nullptr;
    // Left of the node's indentation is the tree's lines and buttons, not the node.
    TTreeNode* node = shown[row];
    return x >= NodeRect(*node).Left ? node : nullptr;
}

namespace {
void sortLevel(std::vector<std::unique_ptr<TTreeNode>>& level,
               const std::function<bool(TTreeNode&, TTreeNode&)>& less) {
    std::stable_sort(level.begin(), level.end(),
                     [&](const auto& a, const auto& b) { return less(*a, *b); });
    for (auto& n : level)
        sortLevel(const_cast<std::vector<std::unique_ptr<TTreeNode>>&>(n->Children()), less);
}
} // namespace

void TTreeView::Sort() {
    sortLevel(roots_, [&](TTreeNode& a, TTreeNode& b) {
        return OnCompare ? OnCompare(*this, a, b) < 0 : AnsiCompareText(a.Text, b.Text) < 0;
    });
}

void TTreeView::CustomSort(const std::function<int(TTreeNode&, TTreeNode&)>& compare) {
    if (!compare) return Sort();
    sortLevel(roots_, [&](TTreeNode& a, TTreeNode& b) { return compare(a, b) < 0; });
}

// ---- TTimer ----

TTimer::TTimer(TComponent* owner)
    : TComponent(owner), Interval(1000, [this] {
          if (enabled_) TApplication::Instance().ScheduleTimer(this);
      }) {
    TApplication::Instance().AddTimer(this);
}
TTimer::~TTimer() {
    TApplication::Instance().RemoveTimer(this);
}

void TTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled) TApplication::Instance().ScheduleTimer(this);
}

// ---- menus and actions ----

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
    SetAction(nullptr);
    for (TMenuItem* child : Items)
        child->parent_ = nullptr;
    if (parent_) {
        auto& list = parent_->Items;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    } else if (menu_) {
        auto& list = menu_->Items;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

TPopupMenu* TMenuItem::Menu() const {
    const TMenuItem* top = this;
    while (top->parent_)
        top = top->parent_;
    return top->menu_;
}

void TMenuItem::Add(TMenuItem& item) {
    item.parent_ = this;
    Items.push_back(&item);
}

void TMenuItem::SetAction(TAction* action) {
    if (action_) {
        auto& list = action_->menuItems_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    action_ = action;
    if (action_) {
        action_->menuItems_.push_back(this);
        action_->apply(*this);
    }
}

void TMenuItem::Click() {
    if (OnClick)
        OnClick(*this);
    else if (action_)
        action_->Execute();
}

TPopupMenu::~TPopupMenu() {
    for (TMenuItem* item : Items)
        item->menu_ = nullptr;
    if (IsOpen()) TApplication::Instance().CloseMenu();
}

void TPopupMenu::Add(TMenuItem& item) {
    item.menu_ = this;
    Items.push_back(&item);
}

void TPopupMenu::Popup(int x, int y) {
    point_ = {x, y};
    if (OnPopup) OnPopup(*this);
    TApplication::Instance().OpenMenu(this);
}

bool TPopupMenu::IsOpen() const {
    return TApplication::Instance().OpenedMenu() == this;
}

TAction::TAction(TComponent* owner)
    : TComponent(owner), Caption("", [this] { changed(); }), Enabled(true, [this] { changed(); }),
      Visible(true, [this] { changed(); }), Checked(false, [this] { changed(); }) {}

TAction::~TAction() {
    for (TControl* c : controls_)
        c->action_ = nullptr;
    for (TMenuItem* m : menuItems_)
        m->action_ = nullptr;
}

void TAction::apply(TControl& c) const {
    c.Caption = Caption;
    c.Enabled = Enabled;
    c.Visible = Visible;
    if (!Hint.empty()) c.Hint = Hint;
}

void TAction::apply(TMenuItem& m) const {
    m.Caption = Caption;
    m.Enabled = Enabled;
    m.Visible = Visible;
    m.Checked = Checked;
}

void TAction::changed() {
    for (TControl* c : controls_)
        apply(*c);
    for (TMenuItem* m : menuItems_)
        apply(*m);
}

bool TAction::Execute() {
    if (!Enabled || !OnExecute) return false;
    OnExecute(*this);
    return true;
}

std::vector<TAction*> TActionList::Actions() const {
    std::vector<TAction*> out;
    for (const auto& c : Components())
        if (auto* a = dynamic_cast<TAction*>(c.get())) out.push_back(a);
    if (out.empty() && Owner())
        for (const auto& c : Owner()->Components())
            if (auto* a = dynamic_cast<TAction*>(c.get())) out.push_back(a);
    return out;
}

void TActionList::UpdateActions() {
    for (TAction* a : Actions())
        if (a->OnUpdate) a->OnUpdate(*a);
}

// ---- dialogs as components ----

bool TOpenDialog::Execute() {
    DialogService* service = TApplication::Instance().Dialogs();
    if (!service) return false;
    FileDialogRequest request;
    request.title = Title;
    request.filter = Filter;
    request.initialFolder = InitialDir;
    request.fileName = FileName;
    request.fileMustExist = FileMustExist;
    request.pathMustExist = PathMustExist || FileMustExist;
    std::optional<std::string> chosen = service->openFile(request);
    if (!chosen) return false;
    FileName = *chosen;
    return true;
}

bool TColorDialog::Execute() {
    DialogService* service = TApplication::Instance().Dialogs();
    if (!service) return false;
    auto toColor = [](std::uint32_t c) {
        return ravelin::toolkit::Color{static_cast<int>(c & 0xFF),
                                       static_cast<int>((c >> 8) & 0xFF),
                                       static_cast<int>((c >> 16) & 0xFF)};
    };
    auto fromColor = [](const ravelin::toolkit::Color& c) {
        return static_cast<std::uint32_t>(c.r & 0xFF) |
               static_cast<std::uint32_t>(c.g & 0xFF) << 8 |
               static_cast<std::uint32_t>(c.b & 0xFF) << 16;
    };
    // "ColorA=BBGGRR" .. "ColorP=BBGGRR": the hex text reads as the colour value itself.
    std::vector<ravelin::toolkit::Color> custom(16, ravelin::toolkit::Color{255, 255, 255});
    for (const auto& entry : CustomColors) {
        if (entry.size() < 8 || entry.compare(0, 5, "Color") != 0 || entry[6] != '=') continue;
        const int slot = entry[5] - 'A';
        if (slot < 0 || slot >= 16) continue;
        try {
            custom[static_cast<std::size_t>(slot)] =
                toColor(static_cast<std::uint32_t>(std::stoul(entry.substr(7), nullptr, 16)));
        } catch (const std::exception&) {
        }
    }
    std::optional<ravelin::toolkit::Color> chosen = service->chooseColor(toColor(Color), custom);
    if (!chosen) return false;
    Color = fromColor(*chosen);
    CustomColors.clear();
    for (std::size_t i = 0; i < custom.size(); ++i) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "Color%c=%06X", static_cast<char>('A' + i),
                      fromColor(custom[i]));
        CustomColors.emplace_back(buffer);
    }
    return true;
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
    if (old) {
        old->shown_ = false;
        old->Fire(old->OnHide);
    }
    active_ = sheet;
    if (sheet) {
        sheet->shown_ = true;
        sheet->Fire(sheet->OnShow);
    }
}

// ---- TForm ----

TForm::~TForm() {
    BeforeDestruction();
}

void TForm::BeforeDestruction() {
    if (destroyed_) return;
    destroyed_ = true;
    Fire(OnDestroy);
}

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
    TWinControl* leaving = active_;
    active_ = control;
    auto exits = [&] {
        for (std::size_t i = from.size(); i > common; --i)
            from[i - 1]->Fire(from[i - 1]->OnExit); // innermost first
    };
    const bool handled = std::any_of(from.begin() + static_cast<std::ptrdiff_t>(common), from.end(),
                                     [](TWinControl* w) { return bool(w->OnExit); });
    if (handled && Application().OnFocusExit)
        Application().OnFocusExit(*leaving, exits);
    else
        exits();
    for (std::size_t i = common; i < to.size(); ++i)
        to[i]->Fire(to[i]->OnEnter); // outermost first
}

void TForm::Show() {
    shown_ = true;
    Fire(OnShow);
    // Walk the page controls; each active sheet not yet shown in this activation gets its
    // OnShow (outer sheets before the sheets inside them).
    std::function<void(TWinControl&)> walk = [&](TWinControl& container) {
        for (TControl* child : std::vector<TControl*>(container.Controls())) {
            if (!child->Visible) continue;
            if (auto* pc = dynamic_cast<TPageControl*>(child)) {
                TTabSheet* sheet = pc->ActivePage();
                if (sheet && !sheet->shown_ && sheet->Showing()) {
                    sheet->shown_ = true;
                    sheet->Fire(sheet->OnShow);
                }
                if (pc->ActivePage()) walk(*pc->ActivePage());
                continue;
            }
            if (auto* w = dynamic_cast<TWinControl*>(child)) walk(*w);
        }
    };
    walk(*this);
}

void TForm::Hide() {
    shown_ = false;
    std::function<void(TWinControl&)> walk = [&](TWinControl& container) {
        for (TControl* child : container.Controls()) {
            if (auto* sheet = dynamic_cast<TTabSheet*>(child)) sheet->shown_ = false;
            if (auto* w = dynamic_cast<TWinControl*>(child)) walk(*w);
        }
    };
    walk(*this);
}

int TForm::ShowModal() {
    return Application().RunModal(*this);
}

namespace {
TButton* findButton(const TWinControl& container, bool TButton::*flag) {
    for (TControl* child : container.Controls()) {
        if (auto* b = dynamic_cast<TButton*>(child); b && b->*flag && b->Reachable()) return b;
        if (auto* w = dynamic_cast<TWinControl*>(child))
            if (TButton* inner = findButton(*w, flag)) return inner;
    }
    return nullptr;
}
} // namespace

TButton* TForm::DefaultButton() const {
    return findButton(*this, &TButton::Default);
}

TButton* TForm::CancelButton() const {
    return findButton(*this, &TButton::Cancel);
}

namespace {

struct Band {
    int top, bottom;
};

// The length of the union of `bands` above `y`.
int coveredAbove(const std::vector<Band>& bands, int y) {
    int total = 0, reached = std::numeric_limits<int>::min();
    for (const Band& b : bands) { // sorted by top
        const int top = std::max(b.top, reached), bottom = std::min(b.bottom, y);
        if (bottom > top) total += bottom - top;
        reached = std::max(reached, b.bottom);
    }
    return total;
}

// Removes the spans shown controls cover from the bands.
std::vector<Band> uncovered(std::vector<Band> bands, const std::vector<Band>& shown) {
    for (const Band& s : shown) {
        std::vector<Band> rest;
        for (const Band& b : bands) {
            if (s.bottom <= b.top || s.top >= b.bottom) {
                rest.push_back(b);
                continue;
            }
            if (b.top < s.top) rest.push_back({b.top, s.top});
            if (s.bottom < b.bottom) rest.push_back({s.bottom, b.bottom});
        }
        bands = std::move(rest);
    }
    std::sort(bands.begin(), bands.end(),
              [](const Band& a, const Band& b) { return a.top < b.top; });
    return bands;
}

// Closes the gaps of one container; returns how much of its height it no longer needs.
int closeGapsIn(TWinControl& container, int anchoredBelow) {
    std::vector<TControl*> moving; // shown, not anchored
    std::vector<TControl*> hidden;
    std::vector<Band> bands;
    for (TControl* c : container.Controls()) {
        auto* sheet = dynamic_cast<TTabSheet*>(c);
        if (sheet) continue; // pages of a page control do not stack
        if (!c->Visible) {
            hidden.push_back(c);
        } else if (!(dynamic_cast<TButton*>(c) && c->Top > anchoredBelow)) {
            moving.push_back(c);
            // A group that lost rows frees its lower part.
            if (auto* group = dynamic_cast<TGroupBox*>(c))
                if (const int lost = closeGapsIn(*group, anchoredBelow); lost > 0) {
                    bands.push_back({c->Top + c->Height - lost, c->Top + c->Height});
                    c->Height -= lost;
                }
        }
    }
    if (moving.empty()) return 0;
    for (TControl* h : hidden) {
        const int bottom = h->Top + h->Height;
        int nextTop = std::numeric_limits<int>::max(), lastBottom = std::numeric_limits<int>::min();
        for (TControl* m : moving) {
            if (m->Top >= bottom) nextTop = std::min(nextTop, m->Top);
            if (m->Top + m->Height <= h->Top) lastBottom = std::max(lastBottom, m->Top + m->Height);
        }
        if (nextTop != std::numeric_limits<int>::max())
            bands.push_back({h->Top, nextTop});
        else if (lastBottom != std::numeric_limits<int>::min())
            bands.push_back({lastBottom, bottom});
    }
    std::vector<Band> shown;
    for (TControl* m : moving)
        shown.push_back({m->Top, m->Top + m->Height});
    bands = uncovered(std::move(bands), shown);
    if (bands.empty()) return 0;
    // Shifts are measured on the tops as designed, then applied together.
    std::vector<int> shifts;
    for (TControl* m : moving)
        shifts.push_back(coveredAbove(bands, m->Top));
    for (std::size_t i = 0; i < moving.size(); ++i)
        moving[i]->Top -= shifts[i];
    return coveredAbove(bands, std::numeric_limits<int>::max());
}

} // namespace

void CloseGaps(TWinControl& container, int anchoredBelow) {
    const int lost = closeGapsIn(container, anchoredBelow);
    if (dynamic_cast<TGroupBox*>(&container)) container.Height -= lost;
}

void EnableComponents(bool enabled, TComponent& container) {
    for (const auto& owned : container.Components()) {
        TComponent* c = owned.get();
        if (dynamic_cast<TCheckBox*>(c) || dynamic_cast<TRadioButton*>(c) ||
            dynamic_cast<TSpeedButton*>(c) || dynamic_cast<TButton*>(c) ||
            dynamic_cast<TTrackBar*>(c) || dynamic_cast<TComboBox*>(c) || dynamic_cast<TEdit*>(c) ||
            dynamic_cast<TTreeView*>(c) || dynamic_cast<TListView*>(c) ||
            dynamic_cast<TUpDownEdit*>(c) || dynamic_cast<TShape*>(c))
            static_cast<TControl*>(c)->Enabled = enabled;
    }
}

} // namespace ravelin::toolkit
