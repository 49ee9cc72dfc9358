#pragma once
// "Pyrel Kernel Uploader": a thin view over KernelUploader. It mirrors the
// two edit boxes into the controller, forwards each click, and renders the
// controller's state afterwards.
#include <QDialog>

#include "core/tool/kernel/KernelUploader.h"

class QLineEdit;
class QPushButton;

namespace corvel::gui {

class KernelUploaderDialog : public QDialog {
  Q_OBJECT

 public:
  KernelUploaderDialog(QWidget* parent, ToolEnv& env);
  // What the window does as it opens: the stored file and address, Connect.
  void OpenTool();
  KernelUploader& Controller() { return m_uploader; }
  QPushButton* Button(const QString& caption) const;
  QLineEdit* FilePath() const { return m_file_path; }
  QLineEdit* AddressBox() const { return m_address; }

 public slots:
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Render();
  void TakeControls();
  void Click(const std::function<void()>& action);
  void Finish();

  KernelUploader m_uploader;
  QLineEdit* m_file_path;
  QLineEdit* m_address;
  QPushButton* m_view;
  QPushButton* m_program;
  bool m_finished = false;
  bool m_busy = false;
};

}  // namespace corvel::gui
