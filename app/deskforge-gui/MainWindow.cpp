#include "app/deskforge-gui/MainWindow.h"

#include "app/deskforge-gui/Pictures.h"
#include "app/deskforge/PageCommand.h"
#include "host/Controlhelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Smallmozillastuff.h"
#include "host/journal/Journal.h"
#include "host/machine/Machine.h"
#include "host/registry/Registry.h"
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
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
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
        const char* text;
        QMessageBox::ButtonRole role;
        int result;
    };
    std::vector<Choice> choices;
    switch (r.flags & 0x0F) {
    case MB_OKCANCEL:
        choices = {{"OK", QMessageBox::AcceptRole, IDOK},
                   {"Abbrechen", QMessageBox::RejectRole, IDCANCEL}};
        break;
    case MB_YESNOCANCEL:
        choices = {{"&Ja", QMessageBox::YesRole, IDYES},
                   {"&Nein", QMessageBox::NoRole, IDNO},
                   {"Abbrechen", QMessageBox::RejectRole, IDCANCEL}};
        break;
    case MB_YESNO:
        choices = {{"&Ja", QMessageBox::YesRole, IDYES}, {"&Nein", QMessageBox::NoRole, IDNO}};
        break;
    default:
        choices = {{"OK", QMessageBox::AcceptRole, IDOK}};
        break;
    }
    std::vector<QPushButton*> buttons;
    for (const auto& c : choices)
        buttons.push_back(box.addButton(c.text, c.role));
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
                                 "Der Pfad existiert nicht:\n" + QFileInfo(chosen).absolutePath());
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

MainWindow::MainWindow() {
    setWindowTitle("Deskforge");
    setWindowIcon(QIcon::fromTheme("preferences-system"));
    buildLayout();
    buildActions();
    connectNavigation();
    connectToolkit();
    connectHost();
    updateStatus();
    for (int i = 0; i < pages_->count(); ++i)
        if (pages_->item(i)->flags() & Qt::ItemIsEnabled) {
            pages_->setCurrentRow(i);
            break;
        }
    resize(sizeHint().expandedTo(QSize(760, 560)));
}

// The page list and search on the left, the page itself (under its profile strip) on the right.
void MainWindow::buildLayout() {
    auto* central = new QWidget;
    auto* layout = new QHBoxLayout(central);
    auto* left = new QVBoxLayout;
    searchField_ = new QLineEdit;
    searchField_->setPlaceholderText("Einstellung suchen");
    searchField_->setClearButtonEnabled(true);
    results_ = new QListWidget;
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
    auto* profileLabel = new QLabel("Firefox-&Profil:");
    profiles_ = new QComboBox;
    profiles_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
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
    auto* undo = new QAction(QIcon::fromTheme("edit-undo"), "Letzte Änderung &rückgängig", this);
    undo->setShortcut(QKeySequence::Undo);
    connect(undo, &QAction::triggered, this, [this] {
        if (!undoLastChange())
            statusBar()->showMessage("Keine Änderung zum Rückgängigmachen", 3000);
    });
    auto* quit = new QAction("&Beenden", this);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    QMenu* file = menuBar()->addMenu("&Datei");
    file->addAction(quit);
    QMenu* edit = menuBar()->addMenu("&Bearbeiten");
    edit->addAction(undo);
    QToolBar* bar = addToolBar("Bearbeiten");
    bar->setMovable(false);
    bar->addAction(undo);
    status_ = new QLabel;
    statusBar()->addPermanentWidget(status_, 1);
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
            statusBar()->showMessage(q(e.what()), 5000);
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
            statusBar()->showMessage(q(e.what()));
        }
    });
}

// What the host reports while pages run: refused writes, page switches, launched programs.
void MainWindow::connectHost() {
    // A write the machine refused is a message, shown once the handler has returned.
    SetWriteFailureHandler([this](const std::string&) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (std::string why = TakeWriteFailure(); !why.empty())
                    QMessageBox::critical(this, "Deskforge", q(why));
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
    if (machine::Machine* m = CurrentMachine())
        m->launcher().onRecord = [this](const machine::LaunchRequest& r) {
            statusBar()->showMessage(
                q("Gestartet: " + r.program + (r.parameters.empty() ? "" : " " + r.parameters)),
                5000);
        };
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
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!modal_.empty()) { // a page's dialog is open: it decides first
        event->ignore();
        return;
    }
    closePage();
    event->accept();
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

bool MainWindow::openPage(const std::string& name, const std::string& tab) {
    const app::PageInfo* info = app::FindPage(name);
    if (!info) return false;
    if (!page_ || pageName_ != shortName(info->id)) {
        closePage();
        std::ostringstream out, err;
        std::istringstream in;
        app::Console console{out, err, in};
        page_ = app::OpenPage(*info, console);
        if (!page_) {
            statusBar()->showMessage(q(err.str()), 5000);
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
            std::vector<TWinControl*> stack{page_.get()};
            while (!stack.empty() && !sheet) {
                TWinControl* w = stack.back();
                stack.pop_back();
                for (TControl* c : w->Controls()) {
                    auto* s = dynamic_cast<TTabSheet*>(c);
                    if (s && QString::compare(q(StripAccelerator(s->Caption)), q(tab),
                                              Qt::CaseInsensitive) == 0)
                        sheet = s;
                    if (auto* cw = dynamic_cast<TWinControl*>(c)) stack.push_back(cw);
                }
            }
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
        std::string text = p.name.empty() ? folder : p.name + " (" + folder + ")";
        std::string installs;
        for (const auto& i : p.installs)
            installs += (installs.empty() ? "" : ", ") + i;
        text +=
            " – " + (installs.empty() ? std::string("keiner Installation zugeordnet") : installs);
        if (!p.exists) text += " – Ordner fehlt";
        profiles_->addItem(q(text), q(p.path));
    }
    profiles_->setCurrentIndex(0); // the page edits the first
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
        statusBar()->showMessage(q(e.what()), 5000);
    } catch (const std::exception& e) {
        actions_.End();
        QMessageBox::critical(this, "Deskforge", q(e.what()));
        syncAll();
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

void MainWindow::updateStatus() {
    journal::Journal* j = CurrentJournal();
    if (!j) {
        status_->setText("Ohne Journal: Änderungen werden nicht aufgezeichnet");
        return;
    }
    auto list = j->list();
    if (list.empty()) {
        status_->setText("Noch keine Änderung");
        return;
    }
    const auto& t = list.front(); // newest first
    QString where =
        q(t.page.empty() ? "-" : t.page) + (t.control.empty() ? "" : "/" + q(t.control));
    status_->setText(QString("Letzte Änderung: Nr. %1, %2, %3 — %4")
                         .arg(t.id)
                         .arg(where)
                         .arg(QDateTime::fromSecsSinceEpoch(t.time).toString("dd.MM.yyyy HH:mm:ss"))
                         .arg(q(t.summary)));
}

QString MainWindow::statusText() const {
    return status_->text();
}

bool MainWindow::undoLastChange() {
    journal::Journal* j = CurrentJournal();
    registry::Registry* reg = CurrentRegistry();
    if (!j || !reg || !modal_.empty()) return false;
    auto list = j->list();
    // Undos and redos pair up: the newest change whose effect still stands is undone.
    std::set<std::int64_t> undone;
    std::int64_t target = 0;
    for (auto it = list.begin(); it != list.end(); ++it) { // newest first
        if (it->kind == "undo") {
            undone.insert(it->target);
            continue;
        }
        if (undone.count(it->id)) continue;
        if (it->changes == 0) continue;
        target = it->id;
        break;
    }
    if (!target) return false;
    const std::string page = pageName_;
    closePage(); // the page reads the machine again afterwards
    try {
        JournalSetContext("journal", "undo");
        j->undo(target, *reg);
        reg->flush();
    } catch (const std::exception& e) {
        QMessageBox::warning(this, "Deskforge", q(e.what()));
    }
    if (!page.empty()) openPage(page);
    updateStatus();
    return true;
}

void MainWindow::search(const std::string& text) {
    results_->clear();
    hits_.clear();
    if (text.empty()) {
        results_->hide();
        return;
    }
    // The search creates every page once: the page on screen keeps its state.
    for (const auto& h : app::FindSettings(text)) {
        hits_.push_back({h.pageId, h.tabName, h.control});
        QString where = q(h.pageTitle) + (h.tabCaption.empty() ? "" : " › " + q(h.tabCaption));
        auto* item = new QListWidgetItem(q(h.caption) + "\n" + where, results_);
        item->setToolTip(q(h.control));
    }
    if (hits_.empty()) new QListWidgetItem("Nichts gefunden", results_);
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
        }
}

} // namespace ravelin::gui
