// Unit MainNetwork: the module's entry points. The host loads the module as a shared
// library and calls these by name.
#pragma once

#include "module/PageList.h"
#include "toolkit/Controls.h"

namespace ravelin::module {

struct PackageUnit {
    const char* name;
};

} // namespace ravelin::module

extern "C" {
// The page form for an identifier ("tcpip|Ravelin.bpl"), compared exactly, with no owner;
// nullptr for any other string. The caller owns the form.
ravelin::toolkit::TForm* InitSubForm(const char* id);
// The module's pages (module/PageList.h), in the order the host lists them.
const ravelin::module::PageEntry* GetPageTable(int* count);
void Initialize();
void Finalize();
const ravelin::module::PackageUnit* GetPackageInfoTable(int* count);
int ShowRunDialog(long owner, const char16_t* title, const char16_t* description, int flags);
long NXShellExecute(long window, const char16_t* operation, const char16_t* file,
                    const char16_t* parameters, const char16_t* directory, int showCommand);
}
