// Win32 backend of SerialPort: a COM device opened exclusively through the
// device namespace, its line settings in a DCB and its read time-outs in
// COMMTIMEOUTS, so the driver itself ends a read at the time-out.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/base/DebugLog.h"
#include "core/transport/SerialPort.h"
#include "core/transport/SerialPortWin32.h"

namespace corvel {

namespace win32 {

// "\\.\" in front of the name: without it only COM1..COM9 open.
std::string DevicePath(const std::string& port_name) {
  if (port_name.rfind(kDeviceNamespace, 0) == 0) return port_name;
  return kDeviceNamespace + port_name;
}

COMMTIMEOUTS ToCommTimeouts(const SerialTimeouts& timeouts) {
  COMMTIMEOUTS result{};
  // A zero gap limit means "no gap limit" to the driver too. MAXDWORD would
  // turn the read into "return at once", so it never reaches the driver.
  result.ReadIntervalTimeout = std::min<DWORD>(timeouts.read_interval_ms, MAXDWORD - 1);
  result.ReadTotalTimeoutMultiplier = timeouts.read_per_byte_ms;
  result.ReadTotalTimeoutConstant = timeouts.read_constant_ms;
  // Writes never time out: with no flow control they drain at line speed.
  result.WriteTotalTimeoutMultiplier = 0;
  result.WriteTotalTimeoutConstant = 0;
  return result;
}

void ApplyLineFormat(DCB& dcb, uint32_t baud) {
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = baud;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  dcb.XonLim = kXonXoffLimit;
  dcb.XoffLim = kXonXoffLimit;
  dcb.ByteSize = kDataBits;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  // XonChar, XoffChar, ErrorChar, EofChar and EvtChar stay as the driver has them.
}

std::string ErrorText(unsigned long code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result = length && text ? std::string(text, length) : std::string();
  if (text) ::LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' ||
                             result.back() == '.')) {
    result.pop_back();
  }
  return result.empty() ? "unknown error" : result;
}

}  // namespace win32

namespace {

using Clock = std::chrono::steady_clock;

// One trace line per failed call, with the Windows error number and text.
void TraceFailure(const char* what, const std::string& path) {
  const DWORD code = ::GetLastError();
  DebugPrintf("%s on %s failed: Windows error %lu (%s)", what, path.c_str(), static_cast<unsigned long>(code),
              win32::ErrorText(code).c_str());
}

class Win32SerialDevice : public SerialDevice {
 public:
  Win32SerialDevice(HANDLE handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}
  ~Win32SerialDevice() override { Close(); }

  bool Configure(uint32_t baud) override {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!::GetCommState(m_handle, &dcb)) {
      TraceFailure("GetCommState", m_path);
      return false;
    }
    win32::ApplyLineFormat(dcb, baud);
    if (!::SetCommState(m_handle, &dcb)) {
      TraceFailure("SetCommState", m_path);
      return false;
    }
    m_baud = baud;
    return true;
  }

  void SetTimeouts(const SerialTimeouts& timeouts) override {
    COMMTIMEOUTS current{};
    // Read first, as the driver may hold fields of its own; all five are set.
    if (!::GetCommTimeouts(m_handle, &current)) TraceFailure("GetCommTimeouts", m_path);
    COMMTIMEOUTS wanted = win32::ToCommTimeouts(timeouts);
    if (!::SetCommTimeouts(m_handle, &wanted)) TraceFailure("SetCommTimeouts", m_path);
  }

  bool Read(uint8_t* buffer, uint32_t count, uint32_t& received) override {
    received = 0;
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    DWORD got = 0;
    const BOOL ok = ::ReadFile(m_handle, buffer, count, &got, nullptr);
    received = got;
    if (!ok) TraceFailure("ReadFile", m_path);
    return ok != FALSE;
  }

  bool Write(const uint8_t* buffer, uint32_t count, uint32_t& written) override {
    written = 0;
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    const auto start = Clock::now();
    DWORD done = 0;
    const BOOL ok = ::WriteFile(m_handle, buffer, count, &done, nullptr);
    written = done;
    if (!ok) {
      TraceFailure("WriteFile", m_path);
      return false;
    }
    // Return once the bytes have left, as a speed change or a purge may follow
    // at once: the driver drains its buffer, and the line time is waited out
    // where the driver does not (a pseudo-terminal under a compatibility layer).
    ::FlushFileBuffers(m_handle);
    const auto line_done =
        start + std::chrono::microseconds(uint64_t{count} * kBitsPerByte * 1000000u / (m_baud ? m_baud : 19200));
    if (Clock::now() < line_done) std::this_thread::sleep_until(line_done);
    return true;
  }

  bool Purge() override {
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    if (!::PurgeComm(m_handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
      TraceFailure("PurgeComm", m_path);
      return false;
    }
    return true;
  }

  bool Close() override {
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    if (!::CloseHandle(m_handle)) {
      TraceFailure("CloseHandle", m_path);
      return false;
    }
    m_handle = INVALID_HANDLE_VALUE;
    return true;
  }

 private:
  static constexpr uint32_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
  HANDLE m_handle;
  std::string m_path;
  uint32_t m_baud = 19200;
};

}  // namespace

std::string SerialDevicePath(const std::string& port_name) { return win32::DevicePath(port_name); }

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& port_name, PortOpenError* why) {
  if (why) *why = PortOpenError::None;
  const std::string path = win32::DevicePath(port_name);
  // No sharing: a second program (or a second open here) is refused.
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    TraceFailure("CreateFileA", path);
    if (why) {
      // A port another program holds answers "access denied".
      *why = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PortOpenError::Missing
             : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? PortOpenError::InUse
                                                                                 : PortOpenError::Other;
    }
    return nullptr;
  }
  return std::make_unique<Win32SerialDevice>(handle, path);
}

std::vector<std::string> SystemSerialPorts() {
  std::vector<std::string> ports;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, win32::kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return ports;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD name_size = sizeof name;
    char value[256];
    DWORD value_size = sizeof value - 1;
    DWORD type = 0;
    const LONG result = ::RegEnumValueA(key, index, name, &name_size, nullptr, &type,
                                        reinterpret_cast<BYTE*>(value), &value_size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    // The stored size may or may not count the terminating zero.
    std::string port(value, std::min<DWORD>(value_size, sizeof value - 1));
    port.resize(port.find('\0') == std::string::npos ? port.size() : port.find('\0'));
    if (!port.empty()) ports.push_back(port);
  }
  ::RegCloseKey(key);
  // COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

}  // namespace corvel
