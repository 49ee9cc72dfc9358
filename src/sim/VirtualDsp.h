#pragma once
// A virtual DSP board in its flash boot loader: it answers the wake-up, tells
// its memory map (or, as older loaders do, that it has none), switches line
// speed, takes raw and run-length compressed pages into its block buffer,
// commits blocks after two waits, composes a checksum, reads pages back and
// starts the application. It checks every frame it is sent, holds its flash
// so tests compare it with the image, and can be told to misbehave. Its
// frame and compression code are its own, not the program's.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

namespace corvel::sim {

class VirtualDsp : public DeviceModel {
 public:
  static constexpr uint32_t kLowBaud = 19200;
  static constexpr uint32_t kHighBaud = 115200;
  static constexpr uint32_t kFlashSize = 0x800000;

  struct Section {
    std::string name;
    std::string extension;
    uint32_t start = 0;
    uint32_t size = 0;
    uint32_t requires_checksum = 0;
    uint32_t requires_duplicate = 0;
    uint32_t special_flags = 0;
  };
  struct Map {
    uint32_t board_id = 0x00000051;
    uint32_t loader_version = 0x00020001;
    std::string board_name = "QXBD51";
    uint32_t block_size = 0x20000;
    uint32_t min_address = 0x20000;
    uint32_t max_address = 0x3FFFFF;
    std::vector<Section> sections;
    std::optional<uint32_t> claimed_sections;  // the count the reply states, when not the real one
    std::optional<std::size_t> reply_length;   // cut the reply to this many data bytes
  };
  // Firmware, look-up tables, calibration (kept twice) and two FPGA images.
  static Map DefaultMap();

  struct Timing {
    uint32_t commit_wait_ms = 0;   // what each of the commit's two waits states
    uint32_t commit_work_ms = 0;   // how long the commit really takes before its acknowledge
    uint32_t compose_wait_ms = 0;  // stated and taken by the checksum composition
    // Start a reply only once the request's last byte would have arrived at
    // 10 bits per byte (with the host's pacing, replies then take line time too).
    bool wait_for_request = false;
  };

  struct Faults {
    bool silent = false;              // answers nothing
    bool no_map = false;              // answers the map request with "not supported"
    bool ignore_wake_up = false;      // the wake-up goes unanswered
    uint32_t deaf_at = 0;             // never hears this rate
    bool ignore_speed_up = false;     // a request for 115200 goes unanswered
    int ack_commit_at_once = 0;       // this many commits are acknowledged without the waits
    int corrupt_replies = 0;          // this many replies carry a bad frame checksum
    int short_read_replies = 0;       // this many page reads come one byte short
    int high_speed_dies_after_pages = -1;  // after this many pages at 115200 the loader falls back to 19200 unheard
    bool garbage_after_switch = false;     // answers the first request at a new rate with noise, once
  };

  VirtualDsp();

  bool ListensAt(uint32_t baud) const override;
  void OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) override;

  // State (under the host's lock).
  Map map;
  Timing timing;
  Faults faults;
  uint32_t speed = kLowBaud;
  bool running = false;  // the application was started; the loader is gone
  std::vector<uint8_t> flash;
  std::vector<uint8_t> block_buffer;
  uint32_t composed_checksum = 0;

  struct Counters {
    int wake_ups = 0;
    int map_requests = 0;
    int raw_pages = 0;
    int rle_pages = 0;
    int bad_pages = 0;      // a page whose stream or size did not hold
    int bad_frames = 0;     // a frame whose checksum did not hold
    int garbage_bytes = 0;  // bytes outside any frame
    int bad_commits = 0;    // a commit whose block checksum did not match the buffer
    int speed_changes = 0;
    int reads = 0;
    int composes = 0;
    int starts = 0;
    int high_speed_pages = 0;
    std::vector<uint32_t> commits;        // target addresses of the blocks programmed, in order
    std::vector<uint32_t> page_addresses;  // of every page taken, in order
  } counters;

  // The page size the loader works with.
  uint32_t PageSize() const;

 private:
  void HandleFrame(const std::vector<uint8_t>& frame, uint32_t baud, DeviceLink& link);
  void HandlePage(uint8_t type, uint32_t address, const uint8_t* data, std::size_t n, uint32_t baud, DeviceLink& link);
  void HandleCommit(uint32_t address, const uint8_t* data, std::size_t n, DeviceLink& link, uint32_t delay);
  void Reply(DeviceLink& link, uint8_t type, uint32_t address, const std::vector<uint8_t>& data, uint32_t delay_ms,
             uint32_t baud = 0);
  std::vector<uint8_t> MapReply() const;

  std::vector<uint8_t> m_rx;
  std::chrono::steady_clock::time_point m_last_byte;
  bool m_noise_due = false;
};

// The loader's own view of the wire, written apart from the program's.
uint16_t DspFrameCheck(const uint8_t* bytes, std::size_t n);
// Expands a compressed page; false when the stream is malformed or its
// trailer does not match what it expands to.
bool DspExpandPage(const uint8_t* data, std::size_t n, std::vector<uint8_t>& out);

}  // namespace corvel::sim
