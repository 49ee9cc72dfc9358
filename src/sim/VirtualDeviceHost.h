#pragma once
// Serves a DeviceModel on a pseudo-terminal. The host keeps the slave side open
// so the program may open and close the port freely, reads the speed the
// program set from the slave's termios, drops bytes sent at a speed the model
// is not listening on, and can pace replies at the line rate.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/DeviceModel.h"

namespace corvel::sim {

class VirtualDeviceHost {
 public:
  explicit VirtualDeviceHost(std::unique_ptr<DeviceModel> model);
  ~VirtualDeviceHost();
  VirtualDeviceHost(const VirtualDeviceHost&) = delete;
  VirtualDeviceHost& operator=(const VirtualDeviceHost&) = delete;

  // Opens the pseudo-terminal and starts serving; false (with a reason) on failure.
  bool Start(std::string* error = nullptr);
  void Stop();
  // Closes the far end as an unplugged cable would: the program's next read
  // or write fails.
  void Disconnect();
  const std::string& PortPath() const { return m_port_path; }

  // Replies go out at 10 bits per byte of the line speed instead of at once.
  void SetPacing(bool pace) { m_pacing = pace; }
  uint32_t LineBaud() const;

  // Runs f on the model with the serving thread held off.
  template <typename Model, typename F>
  auto WithModel(F&& f) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return f(static_cast<Model&>(*m_model));
  }

  uint64_t BytesReceived() const { return m_bytes_received; }
  uint64_t BytesSent() const { return m_bytes_sent; }
  uint64_t BytesDropped() const { return m_bytes_dropped; }

 private:
  class Link;
  struct Pending {
    std::chrono::steady_clock::time_point due;
    std::vector<uint8_t> bytes;
    uint32_t baud;
  };

  void Serve();
  void FlushDueReplies();
  // When the front reply's next chunk goes out, and its size; m_pending must
  // not be empty.
  std::chrono::steady_clock::time_point NextChunkTime(std::size_t* chunk_size) const;
  uint32_t ReadSlaveBaud() const;

  std::unique_ptr<DeviceModel> m_model;
  std::mutex m_mutex;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_pacing{false};
  bool m_hung_up = false;  // the model pulled the cable (serving thread only)
  int m_master = -1;
  int m_slave = -1;
  int m_wake[2] = {-1, -1};
  std::string m_port_path;
  std::deque<Pending> m_pending;
  std::chrono::steady_clock::time_point m_line_free;
  uint32_t m_previous_baud = 0;
  std::atomic<uint64_t> m_bytes_received{0};
  std::atomic<uint64_t> m_bytes_sent{0};
  std::atomic<uint64_t> m_bytes_dropped{0};
};

}  // namespace corvel::sim
