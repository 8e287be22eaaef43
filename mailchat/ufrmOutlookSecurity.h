// Unit ufrmOutlookSecurity: the dialog "Outlook Sicherheit" of the mail page. It lists the
// file types whose attachments Outlook blocks (checked = blocked) and, on OK, writes the
// unchecked ones to the user's "Level1Remove" as one journal transaction.
#pragma once

#include "host/Nxsystem.h"
#include "toolkit/Controls.h"
#include "toolkit/FormLoader.h"

#include <set>
#include <string>
#include <vector>

namespace ravelin::mailchat {

// The types Outlook blocks: every version, and those added from version 12 on.
extern const std::vector<std::string> kLevel1Types;
extern const std::vector<std::string> kLevel1Types12;

// "Level1Remove" as a list: items upper-cased, blanks around and a leading dot dropped
// (Outlook reads "exe", "EXE" and ".exe" alike), empty items and repeats left out.
std::vector<std::string> ParseLevel1Remove(const std::string& value);
// The value written for the unchecked rows (in list order) and the items of the old value
// the list does not show (a user's own unblocked types, kept after them).
std::string ComposeLevel1Remove(const std::vector<std::string>& unchecked,
                                const std::vector<std::string>& unlisted);

class TfrmOutlookSecurity : public toolkit::TForm {
  public:
    explicit TfrmOutlookSecurity(toolkit::TComponent* owner);
    ~TfrmOutlookSecurity() override;

    const toolkit::Handlers& handlers() const { return handlers_; }
    const std::set<std::string>& boundHandlers() const { return bound_; }

    toolkit::TListView* lvFileTypes;
    toolkit::TImageList* ilSysSmall;
    toolkit::TButton *btnLevel1SelAll, *btnLevel1SelNone, *Button1, *Button2;

    void FormCreate(toolkit::TComponent&);
    void lvFileTypesItemChecked(toolkit::TComponent&, toolkit::TListItem& item);
    void btnLevel1SelAllClick(toolkit::TComponent&);
    void btnLevel1SelNoneClick(toolkit::TComponent&);
    void Button2Click(toolkit::TComponent&);

    void AddFileType(const std::string& extension);
    // Outlook's security key for the installed version.
    std::string SecurityKey() const;

  private:
    toolkit::Handlers handlers_;
    std::set<std::string> bound_;
    std::string lookup_;                // ";" + the stored types + ";"
    std::vector<std::string> unlisted_; // stored types without a row
};

extern TfrmOutlookSecurity* frmOutlookSecurity;
// The installed Outlook, read when the dialog is created.
extern TFileVersionIdentification VersionOutlook;
// The small system icons of the list (the open dialog's; nullptr when none is open).
extern toolkit::TImageList* ILSysSmall;

} // namespace ravelin::mailchat
