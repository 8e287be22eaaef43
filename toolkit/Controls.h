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
//  - List-view tick changes also fire OnItemChecked (never for a selection); an item's new
//    ImageIndex fires OnChange (item, ctImage).
//  - TPageControl::ActivePage fires the old sheet's OnHide and the new one's OnShow; the
//    sheet that is active when its form is shown (TForm::Show, ShowModal) gets its OnShow
//    then, once per activation.
//  - Focus moves fire OnExit up the chain of containers that lose the focus (innermost
//    first), then OnEnter down the new chain (outermost first).
//  - A button's ModalResult is set on its form before its OnClick runs, so a validating
//    handler can reset it to keep the dialog open.
//  - A control or menu item linked to an action follows the action's Caption, Enabled,
//    Visible (and a menu item its Checked); clicking it runs the action's OnExecute unless
//    the control has an OnClick of its own.
//  - Timers with Interval 0 never fire; a new Interval restarts a running timer.
//  - Sorted combos, list views and trees and every find by caption compare through
//    AnsiCompareText (toolkit/TextCompare.h).
//  - A form fires OnDestroy once when it is freed; a form class whose FormDestroy uses
//    the class's own members calls BeforeDestruction() first in its destructor.
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
class TAction;
class TPopupMenu;
class TImageList;

// A value that tells its owner when an assignment changes it, so that classic property
// assignments (`item.ImageIndex = 2;`, `timer->Interval = 750;`) keep their side effects.
template <typename T> class NotifyingValue {
  public:
    NotifyingValue(T value, std::function<void()> changed)
        : value_(std::move(value)), changed_(std::move(changed)) {}
    NotifyingValue(const NotifyingValue&) = delete;
    NotifyingValue& operator=(const NotifyingValue& other) { return *this = other.value_; }
    NotifyingValue& operator=(const T& value) {
        if (value == value_) return *this;
        value_ = value;
        if (changed_) changed_();
        return *this;
    }
    operator const T&() const { return value_; }
    const T& get() const { return value_; }
    friend bool operator==(const NotifyingValue& a, const T& b) { return a.value_ == b; }
    // Sets the value without telling the owner.
    void setQuietly(const T& value) { value_ = value; }

  private:
    T value_;
    std::function<void()> changed_;
};

struct TPoint {
    int X = 0, Y = 0;
    bool operator==(const TPoint&) const = default;
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool Contains(TPoint p) const {
        return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom;
    }
};

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
    // Opened by a right click on the control (when the menu's AutoPopup is set).
    TPopupMenu* PopupMenu = nullptr;

    // The linked action (nullptr for none): the control takes the action's caption, enabled
    // and visible state now and whenever they change.
    TAction* Action() const { return action_; }
    void SetAction(TAction* action);
    // A point in this control's client coordinates as seen from its form, and back.
    TPoint ClientToScreen(TPoint p) const;
    TPoint ScreenToClient(TPoint p) const;

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
    friend class TAction;
    TWinControl* parent_ = nullptr;
    TAction* action_ = nullptr;
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

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLabel : public TControl {
  public:
    using TControl::TControl;
    const char* ClassName() const override { return "TLabel"; }
    bool AutoSize = true;
    bool WordWrap = false;
    TAlignment Alignment = TAlignment::taLeftJustify;
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
    bool Default = false;  // pressed by Enter anywhere in its form
    bool Cancel = false;   // pressed by Escape anywhere in its form
    void Click() override; // sets the form's ModalResult first, then OnClick or the action
};

// A flat button that takes no focus; with a GroupIndex it stays down like a radio button.
class TSpeedButton : public TControl {
  public:
    using TControl::TControl;
    const char* ClassName() const override { return "TSpeedButton"; }
    int GroupIndex = 0;
    bool AllowAllUp = false;
    bool Flat = false;
    std::string Glyph; // picture file ("" for none)
    bool Down() const { return down_; }
    void SetDown(bool down); // releases the others of its group; fires nothing
    void Click() override;

  private:
    bool down_ = false;
};

class TCheckBox : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TCheckBox"; }
    bool WordWrap = false;
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
    bool WordWrap = false;
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    void Click() override { SetChecked(true); }

  private:
    bool checked_ = false;
};

// Where typed keys land in a field's text: after `start` characters (UTF-16 units, as a
// window's field counts them), replacing the `length` selected ones; a start of -1 is the end.
struct TCaret {
    int start = -1;
    int length = 0;
};

// One typed key applied at the caret, as a field takes it: Backspace (8) removes the
// selection or the character before the caret, any other key replaces the selection. A
// field of `maxLength` (> 0) characters takes no more. The caret ends after what changed.
void ApplyKey(std::u16string& text, TCaret& caret, char16_t key, int maxLength = 0);

class TEdit : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TEdit"; }
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool ReadOnly = false; // users cannot type, the text can still be selected
    char16_t PasswordChar = 0;
    int MaxLength = 0;
    TNotifyEvent OnChange;
    TKeyPressEvent OnKeyPress;
    bool CanFocus() const override { return TWinControl::CanFocus(); }

  private:
    std::string text_;
};

class TMemo;

// A memo's text as lines, as the classic Lines property offers it. Lines are kept in the
// memo's text separated by CR LF; a text set with bare LF or CR breaks reads as lines too.
class TMemoLines {
  public:
    explicit TMemoLines(TMemo& memo) : memo_(memo) {}
    int Count() const;
    std::string operator[](int index) const;
    void Add(const std::string& line);
    void Clear();
    // Every line followed by CR LF, as the classic Lines.Text.
    std::string Text() const;
    void SetText(const std::string& text);
    std::vector<std::string> ToVector() const;

  private:
    TMemo& memo_;
};

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TMemo : public TEdit {
  public:
    using TEdit::TEdit;
    const char* ClassName() const override { return "TMemo"; }
    bool WantReturns = true; // Enter breaks the line instead of pressing the default button
    bool WordWrap = true;
    TScrollStyle ScrollBars = TScrollStyle::ssNone;
    TMemoLines Lines() { return TMemoLines(*this); }
    // The lines of a text however its lines are broken (CR LF, LF or CR).
    static std::vector<std::string> SplitLines(const std::string& text);
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
    // Items added while Sorted go to their place by AnsiCompareText; SetSorted(true) sorts
    // the items already there.
    bool Sorted = false;
    void SetSorted(bool sorted);
    int DropDownCount = 8;
    std::vector<TStringItem> Items;
    int AddItem(const std::string& text, std::intptr_t data = 0);
    int AddObject(const std::string& text, std::shared_ptr<void> object);
    void ClearItems(); // also empties the text
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index); // from code: fires nothing
    std::string Text() const;
    void SetText(const std::string& text);      // from code: fires nothing
    int IndexOf(const std::string& text) const; // ignoring case
    TNotifyEvent OnChange, OnSelect;
    TKeyPressEvent OnKeyPress;
    // A user's actions.
    void UserSelect(int index);
    void UserType(const std::u16string& keys, TCaret caret = {});

  private:
    int itemIndex_ = -1;
    std::string text_;
};

class TListView;

class TListItem {
  public:
    std::string Caption;
    std::vector<std::string> SubItems;
    // The picture in the list's image list (-1 for none); a change fires OnChange (ctImage).
    NotifyingValue<int> ImageIndex;
    int StateIndex = -1;
    std::intptr_t Data = 0;
    std::shared_ptr<void> Object;
    bool Checked() const { return checked_; }
    void SetChecked(bool checked); // fires OnChange (ctState), then OnItemChecked
    bool Selected() const { return selected_; }
    void SetSelected(bool selected); // fires OnChange (ctState), then OnSelectItem
    bool Focused = false;
    int Index() const;
    TListView& Owner() const { return *owner_; }
    void Delete(); // frees the item

  private:
    friend class TListView;
    explicit TListItem(TListView* owner);
    TListView* owner_;
    bool checked_ = false;
    bool selected_ = false;
};

enum class TItemChange { ctText, ctImage, ctState };
enum class TSortType { stNone, stData, stText, stBoth };
enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
using TLVChangeEvent = std::function<void(TComponent& sender, TListItem& item, TItemChange change)>;
using TLVSelectItemEvent = std::function<void(TComponent& sender, TListItem& item, bool selected)>;
using TLVCheckedItemEvent = std::function<void(TComponent& sender, TListItem& item)>;
// Sets compare < 0, 0 or > 0 as item1 sorts before, with or after item2.
using TLVCompareEvent = std::function<void(TComponent& sender, TListItem& item1, TListItem& item2,
                                           std::intptr_t data, int& compare)>;

struct TListColumn {
    std::string Caption;
    int Width = 50;
};

class TListView : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TListView"; }
    bool Checkboxes = false;
    bool MultiSelect = false;
    bool ReadOnly = false; // captions cannot be edited in place
    bool RowSelect = false;
    bool HideSelection = true;
    bool ShowColumnHeaders = true;
    bool ColumnClick = true;
    TViewStyle ViewStyle = TViewStyle::vsIcon;
    std::vector<TListColumn> Columns;
    TImageList* SmallImages = nullptr;
    TImageList* LargeImages = nullptr;
    TImageList* StateImages = nullptr;
    // Automatic sorting: stText by caption (AnsiCompareText), stData and stBoth by OnCompare
    // (by caption without one). The list keeps itself in that order as captions change.
    TSortType SortType = TSortType::stNone;
    TListItem& Add();
    TListItem& Insert(int index);
    void Clear();
    void Delete(int index);
    int Count() const { return static_cast<int>(items_.size()); }
    TListItem& Item(int index) const;
    TListItem* Selected() const;
    void SetSelected(TListItem* item); // nullptr: nothing selected
    TListItem* ItemFocused() const;
    // The first item from start on whose caption equals value (partial: begins with it),
    // ignoring case; inclusive searches start itself, wrap goes on from the top.
    TListItem* FindCaption(int start, const std::string& value, bool partial, bool inclusive,
                           bool wrap) const;
    TListItem* FindCaption(const std::string& caption) const; // whole caption, from the top
    TListItem* FindData(int start, std::intptr_t data, bool inclusive, bool wrap) const;
    void AlphaSort(); // by caption
    // Sorts once by compare (nullptr: by OnCompare, else by caption).
    void CustomSort(const std::function<int(TListItem&, TListItem&)>& compare = nullptr);
    void SortByCaption() { AlphaSort(); }
    void BeginUpdate() { ++updating_; }
    void EndUpdate() { --updating_; }
    bool Updating() const { return updating_ > 0; }
    TLVChangeEvent OnChange;
    TLVSelectItemEvent OnSelectItem;
    TLVCheckedItemEvent OnItemChecked;
    TLVCompareEvent OnCompare;

  private:
    friend class TListItem;
    int compare(TListItem& a, TListItem& b);
    void keepSorted() const;
    mutable std::vector<std::unique_ptr<TListItem>> items_;
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
    void Clear();
    bool GetCheck(int index) const;
    void SetCheck(int index, bool checked);
    std::intptr_t GetMyItemData(int index) const;
    void SetMyItemData(int index, std::intptr_t value);
    TNotifyEvent OnClickCheck;

  private:
    std::vector<bool> checks_;
    std::vector<std::intptr_t> data_;
};

class TTreeView;

class TTreeNode {
  public:
    std::string Text;
    int ImageIndex = -1, SelectedIndex = -1, StateIndex = -1;
    std::intptr_t Data = 0;
    std::shared_ptr<void> Object;
    bool Expanded = false;
    TTreeNode* Parent() const { return parent_; }
    TTreeView* TreeView() const { return tree_; }
    const std::vector<std::unique_ptr<TTreeNode>>& Children() const { return children_; }
    int Count() const { return static_cast<int>(children_.size()); }
    TTreeNode& Item(int index) const { return *children_.at(static_cast<std::size_t>(index)); }
    bool HasChildren() const { return !children_.empty(); }
    TTreeNode& AddChild(const std::string& text);
    int Index() const; // among its siblings
    int Level() const; // 0 for a root
    void Expand(bool recursive);
    void Collapse(bool recursive);
    void MakeVisible(); // expands its parents
    bool Selected() const;
    // Frees the node and its children (the tree's selection moves off them).
    void Delete();
    void DeleteChildren();
    std::string Path() const; // captions from the root joined by "/"

  private:
    friend class TTreeView;
    TTreeNode* parent_ = nullptr;
    TTreeView* tree_ = nullptr;
    std::vector<std::unique_ptr<TTreeNode>> children_;
};

using TTVChangedEvent = std::function<void(TComponent& sender, TTreeNode* node)>;
using TTVCompareEvent = std::function<int(TComponent& sender, TTreeNode& a, TTreeNode& b)>;

class TTreeView : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TTreeView"; }
    TImageList* Images = nullptr;
    TImageList* StateImages = nullptr;
    bool ReadOnly = false;
    bool HideSelection = true;
    bool ShowRoot = true, ShowLines = true, ShowButtons = true;
    bool RightClickSelect = false;
    bool AutoExpand = false;
    TSortType SortType = TSortType::stNone; // applied by Sort/AlphaSort
    // The layout GetNodeAt and a front end share: one row per shown node, indented by level.
    int Indent = 19;
    int ItemHeight = 16;
    TTreeNode& AddRoot(const std::string& text);
    const std::vector<std::unique_ptr<TTreeNode>>& Roots() const { return roots_; }
    int Count() const; // every node
    void Clear();
    void Delete(TTreeNode& node);
    TTreeNode* Selected() const { return selected_; }
    void SetSelected(TTreeNode* node); // fires OnChange when it changes
    // A path of captions joined by "/", compared ignoring case.
    TTreeNode* FindPath(const std::string& path) const;
    // The nodes as shown, top to bottom (children of collapsed nodes are not).
    std::vector<TTreeNode*> ShownNodes() const;
    // The node whose row holds the point (client coordinates), nullptr for none.
    TTreeNode* GetNodeAt(int x, int y) const;
    // The row of a shown node (its text part), an empty rectangle for a hidden one.
    TRect NodeRect(const TTreeNode& node) const;
    void Sort(); // every level: by OnCompare when set, else by AnsiCompareText of the text
    void AlphaSort() { Sort(); }
    void CustomSort(const std::function<int(TTreeNode&, TTreeNode&)>& compare);
    TTVChangedEvent OnChange;
    TTVCompareEvent OnCompare;
    TTVChangedEvent OnDeletion; // a node is about to be freed

  private:
    friend class TTreeNode;
    void forgetSelection(TTreeNode& going);
    std::vector<std::unique_ptr<TTreeNode>> roots_;
    TTreeNode* selected_ = nullptr;
};

class TImage : public TControl {
  public:
    using TControl::TControl;
    const char* ClassName() const override { return "TImage"; }
    std::string PictureFile; // what the picture service loaded ("" for none)
    bool Stretch = false, Center = false, Proportional = false, Transparent = false;
};

// A picture control for PNG files with transparency.
class TNXPNGImage : public TImage {
  public:
    using TImage::TImage;
    const char* ClassName() const override { return "TNXPNGImage"; }
};

class TImageList : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TImageList"; }
    std::vector<std::string> Files;
    int Width = 16, Height = 16;
    int Count() const { return static_cast<int>(Files.size()); }
    void Clear() { Files.clear(); }
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
    void SetEnabled(bool enabled); // enabling (again) starts a new interval
    // Milliseconds between ticks; 0 never fires; a change restarts a running timer.
    NotifyingValue<int> Interval;
    TNotifyEvent OnTimer;

  private:
    friend class TApplication;
    bool enabled_ = false;
    std::int64_t due_ = 0;
};

class TMenuItem : public TComponent {
  public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;
    const char* ClassName() const override { return "TMenuItem"; }
    std::string Caption; // "-" is a separator
    bool Enabled = true, Visible = true, Checked = false, RadioItem = false, Default = false;
    int ImageIndex = -1;
    std::vector<TMenuItem*> Items; // a submenu
    TMenuItem* Parent() const { return parent_; }
    TPopupMenu* Menu() const; // the pop-up menu it belongs to
    void Add(TMenuItem& item);
    bool IsSeparator() const { return Caption == "-"; }
    TAction* Action() const { return action_; }
    void SetAction(TAction* action);
    TNotifyEvent OnClick;
    // What choosing it does: OnClick, else the action's OnExecute.
    void Click();

  private:
    friend class TPopupMenu;
    friend class TAction;
    TMenuItem* parent_ = nullptr;
    TPopupMenu* menu_ = nullptr;
    TAction* action_ = nullptr;
};

class TPopupMenu : public TComponent {
  public:
    using TComponent::TComponent;
    ~TPopupMenu() override;
    const char* ClassName() const override { return "TPopupMenu"; }
    std::vector<TMenuItem*> Items;
    TImageList* Images = nullptr;
    bool AutoPopup = true;
    void Add(TMenuItem& item);
    // Opens the menu at a point in form coordinates (the control's ClientToScreen) and
    // returns at once; the user's next action chooses an item or closes the menu.
    void Popup(int x, int y);
    TPoint PopupPoint() const { return point_; }
    bool IsOpen() const;
    TControl* PopupComponent = nullptr; // the control that was right-clicked
    TNotifyEvent OnPopup;

  private:
    TPoint point_;
};

class TAction : public TComponent {
  public:
    explicit TAction(TComponent* owner);
    ~TAction() override;
    const char* ClassName() const override { return "TAction"; }
    NotifyingValue<std::string> Caption;
    NotifyingValue<bool> Enabled, Visible, Checked;
    std::string Hint;
    int ImageIndex = -1;
    TNotifyEvent OnExecute;
    TNotifyEvent OnUpdate;
    // Runs OnExecute when enabled; whether it ran.
    bool Execute();
    const std::vector<TControl*>& Controls() const { return controls_; }
    const std::vector<TMenuItem*>& MenuItems() const { return menuItems_; }

  private:
    friend class TControl;
    friend class TMenuItem;
    void apply(TControl& c) const;
    void apply(TMenuItem& m) const;
    void changed();
    std::vector<TControl*> controls_;
    std::vector<TMenuItem*> menuItems_;
};

class TActionList : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TActionList"; }
    TImageList* Images = nullptr;
    std::vector<TAction*> Actions() const;
    // Fires every action's OnUpdate (as the system does when it is idle).
    void UpdateActions();
};

// The file-open dialog as a component: Execute asks the dialog service.
class TOpenDialog : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TOpenDialog"; }
    std::string Title;
    std::string Filter; // "Symbole|*.ico|Alle Dateien|*.*"
    int FilterIndex = 1;
    std::string InitialDir;
    std::string FileName; // the initial name; the chosen file after Execute
    std::string DefaultExt;
    bool FileMustExist = false; // ofFileMustExist
    bool PathMustExist = false; // ofPathMustExist
    // True when the user chose a file (FileName holds it).
    bool Execute();
};

// The colour dialog as a component; colours are 0x00BBGGRR as the system keeps them.
class TColorDialog : public TComponent {
  public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TColorDialog"; }
    std::uint32_t Color = 0;
    // Custom colours as "ColorA=BBGGRR" .. "ColorP=BBGGRR" (hex); others are ignored.
    std::vector<std::string> CustomColors;
    bool Execute();
};

class TTabSheet : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TTabSheet"; }
    bool TabVisible = true;
    int PageIndex() const;
    TNotifyEvent OnShow, OnHide;
    bool CanFocus() const override { return false; }

  private:
    friend class TPageControl;
    friend class TForm;
    bool shown_ = false; // OnShow fired for the current activation
};

class TPageControl : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TPageControl"; }
    std::vector<TTabSheet*> Pages() const;
    TTabSheet* ActivePage() const { return active_; }
    void SetActivePage(TTabSheet* sheet); // fires OnHide of the old, OnShow of the new
    // As designed: fires nothing now; the sheet gets its OnShow when the form is shown.
    void InitActivePage(TTabSheet* sheet) { active_ = sheet; }
    TNotifyEvent OnChange;

  private:
    TTabSheet* active_ = nullptr;
};

// A frame: a container with a form description and handlers of its own, created by a page
// and placed on it or on one of its tabs (SetParent, Left, Top). It owns its components, so
// names only need to be unique inside it; the driver reaches them as "FRAME.NAME".
class TFrame : public TWinControl {
  public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TFrame"; }
    bool CanFocus() const override { return false; }
};

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow };
enum class TPosition { poDesigned, poDefault, poScreenCenter, poMainFormCenter, poOwnerFormCenter };

class TForm : public TWinControl {
  public:
    using TWinControl::TWinControl;
    ~TForm() override;
    const char* ClassName() const override { return "TForm"; }
    TNotifyEvent OnCreate, OnShow, OnDestroy, OnClose;
    TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
    TPosition Position = TPosition::poDesigned;
    int ModalResult = mrNone;
    TWinControl* ActiveControl() const { return active_; }
    void SetActiveControl(TWinControl* control); // moves the focus: exit and enter chains
    // Shows the form (as the host shows a page): OnShow, then OnShow of every tab sheet that
    // is active and shown and has not had it since it became active.
    void Show();
    void Hide(); // the next Show fires the active sheets' OnShow again
    bool IsShown() const { return shown_; }
    int ShowModal();
    void Close() { ModalResult = ModalResult == mrNone ? mrCancel : ModalResult; }
    bool CanFocus() const override { return false; }
    // The enabled, shown buttons that Enter and Escape press (nullptr for none).
    TButton* DefaultButton() const;
    TButton* CancelButton() const;
    // Fires OnDestroy once. ~TForm calls it, but by then a derived class's members are gone:
    // a form class whose FormDestroy uses them calls this first in its own destructor.
    void BeforeDestruction();

  private:
    TWinControl* active_ = nullptr;
    bool shown_ = false;
    bool destroyed_ = false;
};

// Sets Enabled on every component the container owns that a user operates: check boxes,
// radio buttons, speed buttons, buttons, track bars, combo boxes, edits (memos too), tree
// views, list views, up-down fields and shapes. Labels, images and group boxes stay as they
// are; a frame's own controls belong to the frame (call it on the frame for them).
void EnableComponents(bool enabled, TComponent& container);

// Moves the controls of a container up over the rows its hidden controls leave, as a form
// laid out for the fullest case reads on a system that shows less. A hidden control frees
// the band from its top to the next shown control below it, or, at the end, from the last
// shown control above it to its bottom; what a shown control beside it covers stays. Group
// boxes inside are closed first and shrink by what they lost, which their followers then
// close in turn; so does the container when it is a group box. Buttons anchored at the
// bottom of a tab (below `anchoredBelow`) stay.
void CloseGaps(TWinControl& container, int anchoredBelow = 300);

} // namespace ravelin::toolkit
