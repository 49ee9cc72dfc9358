// corvel-cli eeprom: EEPROM images against the definition library, without a
// window: list the file types, print the text listing, write blank images,
// edit values by their instance names, export and import CSV, compare two
// images and check the checksum fields a file holds.
#include <iostream>

#include "cli/Cli.h"
#include "core/base/FileUtil.h"
#include "core/format/eeprom/EepromCompare.h"
#include "core/format/eeprom/EepromCsv.h"
#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"
#include "core/tool/eeprom/EepromLibraryReport.h"

namespace corvel::cli {

namespace {

struct EepromOptions {
  std::string library;  // --library; otherwise the global one
  std::string file;
  std::string file_b;   // diff: the second image
  std::string type;
  std::string type_b;   // diff: the second image's type (default: --type)
  std::string item;     // export-csv, import-csv: the item's path
  std::string csv;      // import-csv: the CSV file
  std::optional<uint32_t> size;
  std::string out;
  std::vector<std::string> assignments;
};

std::string LibraryPath(Session& s, const Runner& runner, const EepromOptions& o) {
  if (!o.library.empty()) return o.library;
  if (!runner.globals.library.empty()) return runner.globals.library;
  return EepromLibraryPath(s.Env().program_folder);
}

// Loads the library; false once a message said why not.
bool LoadLibrary(Session& s, EepromDefinitionLibrary& library, const std::string& path) {
  const LibraryLoad loaded = library.Load(path);
  if (loaded) return true;
  if (loaded.error().kind == LibraryErrorKind::NoDescriptions) {
    s.Ui().Error("The EEPROM definition library " + path + " describes no type");
  } else {
    ReportLibraryError(s.Ui(), loaded.error());
  }
  return false;
}

// The image of the type with its bytes sized as asked (or the described
// size): read from the file and decoded when from_file, otherwise blank. The
// library stays loaded while the image is used. nullptr once a message said
// why not. health receives the file's checksum fields as they were read.
std::unique_ptr<EepromImage> OpenImage(Session& s, const Runner& runner, const EepromOptions& o,
                                       EepromDefinitionLibrary& library, bool from_file,
                                       std::vector<ChecksumHealth>* health = nullptr, const std::string* file = nullptr,
                                       const std::string* type = nullptr) {
  if (!library.Loaded() && !LoadLibrary(s, library, LibraryPath(s, runner, o))) return nullptr;
  std::string why_not;
  auto root = library.Instantiate(type ? *type : o.type, &why_not);
  if (!root) {
    s.Ui().Plain(why_not.empty() ? "Type not found!" : why_not);
    return nullptr;
  }
  const uint32_t size = o.size ? *o.size : root->ItemSize();
  if (const auto refusal = EepromImageSizeRefusal(root->type_name, size, o.size.has_value())) {
    s.Ui().Plain(*refusal);
    return nullptr;
  }
  auto image = std::make_unique<EepromImage>(std::move(root));
  if (!from_file) {
    image->MakeBlank(size);
    return image;
  }
  if (!image->Bytes().LoadHex(file ? *file : o.file, size)) {
    s.Ui().Plain("Invalid file!");
    return nullptr;
  }
  image->Decode();
  if (health) *health = CheckChecksums(*image->Root(), image->Bytes());
  // The checksum fields shown and saved are always the computed ones.
  image->Encode();
  return image;
}

// The item at PATH: "" or "." is the root.
EepromItem* ItemAt(Session& s, EepromImage& image, const std::string& path) {
  if (path.empty() || path == ".") return image.Root();
  EepromItem* item = FindItemByPath(*image.Root(), path);
  if (!item) s.Ui().Plain("No item " + path + " in " + image.Root()->type_name);
  return item;
}

bool SaveImage(Session& s, const EepromImage& image, const std::string& path) {
  if (image.Bytes().SaveHex(path)) return true;
  s.Ui().Error("Saving EEPROM file failed!");
  return false;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

int ListTypes(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library;
  if (!LoadLibrary(s, library, LibraryPath(s, runner, o))) return kExitFailed;
  std::cout << "File types:\n";
  for (const auto& name : library.ListFileTypes()) {
    const EepromItem& d = *library.FindType(name);
    std::cout << "  " << name;
    if (auto root = library.Instantiate(name)) std::cout << "  " << root->ItemSize() << " bytes";
    if (!d.file_type_name.empty()) std::cout << "  template " << d.file_type_name;
    std::cout << '\n';
  }
  std::cout << "Equipment:\n";
  for (const auto& equipment : library.ListEquipment()) {
    std::cout << "  " << (equipment.empty() ? "(none)" : equipment) << '\n';
    std::cout << "    software versions: " << Joined(library.ListSoftwareVersions(equipment)) << '\n';
  }
  return kExitOk;
}

int Show(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library;
  std::vector<ChecksumHealth> health;
  const auto image = OpenImage(s, runner, o, library, true, &health);
  if (!image) return kExitFailed;
  std::cout << ChecksumHealthLine(health) << '\n' << image->Text() << std::flush;
  return kExitOk;
}

int ExportCsvCommand(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library;
  const auto image = OpenImage(s, runner, o, library, true);
  if (!image) return kExitFailed;
  const EepromItem* item = ItemAt(s, *image, o.item);
  if (!item) return kExitFailed;
  if (!WriteFileAtomically(o.out, ExportCsv(*item))) {
    s.Ui().Error("The file " + o.out + " could not be written.");
    return kExitFailed;
  }
  return kExitOk;
}

int ImportCsvCommand(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library;
  const auto image = OpenImage(s, runner, o, library, true);
  if (!image) return kExitFailed;
  EepromItem* item = ItemAt(s, *image, o.item);
  if (!item) return kExitFailed;
  // A FIFO or a device is not read at all.
  const std::optional<std::string> csv = ReadWholeFile(o.csv, kMaxCsvFileBytes);
  if (!csv) {
    s.Ui().Error("The CSV file " + o.csv + " could not be read.");
    return kExitFailed;
  }
  const auto imported = ImportCsv(*item, *csv);
  // The values read before an error stay, as the pane would be saved.
  image->Encode();
  const bool saved = SaveImage(s, *image, o.out);
  if (!imported) s.Ui().Plain(imported.error().text);
  return saved && imported ? kExitOk : kExitFailed;
}

std::string SideText(const EepromItem* item) { return item ? item->ValueText() : std::string(); }

int Diff(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library;
  const auto a = OpenImage(s, runner, o, library, true);
  if (!a) return kExitFailed;
  const std::string& type_b = o.type_b.empty() ? o.type : o.type_b;
  const auto b = OpenImage(s, runner, o, library, true, nullptr, &o.file_b, &type_b);
  if (!b) return kExitFailed;
  const auto differences = CompareEepromItems(*a->Root(), *b->Root());
  for (const auto& d : differences) {
    if (!d.right) {
      std::cout << d.path << ": only in A\n";
    } else if (!d.left) {
      std::cout << d.path << ": only in B\n";
    } else {
      std::cout << d.path << ": " << SideText(d.left) << " | " << SideText(d.right) << '\n';
    }
  }
  std::cout << std::flush;
  return ExitStatus(differences.empty() ? ToolOutcome::Done : ToolOutcome::Failed);
}

int Check(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library;
  std::vector<ChecksumHealth> health;
  const auto image = OpenImage(s, runner, o, library, true, &health);
  if (!image) return kExitFailed;
  bool all_good = true;
  for (const auto& h : health) {
    const int digits = ChecksumFieldSize(h.item->checksum_kind) == 4 ? 8 : 4;
    char line[128];
    std::snprintf(line, sizeof line, " at 0x%04X: stored 0x%0*X, computed 0x%0*X  %s", h.offset, digits, h.stored,
                  digits, h.computed, h.Good() ? "good" : "BAD");
    std::cout << (h.path.empty() ? h.item->type_name : h.path) << line << '\n';
    all_good = all_good && h.Good();
  }
  std::cout << ChecksumHealthLine(health) << '\n' << std::flush;
  return ExitStatus(all_good ? ToolOutcome::Done : ToolOutcome::Failed);
}

int Blank(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library;
  const auto image = OpenImage(s, runner, o, library, false);
  if (!image) return kExitFailed;
  return SaveImage(s, *image, o.out) ? kExitOk : kExitFailed;
}

std::string ConsoleText(std::string text) {
  for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, " ");
  return text;
}

int Set(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library;
  const auto image = OpenImage(s, runner, o, library, true);
  if (!image) return kExitFailed;
  for (const auto& assignment : o.assignments) {
    const auto equals = assignment.find('=');
    if (equals == std::string::npos) {
      s.Ui().Plain("Expected PATH=VALUE, found " + assignment);
      return kExitFailed;
    }
    const std::string path = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    EepromItem* item = FindItemByPath(*image->Root(), path);
    if (!item) {
      s.Ui().Plain("No item " + path + " in " + image->Root()->type_name);
      return kExitFailed;
    }
    if (item->skip_count != 0) {
      s.Ui().Plain("Skipped space cannot be edited: " + path);
      return kExitFailed;
    }
    if (!EditDialogHasEntry(*item)) {
      s.Ui().Plain(ConsoleText(EditDialogPrompt(item)));
      return kExitFailed;
    }
    if (!image->EditValue(*item, value).parsed) {
      s.Ui().Plain("Cannot read \"" + value + "\" as the value of " + item->NameText());
      return kExitFailed;
    }
  }
  return SaveImage(s, *image, o.out) ? kExitOk : kExitFailed;
}

// --library and --size belong to every eeprom command.
void CommonOptions(CLI::App* command, EepromOptions& o) {
  command->add_option("--library", o.library, "EEPROM definition library file");
  command->add_option("--size", o.size, "EEPROM size in bytes (default: the type's size)");
}

void SetupEeprom(CLI::App& app, Runner& runner) {
  static EepromOptions o;
  auto* eeprom = app.add_subcommand("eeprom", "EEPROM images against the definition library");
  eeprom->require_subcommand(1);
  const auto run = [&runner](int (*body)(Session&, const Runner&, const EepromOptions&)) {
    return [&runner, body] { runner.Run([&runner, body](Session& s) { return body(s, runner, o); }); };
  };

  auto* types = eeprom->add_subcommand("types", "List the file types, equipment and software versions");
  CommonOptions(types, o);
  types->callback(run(ListTypes));

  auto* show = eeprom->add_subcommand("show", "Print the checksum health and the text listing of an EEPROM file");
  show->add_option("FILE", o.file, "Intel HEX EEPROM file (.eep, .hex)")->required();
  show->add_option("--type", o.type, "File type of the library")->required();
  CommonOptions(show, o);
  show->callback(run(Show));

  auto* blank = eeprom->add_subcommand("blank", "Write a blank image of a file type");
  blank->add_option("--type", o.type, "File type of the library")->required();
  blank->add_option("-o", o.out, "Output Intel HEX file")->required();
  CommonOptions(blank, o);
  blank->callback(run(Blank));

  auto* set = eeprom->add_subcommand("set", "Edit values by instance-name path and save");
  set->add_option("FILE", o.file, "Intel HEX EEPROM file (.eep, .hex)")->required();
  set->add_option("ASSIGNMENTS", o.assignments, "PATH=VALUE, e.g. CONTROLLER.SERIAL=1234")->required();
  set->add_option("--type", o.type, "File type of the library")->required();
  set->add_option("-o", o.out, "Output Intel HEX file")->required();
  CommonOptions(set, o);
  set->callback(run(Set));

  auto* export_csv = eeprom->add_subcommand("export-csv", "Write the values of an item and all below it as CSV");
  export_csv->add_option("FILE", o.file, "Intel HEX EEPROM file (.eep, .hex)")->required();
  export_csv->add_option("--type", o.type, "File type of the library")->required();
  export_csv->add_option("--item", o.item, "Instance-name path of the item; \"\" or \".\" is the root")->required();
  export_csv->add_option("-o", o.out, "Output CSV file")->required();
  CommonOptions(export_csv, o);
  export_csv->callback(run(ExportCsvCommand));

  auto* import_csv = eeprom->add_subcommand("import-csv", "Read the values of an item from CSV and save the image");
  import_csv->add_option("FILE", o.file, "Intel HEX EEPROM file (.eep, .hex)")->required();
  import_csv->add_option("CSV", o.csv, "CSV file of values")->required();
  import_csv->add_option("--type", o.type, "File type of the library")->required();
  import_csv->add_option("--item", o.item, "Instance-name path of the item; \"\" or \".\" is the root")->required();
  import_csv->add_option("-o", o.out, "Output Intel HEX file (written also after an import error)")->required();
  CommonOptions(import_csv, o);
  import_csv->callback(run(ImportCsvCommand));

  auto* diff = eeprom->add_subcommand("diff", "List the items whose values differ between two EEPROM files");
  diff->add_option("A", o.file, "First Intel HEX EEPROM file")->required();
  diff->add_option("B", o.file_b, "Second Intel HEX EEPROM file")->required();
  diff->add_option("--type", o.type, "File type of the library")->required();
  diff->add_option("--type-b", o.type_b, "File type of the second file (default: --type)");
  CommonOptions(diff, o);
  diff->callback(run(Diff));

  auto* check = eeprom->add_subcommand("check", "Compare each checksum field of a file with its values' checksum");
  check->add_option("FILE", o.file, "Intel HEX EEPROM file (.eep, .hex)")->required();
  check->add_option("--type", o.type, "File type of the library")->required();
  CommonOptions(check, o);
  check->callback(run(Check));
}
CORVEL_CLI_COMMAND(SetupEeprom);

}  // namespace
}  // namespace corvel::cli
