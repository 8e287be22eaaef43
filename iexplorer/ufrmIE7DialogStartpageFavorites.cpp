#include "iexplorer/ufrmIE7DialogStartpageFavorites.h"

#include "host/NXShellFuncs.h"
#include "host/Nxgraphics.h"
#include "host/Nxshell.h"
#include "host/Nxsystem.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"

#include <filesystem>
#include <memory>

namespace ravelin::iexplorer {

using namespace toolkit;

TfrmIE7StartpageFavorites* frmIE7StartpageFavorites = nullptr;

namespace {

using text::trimmed;

bool endsWithUrl(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& ch : tail)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return tail == ".url";
}

std::string lastComponent(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    const auto p = path.rfind('\\');
    return p == std::string::npos ? path : path.substr(p + 1);
}

} // namespace

TfrmIE7StartpageFavorites::TfrmIE7StartpageFavorites(TComponent* owner) : PageBase(owner) {
    loadForm();
    Fire(OnCreate);
}

TfrmIE7StartpageFavorites::~TfrmIE7StartpageFavorites() {
    if (frmIE7StartpageFavorites == this) frmIE7StartpageFavorites = nullptr;
}

TFavoriteData& TfrmIE7StartpageFavorites::DataOf(const TTreeNode& node) {
    return *std::static_pointer_cast<TFavoriteData>(node.Object);
}

void TfrmIE7StartpageFavorites::FormCreate(TComponent&) {
    LoadGraphic(17000, *imgStartpage, 17);
    CreateSystemImageList(*ilSysSmall, true);
    FillTreeView(GetFolderLocStr(6));
}

void TfrmIE7StartpageFavorites::FillTreeView(const std::string& folder) {
    tvFavorites->Clear();
    if (folder.empty()) return;
    auto* m = CurrentMachine();
    std::string windows = folder;
    if (!windows.empty() && windows.back() == '\\') windows.pop_back();
    const std::string host = m ? m->files().hostPath(windows) : std::string();
    TTreeNode& root = tvFavorites->AddRoot(lastComponent(module::ShellLongPathName(folder)));
    root.Object = std::make_shared<TFavoriteData>(TFavoriteData{folder, host});
    setIcon(root, folder, true);
    if (!host.empty()) scan(windows, host, root);
    root.Expanded = true;
    if (tvFavorites->Count() > 0) {
        tvFavorites->SetSelected(tvFavorites->Roots().front().get());
        tvFavorites->Sort();
    }
}

void TfrmIE7StartpageFavorites::scan(const std::string& folder, const std::string& hostFolder,
                                     TTreeNode& into) {
    auto* m = CurrentMachine();
    if (!m) return;
    // The folder is walked on disk; the Windows path beside each entry is only for showing
    // (a Linux name may hold a backslash, which a Windows path would read as a folder).
    constexpr unsigned kHidden = 0x2, kSystem = 0x4;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(hostFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        // Links are not followed: what lies outside the machine is no favourite.
        if (it->is_symlink(typeError)) continue;
        const std::string name = it->path().filename().string();
        const std::string path = folder + "\\" + name;
        const std::string host = it->path().string();
        if (it->is_directory(typeError)) {
            TTreeNode& node = into.AddChild(name);
            node.Object = std::make_shared<TFavoriteData>(TFavoriteData{path, host});
            setIcon(node, path, true);
            scan(path, host, node);
        } else if (it->is_regular_file(typeError) && endsWithUrl(name) &&
                   (m->files().attributes(host) & (kHidden | kSystem)) == 0) {
            TTreeNode& node = into.AddChild(name.substr(0, name.size() - 4));
            node.Object = std::make_shared<TFavoriteData>(TFavoriteData{path, host});
            setIcon(node, path, false);
        }
    }
}

// The node shows the shell's small icon of its path, selected or not.
void TfrmIE7StartpageFavorites::setIcon(TTreeNode& node, const std::string& path, bool folder) {
    constexpr std::uint32_t kDirectory = 0x10, kNormal = 0x80;
    TSHFileInfo info;
    if (SHGetFileInfoWrapper(path, folder ? kDirectory : kNormal, info))
        node.ImageIndex = node.SelectedIndex = info.iIcon;
}

int TfrmIE7StartpageFavorites::tvFavoritesCompare(TComponent&, TTreeNode& a, TTreeNode& b) {
    const bool ua = endsWithUrl(DataOf(a).Path), ub = endsWithUrl(DataOf(b).Path);
    if (ua == ub) return 0;
    return ua ? 1 : -1;
}

void TfrmIE7StartpageFavorites::tvFavoritesChange(TComponent&, TTreeNode* node) {
    lblHiddenURL->Caption = "";
    if (!node || !node->Object) return;
    const std::string& path = DataOf(*node).Path;
    if (endsWithUrl(path))
        lblHiddenURL->Caption = GetPPString(DataOf(*node).HostPath, "InternetShortcut", "URL", "");
}

void TfrmIE7StartpageFavorites::tvFavoritesMouseDown(TComponent&, TMouseButton button, int x,
                                                     int y) {
    if (button != TMouseButton::mbRight) return;
    if (TTreeNode* node = tvFavorites->GetNodeAt(x, y)) {
        tvFavorites->SetSelected(node);
        tvFavorites->SetFocus();
    }
}

void TfrmIE7StartpageFavorites::tvFavoritesDblClick(TComponent& sender) {
    if (!lblHiddenURL->Caption.empty()) btnOKClick(sender);
}

void TfrmIE7StartpageFavorites::btnOKClick(TComponent&) {
    ModalResult = mrNone;
    lblHiddenURL->Caption = trimmed(lblHiddenURL->Caption, " ");
    if (lblHiddenURL->Caption.empty()) {
        Application().MessageBox(
            text::tr("Bitte wählen Sie zuerst einen Favoriten aus der Liste aus."),
            text::tr("Fehlende Auswahl"), MB_OK | MB_ICONWARNING);
        return;
    }
    if (lblHiddenURL->Caption.find("://") == std::string::npos)
        lblHiddenURL->Caption = "http://" + lblHiddenURL->Caption;
    FAccepted = true;
    ModalResult = mrOk;
}

void TfrmIE7StartpageFavorites::btnCancelClick(TComponent&) {
    FAccepted = false;
    ModalResult = mrCancel;
}

bool ShowAddIE7StartpageFromFavorites(TStartPage& page) {
    page = TStartPage{};
    auto dialog = std::make_unique<TfrmIE7StartpageFavorites>(nullptr);
    dialog->Caption = text::tr("Startseite aus Favoriten hinzufügen");
    dialog->lblIntroText->Caption =
        text::tr("Wählen Sie die hinzuzufügende Startseite aus der Liste der Favoriten aus.");
    dialog->lblHiddenURL->Caption = "";
    dialog->lblHiddenURL->Visible = false;
    frmIE7StartpageFavorites = dialog.get();
    dialog->ShowModal();
    frmIE7StartpageFavorites = nullptr;
    if (!dialog->FAccepted) return false;
    page.URL = dialog->lblHiddenURL->Caption;
    return true;
}

} // namespace ravelin::iexplorer
