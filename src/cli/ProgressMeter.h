#pragma once
// What a transfer's progress means to the person watching it: how long it has
// run, how fast it goes and how long it still needs. The printing (terminal
// line or JSON event) lives elsewhere; this class only counts, so it can be
// tested with made-up times.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace corvel::cli {

class ProgressMeter {
 public:
  using Clock = std::chrono::steady_clock;
  // Events and redraws go out at most this often per phase (ten a second).
  static constexpr std::chrono::milliseconds kMinInterval{100};

  // A phase starts: total is in bytes when the operation knows them, else the
  // percentage scale (100).
  void Start(Clock::time_point now, uint64_t total, bool bytes);
  // Progress reached done (of total) at now.
  void Update(uint64_t done, Clock::time_point now);

  uint64_t Done() const { return m_done; }
  uint64_t Total() const { return m_total; }
  bool Bytes() const { return m_bytes; }
  double ElapsedSeconds() const;
  // Units per second, averaged over the phase; nothing before any progress
  // has been made or any time has passed.
  std::optional<double> Rate() const;
  // Seconds still needed at that rate; nothing while the rate is unknown.
  std::optional<double> RemainingSeconds() const;

  // True when a report may go out now: the first, and then at most one per
  // kMinInterval. A report that is not due stays pending, so the phase's
  // last position is still reported when it ends (see TakePending).
  bool Due(Clock::time_point now);
  // True once if the latest Update was not reported.
  bool TakePending();

 private:
  Clock::time_point m_start{};
  Clock::time_point m_now{};
  std::optional<Clock::time_point> m_last_report;
  uint64_t m_done = 0;
  uint64_t m_total = 100;
  bool m_bytes = false;
  bool m_pending = false;
};

// "0:07", "12:34", "1:02:03".
std::string FormatDuration(double seconds);
// "850 B/s", "12.3 kB/s", "1.20 MB/s" (decimal units, as serial flashers show them).
std::string FormatByteRate(double bytes_per_second);
// The terminal line's tail after the bar: "0:03 elapsed, 12.3 kB/s, 0:04 left",
// or "0:03 elapsed" while nothing is known about the rate.
std::string ProgressStatusText(const ProgressMeter& meter);
// The line a phase ends with: "Programming Firmware: took 0:07 (12.3 kB/s)".
std::string ProgressSummaryText(const std::string& caption, const ProgressMeter& meter);

}  // namespace corvel::cli
