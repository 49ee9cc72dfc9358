#pragma once
// What the Checksum Generator and Merge Hex Files windows say, byte for byte.
namespace corvel {

inline constexpr const char* kChecksumGeneratorTitle = "Checksum Generator";
inline constexpr const char* kMergeHexFilesTitle = "Select Hex Files to Merge";
// The names their trace banners carry.
inline constexpr const char* kChecksumGeneratorBanner = "Checksum Generator";
inline constexpr const char* kMergeHexFilesBanner = "Merge Hex Files";

// Controls.
inline constexpr const char* kSelectFlashFileLabel = "Please select a flash file to use:";
inline constexpr const char* kGeneratedChecksumLabel = "Generated Checksum:";
inline constexpr const char* kMergeBootLoaderLabel = "Merge in the bootloader section from the following file:";
inline constexpr const char* kBrowseButton = "Browse";
inline constexpr const char* kGenerateButton = "Generate!";
inline constexpr const char* kApplyButton = "Apply to File";
inline constexpr const char* kCloseButton = "Close";
inline constexpr const char* kSelectFirstHexFileLabel = "Please select the first hex file:";
inline constexpr const char* kSelectSecondHexFileLabel = "Please select the second hex file:";
inline constexpr const char* kMergeButton = "Merge";

// File dialogs.
inline constexpr const char* kHexOpenFilter = "Flash Files (*.hex)|*.hex|EEPROM Files (*.eep)|*.eep|All Files (*.*)|*.*||";
inline constexpr const char* kHexSaveFilter = "Flash Files (*.hex)|*.hex|All Files (*.*)|*.*||";
inline constexpr const char* kHexDefaultExtension = "hex";

// Messages.
inline constexpr const char* kFileTypeNotRecognized = "This file type is not recognized";
inline constexpr const char* kInputFileFormatInvalid = "The input file format is invalid.";
inline constexpr const char* kEepromNotSupported = "This option is not supported for EEPROM files";
inline constexpr const char* kBootLoaderFormatInvalid = "The bootloader file format is invalid.";
inline constexpr const char* kBootLoaderAreaInUse = "The destination file already has code in the bootloader area.";
inline constexpr const char* kDifferentFileTypes = "These are different file types and cannot be merged!";
inline constexpr const char* kUnrecognizedFileTypes = "These are unrecognized file types and cannot be merged!";
inline constexpr const char* kMergeOverlap = "Merge failed, since these files overlap!";
// The file layer's reports: a file that cannot be opened, a save the disk refused.
inline constexpr const char* kCannotOpenFile = "The file %s could not be opened.";
inline constexpr const char* kCannotWriteFile = "The file %s could not be written.";

}  // namespace corvel
