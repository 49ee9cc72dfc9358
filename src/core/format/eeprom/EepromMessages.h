#pragma once
// Every text the EEPROM library loader and the image model show, in one place.
namespace corvel::eeprom_text {

// Line errors, shown inside "(Error: %s)".
inline constexpr const char* kEmptyDirective = "Empty directive";
inline constexpr const char* kUnrecognizedDirective = "Unrecognized directive: %s";
inline constexpr const char* kEmptyOption = "Empty option specified";
inline constexpr const char* kMustIncludeArrayLength = "Must include an array length";
inline constexpr const char* kArrayFormatIncorrect = "Array format incorrect";
inline constexpr const char* kVersionStringEmpty = "Version string must not be empty";
inline constexpr const char* kMissingQuotesFileName = "Missing quotes around file name";
inline constexpr const char* kMissingSecondQuoteFileName = "Missing second quote from file name";
inline constexpr const char* kEmptySoftwareVersion = "Empty software version";
inline constexpr const char* kMissingQuotesSoftwareVersion = "Missing quotes from software version";
inline constexpr const char* kMissingSecondQuoteSoftwareVersion = "Missing second quote from software version";
inline constexpr const char* kMoreThanOneEquipment = "More than one equipment type specified";
inline constexpr const char* kEquipmentNeedsString = "Equipment option must include a string";
inline constexpr const char* kMissingQuotesEquipment = "Missing quotes on equipment type";
inline constexpr const char* kMissingSecondQuoteEquipment = "Missing second quote on equipment type";
inline constexpr const char* kEquipmentEmpty = "Equipment type string must not be empty";
inline constexpr const char* kLabelMustBeInQuotes = "Label must be in quotes";
inline constexpr const char* kMissingSecondQuoteLabel = "Missing second quote on label";
inline constexpr const char* kSkipLengthFormat = "Incorrect formatting on length for the skipped section";
inline constexpr const char* kUnknownOption = "Unknown option: %s";
inline constexpr const char* kTooManyNames = "Too many names found: missing '-'?";
inline constexpr const char* kStartEndOptions = "Options selected are not valid with a description start/end";
inline constexpr const char* kFileTypeOnlyAtStart = "File type can only be specified at the start of a description";
inline constexpr const char* kEquipmentOnlyAtFileTypeStart =
    "Equipment type and software versions can only be specified at the start of a file type description";
inline constexpr const char* kSkipOnlyAtBeginning =
    "Skipping sections is only allowed at the beginning of a description";
inline constexpr const char* kNoHexForType = "Type selected cannot be displayed in hex format";
inline constexpr const char* kCharDisplayNotValid =
    "Character display not valid with the other options or type chosen";
// Guards of this loader against libraries that would never finish.
inline constexpr const char* kSubstitutionDoesNotEnd =
    "Symbol substitution does not end: a #define refers to itself through other symbols";
inline constexpr const char* kArrayTooLong = "Array longer than %u elements";

// Whole-line messages: each names the line and the file, most add a detail.
#define CORVEL_EEPROM_AT_LINE "Incorrect formatting on line %u of file %s"
inline constexpr const char* kIncorrectFormatting = CORVEL_EEPROM_AT_LINE;
inline constexpr const char* kIncorrectFormattingError = CORVEL_EEPROM_AT_LINE " (Error: %s)";
inline constexpr const char* kIncludeInsideDescription =
    CORVEL_EEPROM_AT_LINE " (included file %s in the middle of describing %s)";
inline constexpr const char* kDefineInsideDescription =
    CORVEL_EEPROM_AT_LINE " (defined symbol %s in the middle of describing %s)";
inline constexpr const char* kLookingForStart = CORVEL_EEPROM_AT_LINE " (looking for start of description)";
inline constexpr const char* kRedefinition = CORVEL_EEPROM_AT_LINE " (redefinition of type %s)";
inline constexpr const char* kDescriptionMismatch =
    CORVEL_EEPROM_AT_LINE " (description does not match: expecting %s, found %s)";
inline constexpr const char* kTypeNotDefined = CORVEL_EEPROM_AT_LINE " (cannot find type %s: was not defined)";
inline constexpr const char* kUnmatchedTerminator = CORVEL_EEPROM_AT_LINE " (unmatched description terminator)";
// Guards of this loader.
inline constexpr const char* kContainsItself =
    CORVEL_EEPROM_AT_LINE " (type %s cannot contain a field of its own type)";
inline constexpr const char* kIncludesTooDeep =
    CORVEL_EEPROM_AT_LINE " (included file %s is nested more than %d files deep)";
inline constexpr const char* kTooManyFiles =
    CORVEL_EEPROM_AT_LINE " (included file %s would make more than %d library files)";
inline constexpr const char* kTooManyFields =
    CORVEL_EEPROM_AT_LINE " (the library would describe more than %zu fields)";
#undef CORVEL_EEPROM_AT_LINE
inline constexpr const char* kCannotOpenLibrary = "Cannot open the EEPROM definition library file %s";
inline constexpr const char* kLibraryNotAFile =
    "The EEPROM definition library file %s is not a regular file (a folder, pipe or device)";
inline constexpr const char* kLibraryFileTooLarge = "The EEPROM definition library file %s is larger than %zu bytes";
inline constexpr const char* kLibraryTooLarge =
    "The EEPROM definition library files are larger than %zu bytes together (at %s)";

// Instantiation guards.
inline constexpr const char* kNestedTooDeep = "%s nests described types more than %d deep";
inline constexpr const char* kTooManyItems = "%s would hold more than %zu items";

// The image size guard.
inline constexpr const char* kSizeTooLarge = "An EEPROM image of %llu bytes is larger than the limit of %u bytes";
inline constexpr const char* kDescribedSizeTooLarge =
    "%s describes %llu bytes, more than the limit of %u bytes for an EEPROM image";

// The edit dialog.
inline constexpr const char* kEditTitle = "Editing %s";
inline constexpr const char* kEditDescribed = "Please edit the sub items instead.\r\nCannot directly edit\r\n%s";
inline constexpr const char* kEditPrompt = "Please enter the new value for\r\n%s";
inline constexpr const char* kUnknownItem = "Unknown Item";

}  // namespace corvel::eeprom_text
