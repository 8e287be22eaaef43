#include "host/Nxshell.h"

#include "host/Nxregistry.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <array>

namespace ravelin {

namespace {

enum SystemIcon { kDocument = 0, kProgram = 1, kShortcut = 2, kWebDocument = 3, kFolder = 4 };
constexpr std::array<const char*, 5> kIconNames = {
    "system/document", "system/program", "system/shortcut", "system/web", "system/folder"};
constexpr std::uint32_t kDirectory = 0x10; // FILE_ATTRIBUTE_DIRECTORY
constexpr std::size_t kTypeNameLimit = 80;

std::string upperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Cuts UTF-8 text to at most `limit` characters, never inside a character.
std::string cutCharacters(const std::string& s, std::size_t limit) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
        if (count++ == limit) return s.substr(0, i);
    }
    return s;
}

int iconOf(const std::string& progId) {
    if (progId.empty()) return kDocument;
    std::string icon =
        GetRegStringValueDef(HKEY_CLASSES_ROOT, progId + "\\DefaultIcon", "", "", {});
    // "%1": the program shows its own icon.
    if (icon.find("%1") != std::string::npos) return kProgram;
    if (RegValueExists(HKEY_CLASSES_ROOT, progId, "IsShortcut", {})) return kShortcut;
    std::string folded = text::foldName(progId);
    if (folded.find("internetshortcut") != std::string::npos) return kWebDocument;
    return kDocument;
}

} // namespace

bool SHGetFileInfoWrapper(const std::string& fileName, std::uint32_t fileAttributes,
                          TSHFileInfo& info) {
    info = TSHFileInfo{};
    info.dwAttributes = fileAttributes;
    if (fileAttributes & kDirectory) {
        info.szTypeName = text::tr("Dateiordner");
        info.iIcon = kFolder;
        return true;
    }
    std::size_t dot = fileName.rfind('.');
    std::size_t slash = fileName.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 == fileName.size()) {
        info.szTypeName = "Datei";
        info.iIcon = kDocument;
        return true;
    }
    const std::string extension = fileName.substr(dot);
    const std::string progId = GetRegStringValueDef(HKEY_CLASSES_ROOT, extension, "", "", {});
    std::string name;
    if (!progId.empty()) name = GetRegStringValueDef(HKEY_CLASSES_ROOT, progId, "", "", {});
    if (name.empty()) name = upperAscii(extension.substr(1)) + "-Datei";
    info.szTypeName = cutCharacters(name, kTypeNameLimit);
    info.iIcon = iconOf(progId);
    return true;
}

void CreateSystemImageList(toolkit::TImageList& list, bool smallIcons) {
    list.Width = list.Height = smallIcons ? 16 : 32;
    list.Files.assign(kIconNames.begin(), kIconNames.end());
}

} // namespace ravelin
