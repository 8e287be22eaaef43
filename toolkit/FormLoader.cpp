#include "toolkit/FormLoader.h"

#include "host/text/Translate.h"
#include "toolkit/Application.h"

#include <functional>
#include <nlohmann/json.hpp>

namespace ravelin::toolkit {

namespace {

using Json = nlohmann::json;

struct Loader {
    const std::string& file;
    const Handlers& handlers;
    TWinControl& form; // the root: a form or a frame
    std::set<std::string> bound;
    std::set<std::string> names;
    std::vector<std::function<void()>> fixups; // references to components by name, after all exist

    [[noreturn]] void fail(const std::string& path, const std::string& what) const {
        throw FormError(file + ": " + (path.empty() ? "/" : path) + ": " + what);
    }

    template <typename T> T get(const Json& v, const std::string& path) const {
        try {
            return v.get<T>();
        } catch (const Json::exception&) {
            if constexpr (std::is_same_v<T, std::string>)
                fail(path, "must be a string");
            else if constexpr (std::is_same_v<T, bool>)
                fail(path, "must be true or false");
            else
                fail(path, "must be a number");
        }
    }

    template <typename E>
    E choose(const Json& v, const std::string& path, const std::map<std::string, E>& values) const {
        std::string s = get<std::string>(v, path);
        auto it = values.find(s);
        if (it != values.end()) return it->second;
        std::string all;
        for (const auto& [name, value] : values)
            all += (all.empty() ? "" : ", ") + name;
        fail(path, "must be one of " + all);
    }

    // A reference to another component of the same root, resolved once all exist.
    template <typename T>
    void refer(const Json& v, const std::string& path, std::function<void(T*)> set,
               const char* what) {
        std::string target = get<std::string>(v, path);
        fixups.push_back([this, target, path, set, what] {
            auto* found =
                dynamic_cast<T*>(target == form.Name ? &form : form.FindComponent(target));
            if (!found) fail(path, std::string("no ") + what + " named \"" + target + "\"");
            set(found);
        });
    }

    // A text the user reads: the form holds it in German, the user sees it in the language
    // shown.
    std::string shown(const Json& v, const std::string& path) const {
        return text::tr(get<std::string>(v, path));
    }

    std::vector<std::string> strings(const Json& v, const std::string& path) const {
        if (!v.is_array()) fail(path, "must be a list of strings");
        std::vector<std::string> out;
        for (std::size_t i = 0; i < v.size(); ++i)
            out.push_back(get<std::string>(v[i], path + "/" + std::to_string(i)));
        return out;
    }

    template <typename E> void bind(E& event, const Json& v, const std::string& path) {
        std::string name = get<std::string>(v, path);
        const Handlers::Handler* h = handlers.find(name);
        if (!h) fail(path, "no handler named \"" + name + "\"");
        const E* typed = std::get_if<E>(h);
        if (!typed) fail(path, "handler \"" + name + "\" does not fit this event");
        event = *typed;
        bound.insert(name);
    }

    TSortType sortType(const Json& v, const std::string& path) const {
        return choose<TSortType>(v, path,
                                 {{"stNone", TSortType::stNone},
                                  {"stData", TSortType::stData},
                                  {"stText", TSortType::stText},
                                  {"stBoth", TSortType::stBoth}});
    }

    // Applies one property; false when the component has no such property.
    bool common(TComponent& c, const std::string& key, const Json& v, const std::string& path) {
        if (key == "tag") return c.Tag = get<int>(v, path), true;
        auto* control = dynamic_cast<TControl*>(&c);
        if (!control) return false;
        if (key == "caption") {
            // A label sized to its text takes its width from the caption.
            if (auto* label = dynamic_cast<TLabel*>(control))
                label->SetCaption(shown(v, path));
            else
                control->Caption = shown(v, path);
            return true;
        }
        if (key == "left") return control->Left = get<int>(v, path), true;
        if (key == "top") return control->Top = get<int>(v, path), true;
        if (key == "width") return control->Width = get<int>(v, path), true;
        if (key == "height") return control->Height = get<int>(v, path), true;
        if (key == "visible") return control->Visible = get<bool>(v, path), true;
        if (key == "enabled") return control->Enabled = get<bool>(v, path), true;
        if (key == "hint") return control->Hint = shown(v, path), true;
        if (key == "fontColor") return control->FontColor = get<std::uint32_t>(v, path), true;
        if (key == "onClick") return bind(control->OnClick, v, path), true;
        if (key == "onEnter") return bind(control->OnEnter, v, path), true;
        if (key == "onExit") return bind(control->OnExit, v, path), true;
        if (key == "onDblClick") return bind(control->OnDblClick, v, path), true;
        if (key == "onMouseEnter") return bind(control->OnMouseEnter, v, path), true;
        if (key == "onMouseLeave") return bind(control->OnMouseLeave, v, path), true;
        if (key == "onMouseDown") return bind(control->OnMouseDown, v, path), true;
        if (auto* w = dynamic_cast<TWinControl*>(&c); w && key == "tabStop")
            return w->TabStop = get<bool>(v, path), true;
        if (key == "popupMenu")
            return refer<TPopupMenu>(
                       v, path, [control](TPopupMenu* m) { control->PopupMenu = m; }, "popup menu"),
                   true;
        if (key == "action" &&
            (dynamic_cast<TButton*>(control) || dynamic_cast<TSpeedButton*>(control) ||
             dynamic_cast<TCheckBox*>(control)))
            return refer<TAction>(
                       v, path, [control](TAction* a) { control->SetAction(a); }, "action"),
                   true;
        return false;
    }

    // The properties each component type has of its own, one function per type; each returns
    // false when the key is not one of them.
    bool formProperty(TForm* f, const std::string& key, const Json& v, const std::string& path) {
        if (key == "borderStyle")
            return f->BorderStyle =
                       choose<TFormBorderStyle>(v, path,
                                                {{"bsNone", TFormBorderStyle::bsNone},
                                                 {"bsSingle", TFormBorderStyle::bsSingle},
                                                 {"bsSizeable", TFormBorderStyle::bsSizeable},
                                                 {"bsDialog", TFormBorderStyle::bsDialog},
                                                 {"bsToolWindow", TFormBorderStyle::bsToolWindow}}),
                   true;
        if (key == "position")
            return f->Position =
                       choose<TPosition>(v, path,
                                         {{"poDesigned", TPosition::poDesigned},
                                          {"poDefault", TPosition::poDefault},
                                          {"poScreenCenter", TPosition::poScreenCenter},
                                          {"poMainFormCenter", TPosition::poMainFormCenter},
                                          {"poOwnerFormCenter", TPosition::poOwnerFormCenter}}),
                   true;
        if (key == "clientWidth") return f->Width = get<int>(v, path), true;
        if (key == "clientHeight") return f->Height = get<int>(v, path), true;
        if (key == "onCreate") return bind(f->OnCreate, v, path), true;
        if (key == "onShow") return bind(f->OnShow, v, path), true;
        if (key == "onDestroy") return bind(f->OnDestroy, v, path), true;
        if (key == "onClose") return bind(f->OnClose, v, path), true;
        return false;
    }

    bool labelProperty(TLabel* l, const std::string& key, const Json& v, const std::string& path) {
        if (key == "autoSize") return l->AutoSize = get<bool>(v, path), true;
        if (key == "isLink") return l->IsLink = get<bool>(v, path), true;
        if (key == "wordWrap") return l->WordWrap = get<bool>(v, path), true;
        if (key == "alignment")
            return l->Alignment =
                       choose<TAlignment>(v, path,
                                          {{"taLeftJustify", TAlignment::taLeftJustify},
                                           {"taRightJustify", TAlignment::taRightJustify},
                                           {"taCenter", TAlignment::taCenter}}),
                   true;
        if (key == "focusControl") {
            std::string target = get<std::string>(v, path);
            fixups.push_back([this, l, target, path] {
                l->FocusControl = dynamic_cast<TWinControl*>(form.FindComponent(target));
                if (!l->FocusControl) fail(path, "no focusable component named \"" + target + "\"");
            });
            return true;
        }
        return false;
    }

    bool buttonProperty(TButton* b, const std::string& key, const Json& v,
                        const std::string& path) {
        if (key == "modalResult") {
            return b->ModalResult = choose<int>(v, path,
                                                {{"mrNone", mrNone},
                                                 {"mrOk", mrOk},
                                                 {"mrCancel", mrCancel},
                                                 {"mrAbort", mrAbort},
                                                 {"mrRetry", mrRetry},
                                                 {"mrIgnore", mrIgnore},
                                                 {"mrYes", mrYes},
                                                 {"mrNo", mrNo}}),
                   true;
        }
        if (key == "default") return b->Default = get<bool>(v, path), true;
        if (key == "cancel") return b->Cancel = get<bool>(v, path), true;
        return false;
    }

    bool speedButtonProperty(TSpeedButton* sb, const std::string& key, const Json& v,
                             const std::string& path) {
        if (key == "groupIndex") return sb->GroupIndex = get<int>(v, path), true;
        if (key == "down") return sb->SetDown(get<bool>(v, path)), true;
        if (key == "allowAllUp") return sb->AllowAllUp = get<bool>(v, path), true;
        if (key == "flat") return sb->Flat = get<bool>(v, path), true;
        return false;
    }

    bool checkBoxProperty(TCheckBox* cb, const std::string& key, const Json& v,
                          const std::string& path) {
        if (key == "checked") return cb->SetChecked(get<bool>(v, path)), true;
        if (key == "wordWrap") return cb->WordWrap = get<bool>(v, path), true;
        return false;
    }

    bool radioButtonProperty(TRadioButton* rb, const std::string& key, const Json& v,
                             const std::string& path) {
        if (key == "checked") return rb->SetChecked(get<bool>(v, path)), true;
        if (key == "wordWrap") return rb->WordWrap = get<bool>(v, path), true;
        return false;
    }

    bool memoProperty(TMemo* m, const std::string& key, const Json& v, const std::string& path) {
        if (key == "lines") {
            std::string text;
            for (const auto& line : strings(v, path))
                text += (text.empty() ? "" : "\r\n") + line;
            return m->SetText(text), true;
        }
        if (key == "wantReturns") return m->WantReturns = get<bool>(v, path), true;
        if (key == "wordWrap") return m->WordWrap = get<bool>(v, path), true;
        if (key == "scrollBars")
            return m->ScrollBars =
                       choose<TScrollStyle>(v, path,
                                            {{"ssNone", TScrollStyle::ssNone},
                                             {"ssHorizontal", TScrollStyle::ssHorizontal},
                                             {"ssVertical", TScrollStyle::ssVertical},
                                             {"ssBoth", TScrollStyle::ssBoth}}),
                   true;
        return false;
    }

    bool editProperty(TEdit* e, const std::string& key, const Json& v, const std::string& path) {
        if (key == "text") return e->SetText(get<std::string>(v, path)), true;
        if (key == "readOnly") return e->ReadOnly = get<bool>(v, path), true;
        if (key == "maxLength") return e->MaxLength = get<int>(v, path), true;
        if (key == "passwordChar") {
            std::string s = get<std::string>(v, path);
            if (s.size() != 1) fail(path, "passwordChar must be one character");
            return e->PasswordChar = static_cast<char16_t>(s[0]), true;
        }
        if (key == "onChange") return bind(e->OnChange, v, path), true;
        if (key == "onKeyPress") return bind(e->OnKeyPress, v, path), true;
        return false;
    }

    bool upDownProperty(TUpDownEdit* u, const std::string& key, const Json& v,
                        const std::string& path) {
        if (key == "min") return u->Min = get<int>(v, path), true;
        if (key == "max") return u->Max = get<int>(v, path), true;
        if (key == "position") return u->SetPosition(get<int>(v, path)), true;
        if (key == "onChange") return bind(u->OnChange, v, path), true;
        return false;
    }

    bool trackBarProperty(TTrackBar* t, const std::string& key, const Json& v,
                          const std::string& path) {
        if (key == "min") return t->Min = get<int>(v, path), true;
        if (key == "max") return t->Max = get<int>(v, path), true;
        if (key == "position") return t->SetPosition(get<int>(v, path)), true;
        if (key == "pageSize") return t->PageSize = get<int>(v, path), true;
        if (key == "frequency") return t->Frequency = get<int>(v, path), true;
        if (key == "onChange") return bind(t->OnChange, v, path), true;
        return false;
    }

    bool comboBoxProperty(TComboBox* cb, const std::string& key, const Json& v,
                          const std::string& path) {
        if (key == "style") {
            std::string s = get<std::string>(v, path);
            if (s == "csDropDown")
                cb->Style = TComboBox::TComboBoxStyle::csDropDown;
            else if (s == "csDropDownList")
                cb->Style = TComboBox::TComboBoxStyle::csDropDownList;
            else
                fail(path, "style must be csDropDown or csDropDownList");
            return true;
        }
        if (key == "sorted") return cb->SetSorted(get<bool>(v, path)), true;
        if (key == "dropDownCount") return cb->DropDownCount = get<int>(v, path), true;
        if (key == "items") {
            for (const auto& item : strings(v, path))
                cb->AddItem(text::tr(item));
            return true;
        }
        if (key == "itemIndex") return cb->SetItemIndex(get<int>(v, path)), true;
        if (key == "text") return cb->SetText(get<std::string>(v, path)), true;
        if (key == "onChange") return bind(cb->OnChange, v, path), true;
        if (key == "onSelect") return bind(cb->OnSelect, v, path), true;
        if (key == "onKeyPress") return bind(cb->OnKeyPress, v, path), true;
        return false;
    }

    // A column is its caption, or {"caption": ..., "width": ...}.
    void listColumns(TListView* lv, const Json& v, const std::string& path) {
        if (!v.is_array()) fail(path, "must be a list of columns");
        for (std::size_t i = 0; i < v.size(); ++i) {
            const std::string at = path + "/" + std::to_string(i);
            TListColumn column;
            if (v[i].is_object()) {
                for (auto it = v[i].begin(); it != v[i].end(); ++it) {
                    if (it.key() == "caption")
                        column.Caption = shown(it.value(), at + "/caption");
                    else if (it.key() == "width")
                        column.Width = get<int>(it.value(), at + "/width");
                    else
                        fail(at + "/" + it.key(), "a column has no property \"" + it.key() + "\"");
                }
            } else {
                column.Caption = shown(v[i], at);
            }
            lv->Columns.push_back(column);
        }
    }

    bool listViewProperty(TListView* lv, const std::string& key, const Json& v,
                          const std::string& path) {
        if (key == "checkboxes") return lv->Checkboxes = get<bool>(v, path), true;
        if (key == "multiSelect") return lv->MultiSelect = get<bool>(v, path), true;
        if (key == "readOnly") return lv->ReadOnly = get<bool>(v, path), true;
        if (key == "rowSelect") return lv->RowSelect = get<bool>(v, path), true;
        if (key == "hideSelection") return lv->HideSelection = get<bool>(v, path), true;
        if (key == "showColumnHeaders") return lv->ShowColumnHeaders = get<bool>(v, path), true;
        if (key == "columnClick") return lv->ColumnClick = get<bool>(v, path), true;
        if (key == "viewStyle")
            return lv->ViewStyle = choose<TViewStyle>(v, path,
                                                      {{"vsIcon", TViewStyle::vsIcon},
                                                       {"vsSmallIcon", TViewStyle::vsSmallIcon},
                                                       {"vsList", TViewStyle::vsList},
                                                       {"vsReport", TViewStyle::vsReport}}),
                   true;
        if (key == "sortType") return lv->SortType = sortType(v, path), true;
        if (key == "smallImages")
            return refer<TImageList>(
                       v, path, [lv](TImageList* il) { lv->SmallImages = il; }, "image list"),
                   true;
        if (key == "largeImages")
            return refer<TImageList>(
                       v, path, [lv](TImageList* il) { lv->LargeImages = il; }, "image list"),
                   true;
        if (key == "stateImages")
            return refer<TImageList>(
                       v, path, [lv](TImageList* il) { lv->StateImages = il; }, "image list"),
                   true;
        if (key == "columns") return listColumns(lv, v, path), true;
        if (key == "onChange") return bind(lv->OnChange, v, path), true;
        if (key == "onSelectItem") return bind(lv->OnSelectItem, v, path), true;
        if (key == "onItemChecked") return bind(lv->OnItemChecked, v, path), true;
        if (key == "onCompare") return bind(lv->OnCompare, v, path), true;
        return false;
    }

    bool treeViewProperty(TTreeView* tv, const std::string& key, const Json& v,
                          const std::string& path) {
        if (key == "images")
            return refer<TImageList>(
                       v, path, [tv](TImageList* il) { tv->Images = il; }, "image list"),
                   true;
        if (key == "stateImages")
            return refer<TImageList>(
                       v, path, [tv](TImageList* il) { tv->StateImages = il; }, "image list"),
                   true;
        if (key == "readOnly") return tv->ReadOnly = get<bool>(v, path), true;
        if (key == "hideSelection") return tv->HideSelection = get<bool>(v, path), true;
        if (key == "showRoot") return tv->ShowRoot = get<bool>(v, path), true;
        if (key == "showLines") return tv->ShowLines = get<bool>(v, path), true;
        if (key == "showButtons") return tv->ShowButtons = get<bool>(v, path), true;
        if (key == "rightClickSelect") return tv->RightClickSelect = get<bool>(v, path), true;
        if (key == "autoExpand") return tv->AutoExpand = get<bool>(v, path), true;
        if (key == "sortType") return tv->SortType = sortType(v, path), true;
        if (key == "onChange") return bind(tv->OnChange, v, path), true;
        if (key == "onCompare") return bind(tv->OnCompare, v, path), true;
        if (key == "onDeletion") return bind(tv->OnDeletion, v, path), true;
        return false;
    }

    bool imageProperty(TImage* img, const std::string& key, const Json& v,
                       const std::string& path) {
        if (key == "stretch") return img->Stretch = get<bool>(v, path), true;
        if (key == "center") return img->Center = get<bool>(v, path), true;
        if (key == "proportional") return img->Proportional = get<bool>(v, path), true;
        if (key == "transparent") return img->Transparent = get<bool>(v, path), true;
        return false;
    }

    bool checkListProperty(TBigCheckListBox* cl, const std::string& key, const Json& v,
                           const std::string& path) {
        if (key == "items") {
            for (const auto& item : strings(v, path))
                cl->AddItem(text::tr(item));
            return true;
        }
        if (key == "onClickCheck") return bind(cl->OnClickCheck, v, path), true;
        return false;
    }

    bool pageControlProperty(TPageControl* pc, const std::string& key, const Json& v,
                             const std::string& path) {
        if (key == "activePage") {
            std::string target = get<std::string>(v, path);
            fixups.push_back([this, pc, target, path] {
                auto* sheet = dynamic_cast<TTabSheet*>(form.FindComponent(target));
                if (!sheet || sheet->Parent() != pc)
                    fail(path, "no tab sheet \"" + target + "\" in this page control");
                pc->InitActivePage(sheet);
            });
            return true;
        }
        if (key == "onChange") return bind(pc->OnChange, v, path), true;
        return false;
    }

    bool tabSheetProperty(TTabSheet* ts, const std::string& key, const Json& v,
                          const std::string& path) {
        if (key == "tabVisible") return ts->TabVisible = get<bool>(v, path), true;
        if (key == "onShow") return bind(ts->OnShow, v, path), true;
        if (key == "onHide") return bind(ts->OnHide, v, path), true;
        return false;
    }

    bool shapeProperty(TShape* sh, const std::string& key, const Json& v, const std::string& path) {
        if (key == "brushColor") return sh->BrushColor = get<std::uint32_t>(v, path), true;
        return false;
    }

    bool timerProperty(TTimer* tm, const std::string& key, const Json& v, const std::string& path) {
        if (key == "interval") return tm->Interval = get<int>(v, path), true;
        if (key == "enabled") return tm->SetEnabled(get<bool>(v, path)), true;
        if (key == "onTimer") return bind(tm->OnTimer, v, path), true;
        return false;
    }

    bool imageListProperty(TImageList* il, const std::string& key, const Json& v,
                           const std::string& path) {
        if (key == "width") return il->Width = get<int>(v, path), true;
        if (key == "height") return il->Height = get<int>(v, path), true;
        return false;
    }

    bool menuItemProperty(TMenuItem* mi, const std::string& key, const Json& v,
                          const std::string& path) {
        if (key == "caption") return mi->Caption = shown(v, path), true;
        if (key == "enabled") return mi->Enabled = get<bool>(v, path), true;
        if (key == "visible") return mi->Visible = get<bool>(v, path), true;
        if (key == "checked") return mi->Checked = get<bool>(v, path), true;
        if (key == "radioItem") return mi->RadioItem = get<bool>(v, path), true;
        if (key == "default") return mi->Default = get<bool>(v, path), true;
        if (key == "imageIndex") return mi->ImageIndex = get<int>(v, path), true;
        if (key == "action")
            return refer<TAction>(
                       v, path, [mi](TAction* a) { mi->SetAction(a); }, "action"),
                   true;
        if (key == "onClick") return bind(mi->OnClick, v, path), true;
        return false;
    }

    bool popupMenuProperty(TPopupMenu* pm, const std::string& key, const Json& v,
                           const std::string& path) {
        if (key == "autoPopup") return pm->AutoPopup = get<bool>(v, path), true;
        if (key == "images")
            return refer<TImageList>(
                       v, path, [pm](TImageList* il) { pm->Images = il; }, "image list"),
                   true;
        if (key == "onPopup") return bind(pm->OnPopup, v, path), true;
        return false;
    }

    bool actionListProperty(TActionList* al, const std::string& key, const Json& v,
                            const std::string& path) {
        if (key == "images")
            return refer<TImageList>(
                       v, path, [al](TImageList* il) { al->Images = il; }, "image list"),
                   true;
        return false;
    }

    bool actionProperty(TAction* a, const std::string& key, const Json& v,
                        const std::string& path) {
        if (key == "caption") return a->Caption = shown(v, path), true;
        if (key == "enabled") return a->Enabled = get<bool>(v, path), true;
        if (key == "visible") return a->Visible = get<bool>(v, path), true;
        if (key == "checked") return a->Checked = get<bool>(v, path), true;
        if (key == "hint") return a->Hint = shown(v, path), true;
        if (key == "imageIndex") return a->ImageIndex = get<int>(v, path), true;
        if (key == "onExecute") return bind(a->OnExecute, v, path), true;
        if (key == "onUpdate") return bind(a->OnUpdate, v, path), true;
        return false;
    }

    bool openDialogProperty(TOpenDialog* od, const std::string& key, const Json& v,
                            const std::string& path) {
        if (key == "title") return od->Title = shown(v, path), true;
        if (key == "filter") return od->Filter = shown(v, path), true;
        if (key == "filterIndex") return od->FilterIndex = get<int>(v, path), true;
        if (key == "initialDir") return od->InitialDir = get<std::string>(v, path), true;
        if (key == "fileName") return od->FileName = get<std::string>(v, path), true;
        if (key == "defaultExt") return od->DefaultExt = get<std::string>(v, path), true;
        if (key == "options") {
            for (const auto& option : strings(v, path)) {
                if (option == "ofFileMustExist")
                    od->FileMustExist = true;
                else if (option == "ofPathMustExist")
                    od->PathMustExist = true;
                else if (option != "ofHideReadOnly" && option != "ofEnableSizing")
                    fail(path, "unknown option \"" + option +
                                   "\" (known: ofFileMustExist, ofPathMustExist, "
                                   "ofHideReadOnly, ofEnableSizing)");
            }
            return true;
        }
        return false;
    }

    bool colorDialogProperty(TColorDialog* cd, const std::string& key, const Json& v,
                             const std::string& path) {
        if (key == "color") return cd->Color = get<std::uint32_t>(v, path), true;
        if (key == "customColors") return cd->CustomColors = strings(v, path), true;
        return false;
    }

    // Tries one component type's own properties when the component is of that type.
    template <typename T,
              bool (Loader::*Set)(T*, const std::string&, const Json&, const std::string&)>
    bool ofType(TComponent& c, const std::string& key, const Json& v, const std::string& path) {
        auto* typed = dynamic_cast<T*>(&c);
        return typed && (this->*Set)(typed, key, v, path);
    }

    // Applies a property of the component's own types; false when none of them has it. The
    // types are tried in this order and a derived type tries its bases too (a memo is an edit).
    bool specific(TComponent& c, const std::string& key, const Json& v, const std::string& path) {
        using TypeSetter =
            bool (Loader::*)(TComponent&, const std::string&, const Json&, const std::string&);
        static constexpr TypeSetter kTypes[] = {
            &Loader::ofType<TForm, &Loader::formProperty>,
            &Loader::ofType<TLabel, &Loader::labelProperty>,
            &Loader::ofType<TButton, &Loader::buttonProperty>,
            &Loader::ofType<TSpeedButton, &Loader::speedButtonProperty>,
            &Loader::ofType<TCheckBox, &Loader::checkBoxProperty>,
            &Loader::ofType<TRadioButton, &Loader::radioButtonProperty>,
            &Loader::ofType<TMemo, &Loader::memoProperty>,
            &Loader::ofType<TEdit, &Loader::editProperty>,
            &Loader::ofType<TUpDownEdit, &Loader::upDownProperty>,
            &Loader::ofType<TTrackBar, &Loader::trackBarProperty>,
            &Loader::ofType<TComboBox, &Loader::comboBoxProperty>,
            &Loader::ofType<TListView, &Loader::listViewProperty>,
            &Loader::ofType<TTreeView, &Loader::treeViewProperty>,
            &Loader::ofType<TImage, &Loader::imageProperty>,
            &Loader::ofType<TBigCheckListBox, &Loader::checkListProperty>,
            &Loader::ofType<TPageControl, &Loader::pageControlProperty>,
            &Loader::ofType<TTabSheet, &Loader::tabSheetProperty>,
            &Loader::ofType<TShape, &Loader::shapeProperty>,
            &Loader::ofType<TTimer, &Loader::timerProperty>,
            &Loader::ofType<TImageList, &Loader::imageListProperty>,
            &Loader::ofType<TMenuItem, &Loader::menuItemProperty>,
            &Loader::ofType<TPopupMenu, &Loader::popupMenuProperty>,
            &Loader::ofType<TActionList, &Loader::actionListProperty>,
            &Loader::ofType<TAction, &Loader::actionProperty>,
            &Loader::ofType<TOpenDialog, &Loader::openDialogProperty>,
            &Loader::ofType<TColorDialog, &Loader::colorDialogProperty>,
        };
        for (TypeSetter set : kTypes)
            if ((this->*set)(c, key, v, path)) return true;
        return false;
    }

    TComponent& make(const std::string& type, TComponent& owner, TWinControl* parent,
                     const std::string& path) {
        using Maker = std::function<TComponent&(TComponent&)>;
        static const std::map<std::string, Maker> kMakers = {
#define RAVELIN_TYPE(T)                                                                            \
    {                                                                                              \
#T, [](TComponent & o) -> TComponent& { return o.Create<T>(); }                            \
    }
            RAVELIN_TYPE(TLabel),           RAVELIN_TYPE(TPanel),       RAVELIN_TYPE(TGroupBox),
            RAVELIN_TYPE(TButton),          RAVELIN_TYPE(TCheckBox),    RAVELIN_TYPE(TNXCheckBox),
            RAVELIN_TYPE(TRadioButton),     RAVELIN_TYPE(TEdit),        RAVELIN_TYPE(TMemo),
            RAVELIN_TYPE(TUpDownEdit),      RAVELIN_TYPE(TTrackBar),    RAVELIN_TYPE(TNXTrackBar),
            RAVELIN_TYPE(TComboBox),        RAVELIN_TYPE(TListView),    RAVELIN_TYPE(TExListView),
            RAVELIN_TYPE(TBigCheckListBox), RAVELIN_TYPE(TTreeView),    RAVELIN_TYPE(TImage),
            RAVELIN_TYPE(TImageList),       RAVELIN_TYPE(TShape),       RAVELIN_TYPE(TTimer),
            RAVELIN_TYPE(TPopupMenu),       RAVELIN_TYPE(TMenuItem),    RAVELIN_TYPE(TActionList),
            RAVELIN_TYPE(TAction),          RAVELIN_TYPE(TTabSheet),    RAVELIN_TYPE(TPageControl),
            RAVELIN_TYPE(TFrame),           RAVELIN_TYPE(TSpeedButton), RAVELIN_TYPE(TNXPNGImage),
            RAVELIN_TYPE(TOpenDialog),      RAVELIN_TYPE(TColorDialog),
#undef RAVELIN_TYPE
        };
        auto it = kMakers.find(type);
        if (it == kMakers.end()) fail(path + "/type", "unknown component type \"" + type + "\"");
        TComponent& c = it->second(owner);
        if (auto* control = dynamic_cast<TControl*>(&c)) control->SetParent(parent);
        return c;
    }

    void load(TComponent& c, const Json& j, const std::string& path) {
        if (!j.is_object()) fail(path, "a component must be a JSON object");
        if (!j.contains("name")) fail(path, "a component needs a \"name\"");
        c.Name = get<std::string>(j["name"], path + "/name");
        if (c.Name.empty()) fail(path + "/name", "must not be empty");
        if (!names.insert(c.Name).second)
            fail(path + "/name", "the name \"" + c.Name + "\" is used twice");
        // What decides where items go (sorted, style) first, then the items (an item index
        // refers to them), then the other properties, events last: setting a state while
        // loading fires nothing.
        static const char* const kFirst[] = {"sorted", "style", "items"};
        for (const char* key : kFirst)
            if (j.contains(key) && !common(c, key, j[key], path + "/" + key) &&
                !specific(c, key, j[key], path + "/" + key))
                fail(path + "/" + key,
                     std::string("a ") + c.ClassName() + " has no property \"" + key + "\"");
        for (int pass = 0; pass < 2; ++pass) {
            for (auto it = j.begin(); it != j.end(); ++it) {
                const std::string& key = it.key();
                const bool event = key.size() > 2 && key.compare(0, 2, "on") == 0;
                if (event != (pass == 1) || key == "type" || key == "name" || key == "children" ||
                    key == "items" || key == "sorted" || key == "style")
                    continue;
                const std::string at = path + "/" + key;
                if (!common(c, key, it.value(), at) && !specific(c, key, it.value(), at))
                    fail(at,
                         std::string("a ") + c.ClassName() + " has no property \"" + key + "\"");
            }
        }
        if (j.contains("children")) {
            const Json& children = j["children"];
            if (!children.is_array()) fail(path + "/children", "must be a list of components");
            auto* parent = dynamic_cast<TWinControl*>(&c);
            for (std::size_t i = 0; i < children.size(); ++i) {
                const std::string childPath = path + "/children/" + std::to_string(i);
                const Json& child = children[i];
                if (!child.is_object() || !child.contains("type"))
                    fail(childPath, "a component needs a \"type\"");
                std::string type = get<std::string>(child["type"], childPath + "/type");
                if (type == "TForm")
                    fail(childPath + "/type", "a form cannot be inside another component");
                TComponent& made = make(type, form, parent, childPath);
                if (!parent && dynamic_cast<TControl*>(&made))
                    fail(childPath, std::string("a ") + c.ClassName() + " cannot hold controls");
                auto* item = dynamic_cast<TMenuItem*>(&made);
                if (auto* menu = dynamic_cast<TPopupMenu*>(&c)) {
                    if (!item) fail(childPath, "a popup menu holds menu items only");
                    menu->Add(*item);
                } else if (auto* parentItem = dynamic_cast<TMenuItem*>(&c)) {
                    if (!item) fail(childPath, "a submenu holds menu items only");
                    parentItem->Add(*item);
                } else if (item) {
                    fail(childPath, "a menu item belongs into a popup menu or a menu item");
                }
                if (dynamic_cast<TActionList*>(&c) && !dynamic_cast<TAction*>(&made))
                    fail(childPath, "an action list holds actions only");
                if (dynamic_cast<TPageControl*>(&c) && !dynamic_cast<TTabSheet*>(&made))
                    fail(childPath, "a page control holds tab sheets only");
                if (dynamic_cast<TTabSheet*>(&made) && !dynamic_cast<TPageControl*>(&c))
                    fail(childPath, "a tab sheet belongs into a page control");
                load(made, child, childPath);
            }
        }
    }
};

} // namespace

namespace {

std::set<std::string> loadRoot(TWinControl& root, const char* rootType, const std::string& text,
                               const std::string& fileName, const Handlers& handlers) {
    Json j;
    try {
        j = Json::parse(text);
    } catch (const Json::parse_error& e) {
        throw FormError(fileName + ": not valid JSON: " + e.what());
    }
    Loader loader{fileName, handlers, root, {}, {}, {}};
    if (!j.is_object() || j.value("type", "") != rootType)
        loader.fail("/type", std::string("the root component must be a ") + rootType);
    loader.load(root, j, "");
    for (auto& fix : loader.fixups)
        fix();
    return loader.bound;
}

} // namespace

std::set<std::string> LoadForm(TForm& form, const std::string& text, const std::string& fileName,
                               const Handlers& handlers) {
    return loadRoot(form, "TForm", text, fileName, handlers);
}

std::set<std::string> LoadFrame(TFrame& frame, const std::string& text, const std::string& fileName,
                                const Handlers& handlers) {
    return loadRoot(frame, "TFrame", text, fileName, handlers);
}

std::set<std::string> KnownComponentTypes() {
    return {"TForm",       "TLabel",           "TPanel",       "TGroupBox", "TButton",
            "TCheckBox",   "TNXCheckBox",      "TRadioButton", "TEdit",     "TMemo",
            "TUpDownEdit", "TTrackBar",        "TNXTrackBar",  "TComboBox", "TListView",
            "TExListView", "TBigCheckListBox", "TTreeView",    "TImage",    "TImageList",
            "TShape",      "TTimer",           "TPopupMenu",   "TMenuItem", "TActionList",
            "TAction",     "TTabSheet",        "TPageControl", "TFrame",    "TSpeedButton",
            "TNXPNGImage", "TOpenDialog",      "TColorDialog"};
}

} // namespace ravelin::toolkit
