#include "core/tool/eeprom/EepromUtilities.h"


#include "core/base/DebugLog.h"
#include "core/base/FileUtil.h"
#include "core/base/SettingsKeys.h"
#include "core/format/eeprom/EepromCsv.h"
#include "core/base/Text.h"
#include "core/tool/eeprom/EepromLibraryReport.h"
#include "core/tool/eeprom/EepromUtilitiesTexts.h"

namespace corvel {

namespace {

namespace text = eeprom_utilities_text;

struct PaneKeys {
  IntSetting blank;
  TextSetting file, type, equipment, version, size;
};
const PaneKeys kPaneKeys[2] = {
    {keys::kBlankFile1EepromDlg, keys::kEepFile1EepromDlg, keys::kEepType1EepromDlg, keys::kEquipment1EepromDlg,
     keys::kSwVersion1EepromDlg, keys::kFile1SizeStringEepromDlg},
    {keys::kBlankFile2EepromDlg, keys::kEepFile2EepromDlg, keys::kEepType2EepromDlg, keys::kEquipment2EepromDlg,
     keys::kSwVersion2EepromDlg, keys::kFile2SizeStringEepromDlg},
};

bool ExtensionIs(const std::string& path, const char* extension) {
  std::string ext = FileExtension(path);
  if (ext.empty()) return false;
  ext.erase(0, 1);
  std::size_t i = 0;
  for (; extension[i]; ++i) {
    if (i >= ext.size() || std::tolower(static_cast<unsigned char>(ext[i])) != extension[i]) return false;
  }
  return i == ext.size();
}

// The items of a pane belong to its image, which the controller owns; the
// tree only shows them read-only.
EepromItem* Mutable(const EepromTreeNode* node) {
  return node ? const_cast<EepromItem*>(node->item) : nullptr;
}

void ForEachNode(EepromTreeNode& node, const std::function<void(EepromTreeNode&)>& visit) {
  visit(node);
  for (auto& child : node.children) ForEachNode(*child, visit);
}

bool Contains(const EepromTreeNode* tree, const EepromTreeNode* node) {
  if (!tree || !node) return false;
  if (tree == node) return true;
  for (const auto& child : tree->children) {
    if (Contains(child.get(), node)) return true;
  }
  return false;
}

}  // namespace

uint32_t SizeFromText(const std::string& size_text) {
  uint64_t v = 0;
  std::size_t i = 0;
  while (i < size_text.size() && (size_text[i] == ' ' || size_text[i] == '\t')) ++i;
  const std::size_t first = i;
  for (; i < size_text.size() && size_text[i] >= '0' && size_text[i] <= '9'; ++i) {
    if (v <= 0xFFFFFFFFu) v = v * 10 + static_cast<uint64_t>(size_text[i] - '0');
  }
  if (i == first) return text::kSizeWithoutNumber;
  return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

EepromUtilities::EepromUtilities(ToolEnv& env, ItemEditor& editor, std::string library_path)
    : m_env(env), m_editor(editor), m_library_path(std::move(library_path)) {
  LoadSettings();
}

EepromUtilities::~EepromUtilities() = default;

void EepromUtilities::LoadSettings() {
  for (std::size_t i = 0; i < 2; ++i) {
    EepromPane& p = m_panes[i];
    const PaneKeys& k = kPaneKeys[i];
    p.blank = k.blank.Get(m_env.store) != 0;
    p.path = k.file.Get(m_env.store);
    p.file_type = k.type.Get(m_env.store);
    p.equipment = k.equipment.Get(m_env.store);
    p.software_version = k.version.Get(m_env.store);
    p.size_text = k.size.Get(m_env.store);
  }
  m_export_path = keys::kExportFileExportEepDataDlg.Get(m_env.store);
  m_import_path = keys::kImportFileImportEepDataDlg.Get(m_env.store);
}

void EepromUtilities::StoreSettings() {
  for (std::size_t i = 0; i < 2; ++i) {
    const EepromPane& p = m_panes[i];
    const PaneKeys& k = kPaneKeys[i];
    k.blank.Put(m_env.store, p.blank ? 1 : 0);
    k.file.Put(m_env.store, p.path);
    k.type.Put(m_env.store, p.file_type);
    k.equipment.Put(m_env.store, p.equipment);
    k.version.Put(m_env.store, p.software_version);
    k.size.Put(m_env.store, p.size_text);
  }
}

void EepromUtilities::StoreCsvPaths() {
  keys::kExportFileExportEepDataDlg.Put(m_env.store, m_export_path);
  keys::kImportFileImportEepDataDlg.Put(m_env.store, m_import_path);
}

void EepromUtilities::OpenWindow() {
  if (!LoadLibraryReporting(m_library, m_library_path, m_env.ui)) return;
  for (Pane pane : {Pane::Left, Pane::Right}) SetBlank(pane, At(pane).blank);
  for (Pane pane : {Pane::Left, Pane::Right}) {
    At(pane).software_versions = m_library.ListSoftwareVersions(At(pane).equipment);
  }
  for (Pane pane : {Pane::Left, Pane::Right}) {
    const std::string type = m_library.TypeFor(At(pane).equipment, At(pane).software_version);
    if (type.empty()) continue;
    At(pane).file_type = type;
    (void)LoadFile(pane);
  }
  for (Pane pane : {Pane::Left, Pane::Right}) {
    const EepromPane& p = At(pane);
    if (!p.loaded && !p.file_type.empty() && !p.path.empty()) (void)LoadFile(pane);
  }
}

void EepromUtilities::CloseWindow() {
  for (Pane pane : {Pane::Left, Pane::Right}) {
    EepromPane& p = At(pane);
    if (!p.modified || !p.image) continue;
    if (m_env.ui.AskYesNo(pane == Pane::Left ? text::kSaveFirst : text::kSaveSecond)) (void)SaveFile(pane);
  }
  m_copy_node = nullptr;
  for (EepromPane& p : m_panes) {
    p.selected = nullptr;
    p.tree.reset();
    p.image.reset();
  }
  StoreSettings();
}

void EepromUtilities::SelectEquipment(Pane pane, const std::string& equipment) {
  At(pane).equipment = equipment;
  At(pane).software_versions = m_library.ListSoftwareVersions(equipment);
}

void EepromUtilities::SelectSoftwareVersion(Pane pane, const std::string& version) {
  EepromPane& p = At(pane);
  p.software_version = version;
  const std::string type = m_library.TypeFor(p.equipment, version);
  if (type.empty()) return;
  p.file_type = type;
  (void)LoadFile(pane);
}

void EepromUtilities::SelectFileType(Pane pane, const std::string& type) {
  At(pane).file_type = type;
  (void)LoadFile(pane);
}

void EepromUtilities::SetBlank(Pane pane, bool blank) {
  EepromPane& p = At(pane);
  p.blank = blank;
  if (blank) p.path.clear();
  p.loaded = blank;
}

void EepromUtilities::Browse(Pane pane) {
  FileDialogRequest request;
  request.open = true;
  request.filter = text::kEepromFilter;
  request.default_extension = "hex";
  request.initial_name = At(pane).path;
  request.must_exist = true;
  const auto chosen = m_env.ui.ChooseFile(request);
  if (!chosen) return;
  At(pane).path = *chosen;
  (void)LoadFile(pane);
  DebugPrintf(text::kAttemptingToLoad, chosen->c_str(), At(pane).loaded ? "OK" : "FAIL");
}

void EepromUtilities::ViewFile(Pane pane) {
  const EepromPane& p = At(pane);
  if (!p.loaded || !p.image) return;
  const std::string dump = p.image->Bytes().View();
  if (!dump.empty()) m_env.ui.ShowHexViewer(dump);
}

ToolOutcome EepromUtilities::LoadFile(Pane pane) {
  EepromPane& p = At(pane);
  if (m_copy_node && m_copy_pane == pane) m_copy_node = nullptr;
  if (p.modified && p.image) {
    if (m_env.ui.AskYesNo(pane == Pane::Left ? text::kSaveFirst : text::kSaveSecond)) (void)SaveFile(pane);
  }
  p.modified = false;
  p.selected = nullptr;
  p.tree.reset();
  p.image.reset();
  p.checksum_health.clear();
  std::string why_not;
  auto root = m_library.Instantiate(p.file_type, &why_not);
  if (!root) {
    m_env.ui.Plain(why_not.empty() ? text::kTypeNotFound : why_not);
    return ToolOutcome::Failed;
  }
  const uint32_t size = SizeFromText(p.size_text);
  p.image = std::make_unique<EepromImage>(std::move(root));
  ToolOutcome outcome = ToolOutcome::Done;
  if (p.blank && p.image->Root()->file_type_name.empty()) {
    p.image->MakeBlank(size);
    p.loaded = true;
  } else {
    if (p.blank) p.path = p.image->Root()->file_type_name;
    if (p.image->Bytes().LoadHex(p.path, size)) {
      m_env.ui.Inform(text::kLoadedOk);
      p.loaded = true;
    } else {
      m_env.ui.Plain(p.blank ? text::kInvalidDefaultFile : text::kInvalidFile);
      outcome = ToolOutcome::Failed;
    }
    if (p.blank) p.path.clear();
    // What the reader stored before any failure is decoded too, and the
    // stored checksum fields are judged before the encode replaces them.
    p.image->Decode();
    p.checksum_health = CheckChecksums(*p.image->Root(), p.image->Bytes());
    p.image->Encode();
  }
  p.tree = BuildEepromTree(*p.image->Root());
  return outcome;
}

ToolOutcome EepromUtilities::SaveFile(Pane pane) {
  FileDialogRequest request;
  request.open = false;
  request.filter = text::kSaveFilter;
  request.default_extension = "eep";
  request.initial_name = At(pane).path;
  request.overwrite_prompt = true;
  const auto chosen = m_env.ui.ChooseFile(request);
  if (!chosen) return ToolOutcome::Cancelled;
  return SaveTo(pane, *chosen);
}

ToolOutcome EepromUtilities::SaveTo(Pane pane, const std::string& path) {
  EepromPane& p = At(pane);
  if (ExtensionIs(path, "eep") || ExtensionIs(path, "hex")) {
    if (p.image && p.image->Bytes().SaveHex(path)) {
      p.modified = false;
      return ToolOutcome::Done;
    }
    m_env.ui.Error(text::kSaveFailed);
    return ToolOutcome::Failed;
  }
  if (ExtensionIs(path, "txt")) {
    if (!p.image) return ToolOutcome::NothingDone;
    if (WriteFileAtomically(path, p.image->Text())) return ToolOutcome::Done;
    m_env.ui.Error(Format(text::kTextSaveFailed, path.c_str()));
    return ToolOutcome::Failed;
  }
  return ToolOutcome::NothingDone;
}

void EepromUtilities::RefreshLabels(Pane pane) {
  EepromPane& p = At(pane);
  if (!p.tree) return;
  ForEachNode(*p.tree, [](EepromTreeNode& node) {
    if (node.item) node.text = node.item->LabelText();
  });
}

void EepromUtilities::Changed(Pane pane) {
  EepromPane& p = At(pane);
  p.modified = true;
  RefreshLabels(pane);
  p.image->Encode();
}

ToolOutcome EepromUtilities::EditSelected(Pane pane) {
  EepromPane& p = At(pane);
  EepromItem* item = Mutable(p.selected);
  if (!p.image || !item || item->skip_count != 0) return ToolOutcome::NothingDone;
  EditItemRequest request{EditDialogTitle(*item), EditDialogPrompt(item), EditDialogHasEntry(*item),
                          item->ValueText()};
  const auto entered = m_editor.EditItem(request);
  if (!entered) return ToolOutcome::Cancelled;
  if (item->IsDescribed()) return ToolOutcome::NothingDone;
  // An entry left as it was is no change.
  if (*entered == request.value) return ToolOutcome::NothingDone;
  if (!p.image->EditValue(*item, *entered).changed) return ToolOutcome::NothingDone;
  Changed(pane);
  return ToolOutcome::Done;
}

NodeMenu EepromUtilities::MenuFor(Pane pane, const EepromTreeNode* node) const {
  NodeMenu menu;
  if (!node || !node->item || node->item->skip_count != 0) return menu;
  menu.shown = true;
  menu.edit = !node->item->IsDescribed();
  menu.paste = m_copy_node && !(m_copy_pane == pane && m_copy_node == node);
  return menu;
}

void EepromUtilities::CopyNode(Pane pane, const EepromTreeNode* node) {
  if (!MenuFor(pane, node).shown) return;
  m_copy_pane = pane;
  m_copy_node = node;
}

void EepromUtilities::PasteNode(Pane pane, const EepromTreeNode* node) {
  if (!MenuFor(pane, node).paste) return;
  if (!Contains(At(m_copy_pane).tree.get(), m_copy_node)) {
    m_copy_node = nullptr;  // its tree was rebuilt
    return;
  }
  Paste(pane, node);
}

void EepromUtilities::Paste(Pane pane, const EepromTreeNode* destination) {
  const EepromTreeNode* source = m_copy_node;
  EepromItem* target = Mutable(destination);
  if (!source || !source->item || !target || !At(pane).image) return;
  target->CopyValuesFrom(*source->item);
  Changed(pane);
}

void EepromUtilities::CopyToRight() { CopyAcross(Pane::Left); }

void EepromUtilities::CopyToLeft() { CopyAcross(Pane::Right); }

void EepromUtilities::CopyAcross(Pane from) {
  const EepromPane& source = At(from);
  const EepromPane& destination = At(Other(from));
  if (!source.image || !destination.image || !source.selected || !destination.selected) return;
  EepromItem* target = Mutable(destination.selected);
  if (!source.selected->item || !target) return;
  target->CopyValuesFrom(*source.selected->item);
  Changed(Other(from));
}

void EepromUtilities::BrowseExportPath() {
  FileDialogRequest request;
  request.open = false;
  request.filter = text::kCsvFilter;
  request.default_extension = "csv";
  request.initial_name = m_export_path;
  request.overwrite_prompt = true;
  if (const auto chosen = m_env.ui.ChooseFile(request)) m_export_path = *chosen;
}

void EepromUtilities::BrowseImportPath() {
  FileDialogRequest request;
  request.open = true;
  request.filter = text::kCsvFilter;
  request.default_extension = "csv";
  request.initial_name = m_import_path;
  request.must_exist = true;
  if (const auto chosen = m_env.ui.ChooseFile(request)) m_import_path = *chosen;
}

ToolOutcome EepromUtilities::ExportNode(Pane pane, const EepromTreeNode* node) {
  if (!At(pane).image || !node || !node->item) return ToolOutcome::NothingDone;
  if (WriteFileAtomically(m_export_path, ExportCsv(*node->item))) return ToolOutcome::Done;
  m_env.ui.Error(Format(text::kTextSaveFailed, m_export_path.c_str()));
  return ToolOutcome::Failed;
}

ToolOutcome EepromUtilities::ImportNode(Pane pane, const EepromTreeNode* node) {
  EepromItem* item = Mutable(node);
  if (!At(pane).image || !item) return ToolOutcome::NothingDone;
  // A FIFO or a device would block or never end; only plain files are read.
  const std::optional<std::string> csv = ReadWholeFile(m_import_path, kMaxCsvFileBytes);
  if (!csv) {
    m_env.ui.Error(Format(text::kCsvCannotRead, m_import_path.c_str()));
    return ToolOutcome::Failed;
  }
  const auto imported = ImportCsv(*item, *csv);
  if (!imported) m_env.ui.Plain(imported.error().text);
  // Values read before an error stay, so the pane changed either way.
  Changed(pane);
  return imported ? ToolOutcome::Done : ToolOutcome::Failed;
}

std::vector<EepromDifference> EepromUtilities::Differences() const {
  const EepromPane& l = At(Pane::Left);
  const EepromPane& r = At(Pane::Right);
  if (!l.image || !r.image) return {};
  return CompareEepromItems(*l.image->Root(), *r.image->Root());
}

bool EepromUtilities::NodeDiffers(Pane pane, const EepromTreeNode* node) const {
  if (!node || !node->item) return false;
  for (const auto& d : Differences()) {
    if ((pane == Pane::Left ? d.left : d.right) == node->item) return true;
  }
  return false;
}

const EepromTreeNode* EepromUtilities::NodeOf(Pane pane, const EepromItem* item) const {
  const EepromTreeNode* found = nullptr;
  if (!item || !At(pane).tree) return nullptr;
  ForEachNode(*At(pane).tree, [&](EepromTreeNode& node) {
    if (!found && node.item == item) found = &node;
  });
  return found;
}

bool EepromUtilities::NextDifference(Pane pane) {
  const auto diffs = Differences();
  if (diffs.empty()) return false;
  const EepromTreeNode* selected = At(pane).selected;
  std::size_t next = 0;
  for (std::size_t i = 0; i < diffs.size(); ++i) {
    const EepromItem* mine = pane == Pane::Left ? diffs[i].left : diffs[i].right;
    if (selected && mine && mine == selected->item) {
      next = (i + 1) % diffs.size();
      break;
    }
  }
  const EepromDifference& d = diffs[next];
  if (d.left) At(Pane::Left).selected = NodeOf(Pane::Left, d.left);
  if (d.right) At(Pane::Right).selected = NodeOf(Pane::Right, d.right);
  return true;
}

const ChecksumHealth* EepromUtilities::HealthOf(Pane pane, const EepromTreeNode* node) const {
  if (!node || !node->item) return nullptr;
  for (const auto& h : At(pane).checksum_health) {
    if (h.item == node->item) return &h;
  }
  return nullptr;
}

}  // namespace corvel
