#pragma once
// Progress of a long operation: caption, bar, percentage line and Cancel.
// The logic lives here; a ProgressDisplay (Qt window, console bar, test fake)
// only shows it and pumps the platform's events.
#include <cstdint>
#include <memory>
#include <string>

#include "core/base/TransferMonitor.h"

namespace corvel {

// Caption string ids and their texts.
enum ProgressCaption : unsigned {
  kCaptionProgrammingFirmware = 61446,
  kCaptionProgrammingEeprom = 61447,
  kCaptionReadingEepromFromDevice = 61448,
  kCaptionReadingFirmwareFromDevice = 61449,
  kCaptionConnecting = 61450,
  kCaptionCyclePowerToConnect = 61451,
  kCaptionSendingDataToDevice = 61452,
  kCaptionReadingDataFromDevice = 61453,
  kCaptionErasingFlash = 61454,
  kCaptionVerifying = 61455,
};
const char* ProgressCaptionText(unsigned caption_id);

class ProgressWindow;

class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  // The owner is the window disabled while the progress window is up.
  virtual bool OwnerEnabled() const = 0;
  virtual void SetOwnerEnabled(bool enabled) = 0;
  // Creates and shows the window; false when that failed.
  virtual bool CreateWindow(const std::string& caption, bool cancel_enabled, ProgressWindow& window) = 0;
  virtual void SetBar(int position) = 0;
  virtual void SetText(const std::string& text) = 0;
  // Handles every pending event without waiting; the Cancel button (or Escape)
  // calls ProgressWindow::RequestCancel from here.
  virtual void PumpMessages() = 0;
  virtual void DestroyWindow() = 0;
};

class ProgressWindow {
 public:
  ProgressWindow(unsigned caption_id, std::string status_text, std::unique_ptr<ProgressDisplay> display);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  bool Create();
  // Pumps messages, moves the bar, updates the percentage line; returns the previous position.
  int SetPos(int position);
  // Pumps messages; true once per Cancel press.
  bool CheckCancelButton();
  void DestroyWindow();

  void RequestCancel() { m_cancel_requested = true; }
  // The bytes the whole operation moves, when it knows them (0: unknown); set
  // before Create, so a display can show the rate and the time left.
  void SetTotalBytes(uint64_t bytes) { m_total_bytes = bytes; }
  uint64_t TotalBytes() const { return m_total_bytes; }
  const std::string& Text() const { return m_text; }
  unsigned CaptionId() const { return m_caption_id; }
  const std::string& StatusText() const { return m_status_text; }
  bool OwnerDisabled() const { return m_owner_disabled; }
  bool Exists() const { return m_exists; }

  static std::string PercentText(int position, int lower, int upper, const std::string& status_text);

 private:
  unsigned m_caption_id;
  std::string m_status_text;
  std::unique_ptr<ProgressDisplay> m_display;
  int m_lower = 0;
  int m_upper = 100;
  int m_position = 0;
  bool m_cancel_requested = false;
  bool m_owner_disabled = false;
  bool m_cancel_enabled = true;
  bool m_exists = false;
  uint64_t m_total_bytes = 0;
  std::string m_text = " 0 %";
};

// A progress window as the protocols see it.
class ProgressWindowMonitor : public TransferMonitor {
 public:
  explicit ProgressWindowMonitor(ProgressWindow* window) : m_window(window) {}
  bool CancelRequested() override { return m_window && m_window->CheckCancelButton(); }
  void SetPos(int percent) override {
    if (m_window) m_window->SetPos(percent);
  }

 private:
  ProgressWindow* m_window;
};

}  // namespace corvel
