// SPDX-License-Identifier: GPL-3.0-or-later
// The batch converter's dialog (TKonvdlg, "Konvertierung"): folder, files, source format and
// target format; OK converts the selected files with convert/batch_converter.h and says how it
// went. User-interface thread only.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "convert/batch_converter.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace ktx {

class Notifier;
class ProgressSink;
class Tfos_form;

class TKonvdlg : public QDialog {
    Q_OBJECT
  public:
    TKonvdlg(Notifier& notifier, ProgressSink& progress, char systemDecimal,
             QWidget* parent = nullptr);
    ~TKonvdlg() override;

    // For tests and the controls.
    void SetFolder(const std::string& folder);
    std::string Folder() const;
    void SetSourceIndex(int index);
    void SetTargetIndex(int index);
    void SelectAll();
    // The files of the folder the list shows (the mask's, whatever the case of their names).
    std::vector<std::string> ListedFiles() const;
    bool OptionsEnabled() const;
    bool TextTargetsVisible() const;
    // Converts the selected files; the summary of the last run.
    void OkClick();
    const ConvertSummary& Summary() const { return m_summary; }

  private:
    void SourceChanged();
    void Refill();
    ConvertSource Source() const;

    Notifier& m_notifier;
    ProgressSink& m_progress;
    char m_systemDecimal;
    ConvertSummary m_summary;
    Tfos_form* m_options;
    QLineEdit* m_folder;
    QListWidget* m_files;
    QLineEdit* m_fileEdit;
    QComboBox* m_filter;
    QGroupBox* m_formGrp;
    QGroupBox* m_formGrp1;
    QButtonGroup* m_targets;
    QPushButton* m_opBtn;
};

}  // namespace ktx
