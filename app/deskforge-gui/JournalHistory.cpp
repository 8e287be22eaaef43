#include "app/deskforge-gui/JournalHistory.h"

#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "host/text/Translate.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

namespace ravelin::gui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

enum Column { Number, Time, Page, Control, Summary, StateColumn, ColumnCount };

QString stateText(const HistoryEntry& e, bool keepsImages) {
    using State = HistoryEntry::State;
    const std::string target = std::to_string(e.info.target);
    switch (e.state) {
    case State::InEffect:
        return q(keepsImages ? text::tr("wirksam")
                             : text::tr("wirksam, nicht rückgängig zu machen"));
    case State::Undone:
        return q(keepsImages ? text::tr("rückgängig gemacht")
                             : text::tr("rückgängig gemacht, nicht wiederherzustellen"));
    case State::Undo:
        return q(text::trf("Rückgängigmachen von Nr. %1", target));
    case State::Redo:
        return q(text::trf("Wiederherstellen von Nr. %1", target));
    case State::Empty:
        break;
    }
    return q(text::tr("ohne Änderung"));
}

} // namespace

std::vector<HistoryEntry> ReadHistory(journal::Journal& journal) {
    std::vector<journal::TransactionInfo> list = journal.list(); // newest first
    std::map<std::int64_t, bool> undone;
    std::vector<HistoryEntry> out(list.size());
    for (std::size_t i = list.size(); i-- > 0;) {
        HistoryEntry& e = out[i];
        e.info = std::move(list[i]);
        if (e.info.kind == "undo") {
            e.state = HistoryEntry::State::Undo;
            undone[e.info.target] = true;
        } else if (e.info.kind == "redo") {
            e.state = HistoryEntry::State::Redo;
            undone[e.info.target] = false;
        } else if (e.info.changes == 0) {
            e.state = HistoryEntry::State::Empty;
        }
    }
    for (auto& e : out)
        if (e.state == HistoryEntry::State::InEffect && undone[e.info.id])
            e.state = HistoryEntry::State::Undone;
    return out;
}

bool KeepsImages(journal::Journal& journal, std::int64_t transaction, bool before) {
    for (const auto& e : journal.entries(transaction)) {
        if (e.isFile || !e.registry.sensitive) continue;
        if (e.registry.kind == registry::RegistryChange::Kind::Key) {
            if (before ? e.beforeHeldSecrets : e.afterHeldSecrets) return false;
            continue;
        }
        // A value that was absent is put back by deleting it, which needs no content.
        if (before ? e.registry.before.has_value() : e.registry.after.has_value()) return false;
    }
    return true;
}

HistoryDialog::HistoryDialog(Action undo, Action redo, QWidget* parent)
    : QDialog(parent), undoAction_(std::move(undo)), redoAction_(std::move(redo)) {
    setWindowTitle(q(text::tr("Verlauf der Änderungen")));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget;
    list_->setColumnCount(ColumnCount);
    list_->setHeaderLabels({q(text::tr("Nr.")), q(text::tr("Zeit")), q(text::tr("Seite")),
                            q(text::tr("Element")), q(text::tr("Änderung")),
                            q(text::tr("Zustand"))});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(Summary, QHeaderView::Stretch);
    layout->addWidget(list_, 1);
    hint_ = new QLabel;
    hint_->setWordWrap(true);
    layout->addWidget(hint_);
    auto* buttons = new QDialogButtonBox;
    undo_ = buttons->addButton(q(text::tr("&Rückgängig")), QDialogButtonBox::ActionRole);
    redo_ = buttons->addButton(q(text::tr("&Wiederherstellen")), QDialogButtonBox::ActionRole);
    buttons->addButton(q(text::tr("Schließen")), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    // The action refreshes the list through the window, which also shows the page again.
    connect(undo_, &QPushButton::clicked, this, [this] {
        if (std::int64_t id = selected()) undoAction_(id);
    });
    connect(redo_, &QPushButton::clicked, this, [this] {
        if (std::int64_t id = selected()) redoAction_(id);
    });
    resize(900, 440);
    refresh();
}

std::int64_t HistoryDialog::selected() const {
    const QTreeWidgetItem* item = list_->currentItem();
    return item && item->isSelected() ? item->data(Number, Qt::UserRole).toLongLong() : 0;
}

void HistoryDialog::select(std::int64_t transaction) {
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->data(Number, Qt::UserRole).toLongLong() != transaction) continue;
        list_->setCurrentItem(item);
        item->setSelected(true);
        list_->scrollToItem(item);
    }
    updateButtons();
}

void HistoryDialog::refresh() {
    std::int64_t keep = selected();
    const QSignalBlocker block(list_);
    list_->clear();
    entries_.clear();
    journal::Journal* journal = CurrentJournal();
    if (journal) entries_ = ReadHistory(*journal);
    for (const auto& e : entries_) {
        const bool undoable =
            e.state == HistoryEntry::State::InEffect || e.state == HistoryEntry::State::Undone;
        const bool keeps =
            !undoable || KeepsImages(*journal, e.info.id, e.state == HistoryEntry::State::InEffect);
        auto* item = new QTreeWidgetItem(list_);
        item->setText(Number, QString::number(e.info.id));
        item->setData(Number, Qt::UserRole, QVariant::fromValue<qlonglong>(e.info.id));
        item->setTextAlignment(Number, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(Time, QDateTime::fromSecsSinceEpoch(e.info.time)
                                .toString(q(text::tr("dd.MM.yyyy HH:mm:ss"))));
        item->setText(Page, q(e.info.page.empty() ? "-" : e.info.page));
        item->setText(Control, q(e.info.control.empty() ? "-" : e.info.control));
        item->setText(Summary, q(e.info.summary));
        item->setToolTip(Summary, q(e.info.summary));
        item->setText(StateColumn, stateText(e, keeps));
        item->setData(StateColumn, Qt::UserRole, keeps);
    }
    if (!journal)
        hint_->setText(q(text::tr("Diese Maschine hat kein Journal: Änderungen werden nicht "
                                  "aufgezeichnet.")));
    else if (entries_.empty())
        hint_->setText(q(text::tr("Noch keine Änderung.")));
    else
        hint_->clear();
    hint_->setVisible(!hint_->text().isEmpty());
    // The newest change is the one a person most likely wants to act on.
    if (!keep && !entries_.empty()) keep = entries_.front().info.id;
    if (keep) select(keep);
    updateButtons();
}

void HistoryDialog::updateButtons() {
    const std::int64_t id = selected();
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [id](const HistoryEntry& e) { return e.info.id == id; });
    const bool found = id && it != entries_.end();
    const bool keeps = found && list_->currentItem()->data(StateColumn, Qt::UserRole).toBool();
    undo_->setEnabled(found && keeps && it->state == HistoryEntry::State::InEffect);
    redo_->setEnabled(found && keeps && it->state == HistoryEntry::State::Undone);
}

} // namespace ravelin::gui
