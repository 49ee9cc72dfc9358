#pragma once
// Shared test helpers: virtual equipment on a pseudo-terminal, trace capture,
// scratch folders.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/base/AppSettings.h"
#include "core/base/DebugLog.h"
#include "core/base/Settings.h"
#include "core/tool/app/ToolEnv.h"
#include "core/transport/SerialPort.h"
#include "sim/VirtualDeviceHost.h"
#include "support/ScriptedUserInterface.h"

namespace corvel::test {

// Captures every trace line while it lives.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  const std::vector<std::string>& Lines() const { return m_lines; }
  bool Contains(const std::string& text) const;  // a line equal to text
  bool ContainsSubstring(const std::string& text) const;
  void Clear() { m_lines.clear(); }

 private:
  DebugLog m_log;
  DebugLog* m_previous;
  std::vector<std::string> m_lines;
};

// A fresh folder under the build tree, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

std::string TestDataPath(const std::string& name);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

// A test with a piece of virtual equipment on a pseudo-terminal, the real
// SerialPort pointed at it, a scripted person and in-memory settings.
class SimTest : public ::testing::Test {
 protected:
  // Starts the host with the model; the port is set up but not opened.
  void StartDevice(std::unique_ptr<sim::DeviceModel> model);
  void TearDown() override;
  ToolEnv& Env();
  bool OpenPort() { return port.Open(); }

  template <typename Model, typename F>
  auto WithModel(F&& f) {
    return host->WithModel<Model>(std::forward<F>(f));
  }

  std::unique_ptr<sim::VirtualDeviceHost> host;
  SerialPort port;
  ScriptedUserInterface ui;
  MemorySettings store;
  AppSettings app;
  TraceCapture trace;
  std::unique_ptr<ToolEnv> env;
};

}  // namespace corvel::test
