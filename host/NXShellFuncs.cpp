#include "host/NXShellFuncs.h"

#include "host/Nxhelper.h"
#include "host/Nxsystem.h"
#include "host/Orvexwow64.h"
#include "host/text/Text.h"

#include <dirent.h>

namespace ravelin::module {

std::function<std::string(const std::string&)> ShellLongPathName = LongPathName;

long NXShellExecute(long window, const std::u16string& operation, const std::u16string& file,
                    const std::u16string& parameters, const std::u16string& directory,
                    int showCommand) {
    auto call = [&] {
        return static_cast<long>(ShellExecuteWrapper(
            window, text::utf16ToUtf8(operation), text::utf16ToUtf8(file),
            text::utf16ToUtf8(parameters), text::utf16ToUtf8(directory), showCommand));
    };
    if (!IsCurrentProcessWow64()) return call();
    const bool wasEnabled = TNXFsRedirection::Enabled();
    TNXFsRedirection::Enable();
    long result = call();
    if (result == 2 || result == 3 || result == 11 || result == 32) {
        TNXFsRedirection::Disable();
        result = call();
    }
    if (wasEnabled)
        TNXFsRedirection::Enable();
    else
        TNXFsRedirection::Disable();
    return result;
}

int ShowRunDialog(long, const std::u16string&, const std::u16string&, int) {
    return 0;
}

std::string LongPathName(const std::string& input) {
    std::string copy = input;
    for (auto& c : copy)
        if (c == '/') c = '\\';
    if ((copy.size() >= 2 && copy[0] == '\\' && copy[1] == '\\') || GetPlatformId() != 2)
        return copy;
    machine::Machine* m = CurrentMachine();
    if (!m) return copy;
    std::string result;
    std::string remaining = copy;
    while (!remaining.empty()) {
        if (remaining.back() == '\\') {
            remaining.pop_back();
            continue;
        }
        if (remaining.back() == ':') {
            result = remaining + "\\" + result;
            break;
        }
        std::size_t slash = remaining.rfind('\\');
        if (slash == std::string::npos) return input;
        std::string folder = remaining.substr(0, slash + 1);
        std::string name = remaining.substr(slash + 1);
        if (!(folder.size() == 3 && folder[1] == ':'))
            folder.pop_back(); // a drive root keeps its backslash
        if (folder.empty() || name.empty()) return input;
        // The name as the folder on disk spells it.
        std::string host = m->files().hostPath(folder);
        if (host.empty()) return input;
        std::string display;
        if (DIR* d = ::opendir(host.c_str())) {
            while (dirent* e = ::readdir(d))
                if (text::namesEqual(e->d_name, name)) {
                    display = e->d_name;
                    break;
                }
            ::closedir(d);
        }
        if (display.empty()) return input;
        result = result.empty() ? display : display + "\\" + result;
        remaining = folder;
    }
    return result;
}

} // namespace ravelin::module
