#include "core/tool/dsp/DspUploader.h"

#include <algorithm>
#include <cctype>

#include "core/base/DebugLog.h"
#include "core/base/FileUtil.h"
#include "core/base/SettingsKeys.h"
#include "core/format/hex/IntelHex.h"
#include "core/tool/dsp/DspMessages.h"
#include "core/ui/HexViewer.h"

namespace corvel {

namespace {

constexpr int kConnectAttempts = 5;
// A read that reached high speed drops back once and then up to five more times.
constexpr int kReadSpeedDrops = 6;
constexpr int kProgramSpeedDrops = 1;
constexpr int kSpecialFlagBinary = 0x1;

struct InitialCaptions {
  const char* read;
  const char* program;
};
constexpr InitialCaptions kInitialCaptions[DspUploader::kRows] = {
    {"Read Flash", "Program firmware"},
    {"Read LUT", "Program LUTs"},
    {"Read Calibration", "Program Calibration"},
    {"Read Config", "Program FPGA Configuration"},
    {"Read Config", "Program FPGA Configuration"},
};

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Key(const std::string& board, const char* prefix, int row) {
  return board + prefix + std::to_string(row);
}

ToolOutcome FromLink(const LinkStatus& status) {
  if (status) return ToolOutcome::Done;
  return status.error().kind == LinkErrorKind::Cancelled ? ToolOutcome::Cancelled : ToolOutcome::Failed;
}

}  // namespace

DspUploader::DspUploader(ToolEnv& env) : m_env(env), m_loader(env.port) {
  m_rows[0].path = env.app.last_dsp_fw_file;
  for (int k = 0; k < kRows; ++k) {
    m_rows[k].read_caption = kInitialCaptions[k].read;
    m_rows[k].program_caption = kInitialCaptions[k].program;
  }
  m_title = dsp::text::Title(m_loader.BoardName());
}

void DspUploader::DropBuffer(Row& row) {
  row.buffer.clear();
  row.buffer.shrink_to_fit();
  row.loaded_path.clear();
  row.loaded = false;
}

void DspUploader::RefreshRow(int k, bool apply_defaults) {
  Row& row = m_rows[k];
  const DspMemorySection& s = m_loader.Section(k);
  if (!s.valid) {
    row.visible = row.enabled = row.view_enabled = false;
    row.label.clear();
    row.selected = false;
    return;
  }
  if (apply_defaults) {
    row.binary = (s.special_flags & kSpecialFlagBinary) != 0 || EqualsIgnoringCase(s.extension, "bit");
  }
  row.visible = row.enabled = true;
  row.view_enabled = row.loaded;
  row.program_caption = dsp::text::ProgramCaption(s.section_name);
  row.read_caption = dsp::text::ReadCaption(s.section_name);
  row.label = dsp::text::Label(s.section_name);
  row.selected = row.program;
}

void DspUploader::RefreshRows(bool apply_defaults) {
  bool any = false;
  for (int k = 0; k < kRows; ++k) {
    RefreshRow(k, apply_defaults);
    any = any || m_rows[k].selected;
  }
  m_title = dsp::text::Title(m_loader.BoardName());
  m_program_enabled = any && m_loader.Connected();
}

bool DspUploader::LoadRowFile(int k, const std::string& path, bool show_messages, bool recover) {
  Row& row = m_rows.at(k);
  const DspMemorySection& s = m_loader.Section(k);
  DropBuffer(row);
  enum class Loaded { No, Hex, Binary } loaded = Loaded::No;
  // A FIFO, a device or a folder would hang or mislead a load.
  if (s.size != 0 && s.size <= kMaxSectionBytes && IsRegularFile(path)) {
    row.buffer.assign(s.size, 0xFF);
    if (!row.binary && LoadIntelHexFile(path, row.buffer.data(), s.size, recover) == HexLoadResult::Ok) {
      loaded = Loaded::Hex;
    } else {
      // What a failed hex read left, or a shorter raw file would not cover,
      // must not be programmed: the buffer starts blank.
      std::fill(row.buffer.begin(), row.buffer.end(), 0xFF);
      if (LoadBinaryFile(path, row.buffer.data(), s.size)) loaded = Loaded::Binary;
    }
  }
  if (loaded != Loaded::No) {
    row.loaded_path = path;
    row.loaded = true;
    if (show_messages) {
      if (loaded == Loaded::Hex) {
        m_env.ui.Inform(dsp::text::VerifiedFile(s.section_name));
      } else {
        m_env.ui.Warn(dsp::text::LoadedAsBinary(s.section_name));
      }
    }
    RefreshRows(false);
    return true;
  }
  DropBuffer(row);
  if (!row.binary && !recover && show_messages) {
    if (m_env.ui.AskYesNo(dsp::text::RecoverQuestion(s.section_name))) return LoadRowFile(k, path, show_messages, true);
  } else if (show_messages) {
    m_env.ui.Plain(dsp::text::InvalidFile(s.section_name));
  }
  RefreshRows(false);
  return false;
}

void DspUploader::SetBinary(int k, bool on) {
  Row& row = m_rows.at(k);
  if (row.binary != on) DropBuffer(row);
  row.binary = on;
}

void DspUploader::Browse(int k) {
  const DspMemorySection& s = m_loader.Section(k);
  FileDialogRequest request;
  request.open = true;
  request.default_extension = s.extension;
  request.initial_name = m_rows.at(k).path;
  request.filter = dsp::text::Filter(s.section_name, s.extension);
  request.must_exist = true;
  if (auto chosen = m_env.ui.ChooseFile(request)) {
    m_rows[k].path = *chosen;
    LoadRowFile(k, *chosen, true, false);
  }
  RefreshRows(false);
}

void DspUploader::BinaryToggled(int k, bool on) {
  m_rows.at(k).binary = on;
  // Nothing to load from an empty box.
  if (!m_rows[k].path.empty()) LoadRowFile(k, m_rows[k].path, true, false);
  RefreshRows(false);
}

bool DspUploader::ProgramToggled(int k, bool on) {
  Row& row = m_rows.at(k);
  // A row the board's map does not have cannot be programmed: ticking it
  // would let a run pass over the file as if it had gone in.
  if (on && !row.visible) return false;
  row.program = on;
  RefreshRows(false);
  return true;
}

void DspUploader::ViewFile(int k) {
  const Row& row = m_rows.at(k);
  if (row.loaded) ShowHexViewer(m_env.ui, row.buffer.data(), row.buffer.size(), false);
  RefreshRows(false);
}

void DspUploader::StoreRowSettings() {
  const std::string& board = m_loader.BoardName();
  for (int k = 0; k < kStoredRows; ++k) {
    m_env.store.PutText(Key(board, keys::kDspLastFilePrefix, k), m_rows[k].path);
    m_env.store.PutInt(Key(board, keys::kDspProgFilePrefix, k), m_rows[k].program ? 1 : 0);
  }
}

void DspUploader::LoadRowSettings() {
  const std::string& board = m_loader.BoardName();
  for (int k = 0; k < kStoredRows; ++k) {
    m_rows[k].path = m_env.store.GetText(Key(board, keys::kDspLastFilePrefix, k), "");
    m_rows[k].program = m_env.store.GetInt(Key(board, keys::kDspProgFilePrefix, k), k == 0 ? 1 : 0) != 0;
  }
}

ToolOutcome DspUploader::Connect() {
  StoreRowSettings();
  bool connected = false;
  const auto deadline = std::chrono::steady_clock::now() + kConnectBudget;
  for (int n = 1; n <= kConnectAttempts && !connected && std::chrono::steady_clock::now() < deadline; ++n) {
    if (m_loader.Connect(deadline)) {
      DebugPrintf("Connected to DSP on attempt #%d", n);
      connected = true;
    }
  }
  RefreshRows(true);
  if (!connected) {
    m_env.ui.Error(dsp::text::kCannotConnect);
    return ToolOutcome::Failed;
  }
  LoadRowSettings();
  RefreshRows(false);
  m_env.ui.Inform(dsp::text::kConnected);
  return ToolOutcome::Done;
}

void DspUploader::Open() {
  Connect();
  const uint32_t sections = m_loader.NumSections();
  for (uint32_t k = 0; k < sections && k < kRows; ++k) {
    if (!m_rows[k].path.empty()) LoadRowFile(static_cast<int>(k), m_rows[k].path, true, false);
  }
  for (uint32_t k = sections; k < kRows; ++k) m_rows[k].program = false;
  RefreshRows(false);
  TraceToolBanner(dsp::text::kToolName);
}

void DspUploader::Close() {
  m_env.port.Close();
  if (!m_loader.BoardName().empty()) StoreRowSettings();
}

DspUploader::RowResult DspUploader::ProgramRow(int k, bool& high, ProgressWindow* progress) {
  RefreshRows(false);
  Row& row = m_rows[k];
  const DspMemorySection& s = m_loader.Section(k);
  if (s.valid && !row.path.empty() && row.program) {
    if (row.path != row.loaded_path) LoadRowFile(k, row.path, true, false);
    // A checked row without a usable file is not programmed, and must not
    // pass for programmed.
    if (!row.loaded) return RowResult::Failed;
    ProgressWindowMonitor monitor(progress);
    const LinkStatus programmed = m_loader.ProgramFlashSection(high, row.buffer, s.size, s.start_address,
                                                               s.requires_duplicate != 0, &monitor);
    if (!programmed) {
      DebugPrintf("Failed at programming flash section");
      return programmed.error().kind == LinkErrorKind::Cancelled ? RowResult::Cancelled : RowResult::Failed;
    }
    if (s.requires_checksum != 0 && !m_loader.ComposeChecksum()) {
      DebugPrintf("Checksum composition failed");
      return RowResult::Failed;
    }
    if (progress) progress->SetPos(100);
  }
  DebugPrintf("Programming %s successful", s.section_name.c_str());
  return RowResult::Ok;
}

ToolOutcome DspUploader::ProgramNewFirmware() {
  DebugPrintf("Program Firmware Button");
  DspSpeedSession speed(m_loader, kProgramSpeedDrops);
  bool tried = false;
  auto progress = m_env.ui.MakeProgressWindow(kCaptionSendingDataToDevice);
  progress->Create();
  ToolOutcome outcome = ToolOutcome::Failed;
  for (;;) {
    if (!m_loader.Connected() && !m_loader.Connect(std::chrono::steady_clock::now() + kConnectBudget)) {
      m_env.ui.Warn(dsp::text::kUnableToConnect);
      break;
    }
    if (TurboWanted() && !speed.high() && !tried) {
      tried = true;
      if (m_loader.ChangeCommSpeed(true)) {
        speed.high() = true;
      } else if (!m_loader.ChangeCommSpeed(false) && !m_loader.ChangeCommSpeed(false)) {
        m_env.ui.Warn(dsp::text::kUnableToConnect);
        break;
      }
    }
    const uint32_t rows = std::min<uint32_t>(m_loader.NumSections(), kRows);
    RowResult failed = RowResult::Ok;
    for (uint32_t k = 0; k < rows && failed == RowResult::Ok; ++k) {
      failed = ProgramRow(static_cast<int>(k), speed.high(), progress.get());
      if (failed != RowResult::Ok) DebugPrintf("Failure in section %u", k);
    }
    if (failed != RowResult::Ok) {
      if (m_env.ui.AskYesNo(dsp::text::kRetryQuestion, MessageIcon::Question, true)) continue;
      outcome = failed == RowResult::Cancelled ? ToolOutcome::Cancelled : ToolOutcome::Failed;
      break;
    }
    if (rows == 0) {
      outcome = ToolOutcome::NothingDone;
      break;
    }
    m_env.ui.Inform(dsp::text::kProgrammed);
    outcome = ToolOutcome::Done;
    break;
  }
  speed.End();
  progress->DestroyWindow();
  RefreshRows(false);
  return outcome;
}

ToolOutcome DspUploader::SaveReadBack(int k, const std::vector<uint8_t>& bytes) {
  const DspMemorySection& s = m_loader.Section(k);
  FileDialogRequest request;
  request.open = false;
  request.default_extension = s.extension;
  request.overwrite_prompt = true;
  request.filter = dsp::text::Filter(s.section_name, s.extension);
  const auto path = m_env.ui.ChooseFile(request);
  if (!path) return ToolOutcome::Cancelled;
  const bool saved = m_rows[k].binary ? SaveBinaryFile(*path, bytes.data(), bytes.size())
                                      : SaveIntelHex(*path, bytes.data(), static_cast<uint32_t>(bytes.size()));
  if (saved) return ToolOutcome::Done;
  // A refused disk must not look like a saved read-back.
  m_env.ui.Error(dsp::text::CannotWrite(*path));
  return ToolOutcome::Failed;
}

ToolOutcome DspUploader::VerifyReadBack(int k, const std::vector<uint8_t>& bytes) {
  const DspMemorySection& s = m_loader.Section(k);
  FileDialogRequest request;
  request.open = true;
  request.must_exist = true;
  request.default_extension = s.extension;
  request.filter = dsp::text::Filter(s.section_name, s.extension);
  const auto path = m_env.ui.ChooseFile(request);
  if (!path) return ToolOutcome::Cancelled;
  std::vector<uint8_t> on_disk(bytes.size(), 0xFF);
  bool loaded = false;
  if (IsRegularFile(*path)) {
    loaded = m_rows[k].binary ? LoadBinaryFile(*path, on_disk.data(), on_disk.size())
                              : LoadIntelHex(*path, on_disk.data(), static_cast<uint32_t>(on_disk.size()), false);
  }
  if (!loaded) {
    m_env.ui.Plain(dsp::text::kInvalidFileOnDisk);
    return ToolOutcome::Failed;
  }
  if (on_disk == bytes) {
    m_env.ui.Inform(dsp::text::kVerifiedFile);
    return ToolOutcome::Done;
  }
  m_env.ui.Plain(dsp::text::kFlashDiffers);
  return ToolOutcome::Failed;
}

ToolOutcome DspUploader::Read(int k) {
  const DspMemorySection& s = m_loader.Section(k);
  if (!s.valid) return ToolOutcome::NothingDone;
  const ReadBackOption option = m_env.ui.ChooseReadBackOption();
  if (option == ReadBackOption::Cancel) return ToolOutcome::Cancelled;
  if (s.size == 0 || s.size > kMaxSectionBytes) {
    m_env.ui.Warn(dsp::text::kErrorInReading);
    return ToolOutcome::Failed;
  }
  std::vector<uint8_t> bytes(s.size, 0xFF);
  auto progress = m_env.ui.MakeProgressWindow(kCaptionReadingDataFromDevice);
  LinkStatus read;
  {
    DspSpeedSession speed(m_loader, kReadSpeedDrops);
    if (TurboWanted()) {
      if (m_loader.ChangeCommSpeed(true)) {
        speed.high() = true;
      } else {
        (void)m_loader.ChangeCommSpeed(false);
      }
    }
    progress->Create();
    ProgressWindowMonitor monitor(progress.get());
    read = m_loader.ReadFlashSection(speed.high(), bytes, s.size, s.start_address, &monitor);
  }
  ToolOutcome outcome = FromLink(read);
  if (!read) {
    m_env.ui.Warn(dsp::text::kErrorInReading);
  } else if (option == ReadBackOption::Save) {
    outcome = SaveReadBack(k, bytes);
  } else if (option == ReadBackOption::View) {
    ShowHexViewer(m_env.ui, bytes.data(), bytes.size(), false);
  } else {
    outcome = VerifyReadBack(k, bytes);
  }
  progress->DestroyWindow();
  RefreshRows(false);
  return outcome;
}

ToolOutcome DspUploader::StartApplication() {
  const LinkStatus started = m_loader.StartApp();
  if (started) {
    m_env.ui.Inform(dsp::text::kRunning);
  } else {
    m_env.ui.Error(dsp::text::kNotResponding);
  }
  RefreshRows(false);
  return started ? ToolOutcome::Done : ToolOutcome::Failed;
}

}  // namespace corvel
