// The progress meter's arithmetic and the console's events: what a terminal
// line and a --json progress event are made of, with made-up times.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "cli/ConsoleUserInterface.h"
#include "cli/JsonEvents.h"
#include "cli/ProgressMeter.h"

namespace corvel::test {
namespace {

using cli::ProgressMeter;
using namespace std::chrono_literals;

TEST(ProductionProgress, RateAndTimeLeftFollowTheBytesMoved) {
  const auto t0 = ProgressMeter::Clock::time_point{} + 1000s;
  ProgressMeter meter;
  meter.Start(t0, 1000, true);
  EXPECT_EQ(meter.Rate(), std::nullopt);
  EXPECT_EQ(cli::ProgressStatusText(meter), "0:00 elapsed");

  const struct {
    uint64_t done;
    std::chrono::milliseconds at;
    double rate;
    double left;
    const char* text;
  } steps[] = {
      {250, 1000ms, 250.0, 3.0, "0:01 elapsed, 250 B/s, 0:03 left"},
      {500, 4000ms, 125.0, 4.0, "0:04 elapsed, 125 B/s, 0:04 left"},
      {1000, 5000ms, 200.0, 0.0, "0:05 elapsed, 200 B/s, 0:00 left"},
  };
  for (const auto& s : steps) {
    meter.Update(s.done, t0 + s.at);
    ASSERT_TRUE(meter.Rate().has_value()) << s.done;
    EXPECT_DOUBLE_EQ(*meter.Rate(), s.rate) << s.done;
    EXPECT_DOUBLE_EQ(*meter.RemainingSeconds(), s.left) << s.done;
    EXPECT_EQ(cli::ProgressStatusText(meter), s.text);
  }
  EXPECT_EQ(cli::ProgressSummaryText("Programming Firmware", meter), "Programming Firmware: took 0:05 (200 B/s)");

  // A phase that only knows its percentage shows no rate, only the time left.
  meter.Start(t0, 100, false);
  meter.Update(50, t0 + 2s);
  EXPECT_EQ(cli::ProgressStatusText(meter), "0:02 elapsed, 0:02 left");
  EXPECT_EQ(cli::ProgressSummaryText("Erasing Flash", meter), "Erasing Flash: took 0:02");
}

TEST(ProductionProgress, DurationsAndRatesAreFormattedForPeople) {
  const struct {
    double seconds;
    const char* text;
  } durations[] = {{0, "0:00"}, {59.4, "0:59"}, {59.6, "1:00"}, {754, "12:34"}, {3723, "1:02:03"},
                   {-3, "0:00"}, {std::nan(""), "0:00"}};
  for (const auto& d : durations) EXPECT_EQ(cli::FormatDuration(d.seconds), d.text) << d.seconds;
  const struct {
    double rate;
    const char* text;
  } rates[] = {{0, "0 B/s"}, {850, "850 B/s"}, {12345, "12.3 kB/s"}, {1.2e6, "1.20 MB/s"}};
  for (const auto& r : rates) EXPECT_EQ(cli::FormatByteRate(r.rate), r.text) << r.rate;
}

TEST(ProductionProgress, ReportsAtMostTenASecondAndAlwaysTheLast) {
  const auto t0 = ProgressMeter::Clock::time_point{} + 1000s;
  ProgressMeter meter;
  meter.Start(t0, 100, false);
  int reports = 0;
  // 1000 steps, one each millisecond: a second in all.
  for (int i = 0; i < 1000; ++i) {
    const auto now = t0 + std::chrono::milliseconds(i);
    meter.Update(static_cast<uint64_t>(i / 10), now);
    if (meter.Due(now)) ++reports;
  }
  EXPECT_EQ(reports, 10);
  EXPECT_TRUE(meter.TakePending());   // the last step was not reported yet
  EXPECT_FALSE(meter.TakePending());  // and is taken once
}

// Records what the console reports.
class RecordingSink : public cli::ConsoleEventSink {
 public:
  struct Event {
    std::string kind, text, detail;
    uint64_t done = 0, total = 0;
  };
  void OnMessage(const Message& m) override { events.push_back({"message", m.text, cli::IconName(m.icon)}); }
  void OnQuestion(const Message& m, Answer a, const char* by) override {
    events.push_back({"question", m.text, cli::AnswerEventName(a) + "/" + by});
  }
  void OnProgress(const std::string& phase, uint64_t done, uint64_t total, const char* unit, double) override {
    events.push_back({"progress", phase, unit, done, total});
  }
  std::vector<Event> events;
};

TEST(ProductionProgress, ConsoleReportsMessagesAnswersAndWhoGaveThem) {
  const struct {
    ConsoleAnswerPolicy policy;
    Message message;
    const char* kind;
    const char* detail;
  } cases[] = {
      {{}, {"Programming Successful!", MessageIcon::Information}, "message", "information"},
      {{}, {"Invalid Flash file!", MessageIcon::Exclamation}, "message", "warning"},
      {{}, {"Erase?", MessageIcon::Question, MessageButtons::YesNo}, "question", "no/default"},
      {{true}, {"Erase?", MessageIcon::Question, MessageButtons::YesNo}, "question", "yes/flag"},
      {{false, 1}, {"Again?", MessageIcon::Error, MessageButtons::RetryCancel}, "question", "retry/flag"},
      {{false, 0}, {"Again?", MessageIcon::Error, MessageButtons::RetryCancel}, "question", "cancel/default"},
  };
  for (const auto& c : cases) {
    std::istringstream in;
    std::ostringstream out, err;
    ConsoleUserInterface ui(in, out, err, c.policy);
    RecordingSink sink;
    ui.SetEventSink(&sink);
    ui.ShowMessage(c.message);
    ASSERT_EQ(sink.events.size(), 1u) << c.message.text;
    EXPECT_EQ(sink.events[0].kind, c.kind) << c.message.text;
    EXPECT_EQ(sink.events[0].text, c.message.text);
    EXPECT_EQ(sink.events[0].detail, c.detail) << c.message.text;
  }
}

TEST(ProductionProgress, ConsoleProgressEventsCarryBytesAndEndWithTheLastPosition) {
  std::istringstream in;
  std::ostringstream out, err;
  ConsoleUserInterface ui(in, out, err, {});
  RecordingSink sink;
  ui.SetEventSink(&sink);
  {
    auto window = ui.MakeProgressWindow(kCaptionProgrammingFirmware, "");
    window->SetTotalBytes(480 * 256);
    ASSERT_TRUE(window->Create());
    for (int page = 0; page < 480; ++page) window->SetPos(page * 100 / 480);
    window->DestroyWindow();
  }
  ASSERT_GE(sink.events.size(), 2u);
  EXPECT_LE(sink.events.size(), 4u);  // a fast loop is not reported step by step
  for (const auto& e : sink.events) {
    EXPECT_EQ(e.kind, "progress");
    EXPECT_EQ(e.text, "Programming Firmware");
    EXPECT_EQ(e.detail, "bytes");
    EXPECT_EQ(e.total, 480u * 256u);
  }
  EXPECT_EQ(sink.events.front().done, 0u);
  EXPECT_EQ(sink.events.back().done, 480u * 256u * 99 / 100);
  EXPECT_EQ(err.str(), "");  // not a terminal: no bar drawn
}

TEST(ProductionProgress, RecordTimesAreIso8601InUtc) {
  using namespace std::chrono;
  const struct {
    sys_seconds time;
    const char* text;
  } cases[] = {
      {sys_days{2026y / 12 / 8} + 20h + 59min + 1s, "2026-12-08T20:59:01Z"},
      {sys_days{2000y / 2 / 29}, "2000-02-29T00:00:00Z"},
      {sys_days{1999y / 12 / 31} + 23h + 59min + 59s, "1999-12-31T23:59:59Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(cli::Iso8601Utc(c.time), c.text);
}

}  // namespace
}  // namespace corvel::test
