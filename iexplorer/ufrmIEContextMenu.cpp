#include "iexplorer/ufrmIEContextMenu.h"

#include "host/Nxbrowser.h"
#include "host/Nxgraphics.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

namespace ravelin::iexplorer {

using namespace toolkit;

TfrmIEContextMenu* frmIEContextMenu = nullptr;

namespace {

const std::string kMenuExt = "Software\\Microsoft\\Internet Explorer\\MenuExt";
const std::string kMenuExtOff = "Software\\Microsoft\\Internet Explorer\\MenuExt-";

constexpr std::uint32_t kContextFlags[] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20};

// The name of one context, as the dialog lists it.
std::string contextName(std::uint32_t flag) {
    switch (flag) {
    case 0x01:
        return text::tr("Webseitenhintergründen");
    case 0x02:
        return text::tr("Bildern");
    case 0x04:
        return text::tr("Steuerelementen");
    case 0x08:
        return text::tr("Tabellen");
    case 0x10:
        return text::tr("Markierten Texten");
    default:
        return text::tr("Hyperlinks");
    }
}

using text::lower;

// The shipped script of a known extension, copied into the machine so that its browser
// finds it; returns the Windows path the entry names.
std::string installScript(const std::string& hostFile) {
    auto* m = CurrentMachine();
    const std::string appData = GetFolderLocStr(26);
    if (!m || appData.empty())
        throw RegistryAccessError(text::trf(
            "%1: Es gibt keinen Ordner, in den die Datei kopiert werden kann.", hostFile));
    const std::string folder = appData + "\\Deskforge\\Web";
    const std::string name = std::filesystem::path(hostFile).filename().string();
    const std::string hostFolder = m->files().hostPath(folder);
    m->files().requireWritable(hostFolder);
    CreateFolderJournalled(hostFolder); // each folder made is a journal row
    TJournalStream stream;
    if (!stream.LoadFromFile(hostFile))
        throw RegistryAccessError(text::trf("%1: Die Datei kann nicht gelesen werden.", hostFile));
    stream.SaveToFile(hostFolder + "/" + name);
    return folder + "\\" + name;
}

} // namespace

std::string ContextText(std::uint32_t contexts) {
    if (contexts == kAllContexts) return text::tr("Allen Elementen");
    std::vector<std::string> names;
    for (const std::uint32_t flag : kContextFlags)
        if (contexts & flag) names.push_back(contextName(flag));
    // Every context named is every context there is.
    if (names.size() == std::size(kContextFlags)) names = {text::tr("Allen Elementen")};
    if (names.empty()) names = {text::tr("Nie")};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
    std::string out;
    for (const auto& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

TfrmIEContextMenu::TfrmIEContextMenu(TComponent* owner) : PageBase(owner) {
    loadForm();
    PageControl1->InitActivePage(tsContextMenuEntries);
    Fire(OnCreate);
}

TfrmIEContextMenu::~TfrmIEContextMenu() {
    if (frmIEContextMenu == this) frmIEContextMenu = nullptr;
}

TIEMenuEntry& TfrmIEContextMenu::Entry(TListItem& item) {
    return *std::static_pointer_cast<TIEMenuEntry>(item.Object);
}

void TfrmIEContextMenu::FormCreate(TComponent&) {
    LoadGraphic(10000, *imgContextMenu, 17);
}

// The dialog's only tab is shown with it.
void TfrmIEContextMenu::FormShow(TComponent&) {
    tsContextMenuEntriesShow(*tsContextMenuEntries);
}

void TfrmIEContextMenu::addEntry(const std::string& folder, const std::string& name, bool ticked) {
    auto entry = std::make_shared<TIEMenuEntry>();
    entry->Key = folder + "\\" + name;
    entry->Name = name;
    entry->File = GetRegStringValueDef(HKEY_CURRENT_USER, entry->Key, "", "", {});
    int contexts = static_cast<int>(kAllContexts);
    GetRegIntValue(HKEY_CURRENT_USER, entry->Key, "Contexts", contexts,
                   static_cast<int>(kAllContexts), {});
    entry->Contexts = static_cast<std::uint32_t>(contexts);
    TListItem& item = ListView1->Add();
    item.Caption = StripAccelerator(name);
    item.Object = entry;
    item.SetChecked(ticked);
}

void TfrmIEContextMenu::tsContextMenuEntriesShow(TComponent&) {
    if (!firstShow(*tsContextMenuEntries)) return;
    ListView1->BeginUpdate();
    std::vector<std::string> names;
    EnumRegKeysEx(HKEY_CURRENT_USER, kMenuExt, names, {});
    for (const auto& name : names)
        addEntry(kMenuExt, name, true);
    names.clear();
    EnumRegKeysEx(HKEY_CURRENT_USER, kMenuExtOff, names, {});
    for (const auto& name : names)
        if (!KeyExist(HKEY_CURRENT_USER, kMenuExt + "\\" + name, {}))
            addEntry(kMenuExtOff, name, false);

    const std::string profile = NXTranslateFilePath(CurAppDataDir() + "[LANG]/iecontextmenu.ini");
    for (const auto& section : GetPPSectionNames(profile)) {
        const std::string file = GetPPString(profile, section, "File", "");
        const std::string file2 = GetPPString(profile, section, "File2", file);
        AddMenuEntryItem(file, file2, profile, section);
    }

    // Sorted by key name, ignoring case.
    struct Row {
        std::string caption;
        bool checked;
        std::shared_ptr<void> object;
    };
    std::vector<Row> rows;
    for (int i = 0; i < ListView1->Count(); ++i)
        rows.push_back(
            {ListView1->Item(i).Caption, ListView1->Item(i).Checked(), ListView1->Item(i).Object});
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return AnsiCompareText(std::static_pointer_cast<TIEMenuEntry>(a.object)->Name,
                               std::static_pointer_cast<TIEMenuEntry>(b.object)->Name) < 0;
    });
    ListView1->Clear();
    for (auto& row : rows) {
        TListItem& item = ListView1->Add();
        item.Caption = row.caption;
        item.Object = row.object;
        item.SetChecked(row.checked);
    }
    ListView1->EndUpdate();
    if (ListView1->Count() > 0) ListView1->Item(0).Focused = true;
    if (ListView1->CanFocus()) ListView1->SetFocus();
    lblDesc->SetCaption(text::tr("Nicht verfügbar"));
    lblContext->SetCaption("");
}

void TfrmIEContextMenu::GetKnownEntryData(const std::string&, std::string& friendlyName,
                                          std::string& desc, std::uint32_t& contexts,
                                          const std::string& section, const std::string& profile) {
    friendlyName = GetPPString(profile, section, "FriendlyName", "");
    desc = GetPPString(profile, section, "Desc", "");
    contexts = static_cast<std::uint32_t>(HexToDEC(GetPPString(profile, section, "Contexts", "1")));
}

void TfrmIEContextMenu::AddMenuEntryItem(const std::string& file, const std::string& file2,
                                         const std::string& profile, const std::string& section) {
    std::string friendlyName, desc;
    std::uint32_t contexts = 1;
    GetKnownEntryData(file, friendlyName, desc, contexts, section, profile);
    if (friendlyName.empty()) return; // no key name to create it under
    const std::string caption = StripAccelerator(friendlyName);
    // An empty file name would occur in every entry's file and claim the wrong one.
    auto occurs = [](const std::string& needle, const std::string& hay) {
        return !needle.empty() && hay.find(lower(needle)) != std::string::npos;
    };
    TListItem* match = nullptr;
    for (int i = 0; i < ListView1->Count(); ++i) {
        TListItem& item = ListView1->Item(i);
        const std::string installed = lower(Entry(item).File);
        if (occurs(file, installed) || occurs(file2, installed) || item.Caption == caption)
            match = &item;
    }
    if (!match) {
        std::string script = GetAppDataDir(true, false) + "Web/" + file2;
        if (file2.empty() || !NXFileExists(script))
            script = GetAppDataDir(false, false) + "Web/" + file2;
        if (file2.empty() || !NXFileExists(script)) return;
        auto entry = std::make_shared<TIEMenuEntry>();
        entry->Key = kMenuExt + "\\" + friendlyName;
        entry->Name = friendlyName;
        entry->File = script;
        match = &ListView1->Add();
        match->Object = entry;
        match->SetChecked(false);
    }
    TIEMenuEntry& entry = Entry(*match);
    // An installed entry keeps its own key name (switching it moves that very key); only a
    // new one is named after the known extension, which it already is.
    match->Caption = caption;
    entry.Desc = desc;
    entry.Contexts = contexts;
}

void TfrmIEContextMenu::ListView1SelectItem(TComponent&, TListItem&, bool) {
    TListItem* item = ListView1->Selected();
    if (!item) {
        lblDesc->SetCaption(text::tr("Nicht verfügbar"));
        lblContext->SetCaption("");
        return;
    }
    const TIEMenuEntry& entry = Entry(*item);
    lblDesc->SetCaption(entry.Desc.empty() ? text::tr("Nicht verfügbar") : entry.Desc);
    lblContext->SetCaption(ContextText(entry.Contexts));
}

void TfrmIEContextMenu::apply() {
    const std::string on = lower(kMenuExt + "\\");
    const std::string off = lower(kMenuExtOff + "\\");
    for (int i = 0; i < ListView1->Count(); ++i) {
        TListItem& item = ListView1->Item(i);
        TIEMenuEntry& entry = Entry(item);
        const std::string dir = lower(entry.Key.substr(0, entry.Key.rfind('\\') + 1));
        const std::string enabledKey = kMenuExt + "\\" + entry.Name;
        const std::string parkedKey = kMenuExtOff + "\\" + entry.Name;
        if (dir == on && !item.Checked()) {
            if (KeyExist(HKEY_CURRENT_USER, enabledKey, {})) {
                DeleteRegKey(HKEY_CURRENT_USER, parkedKey, {});
                MoveRegKey(HKEY_CURRENT_USER, enabledKey, HKEY_CURRENT_USER, parkedKey, {}, {});
            }
        } else if (dir == off && item.Checked()) {
            if (KeyExist(HKEY_CURRENT_USER, parkedKey, {})) {
                DeleteRegKey(HKEY_CURRENT_USER, enabledKey, {});
                MoveRegKey(HKEY_CURRENT_USER, parkedKey, HKEY_CURRENT_USER, enabledKey, {}, {});
            }
        } else if (item.Checked() && !KeyExist(HKEY_CURRENT_USER, parkedKey, {}) &&
                   !KeyExist(HKEY_CURRENT_USER, enabledKey, {})) {
            std::string file = entry.File;
            if (!file.empty() && file[0] == '/') file = installScript(file);
            SetRegStringValue(HKEY_CURRENT_USER, entry.Key, "", file, {});
            const std::uint32_t c = entry.Contexts;
            SetRegBinaryValue(HKEY_CURRENT_USER, entry.Key, "Contexts",
                              {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                               static_cast<std::uint8_t>(c >> 16),
                               static_cast<std::uint8_t>(c >> 24)},
                              {});
        }
    }
}

void TfrmIEContextMenu::btnOKClick(TComponent&) {
    {
        const JournalTransaction transaction;
        // A refused entry still closes the dialog; the error says what was not done.
        try {
            apply();
        } catch (...) {
            ModalResult = mrOk;
            throw;
        }
    }
    ModalResult = mrOk;
}

void TfrmIEContextMenu::btnCancelClick(TComponent&) {
    ModalResult = mrCancel;
}

} // namespace ravelin::iexplorer
