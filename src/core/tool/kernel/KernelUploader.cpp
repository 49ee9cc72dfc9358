#include "core/tool/kernel/KernelUploader.h"

#include <cstdio>

#include "core/base/DebugLog.h"
#include "core/base/FileUtil.h"
#include "core/base/Text.h"
#include "core/tool/kernel/KernelMessages.h"
#include "core/ui/HexViewer.h"

namespace corvel {

using namespace kernel;

std::optional<uint32_t> ParseKernelAddress(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  unsigned base = 10;
  if (const auto x = text.find_first_of("xX"); x != std::string_view::npos) {
    text = text.substr(x + 1);
    base = 16;
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    // An address beyond 32 bits would otherwise wrap to some other address.
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::string FormatKernelAddress(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%.8X", address);
  return text;
}

std::optional<std::vector<uint8_t>> ReadKernelFile(const std::string& path, KernelFileProblem* problem) {
  KernelFileProblem ignored;
  KernelFileProblem& why = problem ? *problem : ignored;
  why = KernelFileProblem::None;
  // Only a regular file within the loader's memory, so a FIFO or a device
  // never stalls the window.
  const auto text = ReadRegularFile(path, kMaxKernelSize);
  if (!text) {
    switch (text.error().kind) {
      case FileReadErrorKind::NotRegular: why = KernelFileProblem::NotRegular; break;
      case FileReadErrorKind::TooLarge: why = KernelFileProblem::TooLarge; break;
      case FileReadErrorKind::Missing:
      case FileReadErrorKind::Unreadable: why = KernelFileProblem::CannotOpen; break;
    }
    return std::nullopt;
  }
  if (text->empty()) {
    why = KernelFileProblem::Empty;
    return std::nullopt;
  }
  return std::vector<uint8_t>(text->begin(), text->end());
}

namespace {

// The progress window of one upload, closed on every way out.
class ProgressMonitor : public TransferMonitor {
 public:
  explicit ProgressMonitor(UserInterface& ui) : m_window(ui.MakeProgressWindow(kCaptionSendingDataToDevice)) {
    if (m_window) m_window->Create();
  }
  ~ProgressMonitor() override {
    if (m_window) m_window->DestroyWindow();
  }
  bool CancelRequested() override { return m_window && m_window->CheckCancelButton(); }
  void SetPos(int percent) override {
    if (m_window) m_window->SetPos(percent);
  }

 private:
  std::unique_ptr<ProgressWindow> m_window;
};

}  // namespace

KernelUploader::KernelUploader(ToolEnv& env) : m_env(env), m_link(env.port) {}

ToolOutcome KernelUploader::Open() {
  TraceToolBanner(text::kToolName);
  controls.file_path = m_env.app.last_ppc_kernel_file;
  LoadFile();
  m_address = static_cast<uint32_t>(m_env.app.last_ppc_kernel_address);
  controls.address_text = FormatKernelAddress(m_address);
  return Connect();
}

bool KernelUploader::LoadFile() {
  m_image.clear();
  m_image.shrink_to_fit();
  m_loaded = false;
  m_file_problem = KernelFileProblem::None;
  if (controls.file_path.empty()) return false;
  auto bytes = ReadKernelFile(controls.file_path, &m_file_problem);
  if (!bytes) return false;
  m_image = std::move(*bytes);
  m_loaded = true;
  m_env.app.last_ppc_kernel_file = controls.file_path;
  return true;
}

std::string KernelUploader::FileProblemText() const {
  const char* path = controls.file_path.c_str();
  switch (m_file_problem) {
    case KernelFileProblem::None: return {};
    case KernelFileProblem::CannotOpen: return Format(text::kFileCannotBeOpened, path);
    case KernelFileProblem::NotRegular: return Format(text::kFileNotRegular, path);
    case KernelFileProblem::TooLarge: return Format(text::kFileTooLarge, path, kMaxKernelSize);
    case KernelFileProblem::Empty: return Format(text::kFileEmpty, path);
  }
  return {};
}

bool KernelUploader::AddressFieldLeft() {
  const auto parsed = ParseKernelAddress(controls.address_text);
  if (parsed) {
    m_address = *parsed;
    m_env.app.last_ppc_kernel_address = static_cast<int>(m_address);
    DebugPrintf("New kernel address: 0x%.8X", m_address);
  }
  // The box shows the address in force before any message.
  controls.address_text = FormatKernelAddress(m_address);
  if (!parsed) m_env.ui.Warn(text::kInvalidAddress);
  return parsed.has_value();
}

ToolOutcome KernelUploader::Connect() {
  AddressFieldLeft();
  DebugPrintf("Attempting to connect to PowerPC");
  if (!m_link.ProbeKernel()) {
    m_env.ui.Error(text::kCouldNotConnect);
    return ToolOutcome::Failed;
  }
  return ToolOutcome::Done;
}

void KernelUploader::Browse() {
  FileDialogRequest request;
  request.open = true;
  request.filter = text::kFileFilter;
  request.default_extension = text::kFileExtension;
  request.initial_name = controls.file_path;
  request.must_exist = true;
  const auto chosen = m_env.ui.ChooseFile(request);
  if (!chosen) return;
  controls.file_path = *chosen;
  if (LoadFile()) {
    m_env.ui.Inform(text::kVerifiedFile);
  } else {
    m_env.ui.Plain(text::kInvalidFile);
  }
  AddressFieldLeft();
}

void KernelUploader::ViewFile() {
  if (m_loaded) ShowHexViewer(m_env.ui, m_image.data(), m_image.size(), true);
}

LinkStatus KernelUploader::UploadOnce() {
  ProgressMonitor monitor(m_env.ui);
  return m_link.UploadKernel(m_image, m_address, monitor);
}

ToolOutcome KernelUploader::Program() {
  DebugPrintf("Entering programming sequence");
  // The kernel goes only where the person said: after a refused address
  // nothing is sent, rather than the kernel going to the previous one.
  if (!AddressFieldLeft()) return ToolOutcome::NothingDone;
  // A file that no longer loads is refused, never sent as an empty image.
  if (!LoadFile()) {
    m_env.ui.Plain(text::kInvalidFile);
    return ToolOutcome::NothingDone;
  }
  for (;;) {
    const LinkStatus sent = UploadOnce();
    if (sent) {
      DebugPrintf("Programmed kernel file %s (size: %d bytes) successfully at address 0x%.8X",
                  controls.file_path.c_str(), static_cast<int>(m_image.size()), m_address);
      return ToolOutcome::Done;
    }
    if (!m_env.ui.AskYesNo(text::kRetryProgramming, MessageIcon::Question, true)) {
      return sent.error().kind == LinkErrorKind::Cancelled ? ToolOutcome::Cancelled : ToolOutcome::Failed;
    }
  }
}

ToolOutcome KernelUploader::Start() {
  if (!AddressFieldLeft()) return ToolOutcome::NothingDone;
  DebugPrintf("Starting application at address %#X", m_address);
  return m_link.StartKernel(m_address) ? ToolOutcome::Done : ToolOutcome::Failed;
}

void KernelUploader::Close() {
  DebugPrintf("Closing Power PC Kernel Uploader");
  m_image.clear();
  m_image.shrink_to_fit();
  m_loaded = false;
}

}  // namespace corvel
