// The files of a machine: Windows paths mapped to files under the machine folder, the way
// Windows resolves them (drive letters, names ignoring case), and the guard that nothing
// outside the machine is ever written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ravelin::machine {

class MachineFiles {
  public:
    // root: the machine folder; winePrefix: C: is root/drive_c (and other drives come from
    // root/dosdevices), else C: is the root itself.
    MachineFiles(std::string root, bool winePrefix);

    const std::string& root() const { return root_; }
    // The host path of a Windows path ("C:\Windows\system32", "c:/x"), each existing
    // component spelled as it is on disk; components that do not exist are kept as given.
    // A host path (starting with '/') is returned as it is. Empty for an unknown drive.
    std::string hostPath(const std::string& windowsPath) const;
    // The Windows path of a host path under the C: drive; empty when it is not under it.
    std::string windowsPath(const std::string& hostPath) const;

    bool fileExists(const std::string& path) const; // a file (not a folder)
    bool dirExists(const std::string& path) const;
    // True when a change to `hostPath` stays inside the machine folder (or one of the extra
    // roots): the deepest existing part, links resolved, must lie inside.
    bool writable(const std::string& hostPath) const;
    // Throws RegistryAccessError unless writable().
    void requireWritable(const std::string& hostPath) const;
    void addWritableRoot(const std::string& dir); // a browser profile chosen by the user

    // File attributes (FILE_ATTRIBUTE_* bits), kept where the drive keeps them: on a
    // Windows drive mounted with ntfs-3g the NTFS attributes themselves
    // (system.ntfs_attrib_be); in a Wine prefix where Wine keeps them, the extended
    // attribute user.DOSATTRIB ("0x2" style), or .deskforge/attributes (one
    // "flags<TAB>relative path" a line) where the file system has no extended attributes;
    // elsewhere in that side file. Off an NTFS drive, names starting with a dot count as
    // hidden, as Wine shows them.
    unsigned attributes(const std::string& hostPath) const;
    bool isHidden(const std::string& hostPath) const;
    void setHidden(const std::string& hostPath, bool hidden) const;

  private:
    std::string driveRoot(char letter) const;
    std::optional<unsigned> sidecarAttributes(const std::string& hostPath) const;
    void setSidecarAttributes(const std::string& hostPath, unsigned attributes) const;

    std::string root_;
    bool wine_;
    std::vector<std::string> writableRoots_;
};

} // namespace ravelin::machine
