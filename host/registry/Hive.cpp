#include "host/registry/Hive.h"

namespace ravelin::registry {

namespace {
void loadTree(Key& key) {
    key.ensureValues();
    for (const auto& sub : key.subkeys())
        loadTree(*sub);
}
} // namespace

void Hive::loadAll() {
    loadTree(*root_);
}

} // namespace ravelin::registry
