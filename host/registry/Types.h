// Vocabulary shared by the registry engine and its API: root keys, value types, Windows
// error codes, the option set, and the errors that leave the engine as exceptions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravelin {

using HKEY = std::uint32_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

using DWORD = std::uint32_t;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_RESOURCE_LIST = 8;
inline constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr DWORD REG_QWORD = 11;

// Results are Windows error codes.
inline constexpr int ERROR_SUCCESS = 0;
inline constexpr int ERROR_FILE_NOT_FOUND = 2;
inline constexpr int ERROR_ACCESS_DENIED = 5;
inline constexpr int ERROR_INVALID_DATA = 13;
inline constexpr int ERROR_INVALID_PARAMETER = 87;
inline constexpr int ERROR_MORE_DATA = 234;
inline constexpr int ERROR_NO_MORE_ITEMS = 259;
inline constexpr int ERROR_BADDB = 1009;
inline constexpr int ERROR_KEY_DELETED = 1018;

// The option set that ends every registry call: members 0 to 6.
//   0  the 64-bit view          1  the 32-bit view (Wow6432Node)
//   2  the native view, whatever the process
//   6  sensitive data: never stored in the journal or printed
class RegOptions {
  public:
    constexpr RegOptions() = default;
    constexpr RegOptions(std::initializer_list<int> members) {
        for (int m : members)
            if (m >= 0 && m < 8) bits_ |= static_cast<std::uint8_t>(1u << m);
    }
    constexpr bool has(int member) const { return (bits_ >> member) & 1u; }
    constexpr bool sensitive() const { return has(6); }
    constexpr std::uint8_t bits() const { return bits_; }

  private:
    std::uint8_t bits_ = 0;
};

struct RegistryValue {
    std::string name; // UTF-8; empty is the key's default value
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data; // exactly as Windows stores it (strings in UTF-16LE)
};

// A registry file that cannot be read: names the file and the line (0 when the
// format has no lines).
class RegistryFormatError : public std::runtime_error {
  public:
    RegistryFormatError(std::string file, unsigned line, const std::string& what)
        : std::runtime_error(line ? file + ":" + std::to_string(line) + ": " + what
                                  : file + ": " + what),
          file_(std::move(file)), line_(line) {}
    const std::string& file() const { return file_; }
    unsigned line() const { return line_; }

  private:
    std::string file_;
    unsigned line_;
};

// A machine that may not be written now (locked, or its wineserver is running), or a
// file that could not be saved.
class RegistryAccessError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Helpers for building and reading value data.
std::vector<std::uint8_t> makeStringData(const std::string& utf8); // UTF-16LE with NUL
std::vector<std::uint8_t> makeMultiStringData(const std::vector<std::string>& items);
std::vector<std::uint8_t> makeDwordData(DWORD v);
std::vector<std::uint8_t> makeQwordData(std::uint64_t v);
// A string value's text up to its first NUL (also for data without a terminator).
std::string stringFromData(const std::vector<std::uint8_t>& data);
std::vector<std::string> multiStringFromData(const std::vector<std::uint8_t>& data);
const char* typeName(DWORD type); // "REG_SZ", ...; "REG_UNKNOWN" otherwise

} // namespace ravelin
