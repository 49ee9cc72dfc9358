#pragma once
// "Pyrel Kernel Uploader": the controller behind the window and the
// console's kernel commands. It owns the loaded kernel file, the starting
// address and the loader link, and talks to the person only through
// UserInterface.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/Outcome.h"
#include "core/protocol/kernel/KernelLink.h"
#include "core/tool/app/ToolEnv.h"

namespace corvel {

// The address as typed into "Kernel starting address:": blanks trimmed,
// case ignored; after an "X" hexadecimal, otherwise decimal. Nothing for
// any other text or a value beyond 32 bits.
std::optional<uint32_t> ParseKernelAddress(std::string_view text);
// "0x%.8X".
std::string FormatKernelAddress(uint32_t address);

// Why a kernel file did not load.
enum class KernelFileProblem { None, CannotOpen, NotRegular, TooLarge, Empty };

// The whole kernel file, or nothing when it is not a regular file, is empty,
// is larger than 8 MiB or cannot be read completely; problem, when given,
// says which.
std::optional<std::vector<uint8_t>> ReadKernelFile(const std::string& path, KernelFileProblem* problem = nullptr);

class KernelUploader {
 public:
  // What the window's edit boxes hold.
  struct Controls {
    std::string file_path;
    std::string address_text;
  };

  explicit KernelUploader(ToolEnv& env);

  // Banner, the stored file and address, then Connect (its outcome).
  ToolOutcome Open();
  ToolOutcome Connect();
  void Browse();
  void ViewFile();
  // The address box lost focus: parse it and rewrite it.
  bool AddressFieldLeft();
  ToolOutcome Program();
  ToolOutcome Start();
  // "Done": trace and free the file.
  void Close();

  Controls controls;
  bool Loaded() const { return m_loaded; }
  bool ViewEnabled() const { return m_loaded; }
  bool ProgramEnabled() const { return m_loaded; }
  uint32_t Address() const { return m_address; }
  const std::vector<uint8_t>& Image() const { return m_image; }
  // Why the file named last did not load, naming it; "" when it loaded or
  // none was named.
  std::string FileProblemText() const;
  KernelLink& Link() { return m_link; }

 private:
  // Loads controls.file_path; true when a file is loaded afterwards.
  bool LoadFile();
  LinkStatus UploadOnce();

  ToolEnv& m_env;
  KernelLink m_link;
  uint32_t m_address = 0;
  std::vector<uint8_t> m_image;
  bool m_loaded = false;
  KernelFileProblem m_file_problem = KernelFileProblem::None;
};

}  // namespace corvel
