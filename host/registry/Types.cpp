#include "host/registry/Types.h"

#include "host/text/Text.h"

namespace ravelin {

std::vector<std::uint8_t> makeStringData(const std::string& utf8) {
    auto bytes = text::utf16ToBytes(text::utf8ToUtf16(utf8));
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> makeMultiStringData(const std::vector<std::string>& items) {
    std::vector<std::uint8_t> bytes;
    for (const auto& item : items) {
        auto part = makeStringData(item);
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> makeDwordData(DWORD v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

std::vector<std::uint8_t> makeQwordData(std::uint64_t v) {
    std::vector<std::uint8_t> out(8);
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    return out;
}

std::string stringFromData(const std::vector<std::uint8_t>& data) {
    std::u16string units = text::bytesToUtf16(data.data(), data.size());
    if (auto nul = units.find(u'\0'); nul != std::u16string::npos) units.resize(nul);
    return text::utf16ToUtf8(units);
}

std::vector<std::string> multiStringFromData(const std::vector<std::uint8_t>& data) {
    std::u16string units = text::bytesToUtf16(data.data(), data.size());
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start < units.size()) {
        std::size_t nul = units.find(u'\0', start);
        if (nul == std::u16string::npos) nul = units.size();
        if (nul == start) break; // the empty string ends the list
        items.push_back(text::utf16ToUtf8(units.substr(start, nul - start)));
        start = nul + 1;
    }
    return items;
}

const char* typeName(DWORD type) {
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
        return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
        return "REG_LINK";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_RESOURCE_LIST:
        return "REG_RESOURCE_LIST";
    case REG_FULL_RESOURCE_DESCRIPTOR:
        return "REG_FULL_RESOURCE_DESCRIPTOR";
    case REG_RESOURCE_REQUIREMENTS_LIST:
        return "REG_RESOURCE_REQUIREMENTS_LIST";
    case REG_QWORD:
        return "REG_QWORD";
    default:
        return "REG_UNKNOWN";
    }
}

} // namespace ravelin
