#include "ui/srom_dlg.h"

#include <algorithm>
#include <utility>

#include "ops/dump.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "ui/data_exchange.h"

namespace srom {

CKM62058_SromDlg::CKM62058_SromDlg(View& view, DriverPort& port, Clock& clock,
                                   FileFolders folders)
    : view_(view), port_(port), clock_(clock) {
  station_.folders = std::move(folders);
}

CKM62058_SromDlg::~CKM62058_SromDlg() {
  destroying_ = true;
  // The worker may be waiting for the window thread right now: joining it
  // straight away would wait for ever. Serve it until its job has ended.
  if (job_running_) view_.ServeUntil([this] { return !job_running_; });
  if (job_.joinable()) job_.join();
}

OpsContext CKM62058_SromDlg::Context() {
  OpsContext ctx{station_, *this, port_, clock_, ledger_};
  ctx.scanned = scanning_;
  return ctx;
}

bool CKM62058_SromDlg::DoDataExchange(bool to_record) {
  ++exchange_depth_;
  bool complete = true;
  if (to_record) {
    complete = ExchangeToRecord(view_, station_.settings);
  } else {
    ExchangeToWindow(view_, station_.settings);
  }
  --exchange_depth_;
  return complete;
}

bool CKM62058_SromDlg::SaveAndDisableControls() {
  // A second save would overwrite the states the first one recorded, and
  // the window would never get them back.
  if (busy_) return false;
  busy_ = true;
  for (int i = 0; i < kControlCount; ++i) {
    const auto id = static_cast<ControlId>(i);
    if (id == ControlId::kDeviceSelLabel) continue;
    recorded_enabled_[i] = view_.Enabled(id);
    view_.SetEnabled(id, false);
  }
  view_.SetEnabled(ControlId::kLock, false);
  view_.SetEnabled(ControlId::kOutputBox, true);
  return true;
}

void CKM62058_SromDlg::RestoreControls() {
  for (int i = 0; i < kControlCount; ++i) {
    const auto id = static_cast<ControlId>(i);
    if (id == ControlId::kDeviceSelLabel) continue;
    view_.SetEnabled(id, recorded_enabled_[i]);
  }
  view_.SetEnabled(ControlId::kLock, true);
  view_.SetEnabled(ControlId::kOutputBox, true);
  busy_ = false;
  CloseIfPending();
}

void CKM62058_SromDlg::Enable(ControlId id, bool enabled) {
  view_.RunOnWindowThread([this, id, enabled] {
    if (busy_) {
      recorded_enabled_[static_cast<int>(id)] = enabled;
    } else {
      view_.SetEnabled(id, enabled);
    }
  });
}

void CKM62058_SromDlg::CloseIfPending() {
  if (!close_pending_ || destroying_) return;
  close_pending_ = false;
  OnClose();
}

void CKM62058_SromDlg::StartJob(std::function<void()> job) {
  if (job_.joinable()) job_.join();  // the last job has ended already
  job_running_ = true;
  job_ = std::thread([this, job = std::move(job)] {
    job();
    // The end of a job is one step on the window thread, so that a close
    // request sees either a running job (and is held) or a finished one.
    view_.RunOnWindowThread([this] {
      job_running_ = false;
      RestoreControls();
    });
  });
}

void CKM62058_SromDlg::ClearPicturesForJob() {
  view_.ShowVerdict("", false);
  for (int i = 0; i < kAdapterSlots; ++i) {
    view_.SetAdapterPicture(i, AdapterPictureKind::kBlank);
  }
  view_.SetResultPicture(ResultPicture::kBlank);
  view_.SetProgress(0);
}

void CKM62058_SromDlg::OnProgram() {
  if (!SaveAndDisableControls()) return;
  view_.SetResultPicture(ResultPicture::kNone);
  ClearPicturesForJob();
  StartJob([this] { RunProgramJob(Context(), loop_); });
}

void CKM62058_SromDlg::OnDump() {
  if (!SaveAndDisableControls()) return;
  ClearPicturesForJob();
  DoDataExchange(true);
  view_.SetText(ControlId::kOutputBox, "");
  StartJob([this] { RunDumpJob(Context(), loop_); });
}

void CKM62058_SromDlg::OnPreview() {
  if (busy_) return;
  UpdateData(true);
  SaveAndDisableControls();
  view_.SetResultPicture(ResultPicture::kNone);
  RefreshImage();
  RestoreControls();
}

void CKM62058_SromDlg::OnErase() {
  if (!SaveAndDisableControls()) return;
  EraseEeprom(Context(), loop_);
  RestoreControls();
}

void CKM62058_SromDlg::OnBarCode() { DoDataExchange(true); }

void CKM62058_SromDlg::OnEnterInCurrentMac() {
  DoDataExchange(true);
  if (!station_.settings.BarCode) return;
  // A scanned unit is a job like any other: no box that feeds the image can
  // change while it is written, and a scan that arrives meanwhile (or while
  // a message box of its sequence waits) is ignored.
  if (!SaveAndDisableControls()) return;
  view_.ShowVerdict("", false);
  scanning_ = true;
  RunSingleUnit(Context());
  scanning_ = false;
  RestoreControls();
  // Disabling the box took the focus from it: the next scan must find it
  // there, its text selected so that the scan replaces it.
  view_.Focus(ControlId::kCurrentMac);
  view_.SelectAll(ControlId::kCurrentMac);
}

bool CKM62058_SromDlg::RefreshImage() { return srom::RefreshImage(Context()); }

void CKM62058_SromDlg::LoadDefaultImage() { srom::LoadDefaultImage(Context()); }

// OperatorPanel on the view.

void CKM62058_SromDlg::ShowMessage(const std::string& text) {
  view_.MessageBox(text);
}
void CKM62058_SromDlg::SetStatus(const std::string& text) {
  view_.SetText(ControlId::kStatusLabel, text);
}
void CKM62058_SromDlg::SetResultPicture(ResultPicture picture) {
  view_.SetResultPicture(picture);
}
void CKM62058_SromDlg::ShowPreview(const std::string& listing) {
  view_.SetText(ControlId::kOutputBox, listing);
}
bool CKM62058_SromDlg::AskOkCancel(const std::string& caption,
                                   const std::string& text) {
  return view_.AskOkCancel(caption, text, BoxIcon::kWarning);
}
std::string CKM62058_SromDlg::OutputText() {
  return view_.Text(ControlId::kOutputBox);
}
void CKM62058_SromDlg::SetOutputText(const std::string& text) {
  view_.SetText(ControlId::kOutputBox, text);
}
void CKM62058_SromDlg::SetProgress(int percent) { view_.SetProgress(percent); }
void CKM62058_SromDlg::SetAdapterPicture(int index,
                                         AdapterPictureKind picture) {
  view_.SetAdapterPicture(index, picture);
}

// WM_UPDATE_DATA: served by the window thread while the sender waits.
void CKM62058_SromDlg::UpdateData(bool to_record) {
  view_.RunOnWindowThread([this, to_record] { DoDataExchange(to_record); });
}

BoxTexts CKM62058_SromDlg::ShownBoxTexts() {
  BoxTexts boxes;
  view_.RunOnWindowThread([this, &boxes] {
    for (const FieldInfo& info : AllFields()) {
      if (info.box != nullptr)
        boxes.*info.box = view_.Text(ControlOf(info.field));
    }
  });
  return boxes;
}

void CKM62058_SromDlg::PutBack(Field field, const std::string& text) {
  const ControlId id = ControlOf(field);
  view_.RunOnWindowThread([this, id, &text] { PutText(id, text); });
}

void CKM62058_SromDlg::FocusField(Field field) {
  view_.Focus(ControlOf(field));
}

void CKM62058_SromDlg::ShowVerdict(const std::string& line, bool passed) {
  view_.ShowVerdict(line, passed);
}

void CKM62058_SromDlg::EnableMacControls() {
  Enable(ControlId::kCurrentMac, true);
  Enable(ControlId::kMaximumMac, true);
  Enable(ControlId::kMacIncrement, true);
}

int CKM62058_SromDlg::MacIncrementList() {
  return std::max(0, view_.ListIndex(ControlId::kMacIncrement));
}
int CKM62058_SromDlg::SerialIncrementList() {
  return std::max(0, view_.ListIndex(ControlId::kSerialIncrement));
}

bool CKM62058_SromDlg::ConfirmReissue(const std::string& text) {
  return view_.AskOkCancel(
      "Reissue MAC Address",
      text +
          "\n\nClick 'OK' to program it again on purpose (a rework).\n"
          "Click 'Cancel' to stop: set the next free MAC address first.",
      BoxIcon::kWarning);
}

void CKM62058_SromDlg::RearmAutoProgram() {
  // The watch restarts as unchecking and checking "Auto" would, on the
  // window thread.
  view_.RunOnWindowThread([this] { ApplyAutoProgram(); });
}

}  // namespace srom
