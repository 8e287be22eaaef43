#include "app/deskforge/CssCommand.h"

#include "firefox/CSSParser.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/text/Translate.h"

#include <filesystem>
#include <ostream>

namespace ravelin::app {

int runCssCommand(const std::vector<std::string>& args, Console& c) {
    const std::string op = args.empty() ? "" : args[0];
    const bool okArgs = (op == "get" && args.size() == 4) || (op == "set" && args.size() >= 4) ||
                        (op == "delete" && args.size() == 3);
    if (!okArgs) {
        c.err << text::tr("FEHLER: Aufruf: deskforge css get FILE SELECTOR PROPERTY | set FILE "
                          "SELECTOR PROPERTY [WORD...] | delete FILE SELECTOR")
              << "\n";
        return 1;
    }
    // A linked sheet is edited where it lives; the link stays a link.
    const std::string file = firefox::TCSSParser::ResolveLink(args[1]);
    const std::string& selector = args[2];
    try {
        TJournalStream stream;
        bool exists = stream.LoadFromFile(file); // a missing file is an empty sheet
        if (!exists && std::filesystem::exists(file)) {
            c.err << text::trf("FEHLER: %1: Die Datei kann nicht gelesen werden.", file) << "\n";
            return 1;
        }
        firefox::TCSSParser parser;
        parser.LoadFromStream(stream);
        if (op == "get") {
            std::vector<std::string> words;
            bool found = parser.GetCSSProperty(selector, args[3], words, "all");
            for (const auto& w : words)
                c.out << w << "\n";
            return found ? 0 : 1;
        }
        JournalSetContext("css", "css " + op);
        bool changed;
        if (op == "set") {
            std::vector<std::string> words(args.begin() + 4, args.end());
            changed = parser.SetCSSProperty(selector, args[3], words, "all");
            if (changed) JournalSetFlag(64);
        } else {
            changed = parser.DeleteCSSSelector(selector, "all");
            if (changed) JournalSetFlag(64);
        }
        if (!changed && !parser.lastError().empty()) {
            c.err << text::trf("FEHLER: %1: %2; die Datei bleibt unverändert.", args[1],
                               parser.lastError())
                  << "\n";
            return 1;
        }
        if (!changed) {
            c.err << text::trf("FEHLER: Nichts passt; %1 bleibt unverändert.", args[1]) << "\n";
            return 1;
        }
        parser.SaveToStream(stream);
        // The user named this file: its folder counts as the chosen profile.
        if (machine::Machine* m = CurrentMachine())
            m->files().addWritableRoot(std::filesystem::absolute(file).parent_path());
        // The folder it makes and the sheet are one change: undone together.
        BackupStart(0, "");
        try {
            CreateFolderJournalled(std::filesystem::absolute(file).parent_path().string());
            stream.SaveToFile(file);
        } catch (...) {
            BackupEnd(true);
            TakeWriteFailure();
            throw;
        }
        BackupEnd(false);
        if (std::string refused = TakeWriteFailure(); !refused.empty())
            throw RegistryAccessError(refused);
        c.out << text::tr("Der Vorgang wurde erfolgreich beendet.") << "\n";
        return 0;
    } catch (const std::exception& e) {
        c.err << text::trf("FEHLER: %1", e.what()) << "\n";
        return 1;
    }
}

} // namespace ravelin::app
