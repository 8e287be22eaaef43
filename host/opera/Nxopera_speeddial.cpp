#include "host/opera/Nxopera_speeddial.h"

#include <algorithm>
#include <cstdlib>

namespace ravelin {

int TNXOpera_SpeedDial::read(const char* key) const {
    const auto v = file_.get("Size", key);
    if (!v || v->empty()) return kDefault;
    char* end = nullptr;
    const long n = std::strtol(v->c_str(), &end, 10);
    if (end == v->c_str()) return kDefault;
    return static_cast<int>(std::clamp<long>(n, kMin, kMax));
}

void TNXOpera_SpeedDial::write(const char* key, int value) {
    file_.set("Size", key, std::to_string(std::clamp(value, kMin, kMax)));
}

} // namespace ravelin
