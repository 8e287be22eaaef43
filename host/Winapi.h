// Windows calls the pages make beyond the registry (accounts, the user's name, files of a
// folder, resources of a file, icons), answered from the machine the host has bound.
#pragma once

#include "host/registry/Types.h"

#include <string>
#include <vector>

namespace ravelin {

// ---- Accounts (level 1 of the account enumeration) ----
inline constexpr int USER_PRIV_GUEST = 0, USER_PRIV_USER = 1, USER_PRIV_ADMIN = 2;
inline constexpr int NERR_Success = 0;

struct USER_INFO_1 {
    std::string usri1_name;
    int usri1_priv = USER_PRIV_USER;
};

// The local accounts in the machine's order, at most `maxEntries` per call from
// `resumeHandle` on (which it advances): 0 when the list ended with this call, 234 (more
// data) when further calls are needed.
int NetUserEnum(std::vector<USER_INFO_1>& buffer, std::size_t maxEntries, DWORD& resumeHandle);
// Frees what NetUserEnum returned.
void NetApiBufferFree(std::vector<USER_INFO_1>& buffer);
// The name of the user running the program.
std::string GetUserNameW();

// The host's name of a Windows version by its operating-system code ("XP", "Vista", "7").
std::string OS_Type_Strings(int os);

// ---- Files ----

// The names of the files (not folders) in a Windows folder that match a pattern of "*"
// and "?" (case-insensitive), hidden and system files included, as the file system spells
// them; the file-system redirection applies as to every path. Empty when the folder is
// missing.
std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern);

// Loads a file as a data file and reads its string resource `id` in the user's language:
// false when the file cannot be loaded (missing, unreadable, not a program file); true with
// an empty text when it has no such string.
bool LoadStringFromDataFile(const std::string& file, unsigned id, std::string& text);

// The icon of a program file, as a picture the front ends show: the file's host path, or
// the name when the file is not found.
std::string GetIconHandle(const std::string& file);

} // namespace ravelin
