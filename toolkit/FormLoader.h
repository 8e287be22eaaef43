// Declarative forms: one JSON description per form, frame or dialog, loaded into
// components. The loader is strict: an unknown type, an unknown property, a value of the
// wrong kind, a duplicate name or an unknown handler is an error naming its JSON path.
// Handlers are bound by name from the table a page registers.
#pragma once

#include "toolkit/Controls.h"

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <set>
#include <stdexcept>
#include <string>
#include <variant>

namespace ravelin::toolkit {

class FormError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The handlers a page offers, by name.
class Handlers {
  public:
    using Handler =
        std::variant<TNotifyEvent, TKeyPressEvent, TMouseEvent, TLVChangeEvent, TLVSelectItemEvent,
                     TLVCheckedItemEvent, TLVCompareEvent, TTVChangedEvent, TTVCompareEvent>;
    void add(const std::string& name, Handler handler) { table_[name] = std::move(handler); }
    const Handler* find(const std::string& name) const {
        auto it = table_.find(name);
        return it == table_.end() ? nullptr : &it->second;
    }
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& [n, h] : table_)
            out.insert(n);
        return out;
    }

  private:
    std::map<std::string, Handler> table_;
};

// Loads a form description (JSON text) into `form`, which becomes its root component.
// Returns the names of the handlers the description binds.
std::set<std::string> LoadForm(TForm& form, const std::string& json, const std::string& fileName,
                               const Handlers& handlers);

// Loads a frame's own description (root type TFrame) into `frame`: its components are owned
// by the frame and bound to the frame's handlers. The page then places the frame
// (SetParent, Left, Top) and may rename it.
std::set<std::string> LoadFrame(TFrame& frame, const std::string& json, const std::string& fileName,
                                const Handlers& handlers);

// The component types the loader knows.
std::set<std::string> KnownComponentTypes();

} // namespace ravelin::toolkit
