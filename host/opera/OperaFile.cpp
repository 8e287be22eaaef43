#include "host/opera/OperaFile.h"

#include "host/Nxfilechanges.h"
#include "host/Nxregistry.h"
#include "host/registry/FileUtil.h"
#include "host/text/Translate.h"

#include <sys/stat.h>

namespace ravelin::opera {

OperaFile::OperaFile(std::string hostPath, std::string windowsPath)
    : host_(std::move(hostPath)), windows_(std::move(windowsPath)) {}

bool OperaFile::exists() const {
    struct stat st {};
    return !host_.empty() && ::stat(host_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void OperaFile::refresh() const {
    std::optional<std::string> now;
    if (const auto* planned = DryRunFileContent(host_)) {
        now = *planned; // a dry run's change, which the disk does not hold
    } else if (exists()) {
        try {
            now = registry::readWholeFile(host_);
        } catch (const RegistryAccessError& e) {
            if (!loaded_ || error_ != e.what()) {
                doc_.reset();
                error_ = windows_ + ": " + e.what();
                disk_.reset();
                loaded_ = true;
            }
            return;
        }
    }
    if (loaded_ && now == disk_ && error_.empty()) return;
    disk_ = now;
    loaded_ = true;
    error_.clear();
    doc_.reset();
    if (!now) return;
    try {
        doc_ = OperaIniFile::parse(*now, windows_);
    } catch (const OperaFileError& e) {
        error_ = e.what();
    }
}

const OperaIniFile* OperaFile::doc() const {
    if (host_.empty()) return nullptr;
    refresh();
    return doc_ ? &*doc_ : nullptr;
}

std::string OperaFile::error() const {
    if (host_.empty()) return {};
    refresh();
    return error_;
}

std::optional<std::string> OperaFile::get(const std::string& section,
                                          const std::string& key) const {
    const OperaIniFile* d = doc();
    return d ? d->get(section, key) : std::nullopt;
}

void OperaFile::set(const std::string& section, const std::string& key, const std::string& value) {
    if (host_.empty())
        throw OperaFileError(text::tr("Es gibt kein Opera-Profil, in das geschrieben werden kann"));
    if (std::string why = refusedText(section, key, value); !why.empty()) {
        // Refused as any other write the file would not take: the script line fails too.
        why = text::trf("%1: %2\nDie Datei wurde nicht verändert.", windows_, why);
        ReportWriteFailure(why);
        throw OperaFileError(why);
    }
    refresh();
    if (!error_.empty())
        throw OperaFileError(text::trf("%1\nDie Datei wurde nicht verändert.", error_));
    // A missing or empty file starts the way Opera starts one, with its header line.
    const bool fresh = !doc_ || (disk_ && disk_->empty());
    OperaIniFile changed = fresh ? OperaIniFile() : *doc_;
    if (!changed.set(section, key, value) && !fresh) return;
    const std::string bytes = changed.bytes();
    TJournalStream stream; // journalled; in a dry run only planned
    stream.Data() = bytes;
    stream.SaveToFile(host_);
    doc_ = std::move(changed);
    disk_ = bytes;
}

} // namespace ravelin::opera
