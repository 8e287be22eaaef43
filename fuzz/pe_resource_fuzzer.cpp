// String resources of screen savers and DLLs from other machines: whatever the headers say,
// the reader stays inside the file, ends, and reads the same from memory as from disk.
#include "host/machine/PeResources.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace ravelin::machine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const bool pe = isPeImage(bytes);
    static const int file = ::memfd_create("pe-fuzz", 0);
    if (file >= 0 && ::ftruncate(file, 0) == 0 &&
        ::pwrite(file, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size())) {
        const std::string path = "/proc/self/fd/" + std::to_string(file);
        for (unsigned id : {1u, 17u, 0xFFFFu}) {
            for (unsigned language : {kLangGerman, kLangEnglish}) {
                const auto fromMemory = readStringResource(bytes, id, language);
                const auto fromFile = readFileStringResource(path, id, language);
                if (fromFile.has_value() != pe) std::abort();
                if (fromMemory && (!fromFile || *fromFile != *fromMemory)) std::abort();
                if (!fromMemory && fromFile && !fromFile->empty()) std::abort();
            }
        }
    }
    return 0;
}
