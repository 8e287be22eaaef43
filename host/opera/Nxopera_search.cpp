#include "host/opera/Nxopera_search.h"

#include "host/text/Text.h"

#include <algorithm>
#include <cstdlib>

namespace ravelin {

namespace {

using text::equalsIgnoringCase;

// "&Google" is shown as "Google"; "&&" is one "&".
std::string withoutAccelerators(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size()) {
            ++i;
        } else if (s[i] == '&') {
            continue;
        }
        out += s[i];
    }
    return out;
}

std::string hostOf(const std::string& url) {
    auto start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    auto end = url.find_first_of("/?#", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void read(const opera::OperaIniFile& doc, std::vector<TNXOpera_Search_Entry>& out) {
    for (const auto& section : doc.sections()) {
        if (section.rfind("Search Engine ", 0) != 0) continue;
        TNXOpera_Search_Entry e;
        std::string name;
        for (const auto& [key, value] : doc.entries(section)) {
            if (equalsIgnoringCase(key, "UNIQUEID"))
                e.UniqueID = value;
            else if (equalsIgnoringCase(key, "Name"))
                name = value;
            else if (equalsIgnoringCase(key, "URL"))
                e.URL = value;
            else if (equalsIgnoringCase(key, "Deleted"))
                e.Hidden = std::atoi(value.c_str()) != 0;
            else if (equalsIgnoringCase(key, "ID")) {
                char* end = nullptr;
                long id = std::strtol(value.c_str(), &end, 10);
                e.ID = (!value.empty() && *end == '\0' && id >= 0 && id <= 0x7FFFFFFF)
                           ? static_cast<int>(id)
                           : -1;
            }
        }
        if (e.UniqueID.empty() && e.ID < 0) continue; // nothing could ever select it
        e.Name = withoutAccelerators(name);
        if (e.Name.empty()) e.Name = hostOf(e.URL);
        if (e.Name.empty()) e.Name = e.Identifier();
        auto same = std::find_if(out.begin(), out.end(), [&](const TNXOpera_Search_Entry& o) {
            return !e.UniqueID.empty() ? equalsIgnoringCase(o.UniqueID, e.UniqueID)
                                       : (o.UniqueID.empty() && o.ID == e.ID);
        });
        if (same != out.end())
            *same = e;
        else
            out.push_back(e);
    }
}

} // namespace

int TNXOpera_Search_List::IndexOfID(const std::string& id) const {
    if (id.empty()) return -1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const auto& e = entries_[i];
        if ((e.ID >= 0 && std::to_string(e.ID) == id) ||
            (!e.UniqueID.empty() && equalsIgnoringCase(e.UniqueID, id)))
            return static_cast<int>(i);
    }
    return -1;
}

void TNXOpera_Search::Load() {
    std::vector<TNXOpera_Search_Entry> entries;
    errors_.clear();
    auto add = [&](const opera::OperaFile& f) {
        if (const auto* doc = f.doc()) {
            read(*doc, entries);
        } else if (!f.error().empty()) {
            errors_ += (errors_.empty() ? "" : "\n") + f.error();
        }
    };
    // The user's file, once it exists, holds the whole list as Opera saved it.
    if (user_.exists()) {
        add(user_);
    } else {
        for (const auto& d : defaults_)
            if (d.exists()) {
                add(d);
                break;
            }
    }
    list_.Clear();
    for (auto& e : entries)
        list_.Add(std::move(e));
}

} // namespace ravelin
