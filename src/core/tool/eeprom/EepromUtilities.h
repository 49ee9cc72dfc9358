#pragma once
// The "EEPROM File Utilities" window without the window: two panes, each an
// EEPROM image of a file type of the library, shown as a tree; edits, copies
// between the panes, CSV export and import, saving, and a comparison of the
// two panes. The Qt window and the console run this.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/base/Outcome.h"
#include "core/format/eeprom/EepromCompare.h"
#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"
#include "core/tool/app/ToolEnv.h"

namespace corvel {

// The "Edit Item" dialog: a read-only prompt, one value field, OK and Cancel
// (no field and no OK for a described type).
struct EditItemRequest {
  std::string title;
  std::string prompt;
  bool has_entry = true;
  std::string value;
};
class ItemEditor {
 public:
  virtual ~ItemEditor() = default;
  // The confirmed text, or nothing when cancelled.
  virtual std::optional<std::string> EditItem(const EditItemRequest& request) = 0;
};

enum class Pane { Left = 0, Right = 1 };
inline Pane Other(Pane pane) { return pane == Pane::Left ? Pane::Right : Pane::Left; }

// What the pop-up menu of a tree node offers.
struct NodeMenu {
  bool shown = false;  // label lines and skipped space get no menu
  bool edit = false;
  bool paste = false;
};

// One side of the window.
struct EepromPane {
  std::string file_type;
  std::string equipment;
  std::string software_version;
  std::string size_text;
  std::string path;
  bool blank = false;
  bool loaded = false;
  bool modified = false;
  std::vector<std::string> software_versions;  // the list of the version box
  std::unique_ptr<EepromImage> image;
  std::unique_ptr<EepromTreeNode> tree;  // its top's children are the shown nodes
  const EepromTreeNode* selected = nullptr;
  // The checksum fields of the file as it was read, before the re-encode.
  std::vector<ChecksumHealth> checksum_health;
};

class EepromUtilities {
 public:
  EepromUtilities(ToolEnv& env, ItemEditor& editor, std::string library_path);
  ~EepromUtilities();

  // Loads the library, fills the lists and reopens the remembered files.
  void OpenWindow();
  // Asks to save modified panes and stores the settings.
  void CloseWindow();

  const EepromDefinitionLibrary& Library() const { return m_library; }
  bool LibraryLoaded() const { return m_library.Loaded(); }
  std::vector<std::string> FileTypes() const { return m_library.ListFileTypes(); }
  std::vector<std::string> Equipment() const { return m_library.ListEquipment(); }
  EepromPane& At(Pane pane) { return m_panes[Index(pane)]; }
  const EepromPane& At(Pane pane) const { return m_panes[Index(pane)]; }

  void SelectEquipment(Pane pane, const std::string& equipment);
  void SelectSoftwareVersion(Pane pane, const std::string& version);
  void SelectFileType(Pane pane, const std::string& type);
  void SelectSize(Pane pane, const std::string& size_text) { At(pane).size_text = size_text; }
  void SetPath(Pane pane, const std::string& path) { At(pane).path = path; }
  void SetBlank(Pane pane, bool blank);
  // Whether the path field and "Browse" can be used.
  bool PathEnabled(Pane pane) const { return !At(pane).blank; }

  void Browse(Pane pane);
  void ViewFile(Pane pane);
  ToolOutcome LoadFile(Pane pane);
  ToolOutcome SaveFile(Pane pane);
  // Saves to a given path by its extension, as SaveFile does after its dialog.
  ToolOutcome SaveTo(Pane pane, const std::string& path);

  void Select(Pane pane, const EepromTreeNode* node) { At(pane).selected = node; }
  ToolOutcome EditSelected(Pane pane);

  NodeMenu MenuFor(Pane pane, const EepromTreeNode* node) const;
  void CopyNode(Pane pane, const EepromTreeNode* node);
  void PasteNode(Pane pane, const EepromTreeNode* node);
  void CopyToRight();
  void CopyToLeft();
  bool HasCopySource() const { return m_copy_node != nullptr; }

  // The CSV dialogs: their remembered paths, Browse, and the operations.
  std::string ExportPath() const { return m_export_path; }
  std::string ImportPath() const { return m_import_path; }
  void SetExportPath(const std::string& path) { m_export_path = path; }
  void SetImportPath(const std::string& path) { m_import_path = path; }
  void BrowseExportPath();
  void BrowseImportPath();
  ToolOutcome ExportNode(Pane pane, const EepromTreeNode* node);
  ToolOutcome ImportNode(Pane pane, const EepromTreeNode* node);
  // Writes the remembered CSV paths (the dialogs do this when they close).
  void StoreCsvPaths();

  // Compare mode: the differences of the two panes (empty without both images).
  std::vector<EepromDifference> Differences() const;
  // Whether a node's item differs from the other pane (or is there alone).
  bool NodeDiffers(Pane pane, const EepromTreeNode* node) const;
  // Selects, in both trees, the next differing item after the selection of the
  // given pane (wrapping round); false when the panes are equal.
  bool NextDifference(Pane pane);
  // The checksum health of a node's item: nothing when it has no field or the
  // file did not hold it.
  const ChecksumHealth* HealthOf(Pane pane, const EepromTreeNode* node) const;

 private:
  static std::size_t Index(Pane pane) { return pane == Pane::Left ? 0 : 1; }
  void RefreshLabels(Pane pane);
  void Paste(Pane pane, const EepromTreeNode* destination);
  // The selection of one pane copied into the selection of the other.
  void CopyAcross(Pane from);
  void Changed(Pane pane);
  void LoadSettings();
  void StoreSettings();
  const EepromTreeNode* NodeOf(Pane pane, const EepromItem* item) const;

  ToolEnv& m_env;
  ItemEditor& m_editor;
  std::string m_library_path;
  EepromDefinitionLibrary m_library;
  std::array<EepromPane, 2> m_panes;
  Pane m_copy_pane = Pane::Left;
  const EepromTreeNode* m_copy_node = nullptr;
  std::string m_export_path;
  std::string m_import_path;
};

// The number at the start of a file-size text; 32768 without one.
uint32_t SizeFromText(const std::string& size_text);

}  // namespace corvel
