// POSIX backend of SerialPort: termios2 (any baud rate), poll() for the read
// time-outs, flock + TIOCEXCL for exclusive access.
//
// <asm/termbits.h> and <termios.h> cannot share a translation unit, so this
// file talks to the terminal through ioctl() alone.
#include <asm/termbits.h>
#include <fcntl.h>
#include <glob.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "core/base/DebugLog.h"
#include "core/transport/SerialPort.h"

namespace corvel {

namespace {

using Clock = std::chrono::steady_clock;

int64_t MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : left;
}

class PosixSerialDevice : public SerialDevice {
 public:
  PosixSerialDevice(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
  ~PosixSerialDevice() override { Close(); }

  bool Configure(uint32_t baud) override {
    struct termios2 tio {};
    if (::ioctl(m_fd, TCGETS2, &tio) != 0) return false;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                          IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::ioctl(m_fd, TCSETS2, &tio) != 0) return false;
    m_baud = baud;
    // Assert DTR and RTS; a device without modem-control lines (a
    // pseudo-terminal) refuses this and is still usable.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(m_fd, TIOCMBIS, &lines);
    return true;
  }

  void SetTimeouts(const SerialTimeouts& timeouts) override { m_timeouts = timeouts; }

  bool Read(uint8_t* buffer, uint32_t count, uint32_t& received) override {
    received = 0;
    if (m_fd < 0) return false;
    const auto start = Clock::now();
    const auto deadline =
        start + std::chrono::milliseconds(uint64_t{count} * m_timeouts.read_per_byte_ms + m_timeouts.read_constant_ms);
    while (received < count) {
      int64_t wait = MillisecondsUntil(deadline);
      if (received > 0 && m_timeouts.read_interval_ms != 0) {
        wait = std::min<int64_t>(wait, m_timeouts.read_interval_ms);
      }
      struct pollfd pfd {m_fd, POLLIN, 0};
      const int ready = ::poll(&pfd, 1, static_cast<int>(wait));
      if (ready < 0) {
        if (errno == EINTR) continue;
        DebugPrintf("Serial read on %s failed (errno %d)", m_path.c_str(), errno);
        return false;
      }
      if (ready == 0) {
        // The gap limit or the total time ran out.
        if (received > 0 && m_timeouts.read_interval_ms != 0 && MillisecondsUntil(deadline) > 0) break;
        if (MillisecondsUntil(deadline) <= 0) break;
        continue;
      }
      const ssize_t n = ::read(m_fd, buffer + received, count - received);
      if (n > 0) {
        received += static_cast<uint32_t>(n);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      // End of file or an error: the device has gone (adapter unplugged,
      // far end of a pseudo-terminal closed).
      DebugPrintf("Serial device %s stopped answering (errno %d)", m_path.c_str(), n < 0 ? errno : 0);
      return false;
    }
    return true;
  }

  bool Write(const uint8_t* buffer, uint32_t count, uint32_t& written) override {
    written = 0;
    if (m_fd < 0) return false;
    const auto start = Clock::now();
    // Writes never time out on a working line; this only keeps a dead device
    // from hanging the program.
    const auto give_up = start + std::chrono::seconds(10) + LineTime(count) * 2;
    while (written < count) {
      const ssize_t n = ::write(m_fd, buffer + written, count - written);
      if (n > 0) {
        written += static_cast<uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        struct pollfd pfd {m_fd, POLLOUT, 0};
        if (::poll(&pfd, 1, static_cast<int>(std::max<int64_t>(1, MillisecondsUntil(give_up)))) <= 0 &&
            Clock::now() >= give_up) {
          DebugPrintf("Serial write on %s timed out", m_path.c_str());
          return false;
        }
        continue;
      }
      DebugPrintf("Serial write on %s failed (errno %d)", m_path.c_str(), errno);
      return false;
    }
    // Synchronous to the wire: return once the bytes have left. A real UART
    // waits in the drain; a pseudo-terminal carries them at once, so wait out
    // the line time too, keeping timing (and the far end's view of the line
    // speed) the same as on a real line.
    ::ioctl(m_fd, TCSBRK, 1);
    const auto line_done = start + LineTime(count);
    if (Clock::now() < line_done) std::this_thread::sleep_until(line_done);
    return true;
  }

  bool Purge() override {
    // Only the input side: everything written has already left (Write
    // drains), and flushing the output of a pseudo-terminal would throw away
    // bytes the far end has not read yet.
    return m_fd >= 0 && ::ioctl(m_fd, TCFLSH, TCIFLUSH) == 0;
  }

  bool Close() override {
    if (m_fd < 0) return false;
    // The exclusive flag lives on the terminal, not on this handle: clear it so
    // the next open (the speed change reopens) is not refused.
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0 || errno == EINTR;
  }

 private:
  std::chrono::microseconds LineTime(uint32_t count) const {
    return std::chrono::microseconds(uint64_t{count} * 10u * 1000000u / (m_baud ? m_baud : 19200));
  }

  int m_fd;
  std::string m_path;
  uint32_t m_baud = 19200;
  SerialTimeouts m_timeouts;
};

}  // namespace

std::string SerialDevicePath(const std::string& port_name) {
  if (port_name.find('/') != std::string::npos) return port_name;
  if (port_name.size() > 3 && (port_name.compare(0, 3, "COM") == 0 || port_name.compare(0, 3, "com") == 0)) {
    bool digits = true;
    for (std::size_t i = 3; i < port_name.size(); ++i) digits = digits && std::isdigit(static_cast<unsigned char>(port_name[i]));
    if (digits) {
      const long n = std::strtol(port_name.c_str() + 3, nullptr, 10);
      if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    }
  }
  return "/dev/" + port_name;
}

namespace {
PortOpenError OpenErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return PortOpenError::Missing;
    case EBUSY: return PortOpenError::InUse;  // held with TIOCEXCL
    case EACCES:
    case EPERM: return PortOpenError::NoPermission;
    default: return PortOpenError::Other;
  }
}
}  // namespace

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& port_name, PortOpenError* why) {
  PortOpenError ignored = PortOpenError::None;
  PortOpenError& reason = why ? *why : ignored;
  reason = PortOpenError::None;
  const std::string path = SerialDevicePath(port_name);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    reason = OpenErrorOf(error);
    DebugPrintf("Cannot open %s (%s)", path.c_str(), std::strerror(error));
    return nullptr;
  }
  // Exclusive access: TIOCEXCL keeps other programs out, flock also keeps out
  // a second open by a privileged program or by this one.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    reason = PortOpenError::InUse;
    DebugPrintf("%s is in use by another program", path.c_str());
    ::close(fd);
    return nullptr;
  }
  struct termios2 tio {};
  if (::ioctl(fd, TCGETS2, &tio) != 0) {
    reason = PortOpenError::NotASerialPort;
    DebugPrintf("%s is not a serial device", path.c_str());
    ::close(fd);
    return nullptr;
  }
  ::ioctl(fd, TIOCEXCL);
  return std::make_unique<PosixSerialDevice>(fd, path);
}

std::vector<std::string> SystemSerialPorts() {
  std::vector<std::string> ports;
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/serial/by-id/*"}) {
    glob_t found{};
    if (::glob(pattern, 0, nullptr, &found) == 0) {
      for (std::size_t i = 0; i < found.gl_pathc; ++i) ports.emplace_back(found.gl_pathv[i]);
    }
    ::globfree(&found);
  }
  return ports;
}

}  // namespace corvel
