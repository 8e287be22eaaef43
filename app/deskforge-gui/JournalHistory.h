// The journal as the window shows it: every transaction with what became of it, and whether
// the journal kept what it needs to undo or redo it.
#pragma once

#include "host/journal/Journal.h"

#include <QDialog>
#include <cstdint>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace ravelin::gui {

struct HistoryEntry {
    enum class State {
        InEffect, // a change whose effect stands
        Undone,   // a change undone (and not redone since)
        Undo,     // the record of an undo
        Redo,     // the record of a redo
        Empty,    // a transaction that changed nothing
    };
    journal::TransactionInfo info;
    State state = State::InEffect;
};

// Newest first, as the journal lists them. An undo and a later redo of the same change
// cancel out, in the order they were made.
std::vector<HistoryEntry> ReadHistory(journal::Journal& journal);

// Whether the journal kept the images an undo (before) or redo (after) would put back: of a
// sensitive value it keeps only a digest.
bool KeepsImages(journal::Journal& journal, std::int64_t transaction, bool before);

// Bearbeiten → Verlauf: the journal's transactions, each to be undone or redone on its own.
class HistoryDialog final : public QDialog {
  public:
    using Action = std::function<bool(std::int64_t)>;
    HistoryDialog(Action undo, Action redo, QWidget* parent);

    // Reads the journal again, keeping the selected transaction.
    void refresh();
    void select(std::int64_t transaction);
    QTreeWidget* list() const { return list_; }
    QPushButton* undoButton() const { return undo_; }
    QPushButton* redoButton() const { return redo_; }

  private:
    std::int64_t selected() const;
    void updateButtons();

    Action undoAction_, redoAction_;
    QTreeWidget* list_ = nullptr;
    QLabel* hint_ = nullptr;
    QPushButton* undo_ = nullptr;
    QPushButton* redo_ = nullptr;
    std::vector<HistoryEntry> entries_;
};

} // namespace ravelin::gui
