#include "mailchat/ufrmOutlookSecurity.h"

#include "host/Nxapps.h"
#include "host/Nxgraphics.h"
#include "host/Nxregistry.h"
#include "host/Nxshell.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"

#include <algorithm>

namespace ravelin::mailchat {

using namespace toolkit;

TfrmOutlookSecurity* frmOutlookSecurity = nullptr;
TFileVersionIdentification VersionOutlook;
TImageList* ILSysSmall = nullptr;

const std::vector<std::string> kLevel1Types = {
    "ADE", "ADP", "ASX", "BAS", "BAT", "CHM", "CMD", "COM", "CPL", "CRT", "EXE",
    "HLP", "HTA", "INF", "INS", "ISP", "JS",  "JSE", "LNK", "MDB", "MDE", "MSC",
    "MSI", "MSP", "MST", "PCD", "PIF", "PRF", "REG", "SCF", "SCR", "SCT", "SHB",
    "SHS", "URL", "VB",  "VBE", "VBS", "WSC", "WSF", "WSH"};
const std::vector<std::string> kLevel1Types12 = {
    "APP", "CER", "CSH", "DER", "FXP",  "ITS",      "KSH",    "MAD",     "MAF",
    "MAG", "MAM", "MAQ", "MAR", "MAS",  "MAT",      "MAU",    "MAV",     "MDA",
    "MDT", "MDW", "MDZ", "MSH", "MSH1", "MSH2",     "MSHXML", "MSH1XML", "MSH2XML",
    "OPS", "PLG", "PRG", "PST", "TMP",  "VSMACROS", "VSW",    "WS"};

namespace {

std::string rsOutlookNotSetUp() {
    return text::tr(
        "Outlook wurde für diesen Benutzer noch nicht eingerichtet. Die gesperrten Dateitypen "
        "können erst nach dem ersten Start von Outlook gespeichert werden.");
}
constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;

// Upper case as file names compare: ASCII and Latin-1 letters.
std::string upperName(const std::string& s) {
    std::u16string u = text::utf8ToUtf16(s);
    for (char16_t& c : u)
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = static_cast<char16_t>(c - 32);
    return text::utf16ToUtf8(u);
}

using text::kSpaceAndTab;
using text::trimmed;

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

std::vector<std::string> ParseLevel1Remove(const std::string& value) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(';', start);
        if (end == std::string::npos) end = value.size();
        std::string item = upperName(trimmed(value.substr(start, end - start), kSpaceAndTab));
        if (!item.empty() && item.front() == '.') item = trimmed(item.substr(1), kSpaceAndTab);
        if (!item.empty() && !contains(items, item)) items.push_back(item);
        start = end + 1;
    }
    return items;
}

std::string ComposeLevel1Remove(const std::vector<std::string>& unchecked,
                                const std::vector<std::string>& unlisted) {
    std::vector<std::string> items;
    for (const auto* list : {&unchecked, &unlisted})
        for (const std::string& raw : *list) {
            const std::string item = upperName(raw);
            if (!item.empty() && !contains(items, item)) items.push_back(item);
        }
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : ";") + item;
    return out;
}

TfrmOutlookSecurity::TfrmOutlookSecurity(TComponent* owner) : PageBase(owner) {
    loadForm();
    frmOutlookSecurity = this;
    Fire(OnCreate);
}

TfrmOutlookSecurity::~TfrmOutlookSecurity() {
    if (frmOutlookSecurity == this) frmOutlookSecurity = nullptr;
    if (ILSysSmall == ilSysSmall) ILSysSmall = nullptr;
}

std::string TfrmOutlookSecurity::SecurityKey() const {
    return "Software\\Microsoft\\Office\\" + VersionOutlook.text() + "\\Outlook\\Security";
}

void TfrmOutlookSecurity::FormCreate(TComponent&) {
    const JournalDiscarding discarding;
    CreateSystemImageList(*ilSysSmall, true);
    ILSysSmall = ilSysSmall;
    VersionOutlook = GetOutlookVersion();
    const std::vector<std::string> stored = ParseLevel1Remove(
        GetRegStringValueDef(HKEY_CURRENT_USER, SecurityKey(), "Level1Remove", "", {}));
    lookup_ = ";";
    for (const std::string& item : stored)
        lookup_ += item + ";";
    LoadGraphic(21000, *imgOutlookBlockAttachments, 17);

    lvFileTypes->BeginUpdate();
    for (const std::string& type : kLevel1Types)
        AddFileType(type);
    if (VersionOutlook.Major >= 12)
        for (const std::string& type : kLevel1Types12)
            AddFileType(type);
    lvFileTypes->AlphaSort();
    lvFileTypes->EndUpdate();
    for (const std::string& item : stored)
        if (!lvFileTypes->FindCaption(item)) unlisted_.push_back(item);
    lvFileTypes->Tag = 0;
}

void TfrmOutlookSecurity::AddFileType(const std::string& extension) {
    const std::string upper = upperName(extension);
    TSHFileInfo info;
    SHGetFileInfoWrapper("." + upper, FILE_ATTRIBUTE_NORMAL, info);
    TListItem& item = lvFileTypes->Add();
    item.Caption = upper;
    item.ImageIndex = info.iIcon;
    item.SubItems.push_back(info.szTypeName);
    item.SetChecked(lookup_.find(";" + upper + ";") == std::string::npos);
}

void TfrmOutlookSecurity::lvFileTypesItemChecked(TComponent&, TListItem&) {
    mark(*lvFileTypes);
}

void TfrmOutlookSecurity::btnLevel1SelAllClick(TComponent&) {
    for (int i = 0; i < lvFileTypes->Count(); ++i)
        lvFileTypes->Item(i).SetChecked(true);
}

void TfrmOutlookSecurity::btnLevel1SelNoneClick(TComponent&) {
    for (int i = 0; i < lvFileTypes->Count(); ++i)
        lvFileTypes->Item(i).SetChecked(false);
}

void TfrmOutlookSecurity::Button2Click(TComponent&) {
    {
        const JournalTransaction transaction;
        if (lvFileTypes->Tag == 1) {
            lvFileTypes->Tag = 0;
            std::vector<std::string> unchecked;
            for (int i = 0; i < lvFileTypes->Count(); ++i)
                if (!lvFileTypes->Item(i).Checked())
                    unchecked.push_back(lvFileTypes->Item(i).Caption);
            const std::string outlookKey =
                "Software\\Microsoft\\Office\\" + VersionOutlook.text() + "\\Outlook";
            if (VersionOutlook.Major > 0 && KeyExist(HKEY_CURRENT_USER, outlookKey, {})) {
                SetRegStringValue(HKEY_CURRENT_USER, SecurityKey(), "Level1Remove",
                                  ComposeLevel1Remove(unchecked, unlisted_), {});
            } else {
                Application().MessageBox(rsOutlookNotSetUp(), Caption, MB_OK | MB_ICONWARNING);
            }
        }
    }
    ModalResult = mrOk;
}

} // namespace ravelin::mailchat
