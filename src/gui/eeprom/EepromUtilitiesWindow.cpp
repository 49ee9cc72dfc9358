#include "gui/eeprom/EepromUtilitiesWindow.h"

#include <algorithm>

#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include "core/tool/eeprom/EepromUtilitiesTexts.h"
#include "gui/ToolWindows.h"

namespace corvel::gui {

namespace {

namespace text = eeprom_utilities_text;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A sorted box that also takes typed text.
QComboBox* EditableBox(bool sorted) {
  auto* box = new QComboBox;
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  if (sorted) box->model()->sort(0);
  return box;
}

void Fill(QComboBox* box, const std::vector<std::string>& entries, const std::string& current) {
  const QSignalBlocker block(box);
  QStringList list;
  for (const auto& e : entries) list << Q(e);
  list.sort();
  box->clear();
  box->addItems(list);
  box->setCurrentText(Q(current));
}

const EepromTreeNode* NodeOf(QTreeWidgetItem* item) {
  return item ? reinterpret_cast<const EepromTreeNode*>(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

}  // namespace

std::optional<std::string> QtItemEditor::EditItem(const EditItemRequest& request) {
  QDialog dialog(m_parent);
  dialog.setWindowTitle("Edit Item");
  auto* layout = new QVBoxLayout(&dialog);
  auto* title = new QLabel(Q(request.title));
  auto* prompt = new QPlainTextEdit(QString::fromStdString(request.prompt).replace("\r\n", "\n"));
  prompt->setReadOnly(true);
  auto* value = new QLineEdit(Q(request.value));
  value->setVisible(request.has_entry);
  auto* buttons = new QDialogButtonBox(request.has_entry ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel
                                                         : QDialogButtonBox::Cancel);
  layout->addWidget(title);
  layout->addWidget(prompt);
  layout->addWidget(value);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (ExecModal(dialog) != QDialog::Accepted) return std::nullopt;
  return value->text().toStdString();
}

EepromUtilitiesWindow::EepromUtilitiesWindow(ToolEnv& env, QWidget* parent, ItemEditor* editor) : QDialog(parent) {
  setWindowTitle(text::kWindowTitle);
  if (!editor) {
    m_own_editor = std::make_unique<QtItemEditor>(this);
    editor = m_own_editor.get();
  }
  m_tool = std::make_unique<EepromUtilities>(env, *editor, EepromLibraryPath(env.program_folder));
  auto* layout = new QGridLayout(this);
  layout->addWidget(BuildPane(Pane::Left), 0, 0);
  auto* middle = new QVBoxLayout;
  auto* copy_right = new QPushButton("Copy Right >>");
  auto* copy_left = new QPushButton("<< Copy Left");
  m_compare = new QCheckBox("Compare");
  m_next = new QPushButton("Next Difference");
  middle->addStretch();
  middle->addWidget(copy_right);
  middle->addWidget(copy_left);
  middle->addSpacing(24);
  middle->addWidget(m_compare);
  middle->addWidget(m_next);
  middle->addStretch();
  layout->addLayout(middle, 0, 1);
  layout->addWidget(BuildPane(Pane::Right), 0, 2);
  auto* bottom = new QHBoxLayout;
  auto* close = new QPushButton("Close");
  bottom->addWidget(m_panes[0].save);
  bottom->addStretch();
  bottom->addWidget(m_panes[1].save);
  bottom->addWidget(close);
  layout->addLayout(bottom, 1, 0, 1, 3);

  connect(copy_right, &QPushButton::clicked, this, [this] { Run([this] { m_tool->CopyToRight(); }); });
  connect(copy_left, &QPushButton::clicked, this, [this] { Run([this] { m_tool->CopyToLeft(); }); });
  connect(m_compare, &QCheckBox::toggled, this, [this] { Run([] {}); });
  connect(m_next, &QPushButton::clicked, this, [this] {
    Run([this] {
      QTreeWidget* left = m_panes[0].tree;
      m_tool->NextDifference(left->hasFocus() || !m_panes[1].tree->hasFocus() ? Pane::Left : Pane::Right);
    });
  });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  m_tool->OpenWindow();
  Push();
  resize(1100, 720);
}

EepromUtilitiesWindow::~EepromUtilitiesWindow() {
  if (!m_closed) m_tool->CloseWindow();
}

void EepromUtilitiesWindow::done(int result) {
  if (!m_closed) {
    Pull();
    m_closed = true;
    m_tool->CloseWindow();
  }
  QDialog::done(result);
}

QWidget* EepromUtilitiesWindow::BuildPane(Pane pane) {
  PaneWidgets& w = m_panes[pane == Pane::Left ? 0 : 1];
  auto* box = new QWidget;
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  w.equipment = EditableBox(true);
  w.version = EditableBox(true);
  w.type = EditableBox(true);
  w.size = EditableBox(false);
  for (const char* size : text::kFileSizes) w.size->addItem(size);
  w.path = new QLineEdit;
  w.browse = new QPushButton("Browse");
  w.view = new QPushButton("View File");
  w.load = new QPushButton("Load File");
  w.blank = new QCheckBox(text::kLoadBlank);
  w.tree = new QTreeWidget;
  w.tree->setHeaderHidden(true);
  w.tree->setContextMenuPolicy(Qt::CustomContextMenu);
  w.edit = new QPushButton("Edit Selected");
  w.save = new QPushButton(pane == Pane::Left ? "Save File 1" : "Save File 2");
  int row = 0;
  grid->addWidget(new QLabel(text::kEquipmentLabel), row, 0);
  grid->addWidget(w.equipment, row++, 1, 1, 3);
  grid->addWidget(new QLabel(text::kSoftwareVersionLabel), row, 0);
  grid->addWidget(w.version, row++, 1, 1, 3);
  grid->addWidget(new QLabel(pane == Pane::Left ? text::kFirstFileType : text::kSecondFileType), row, 0);
  grid->addWidget(w.type, row++, 1, 1, 3);
  grid->addWidget(new QLabel(text::kFileSizeLabel), row, 0);
  grid->addWidget(w.size, row++, 1, 1, 3);
  grid->addWidget(new QLabel(text::kSelectFile), row++, 0, 1, 4);
  grid->addWidget(w.path, row, 0, 1, 4);
  ++row;
  grid->addWidget(w.browse, row, 1);
  grid->addWidget(w.view, row, 2);
  grid->addWidget(w.load, row++, 3);
  grid->addWidget(w.blank, row++, 0, 1, 4);
  grid->addWidget(w.tree, row++, 0, 1, 4);
  grid->addWidget(w.edit, row++, 0, 1, 4);

  connect(w.equipment, &QComboBox::textActivated, this,
          [this, pane](const QString& t) { Run([this, pane, t] { m_tool->SelectEquipment(pane, t.toStdString()); }); });
  connect(w.version, &QComboBox::textActivated, this, [this, pane](const QString& t) {
    Run([this, pane, t] { m_tool->SelectSoftwareVersion(pane, t.toStdString()); });
  });
  connect(w.type, &QComboBox::textActivated, this,
          [this, pane](const QString& t) { Run([this, pane, t] { m_tool->SelectFileType(pane, t.toStdString()); }); });
  connect(w.blank, &QCheckBox::toggled, this,
          [this, pane](bool on) { Run([this, pane, on] { m_tool->SetBlank(pane, on); }); });
  connect(w.browse, &QPushButton::clicked, this, [this, pane] { Run([this, pane] { m_tool->Browse(pane); }); });
  connect(w.view, &QPushButton::clicked, this, [this, pane] { Run([this, pane] { m_tool->ViewFile(pane); }); });
  connect(w.load, &QPushButton::clicked, this,
          [this, pane] { Run([this, pane] { (void)m_tool->LoadFile(pane); }); });
  connect(w.edit, &QPushButton::clicked, this,
          [this, pane] { Run([this, pane] { (void)m_tool->EditSelected(pane); }); });
  connect(w.save, &QPushButton::clicked, this, [this, pane] { Run([this, pane] { (void)m_tool->SaveFile(pane); }); });
  connect(w.tree, &QTreeWidget::itemDoubleClicked, this,
          [this, pane] { Run([this, pane] { (void)m_tool->EditSelected(pane); }); });
  connect(w.tree, &QTreeWidget::currentItemChanged, this, [this, pane](QTreeWidgetItem* current) {
    if (!m_pushing) m_tool->Select(pane, NodeOf(current));
  });
  connect(w.tree, &QTreeWidget::customContextMenuRequested, this,
          [this, pane](const QPoint& at) { ShowMenu(pane, at); });
  return box;
}

void EepromUtilitiesWindow::Run(const std::function<void()>& action) {
  if (m_pushing) return;
  Pull();
  action();
  Push();
}

void EepromUtilitiesWindow::Pull() {
  for (Pane pane : {Pane::Left, Pane::Right}) {
    const PaneWidgets& w = Widgets(pane);
    EepromPane& p = m_tool->At(pane);
    p.equipment = w.equipment->currentText().toStdString();
    p.software_version = w.version->currentText().toStdString();
    p.file_type = w.type->currentText().toStdString();
    p.size_text = w.size->currentText().toStdString();
    if (!p.blank) p.path = w.path->text().toStdString();
  }
}

void EepromUtilitiesWindow::Push() {
  m_pushing = true;
  for (Pane pane : {Pane::Left, Pane::Right}) {
    const PaneWidgets& w = Widgets(pane);
    const EepromPane& p = m_tool->At(pane);
    Fill(w.equipment, m_tool->Equipment(), p.equipment);
    Fill(w.version, p.software_versions, p.software_version);
    Fill(w.type, m_tool->FileTypes(), p.file_type);
    {
      const QSignalBlocker block(w.size);
      w.size->setCurrentText(Q(p.size_text));
    }
    {
      const QSignalBlocker block(w.blank);
      w.blank->setChecked(p.blank);
    }
    w.path->setText(Q(p.path));
    w.path->setEnabled(m_tool->PathEnabled(pane));
    w.browse->setEnabled(m_tool->PathEnabled(pane));
    PushTree(pane);
  }
  m_next->setEnabled(m_compare->isChecked());
  m_pushing = false;
}

void EepromUtilitiesWindow::PushTree(Pane pane) {
  QTreeWidget* tree = Widgets(pane).tree;
  const EepromPane& p = m_tool->At(pane);
  std::vector<const EepromItem*> differing;
  if (m_compare->isChecked()) {
    for (const auto& d : m_tool->Differences()) differing.push_back(pane == Pane::Left ? d.left : d.right);
  }
  tree->clear();
  if (!p.tree) return;
  QTreeWidgetItem* selected = nullptr;
  std::function<void(const EepromTreeNode&, QTreeWidgetItem*)> add = [&](const EepromTreeNode& node,
                                                                          QTreeWidgetItem* parent) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    QString label = Q(node.text);
    if (const ChecksumHealth* health = m_tool->HealthOf(pane, &node)) {
      label += health->Good() ? "  [stored checksum good]"
                              : QString("  [stored checksum 0x%1 BAD]").arg(health->stored, 0, 16).toUpper();
      if (!health->Good()) item->setForeground(0, QBrush(Qt::red));
    }
    item->setText(0, label);
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&node)));
    if (node.item && std::find(differing.begin(), differing.end(), node.item) != differing.end()) {
      item->setBackground(0, QBrush(QColor(255, 230, 150)));
    }
    if (&node == p.selected) selected = item;
    for (const auto& child : node.children) add(*child, item);
  };
  for (const auto& child : p.tree->children) add(*child, nullptr);
  tree->expandToDepth(0);
  if (selected) {
    tree->setCurrentItem(selected);
    tree->scrollToItem(selected);
  }
}

QTreeWidgetItem* EepromUtilitiesWindow::ItemOf(Pane pane, const EepromTreeNode* node) const {
  for (QTreeWidgetItemIterator it(Widgets(pane).tree); *it; ++it) {
    if (NodeOf(*it) == node) return *it;
  }
  return nullptr;
}

void EepromUtilitiesWindow::ShowMenu(Pane pane, const QPoint& at) {
  QTreeWidget* tree = Widgets(pane).tree;
  QTreeWidgetItem* item = tree->itemAt(at);
  const EepromTreeNode* node = NodeOf(item);
  const NodeMenu rules = m_tool->MenuFor(pane, node);
  if (!rules.shown) return;
  tree->setCurrentItem(item);
  QMenu menu(text::kMenuTitle, this);
  QAction* copy = menu.addAction("Copy");
  QAction* paste = menu.addAction("Paste");
  QAction* edit = menu.addAction("Edit");
  QAction* export_csv = menu.addAction("Export");
  QAction* import_csv = menu.addAction("Import");
  paste->setEnabled(rules.paste);
  edit->setEnabled(rules.edit);
  QAction* chosen = menu.exec(tree->viewport()->mapToGlobal(at));
  if (chosen == copy) Run([this, pane, node] { m_tool->CopyNode(pane, node); });
  if (chosen == paste) Run([this, pane, node] { m_tool->PasteNode(pane, node); });
  if (chosen == edit) Run([this, pane] { (void)m_tool->EditSelected(pane); });
  if (chosen == export_csv) RunCsvDialog(pane, node, true);
  if (chosen == import_csv) RunCsvDialog(pane, node, false);
}

void EepromUtilitiesWindow::RunCsvDialog(Pane pane, const EepromTreeNode* node, bool export_csv) {
  QDialog dialog(this);
  dialog.setWindowTitle(export_csv ? "Export" : "Import");
  auto* layout = new QGridLayout(&dialog);
  auto* path = new QLineEdit(Q(export_csv ? m_tool->ExportPath() : m_tool->ImportPath()));
  path->setMinimumWidth(360);
  auto* browse = new QPushButton("Browse");
  auto* run = new QPushButton(export_csv ? "Export" : "Import");
  auto* close = new QPushButton("Close");
  layout->addWidget(new QLabel(export_csv ? text::kExportPrompt : text::kImportPrompt), 0, 0, 1, 3);
  layout->addWidget(path, 1, 0, 1, 2);
  layout->addWidget(browse, 1, 2);
  layout->addWidget(run, 2, 1);
  layout->addWidget(close, 2, 2);
  const auto take_path = [this, path, export_csv] {
    if (export_csv) {
      m_tool->SetExportPath(path->text().toStdString());
    } else {
      m_tool->SetImportPath(path->text().toStdString());
    }
  };
  connect(browse, &QPushButton::clicked, &dialog, [this, path, export_csv, take_path] {
    take_path();
    if (export_csv) {
      m_tool->BrowseExportPath();
    } else {
      m_tool->BrowseImportPath();
    }
    path->setText(Q(export_csv ? m_tool->ExportPath() : m_tool->ImportPath()));
  });
  connect(run, &QPushButton::clicked, &dialog, [this, pane, node, export_csv, take_path] {
    take_path();
    if (export_csv) {
      (void)m_tool->ExportNode(pane, node);
    } else {
      (void)m_tool->ImportNode(pane, node);
      Push();
    }
  });
  connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
  ExecModal(dialog);
  take_path();
  m_tool->StoreCsvPaths();
  Push();
}

}  // namespace corvel::gui

CORVEL_GUI_TOOL(EepromFileUtilities, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::EepromUtilitiesWindow window(env, parent);
  corvel::gui::ExecModal(window);
});
