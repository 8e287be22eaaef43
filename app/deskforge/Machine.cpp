#include "app/deskforge/Machine.h"

#include "host/Nxfilechanges.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/Smallmozillastuff.h"
#include "host/journal/Journal.h"
#include "host/machine/Machine.h"
#include "host/machine/Templates.h"
#include "host/registry/MachineLock.h"
#include "host/registry/Patch.h"
#include "host/registry/Registry.h"
#include "host/text/Translate.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>

namespace ravelin::app {

std::string MachineFolder(const std::string& option, std::ostream& log) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("DESKFORGE_MACHINE"); env && *env) return env;
    constexpr const char* kDefaultTemplate = "winxp";
    std::string dir = GetAppDataDir(true, true) + "machines/" + kDefaultTemplate;
    if (!std::filesystem::exists(dir + "/system.reg")) {
        machine::createMachine(dir, kDefaultTemplate, machine::templatesFolder());
        log << text::trf("Die Beispielmaschine %1 wurde angelegt.", dir) << "\n";
    }
    return dir;
}

MachineSession::MachineSession(const std::string& dir, Mode mode) {
    std::unique_ptr<registry::MachineLock> lock;
    if (mode == Mode::Write || mode == Mode::Interactive) {
        // Locked before anything is read, so that no write is made from a stale copy.
        if (!registry::Registry::isMachineFolder(dir))
            throw RegistryAccessError(
                text::trf("%1: Das ist kein Maschinenordner (weder Registrierungsdateien eines "
                          "Wine-Präfixes noch Hive-Dateien von Windows gefunden).",
                          dir));
        lock = std::make_unique<registry::MachineLock>(dir);
    }
    machine_ = machine::Machine::open(dir);
    registry::Registry* reg = &machine_->registry();
    if (mode == Mode::ReadOnly) {
        // Nothing is locked, created or written; what the journal holds and the files do
        // not yet is shown as it will be.
        reg->setDryRun(true);
        if (auto readOnly = journal::Journal::openReadOnly(machine_->root())) {
            readOnly->recover(*reg);
            journal_ = std::move(readOnly);
        }
    } else if (mode == Mode::DryRun) {
        // Nothing of the machine is touched: no lock, no journal, no file written.
        dryRun_ = std::make_unique<CollectingSink>();
        reg->setDryRun(true);
        reg->setChangeSink(dryRun_.get());
    } else {
        reg->adoptLock(std::move(lock));
        reg->setReleaseLockAfterFlush(mode == Mode::Interactive);
        journal_ = journal::Journal::open(machine_->root());
        journal_->removeIfUnused();
        // Besides the machine folder, the journal may touch what the machine lets be
        // written: a browser profile the user chose.
        journal_->setPathGuard(
            [m = machine_.get()](const std::string& path) { return m->files().writable(path); });
        journal_->setAttributeAccess(
            [m = machine_.get()](const std::string& path) { return m->files().isHidden(path); },
            [m = machine_.get()](const std::string& path, bool hidden) {
                m->files().setHidden(path, hidden);
            });
        reg->setChangeSink(journal_.get()); // so that recovery's flush is noted
        journal_->recover(*reg);
        if (mode == Mode::Interactive && !reg->modified()) reg->flush(); // gives the lock back
        SetCurrentJournal(journal_.get());
    }
    SetCurrentRegistry(reg);
    SetCurrentMachine(machine_.get());
}

registry::Registry& MachineSession::registry() {
    return machine_->registry();
}

void UseFirefoxRoot(const std::string& option) {
    std::string dir = option;
    if (dir.empty())
        if (const char* env = std::getenv("DESKFORGE_FIREFOX_ROOT"); env && *env) dir = env;
    if (dir.empty()) return;
    if (!std::filesystem::is_directory(dir))
        throw RegistryAccessError(text::trf("Der Firefox-Ordner %1 ist kein Ordner.", dir));
    SetFirefoxRoot(dir);
}

void UseFirefoxProfile(const std::string& option) {
    std::string choice = option;
    if (choice.empty())
        if (const char* env = std::getenv("DESKFORGE_FIREFOX_PROFILE"); env && *env) choice = env;
    if (!choice.empty()) SetFirefoxProfile(choice);
}

MachineSession::~MachineSession() {
    SetFirefoxRoot("");
    ClearDryRunFiles();
    SetCurrentMachine(nullptr);
    SetCurrentRegistry(nullptr);
    SetCurrentJournal(nullptr);
}

std::string MachineSession::dryRunPatch() const {
    registry::RegFileWriter writer;
    if (dryRun_) registry::writePatch(dryRun_->collected, writer);
    std::string out = writer.text();
    // Files are no registry: each shows as a unified diff after the .reg text.
    if (dryRun_ && dryRun_->collected.empty() &&
        (!DryRunFiles().empty() || !DryRunEffects().empty()))
        out.clear();
    // Folders and attributes have no content to diff: one line each.
    for (const auto& e : DryRunEffects()) {
        // The effect is recorded by its name; the patch shows it in the user's language.
        std::string what = e.what;
        if (what == "folder created")
            what = text::tr("Ordner angelegt");
        else if (what == "hidden")
            what = text::tr("versteckt");
        else if (what == "shown")
            what = text::tr("sichtbar gemacht");
        out += "# " + e.path + ": " + what + "\n";
    }
    for (const auto& f : DryRunFiles())
        out += UnifiedDiff(f.path, f.original, f.current);
    return out;
}

} // namespace ravelin::app
