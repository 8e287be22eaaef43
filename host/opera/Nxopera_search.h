// Unit Nxopera_search: the search engines of search.ini ([Search Engine N] sections): the
// user's file, which holds the whole list once Opera has saved it, else the installation's.
// A repeated UNIQUEID counts once, its last entry winning.
#pragma once

#include "host/opera/OperaFile.h"

#include <string>
#include <vector>

namespace ravelin {

struct TNXOpera_Search_Entry {
    std::string Name;     // display name: accelerator marks removed, else the address's host
    bool Hidden = false;  // deleted by the user
    int ID = -1;          // numeric identifier of older files, -1 when there is none
    std::string UniqueID; // the 32-hex-digit identifier
    std::string URL;
    // The identifier the search-type preferences hold: the numeric one when there is one.
    std::string Identifier() const { return ID >= 0 ? std::to_string(ID) : UniqueID; }
};

class TNXOpera_Search_List {
  public:
    int Count() const { return static_cast<int>(entries_.size()); }
    const TNXOpera_Search_Entry& Get(int index) const {
        return entries_.at(static_cast<std::size_t>(index));
    }
    // The index of the engine with that identifier (numeric or string, case ignored); -1.
    int IndexOfID(const std::string& id) const;
    void Clear() { entries_.clear(); }
    void Add(TNXOpera_Search_Entry entry) { entries_.push_back(std::move(entry)); }

  private:
    std::vector<TNXOpera_Search_Entry> entries_;
};

class TNXOpera_Search {
  public:
    TNXOpera_Search() = default;
    TNXOpera_Search(opera::OperaFile user, std::vector<opera::OperaFile> defaults)
        : user_(std::move(user)), defaults_(std::move(defaults)) {}
    // Reads the files again; a malformed file is left out and named in Errors().
    void Load();
    TNXOpera_Search_List& List() { return list_; }
    const std::string& Errors() const { return errors_; }

  private:
    opera::OperaFile user_;
    std::vector<opera::OperaFile> defaults_;
    TNXOpera_Search_List list_;
    std::string errors_;
};

} // namespace ravelin
