#include "app/deskforge-gui/FormView.h"

#include "app/deskforge-gui/DialogFont.h"
#include "app/deskforge-gui/Pictures.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace ravelin::gui {

using namespace ravelin::toolkit;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Qt marks accelerators with "&" as the toolkit does; labels show the text as it is.
QString plain(const std::string& caption) {
    return q(StripAccelerator(caption));
}

QString colorName(std::uint32_t bgr) {
    // Colours are stored as Windows does: 0x00BBGGRR.
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF))
        .name();
}

// A memo's text as Qt shows it: lines broken by LF only.
QString memoText(const std::string& text) {
    QString out;
    const auto lines = TMemo::SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i)
        out += (i ? "\n" : "") + q(lines[i]);
    return out;
}

// A field the user cannot type in shows it: on the window's colour, as the system draws
// read-only fields, not on the white of an editable one.
void showReadOnly(QWidget& field, bool readOnly) {
    if (field.property("readOnlyShown").isValid() && field.property("readOnlyShown") == readOnly)
        return;
    field.setProperty("readOnlyShown", readOnly);
    QPalette palette = field.parentWidget() ? field.parentWidget()->palette() : field.palette();
    if (readOnly)
        for (auto group : {QPalette::Active, QPalette::Inactive})
            palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    field.setPalette(palette);
}

void syncLineEdit(const TEdit& e, QLineEdit& edit) {
    if (edit.text().toStdString() != e.Text()) edit.setText(q(e.Text()));
    edit.setEchoMode(e.PasswordChar ? QLineEdit::Password : QLineEdit::Normal);
    edit.setReadOnly(e.ReadOnly);
    showReadOnly(edit, e.ReadOnly);
    if (e.MaxLength > 0) edit.setMaxLength(e.MaxLength);
}

void syncMemo(const TMemo& m, QPlainTextEdit& memo) {
    const QString text = memoText(m.Text());
    if (memo.toPlainText() != text) memo.setPlainText(text);
    memo.setReadOnly(m.ReadOnly);
    showReadOnly(memo, m.ReadOnly);
    memo.setLineWrapMode(m.WordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    const bool vertical =
        m.ScrollBars == TScrollStyle::ssVertical || m.ScrollBars == TScrollStyle::ssBoth;
    const bool horizontal =
        m.ScrollBars == TScrollStyle::ssHorizontal || m.ScrollBars == TScrollStyle::ssBoth;
    memo.setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    memo.setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
}

QIcon imageOf(const TImageList* images, int index) {
    if (!images || index < 0 || index >= images->Count()) return {};
    return QIcon(Picture(images->Files[static_cast<std::size_t>(index)],
                         QSize(images->Width, images->Height)));
}

// A link is rich text (Qt reports its click); any other caption is shown as it is, quotes
// and angle brackets included.
void showCaption(QLabel& label, const TLabel& l, bool hovered) {
    if (!l.IsLink) {
        label.setTextFormat(Qt::PlainText);
        label.setText(plain(l.Caption));
        return;
    }
    // Links are navy and blue under the mouse; a page that colours them itself as the mouse
    // passes decides.
    const QString color =
        l.FontColor ? colorName(l.FontColor) : QString(hovered ? "#0000ff" : "#000080");
    label.setTextFormat(Qt::RichText);
    label.setText("<a href=\"#\" style=\"color:" + color + "\">" +
                  plain(l.Caption).toHtmlEscaped() + "</a>");
}

// What a list shows, without its ticks: ticks change in place, the items only when this does.
std::string listSignature(TListView& lv) {
    std::string s;
    for (int i = 0; i < lv.Count(); ++i) {
        TListItem& it = lv.Item(i);
        s += it.Caption + "\x1c" + std::to_string(it.ImageIndex.get());
        for (const auto& sub : it.SubItems)
            s += "\x1f" + sub;
        s += "\x1d";
    }
    return s;
}

// A check list's entry as a person reads it: entries that carry data ("kind", text, key
// separated by character 29) show their text field.
QString checkListText(const std::string& entry) {
    constexpr char kFieldSeparator = 29;
    const auto first = entry.find(kFieldSeparator);
    if (first == std::string::npos) return q(entry);
    const auto second = entry.find(kFieldSeparator, first + 1);
    return q(entry.substr(first + 1,
                          second == std::string::npos ? std::string::npos : second - first - 1));
}

void treeSignature(const TTreeNode& n, std::string& s) {
    s += n.Text + "\x1c" + std::to_string(n.ImageIndex) + (n.Expanded ? "+" : "-") + "\x1e";
    for (const auto& c : n.Children())
        treeSignature(*c, s);
    s += "\x1d";
}

void addTreeItems(QTreeWidgetItem* parent, const TTreeNode& node, QTreeWidget* tree,
                  const TImageList* images) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, q(node.Text));
    item->setData(0, Qt::UserRole, q(node.Path()));
    item->setIcon(0, imageOf(images, node.ImageIndex));
    for (const auto& c : node.Children())
        addTreeItems(item, *c, tree, images);
    item->setExpanded(node.Expanded);
}

QTreeWidgetItem* findTreeItem(QTreeWidget* tree, const QString& path) {
    QList<QTreeWidgetItem*> stack;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        stack.push_back(tree->topLevelItem(i));
    while (!stack.isEmpty()) {
        QTreeWidgetItem* it = stack.takeLast();
        if (it->data(0, Qt::UserRole).toString() == path) return it;
        for (int i = 0; i < it->childCount(); ++i)
            stack.push_back(it->child(i));
    }
    return nullptr;
}

} // namespace

FormView::FormView(TForm& form, ActionRunner run, QWidget* parent)
    : QWidget(parent), form_(&form), run_(std::move(run)) {
    setObjectName(q(form.Name));
    setFixedSize(form.Width, form.Height);
    setFont(DialogFont()); // the font the forms were laid out for
    build(form, this);
    sync();
}

FormView::~FormView() = default;

void FormView::detach() {
    form_ = nullptr;
    for (auto& [control, widget] : widgets_)
        widget->removeEventFilter(this);
    widgets_.clear();
    shownItems_.clear();
}

std::string FormView::DriverName(const TComponent& control) {
    std::string name = control.Name;
    for (TComponent* o = control.Owner(); o && !dynamic_cast<TForm*>(o); o = o->Owner())
        if (auto* frame = dynamic_cast<TFrame*>(o)) name = frame->Name + "." + name;
    return name;
}

QWidget* FormView::widgetFor(const TControl& control) const {
    for (const auto& [c, w] : widgets_)
        if (c == &control) return w;
    return nullptr;
}

QWidget* FormView::widgetByName(const std::string& name) const {
    for (const auto& [c, w] : widgets_)
        if (DriverName(*c) == name) return w;
    return nullptr;
}

void FormView::act(const TControl& control, const DriverAction& action) {
    if (syncing_ || !form_) return;
    // Qt is still inside the widget's signal: its items must outlive the handler, so what
    // would rebuild them waits until the signal has returned.
    {
        const QScopedValueRollback<QWidget*> inSignal(signalling_, widgetFor(control));
        run_(DriverName(control), action);
    }
    if (resyncWanted_ && !signalling_) {
        resyncWanted_ = false;
        QTimer::singleShot(0, this, [this] { sync(); });
    }
}

bool FormView::mayRebuild(QWidget* w) {
    if (!w || w != signalling_) return true;
    resyncWanted_ = true;
    return false;
}

void FormView::build(TWinControl& parent, QWidget* host) {
    for (TControl* child : parent.Controls()) {
        QWidget* w = create(*child, host);
        widgets_.emplace_back(child, w);
        w->installEventFilter(this);
        if (auto* pc = dynamic_cast<TPageControl*>(child)) {
            auto* tabs = static_cast<QTabWidget*>(w);
            for (TTabSheet* sheet : pc->Pages()) {
                auto* page = new QWidget;
                page->setObjectName(q(sheet->Name));
                tabs->addTab(page, q(sheet->Caption));
                widgets_.emplace_back(sheet, page);
                build(*sheet, page);
            }
            QObject::connect(tabs, &QTabWidget::currentChanged, this, [this, pc](int index) {
                auto pages = pc->Pages();
                if (index < 0 || index >= static_cast<int>(pages.size())) return;
                const std::string name = pages[static_cast<std::size_t>(index)]->Name;
                act(*pc, [name](UserDriver& d) { d.Tab(name); });
            });
        } else if (auto* wc = dynamic_cast<TWinControl*>(child)) {
            build(*wc, w);
        }
    }
}

QWidget* FormView::create(TControl& c, QWidget* host) {
    QWidget* w = newWidget(c, host);
    w->setObjectName(q(c.Name));
    routeRightClick(c, w);
    return w;
}

// The dispatch by control type, in an order where a derived type comes before its base.
QWidget* FormView::newWidget(TControl& c, QWidget* host) {
    if (dynamic_cast<TPageControl*>(&c)) return new QTabWidget(host);
    if (dynamic_cast<TGroupBox*>(&c)) return new QGroupBox(host);
    if (auto* b = dynamic_cast<TButton*>(&c)) return newButton(*b, host);
    if (auto* cb = dynamic_cast<TCheckBox*>(&c)) return newCheckBox(*cb, host);
    if (auto* rb = dynamic_cast<TRadioButton*>(&c)) return newRadioButton(*rb, host);
    if (auto* memo = dynamic_cast<TMemo*>(&c)) return newMemo(*memo, host);
    if (auto* e = dynamic_cast<TEdit*>(&c)) return newEdit(*e, host);
    if (auto* ud = dynamic_cast<TUpDownEdit*>(&c)) return newUpDown(*ud, host);
    if (auto* tb = dynamic_cast<TTrackBar*>(&c)) return newTrackBar(*tb, host);
    if (auto* combo = dynamic_cast<TComboBox*>(&c)) return newComboBox(*combo, host);
    if (auto* lv = dynamic_cast<TListView*>(&c)) return newListView(*lv, host);
    if (auto* cl = dynamic_cast<TBigCheckListBox*>(&c)) return newCheckList(*cl, host);
    if (auto* tv = dynamic_cast<TTreeView*>(&c)) return newTreeView(*tv, host);
    if (auto* sb = dynamic_cast<TSpeedButton*>(&c)) return newSpeedButton(*sb, host);
    if (auto* label = dynamic_cast<TLabel*>(&c)) return newLabel(*label, host);
    if (dynamic_cast<TImage*>(&c)) {
        auto* l = new QLabel(host);
        l->setAlignment(Qt::AlignCenter);
        return l;
    }
    if (dynamic_cast<TShape*>(&c)) {
        auto* f = new QFrame(host);
        f->setFrameShape(QFrame::Box);
        f->setAutoFillBackground(true);
        return f;
    }
    // Panels, frames and anything else that only holds other controls.
    return new QWidget(host);
}

// One widget per control type, wired so that what a user does to it runs as the user
// driver's action, exactly as a script would.
QWidget* FormView::newButton(TButton& b, QWidget* host) {
    auto* btn = new QPushButton(host);
    btn->setDefault(b.Default);
    QObject::connect(btn, &QPushButton::clicked, this, [this, b = &b] {
        act(*b, [n = DriverName(*b)](UserDriver& d) { d.Click(n); });
    });
    return btn;
}

QWidget* FormView::newCheckBox(TCheckBox& cb, QWidget* host) {
    auto* box = new QCheckBox(host);
    QObject::connect(box, &QCheckBox::clicked, this, [this, cb = &cb](bool on) {
        act(*cb, [n = DriverName(*cb), on](UserDriver& d) { d.Check(n, on); });
    });
    return box;
}

QWidget* FormView::newRadioButton(TRadioButton& rb, QWidget* host) {
    auto* radio = new QRadioButton(host);
    radio->setAutoExclusive(false); // the toolkit unchecks the others
    QObject::connect(radio, &QRadioButton::clicked, this, [this, rb = &rb] {
        act(*rb, [n = DriverName(*rb)](UserDriver& d) { d.Click(n); });
    });
    return radio;
}

QWidget* FormView::newMemo(TMemo& memo, QWidget* host) {
    auto* edit = new QPlainTextEdit(host);
    QObject::connect(edit, &QPlainTextEdit::textChanged, this, [this, memo = &memo, edit] {
        if (edit->toPlainText() == memoText(memo->Text())) return;
        act(*memo, [n = DriverName(*memo), t = edit->toPlainText().toStdString()](UserDriver& d) {
            d.Set(n, t);
        });
    });
    return edit;
}

QWidget* FormView::newEdit(TEdit& e, QWidget* host) {
    auto* edit = new QLineEdit(host);
    QObject::connect(edit, &QLineEdit::textEdited, this, [this, e = &e](const QString& text) {
        act(*e, [n = DriverName(*e), t = text.toStdString()](UserDriver& d) { d.Set(n, t); });
    });
    return edit;
}

QWidget* FormView::newUpDown(TUpDownEdit& ud, QWidget* host) {
    auto* spin = new QSpinBox(host);
    QObject::connect(spin, &QSpinBox::valueChanged, this, [this, ud = &ud](int v) {
        act(*ud, [n = DriverName(*ud), v](UserDriver& d) { d.Spin(n, v); });
    });
    return spin;
}

QWidget* FormView::newTrackBar(TTrackBar& tb, QWidget* host) {
    auto* slider = new QSlider(Qt::Horizontal, host);
    slider->setTickPosition(QSlider::TicksBelow);
    QObject::connect(slider, &QSlider::valueChanged, this, [this, tb = &tb](int v) {
        act(*tb, [n = DriverName(*tb), v](UserDriver& d) { d.Spin(n, v); });
    });
    return slider;
}

QWidget* FormView::newComboBox(TComboBox& combo, QWidget* host) {
    auto* box = new QComboBox(host);
    box->setEditable(combo.Style == TComboBox::TComboBoxStyle::csDropDown);
    QObject::connect(box, &QComboBox::activated, this, [this, combo = &combo](int index) {
        act(*combo, [n = DriverName(*combo), index](UserDriver& d) {
            d.Select(n, "#" + std::to_string(index));
        });
    });
    // Keys typed into the field go to the page one by one (eventFilter); what is pasted
    // or undone arrives whole.
    if (box->lineEdit()) box->lineEdit()->installEventFilter(this);
    if (box->lineEdit())
        QObject::connect(box->lineEdit(), &QLineEdit::textEdited, this,
                         [this, combo = &combo](const QString& text) {
                             act(*combo, [n = DriverName(*combo),
                                          t = text.toStdString()](UserDriver& d) { d.Set(n, t); });
                         });
    return box;
}

QWidget* FormView::newListView(TListView& list, QWidget* host) {
    TListView* lv = &list;
    auto* tree = new QTreeWidget(host);
    tree->setRootIsDecorated(false);
    tree->setHeaderHidden(lv->Columns.empty());
    tree->setColumnCount(std::max<int>(1, static_cast<int>(lv->Columns.size())));
    QStringList headers;
    for (const auto& col : lv->Columns)
        headers << plain(col.Caption);
    if (!headers.isEmpty()) tree->setHeaderLabels(headers);
    QObject::connect(tree, &QTreeWidget::itemChanged, this,
                     [this, lv, tree](QTreeWidgetItem* item, int column) {
                         if (column != 0 || !lv->Checkboxes) return;
                         const bool on = item->checkState(0) == Qt::Checked;
                         const int index = tree->indexOfTopLevelItem(item);
                         act(*lv, [n = DriverName(*lv), index, on](UserDriver& d) {
                             d.Tick(n, "#" + std::to_string(index), on);
                         });
                     });
    QObject::connect(tree, &QTreeWidget::itemClicked, this,
                     [this, lv, tree](QTreeWidgetItem* item, int) {
                         const int index = tree->indexOfTopLevelItem(item);
                         if (index >= 0 && index < lv->Count() && lv->Item(index).Selected())
                             return;
                         act(*lv, [n = DriverName(*lv), index](UserDriver& d) {
                             d.Select(n, "#" + std::to_string(index));
                         });
                     });
    QObject::connect(tree, &QTreeWidget::itemDoubleClicked, this,
                     [this, lv](QTreeWidgetItem* item, int) {
                         act(*lv, [n = DriverName(*lv), t = item->text(0).toStdString()](
                                      UserDriver& d) { d.DblClick(n, t); });
                     });
    return tree;
}

QWidget* FormView::newCheckList(TBigCheckListBox& cl, QWidget* host) {
    auto* list = new QListWidget(host);
    QObject::connect(list, &QListWidget::itemChanged, this,
                     [this, cl = &cl, list](QListWidgetItem* item) {
                         const int index = list->row(item);
                         const bool on = item->checkState() == Qt::Checked;
                         act(*cl, [n = DriverName(*cl), index, on](UserDriver& d) {
                             d.Tick(n, "#" + std::to_string(index), on);
                         });
                     });
    return list;
}

QWidget* FormView::newTreeView(TTreeView& view, QWidget* host) {
    TTreeView* tv = &view;
    auto* tree = new QTreeWidget(host);
    tree->setHeaderHidden(true);
    QObject::connect(tree, &QTreeWidget::itemClicked, this, [this, tv](QTreeWidgetItem* item, int) {
        const std::string path = item->data(0, Qt::UserRole).toString().toStdString();
        if (tv->Selected() && tv->Selected()->Path() == path) return;
        act(*tv, [n = DriverName(*tv), path](UserDriver& d) { d.Select(n, path); });
    });
    // Opening and closing folders is the view's own business, but the toolkit's
    // layout (the node at a point) must know it.
    auto expand = [this, tv](QTreeWidgetItem* item, bool on) {
        if (syncing_ || !form_) return;
        if (TTreeNode* node = tv->FindPath(item->data(0, Qt::UserRole).toString().toStdString()))
            node->Expanded = on;
    };
    QObject::connect(tree, &QTreeWidget::itemExpanded, this,
                     [expand](QTreeWidgetItem* item) { expand(item, true); });
    QObject::connect(tree, &QTreeWidget::itemCollapsed, this,
                     [expand](QTreeWidgetItem* item) { expand(item, false); });
    return tree;
}

QWidget* FormView::newSpeedButton(TSpeedButton& sb, QWidget* host) {
    auto* button = new QToolButton(host);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QObject::connect(button, &QToolButton::clicked, this, [this, sb = &sb] {
        act(*sb, [n = DriverName(*sb)](UserDriver& d) { d.Click(n); });
    });
    return button;
}

QWidget* FormView::newLabel(TLabel& label, QWidget* host) {
    auto* l = new QLabel(host);
    l->setWordWrap(!label.AutoSize);
    QObject::connect(l, &QLabel::linkActivated, this, [this, label = &label](const QString&) {
        act(*label, [n = DriverName(*label)](UserDriver& d) { d.Click(n); });
    });
    return l;
}

// A right click reaches the page as the toolkit's right mouse button, on the item
// under the pointer of a list or tree, and opens the control's pop-up menu. Text fields
// keep their own menu (copy, paste) unless the page asks for the click.
void FormView::routeRightClick(TControl& c, QWidget* w) {
    const bool textField =
        dynamic_cast<TEdit*>(&c) || dynamic_cast<TComboBox*>(&c) || dynamic_cast<TUpDownEdit*>(&c);
    if (!c.OnMouseDown && !c.PopupMenu && textField) return;
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(
        w, &QWidget::customContextMenuRequested, this, [this, &c, w](const QPoint& at) {
            std::string item;
            if (auto* tree = dynamic_cast<QTreeWidget*>(w)) {
                QTreeWidgetItem* it = tree->itemAt(at);
                if (it && dynamic_cast<TListView*>(&c))
                    item = "#" + std::to_string(tree->indexOfTopLevelItem(it));
                else if (it)
                    item = it->data(0, Qt::UserRole).toString().toStdString();
            }
            act(c, [n = DriverName(c), item](UserDriver& d) { d.RightClick(n, item); });
        });
}

void FormView::sync() {
    if (!form_) return;
    syncing_ = true;
    for (auto& [control, widget] : widgets_)
        syncControl(*control, widget);
    syncing_ = false;
    syncMenu();
}

void FormView::fillMenu(QMenu& menu, const std::vector<TMenuItem*>& items) {
    for (TMenuItem* item : items) {
        if (!item->Visible) continue;
        if (item->IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        if (!item->Items.empty()) {
            QMenu* sub = menu.addMenu(q(item->Caption));
            sub->setEnabled(item->Enabled);
            sub->menuAction()->setObjectName(q(item->Name));
            fillMenu(*sub, item->Items);
            continue;
        }
        QAction* action = menu.addAction(q(item->Caption));
        action->setObjectName(q(item->Name));
        action->setEnabled(item->Enabled);
        action->setCheckable(item->Checked || item->RadioItem);
        action->setChecked(item->Checked);
        if (TPopupMenu* owner = item->Menu(); owner && owner->Images)
            action->setIcon(imageOf(owner->Images, item->ImageIndex));
        QObject::connect(action, &QAction::triggered, this, [this, item] {
            if (!form_) return;
            run_(DriverName(*item), [n = DriverName(*item)](UserDriver& d) { d.Click(n); });
        });
    }
}

void FormView::syncMenu() {
    // The toolkit's open menu, when it belongs to this form (or a frame on it).
    TPopupMenu* open = TApplication::Instance().OpenedMenu();
    bool ours = false;
    for (TComponent* o = open; o && !ours; o = o->Owner())
        ours = o == form_;
    if (!ours) open = nullptr;
    if (open == menuShown_ && (open == nullptr || menu_)) return;
    if (menu_) {
        menuShown_ = nullptr; // closed by the toolkit: not a user's dismissal
        menu_->hide();
        menu_->deleteLater();
        menu_ = nullptr;
    }
    menuShown_ = open;
    if (!open) return;
    menu_ = new QMenu(this);
    menu_->setObjectName(q(open->Name));
    fillMenu(*menu_, open->Items);
    QObject::connect(menu_, &QMenu::aboutToHide, this, [this, menu = open] {
        // A choice closes the toolkit's menu itself; dismissing it (Escape, a click
        // elsewhere) closes it after Qt has delivered any choice.
        QTimer::singleShot(0, this, [this, menu] {
            if (TApplication::Instance().OpenedMenu() == menu && menuShown_ == menu) {
                TApplication::Instance().CloseMenu();
                menuShown_ = nullptr;
                if (menu_) menu_->deleteLater();
                menu_ = nullptr;
            }
        });
    });
    const TPoint at = open->PopupPoint();
    menu_->popup(mapToGlobal(QPoint(at.X, at.Y)));
}

void FormView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (form_ && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)) {
        const std::string name = key == Qt::Key_Escape ? "escape" : "enter";
        run_(form_->Name, [name](UserDriver& d) { d.Press(name); });
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FormView::syncControl(TControl& c, QWidget* w) {
    const QSignalBlocker block(w);
    if (auto* sheet = dynamic_cast<TTabSheet*>(&c)) {
        syncTabSheet(*sheet, w);
        return;
    }
    const QSize size = syncPlacement(c, w);
    if (auto* box = dynamic_cast<QGroupBox*>(w)) {
        box->setTitle(q(c.Caption)); // "&&" is a literal "&" to Qt as to the toolkit
    } else if (auto* button = dynamic_cast<QAbstractButton*>(w)) {
        syncButton(c, *button);
    } else if (auto* edit = dynamic_cast<QLineEdit*>(w)) {
        syncLineEdit(static_cast<TEdit&>(c), *edit);
    } else if (auto* memo = dynamic_cast<QPlainTextEdit*>(w)) {
        syncMemo(static_cast<TMemo&>(c), *memo);
    } else if (auto* spin = dynamic_cast<QSpinBox*>(w)) {
        auto& u = static_cast<TUpDownEdit&>(c);
        spin->setRange(u.Min, u.Max);
        spin->setValue(u.GetPosition());
    } else if (auto* slider = dynamic_cast<QSlider*>(w)) {
        auto& t = static_cast<TTrackBar&>(c);
        slider->setRange(t.Min, t.Max);
        slider->setPageStep(t.PageSize);
        slider->setTickInterval(t.Frequency);
        slider->setValue(t.Position());
    } else if (auto* combo = dynamic_cast<QComboBox*>(w)) {
        syncComboBox(static_cast<TComboBox&>(c), *combo);
    } else if (auto* list = dynamic_cast<QListWidget*>(w)) {
        syncCheckList(static_cast<TBigCheckListBox&>(c), *list);
    } else if (auto* tree = dynamic_cast<QTreeWidget*>(w)) {
        if (auto* lv = dynamic_cast<TListView*>(&c))
            syncListView(*lv, *tree);
        else if (auto* tv = dynamic_cast<TTreeView*>(&c))
            syncTreeView(*tv, *tree);
    } else if (auto* label = dynamic_cast<QLabel*>(w)) {
        if (auto* image = dynamic_cast<TImage*>(&c))
            syncImage(*image, *label, size);
        else if (auto* l = dynamic_cast<TLabel*>(&c)) {
            showCaption(*label, *l, label->underMouse());
            if (l->FontColor && !l->IsLink)
                label->setStyleSheet("color:" + colorName(l->FontColor));
        }
    } else if (auto* shape = dynamic_cast<TShape*>(&c)) {
        w->setStyleSheet("background-color:" + colorName(shape->BrushColor));
    }
}

// Sheets belong to their tab widget: caption and visibility are tabs there.
void FormView::syncTabSheet(TTabSheet& sheet, QWidget* w) {
    auto* pc = dynamic_cast<TPageControl*>(sheet.Parent());
    auto* tabs = pc ? dynamic_cast<QTabWidget*>(widgetFor(*pc)) : nullptr;
    if (!tabs) return;
    const QSignalBlocker blockTabs(tabs);
    const int index = tabs->indexOf(w);
    tabs->setTabText(index, q(sheet.Caption));
    tabs->setTabVisible(index, sheet.TabVisible);
    tabs->setTabEnabled(index, sheet.Enabled);
    if (pc->ActivePage() == &sheet && tabs->currentIndex() != index) tabs->setCurrentIndex(index);
}

// Position, size, visibility and hint, which every control has; returns the size given, which
// may differ from the toolkit's where Qt needs more room for a caption.
QSize FormView::syncPlacement(TControl& c, QWidget* w) {
    int width = c.Width, height = c.Height;
    // Captions were measured in the toolkit's dialog font; Qt's may be a little wider, so
    // they may grow up to their parent's edge. A label that still does not fit wraps.
    const int room = c.Parent() && c.Parent()->Width > c.Left ? c.Parent()->Width - c.Left - 4 : 0;
    if (auto* l = dynamic_cast<TLabel*>(&c); l && l->AutoSize) {
        if (auto* label = dynamic_cast<QLabel*>(w)) {
            showCaption(*label, *l, label->underMouse());
            label->setWordWrap(false);
            width = std::max(width, label->sizeHint().width());
            if (room > 0 && width > room) {
                width = room;
                label->setWordWrap(true);
                height = std::max(height, label->heightForWidth(width));
            }
        }
    } else if (auto* button = dynamic_cast<QAbstractButton*>(w);
               button && room > 0 &&
               (dynamic_cast<TCheckBox*>(&c) || dynamic_cast<TRadioButton*>(&c))) {
        button->setText(q(c.Caption));
        width = std::min(std::max(width, button->sizeHint().width()), std::max(width, room));
    }
    if (width <= 0 || height <= 0) {
        const QSize hint = w->sizeHint();
        if (width <= 0) width = hint.width();
        if (height <= 0) height = hint.height();
    }
    w->setGeometry(c.Left, c.Top, width, height);
    w->setVisible(c.Visible);
    w->setEnabled(c.Enabled);
    if (!c.Hint.empty()) w->setToolTip(q(c.Hint));
    return {width, height};
}

// Buttons, check boxes, radio buttons and speed buttons all show as Qt's buttons.
void FormView::syncButton(TControl& c, QAbstractButton& button) {
    button.setText(q(c.Caption)); // Qt underlines the "&" accelerator itself
    if (auto* cb = dynamic_cast<TCheckBox*>(&c)) button.setChecked(cb->Checked());
    if (auto* rb = dynamic_cast<TRadioButton*>(&c)) button.setChecked(rb->Checked());
    if (auto* sb = dynamic_cast<TSpeedButton*>(&c)) {
        auto& tool = static_cast<QToolButton&>(button);
        tool.setCheckable(sb->GroupIndex != 0);
        tool.setChecked(sb->Down());
        tool.setAutoRaise(sb->Flat);
        if (shownItems_[&c] != sb->Glyph) {
            tool.setIcon(QIcon(Picture(sb->Glyph, QSize(16, 16))));
            shownItems_[&c] = sb->Glyph;
        }
    }
}

void FormView::syncComboBox(TComboBox& cb, QComboBox& combo) {
    std::string sig;
    for (const auto& item : cb.Items)
        sig += item.text + "\x1d";
    if (shownItems_[&cb] != sig && mayRebuild(&combo)) {
        combo.clear();
        for (const auto& item : cb.Items)
            combo.addItem(q(item.text));
        shownItems_[&cb] = sig;
    }
    combo.setCurrentIndex(cb.ItemIndex());
    if (combo.isEditable() && combo.currentText().toStdString() != cb.Text())
        combo.setEditText(q(cb.Text()));
}

void FormView::syncCheckList(TBigCheckListBox& cl, QListWidget& list) {
    std::string sig;
    for (const auto& item : cl.Items)
        sig += item + "\x1d";
    if (shownItems_[&cl] != sig && mayRebuild(&list)) {
        list.clear();
        for (const auto& item : cl.Items)
            list.addItem(checkListText(item));
        shownItems_[&cl] = sig;
    }
    for (int i = 0; i < list.count() && i < static_cast<int>(cl.Items.size()); ++i) {
        QListWidgetItem* item = list.item(i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(cl.GetCheck(i) ? Qt::Checked : Qt::Unchecked);
    }
}

void FormView::syncListView(TListView& list, QTreeWidget& view) {
    TListView* lv = &list;
    QTreeWidget* tree = &view;
    const std::string sig = listSignature(*lv);
    tree->setHeaderHidden(lv->Columns.empty() || !lv->ShowColumnHeaders ||
                          lv->ViewStyle != TViewStyle::vsReport);
    for (std::size_t col = 0; col < lv->Columns.size(); ++col)
        if (tree->columnWidth(static_cast<int>(col)) != lv->Columns[col].Width)
            tree->setColumnWidth(static_cast<int>(col), lv->Columns[col].Width);
    if (lv->SmallImages) tree->setIconSize(QSize(lv->SmallImages->Width, lv->SmallImages->Height));
    if (shownItems_[lv] != sig && mayRebuild(tree)) {
        tree->clear();
        for (int i = 0; i < lv->Count(); ++i) {
            TListItem& it = lv->Item(i);
            auto* item = new QTreeWidgetItem(tree);
            item->setText(0, q(it.Caption));
            item->setIcon(0, imageOf(lv->SmallImages, it.ImageIndex));
            for (std::size_t s = 0; s < it.SubItems.size(); ++s)
                item->setText(static_cast<int>(s) + 1, q(it.SubItems[s]));
        }
        shownItems_[lv] = sig;
    }
    if (shownItems_[lv] == sig)
        for (int i = 0; i < lv->Count() && i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = tree->topLevelItem(i);
            item->setSelected(lv->Item(i).Selected());
            const Qt::CheckState tick = lv->Item(i).Checked() ? Qt::Checked : Qt::Unchecked;
            if (lv->Checkboxes &&
                (item->checkState(0) != tick || item->data(0, Qt::CheckStateRole).isNull()))
                item->setCheckState(0, tick);
        }
}

void FormView::syncTreeView(TTreeView& tv, QTreeWidget& tree) {
    std::string sig;
    for (const auto& root : tv.Roots())
        treeSignature(*root, sig);
    if (shownItems_[&tv] != sig && mayRebuild(&tree)) {
        tree.clear();
        for (const auto& root : tv.Roots())
            addTreeItems(nullptr, *root, &tree, tv.Images);
        shownItems_[&tv] = sig;
    }
    tree.setRootIsDecorated(tv.ShowRoot);
    if (tv.Images) tree.setIconSize(QSize(tv.Images->Width, tv.Images->Height));
    if (!tv.Selected()) tree.setCurrentItem(nullptr);
    if (tv.Selected())
        if (QTreeWidgetItem* item = findTreeItem(&tree, q(tv.Selected()->Path())))
            tree.setCurrentItem(item);
}

// Pictures are looked up once; a page changes them rarely.
void FormView::syncImage(TImage& image, QLabel& label, QSize size) {
    const std::string shown = image.PictureFile + "@" + std::to_string(size.width()) + "x" +
                              std::to_string(size.height());
    if (shownItems_[&image] != shown) {
        label.setPixmap(Picture(image.PictureFile, size));
        shownItems_[&image] = shown;
    }
}

// A key a person types into a field reaches the page's key handler, which may discard
// it, exactly as the driver's typing does; the field shows the outcome and keeps the caret.
// Keys that do not type (arrows, shortcuts, Enter) stay Qt's.
bool FormView::typeKey(QLineEdit& field, QKeyEvent& key) {
    if (!form_ || syncing_ || field.isReadOnly()) return false;
    TControl* control = nullptr;
    for (const auto& [c, w] : widgets_) {
        auto* combo = dynamic_cast<QComboBox*>(w);
        if (w == &field || (combo && combo->lineEdit() == &field)) control = c;
    }
    if (!dynamic_cast<TEdit*>(control) && !dynamic_cast<TComboBox*>(control)) return false;
    const int caretBefore = field.cursorPosition();
    const int start = field.hasSelectedText() ? field.selectionStart() : caretBefore;
    const int selected = static_cast<int>(field.selectedText().size());
    int length = selected;
    QString typed;
    if (key.key() == Qt::Key_Backspace) {
        typed = QChar(8);
    } else if (key.key() == Qt::Key_Delete) {
        // Delete takes the character after the caret: a Backspace over it.
        if (length == 0 && start < field.text().size()) length = 1;
        if (length == 0) return true;
        typed = QChar(8);
    } else {
        if (key.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
        typed = key.text();
        if (typed.isEmpty()) return false;
        for (QChar ch : typed)
            if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) return false;
    }
    const QString before = field.text();
    act(*control,
        [n = DriverName(*control), t = typed.toStdString(), start, length](UserDriver& d) {
            d.Type(n, t, TCaret{start, length});
        });
    if (field.text() == before) {
        // Refused: the caret and the selection stay as they were.
        if (selected > 0)
            field.setSelection(start, selected);
        else
            field.setCursorPosition(caretBefore);
        return true;
    }
    // The caret goes after what the keys left, measured on the shown text.
    const qsizetype after = field.text().size();
    const qsizetype caret = start + (after - (before.size() - length));
    field.setCursorPosition(static_cast<int>(std::clamp<qsizetype>(caret, 0, after)));
    return true;
}

bool FormView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (auto* combo = qobject_cast<QComboBox*>(watched)) field = combo->lineEdit();
        if (field && typeKey(*field, *static_cast<QKeyEvent*>(event))) return true;
    }
    // The mouse over a link: the page's handlers (they only colour it) or the view's own
    // colour show it.
    if ((event->type() == QEvent::Enter || event->type() == QEvent::Leave) && form_ && !syncing_) {
        for (const auto& [control, widget] : widgets_) {
            auto* link = dynamic_cast<TLabel*>(control);
            if (widget != watched || !link || !link->IsLink) continue;
            link->Fire(event->type() == QEvent::Enter ? link->OnMouseEnter : link->OnMouseLeave);
            syncing_ = true;
            syncControl(*link, widget);
            syncing_ = false;
            break;
        }
    }
    // Qt's focus moves drive the toolkit's exit and enter events.
    if (event->type() == QEvent::FocusIn && form_ && !syncing_) {
        for (const auto& [control, widget] : widgets_) {
            if (widget != watched) continue;
            auto* wc = dynamic_cast<TWinControl*>(control);
            if (wc && wc->CanFocus() && form_->ActiveControl() != wc)
                act(*wc, [n = DriverName(*wc)](UserDriver& d) { d.Focus(n); });
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace ravelin::gui
