#include "core/tool/atmel/AtmelConnect.h"

#include "core/base/DebugLog.h"
#include "core/base/Text.h"
#include "core/tool/atmel/AtmelMessages.h"

namespace corvel {

namespace {

constexpr int kEntryRequests = 3;       // stage 1, progress n = 100..300
constexpr int kWakeUps = 15;            // stage 2, progress n = 400..1800
constexpr int kVersionPasses = 3;       // stage 3, progress n = 2000..2200
constexpr int kConnectScale = 23;       // progress = n / 23 per cent
constexpr int kAfterWakeUpsPercent = 78;
constexpr int kPowerCycleWakeUps = 480;  // about 100 s at normal speed
constexpr int kPowerCycleVersionPasses = 20;
constexpr int kPowerCycleScale = 5;
constexpr int kStartAttempts = 3;

// The end of a connect attempt's time.
class Budget {
 public:
  explicit Budget(std::chrono::milliseconds budget) : m_end(std::chrono::steady_clock::now() + budget) {}
  bool Spent() const { return std::chrono::steady_clock::now() >= m_end; }

 private:
  std::chrono::steady_clock::time_point m_end;
};

// Repeats attempt until it succeeds, Cancel is seen, the budget is spent or
// count attempts failed; progress(i) gives the position after failed attempt
// i (from 0).
template <typename Attempt, typename Position>
void Stage(ProgressWindow& progress, const Budget& budget, int count, Attempt attempt, Position position) {
  for (int i = 0; i < count && !budget.Spent(); ++i) {
    if (attempt().ok()) return;
    progress.SetPos(position(i));
    if (progress.CheckCancelButton()) return;
  }
}

// What the version boxes show when the budget left no time to ask.
DeviceVersions NotAsked() {
  DeviceVersions versions;
  versions.description = atmel::text::kNotFound;
  return versions;
}

bool ShowConnectResult(AtmelBootLoader& loader, UserInterface& ui) {
  if (loader.connected) {
    ui.Inform(atmel::text::kEstablishedConnection);
  } else {
    ui.Plain(atmel::text::kConnectionFailed);
  }
  return loader.connected;
}

}  // namespace

std::string FormatVersion(uint32_t version) {
  return Format("%d %d %d %d", static_cast<int>(version >> 24 & 0xFF), static_cast<int>(version >> 16 & 0xFF),
                static_cast<int>(version >> 8 & 0xFF), static_cast<int>(version & 0xFF));
}

DeviceVersions GetVersions(AtmelBootLoader& loader) {
  DeviceVersions versions = NotAsked();
  versions.boot_loader = loader.QueryBootLoaderVersion().value_or(0);
  if (auto application = loader.QueryApplication()) {
    versions.application = application->version;
    versions.description = application->description;
  }
  return versions;
}

bool ConnectToBootLoader(AtmelBootLoader& loader, UserInterface& ui, DeviceVersions& versions,
                         std::chrono::milliseconds budget) {
  const Budget time(budget);
  loader.connected = false;
  auto progress = ui.MakeProgressWindow(kCaptionConnecting);
  progress->Create();
  // A Cancel ends only the stage in which it is seen.
  Stage(*progress, time, kEntryRequests, [&] { return loader.RequestBootLoader(); },
        [](int i) { return (i + 1) * 100 / kConnectScale; });
  Stage(*progress, time, kWakeUps, [&] { return loader.SendWakeUp(); },
        [](int i) { return (i + 4) * 100 / kConnectScale; });
  progress->SetPos(kAfterWakeUpsPercent);
  versions = time.Spent() ? NotAsked() : GetVersions(loader);
  for (int pass = 0; pass < kVersionPasses && !loader.connected && !time.Spent() && !progress->CheckCancelButton();
       ++pass) {
    versions = GetVersions(loader);
    progress->SetPos((2000 + 100 * pass) / kConnectScale);
  }
  progress->DestroyWindow();
  return ShowConnectResult(loader, ui);
}

bool ConnectByPowerCycle(AtmelBootLoader& loader, UserInterface& ui, DeviceVersions& versions,
                         std::chrono::milliseconds budget) {
  const Budget time(budget);
  loader.connected = false;
  DebugPrintf("%s", atmel::text::kEnteringPowerOff);
  auto progress = ui.MakeProgressWindow(kCaptionCyclePowerToConnect);
  progress->Create();
  // Back to back, so the greeting is on the line when the boot loader starts.
  Stage(*progress, time, kPowerCycleWakeUps, [&] { return loader.SendWakeUp(); },
        [](int i) { return i / kPowerCycleScale; });
  versions = time.Spent() ? NotAsked() : GetVersions(loader);
  for (int i = 0; i < kPowerCycleVersionPasses && !loader.connected && !time.Spent() &&
                  !progress->CheckCancelButton();
       ++i) {
    versions = GetVersions(loader);
    progress->SetPos((kPowerCycleWakeUps + i) / kPowerCycleScale);
  }
  progress->DestroyWindow();
  return ShowConnectResult(loader, ui);
}

LinkStatus StartApplicationWithRetries(AtmelBootLoader& loader) {
  LinkStatus status = loader.StartApplication();
  for (int attempt = 1; !status && attempt < kStartAttempts; ++attempt) status = loader.StartApplication();
  DebugPrintf("Starting application... %s", status ? "OK" : "FAIL");
  return status;
}

}  // namespace corvel
