// corvel-sim DEVICE [--pace] [fault options]: serves a piece of virtual
// equipment on a pseudo-terminal, prints the port path, and runs until
// interrupted. The master board takes fault options for rehearsing failures;
// every device takes --fault KIND:N[@CODE] --seed N, the fault layer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <pthread.h>
#include <signal.h>

#include "sim/FaultLayer.h"
#include "sim/MasterBoardModel.h"
#include "sim/Models.h"
#include "sim/VirtualDeviceHost.h"

namespace {
void Usage() {
  std::fprintf(stderr, "usage: corvel-sim DEVICE [--pace] [fault options]\n  --pace  send replies at the line rate\n%s",
               corvel::sim::MasterBoardOptionsUsage());
  std::fprintf(stderr, "%s", corvel::sim::FaultOptionsUsage());
  std::fprintf(stderr, "devices:");
  for (const auto& name : corvel::sim::DeviceModelNames()) std::fprintf(stderr, " %s", name.c_str());
  std::fprintf(stderr, "\n");
}
}  // namespace

int main(int argc, char** argv) {
  std::string device;
  bool pace = false;
  std::vector<std::pair<std::string, std::string>> faults;
  std::optional<corvel::sim::FaultPlan> fault_plan;
  unsigned long seed = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pace") == 0) {
      pace = true;
    } else if ((std::strcmp(argv[i], "--fault") == 0 || std::strcmp(argv[i], "--seed") == 0) && i + 1 < argc) {
      std::string error;
      if (argv[i][2] == 'f') {
        fault_plan = corvel::sim::ParseFaultPlan(argv[i + 1], &error);
      } else {
        char* end = nullptr;
        seed = std::strtoul(argv[i + 1], &end, 0);
        if (end == argv[i + 1] || *end != '\0') error = "--seed takes a whole number";
      }
      if (!error.empty()) {
        std::fprintf(stderr, "corvel-sim: %s\n", error.c_str());
        return 2;
      }
      ++i;
    } else if (corvel::sim::IsMasterBoardOption(argv[i])) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "corvel-sim: %s needs a value\n", argv[i]);
        return 2;
      }
      faults.emplace_back(argv[i], argv[i + 1]);
      ++i;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage();
      return 0;
    } else if (device.empty() && argv[i][0] != '-') {
      device = argv[i];
    } else {
      Usage();
      return 2;
    }
  }
  auto model = corvel::sim::MakeDeviceModel(device);
  if (!model) {
    std::fprintf(stderr, "corvel-sim: unknown device '%s'\n", device.c_str());
    Usage();
    return 2;
  }
  if (!faults.empty()) {
    auto* board = dynamic_cast<corvel::sim::MasterBoardModel*>(model.get());
    if (board == nullptr) {
      std::fprintf(stderr, "corvel-sim: %s takes no fault options\n", device.c_str());
      return 2;
    }
    for (const auto& [option, value] : faults) {
      const std::string error = corvel::sim::ApplyMasterBoardOption(*board, option, value);
      if (!error.empty()) {
        std::fprintf(stderr, "corvel-sim: %s\n", error.c_str());
        return 2;
      }
    }
  }
  if (fault_plan) {
    fault_plan->seed = static_cast<uint32_t>(seed);
    model = std::make_unique<corvel::sim::FaultLayer>(std::move(model), *fault_plan);
  }
  // The stop signals are held from before the device's threads start (they
  // inherit the mask) and taken here alone: one that lands while the device
  // starts up, or on one of its threads, still ends the run cleanly.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  corvel::sim::VirtualDeviceHost host(std::move(model));
  host.SetPacing(pace);
  std::string error;
  if (!host.Start(&error)) {
    std::fprintf(stderr, "corvel-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", host.PortPath().c_str());
  std::fflush(stdout);
  int signal_taken = 0;
  sigwait(&stop_signals, &signal_taken);
  host.Stop();
  return 0;
}
