#pragma once
// What every tool controller works with: the person, the port, the settings.
#include <string>

#include "core/base/AppSettings.h"
#include "core/base/Settings.h"
#include "core/transport/SerialPort.h"
#include "core/ui/UserInterface.h"

namespace corvel {

struct ToolEnv {
  UserInterface& ui;
  SerialPort& port;
  AppSettings& app;      // the values loaded at start and saved at exit
  Settings& store;       // the tools' own values, read at open, written at close
  std::string program_folder;  // with a trailing separator
};

// Writes the three-line banner a tool traces when it opens.
void TraceToolBanner(const char* tool_name);

}  // namespace corvel
