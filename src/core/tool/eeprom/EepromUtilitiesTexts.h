#pragma once
// Every text the "EEPROM File Utilities" window and its dialogs show.
namespace corvel::eeprom_utilities_text {

inline constexpr const char* kWindowTitle = "EEPROM File Utilities";
inline constexpr const char* kSaveFirst = "Changes were made to the first file. Do you wish to save it?";
inline constexpr const char* kSaveSecond = "Changes were made to the second file. Do you wish to save it?";
inline constexpr const char* kTypeNotFound = "Type not found!";
inline constexpr const char* kInvalidFile = "Invalid file!";
inline constexpr const char* kInvalidDefaultFile = "Invalid default file!";
inline constexpr const char* kLoadedOk = "Loaded EEPROM file successfully!";
inline constexpr const char* kSaveFailed = "Saving EEPROM file failed!";
inline constexpr const char* kTextSaveFailed = "The file %s could not be written.";
inline constexpr const char* kAttemptingToLoad = "Attempting to load EEPROM file %s... %s";
inline constexpr const char* kCsvCannotRead = "The CSV file %s could not be read.";

inline constexpr const char* kEepromFilter = "EEPROM Files (*.eep, *.hex)|*.eep; *.hex|All Files (*.*)|*.*||";
inline constexpr const char* kSaveFilter =
    "EEPROM Files (*.eep, *.hex)|*.eep; *.hex|Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";
inline constexpr const char* kCsvFilter = "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*||";

inline constexpr const char* kFileSizes[] = {"512 B (Atmega8/168)", "1024 B", "2048 B (Atxmega128)",
                                             "4096 B (Atmega128)", "8192 B", "16384 B", "32768 B"};
inline constexpr unsigned kSizeWithoutNumber = 32768;

// Labels of the window and the dialogs.
inline constexpr const char* kEquipmentLabel = "Equipment description:";
inline constexpr const char* kSoftwareVersionLabel = "Software version:";
inline constexpr const char* kFirstFileType = "First file type:";
inline constexpr const char* kSecondFileType = "Second file type:";
inline constexpr const char* kFileSizeLabel = "File size:";
inline constexpr const char* kSelectFile = "Please select an EEPROM file to view or edit:";
inline constexpr const char* kLoadBlank = "Load blank file";
inline constexpr const char* kMenuTitle = "File Item Options";
inline constexpr const char* kExportPrompt = "Please select a CSV file to export data to:";
inline constexpr const char* kImportPrompt = "Please select a CSV file to import data from:";

}  // namespace corvel::eeprom_utilities_text
