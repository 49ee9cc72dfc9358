#include "cli/ProgressMeter.h"

#include <cmath>
#include <cstdio>

namespace corvel::cli {

void ProgressMeter::Start(Clock::time_point now, uint64_t total, bool bytes) {
  m_start = now;
  m_now = now;
  m_last_report.reset();
  m_done = 0;
  m_total = total;
  m_bytes = bytes;
  m_pending = false;
}

void ProgressMeter::Update(uint64_t done, Clock::time_point now) {
  m_done = done;
  if (now > m_now) m_now = now;
  m_pending = true;
}

double ProgressMeter::ElapsedSeconds() const { return std::chrono::duration<double>(m_now - m_start).count(); }

std::optional<double> ProgressMeter::Rate() const {
  const double elapsed = ElapsedSeconds();
  if (m_done == 0 || elapsed <= 0.0) return std::nullopt;
  return static_cast<double>(m_done) / elapsed;
}

std::optional<double> ProgressMeter::RemainingSeconds() const {
  const auto rate = Rate();
  if (!rate) return std::nullopt;
  const uint64_t left = m_done >= m_total ? 0 : m_total - m_done;
  return static_cast<double>(left) / *rate;
}

bool ProgressMeter::Due(Clock::time_point now) {
  if (m_last_report && now - *m_last_report < kMinInterval) return false;
  m_last_report = now;
  m_pending = false;
  return true;
}

bool ProgressMeter::TakePending() {
  const bool pending = m_pending;
  m_pending = false;
  return pending;
}

std::string FormatDuration(double seconds) {
  if (!(seconds >= 0.0)) seconds = 0.0;  // also NaN
  const auto total = static_cast<uint64_t>(std::llround(seconds));
  const uint64_t hours = total / 3600, minutes = total / 60 % 60, secs = total % 60;
  char text[48];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(hours),
                  static_cast<unsigned long long>(minutes), static_cast<unsigned long long>(secs));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(minutes),
                  static_cast<unsigned long long>(secs));
  }
  return text;
}

std::string FormatByteRate(double bytes_per_second) {
  char text[48];
  if (!(bytes_per_second >= 0.0)) bytes_per_second = 0.0;
  if (bytes_per_second < 1000.0) {
    std::snprintf(text, sizeof text, "%.0f B/s", bytes_per_second);
  } else if (bytes_per_second < 1e6) {
    std::snprintf(text, sizeof text, "%.1f kB/s", bytes_per_second / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.2f MB/s", bytes_per_second / 1e6);
  }
  return text;
}

// A rate is shown in bytes only: a percentage per second tells a person nothing
// the time left does not.
std::string ProgressStatusText(const ProgressMeter& meter) {
  std::string text = FormatDuration(meter.ElapsedSeconds()) + " elapsed";
  const auto rate = meter.Rate();
  if (!rate) return text;
  if (meter.Bytes()) text += ", " + FormatByteRate(*rate);
  if (const auto left = meter.RemainingSeconds()) text += ", " + FormatDuration(*left) + " left";
  return text;
}

std::string ProgressSummaryText(const std::string& caption, const ProgressMeter& meter) {
  std::string text = caption + ": took " + FormatDuration(meter.ElapsedSeconds());
  const auto rate = meter.Rate();
  if (rate && meter.Bytes()) text += " (" + FormatByteRate(*rate) + ")";
  return text;
}

}  // namespace corvel::cli
