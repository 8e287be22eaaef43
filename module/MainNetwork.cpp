#include "module/MainNetwork.h"

#include "host/NXShellFuncs.h"
#include "module/PageList.h"
#include "toolkit/Controls.h"

namespace {

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
    return id ? ravelin::module::CreatePage(id).release() : nullptr;
}

const ravelin::module::PageEntry* GetPageTable(int* count) {
    const auto pages = ravelin::module::Pages();
    if (count) *count = static_cast<int>(pages.size());
    return pages.data();
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
