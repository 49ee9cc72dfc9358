#pragma once
// "Upload DSP Firmware": a thin view over DspUploader. Five rows of controls
// (label, path, Browse, View File, Read, program box, Binary File), shown,
// captioned and enabled as the controller says.
#include <QDialog>

#include <array>

#include "core/tool/dsp/DspUploader.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvel::gui {

class UploadDspDialog : public QDialog {
  Q_OBJECT

 public:
  UploadDspDialog(QWidget* parent, ToolEnv& env);
  // What the window does as it opens: connect, the board's last files.
  void OpenTool();
  DspUploader& Controller() { return m_uploader; }

  struct RowControls {
    QLabel* label = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* browse = nullptr;
    QPushButton* view = nullptr;
    QPushButton* read = nullptr;
    QCheckBox* program = nullptr;
    QCheckBox* binary = nullptr;
  };
  const RowControls& Row(int k) const { return m_rows.at(k); }
  QPushButton* ConnectButton() const { return m_connect; }
  QPushButton* ProgramButton() const { return m_program; }
  QPushButton* StartButton() const { return m_start; }
  QPushButton* CloseButton() const { return m_close; }

 public slots:
  void reject() override;

 private:
  void Render();
  // Takes the typed paths, runs the action, renders the result.
  void Click(const std::function<void()>& action);
  void Finish();

  DspUploader m_uploader;
  std::array<RowControls, DspUploader::kRows> m_rows;
  QPushButton* m_connect;
  QPushButton* m_program;
  QPushButton* m_start;
  QPushButton* m_close;
  bool m_finished = false;
};

}  // namespace corvel::gui
