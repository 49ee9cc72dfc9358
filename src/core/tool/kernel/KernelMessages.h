#pragma once
// The "Pyrel Kernel Uploader" texts, byte for byte as the person sees them.
namespace corvel::kernel::text {

inline constexpr const char* kWindowTitle = "Pyrel Kernel Uploader";
inline constexpr const char* kToolName = "Power PC Kernel Uploader";

// Controls.
inline constexpr const char* kConnectButton = "Connect to Pyrel";
inline constexpr const char* kFileLabel = "Please select a flash file to upload:";
inline constexpr const char* kBrowseButton = "Browse";
inline constexpr const char* kViewFileButton = "View File";
inline constexpr const char* kAddressLabel = "Kernel starting address:";
inline constexpr const char* kProgramButton = "Program Kernel";
inline constexpr const char* kStartButton = "Start Application";
inline constexpr const char* kDoneButton = "Done";

// The file dialog.
inline constexpr const char* kFileFilter = "FW Files (*.*)|*.*|All Files (*.*)|*.*||";
inline constexpr const char* kFileExtension = "ldr";

// Messages.
inline constexpr const char* kCouldNotConnect = "Could not connect to PowerPC!";
inline constexpr const char* kInvalidAddress = "Invalid format for the kernel address!";
inline constexpr const char* kVerifiedFile = "Verified Firmware File Successfully!";
inline constexpr const char* kInvalidFile = "Invalid Firmware File!";
inline constexpr const char* kRetryProgramming = "Error programming application. Retry?";

// The console's reason for a file that did not load (the window says only
// kInvalidFile).
inline constexpr const char* kFileCannotBeOpened = "The kernel file %s cannot be opened; it was not programmed.";
inline constexpr const char* kFileNotRegular = "The kernel file %s is not a regular file; it was not programmed.";
inline constexpr const char* kFileTooLarge =
    "The kernel file %s is larger than the loader takes (%u bytes); it was not programmed.";
inline constexpr const char* kFileEmpty = "The kernel file %s is empty; it was not programmed.";

}  // namespace corvel::kernel::text
