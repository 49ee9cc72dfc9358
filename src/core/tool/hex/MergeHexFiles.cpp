#include "core/tool/hex/MergeHexFiles.h"

#include <vector>

#include "core/format/hex/FlashLayout.h"
#include "core/tool/hex/HexToolTexts.h"
#include "core/tool/hex/HexTools.h"
#include "core/format/hex/IntelHex.h"

namespace corvel {

MergeHexFiles::MergeHexFiles(ToolEnv& env)
    : m_first_file(env.app.last_merge_file1), m_second_file(env.app.last_merge_file2), m_env(env) {
  TraceToolBanner(kMergeHexFilesBanner);
}

void MergeHexFiles::BrowseFirstFile() {
  if (auto chosen = m_env.ui.ChooseFile(HexOpenRequest(m_first_file))) m_first_file = *chosen;
}

void MergeHexFiles::BrowseSecondFile() {
  if (auto chosen = m_env.ui.ChooseFile(HexOpenRequest(m_second_file))) m_second_file = *chosen;
}

bool MergeHexFiles::Merge() {
  // Types are compared as texts: "fw.bin" and "fw.txt" are different types
  // before either is found unknown.
  if (HexFileTypeText(m_first_file) != HexFileTypeText(m_second_file)) {
    m_env.ui.Error(kDifferentFileTypes);
    return false;
  }
  const HexFileType first_type = HexFileTypeOf(m_first_file);
  if (first_type == HexFileType::Unknown) {
    m_env.ui.Error(kUnrecognizedFileTypes);
    return false;
  }
  m_env.app.last_merge_file1 = m_first_file;
  m_env.app.last_merge_file2 = m_second_file;

  // A file that does not load whole is refused: merging only the records
  // read before the bad one would save an image that silently lacks code.
  const uint32_t size = ImageSizeFor(first_type);
  std::vector<uint8_t> first(size), second(size);
  for (auto [path, image] : {std::pair{&m_first_file, &first}, std::pair{&m_second_file, &second}}) {
    if (!LoadHexFileOrSay(m_env.ui, *path, image->data(), size, {kInputFileFormatInvalid, MessageIcon::Error})) {
      return false;
    }
  }
  for (uint32_t at = 0; at < size; ++at) {
    const uint8_t b = second[at];
    if (b == kErasedByte || b == first[at]) continue;
    if (first[at] != kErasedByte) {
      m_env.ui.Error(kMergeOverlap);
      return false;
    }
    first[at] = b;
  }

  const auto target = m_env.ui.ChooseFile(HexSaveRequest(""));
  if (!target) return false;
  if (!SaveIntelHex(*target, first.data(), size)) {
    m_env.ui.Error(FormatFileMessage(kCannotWriteFile, *target));
    return false;
  }
  return true;
}

}  // namespace corvel
