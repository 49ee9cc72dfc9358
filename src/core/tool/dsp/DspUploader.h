#pragma once
// "Upload DSP Firmware": the controller behind the window and the console's
// dsp commands. Five image rows bound by index to the loader's memory
// sections; which rows show, their captions, file types and Binary File
// defaults all follow the memory map, so one window serves every board.
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/base/Outcome.h"
#include "core/protocol/dsp/DSPLoader.h"
#include "core/tool/app/ToolEnv.h"

namespace corvel {

class DspUploader {
 public:
  // A whole connect attempt (five wake-ups, each with up to three map
  // requests) is bounded: on a dead line with the longest additional
  // time-out each exchange waits over 30 s. No request starts after the
  // budget; the one under way ends at its time-out.
  static constexpr std::chrono::milliseconds kConnectBudget{60'000};

  static constexpr int kRows = 5;
  // Rows 0..3 keep their files per board; row 4 is not stored.
  static constexpr int kStoredRows = 4;
  // No board has sections near this; a map that claims more is not trusted
  // with an allocation.
  static constexpr uint32_t kMaxSectionBytes = 64u << 20;

  struct Row {
    std::string path;         // the edit box
    std::string loaded_path;  // the file whose bytes are in buffer
    bool loaded = false;
    std::vector<uint8_t> buffer;
    bool program = false;  // "Program %s"
    bool binary = false;   // "Binary File"
    // What the window shows.
    bool visible = true;
    bool enabled = true;
    bool view_enabled = false;
    bool selected = false;
    std::string label;
    std::string program_caption;
    std::string read_caption;
  };

  explicit DspUploader(ToolEnv& env);

  // Connect, load the rows' files, banner.
  void Open();
  // Store the rows' files under the board's name; closes the port.
  void Close();
  ToolOutcome Connect();
  ToolOutcome ProgramNewFirmware();
  ToolOutcome Read(int row);
  ToolOutcome StartApplication();
  void Browse(int row);
  void ViewFile(int row);
  void BinaryToggled(int row, bool on);
  // False (and the row left off) when the row is not on the board.
  bool ProgramToggled(int row, bool on);
  // The edit box's text.
  void SetPath(int row, std::string path) { m_rows.at(row).path = std::move(path); }
  // Sets the Binary File box without loading; a buffer loaded the other way is dropped.
  void SetBinary(int row, bool on);
  bool LoadRowFile(int row, const std::string& path, bool show_messages, bool recover);
  void RefreshRows(bool apply_defaults);

  const Row& GetRow(int row) const { return m_rows.at(row); }
  const std::string& Title() const { return m_title; }
  bool ProgramEnabled() const { return m_program_enabled; }
  bool Connected() const { return m_loader.Connected(); }
  CDSPLoader& Loader() { return m_loader; }

 private:
  enum class RowResult { Ok, Failed, Cancelled };
  RowResult ProgramRow(int row, bool& high, ProgressWindow* progress);
  void RefreshRow(int row, bool apply_defaults);
  void StoreRowSettings();
  void LoadRowSettings();
  void DropBuffer(Row& row);
  bool TurboWanted() const { return m_env.app.use_turbo_baud_rate != 0; }
  ToolOutcome SaveReadBack(int row, const std::vector<uint8_t>& bytes);
  ToolOutcome VerifyReadBack(int row, const std::vector<uint8_t>& bytes);

  ToolEnv& m_env;
  CDSPLoader m_loader;
  std::array<Row, kRows> m_rows;
  std::string m_title;
  bool m_program_enabled = false;
};

}  // namespace corvel
