// Starting programs and opening web pages. Nothing is ever run: the machine's launcher
// records each request (program, parameters, folder, show command), and front ends show
// or act on what was recorded.
#pragma once

#include <string>

namespace ravelin {

// Returns what ShellExecute returns: above 32 on success, 2 (file not found) when the
// program does not exist on the machine (web addresses always exist).
int ShellExecuteWrapper(const std::string& file, const std::string& parameters,
                        const std::string& directory, int showCommand);
int ShellExecuteWrapper(long window, const std::string& operation, const std::string& file,
                        const std::string& parameters, const std::string& directory,
                        int showCommand);
void OpenWebsite(const std::string& address);
// Opens a page of the maker's web site.
void OpenHomepage(const std::string& pageKey, const std::string& campaign, const std::string& tag,
                  const std::string& extra);
// The address OpenHomepage opens.
std::string HomepageAddress(const std::string& pageKey, const std::string& campaign,
                            const std::string& tag, const std::string& extra);

} // namespace ravelin
