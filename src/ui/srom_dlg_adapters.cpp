#include "model/messages.h"
#include "ui/layout.h"
#include "ui/srom_dlg.h"

// "Multi EEPROM Program": "Scan" and "MultiEnable", and the loop they set up
// for Program and Dump.

namespace srom {
namespace {

// No system network to ask: no adapter is found.
class NoNetwork : public NetworkPort {
 public:
  std::optional<std::vector<NetworkAdapter>> ListAdapters() override {
    return std::nullopt;
  }
  std::variant<std::string, ConnectionNameFailure> ConnectionName(
      const std::string&) override {
    return ConnectionNameFailure::kKeyNotOpened;
  }
  CommandEnd RunCommand(const std::string&, std::chrono::milliseconds) override {
    return {};
  }
  std::optional<bool> ConnectionEnabled(const std::string&) override {
    return std::nullopt;
  }
  void StartCommand(const std::string&) override {}
};

}  // namespace

void CKM62058_SromDlg::set_network(NetworkPort* network) {
  network_ = network;
  if (network_ == nullptr) {
    multi_loop_.reset();
    loop_ = nullptr;
    return;
  }
  multi_loop_ = std::make_unique<MultiAdapterLoop>(
      adapters_, *network_, clock_,
      [this](int k) { return view_.Checked(AdapterBox(k)); });
  loop_ = multi_loop_.get();
}

void CKM62058_SromDlg::OnScan() {
  for (int k = 0; k < kAdapterSlots; ++k) {
    view_.SetAdapterPicture(k, AdapterPictureKind::kBlank);
  }
  view_.SetResultPicture(ResultPicture::kBlank);
  if (!view_.Checked(ControlId::kMultiEnable)) {
    view_.SetChecked(ControlId::kMultiEnable, true);
    OnMultiEnable();
  }
  view_.SetProgress(0);
  NoNetwork none;
  const int entry = view_.ListIndex(ControlId::kDeviceSel);
  const std::string_view entry_text =
      entry >= 0 && entry < static_cast<int>(kDeviceSelEntries.size())
          ? kDeviceSelEntries[entry]
          : std::string_view();
  const ScanResult scan = ScanAdapters(
      network_ != nullptr ? *network_ : none, adapters_, entry_text);
  for (int k = 0; k < kAdapterSlots; ++k) {
    const AdapterBoxState& box = scan.boxes[k];
    view_.SetText(AdapterBox(k), box.caption);
    Enable(AdapterBox(k), box.enabled);
    view_.SetChecked(AdapterBox(k), box.ticked);
  }
  for (const std::string& message : scan.messages) view_.MessageBox(message);
  if (!scan.output_note.empty()) {
    view_.SetText(ControlId::kOutputBox,
                  view_.Text(ControlId::kOutputBox) + scan.output_note);
  }
}

void CKM62058_SromDlg::OnMultiEnable() {
  SromSettings& s = station_.settings;
  s.MultiEnable = view_.Checked(ControlId::kMultiEnable);
  using C = ControlId;
  if (s.MultiEnable) {
    view_.SetChecked(C::kBarCode, false);
    s.BarCode = false;
    for (ControlId id : {C::kBarCode, C::kBarCodeFrame, C::kReload,
                         C::kReloadFrame}) {
      view_.SetVisible(id, false);
    }
    OnScan();
    return;
  }
  for (int k = 0; k < kAdapterSlots; ++k) {
    view_.SetAdapterPicture(k, AdapterPictureKind::kBlank);
    view_.SetChecked(AdapterBox(k), false);
    Enable(AdapterBox(k), false);
    view_.SetText(AdapterBox(k), "Adapter" + std::to_string(k + 1));
  }
  for (ControlId id :
       {C::kBarCode, C::kBarCodeFrame, C::kReload, C::kReloadFrame}) {
    view_.SetVisible(id, true);
  }
}

}  // namespace srom
