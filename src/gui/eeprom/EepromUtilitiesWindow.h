#pragma once
// The "EEPROM File Utilities" window: two panes over EepromUtilities. It only
// renders the controller's state and forwards clicks.
#include <QDialog>

#include <array>
#include <memory>

#include "core/tool/eeprom/EepromUtilities.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace corvel::gui {

// The "Edit Item" dialog as a modal Qt dialog.
class QtItemEditor : public ItemEditor {
 public:
  explicit QtItemEditor(QWidget* parent) : m_parent(parent) {}
  std::optional<std::string> EditItem(const EditItemRequest& request) override;

 private:
  QWidget* m_parent;
};

class EepromUtilitiesWindow : public QDialog {
  Q_OBJECT
 public:
  // editor: nullptr for the Qt "Edit Item" dialog (tests pass a scripted one).
  EepromUtilitiesWindow(ToolEnv& env, QWidget* parent = nullptr, ItemEditor* editor = nullptr);
  ~EepromUtilitiesWindow() override;

  EepromUtilities& Tool() { return *m_tool; }
  struct PaneWidgets {
    QComboBox* equipment = nullptr;
    QComboBox* version = nullptr;
    QComboBox* type = nullptr;
    QComboBox* size = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* browse = nullptr;
    QPushButton* view = nullptr;
    QPushButton* load = nullptr;
    QCheckBox* blank = nullptr;
    QTreeWidget* tree = nullptr;
    QPushButton* edit = nullptr;
    QPushButton* save = nullptr;
  };
  const PaneWidgets& Widgets(Pane pane) const { return m_panes[pane == Pane::Left ? 0 : 1]; }
  QCheckBox* CompareBox() const { return m_compare; }
  QPushButton* NextDifferenceButton() const { return m_next; }
  // The tree item that shows a node (nullptr when none).
  QTreeWidgetItem* ItemOf(Pane pane, const EepromTreeNode* node) const;
  // Closes through the controller's questions (also on the window's close).
  void done(int result) override;

 private:
  QWidget* BuildPane(Pane pane);
  void Run(const std::function<void()>& action);
  void Pull();
  void Push();
  void PushTree(Pane pane);
  void ShowMenu(Pane pane, const QPoint& at);
  void RunCsvDialog(Pane pane, const EepromTreeNode* node, bool export_csv);

  std::unique_ptr<QtItemEditor> m_own_editor;
  std::unique_ptr<EepromUtilities> m_tool;
  std::array<PaneWidgets, 2> m_panes;
  QCheckBox* m_compare = nullptr;
  QPushButton* m_next = nullptr;
  bool m_pushing = false;
  bool m_closed = false;
};

}  // namespace corvel::gui
