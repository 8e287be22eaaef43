#include "network/ufrmTCPIP.h"

#include "host/Controlhelper.h"
#include "host/Nxgraphics.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace ravelin::network {

using namespace toolkit;

TfrmTCPIP* frmTCPIP = nullptr;
std::string RegKey_TCPIP;

namespace {

constexpr const char* kInterfaces =
    "System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";
constexpr std::uint32_t kBlue = 0xFF0000; // pure blue (BGR)
constexpr std::uint32_t kNavy = 0x800000;

// An integer from text; "not a number" counts as nothing.
std::optional<long long> parseInteger(const std::string& text) {
    long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

// Tcp1323Opts is a DWORD on NT but a string in the 9x family's VxD\MSTCP key. It is read
// and written as the type stored there, so that a 9x "0" never turns into DWORD 1 (which
// would switch window scaling on). Unreadable means 3, as the stack assumes.
struct Tcp1323Opts {
    DWORD bits = 3;
    bool asString = false;
};

Tcp1323Opts readTcp1323Opts(bool nt) {
    Tcp1323Opts opts;
    opts.asString = !nt;
    std::string text;
    DWORD bits = 0;
    if (GetRegStringValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "Tcp1323Opts", text, {}) ==
        ERROR_SUCCESS) {
        opts.asString = true;
        auto parsed = parseInteger(text);
        if (parsed && *parsed >= 0 && *parsed <= 0xFFFFFFFFLL)
            opts.bits = static_cast<DWORD>(*parsed);
    } else if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "Tcp1323Opts", bits, {}) ==
               ERROR_SUCCESS) {
        opts.asString = false;
        opts.bits = bits;
    }
    return opts;
}

// The 9x family keeps the MTU as a string per adapter: "MaxMTU" under Class\NetTrans on the
// first version, "IPMTU" under Class\Net (adapters with a driver description) on the later
// ones. Each entry is the adapter's key and the value's name.
std::vector<std::pair<std::string, std::string>> adapterMTUValues9x(int os) {
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<std::string> keys;
    if (os == 1) {
        const std::string base = "System\\CurrentControlSet\\Services\\Class\\NetTrans";
        EnumRegKeysEx(HKEY_LOCAL_MACHINE, base, keys, {});
        for (const auto& a : keys)
            out.emplace_back(base + "\\" + a, "MaxMTU");
    } else if (os == 3 || os == 4) {
        const std::string base = "System\\CurrentControlSet\\Services\\Class\\Net";
        EnumRegKeysEx(HKEY_LOCAL_MACHINE, base, keys, {});
        for (const auto& a : keys) {
            std::string desc;
            if (GetRegStringValue(HKEY_LOCAL_MACHINE, base + "\\" + a, "DriverDesc", desc, {}) ==
                ERROR_SUCCESS)
                out.emplace_back(base + "\\" + a, "IPMTU");
        }
    }
    return out;
}

} // namespace

TfrmTCPIP::TfrmTCPIP(TComponent* owner) : PageBase(owner) {
    loadForm();
    Fire(OnCreate);
}

TfrmTCPIP::~TfrmTCPIP() {
    if (frmTCPIP == this) frmTCPIP = nullptr;
}

bool TfrmTCPIP::nt() const {
    return GetPlatformId() != 1;
}

void TfrmTCPIP::FormCreate(TComponent&) {
    LoadGraphic(11000, *imgMTU, 17);
    LoadGraphic(11001, *imgRWin, 17);
    LoadGraphic(11002, *imgTTL, 17);
    udeMTU->Left = lblMTU1->Left + lblMTU1->Width + 6;
    lblMTU2->Left = udeMTU->Left + udeMTU->Width + 6;
    RegKey_TCPIP = nt() ? "System\\CurrentControlSet\\Services\\Tcpip\\Parameters"
                        : "System\\CurrentControlSet\\Services\\VxD\\MSTCP";
    readSettings();
}

// Shows what the machine holds; nothing counts as changed afterwards.
void TfrmTCPIP::readSettings() {
    const JournalDiscarding discarding;
    const int os = CurrentOS();

    chkMTUDiscovery->SetChecked(GetRegSetting(HKEY_LOCAL_MACHINE, RegKey_TCPIP,
                                              nt() ? "EnablePMTUDiscovery" : "PMTUDiscovery", true,
                                              {}));
    chkRWinSACK->SetChecked(GetRegSetting(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "SackOpts", true, {}));
    chkRWinTimeStamp->SetChecked((readTcp1323Opts(nt()).bits & 2) != 0);

    // The MTU: the first adapter with a usable value decides.
    long long mtu = 0;
    auto consider = [&](long long v) {
        if (v > 65535) v = 0;
        if (v > 0 && mtu == 0) mtu = v;
    };
    std::vector<std::string> adapters;
    if (!nt()) {
        for (const auto& [key, name] : adapterMTUValues9x(os)) {
            if (mtu) break;
            consider(parseInteger(GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, name, "", {}))
                         .value_or(0));
        }
    } else {
        EnumRegKeysEx(HKEY_LOCAL_MACHINE, kInterfaces, adapters, {});
        for (const auto& a : adapters) {
            if (mtu) break;
            DWORD v = 0;
            if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, std::string(kInterfaces) + "\\" + a, "MTU", v,
                                 {}) == ERROR_SUCCESS)
                consider(v);
        }
    }
    if (mtu > 0) {
        optMTUManual->SetChecked(true);
        // A stored MTU outside the field's range 1 to 1500 shows as the nearest value in
        // it; nothing is written unless the user changes the MTU group.
        udeMTU->SetPosition(static_cast<int>(mtu));
    } else {
        SetDefaultMTUSettings();
    }
    optMTUClick(*optMTUManual);

    // The receive window.
    std::optional<long long> window;
    if (nt()) {
        for (const auto& a : adapters) {
            DWORD v = 0;
            if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, std::string(kInterfaces) + "\\" + a,
                                 "TcpWindowSize", v, {}) == ERROR_SUCCESS) {
                window = v;
                break;
            }
        }
    } else {
        int v = 0;
        if (GetRegIntValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "DefaultRcvWindow", v, 0, {}) ==
            ERROR_SUCCESS)
            window = v;
    }
    if (!window && os != 1) {
        const char* name = os == 3 ? "GlobalMaxTcpWindoSize" : "GlobalMaxTcpWindowSize";
        DWORD v = 0;
        if (GetRegDWORDValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, name, v, {}) == ERROR_SUCCESS)
            window = v;
        else if (!nt() && GetRegDWORDValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP + "\\Parameters", name,
                                           v, {}) == ERROR_SUCCESS)
            window = v;
    }
    cbRWin->SetText(window ? std::to_string(*window) : std::string(nt() ? "17520" : "8192"));
    CalcRWINItems();

    int ttl = 0;
    const int ttlDefault = nt() ? 128 : 32;
    GetRegIntValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "DefaultTTL", ttl, ttlDefault, {});
    if (ttl < 1 || ttl > 255) ttl = ttlDefault;
    tbTTL->SetPosition(ttl);
    lblTTL->SetCaption(text::trf("%1 Server", std::to_string(tbTTL->Position())));
    clearMarks();
}

TfrmTCPIP::Shown TfrmTCPIP::shownNow() const {
    return {optMTUAuto->Checked(), udeMTU->GetPosition(),  chkMTUDiscovery->Checked(),
            cbRWin->Text(),        chkRWinSACK->Checked(), chkRWinTimeStamp->Checked(),
            tbTTL->Position()};
}

void TfrmTCPIP::clearMarks() {
    shown_ = shownNow();
    for (TComponent* c :
         {static_cast<TComponent*>(gbMTU), static_cast<TComponent*>(chkMTUDiscovery),
          static_cast<TComponent*>(cbRWin), static_cast<TComponent*>(chkRWinSACK),
          static_cast<TComponent*>(chkRWinTimeStamp), static_cast<TComponent*>(tbTTL)})
        c->Tag = 0;
}

void TfrmTCPIP::FormShow(TComponent&) {
    // The track bar shows no selection range: nothing to remove in this toolkit.
}

void TfrmTCPIP::optMTUClick(TComponent&) {
    const bool manual = optMTUManual->Checked();
    SetControlStatus(*lblMTU1, manual, "");
    SetControlStatus(*udeMTU, manual, "");
    SetControlStatus(*lblMTU2, manual, "");
    mark(*gbMTU);
}

void TfrmTCPIP::udeMTUChange(TComponent&) {
    mark(*gbMTU);
}
void TfrmTCPIP::udeMTUExit(TComponent&) {
    CalcRWINItems();
}
void TfrmTCPIP::chkMTUDiscoveryClick(TComponent&) {
    mark(*chkMTUDiscovery);
}
void TfrmTCPIP::chkRWinSACKClick(TComponent&) {
    mark(*chkRWinSACK);
}
void TfrmTCPIP::chkRWinTimeStampClick(TComponent&) {
    mark(*chkRWinTimeStamp);
}
void TfrmTCPIP::cbRWinChange(TComponent&) {
    mark(*cbRWin);
}
void TfrmTCPIP::cbRWinSelect(TComponent&) {
    mark(*cbRWin);
}

void TfrmTCPIP::cbRWinKeyPress(TComponent&, char16_t& key) {
    if ((key >= u'0' && key <= u'9') || key == 8) return;
    key = 0;
    Application().Beep("cbRWin");
}

void TfrmTCPIP::tbTTLChange(TComponent&) {
    lblTTL->SetCaption(text::trf("%1 Server", std::to_string(tbTTL->Position())));
    mark(*tbTTL);
}

void TfrmTCPIP::SetDefaultMTUSettings() {
    const int mtu = nt() && !chkMTUDiscovery->Checked() ? 576 : 1500;
    optMTUAuto->SetChecked(true);
    udeMTU->SetPosition(mtu);
}

void TfrmTCPIP::btnMTUDefaultClick(TComponent&) {
    chkMTUDiscovery->SetChecked(true);
    SetDefaultMTUSettings();
}

void TfrmTCPIP::btnRWinDefaultClick(TComponent&) {
    cbRWin->SetText(CurrentOS() == 6 ? "17520" : !nt() ? "8192" : "16384");
    mark(*cbRWin);
    chkRWinSACK->SetChecked(true);
    chkRWinTimeStamp->SetChecked(true);
}

void TfrmTCPIP::btnTTLDefaultClick(TComponent&) {
    tbTTL->SetPosition(nt() ? 128 : 32);
}

void TfrmTCPIP::showHelp(int context) {
    // A context-help popup; the mouse position is not known for a click made by a driver.
    Application().HelpRequests.push_back("context " + std::to_string(context));
}
void TfrmTCPIP::lblJumpToPrivacyClick(TComponent&) {
    showHelp(2234);
}
void TfrmTCPIP::Label1Click(TComponent&) {
    showHelp(2277);
}
void TfrmTCPIP::Label4Click(TComponent&) {
    showHelp(2299);
}
void TfrmTCPIP::HelpLinkMouseEnter(TComponent& sender) {
    if (auto* c = dynamic_cast<TControl*>(&sender)) c->FontColor = kBlue;
}
void TfrmTCPIP::HelpLinkMouseLeave(TComponent& sender) {
    if (auto* c = dynamic_cast<TControl*>(&sender)) c->FontColor = kNavy;
}

void TfrmTCPIP::CalcRWINItems() {
    std::string text = cbRWin->Text();
    cbRWin->ClearItems();
    const long long mss = static_cast<long long>(udeMTU->GetPosition()) - 40;
    for (int k = 1; k <= 45 && mss > 0 && mss * k <= 65535; ++k)
        cbRWin->AddItem(std::to_string(mss * k));
    cbRWin->SetText(text); // the list changes, the text stays
}

void TfrmTCPIP::btnOKClick(TComponent&) {
    const JournalTransaction transaction;
    std::vector<std::string> adapters;
    EnumRegKeysEx(HKEY_LOCAL_MACHINE, kInterfaces, adapters, {});
    // A field changed and changed back writes nothing.
    const Shown now = shownNow();
    if (now.mtuAuto == shown_.mtuAuto && (now.mtuAuto || now.mtu == shown_.mtu)) gbMTU->Tag = 0;
    if (now.discovery == shown_.discovery) chkMTUDiscovery->Tag = 0;
    if (now.window == shown_.window) cbRWin->Tag = 0;
    if (now.sack == shown_.sack) chkRWinSACK->Tag = 0;
    if (now.timestamps == shown_.timestamps) chkRWinTimeStamp->Tag = 0;
    if (now.ttl == shown_.ttl) tbTTL->Tag = 0;
    if (gbMTU->Tag == 1) {
        const DWORD mtu = optMTUAuto->Checked() ? 0 : static_cast<DWORD>(udeMTU->GetPosition());
        if (nt()) {
            for (const auto& a : adapters) {
                const std::string key = std::string(kInterfaces) + "\\" + a;
                if (mtu > 0)
                    SetRegDWORDValue(HKEY_LOCAL_MACHINE, key, "MTU", mtu, {});
                else
                    DeleteRegValue(HKEY_LOCAL_MACHINE, key, "MTU", {});
            }
        } else {
            // Written back where it was read, so a manual MTU is not dropped on 9x.
            for (const auto& [key, name] : adapterMTUValues9x(CurrentOS())) {
                if (mtu > 0)
                    SetRegStringValue(HKEY_LOCAL_MACHINE, key, name, std::to_string(mtu), {});
                else
                    DeleteRegValue(HKEY_LOCAL_MACHINE, key, name, {});
            }
        }
    }
    if (chkMTUDiscovery->Tag == 1) {
        if (nt())
            SetRegDWORDValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "EnablePMTUDiscovery",
                             chkMTUDiscovery->Checked() ? 1 : 0, {});
        else
            SetRegStringValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "PMTUDiscovery",
                              chkMTUDiscovery->Checked() ? "1" : "0", {});
    }
    if (cbRWin->Tag == 1) {
        auto parsed = parseInteger(cbRWin->Text());
        const long long window =
            parsed && *parsed >= 0 && *parsed <= 0xFFFFFFFFLL ? *parsed : (nt() ? 16384 : 8192);
        if (nt()) {
            for (const auto& a : adapters)
                SetRegDWORDValue(HKEY_LOCAL_MACHINE, std::string(kInterfaces) + "\\" + a,
                                 "TcpWindowSize", static_cast<DWORD>(window), {});
        } else {
            SetRegStringValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "DefaultRcvWindow",
                              std::to_string(window), {});
        }
    }
    if (chkRWinSACK->Tag == 1) {
        if (nt())
            SetRegDWORDValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "SackOpts",
                             chkRWinSACK->Checked() ? 1 : 0, {});
        else
            SetRegStringValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "SackOpts",
                              chkRWinSACK->Checked() ? "1" : "0", {});
    }
    if (chkRWinTimeStamp->Tag == 1) {
        Tcp1323Opts opts = readTcp1323Opts(nt());
        opts.bits = chkRWinTimeStamp->Checked() ? (opts.bits | 2u) : (opts.bits & ~2u);
        if (opts.asString)
            SetRegStringValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "Tcp1323Opts",
                              std::to_string(opts.bits), {});
        else
            SetRegDWORDValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "Tcp1323Opts", opts.bits, {});
    }
    if (tbTTL->Tag == 1) {
        if (nt())
            SetRegDWORDValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "DefaultTTL",
                             static_cast<DWORD>(tbTTL->Position()), {});
        else
            SetRegStringValue(HKEY_LOCAL_MACHINE, RegKey_TCPIP, "DefaultTTL",
                              std::to_string(tbTTL->Position()), {});
    }
    // What is written is the machine's state now: another OK has nothing left to write.
    clearMarks();
    ModalResult = mrOk;
}

void TfrmTCPIP::btnCancelClick(TComponent&) {
    ModalResult = mrCancel;
    // Shown as a page, nothing closes: the fields go back to what the machine holds.
    const auto& modal = Application().ModalForms();
    if (std::find(modal.begin(), modal.end(), this) == modal.end()) readSettings();
}

} // namespace ravelin::network
