#include "module/MainNetwork.h"

#include "firefox/ufrmFireFox.h"
#include "host/NXShellFuncs.h"
#include "iexplorer/ufrmIE.h"
#include "logon/ufrmLogon.h"
#include "mailchat/ufrmMailClients.h"
#include "network/ufrmNetwork.h"
#include "network/ufrmTCPIP.h"
#include "opera/ufrmOpera.h"

#include <cstring>
#include <functional>

namespace {

using Factory = std::function<ravelin::toolkit::TForm*()>;

// The page identifiers in the order they are compared; pages still to come create nothing.
const std::pair<const char*, Factory> kPages[] = {
    {"tcpip|Ravelin.bpl",
     [] {
         return static_cast<ravelin::toolkit::TForm*>(new ravelin::network::TfrmTCPIP(nullptr));
     }},
    {"logon|Ravelin.bpl",
     [] { return static_cast<ravelin::toolkit::TForm*>(new ravelin::logon::TfrmLogon(nullptr)); }},
    {"internet|Ravelin.bpl",
     [] {
         return static_cast<ravelin::toolkit::TForm*>(new ravelin::network::TfrmNetwork(nullptr));
     }},
    {"explorer|Ravelin.bpl",
     [] { return static_cast<ravelin::toolkit::TForm*>(new ravelin::iexplorer::TfrmIE(nullptr)); }},
    {"firefox|Ravelin.bpl",
     [] {
         return static_cast<ravelin::toolkit::TForm*>(
             new ravelin::firefox::TfrmMozillaFireFox(nullptr));
     }},
    {"opera|Ravelin.bpl",
     [] { return static_cast<ravelin::toolkit::TForm*>(new ravelin::opera::TfrmOpera(nullptr)); }},
    {"mailchat|Ravelin.bpl",
     [] {
         return static_cast<ravelin::toolkit::TForm*>(
             new ravelin::mailchat::TfrmMailClients(nullptr));
     }},
};

const ravelin::module::PackageUnit kUnits[] = {{"MainNetwork"},
                                               {"NXShellFuncs"},
                                               {"ufrmTCPIP"},
                                               {"ufrmNetwork"},
                                               {"NXUserAgent"},
                                               {"ufrmIE"},
                                               {"ufrmIE7FrameMenu"},
                                               {"ufrmIE7FrameSearchbar"},
                                               {"ufrmIE7FrameStartpage"},
                                               {"ufrmIEContextMenu"},
                                               {"ufrmIESearchScope"},
                                               {"ufrmIE7DialogStartpage"},
                                               {"ufrmIE7DialogStartpageFavorites"},
                                               {"ufrmFireFox"},
                                               {"ufrmLogon"},
                                               {"ufrmEditLogonOld"},
                                               {"ufrmEditLogonNew"},
                                               {"ufrmMailClients"},
                                               {"ufrmOutlookSecurity"},
                                               {"ufrmOpera"}};

std::u16string text(const char16_t* s) {
    return s ? std::u16string(s) : std::u16string();
}

} // namespace

extern "C" {

ravelin::toolkit::TForm* InitSubForm(const char* id) {
    if (!id) return nullptr;
    for (const auto& [name, make] : kPages)
        if (std::strcmp(id, name) == 0) return make ? make() : nullptr;
    return nullptr;
}

// No unit of the module does work when it is loaded or unloaded.
void Initialize() {}
void Finalize() {}

const ravelin::module::PackageUnit* GetPackageInfoTable(int* count) {
    if (count) *count = static_cast<int>(std::size(kUnits));
    return kUnits;
}

int ShowRunDialog(long owner, const char16_t* title, const char16_t* description, int flags) {
    return ravelin::module::ShowRunDialog(owner, text(title), text(description), flags);
}

long NXShellExecute(long window, const char16_t* operation, const char16_t* file,
                    const char16_t* parameters, const char16_t* directory, int showCommand) {
    return ravelin::module::NXShellExecute(window, text(operation), text(file), text(parameters),
                                           text(directory), showCommand);
}
}
