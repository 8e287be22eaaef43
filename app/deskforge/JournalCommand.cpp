#include "app/deskforge/JournalCommand.h"

#include "host/Nxfilechanges.h"
#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "host/registry/FileUtil.h"
#include "host/registry/Patch.h"
#include "host/registry/Registry.h"
#include "host/text/Translate.h"

#include <charconv>
#include <ctime>
#include <ostream>

namespace ravelin::app {

namespace {

std::string localTime(std::int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    ::localtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

bool parseId(const std::string& s, std::int64_t& id) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), id);
    return ec == std::errc() && end == s.data() + s.size() && id > 0;
}

std::string valueImage(const std::optional<RegistryValue>& v, bool sensitive) {
    if (!v) return text::tr("(nicht vorhanden)");
    if (sensitive) return text::tr("(vertraulich, Inhalt nicht aufbewahrt)");
    journal::JournalEntry e;
    e.registry.kind = registry::RegistryChange::Kind::Value;
    e.registry.after = v;
    std::string d = journal::describe(e);
    auto eq = d.find(" = ");
    return eq == std::string::npos ? d : d.substr(eq + 3);
}

void printTree(std::ostream& out, bool before, const std::optional<std::string>& tree) {
    if (!tree) {
        out << "    "
            << (before ? text::tr("vorher: (nicht vorhanden)")
                       : text::tr("nachher: (nicht vorhanden)"))
            << "\n";
        return;
    }
    out << "    " << (before ? text::tr("vorher:") : text::tr("nachher:")) << "\n";
    std::size_t start = 0;
    while (start < tree->size()) {
        std::size_t end = tree->find("\r\n", start);
        if (end == std::string::npos) end = tree->size();
        std::string line = tree->substr(start, end - start);
        if (!line.empty() && line.rfind("Windows Registry Editor", 0) != 0)
            out << "      " << line << "\n";
        start = end + 2;
    }
}

} // namespace

int runJournalCommand(registry::Registry& reg, journal::Journal& journal,
                      const std::vector<std::string>& args, Console& c) {
    const std::string op = args.empty() ? "" : args[0];
    try {
        if (op == "list" && args.size() == 1) {
            for (const auto& t : journal.list()) {
                c.out << t.id << "  " << localTime(t.time) << "  "
                      << (t.page.empty() ? "-" : t.page) << "  "
                      << (t.control.empty() ? "-" : t.control) << "  " << t.category << "  "
                      << t.summary << "\n";
            }
            return 0;
        }
        std::int64_t id = 0;
        const bool force = (op == "undo" || op == "redo") && args.size() == 3 &&
                           (args[2] == "--force" || args[2] == "-f");
        if ((op == "show" || op == "undo" || op == "redo") && (args.size() == 2 || force)) {
            if (!parseId(args[1], id)) {
                c.err << text::trf("FEHLER: Das ist keine Transaktionsnummer: %1", args[1]) << "\n";
                return 1;
            }
            if (op == "show") {
                auto t = journal.transaction(id);
                if (!t) {
                    c.err << text::trf("FEHLER: Die Transaktion %1 gibt es im Journal nicht.",
                                       std::to_string(id))
                          << "\n";
                    return 1;
                }
                c.out << text::trf(
                             "Transaktion %1  %2  Seite %3  Steuerelement %4  Kategorie %5  %6",
                             std::to_string(t->id), localTime(t->time),
                             t->page.empty() ? "-" : t->page, t->control.empty() ? "-" : t->control,
                             std::to_string(t->category), t->kind)
                      << (t->label.empty() ? "" : "  \"" + t->label + "\"") << "\n";
                for (const auto& e : journal.entries(id)) {
                    c.out << "  " << journal::describe(e) << "\n";
                    if (e.isFile && e.file.kind != journal::FileChange::Kind::Content) {
                        // A folder or an attribute: the summary line says it all.
                        continue;
                    } else if (e.isFile) {
                        c.out << "    "
                              << (e.file.before ? text::trf("vorher: %1 Bytes",
                                                            std::to_string(e.file.before->size()))
                                                : text::tr("vorher: (nicht vorhanden)"))
                              << "\n    "
                              << (e.file.after ? text::trf("nachher: %1 Bytes",
                                                           std::to_string(e.file.after->size()))
                                               : text::tr("nachher: (nicht vorhanden)"))
                              << "\n";
                        // What changed in the file, as a unified diff.
                        c.out << UnifiedDiff(e.file.path, e.file.before, e.file.after);
                    } else if (e.registry.kind == registry::RegistryChange::Kind::Value) {
                        c.out << "    "
                              << text::trf("vorher: %1",
                                           valueImage(e.registry.before, e.registry.sensitive))
                              << "\n";
                        c.out << "    "
                              << text::trf("nachher: %1",
                                           valueImage(e.registry.after, e.registry.sensitive))
                              << "\n";
                    } else {
                        printTree(c.out, true, e.registry.beforeTree);
                        printTree(c.out, false, e.registry.afterTree);
                    }
                }
                return 0;
            }
            JournalSetContext("journal", "journal " + op);
            std::int64_t made =
                op == "undo" ? journal.undo(id, reg, force) : journal.redo(id, reg, force);
            c.out << (op == "undo" ? text::trf("Die Transaktion %1 wurde rückgängig gemacht "
                                               "(aufgezeichnet als %2).",
                                               std::to_string(id), std::to_string(made))
                                   : text::trf("Die Transaktion %1 wurde wiederholt (aufgezeichnet "
                                               "als %2).",
                                               std::to_string(id), std::to_string(made)))
                  << "\n";
            return 0;
        }
        if (op == "export" && (args.size() == 2 || (args.size() == 4 && args[2] == "--since"))) {
            std::int64_t since = 1;
            if (args.size() == 4 && !parseId(args[3], since)) {
                c.err << text::trf("FEHLER: Das ist keine Transaktionsnummer: %1", args[3]) << "\n";
                return 1;
            }
            registry::RegFileWriter writer;
            registry::writePatch(journal.registryChangesSince(since), writer);
            registry::writeFileAtomically(args[1], writer.bytes());
            // A .reg patch holds registry changes only: say what it leaves out.
            std::size_t files = 0;
            for (const auto& t : journal.list(since))
                for (const auto& e : journal.entries(t.id))
                    files += e.isFile ? 1 : 0;
            if (files)
                c.err << text::trf("Hinweis: %1 Dateiänderung(en) sind nicht Teil eines "
                                   ".reg-Patches; \"journal show ID\" gibt jede als Unified Diff "
                                   "aus.",
                                   std::to_string(files))
                      << "\n";
            c.out << text::tr("Der Vorgang wurde erfolgreich beendet.") << "\n";
            return 0;
        }
    } catch (const RegistryAccessError& e) {
        c.err << text::trf("FEHLER: %1", e.what()) << "\n";
        return 1;
    } catch (const RegistryFormatError& e) {
        c.err << text::trf("FEHLER: %1", e.what()) << "\n";
        return 1;
    }
    c.err << text::tr("FEHLER: Aufruf: deskforge journal list | show ID | undo ID [--force] | "
                      "redo ID [--force] | export FILE [--since ID]")
          << "\n";
    return 1;
}

int runJournalCommand(registry::Registry& reg, journal::Journal* journal,
                      const std::vector<std::string>& args, Console& c) {
    if (journal) return runJournalCommand(reg, *journal, args, c);
    const std::string op = args.empty() ? "" : args[0];
    if (op == "list" && args.size() == 1) return 0;
    if (op == "show" || op == "undo" || op == "redo") {
        std::int64_t id = 0;
        if (args.size() >= 2 && parseId(args[1], id)) {
            c.err << text::trf("FEHLER: Die Transaktion %1 gibt es im Journal nicht.",
                               std::to_string(id))
                  << "\n";
            return 1;
        }
    }
    if (op == "export" && args.size() >= 2) {
        try {
            registry::RegFileWriter writer;
            registry::writePatch({}, writer);
            registry::writeFileAtomically(args[1], writer.bytes());
        } catch (const RegistryAccessError& e) {
            c.err << text::trf("FEHLER: %1", e.what()) << "\n";
            return 1;
        }
        c.out << text::tr("Der Vorgang wurde erfolgreich beendet.") << "\n";
        return 0;
    }
    c.err << text::tr("FEHLER: Aufruf: deskforge journal list | show ID | undo ID [--force] | "
                      "redo ID [--force] | export FILE [--since ID]")
          << "\n";
    return 1;
}

} // namespace ravelin::app
