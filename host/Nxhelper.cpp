#include "host/Nxhelper.h"

#include "host/Nxsystem.h"

namespace ravelin {

int ShellExecuteWrapper(const std::string& file, const std::string& parameters,
                        const std::string& directory, int showCommand) {
    return ShellExecuteWrapper(0, "open", file, parameters, directory, showCommand);
}

int ShellExecuteWrapper(long, const std::string& operation, const std::string& file,
                        const std::string& parameters, const std::string& directory,
                        int showCommand) {
    machine::Machine* m = CurrentMachine();
    if (!m) return 2;
    bool address = file.find("://") != std::string::npos || file.rfind("mailto:", 0) == 0;
    if (!address) {
        std::string found = file.find_first_of("\\/:") == std::string::npos ? FindFile(file) : file;
        if (found.empty() || !NXFileExists(found)) return 2;
    }
    m->launcher().record({file, parameters, directory, showCommand, operation});
    return 42;
}

void OpenWebsite(const std::string& address) {
    if (machine::Machine* m = CurrentMachine()) m->launcher().record({address, "", "", 1, "open"});
}

std::string HomepageAddress(const std::string& pageKey, const std::string& campaign,
                            const std::string& tag, const std::string& extra) {
    std::string url = "https://deskforge.example/redirect/" + pageKey;
    std::string query;
    if (!campaign.empty()) query += "&campaign=" + campaign;
    if (!tag.empty()) query += "&tag=" + tag;
    if (!extra.empty()) query += "&" + extra;
    if (!query.empty()) url += "?" + query.substr(1);
    return url;
}

void OpenHomepage(const std::string& pageKey, const std::string& campaign, const std::string& tag,
                  const std::string& extra) {
    OpenWebsite(HomepageAddress(pageKey, campaign, tag, extra));
}

} // namespace ravelin
