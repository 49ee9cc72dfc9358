#include "core/ui/ProgressWindow.h"

#include <cstdio>

namespace corvel {

const char* ProgressCaptionText(unsigned caption_id) {
  switch (caption_id) {
    case kCaptionProgrammingFirmware: return "Programming Firmware";
    case kCaptionProgrammingEeprom: return "Programming EEPROM";
    case kCaptionReadingEepromFromDevice: return "Reading EEPROM from device";
    case kCaptionReadingFirmwareFromDevice: return "Reading Firmware from device";
    case kCaptionConnecting: return "Connecting...";
    case kCaptionCyclePowerToConnect: return "Cycle power to connect...";
    case kCaptionSendingDataToDevice: return "Sending data to device";
    case kCaptionReadingDataFromDevice: return "Reading data from device";
    case kCaptionErasingFlash: return "Erasing Flash";
    case kCaptionVerifying: return "Verifying...";
    default: return "";
  }
}

ProgressWindow::ProgressWindow(unsigned caption_id, std::string status_text,
                               std::unique_ptr<ProgressDisplay> display)
    : m_caption_id(caption_id), m_status_text(std::move(status_text)), m_display(std::move(display)) {}

ProgressWindow::~ProgressWindow() { DestroyWindow(); }

bool ProgressWindow::Create() {
  if (!m_display) return false;
  if (m_display->OwnerEnabled()) {
    m_display->SetOwnerEnabled(false);
    m_owner_disabled = true;
  }
  if (!m_display->CreateWindow(ProgressCaptionText(m_caption_id), m_cancel_enabled, *this)) {
    // Users go on without a visible window; an owner this window disabled
    // must not stay so, and one an outer operation disabled is left to it.
    if (m_owner_disabled) m_display->SetOwnerEnabled(true);
    m_owner_disabled = false;
    return false;
  }
  m_exists = true;
  m_position = m_lower;
  m_display->SetBar(m_lower);
  return true;
}

std::string ProgressWindow::PercentText(int position, int lower, int upper, const std::string& status_text) {
  int percent = upper == lower ? 0 : (position - lower) * 100 / (upper - lower);
  if (percent != 100) percent %= 100;
  char text[256];
  if (!status_text.empty()) {
    std::snprintf(text, sizeof text, "%.200s: %d%c complete", status_text.c_str(), percent, '%');
  } else {
    std::snprintf(text, sizeof text, "%d%c", percent, '%');
  }
  return text;
}

int ProgressWindow::SetPos(int position) {
  const int previous = m_position;
  if (m_display) m_display->PumpMessages();
  m_position = position;
  const std::string text = PercentText(position, m_lower, m_upper, m_status_text);
  if (m_display && m_exists) {
    m_display->SetBar(position);
    // Only a changed text is set, so the line does not flicker.
    if (text != m_text) m_display->SetText(text);
  }
  m_text = text;
  return previous;
}

bool ProgressWindow::CheckCancelButton() {
  if (m_display) m_display->PumpMessages();
  const bool requested = m_cancel_requested;
  m_cancel_requested = false;
  return requested;
}

void ProgressWindow::DestroyWindow() {
  if (m_owner_disabled && m_display) m_display->SetOwnerEnabled(true);
  m_owner_disabled = false;
  if (m_exists && m_display) m_display->DestroyWindow();
  m_exists = false;
}

}  // namespace corvel
