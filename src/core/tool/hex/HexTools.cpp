#include "core/tool/hex/HexTools.h"

#include <vector>

#include "core/format/hex/FlashLayout.h"
#include "core/tool/hex/HexToolTexts.h"
#include "core/format/hex/IntelHex.h"
#include "core/ui/HexViewer.h"

namespace corvel {

FileDialogRequest HexOpenRequest(const std::string& current_path) {
  FileDialogRequest request;
  request.open = true;
  request.filter = kHexOpenFilter;
  request.default_extension = kHexDefaultExtension;
  request.initial_name = current_path;
  request.must_exist = true;
  return request;
}

FileDialogRequest HexSaveRequest(const std::string& initial_name) {
  FileDialogRequest request;
  request.open = false;
  request.filter = kHexSaveFilter;
  request.default_extension = kHexDefaultExtension;
  request.initial_name = initial_name;
  request.overwrite_prompt = true;
  return request;
}

std::string FormatFileMessage(const char* format, const std::string& path) {
  std::string text = format;
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

bool LoadHexFileOrSay(UserInterface& ui, const std::string& path, uint8_t* buffer, uint32_t size,
                      InvalidHexMessage invalid) {
  const HexLoad load = ReadIntelHexFile(path, buffer, size);
  if (load) return true;
  switch (load.error().kind) {
    case HexErrorKind::CannotOpen:
      ui.Error(FormatFileMessage(kCannotOpenFile, path));
      return false;
    case HexErrorKind::NotAFile:  // a folder, pipe or device holds no image
    case HexErrorKind::NoRecords:
    case HexErrorKind::ReadFailed:
      // Nothing was read: there is no part to count, whatever the caller allows.
      ui.ShowMessage({kInputFileFormatInvalid, invalid.text ? invalid.icon : MessageIcon::Exclamation,
                      MessageButtons::Ok});
      return false;
    default:
      if (!invalid.text) return true;
      ui.ShowMessage({invalid.text, invalid.icon, MessageButtons::Ok});
      return false;
  }
  return false;
}

std::optional<std::vector<uint8_t>> LoadHexFileToView(UserInterface& ui, const std::string& path,
                                                      std::optional<uint32_t> size) {
  if (!size) {
    const uint32_t by_type = ImageSizeFor(HexFileTypeOf(path));
    if (by_type == 0) {
      ui.Warn(kFileTypeNotRecognized);
      return std::nullopt;
    }
    size = by_type;
  }
  if (*size == 0) {
    ui.Warn(kInputFileFormatInvalid);
    return std::nullopt;
  }
  std::vector<uint8_t> image(*size);
  if (!LoadHexFileOrSay(ui, path, image.data(), *size, {kInputFileFormatInvalid, MessageIcon::Exclamation})) {
    return std::nullopt;
  }
  return image;
}

bool ViewHexFile(UserInterface& ui, const std::string& path, std::optional<uint32_t> size, bool trim) {
  const auto image = LoadHexFileToView(ui, path, size);
  if (!image) return false;
  ShowHexViewer(ui, image->data(), image->size(), trim);
  return true;
}

}  // namespace corvel
