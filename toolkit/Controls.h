// The headless form toolkit the pages are written against: components with the classic
// event semantics. Front ends (the command line, the Qt window, tests) only render the
// components and feed user actions to them through the user driver.
//
// Event rules:
//  - Setting TCheckBox::Checked fires OnClick when the state changes.
//  - Setting TRadioButton::Checked to true fires its OnClick when it was unchecked and
//    unchecks its siblings in the same parent without firing theirs.
//  - Setting TEdit/TMemo text fires OnChange when the text changes.
//  - Setting TComboBox::ItemIndex or its text from code fires nothing; a user's selection
//    fires OnSelect when bound, else OnChange; user typing in an editable combo fires
//    OnKeyPress per key (which may discard it), then OnChange.
//  - TTrackBar/TUpDownEdit position changes fire OnChange when the value changes.
//  - List-view item check or selection changes, from code or user, fire OnChange (item,
//    change); selection also fires OnSelectItem.
//  - TPageControl::ActivePage fires the old sheet's OnHide and the new one's OnShow.
//  - Focus moves fire OnExit up the chain of containers that lose the focus (innermost
//    first), then OnEnter down the new chain (outermost first).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ravelin::toolkit {

class TComponent;
class TControl;
class TWinControl;
class TForm;
class TApplication;

using TNotifyEvent = std::function<void(TComponent& sender)>;
using TKeyPressEvent = std::function<void(TComponent& sender, char16_t& key)>;
enum class TMouseButton { mbLeft, mbRight, mbMiddle };
using TMouseEvent = std::function<void(TComponent& sender, TMouseButton button, int x, int y)>;

// Modal results.
enum : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7
};

// A caption without its accelerator marks: "&Datei" is "Datei", "&&" is one "&".
std::string StripAccelerator(const std::string& caption);

class TComponent {
  public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    std::string Name;
    int Tag = 0;
    TComponent* Owner() const { return owner_; }
    virtual const char* ClassName() const = 0;
    // Components owned by this one, in creation order.
    const std::vector<std::unique_ptr<TComponent>>& Components() const { return components_; }
    TComponent* FindComponent(const std::string& name) const; // searches the owned tree
    template <typename T, typename... Args> T& Create(Args&&... args) {
        auto c = std::make_unique<T>(this, std::forward<Args>(args)...);
        T& ref = *c;
        components_.push_back(std::move(c));
        return ref;
    }
    TApplication& Application() const;

  private:
    TComponent* owner_;
    std::vector<std::unique_ptr<TComponent>> components_;
};

class TControl : public TComponent {
  public:
    using TComponent::TComponent;
    ~TControl() override;

    TWinControl* Parent() const { return parent_; }
    void SetParent(TWinControl* parent);
    bool Visible = true;
    bool Enabled = true;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    std::string Caption; // the text of labels, buttons, boxes; Text for edits
    std::uint32_t FontColor = 0;
    std::string Hint;
    TNotifyEvent OnClick, OnEnter, OnExit, OnMouseEnter, OnMouseLeave, OnDblClick;
    TMouseEvent OnMouseDown;

    // Visible here and in every parent, on the active sheet of a page control.
    bool Showing() const;
    // Showing and enabled here and in every parent: what a user can reach.
    bool Reachable() const;
    TForm* ParentForm() const;
    virtual bool CanFocus() const { return false; }
    virtual void Click(); // what a user's click does
    void Fire(const TNotifyEvent& event) {
        if (event) event(*this);
    }

  private:
    friend class TWinControl;
    TWinControl* parent_ = nullptr;
};

class TWinControl : public TControl {
  public:
    using TControl::TControl;
    ~TWinControl() override;
    const std::vector<TControl*>& Controls() const { return controls_; }
    bool TabStop = true;
    bool CanFocus() const override { return TabStop && Reachable(); }
    void SetFocus();
    bool Focused() const;

  private:
    friend class TControl;
    std::vector<TControl*> controls_;
};

class TLabel : public TControl {
  public:
    using TControl::TControl;
    const char* ClassName() const override { return "TLabel"; }
    bool AutoSize = true;
    TWinControl* FocusControl = nullptr;
    bool IsLink = false;
    void SetCaption(const std::string& caption); // resizes when AutoSize
    void Click() override;
};

class TPanel : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TPanel"; }
};

class TGroupBox : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TGroupBox"; }
    bool CanFocus() const override { return false; }
};

class TButton : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TButton"; }
    int ModalResult = mrNone;
    bool Default = false;
    bool Cancel = false;
    void Click() override;
};

class TCheckBox : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TCheckBox"; }
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    void Click() override { SetChecked(!checked_); }

  private:
    bool checked_ = false;
};

// A check box whose caption may wrap to two lines.
class TNXCheckBox : public TCheckBox {
  public:
    using TCheckBox::TCheckBox;
    const char* ClassName() const override { return "TNXCheckBox"; }
};

class TRadioButton : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TRadioButton"; }
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    void Click() override { SetChecked(true); }

  private:
    bool checked_ = false;
};

class TEdit : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TEdit"; }
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool ReadOnly = false;
    char16_t PasswordChar = 0;
    int MaxLength = 0;
    TNotifyEvent OnChange;
    TKeyPressEvent OnKeyPress;
    bool CanFocus() const override { return TWinControl::CanFocus(); }

  private:
    std::string text_;
};

class TMemo : public TEdit {
  public:
    using TEdit::TEdit;
    const char* ClassName() const override { return "TMemo"; }
};

// An integer field with spin buttons.
class TUpDownEdit : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TUpDownEdit"; }
    int Min = 0, Max = 100;
    int GetPosition() const { return position_; }
    void SetPosition(int position); // clamped to Min..Max
    TNotifyEvent OnChange;

  private:
    int position_ = 0;
};

class TTrackBar : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TTrackBar"; }
    int Min = 0, Max = 10, PageSize = 2, Frequency = 1;
    int Position() const { return position_; }
    void SetPosition(int position); // clamped to Min..Max
    TNotifyEvent OnChange;

  private:
    int position_ = 0;
};

class TNXTrackBar : public TTrackBar {
  public:
    using TTrackBar::TTrackBar;
    const char* ClassName() const override { return "TNXTrackBar"; }
};

struct TStringItem {
    std::string text;
    std::shared_ptr<void> object; // data the page attaches to the item
    std::intptr_t data = 0;
};

class TComboBox : public TWinControl {
  public:
    enum class TComboBoxStyle { csDropDown, csDropDownList };
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TComboBox"; }
    TComboBoxStyle Style = TComboBoxStyle::csDropDownList;
    bool Sorted = false;
    std::vector<TStringItem> Items;
    int AddItem(const std::string& text, std::intptr_t data = 0); // keeps the order when Sorted
    void ClearItems();
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index); // from code: fires nothing
    std::string Text() const;
    void SetText(const std::string& text); // from code: fires nothing
    int IndexOf(const std::string& text) const;
    TNotifyEvent OnChange, OnSelect;
    TKeyPressEvent OnKeyPress;
    // A user's actions.
    void UserSelect(int index);
    void UserType(const std::u16string& keys);

  private:
    int itemIndex_ = -1;
    std::string text_;
};

class TListView;

class TListItem {
  public:
    std::string Caption;
    std::vector<std::string> SubItems;
    int ImageIndex = -1;
    std::intptr_t Data = 0;
    std::shared_ptr<void> Object;
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    bool Selected() const { return selected_; }
    void SetSelected(bool selected);
    bool Focused = false;
    int Index() const;
    TListView& Owner() const { return *owner_; }

  private:
    friend class TListView;
    explicit TListItem(TListView* owner) : owner_(owner) {}
    TListView* owner_;
    bool checked_ = false;
    bool selected_ = false;
};

enum class TItemChange { ctText, ctImage, ctState };
using TLVChangeEvent = std::function<void(TComponent& sender, TListItem& item, TItemChange change)>;
using TLVSelectItemEvent = std::function<void(TComponent& sender, TListItem& item, bool selected)>;

class TListView : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TListView"; }
    bool Checkboxes = false;
    bool MultiSelect = false;
    std::vector<std::string> Columns;
    TListItem& Add();
    void Clear();
    void Delete(int index);
    int Count() const { return static_cast<int>(items_.size()); }
    TListItem& Item(int index) { return *items_.at(static_cast<std::size_t>(index)); }
    TListItem* Selected() const;
    TListItem* FindCaption(const std::string& caption) const; // exact, first match
    void SortByCaption();
    void BeginUpdate() { ++updating_; }
    void EndUpdate() { --updating_; }
    TLVChangeEvent OnChange;
    TLVSelectItemEvent OnSelectItem;

  private:
    friend class TListItem;
    std::vector<std::unique_ptr<TListItem>> items_;
    int updating_ = 0;
};

class TExListView : public TListView {
  public:
    using TListView::TListView;
    const char* ClassName() const override { return "TExListView"; }
};

// A check-list box with one data word per item.
class TBigCheckListBox : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TBigCheckListBox"; }
    std::vector<std::string> Items;
    int AddItem(const std::string& text);
    bool GetCheck(int index) const;
    void SetCheck(int index, bool checked);
    std::intptr_t GetMyItemData(int index) const;
    void SetMyItemData(int index, std::intptr_t value);
    TNotifyEvent OnClickCheck;

  private:
    std::vector<bool> checks_;
    std::vector<std::intptr_t> data_;
};

class TTreeNode {
  public:
    std::string Text;
    int ImageIndex = -1, SelectedIndex = -1;
    std::intptr_t Data = 0;
    std::shared_ptr<void> Object;
    bool Expanded = false;
    TTreeNode* Parent() const { return parent_; }
    const std::vector<std::unique_ptr<TTreeNode>>& Children() const { return children_; }
    TTreeNode& AddChild(const std::string& text);
    std::string Path() const; // captions from the root joined by "/"

  private:
    TTreeNode* parent_ = nullptr;
    std::vector<std::unique_ptr<TTreeNode>> children_;
};

using TTVChangedEvent = std::function<void(TComponent& sender, TTreeNode* node)>;
using TTVCompareEvent = std::function<int(TComponent& sender, TTreeNode& a, TTreeNode& b)>;

class TTreeView : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TTreeView"; }
    TTreeNode& AddRoot(const std::string& text);
    const std::vector<std::unique_ptr<TTreeNode>>& Roots() const { return roots_; }
    void Clear();
    TTreeNode* Selected() const { return selected_; }
    void SetSelected(TTreeNode* node); // fires OnChange when it changes
    TTreeNode* FindPath(const std::string& path) const;
    void Sort(); // by OnCompare when set, else by text
    TTVChangedEvent OnChange;
    TTVCompareEvent OnCompare;

  private:
    std::vector<std::unique_ptr<TTreeNode>> roots_;
    TTreeNode* selected_ = nullptr;
};

class TImage : public TControl {
  public:
    using TControl::TControl;
    const char* ClassName() const override { return "TImage"; }
    std::string PictureFile; // what the picture service loaded ("" for none)
};

class TImageList : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TImageList"; }
    std::vector<std::string> Files;
    int Width = 16, Height = 16;
};

class TShape : public TControl {
  public:
    using TControl::TControl;
    const char* ClassName() const override { return "TShape"; }
    std::uint32_t BrushColor = 0xFFFFFF;
};

class TTimer : public TComponent {
  public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    const char* ClassName() const override { return "TTimer"; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    int Interval = 1000;
    TNotifyEvent OnTimer;

  private:
    friend class TApplication;
    bool enabled_ = false;
    std::int64_t due_ = 0;
};

class TMenuItem : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TMenuItem"; }
    std::string Caption;
    bool Enabled = true, Visible = true, Checked = false;
    TNotifyEvent OnClick;
};

class TPopupMenu : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TPopupMenu"; }
    std::vector<TMenuItem*> Items;
};

class TAction : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TAction"; }
    std::string Caption;
    bool Enabled = true;
    TNotifyEvent OnExecute;
    void Execute() {
        if (Enabled && OnExecute) OnExecute(*this);
    }
};

class TActionList : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TActionList"; }
};

class TTabSheet : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TTabSheet"; }
    bool TabVisible = true;
    int PageIndex() const;
    TNotifyEvent OnShow, OnHide;
    bool CanFocus() const override { return false; }
};

class TPageControl : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TPageControl"; }
    std::vector<TTabSheet*> Pages() const;
    TTabSheet* ActivePage() const { return active_; }
    void SetActivePage(TTabSheet* sheet); // fires OnHide of the old, OnShow of the new
    void InitActivePage(TTabSheet* sheet) { active_ = sheet; } // as designed: fires nothing
    TNotifyEvent OnChange;

  private:
    TTabSheet* active_ = nullptr;
};

class TFrame : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TFrame"; }
    bool CanFocus() const override { return false; }
};

class TForm : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TForm"; }
    TNotifyEvent OnCreate, OnShow, OnDestroy, OnClose;
    int ModalResult = mrNone;
    TWinControl* ActiveControl() const { return active_; }
    void SetActiveControl(TWinControl* control); // moves the focus: exit and enter chains
    int ShowModal();
    void Close() { ModalResult = ModalResult == mrNone ? mrCancel : ModalResult; }
    bool CanFocus() const override { return false; }

  private:
    TWinControl* active_ = nullptr;
};

} // namespace ravelin::toolkit
