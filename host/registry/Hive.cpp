#include "host/registry/Hive.h"

#include <sys/stat.h>

namespace ravelin::registry {

namespace {
void loadTree(Key& key) {
    key.ensureValues();
    for (const auto& sub : key.subkeys())
        loadTree(*sub);
}
} // namespace

void Hive::loadAll() {
    loadTree(*root_);
}

Hive::FileState Hive::stateOf(const std::string& path) {
    FileState s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = static_cast<unsigned long long>(st.st_size);
    s.seconds = st.st_mtim.tv_sec;
    s.nanoseconds = st.st_mtim.tv_nsec;
    return s;
}

void Hive::rememberFileState(std::optional<FileState> seen) {
    state_ = seen ? *seen : stateOf(file_);
}

bool Hive::fileChangedOnDisk() const {
    return state_ && !(stateOf(file_) == *state_);
}

} // namespace ravelin::registry
