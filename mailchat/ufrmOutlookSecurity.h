// Unit ufrmOutlookSecurity: the dialog "Outlook Sicherheit" of the mail page. It lists the
// file types whose attachments Outlook blocks (checked = blocked) and, on OK, writes the
// unchecked ones to the user's "Level1Remove" as one journal transaction.
#pragma once

#include "forms/ufrmOutlookSecurityForm.h"
#include "host/Nxsystem.h"
#include "host/PageBase.h"

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

class TfrmOutlookSecurity : public PageBase<forms::TfrmOutlookSecurityForm> {
  public:
    explicit TfrmOutlookSecurity(toolkit::TComponent* owner);
    ~TfrmOutlookSecurity() override;

    // Handlers.
    void FormCreate(toolkit::TComponent&) override;
    void lvFileTypesItemChecked(toolkit::TComponent&, toolkit::TListItem& item) override;
    void btnLevel1SelAllClick(toolkit::TComponent&) override;
    void btnLevel1SelNoneClick(toolkit::TComponent&) override;
    void Button2Click(toolkit::TComponent&) override;

    void AddFileType(const std::string& extension);
    // Outlook's security key for the installed version.
    std::string SecurityKey() const;

  private:
    std::string lookup_;                // ";" + the stored types + ";"
    std::vector<std::string> unlisted_; // stored types without a row
};

extern TfrmOutlookSecurity* frmOutlookSecurity;
// The installed Outlook, read when the dialog is created.
extern TFileVersionIdentification VersionOutlook;
// The small system icons of the list (the open dialog's; nullptr when none is open).
extern toolkit::TImageList* ILSysSmall;

} // namespace ravelin::mailchat
