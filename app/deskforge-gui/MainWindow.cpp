#include "app/deskforge-gui/MainWindow.h"

#include "app/deskforge-gui/ElidedLabel.h"
#include "app/deskforge-gui/JournalHistory.h"
#include "app/deskforge-gui/MachineChoice.h"
#include "app/deskforge-gui/Pictures.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/PageCommand.h"
#include "host/Controlhelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Smallmozillastuff.h"
#include "host/journal/Journal.h"
#include "host/machine/Machine.h"
#include "host/registry/Hive.h"
#include "host/registry/Registry.h"
#include "host/text/Translate.h"
#include "toolkit/Driver.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QVBoxLayout>
#include <set>
#include <sstream>

namespace ravelin::gui {

using namespace ravelin::toolkit;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string shortName(const std::string& id) {
    return id.substr(0, id.find('|'));
}

// "Bilder|*.bmp;*.png|Alle Dateien|*.*" as Qt writes filters.
QString qtFilter(const std::string& filter) {
    QStringList parts = q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + " (" + parts[i + 1].replace(';', ' ') + ")";
    return out.join(";;");
}

// A dialog whose close box works like the toolkit form's: the form closes with Cancel.
class FormDialog final : public QDialog {
  public:
    FormDialog(TForm& form, QWidget* parent) : QDialog(parent), form_(&form) {}
    void release() { form_ = nullptr; }
    void reject() override {
        if (form_ && form_->ModalResult == mrNone) form_->Close();
    }

  private:
    TForm* form_;
};

} // namespace

int QtDialogs::messageBox(const MessageBoxRequest& r) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(q(r.title));
    box.setText(q(r.text));
    switch (r.flags & 0xF0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    struct Choice {
        std::string text;
        QMessageBox::ButtonRole role;
        int result;
    };
    std::vector<Choice> choices;
    switch (r.flags & 0x0F) {
    case MB_OKCANCEL:
        choices = {{text::tr("OK"), QMessageBox::AcceptRole, IDOK},
                   {text::tr("Abbrechen"), QMessageBox::RejectRole, IDCANCEL}};
        break;
    case MB_YESNOCANCEL:
        choices = {{text::tr("&Ja"), QMessageBox::YesRole, IDYES},
                   {text::tr("&Nein"), QMessageBox::NoRole, IDNO},
                   {text::tr("Abbrechen"), QMessageBox::RejectRole, IDCANCEL}};
        break;
    case MB_YESNO:
        choices = {{text::tr("&Ja"), QMessageBox::YesRole, IDYES},
                   {text::tr("&Nein"), QMessageBox::NoRole, IDNO}};
        break;
    default:
        choices = {{text::tr("OK"), QMessageBox::AcceptRole, IDOK}};
        break;
    }
    std::vector<QPushButton*> buttons;
    for (const auto& c : choices)
        buttons.push_back(box.addButton(q(c.text), c.role));
    const int defaultResult = r.defaultResult();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].result == defaultResult) box.setDefaultButton(buttons[i]);
    box.exec();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (box.clickedButton() == static_cast<QAbstractButton*>(buttons[i]))
            return choices[i].result;
    // Closed by Escape or the close box: what Windows reports then.
    return (r.flags & 0x0F) == MB_YESNO ? IDNO : IDCANCEL;
}

std::optional<std::string> QtDialogs::inputBox(const std::string& title, const std::string& prompt,
                                               const std::string& initial) {
    bool ok = false;
    QString text = QInputDialog::getText(QApplication::activeWindow(), q(title), q(prompt),
                                         QLineEdit::Normal, q(initial), &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
}

std::optional<std::string> QtDialogs::openFile(const FileDialogRequest& r) {
    QFileDialog dialog(QApplication::activeWindow(), q(r.title), q(r.initialFolder),
                       qtFilter(r.filter));
    dialog.setFileMode(r.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!r.fileName.empty()) dialog.selectFile(q(r.fileName));
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString chosen = dialog.selectedFiles().front();
        // A file in a folder that does not exist is refused, as the system's dialog does.
        if (r.pathMustExist && !QFileInfo(chosen).absoluteDir().exists()) {
            QMessageBox::warning(&dialog, q(r.title),
                                 q(text::trf("Der Pfad existiert nicht:\n%1",
                                             QFileInfo(chosen).absolutePath().toStdString())));
            continue;
        }
        return chosen.toStdString();
    }
    return std::nullopt;
}

std::optional<Color> QtDialogs::chooseColor(const Color& initial, std::vector<Color>& custom) {
    for (std::size_t i = 0; i < custom.size() && i < 16; ++i)
        QColorDialog::setCustomColor(static_cast<int>(i),
                                     QColor(custom[i].r, custom[i].g, custom[i].b));
    QColor c = QColorDialog::getColor(QColor(initial.r, initial.g, initial.b),
                                      QApplication::activeWindow());
    for (std::size_t i = 0; i < custom.size() && i < 16; ++i) {
        QColor cc = QColorDialog::customColor(static_cast<int>(i));
        custom[i] = {cc.red(), cc.green(), cc.blue()};
    }
    if (!c.isValid()) return std::nullopt;
    return Color{c.red(), c.green(), c.blue()};
}

namespace {

// Every tab sheet below `parent`, outermost first.
void collectSheets(TWinControl& parent, std::vector<TTabSheet*>& out) {
    std::vector<TWinControl*> queue{&parent};
    for (std::size_t i = 0; i < queue.size(); ++i)
        for (TControl* c : queue[i]->Controls()) {
            if (auto* sheet = dynamic_cast<TTabSheet*>(c)) out.push_back(sheet);
            if (auto* w = dynamic_cast<TWinControl*>(c)) queue.push_back(w);
        }
}

// Items as wide as the list, never wider: a long text is shortened with "…" (its tooltip
// holds it whole) instead of running out of sight behind a scroll bar.
class OneLineDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {1, QStyledItemDelegate::sizeHint(option, index).height()};
    }
};

// A brief frame around a control the search found, above it and letting clicks through.
void flashHighlight(QWidget* target) {
    QWidget* parent = target->parentWidget();
    if (!parent) return;
    for (QWidget* old : parent->window()->findChildren<QWidget*>("searchHighlight"))
        old->deleteLater();
    auto* frame = new QFrame(parent);
    frame->setObjectName("searchHighlight");
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    const QColor mark = frame->palette().color(QPalette::Highlight);
    frame->setStyleSheet(QString("#searchHighlight { border: 3px solid %1; border-radius: 4px; "
                                 "background: rgba(%2, %3, %4, 40); }")
                             .arg(mark.name())
                             .arg(mark.red())
                             .arg(mark.green())
                             .arg(mark.blue()));
    frame->setGeometry(target->geometry().adjusted(-4, -4, 4, 4));
    frame->show();
    frame->raise();
    QTimer::singleShot(1800, frame, &QObject::deleteLater);
}

} // namespace

MainWindow::MainWindow() {
    setWindowIcon(QIcon::fromTheme("preferences-system"));
    buildLayout();
    buildActions();
    connectNavigation();
    connectToolkit();
    connectHost();
    if (!restoreGeometry(QSettings().value("window/geometry").toByteArray())) resize(DefaultSize());
    bindMachine();
}

QSize MainWindow::DefaultSize() {
    // The largest pages (Internet Explorer 600x440, Firefox 520x464 under its profile
    // strip) beside the page list, under the menu, tool bar and status line need 824x582;
    // the rest is room for pages that grow, within 1024x768 less the title bar
    // and a desktop's panel.
    return {940, 660};
}

// The page list and search on the left, the page itself (under its profile strip) on the right.
void MainWindow::buildLayout() {
    auto* central = new QWidget;
    auto* layout = new QHBoxLayout(central);
    auto* left = new QVBoxLayout;
    searchField_ = new QLineEdit;
    searchField_->setPlaceholderText(q(text::tr("Einstellung suchen")));
    searchField_->setClearButtonEnabled(true);
    results_ = new QListWidget;
    results_->setWordWrap(false);
    results_->setTextElideMode(Qt::ElideRight);
    results_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    results_->setUniformItemSizes(true);
    results_->setItemDelegate(new OneLineDelegate(results_));
    results_->hide();
    pages_ = new QListWidget;
    pages_->setIconSize(QSize(24, 24));
    pages_->setFixedWidth(200);
    results_->setFixedWidth(200);
    for (const auto& p : app::ModulePages()) {
        auto* item = new QListWidgetItem(PageIcon(p.icon), q(p.title), pages_);
        item->setData(Qt::UserRole, q(p.id));
        if (!app::PageAvailable(p)) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
    }
    left->addWidget(searchField_);
    left->addWidget(results_);
    left->addWidget(pages_);
    layout->addLayout(left);
    area_ = new QScrollArea;
    area_->setFrameShape(QFrame::NoFrame); // embedded as the host does: no border
    area_->setWidgetResizable(false);
    // Above the Firefox page: which profile it edits.
    profileStrip_ = new QWidget;
    auto* strip = new QHBoxLayout(profileStrip_);
    strip->setContentsMargins(0, 0, 0, 0);
    auto* profileLabel = new QLabel(q(text::tr("Firefox-&Profil:")));
    profiles_ = new QComboBox;
    // A long profile path must not widen the window: the box shortens it, its tooltip
    // holds it whole.
    profiles_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    profiles_->setMinimumContentsLength(24);
    profileLabel->setBuddy(profiles_);
    strip->addWidget(profileLabel);
    strip->addWidget(profiles_, 1);
    profileStrip_->hide();
    auto* right = new QVBoxLayout;
    right->addWidget(profileStrip_);
    right->addWidget(area_, 1);
    layout->addLayout(right, 1);
    setCentralWidget(central);
}

// Menus, tool bar and status line.
void MainWindow::buildActions() {
    auto* open =
        new QAction(QIcon::fromTheme("document-open"), q(text::tr("Maschine &öffnen…")), this);
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &MainWindow::chooseMachine);
    reload_ = new QAction(QIcon::fromTheme("view-refresh"), q(text::tr("&Neu laden")), this);
    reload_->setShortcut(QKeySequence::Refresh);
    reload_->setToolTip(q(text::tr("Die Maschine neu von der Platte lesen")));
    connect(reload_, &QAction::triggered, this, [this] { reloadMachine(); });
    auto* quit = new QAction(QIcon::fromTheme("application-exit"), q(text::tr("&Beenden")), this);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    auto* undo = new QAction(QIcon::fromTheme("edit-undo"),
                             q(text::tr("Letzte Änderung &rückgängig")), this);
    undo->setShortcut(QKeySequence::Undo);
    connect(undo, &QAction::triggered, this, [this] {
        if (!undoLastChange()) message(q(text::tr("Keine Änderung zum Rückgängigmachen")), 3000);
    });
    auto* redo = new QAction(QIcon::fromTheme("edit-redo"), q(text::tr("&Wiederherstellen")), this);
    redo->setShortcuts({QKeySequence::Redo, QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(redo, &QAction::triggered, this, [this] {
        if (!redoLastUndo()) message(q(text::tr("Keine Änderung zum Wiederherstellen")), 3000);
    });
    auto* history =
        new QAction(QIcon::fromTheme("document-open-recent"), q(text::tr("&Verlauf…")), this);
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(history, &QAction::triggered, this, [this] { showHistory(); });
    auto* find = new QAction(q(text::tr("Einstellung &suchen")), this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] {
        searchField_->setFocus(Qt::ShortcutFocusReason);
        searchField_->selectAll();
    });
    addAction(find);
    machineActions_ = {reload_, undo, redo, history, find};

    QMenu* file = menuBar()->addMenu(q(text::tr("&Datei")));
    file->addAction(open);
    recent_ = file->addMenu(q(text::tr("&Zuletzt geöffnet")));
    connect(recent_, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    file->addAction(reload_);
    file->addSeparator();
    file->addAction(quit);
    QMenu* edit = menuBar()->addMenu(q(text::tr("&Bearbeiten")));
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    edit->addAction(history);
    edit->addSeparator();
    edit->addAction(find);
    QToolBar* bar = addToolBar(q(text::tr("Bearbeiten")));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->addAction(open);
    bar->addAction(reload_);
    bar->addSeparator();
    bar->addAction(undo);
    bar->addAction(history);
    // The last change sits on the right, shortened to what fits: messages need the rest.
    status_ = new ElidedLabel;
    statusBar()->addPermanentWidget(status_);
    fillRecentMenu();
}

void MainWindow::fillRecentMenu() {
    recent_->clear();
    const QStringList folders = RecentMachines();
    for (int i = 0; i < folders.size(); ++i) {
        const QString folder = folders[i];
        QAction* a = recent_->addAction(QString("&%1  %2").arg(i + 1).arg(ShownFolder(folder)));
        a->setToolTip(folder);
        a->setData(folder);
        connect(a, &QAction::triggered, this,
                [this, folder] { openMachine(folder.toStdString()); });
    }
    if (folders.isEmpty()) recent_->addAction(q(text::tr("(keine)")))->setEnabled(false);
    recent_->setEnabled(!folders.isEmpty());
}

void MainWindow::chooseMachine() {
    QString start;
    if (machine::Machine* m = CurrentMachine()) start = QFileInfo(q(m->root())).absolutePath();
    const QString folder = QFileDialog::getExistingDirectory(
        this, q(text::tr("Maschine öffnen: Wine-Präfix oder Windows-Laufwerk")), start);
    if (!folder.isEmpty()) openMachine(folder.toStdString());
}

// Choosing a profile, a page or a search hit.
void MainWindow::connectNavigation() {
    connect(profiles_, &QComboBox::activated, this, [this](int index) {
        const std::string path = profiles_->itemData(index).toString().toStdString();
        try {
            SetFirefoxProfile(path);
        } catch (const std::exception& e) {
            QMessageBox::critical(this, "Deskforge", q(e.what()));
            return;
        }
        firefoxProfile_ = path; // and after the machine is read again
        profiles_->setToolTip(profiles_->itemText(index));
        // The page reads its profile when it is created.
        const std::string page = pageName_;
        closePage();
        openPage(page);
    });
    connect(pages_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item) openPage(item->data(Qt::UserRole).toString().toStdString());
    });
    // The search creates every page: it waits until the typing pauses.
    searchDelay_.setSingleShot(true);
    searchDelay_.setInterval(250);
    connect(&searchDelay_, &QTimer::timeout, this,
            [this] { search(searchField_->text().toStdString()); });
    connect(searchField_, &QLineEdit::textChanged, this, [this] { searchDelay_.start(); });
    connect(results_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { showSearchHit(results_->row(item)); });
    connect(results_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { showSearchHit(results_->row(item)); });
}

// The toolkit's dialogs, modal loop and clock run on Qt's; the machine's files are flushed
// on a timer.
void MainWindow::connectToolkit() {
    // Timers run on Qt's clock; the toolkit's clock follows it.
    auto& app = TApplication::Instance();
    app.SetDialogService(&dialogs_);
    app.SetInputSource(this);
    app.OnModalEnd = [this](TForm& form) {
        for (auto it = modal_.begin(); it != modal_.end(); ++it) {
            if (it->form != &form) continue;
            it->view->detach();
            static_cast<FormDialog*>(it->dialog)->release();
            it->dialog->hide();
            it->dialog->deleteLater();
            modal_.erase(it);
            break;
        }
    };
    lastTick_ = QDateTime::currentMSecsSinceEpoch();
    connect(&clock_, &QTimer::timeout, this, [this] {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const qint64 elapsed = now - lastTick_;
        lastTick_ = now;
        try {
            // Only a timer's handler can have changed a form between user actions.
            if (TApplication::Instance().AdvanceClock(elapsed) > 0) syncAll();
        } catch (const std::exception& e) {
            message(q(e.what()));
            syncAll();
        }
    });
    clock_.start(50);
    // Writing the machine's files after every click would be slow on big registries; the
    // journal already holds each change durably, the files follow shortly after.
    flush_.setSingleShot(true);
    flush_.setInterval(500);
    connect(&flush_, &QTimer::timeout, this, [this] {
        try {
            if (auto* reg = CurrentRegistry()) reg->flush();
        } catch (const std::exception& e) {
            // The journal holds the changes; the next flush or the next start retries.
            message(q(e.what()), 0);
        }
    });
}

// What the host reports while pages run: refused writes and page switches.
void MainWindow::connectHost() {
    // A write the machine refused is a message, shown once the handler has returned.
    SetWriteFailureHandler([this](const std::string&) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (std::string why = TakeWriteFailure(); !why.empty()) reportFailure(why);
            },
            Qt::QueuedConnection);
    });

    // A page asks for another page: switch once its handler has returned.
    SetMainAppFormShow([this](TForm&, const std::string& id, int tab) {
        QTimer::singleShot(0, this, [this, id, tab] {
            if (!openPage(id)) return;
            for (TControl* child : page_->Controls())
                if (auto* pc = dynamic_cast<TPageControl*>(child)) {
                    auto sheets = pc->Pages();
                    if (tab >= 0 && tab < static_cast<int>(sheets.size()))
                        runAction(pc->Name, [n = sheets[static_cast<std::size_t>(tab)]->Name](
                                                UserDriver& d) { d.Tab(n); });
                }
        });
    });
}

// The machine bound now (the process's, or the one just opened) becomes the window's.
void MainWindow::bindMachine() {
    if (machine::Machine* m = CurrentMachine()) {
        m->launcher().onRecord = [this](const machine::LaunchRequest& r) {
            message(q(r.parameters.empty()
                          ? text::trf("Gestartet: %1", r.program)
                          : text::trf("Gestartet: %1 %2", r.program, r.parameters)));
        };
    }
    passedOver_.clear();
    fillRecentMenu();
    updateMachineState();
    updateStatus();
    if (history_ && history_->isVisible()) history_->refresh(); // else when it shows
}

void MainWindow::setFirefoxOptions(std::string root, std::string profile) {
    firefoxRoot_ = std::move(root);
    commandProfile_ = profile;
    firefoxProfile_ = std::move(profile);
}

bool MainWindow::hasMachine() const {
    return CurrentMachine() != nullptr;
}

// By value: the folder may be the open machine's own name, which goes with its session.
bool MainWindow::openMachine(std::string folder) {
    if (!modal_.empty()) return false;
    if (auto why = NotAMachine(folder)) {
        QMessageBox::warning(this, q(text::tr("Maschine öffnen")), q(*why));
        return false;
    }
    machine::Machine* before = CurrentMachine();
    const bool same = before && QFileInfo(q(before->root())).canonicalFilePath() ==
                                    QFileInfo(q(folder)).canonicalFilePath();
    const bool stale = same && machineChangedOnDisk();
    Place was = place();
    closePage();
    if (registry::Registry* reg = CurrentRegistry()) {
        // What the machine open so far holds back reaches its files first (and gives its
        // lock back).
        try {
            if (reg->modified()) reg->flush();
        } catch (const std::exception&) {
            // A copy another program has overwritten stays unwritten; the journal keeps it.
        }
    }
    if (before) before->launcher().onRecord = nullptr;
    std::unique_ptr<app::MachineSession> fresh;
    std::string failure;
    try {
        fresh =
            std::make_unique<app::MachineSession>(folder, app::MachineSession::Mode::Interactive);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!fresh) {
        // The machine open so far stays open.
        bindMachine();
        restore(was);
        QMessageBox::critical(
            this, q(text::tr("Maschine öffnen")),
            q(text::trf("Die Maschine %1 lässt sich nicht öffnen:\n%2", folder, failure)));
        return false;
    }
    // The old session unbinds the host from its machine as it ends: bind the new one after.
    session_ = std::move(fresh);
    SetCurrentMachine(&session_->machine());
    SetCurrentRegistry(&session_->registry());
    SetCurrentJournal(session_->journal());
    RememberMachine(q(folder));    // only what the user opened: a screenshot leaves no trace
    if (stale) TakeWriteFailure(); // what the stale copy refused is read anew now
    if (!same) firefoxProfile_ = commandProfile_; // a profile chosen on the other machine
    std::string firefoxProblem;
    try {
        app::UseFirefoxRoot(firefoxRoot_);
        app::UseFirefoxProfile(firefoxProfile_);
    } catch (const std::exception& e) {
        firefoxProblem = e.what();
    }
    bindMachine();
    if (!same) was.sheets.clear(); // another machine may show other tabs
    restore(was);
    if (!firefoxProblem.empty()) QMessageBox::warning(this, "Deskforge", q(firefoxProblem));
    message(
        q(same ? text::tr("Die Maschine wurde neu gelesen.") : text::trf("Geöffnet: %1", folder)),
        3000);
    return true;
}

bool MainWindow::reloadMachine() {
    machine::Machine* m = CurrentMachine();
    return m && openMachine(m->root());
}

MainWindow::~MainWindow() {
    SetWriteFailureHandler(nullptr);
    closePage();
    auto& app = TApplication::Instance();
    app.OnModalEnd = nullptr;
    app.SetInputSource(nullptr);
    app.SetDialogService(nullptr);
    SetMainAppFormShow(nullptr);
    if (machine::Machine* m = CurrentMachine()) m->launcher().onRecord = nullptr;
    if (session_) {
        try {
            if (registry::Registry* reg = CurrentRegistry(); reg && reg->modified()) reg->flush();
        } catch (const std::exception&) {
            // The journal holds the changes: the next session applies them.
        }
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!modal_.empty()) { // a page's dialog is open: it decides first
        event->ignore();
        return;
    }
    closePage();
    QSettings().setValue("window/geometry", saveGeometry());
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // At most half the line for the last change: messages show in the other half.
    status_->setMaximumWidth(std::max(160, width() / 2));
}

void MainWindow::updateMachineState() {
    machine::Machine* m = CurrentMachine();
    setWindowTitle(WindowTitle(m));
    pages_->setEnabled(m != nullptr);
    searchField_->setEnabled(m != nullptr);
    for (QAction* a : machineActions_)
        a->setEnabled(m != nullptr);
    if (m) {
        if (chooser_) {
            delete area_->takeWidget();
            chooser_ = nullptr;
        }
        return;
    }
    closePage();
    results_->hide();
    profileStrip_->hide();
    delete area_->takeWidget();
    // No machine yet: the page area says what to do and offers the machines known.
    chooser_ = new QWidget;
    chooser_->setObjectName("machineChooser");
    auto* layout = new QVBoxLayout(chooser_);
    layout->setContentsMargins(24, 24, 24, 24);
    auto* title = new QLabel(q(text::tr("Keine Maschine geöffnet")));
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title);
    auto* hint = new QLabel(q(text::tr("Öffnen Sie einen Wine-Präfix oder ein eingehängtes "
                                       "Windows-Laufwerk, um seine Einstellungen zu sehen und "
                                       "zu ändern.")));
    hint->setWordWrap(true);
    hint->setFixedWidth(420);
    layout->addWidget(hint);
    auto* open =
        new QPushButton(QIcon::fromTheme("document-open"), q(text::tr("Maschine &öffnen…")));
    open->setObjectName("openMachine");
    connect(open, &QPushButton::clicked, this, &MainWindow::chooseMachine);
    layout->addWidget(open, 0, Qt::AlignLeft);
    const QStringList recent = RecentMachines();
    if (!recent.isEmpty()) layout->addWidget(new QLabel(q(text::tr("Zuletzt geöffnet:"))));
    for (const QString& folder : recent) {
        auto* b = new QPushButton(ShownFolder(folder));
        b->setFlat(true);
        b->setToolTip(folder);
        connect(b, &QPushButton::clicked, this, [this, folder] {
            // The chooser goes away as the machine opens: leave its button first.
            QTimer::singleShot(0, this, [this, folder] { openMachine(folder.toStdString()); });
        });
        layout->addWidget(b, 0, Qt::AlignLeft);
    }
    layout->addStretch(1);
    chooser_->adjustSize();
    area_->setWidget(chooser_);
}

void MainWindow::closePage() {
    if (!page_) return;
    flush_.stop();
    if (view_) view_->detach();
    driver_.reset();
    try {
        app::ClosePage(page_, &actions_); // writes what the page changed
    } catch (const std::exception& e) {
        page_.reset();
        QMessageBox::warning(this, "Deskforge", q(e.what()));
    }
    delete area_->takeWidget();
    view_ = nullptr;
}

MainWindow::Place MainWindow::place() const {
    Place where{pageName_, {}};
    if (!page_) return where;
    std::vector<TTabSheet*> sheets;
    collectSheets(*page_, sheets);
    for (TTabSheet* s : sheets)
        if (auto* pc = dynamic_cast<TPageControl*>(s->Parent()); pc && pc->ActivePage() == s)
            where.sheets.push_back(app::ScriptName(*s));
    return where;
}

void MainWindow::restore(const Place& where) {
    if (!CurrentMachine()) return;
    if (where.page.empty() || !openPage(where.page)) {
        for (int i = 0; i < pages_->count(); ++i)
            if (pages_->item(i)->flags() & Qt::ItemIsEnabled) {
                openPage(pages_->item(i)->data(Qt::UserRole).toString().toStdString());
                break;
            }
        return;
    }
    // Outermost first: an inner tab can be chosen once its sheet shows.
    for (const std::string& name : where.sheets) {
        std::vector<TTabSheet*> sheets;
        collectSheets(*page_, sheets);
        for (TTabSheet* s : sheets) {
            if (app::ScriptName(*s) != name) continue;
            auto* pc = dynamic_cast<TPageControl*>(s->Parent());
            if (pc && pc->ActivePage() != s && s->TabVisible)
                runAction(name, [name](UserDriver& d) { d.Tab(name); });
        }
    }
    syncAll();
}

bool MainWindow::openPage(const std::string& name, const std::string& tab) {
    const app::PageInfo* info = app::FindPage(name);
    if (!info || !CurrentMachine()) return false;
    if (!page_ || pageName_ != shortName(info->id)) {
        closePage();
        std::ostringstream out, err;
        std::istringstream in;
        app::Console console{out, err, in};
        page_ = app::OpenPage(*info, console);
        if (!page_) {
            message(q(err.str()));
            return false;
        }
        pageName_ = shortName(info->id);
        actions_.SetPage(pageName_);
        fillProfileStrip();
        driver_ = std::make_unique<UserDriver>(*page_);
        view_ = new FormView(
            *page_, [this](const std::string& c, const DriverAction& a) { runAction(c, a); });
        area_->setWidget(view_);
        for (int i = 0; i < pages_->count(); ++i)
            if (pages_->item(i)->data(Qt::UserRole).toString().toStdString() == info->id) {
                const QSignalBlocker block(pages_);
                pages_->setCurrentRow(i);
            }
    }
    if (!tab.empty()) {
        TComponent* found = page_->FindComponent(tab);
        auto* sheet = dynamic_cast<TTabSheet*>(found);
        if (!sheet) {
            std::vector<TTabSheet*> sheets;
            collectSheets(*page_, sheets);
            for (TTabSheet* s : sheets)
                if (!sheet && QString::compare(q(StripAccelerator(s->Caption)), q(tab),
                                               Qt::CaseInsensitive) == 0)
                    sheet = s;
        }
        if (!sheet) return false;
        runAction(sheet->Name, [n = sheet->Name](UserDriver& d) { d.Tab(n); });
    }
    syncAll();
    return true;
}

void MainWindow::fillProfileStrip() {
    const bool firefox = pageName_ == "firefox";
    profileStrip_->setVisible(firefox);
    if (!firefox) return;
    const QSignalBlocker block(profiles_);
    profiles_->clear();
    for (const auto& p : FirefoxProfiles()) {
        std::string folder = p.path;
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        std::string label = p.name.empty() ? folder : text::trf("%1 (%2)", p.name, folder);
        std::string installs;
        for (const auto& i : p.installs)
            installs += (installs.empty() ? "" : ", ") + i;
        label = text::trf("%1 – %2", label,
                          installs.empty() ? text::tr("keiner Installation zugeordnet") : installs);
        if (!p.exists) label = text::trf("%1 – Ordner fehlt", label);
        profiles_->addItem(q(label), q(p.path));
    }
    profiles_->setCurrentIndex(0); // the page edits the first
    profiles_->setToolTip(profiles_->currentText());
    profileStrip_->setEnabled(profiles_->count() > 0);
}

FormView* MainWindow::dialogView() const {
    return modal_.empty() ? nullptr : modal_.back().view;
}

void MainWindow::runAction(const std::string& control, const DriverAction& action) {
    if (!driver_) return;
    // Everything one user action writes is one journal transaction, labelled with the
    // page and the control, exactly as for scripts.
    actions_.Begin(control);
    try {
        action(*driver_);
    } catch (const DriverError& e) {
        message(q(e.what()));
    } catch (const std::exception& e) {
        actions_.End();
        syncAll();
        reportFailure(e.what());
        return;
    }
    actions_.End();
    flushSoon();
    syncAll();
    updateStatus();
}

bool MainWindow::next() {
    auto& app = TApplication::Instance();
    if (app.ModalForms().empty()) return false;
    TForm* form = app.ModalForms().back();
    if (modal_.empty() || modal_.back().form != form) {
        QWidget* parent = modal_.empty() ? static_cast<QWidget*>(this) : modal_.back().dialog;
        auto* dialog = new FormDialog(*form, parent);
        dialog->setWindowTitle(q(form->Caption));
        dialog->setModal(true);
        auto* layout = new QVBoxLayout(dialog);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new FormView(
            *form, [this](const std::string& c, const DriverAction& a) { runAction(c, a); },
            dialog);
        layout->addWidget(view);
        modal_.push_back({form, dialog, view});
        dialog->show();
    }
    syncAll();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return true;
}

void MainWindow::syncAll() {
    if (view_) view_->sync();
    for (auto& m : modal_)
        m.view->sync();
}

void MainWindow::flushSoon() {
    flush_.start();
}

void MainWindow::message(const QString& text, int timeout) {
    statusBar()->showMessage(text, timeout);
}

QString MainWindow::statusMessage() const {
    return statusBar()->currentMessage();
}

void MainWindow::updateStatus() {
    if (history_ && history_->isVisible()) history_->refresh(); // else when it shows
    if (!CurrentMachine()) {
        status_->setText(q(text::tr("Keine Maschine geöffnet")));
        return;
    }
    journal::Journal* j = CurrentJournal();
    if (!j) {
        status_->setText(q(text::tr("Ohne Journal: Änderungen werden nicht aufgezeichnet")));
        return;
    }
    auto list = j->list();
    if (list.empty()) {
        status_->setText(q(text::tr("Noch keine Änderung")));
        return;
    }
    const auto& t = list.front(); // newest first
    const std::string where =
        (t.page.empty() ? "-" : t.page) + (t.control.empty() ? "" : "/" + t.control);
    const std::string when = QDateTime::fromSecsSinceEpoch(t.time)
                                 .toString(q(text::tr("dd.MM.yyyy HH:mm:ss")))
                                 .toStdString();
    status_->setText(q(text::trf("Letzte Änderung: Nr. %1, %2, %3 — %4", std::to_string(t.id),
                                 where, when, t.summary)));
}

QString MainWindow::statusText() const {
    return status_->text();
}

bool MainWindow::undoLastChange() {
    journal::Journal* j = CurrentJournal();
    if (!j || !CurrentRegistry() || !modal_.empty()) return false;
    for (const HistoryEntry& e : ReadHistory(*j)) { // newest first
        if (e.state != HistoryEntry::State::InEffect || passedOver_.count(e.info.id)) continue;
        if (!KeepsImages(*j, e.info.id, true)) {
            // Said once; from then on Ctrl+Z goes on with the older changes.
            passedOver_.insert(e.info.id);
            QMessageBox::information(
                this, q(text::tr("Rückgängig")),
                q(text::trf("Die Änderung Nr. %1 (%2) lässt sich nicht rückgängig machen: Sie "
                            "hat vertrauliche Werte geschrieben, deren Inhalt das Journal nicht "
                            "aufbewahrt.\n\n%3 macht von nun an die älteren Änderungen "
                            "rückgängig.",
                            std::to_string(e.info.id), e.info.summary,
                            QKeySequence(QKeySequence::Undo)
                                .toString(QKeySequence::NativeText)
                                .toStdString())));
            return true;
        }
        // A change a later one lies over (one passed over above) is refused by the journal,
        // which says why; it is passed over too.
        if (!undoTransaction(e.info.id)) passedOver_.insert(e.info.id);
        return true;
    }
    return false;
}

bool MainWindow::redoLastUndo() {
    journal::Journal* j = CurrentJournal();
    if (!j || !CurrentRegistry() || !modal_.empty()) return false;
    const auto history = ReadHistory(*j);
    for (const HistoryEntry& e : history) {
        if (e.state != HistoryEntry::State::Undo) continue;
        auto target = std::find_if(history.begin(), history.end(), [&](const HistoryEntry& t) {
            return t.info.id == e.info.target;
        });
        if (target == history.end() || target->state != HistoryEntry::State::Undone) continue;
        if (!KeepsImages(*j, target->info.id, false)) continue;
        return redoTransaction(target->info.id);
    }
    return false;
}

bool MainWindow::undoTransaction(std::int64_t id) {
    return undoOrRedo(id, true);
}

bool MainWindow::redoTransaction(std::int64_t id) {
    return undoOrRedo(id, false);
}

bool MainWindow::undoOrRedo(std::int64_t id, bool undo) {
    journal::Journal* j = CurrentJournal();
    registry::Registry* reg = CurrentRegistry();
    if (!j || !reg || !modal_.empty()) return false;
    const Place was = place();
    closePage(); // the page reads the machine again afterwards
    std::string failure;
    try {
        JournalSetContext("journal", undo ? "undo" : "redo");
        if (undo)
            j->undo(id, *reg);
        else
            j->redo(id, *reg);
        reg->flush();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    restore(was);
    updateStatus();
    if (!failure.empty()) {
        reportFailure(failure);
        return false;
    }
    message(q(undo ? text::trf("Änderung Nr. %1 rückgängig gemacht", std::to_string(id))
                   : text::trf("Änderung Nr. %1 wiederhergestellt", std::to_string(id))),
            4000);
    return true;
}

HistoryDialog* MainWindow::showHistory() {
    if (!history_)
        history_ = new HistoryDialog([this](std::int64_t id) { return undoTransaction(id); },
                                     [this](std::int64_t id) { return redoTransaction(id); }, this);
    history_->refresh();
    history_->show();
    history_->raise();
    history_->activateWindow();
    return history_;
}

bool MainWindow::machineChangedOnDisk() const {
    registry::Registry* reg = CurrentRegistry();
    if (!reg) return false;
    for (registry::Hive* hive : reg->hives())
        if (hive->fileChangedOnDisk()) return true;
    return false;
}

void MainWindow::reportFailure(const std::string& why) {
    if (!machineChangedOnDisk()) {
        QMessageBox::critical(this, "Deskforge", q(why));
        return;
    }
    QMessageBox box(QMessageBox::Warning, "Deskforge", q(why), QMessageBox::NoButton, this);
    box.setInformativeText(
        q(text::tr("Ein anderes Programm hat die Dateien der Maschine geändert, seit sie gelesen "
                   "wurden. Laden Sie die Maschine neu, um mit ihrem jetzigen Stand "
                   "weiterzuarbeiten.")));
    QPushButton* reload = box.addButton(q(text::tr("&Neu laden")), QMessageBox::AcceptRole);
    box.addButton(q(text::tr("Abbrechen")), QMessageBox::RejectRole);
    box.setDefaultButton(reload);
    box.exec();
    // Not from inside the handler of the control that failed: its widget goes with the page.
    if (box.clickedButton() == reload) QTimer::singleShot(0, this, [this] { reloadMachine(); });
}

void MainWindow::search(const std::string& query) {
    results_->clear();
    hits_.clear();
    if (query.empty() || !CurrentMachine()) {
        results_->hide();
        return;
    }
    // The search creates every page once: the page on screen keeps its state.
    for (const auto& h : app::FindSettings(query)) {
        hits_.push_back({h.pageId, h.tabName, h.control});
        const std::string where =
            h.tabCaption.empty() ? h.pageTitle : text::trf("%1 › %2", h.pageTitle, h.tabCaption);
        const QString line = q(text::trf("%1 — %2", h.caption, where));
        auto* item = new QListWidgetItem(line, results_);
        item->setToolTip(line + "\n" + q(h.control));
    }
    if (hits_.empty()) new QListWidgetItem(q(text::tr("Nichts gefunden")), results_);
    results_->show();
}

void MainWindow::showSearchHit(int row) {
    if (row < 0 || row >= static_cast<int>(hits_.size())) return;
    const SearchHit hit = hits_[static_cast<std::size_t>(row)];
    if (!openPage(hit.page, hit.tab)) return;
    if (view_)
        if (QWidget* w = view_->widgetByName(hit.control)) {
            area_->ensureWidgetVisible(w);
            w->setFocus(Qt::OtherFocusReason);
            flashHighlight(w);
        }
}

} // namespace ravelin::gui
