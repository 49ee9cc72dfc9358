// corvel-sim DEVICE [--pace]: serves a piece of virtual equipment on a
// pseudo-terminal, prints the port path, and runs until interrupted.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "sim/Models.h"
#include "sim/VirtualDeviceHost.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void Usage() {
  std::fprintf(stderr, "usage: corvel-sim DEVICE [--pace]\n  --pace  send replies at the line rate\ndevices:");
  for (const auto& name : corvel::sim::DeviceModelNames()) std::fprintf(stderr, " %s", name.c_str());
  std::fprintf(stderr, "\n");
}
}  // namespace

int main(int argc, char** argv) {
  std::string device;
  bool pace = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pace") == 0) {
      pace = true;
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
  corvel::sim::VirtualDeviceHost host(std::move(model));
  host.SetPacing(pace);
  std::string error;
  if (!host.Start(&error)) {
    std::fprintf(stderr, "corvel-sim: %s\n", error.c_str());
    return 1;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::printf("%s\n", host.PortPath().c_str());
  std::fflush(stdout);
  while (!g_stop) ::pause();
  host.Stop();
  return 0;
}
