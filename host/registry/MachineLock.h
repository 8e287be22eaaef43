// Writers' safety on a machine folder: one writing process at a time, and no writes to a
// Wine prefix whose wineserver runs (it would overwrite our changes when it exits).
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ravelin::registry {

// An exclusive advisory lock on <machine>/.deskforge/lock, held while the object lives.
class MachineLock {
  public:
    // Waits up to waitSeconds while another process holds it (default: lockWaitSeconds()),
    // then throws RegistryAccessError; also when the lock file cannot be made.
    explicit MachineLock(const std::string& machineDir, double waitSeconds = -1);
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

  private:
    int fd_ = -1;
};

// How long a writer waits for another one: $DESKFORGE_LOCK_WAIT seconds, else 10.
double lockWaitSeconds();

// The pid of the wineserver that serves the prefix, when one runs. Looks where Wine
// keeps its server folder: /tmp/.wine-<uid>/, /run/user/<uid>/wine/, and the folder
// named in <prefix>/wineserver; the server holds a write lock on byte 0 of its "lock"
// file there. `tmpDirs` lists further roots to search (tests use it).
std::optional<pid_t> runningWineserver(const std::string& prefixDir,
                                       const std::vector<std::string>& extraRoots = {});

} // namespace ravelin::registry
