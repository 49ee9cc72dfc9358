// corvel-cli eeprom: EEPROM images against the definition library, without a
// window: list the file types, print the text listing, write blank images and
// edit values by their instance names.
#include <iostream>

#include "cli/Cli.h"
#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"

namespace corvel::cli {

namespace {

struct EepromOptions {
  std::string library;  // eeprom types --library; otherwise the global one
  std::string file;
  std::string type;
  std::optional<uint32_t> size;
  std::string out;
  std::vector<std::string> assignments;
};

std::string LibraryPath(Session& s, const Runner& runner, const EepromOptions& o) {
  if (!o.library.empty()) return o.library;
  if (!runner.globals.library.empty()) return runner.globals.library;
  return EepromLibraryPath(s.Env().program_folder);
}

// Loads the library; the loader has shown its message when it fails.
bool LoadLibrary(Session& s, EepromDefinitionLibrary& library, const std::string& path) {
  const std::size_t shown = s.Ui().MessagesShown();
  if (library.Load(path)) return true;
  // A library that loads without an error but describes nothing says so here.
  if (library.DescriptionCount() == 0 && s.Ui().MessagesShown() == shown) {
    s.Ui().Error("The EEPROM definition library " + path + " describes no type");
  }
  return false;
}

// The image of the type with its bytes sized as asked (or the described
// size): read from FILE and decoded when from_file, otherwise blank. The
// library stays loaded while the image is used. nullptr once a message said
// why not.
std::unique_ptr<EepromImage> OpenImage(Session& s, const Runner& runner, const EepromOptions& o,
                                       EepromDefinitionLibrary& library, bool from_file) {
  if (!LoadLibrary(s, library, LibraryPath(s, runner, o))) return nullptr;
  std::string why_not;
  auto root = library.Instantiate(o.type, &why_not);
  if (!root) {
    s.Ui().Plain(why_not.empty() ? "Type not found!" : why_not);
    return nullptr;
  }
  const uint32_t size = o.size ? *o.size : root->ItemSize();
  auto image = std::make_unique<EepromImage>(std::move(root));
  if (!from_file) {
    image->MakeBlank(size);
    return image;
  }
  if (!image->Bytes().LoadHex(o.file, size)) {
    s.Ui().Plain("Invalid file!");
    return nullptr;
  }
  // The checksum fields shown and saved are always the computed ones.
  image->Decode();
  image->Encode();
  return image;
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
  EepromDefinitionLibrary library(s.Ui());
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
  EepromDefinitionLibrary library(s.Ui());
  const auto image = OpenImage(s, runner, o, library, true);
  if (!image) return kExitFailed;
  std::cout << image->Text() << std::flush;
  return kExitOk;
}

int Blank(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library(s.Ui());
  const auto image = OpenImage(s, runner, o, library, false);
  if (!image) return kExitFailed;
  return SaveImage(s, *image, o.out) ? kExitOk : kExitFailed;
}

std::string ConsoleText(std::string text) {
  for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, " ");
  return text;
}

int Set(Session& s, const Runner& runner, const EepromOptions& o) {
  EepromDefinitionLibrary library(s.Ui());
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

void SetupEeprom(CLI::App& app, Runner& runner) {
  static EepromOptions o;
  auto* eeprom = app.add_subcommand("eeprom", "EEPROM images against the definition library");
  eeprom->require_subcommand(1);

  auto* types = eeprom->add_subcommand("types", "List the file types, equipment and software versions");
  types->add_option("--library", o.library, "EEPROM definition library file");
  types->callback([&runner] { runner.Run([&](Session& s) { return ListTypes(s, runner, o); }); });

  auto* show = eeprom->add_subcommand("show", "Print the text listing of an EEPROM file");
  show->add_option("FILE", o.file, "Intel HEX EEPROM file (.eep, .hex)")->required();
  show->add_option("--type", o.type, "File type of the library")->required();
  show->add_option("--size", o.size, "EEPROM size in bytes (default: the type's size)");
  show->callback([&runner] { runner.Run([&](Session& s) { return Show(s, runner, o); }); });

  auto* blank = eeprom->add_subcommand("blank", "Write a blank image of a file type");
  blank->add_option("--type", o.type, "File type of the library")->required();
  blank->add_option("--size", o.size, "EEPROM size in bytes (default: the type's size)");
  blank->add_option("-o", o.out, "Output Intel HEX file")->required();
  blank->callback([&runner] { runner.Run([&](Session& s) { return Blank(s, runner, o); }); });

  auto* set = eeprom->add_subcommand("set", "Edit values by instance-name path and save");
  set->add_option("FILE", o.file, "Intel HEX EEPROM file (.eep, .hex)")->required();
  set->add_option("ASSIGNMENTS", o.assignments, "PATH=VALUE, e.g. CONTROLLER.SERIAL=1234")->required();
  set->add_option("--type", o.type, "File type of the library")->required();
  set->add_option("--size", o.size, "EEPROM size in bytes (default: the type's size)");
  set->add_option("-o", o.out, "Output Intel HEX file")->required();
  set->callback([&runner] { runner.Run([&](Session& s) { return Set(s, runner, o); }); });
}
CORVEL_CLI_COMMAND(SetupEeprom);

}  // namespace
}  // namespace corvel::cli
