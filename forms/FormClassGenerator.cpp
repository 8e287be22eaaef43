// Writes the typed form class of one form description: a class deriving from TForm or
// TFrame with every named component as a typed member and every handler the description
// binds as a pure virtual member of the signature its event requires. A page derives from
// it, so a handler the form names but the page lacks, or a page handler the form does not
// name (marked override), is a compile error instead of a failure at load time.
//
//   ravelin_formgen FORM.json OUT.h
//
// A description the class cannot be made from (an unknown type or event, one handler bound
// to events of different types, a name that is no C++ identifier) is an error naming the
// file and the JSON path; nothing is written then.
#include <nlohmann/json.hpp>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

class GeneratorError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An event type of the toolkit: its name and the handler's parameters and result.
struct EventType {
    const char* name;
    const char* result;
    const char* parameters; // after "toolkit::TComponent& sender"
    const char* arguments;  // the parameters' names, forwarded by the binding
    const char* fallback;   // what a binding returns once the page is gone
    const char* types;      // the parameters without names, for a handler that does nothing
};

const EventType kNotify{"TNotifyEvent", "void", "", "", "", ""};
const EventType kKeyPress{"TKeyPressEvent", "void", ", char16_t& key", ", key", "", ", char16_t&"};
const EventType kMouse{"TMouseEvent",    "void", ", toolkit::TMouseButton button, int x, int y",
                       ", button, x, y", "",     ", toolkit::TMouseButton, int, int"};
const EventType kLVChange{
    "TLVChangeEvent", "void", ", toolkit::TListItem& item, toolkit::TItemChange change",
    ", item, change", "",     ", toolkit::TListItem&, toolkit::TItemChange"};
const EventType kLVSelectItem{
    "TLVSelectItemEvent", "void", ", toolkit::TListItem& item, bool selected",
    ", item, selected",   "",     ", toolkit::TListItem&, bool"};
const EventType kLVCheckedItem{
    "TLVCheckedItemEvent",  "void", ", toolkit::TListItem& item", ", item", "",
    ", toolkit::TListItem&"};
const EventType kLVCompare{
    "TLVCompareEvent",
    "void",
    ", toolkit::TListItem& item1, toolkit::TListItem& item2, std::intptr_t data, int& compare",
    ", item1, item2, data, compare",
    "",
    ", toolkit::TListItem&, toolkit::TListItem&, std::intptr_t, int&"};
const EventType kTVChanged{"TTVChangedEvent", "void", ", toolkit::TTreeNode* node",
                           ", node",          "",     ", toolkit::TTreeNode*"};
const EventType kTVCompare{
    "TTVCompareEvent", "int", ", toolkit::TTreeNode& a, toolkit::TTreeNode& b",
    ", a, b",          "0",   ", toolkit::TTreeNode&, toolkit::TTreeNode&"};

// The component types the loader makes, each with its base (the events of a base apply to
// its descendants) and the events it adds. Mirrors the loader's binding of "onX" keys.
struct ComponentType {
    const char* base; // "" for TComponent
    std::map<std::string, const EventType*> events;
};

const std::map<std::string, ComponentType>& componentTypes() {
    static const std::map<std::string, ComponentType> kTypes = {
        {"TControl",
         {"",
          {{"onClick", &kNotify},
           {"onEnter", &kNotify},
           {"onExit", &kNotify},
           {"onDblClick", &kNotify},
           {"onMouseEnter", &kNotify},
           {"onMouseLeave", &kNotify},
           {"onMouseDown", &kMouse}}}},
        {"TWinControl", {"TControl", {}}},
        {"TForm",
         {"TWinControl",
          {{"onCreate", &kNotify},
           {"onShow", &kNotify},
           {"onDestroy", &kNotify},
           {"onClose", &kNotify}}}},
        {"TFrame", {"TWinControl", {}}},
        {"TLabel", {"TControl", {}}},
        {"TPanel", {"TWinControl", {}}},
        {"TGroupBox", {"TWinControl", {}}},
        {"TButton", {"TWinControl", {}}},
        {"TSpeedButton", {"TControl", {}}},
        {"TCheckBox", {"TWinControl", {}}},
        {"TNXCheckBox", {"TCheckBox", {}}},
        {"TRadioButton", {"TWinControl", {}}},
        {"TEdit", {"TWinControl", {{"onChange", &kNotify}, {"onKeyPress", &kKeyPress}}}},
        {"TMemo", {"TEdit", {}}},
        {"TUpDownEdit", {"TWinControl", {{"onChange", &kNotify}}}},
        {"TTrackBar", {"TWinControl", {{"onChange", &kNotify}}}},
        {"TNXTrackBar", {"TTrackBar", {}}},
        {"TComboBox",
         {"TWinControl",
          {{"onChange", &kNotify}, {"onSelect", &kNotify}, {"onKeyPress", &kKeyPress}}}},
        {"TListView",
         {"TWinControl",
          {{"onChange", &kLVChange},
           {"onSelectItem", &kLVSelectItem},
           {"onItemChecked", &kLVCheckedItem},
           {"onCompare", &kLVCompare}}}},
        {"TExListView", {"TListView", {}}},
        {"TBigCheckListBox", {"TWinControl", {{"onClickCheck", &kNotify}}}},
        {"TTreeView",
         {"TWinControl",
          {{"onChange", &kTVChanged}, {"onCompare", &kTVCompare}, {"onDeletion", &kTVChanged}}}},
        {"TImage", {"TControl", {}}},
        {"TNXPNGImage", {"TImage", {}}},
        {"TShape", {"TControl", {}}},
        {"TTabSheet", {"TWinControl", {{"onShow", &kNotify}, {"onHide", &kNotify}}}},
        {"TPageControl", {"TWinControl", {{"onChange", &kNotify}}}},
        {"TImageList", {"", {}}},
        {"TTimer", {"", {{"onTimer", &kNotify}}}},
        {"TMenuItem", {"", {{"onClick", &kNotify}}}},
        {"TPopupMenu", {"", {{"onPopup", &kNotify}}}},
        {"TActionList", {"", {}}},
        {"TAction", {"", {{"onExecute", &kNotify}, {"onUpdate", &kNotify}}}},
        {"TOpenDialog", {"", {}}},
        {"TColorDialog", {"", {}}},
    };
    return kTypes;
}

bool isIdentifier(const std::string& s) {
    static const std::set<std::string> kKeywords = {
        "alignas",  "alignof", "and",     "asm",       "auto",      "bool",     "break",
        "case",     "catch",   "char",    "class",     "const",     "continue", "default",
        "delete",   "do",      "double",  "else",      "enum",      "explicit", "export",
        "extern",   "false",   "float",   "for",       "friend",    "goto",     "if",
        "inline",   "int",     "long",    "mutable",   "namespace", "new",      "not",
        "operator", "or",      "private", "protected", "public",    "register", "return",
        "short",    "signed",  "sizeof",  "static",    "struct",    "switch",   "template",
        "this",     "throw",   "true",    "try",       "typedef",   "typename", "union",
        "unsigned", "using",   "virtual", "void",      "volatile",  "while",    "xor"};
    if (s.empty() || kKeywords.count(s)) return false;
    if (!(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char ch : s)
        if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '_')) return false;
    return true;
}

struct Member {
    std::string type, name;
};

struct Handler {
    const EventType* event;
    std::string firstPath; // where it is first bound
};

class Form {
  public:
    Form(std::string file, const Json& root) : file_(std::move(file)) {
        if (!root.is_object()) fail("", "the description must be a JSON object");
        rootType_ = text(root, "type", "");
        if (rootType_ != "TForm" && rootType_ != "TFrame")
            fail("/type", "the root component must be a TForm or a TFrame");
        rootName_ = text(root, "name", "");
        if (!isIdentifier(rootName_)) fail("/name", "\"" + rootName_ + "\" is no C++ identifier");
        walk(root, "", true);
    }

    std::string header(const std::string& unit) const {
        const std::string cls = "T" + rootName_ + "Form";
        const std::string loader = rootType_ == "TForm" ? "LoadForm" : "LoadFrame";
        std::ostringstream h;
        h << "// Generated from forms/" << unit << ".json; do not edit.\n"
          << "// The typed form class of unit " << unit << ": its components and the handlers\n"
          << "// its description binds. The page T" << rootName_
          << " derives from it and defines every handler.\n"
          << "#pragma once\n\n"
          << "#include \"forms/EmbeddedForms.h\"\n"
          << "#include \"toolkit/Controls.h\"\n"
          << "#include \"toolkit/FormLoader.h\"\n\n"
          << "#include <cstdint>\n#include <set>\n#include <string>\n\n"
          << "namespace ravelin::forms {\n\n"
          << "class " << cls << " : public toolkit::" << rootType_ << " {\n"
          << "  public:\n"
          << "    static constexpr const char* kUnit = \"" << unit << "\";\n"
          << "    static constexpr const char* kFile = \"forms/" << unit << ".json\";\n\n"
          << "    // The components, in the order of the description.\n";
        for (const auto& m : members_)
            h << "    toolkit::" << m.type << "* " << m.name << " = nullptr;\n";
        h << "\n    // The handlers the description binds; the page defines each (override).\n";
        for (const auto& [name, handler] : handlers_)
            h << "    virtual " << handler.event->result << " " << name
              << "(toolkit::TComponent& sender" << handler.event->parameters << ") = 0;\n";
        h << "\n    // The names of the handlers the description binds.\n"
          << "    static const std::set<std::string>& HandlerNames() {\n"
          << "        static const std::set<std::string> names = {";
        bool first = true;
        for (const auto& [name, handler] : handlers_) {
            h << (first ? "" : ", ") << "\"" << name << "\"";
            first = false;
        }
        h << "};\n        return names;\n    }\n\n"
          << "    // A handler table of the right types that does nothing: loads the description\n"
          << "    // without a page, to check it against the loader.\n"
          << "    static toolkit::Handlers HandlerStubs() {\n"
          << "        toolkit::Handlers handlers;\n";
        for (const auto& [name, handler] : handlers_)
            h << "        handlers.add(\"" << name << "\", toolkit::" << handler.event->name
              << "([](toolkit::TComponent&" << handler.event->types << ") "
              << (std::string(handler.event->result) == "void"
                      ? std::string("{}")
                      : std::string("{ return ") + handler.event->fallback + "; }")
              << "));\n";
        h << "        return handlers;\n    }\n\n"
          << "    ~" << cls << "() override { eventsBound_ = false; }\n"
          << "    " << cls << "(const " << cls << "&) = delete;\n"
          << "    " << cls << "& operator=(const " << cls << "&) = delete;\n\n"
          << "  protected:\n"
          << "    explicit " << cls << "(toolkit::TComponent* owner) : toolkit::" << rootType_
          << "(owner) {}\n\n"
          << "    // Loads the description, binds each handler to its virtual and fills the\n"
          << "    // members. The page's constructor calls it first: the handlers are the page's.\n"
          << "    void loadForm() {\n"
          << "        toolkit::Handlers handlers;\n";
        for (const auto& [name, handler] : handlers_) {
            const bool returns = std::string(handler.event->result) != "void";
            h << "        handlers.add(\"" << name << "\", toolkit::" << handler.event->name
              << "([this](toolkit::TComponent& sender" << handler.event->parameters << ") {\n"
              << "            "
              << (returns ? std::string("return eventsBound_ ? ")
                          : std::string("if (eventsBound_) "))
              << name << "(sender" << handler.event->arguments << ")"
              << (returns ? std::string(" : ") + handler.event->fallback : std::string()) << ";\n"
              << "        }));\n";
        }
        h << "        toolkit::" << loader << "(*this, FormText(kUnit), kFile, handlers);\n";
        for (const auto& m : members_)
            h << "        " << m.name << " = &component<toolkit::" << m.type << ">(\"" << m.name
              << "\");\n";
        h << "    }\n\n"
          << "  private:\n"
          << "    template <typename T> T& component(const char* name) const {\n"
          << "        auto* c = dynamic_cast<T*>(FindComponent(name));\n"
          << "        if (!c)\n"
          << "            throw toolkit::FormError(std::string(kFile) + \": no component \" + name "
             "+\n"
          << "                                     \" of its type\");\n"
          << "        return *c;\n"
          << "    }\n\n"
          << "    // Off once the page is gone: what the toolkit still fires while the components\n"
          << "    // are freed reaches no handler.\n"
          << "    bool eventsBound_ = true;\n"
          << "};\n\n"
          << "namespace units {\nusing " << unit << " = " << cls << ";\n}\n\n"
          << "} // namespace ravelin::forms\n";
        return h.str();
    }

  private:
    [[noreturn]] void fail(const std::string& path, const std::string& what) const {
        throw GeneratorError(file_ + ": " + (path.empty() ? "/" : path) + ": " + what);
    }

    std::string text(const Json& j, const char* key, const std::string& path) const {
        const std::string at = path + "/" + key;
        if (!j.contains(key)) fail(path, std::string("a component needs a \"") + key + "\"");
        if (!j[key].is_string()) fail(at, "must be a string");
        return j[key].get<std::string>();
    }

    const EventType* eventOf(const std::string& type, const std::string& key) const {
        for (std::string t = type; !t.empty();) {
            const ComponentType& ct = componentTypes().at(t);
            if (auto it = ct.events.find(key); it != ct.events.end()) return it->second;
            t = ct.base;
        }
        return nullptr;
    }

    void walk(const Json& c, const std::string& path, bool root) {
        if (!c.is_object()) fail(path, "a component must be a JSON object");
        const std::string type = text(c, "type", path);
        if (!componentTypes().count(type) || type == "TControl" || type == "TWinControl")
            fail(path + "/type", "unknown component type \"" + type + "\"");
        const std::string name = text(c, "name", path);
        if (!root) {
            if (!isIdentifier(name)) fail(path + "/name", "\"" + name + "\" is no C++ identifier");
            if (name == rootName_ || !names_.insert(name).second)
                fail(path + "/name", "the name \"" + name + "\" is used twice");
            members_.push_back({type, name});
        }
        for (auto it = c.begin(); it != c.end(); ++it) {
            const std::string& key = it.key();
            if (key.size() <= 2 || key.compare(0, 2, "on") != 0) continue;
            const std::string at = path + "/" + key;
            const EventType* event = eventOf(type, key);
            if (!event) fail(at, "a " + type + " has no event \"" + key + "\"");
            if (!it.value().is_string()) fail(at, "must be a string");
            const std::string handler = it.value().get<std::string>();
            if (!isIdentifier(handler))
                fail(at, "the handler name \"" + handler + "\" is no C++ identifier");
            if (names_.count(handler) || handler == rootName_)
                fail(at, "the handler name \"" + handler + "\" is also a component's name");
            auto [known, added] = handlers_.emplace(handler, Handler{event, at});
            if (!added && known->second.event != event)
                fail(at, "the handler \"" + handler + "\" is bound to a " +
                             known->second.event->name + " at " + known->second.firstPath +
                             " and to a " + event->name + " here: one handler, one signature");
        }
        if (c.contains("children")) {
            const Json& children = c["children"];
            if (!children.is_array()) fail(path + "/children", "must be a list of components");
            for (std::size_t i = 0; i < children.size(); ++i)
                walk(children[i], path + "/children/" + std::to_string(i), false);
        }
        // A handler named like a component declared later is caught here as well.
        for (const auto& [handler, info] : handlers_)
            if (names_.count(handler))
                fail(info.firstPath,
                     "the handler name \"" + handler + "\" is also a component's name");
    }

    std::string file_;
    std::string rootType_, rootName_;
    std::set<std::string> names_;
    std::vector<Member> members_;
    std::map<std::string, Handler> handlers_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: ravelin_formgen FORM.json OUT.h\n";
        return 2;
    }
    const std::filesystem::path input = argv[1], output = argv[2];
    const std::string unit = input.stem().string();
    const std::string shown = "forms/" + input.filename().string();
    try {
        std::ifstream in(input, std::ios::binary);
        if (!in) throw GeneratorError(shown + ": cannot be read");
        Json root;
        try {
            root = Json::parse(in);
        } catch (const Json::parse_error& e) {
            throw GeneratorError(shown + ": not valid JSON: " + e.what());
        }
        const std::string text = Form(shown, root).header(unit);
        // Written only when it changes, so that an unchanged form rebuilds no page.
        std::ifstream old(output, std::ios::binary);
        std::stringstream current;
        if (old) current << old.rdbuf();
        if (old && current.str() == text) return 0;
        old.close();
        std::filesystem::create_directories(output.parent_path());
        const std::filesystem::path temp = output.string() + ".tmp";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out << text;
            if (!out.flush()) throw GeneratorError(output.string() + ": cannot be written");
        }
        std::filesystem::rename(temp, output);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
        return 1;
    }
}
