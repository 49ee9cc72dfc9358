// The two-pane EEPROM utilities without the window: the scripted person
// answers, the sample library and images give the files.
#include <filesystem>

#include "core/base/SettingsKeys.h"
#include "core/format/eeprom/EepromCsv.h"
#include "core/tool/eeprom/EepromUtilities.h"
#include "core/tool/eeprom/EepromUtilitiesTexts.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

namespace text = eeprom_utilities_text;
const std::string kSamples = std::string(CORVEL_SOURCE_DIR) + "/data/eeprom/";

class ScriptedEditor : public ItemEditor {
 public:
  std::optional<std::string> EditItem(const EditItemRequest& request) override {
    requests.push_back(request);
    if (entries.empty()) return std::nullopt;
    auto entry = entries.front();
    entries.pop_front();
    return entry;
  }
  std::deque<std::optional<std::string>> entries;
  std::vector<EditItemRequest> requests;
};

class Utilities : public ::testing::Test {
 protected:
  Utilities() : env{ui, port, app, store, kSamples} {}

  EepromUtilities& Open(const std::string& library = kSamples + "EEPROM_library_definitions.txt") {
    tool = std::make_unique<EepromUtilities>(env, editor, library);
    tool->OpenWindow();
    return *tool;
  }
  // Loads a sample into a pane by type and path.
  void Load(Pane pane, const std::string& type, const std::string& file, const char* size = "4096 B") {
    tool->SelectSize(pane, size);
    tool->SetPath(pane, file.empty() ? "" : kSamples + file);
    tool->SelectFileType(pane, type);
  }
  const EepromTreeNode* Node(Pane pane, const std::string& path) {
    EepromItem* item = FindItemByPath(*tool->At(pane).image->Root(), path);
    const EepromTreeNode* found = nullptr;
    std::function<void(const EepromTreeNode&)> walk = [&](const EepromTreeNode& n) {
      if (n.item == item && !found) found = &n;
      for (const auto& c : n.children) walk(*c);
    };
    walk(*tool->At(pane).tree);
    return found;
  }

  ScriptedUserInterface ui;
  SerialPort port;
  AppSettings app;
  MemorySettings store;
  ToolEnv env;
  ScriptedEditor editor;
  TempDir dir;
  std::unique_ptr<EepromUtilities> tool;
};

TEST(EepromUtilitiesSize, TheNumberAtTheStartOfTheSizeText) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"512 B (Atmega8/168)", 512}, {"32768 B", 32768}, {"", 32768}, {"big", 32768}, {"  64", 64}};
  for (const auto& [size_text, size] : cases) EXPECT_EQ(SizeFromText(size_text), size) << size_text;
}

TEST_F(Utilities, OpeningWithoutALibraryShowsWhyAndLeavesTheListsEmpty) {
  Open(dir.File("none.txt"));
  EXPECT_FALSE(tool->LibraryLoaded());
  EXPECT_TRUE(tool->FileTypes().empty());
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Error);
}

TEST_F(Utilities, RememberedEquipmentAndVersionLoadTheirTypeWhenTheWindowOpens) {
  keys::kEquipment1EepromDlg.Put(store, "TX CONTROLLER");
  keys::kSwVersion1EepromDlg.Put(store, "2.1");
  keys::kEepFile1EepromDlg.Put(store, kSamples + "controller_v2.eep");
  keys::kFile1SizeStringEepromDlg.Put(store, "4096 B (Atmega128)");
  Open();
  EXPECT_EQ(tool->At(Pane::Left).file_type, "CONTROLLER_V2");
  EXPECT_TRUE(tool->At(Pane::Left).loaded);
  EXPECT_EQ(tool->At(Pane::Left).software_versions, (std::vector<std::string>{"1.0", "1.1", "2.0", "2.1"}));
  EXPECT_TRUE(ui.Showed(text::kLoadedOk));
  EXPECT_FALSE(tool->At(Pane::Right).image);
  tool->CloseWindow();
  EXPECT_EQ(keys::kEepType1EepromDlg.Get(store), "CONTROLLER_V2");
}

TEST_F(Utilities, LoadFileMessagesByCase) {
  struct Case {
    const char* type;
    const char* file;
    const char* size;
    bool blank;
    const char* message;
    ToolOutcome outcome;
  };
  const Case cases[] = {
      {"CONTROLLER_V1", "controller_v1.eep", "4096 B", false, text::kLoadedOk, ToolOutcome::Done},
      {"NO_SUCH", "controller_v1.eep", "4096 B", false, text::kTypeNotFound, ToolOutcome::Failed},
      {"INTERFACE_BOARD", "controller_v1.eep", "512 B", false, text::kInvalidFile, ToolOutcome::Failed},
      {"CONTROLLER_V1", "absent.eep", "4096 B", false, text::kInvalidFile, ToolOutcome::Failed},
      {"INTERFACE_BOARD", "", "512 B", true, text::kInvalidDefaultFile, ToolOutcome::Failed},
  };
  for (const auto& c : cases) {
    Open();
    tool->SetBlank(Pane::Left, c.blank);
    tool->SelectSize(Pane::Left, c.size);
    tool->SetPath(Pane::Left, c.blank ? "" : kSamples + c.file);
    tool->At(Pane::Left).file_type = c.type;
    EXPECT_EQ(tool->LoadFile(Pane::Left), c.outcome) << c.type << " " << c.file;
    EXPECT_EQ(ui.LastText(), c.message) << c.type << " " << c.file;
    EXPECT_EQ(tool->At(Pane::Left).image != nullptr, c.outcome == ToolOutcome::Done || c.message != text::kTypeNotFound);
  }
}

TEST_F(Utilities, ABlankWithoutTemplateIsZeroValuesWithValidChecksumsAndFFElsewhere) {
  Open();
  tool->SetBlank(Pane::Left, true);
  tool->SelectSize(Pane::Left, "8192 B");
  tool->SelectFileType(Pane::Left, "CONTROLLER_V1");
  const EepromPane& p = tool->At(Pane::Left);
  ASSERT_TRUE(p.image);
  EXPECT_TRUE(p.loaded);
  EXPECT_EQ(p.image->Bytes().size(), 8192u);
  EXPECT_EQ(p.image->Bytes().data()[4096], 0xFF);
  EXPECT_EQ(p.image->Bytes().data()[0], 0x00);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Utilities, EditingAValueMarksThePaneAndClosingAsksToSave) {
  Open();
  Load(Pane::Left, "CONTROLLER_V1", "controller_v1.eep");
  tool->Select(Pane::Left, Node(Pane::Left, "CONFIG_VERSION"));
  editor.entries = {std::string("42")};
  EXPECT_EQ(tool->EditSelected(Pane::Left), ToolOutcome::Done);
  ASSERT_EQ(editor.requests.size(), 1u);
  EXPECT_EQ(editor.requests[0].title, "Editing BYTE CONFIG_VERSION");
  EXPECT_TRUE(tool->At(Pane::Left).modified);
  EXPECT_EQ(Node(Pane::Left, "CONFIG_VERSION")->text, "BYTE CONFIG_VERSION: 42");

  // Saving as text keeps the mark, so closing still asks.
  EXPECT_EQ(tool->SaveTo(Pane::Left, dir.File("listing.TXT")), ToolOutcome::Done);
  EXPECT_TRUE(tool->At(Pane::Left).modified);
  ui.answers = {Answer::Yes};
  ui.files = {dir.File("saved.eep")};
  tool->CloseWindow();
  EXPECT_EQ(ui.shown.back().message.text, text::kSaveFirst);
  EXPECT_TRUE(std::filesystem::exists(dir.File("saved.eep")));
}

TEST_F(Utilities, EditsThatChangeNothingLeaveThePaneUnmodified) {
  const std::optional<std::string> entries[] = {std::nullopt, std::string("abc"), std::string("255")};
  for (const auto& entry : entries) {
    Open();
    Load(Pane::Left, "CONTROLLER_V1", "");  // no file: 0xFF bytes
    tool->Select(Pane::Left, Node(Pane::Left, "CONFIG_VERSION"));
    editor.entries = {entry};
    const ToolOutcome outcome = tool->EditSelected(Pane::Left);
    EXPECT_NE(outcome, ToolOutcome::Done);
    EXPECT_FALSE(tool->At(Pane::Left).modified);
  }
}

TEST_F(Utilities, MenuRulesAndPaste) {
  Open();
  Load(Pane::Left, "CONTROLLER_V1", "controller_v1.eep");
  Load(Pane::Right, "CONTROLLER_V2", "controller_v2.eep");
  const EepromTreeNode* reserved = Node(Pane::Left, "RESERVED");
  EXPECT_FALSE(tool->MenuFor(Pane::Left, reserved).shown);
  const EepromTreeNode* id = Node(Pane::Left, "ID");
  EXPECT_TRUE(tool->MenuFor(Pane::Left, id).shown);
  EXPECT_FALSE(tool->MenuFor(Pane::Left, id).edit);
  EXPECT_FALSE(tool->MenuFor(Pane::Left, id).paste);
  tool->CopyNode(Pane::Left, id);
  EXPECT_FALSE(tool->MenuFor(Pane::Left, id).paste) << "not onto itself";
  EXPECT_TRUE(tool->MenuFor(Pane::Right, Node(Pane::Right, "ID")).paste);
  tool->PasteNode(Pane::Right, Node(Pane::Right, "ID"));
  EXPECT_TRUE(tool->At(Pane::Right).modified);
  EXPECT_EQ(FindItemByPath(*tool->At(Pane::Right).image->Root(), "ID.SERIAL")->dword_value,
            FindItemByPath(*tool->At(Pane::Left).image->Root(), "ID.SERIAL")->dword_value);
  // Loading another file into the copy source's pane forgets the source.
  Load(Pane::Left, "CONTROLLER_V1", "controller_v1.eep");
  EXPECT_FALSE(tool->HasCopySource());
}

TEST_F(Utilities, CopyRightAndLeftTakeTheSelectedItems) {
  Open();
  Load(Pane::Left, "CONTROLLER_V1", "controller_v1.eep");
  Load(Pane::Right, "CONTROLLER_V1", "");  // no file: every byte 0xFF
  auto value = [&](Pane pane, const char* path) {
    return FindItemByPath(*tool->At(pane).image->Root(), path)->ValueText();
  };
  tool->CopyToRight();  // nothing selected: nothing happens
  EXPECT_FALSE(tool->At(Pane::Right).modified);
  tool->Select(Pane::Left, Node(Pane::Left, "ID"));
  tool->Select(Pane::Right, Node(Pane::Right, "ID"));
  tool->CopyToRight();
  EXPECT_TRUE(tool->At(Pane::Right).modified);
  EXPECT_FALSE(tool->At(Pane::Left).modified);
  EXPECT_EQ(value(Pane::Right, "ID.SERIAL"), value(Pane::Left, "ID.SERIAL"));
  EXPECT_NE(value(Pane::Right, "CONFIG_VERSION"), value(Pane::Left, "CONFIG_VERSION"));
  tool->Select(Pane::Left, Node(Pane::Left, "CONFIG_VERSION"));
  tool->Select(Pane::Right, Node(Pane::Right, "CONFIG_VERSION"));
  tool->CopyToLeft();
  EXPECT_TRUE(tool->At(Pane::Left).modified);
  EXPECT_EQ(value(Pane::Left, "CONFIG_VERSION"), "255");
  EXPECT_EQ(Node(Pane::Left, "CONFIG_VERSION")->text, "BYTE CONFIG_VERSION: 255");
}

TEST_F(Utilities, CompareFindsPlantedDifferencesAndNextDifferenceWalksThem) {
  Open();
  Load(Pane::Left, "CONTROLLER_V1", "controller_v1.eep");
  Load(Pane::Right, "CONTROLLER_V1", "controller_v1.eep");
  EXPECT_TRUE(tool->Differences().empty());
  EXPECT_FALSE(tool->NextDifference(Pane::Left));
  tool->Select(Pane::Right, Node(Pane::Right, "RUN_HOURS"));
  editor.entries = {std::string("123456")};
  ASSERT_EQ(tool->EditSelected(Pane::Right), ToolOutcome::Done);
  tool->Select(Pane::Right, Node(Pane::Right, "CONFIG_VERSION"));
  editor.entries = {std::string("77")};
  ASSERT_EQ(tool->EditSelected(Pane::Right), ToolOutcome::Done);
  const auto diffs = tool->Differences();
  ASSERT_EQ(diffs.size(), 2u);
  EXPECT_EQ(diffs[0].path, "CONFIG_VERSION");
  EXPECT_EQ(diffs[1].path, "RUN_HOURS");
  tool->Select(Pane::Left, nullptr);
  ASSERT_TRUE(tool->NextDifference(Pane::Left));
  EXPECT_EQ(tool->At(Pane::Left).selected, Node(Pane::Left, "CONFIG_VERSION"));
  EXPECT_EQ(tool->At(Pane::Right).selected, Node(Pane::Right, "CONFIG_VERSION"));
  ASSERT_TRUE(tool->NextDifference(Pane::Left));
  EXPECT_EQ(tool->At(Pane::Left).selected, Node(Pane::Left, "RUN_HOURS"));
  EXPECT_TRUE(tool->NodeDiffers(Pane::Right, Node(Pane::Right, "RUN_HOURS")));
  EXPECT_FALSE(tool->NodeDiffers(Pane::Right, Node(Pane::Right, "ID")));
}

TEST_F(Utilities, ChecksumHealthIsTakenBeforeTheReEncode) {
  // The sample with one CRC byte of the whole image corrupted.
  HexImage bytes;
  ASSERT_TRUE(bytes.LoadHex(kSamples + "controller_v1.eep", 4096));
  Open();
  Load(Pane::Left, "CONTROLLER_V1", "controller_v1.eep");
  const auto good = tool->At(Pane::Left).checksum_health;
  ASSERT_FALSE(good.empty());
  for (const auto& h : good) EXPECT_TRUE(h.Good()) << h.path;
  const uint32_t at = good.back().offset;
  bytes.data()[at] ^= 0x5A;
  ASSERT_TRUE(bytes.SaveHex(dir.File("corrupt.eep")));
  tool->SetPath(Pane::Left, dir.File("corrupt.eep"));
  ASSERT_EQ(tool->LoadFile(Pane::Left), ToolOutcome::Done);
  const ChecksumHealth* root = tool->HealthOf(Pane::Left, tool->At(Pane::Left).tree->children[0].get());
  ASSERT_NE(root, nullptr);
  EXPECT_FALSE(root->Good());
  // The bytes now hold the computed field: a repair, but one that was shown.
  EXPECT_EQ(tool->At(Pane::Left).image->Bytes().data()[at], bytes.data()[at] ^ 0x5A);
}

TEST_F(Utilities, CsvExportAndImportThroughThePanes) {
  Open();
  Load(Pane::Left, "CONTROLLER_V2", "controller_v2.eep");
  tool->SetExportPath(dir.File("all.csv"));
  const EepromTreeNode* top = tool->At(Pane::Left).tree->children[0].get();
  ASSERT_EQ(tool->ExportNode(Pane::Left, top), ToolOutcome::Done);
  Load(Pane::Right, "CONTROLLER_V2", "");
  tool->SetImportPath(dir.File("all.csv"));
  EXPECT_EQ(tool->ImportNode(Pane::Right, tool->At(Pane::Right).tree->children[0].get()), ToolOutcome::Done);
  EXPECT_TRUE(tool->At(Pane::Right).modified);
  // Only the char display BYTEs differ: they come back as blanks.
  const auto diffs = tool->Differences();
  EXPECT_FALSE(diffs.empty());
  for (const auto& d : diffs) {
    ASSERT_TRUE(d.left && d.right) << d.path;
    EXPECT_TRUE(d.left->char_display && d.right->char_display) << d.path;
    EXPECT_EQ(d.right->byte_value, ' ') << d.path;
  }

  // An error keeps what came before it, marks the pane and shows the text.
  WriteText(dir.File("bad.csv"), "IDENTITY_V2,ID,\nDWORD,SERIAL,5\nWORD,NOPE,1\n");
  tool->SetImportPath(dir.File("bad.csv"));
  EXPECT_EQ(tool->ImportNode(Pane::Right, tool->At(Pane::Right).tree->children[0].get()), ToolOutcome::Failed);
  EXPECT_EQ(ui.LastText().rfind("Import error on line 3: Expected  ", 0), 0u) << ui.LastText();
  EXPECT_EQ(FindItemByPath(*tool->At(Pane::Right).image->Root(), "ID.SERIAL")->dword_value, 5u);

  // A folder or a missing file is refused with a message.
  for (const std::string& path : {dir.Path(), dir.File("missing.csv")}) {
    tool->SetImportPath(path);
    EXPECT_EQ(tool->ImportNode(Pane::Right, tool->At(Pane::Right).tree->children[0].get()), ToolOutcome::Failed);
  }
  tool->StoreCsvPaths();
  EXPECT_EQ(keys::kExportFileExportEepDataDlg.Get(store), dir.File("all.csv"));
}

TEST_F(Utilities, SaveByExtension) {
  Open();
  Load(Pane::Left, "INTERFACE_BOARD", "interface.eep", "512 B");
  struct Case {
    std::string path;
    ToolOutcome outcome;
    bool written;
  };
  const Case cases[] = {
      {dir.File("a.EEP"), ToolOutcome::Done, true},
      {dir.File("a.hex"), ToolOutcome::Done, true},
      {dir.File("a.txt"), ToolOutcome::Done, true},
      {dir.File("a.bin"), ToolOutcome::NothingDone, false},
      {dir.File("no/such/folder/a.eep"), ToolOutcome::Failed, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tool->SaveTo(Pane::Left, c.path), c.outcome) << c.path;
    EXPECT_EQ(std::filesystem::exists(c.path), c.written) << c.path;
  }
  EXPECT_EQ(ui.LastText(), text::kSaveFailed);
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Error);
}

}  // namespace
}  // namespace corvel::test
