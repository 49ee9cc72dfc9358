#include "sim/VirtualDeviceHost.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace corvel::sim {

using Clock = std::chrono::steady_clock;

class VirtualDeviceHost::Link : public DeviceLink {
 public:
  explicit Link(VirtualDeviceHost& host) : m_host(host) {}
  void Send(std::vector<uint8_t> bytes, uint32_t baud, uint32_t delay_ms) override {
    m_host.m_pending.push_back({Clock::now() + std::chrono::milliseconds(delay_ms), std::move(bytes), baud});
  }
  uint32_t LineBaud() const override { return m_host.ReadSlaveBaud(); }
  void HangUp() override { m_host.m_hung_up = true; }

 private:
  VirtualDeviceHost& m_host;
};

VirtualDeviceHost::VirtualDeviceHost(std::unique_ptr<DeviceModel> model) : m_model(std::move(model)) {}

VirtualDeviceHost::~VirtualDeviceHost() { Stop(); }

bool VirtualDeviceHost::Start(std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    Stop();
    return false;
  };
  m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0) return fail("posix_openpt");
  if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return fail("unlockpt");
  char name[128];
  if (::ptsname_r(m_master, name, sizeof name) != 0) return fail("ptsname");
  m_port_path = name;
  // Holding the slave open keeps the terminal alive while the program closes
  // and reopens it, and lets the host read the speed the program set.
  m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_slave < 0) return fail("open slave");
  struct termios2 tio {};
  if (::ioctl(m_slave, TCGETS2, &tio) != 0) return fail("TCGETS2");
  // Raw until the program configures it: a cooked slave would echo replies.
  tio.c_iflag = 0;
  tio.c_oflag = 0;
  tio.c_lflag = 0;
  // The standard speed code, not a custom speed: programs that read the
  // speed through the classic termios calls (a Windows program under wine)
  // refuse a terminal whose speed they cannot name.
  tio.c_cflag = CS8 | CREAD | CLOCAL | B19200;
  tio.c_ispeed = tio.c_ospeed = 19200;
  if (::ioctl(m_slave, TCSETS2, &tio) != 0) return fail("TCSETS2");
  if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) return fail("pipe");
  const int flags = ::fcntl(m_master, F_GETFL);
  ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
  m_previous_baud = ReadSlaveBaud();
  m_stop = false;
  m_thread = std::thread([this] { Serve(); });
  return true;
}

void VirtualDeviceHost::Stop() {
  m_stop = true;
  if (m_wake[1] >= 0) {
    const char c = 0;
    [[maybe_unused]] auto n = ::write(m_wake[1], &c, 1);
  }
  if (m_thread.joinable()) m_thread.join();
  for (int* fd : {&m_master, &m_slave, &m_wake[0], &m_wake[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void VirtualDeviceHost::Disconnect() {
  m_stop = true;
  if (m_wake[1] >= 0) {
    const char c = 0;
    [[maybe_unused]] auto n = ::write(m_wake[1], &c, 1);
  }
  if (m_thread.joinable()) m_thread.join();
  if (m_master >= 0) ::close(m_master);
  m_master = -1;
  if (m_slave >= 0) ::close(m_slave);
  m_slave = -1;
}

uint32_t VirtualDeviceHost::ReadSlaveBaud() const {
  struct termios2 tio {};
  if (m_slave < 0 || ::ioctl(m_slave, TCGETS2, &tio) != 0) return 0;
  return tio.c_ospeed;
}

uint32_t VirtualDeviceHost::LineBaud() const { return ReadSlaveBaud(); }

Clock::time_point VirtualDeviceHost::NextChunkTime(std::size_t* chunk_size) const {
  const Pending& reply = m_pending.front();
  auto start = std::max(reply.due, m_pacing ? m_line_free : reply.due);
  std::size_t chunk = reply.bytes.size();
  if (m_pacing) {
    // Pace in small chunks so the program sees bytes trickle in as on a wire.
    chunk = std::min<std::size_t>(chunk, 16);
    const uint32_t line_baud = ReadSlaveBaud();
    const uint32_t baud = reply.baud ? reply.baud : (line_baud ? line_baud : 19200);
    start += std::chrono::microseconds(chunk * 10u * 1000000u / baud);
  }
  if (chunk_size) *chunk_size = chunk;
  return start;
}

void VirtualDeviceHost::FlushDueReplies() {
  const auto now = Clock::now();
  while (!m_pending.empty()) {
    Pending& reply = m_pending.front();
    const uint32_t line_baud = ReadSlaveBaud();
    std::size_t chunk = 0;
    const auto start = NextChunkTime(&chunk);
    if (start > now) return;
    if (reply.baud != 0 && line_baud != reply.baud) {
      // Sent at a speed the program is not listening on: garbage on a real
      // line, nothing here.
      m_bytes_dropped += chunk;
    } else {
      std::size_t done = 0;
      while (done < chunk) {
        const ssize_t n = ::write(m_master, reply.bytes.data() + done, chunk - done);
        if (n > 0) {
          done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
          struct pollfd pfd {m_master, POLLOUT, 0};
          ::poll(&pfd, 1, 10);
          if (m_stop) return;
        } else {
          break;
        }
      }
      m_bytes_sent += done;
    }
    if (m_pacing) m_line_free = start;
    if (chunk == reply.bytes.size()) {
      m_pending.pop_front();
    } else {
      reply.bytes.erase(reply.bytes.begin(), reply.bytes.begin() + static_cast<std::ptrdiff_t>(chunk));
      reply.due = start;
    }
  }
}

void VirtualDeviceHost::Serve() {
  Link link(*this);
  std::vector<uint8_t> buffer(4096);
  while (!m_stop) {
    // Sleep until the next reply chunk is due (to the microsecond, so paced
    // replies neither arrive late nor keep a core spinning), at most 5 ms.
    auto wait = std::chrono::nanoseconds(std::chrono::milliseconds(5));
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_pending.empty()) {
        const auto left = NextChunkTime(nullptr) - Clock::now();
        wait = std::clamp<std::chrono::nanoseconds>(left, std::chrono::nanoseconds(0), wait);
      }
    }
    struct pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    struct timespec timeout {static_cast<time_t>(seconds.count()), static_cast<long>((wait - seconds).count())};
    ::ppoll(fds, 2, &timeout, nullptr);
    if (m_stop) break;
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint32_t baud_now = ReadSlaveBaud();
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
      if (n > 0) {
        m_bytes_received += static_cast<uint64_t>(n);
        // The program may have changed speed between writing these bytes and
        // this read (a pseudo-terminal has no line time to order the two), so
        // the speed seen at the previous wake-up counts as well.
        uint32_t baud = 0;
        if (m_model->ListensAt(baud_now)) {
          baud = baud_now;
        } else if (m_model->ListensAt(m_previous_baud)) {
          baud = m_previous_baud;
        }
        if (baud != 0) {
          m_model->OnReceive(buffer.data(), static_cast<std::size_t>(n), baud, link);
        } else {
          m_bytes_dropped += static_cast<uint64_t>(n);
        }
      }
    }
    m_previous_baud = baud_now;
    m_model->OnIdle(link);
    FlushDueReplies();
    if (m_hung_up) {
      // The far end goes away as an unplugged cable does; the model stays
      // for the test to inspect.
      m_pending.clear();
      for (int* fd : {&m_master, &m_slave}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
      }
      break;
    }
  }
}

}  // namespace corvel::sim
