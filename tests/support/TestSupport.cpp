#include "support/TestSupport.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace corvel::test {

TraceCapture::TraceCapture() : m_previous(ActiveDebugLog()) {
  m_log.SetSink([this](const std::string& line) { m_lines.push_back(line); });
  SetActiveDebugLog(&m_log);
}

TraceCapture::~TraceCapture() { SetActiveDebugLog(m_previous); }

bool TraceCapture::Contains(const std::string& text) const {
  return std::find(m_lines.begin(), m_lines.end(), text) != m_lines.end();
}

bool TraceCapture::ContainsSubstring(const std::string& text) const {
  return std::any_of(m_lines.begin(), m_lines.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

TempDir::TempDir() {
  std::string pattern = std::string(CORVEL_BINARY_DIR) + "/test-scratch-XXXXXX";
  std::filesystem::create_directories(CORVEL_BINARY_DIR);
  char* made = ::mkdtemp(pattern.data());
  m_path = made ? made : "";
}

TempDir::~TempDir() {
  std::error_code error;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, error);
}

std::string TestDataPath(const std::string& name) { return std::string(CORVEL_TEST_DATA_DIR) + "/" + name; }

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

void SimTest::StartDevice(std::unique_ptr<sim::DeviceModel> model) {
  host = std::make_unique<sim::VirtualDeviceHost>(std::move(model));
  std::string error;
  ASSERT_TRUE(host->Start(&error)) << error;
  app.com_port = host->PortPath();
  port.SetPortName(host->PortPath());
  port.SetBaudRate(SerialPort::kDefaultBaud);
  port.SetAdditionalTimeoutSource([this] { return app.timeout_setting; });
}

ToolEnv& SimTest::Env() {
  if (!env) env = std::make_unique<ToolEnv>(ToolEnv{ui, port, app, store, std::string(CORVEL_SOURCE_DIR) + "/"});
  return *env;
}

void SimTest::TearDown() {
  port.Close();
  if (host) host->Stop();
}

}  // namespace corvel::test
