// SPDX-License-Identifier: GPL-3.0-or-later
// The installer's dialogs, in the order they appear: the information text of the medium, the
// choice of language and the copy dialog. They collect choices; Install and MakeDisks do the
// work.
#pragma once

#include <QDialog>

#include "installer/installation.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QButtonGroup;

namespace ktx {

// "Information": install.txt of the medium, "Cancel" / "Continue".
class InformationDialog : public QDialog {
    Q_OBJECT
  public:
    InformationDialog(const QString& text, QWidget* parent = nullptr);
};

// "Select Version": the language whose folder of the medium is installed.
class VersionDialog : public QDialog {
    Q_OBJECT
  public:
    explicit VersionDialog(QWidget* parent = nullptr);
    int Language() const;

  private:
    QButtonGroup* m_languages;
};

// "KurviTex 4.8 Installation".
class CopyDialog : public QDialog, private InstallerUi {
    Q_OBJECT
  public:
    CopyDialog(const QString& medium, int language, QWidget* parent = nullptr);

  private:
    void InstallClicked();
    void UpdateBytes();
    void CreateDisksClicked();
    void ChooseFolder(QLineEdit* edit);

    void ShowFile(const std::string& path) override;
    void Progress(std::uint64_t bytesDone) override;
    bool AskContinue(const std::string& text) override;
    void Warn(const std::string& text) override;
    void Error(const std::string& text) override;
    std::optional<std::string> NextDisk(const std::string& text) override;

    int m_language;
    QLineEdit* m_source;
    QLineEdit* m_destination;
    QCheckBox* m_createDisks;
    QProgressBar* m_gauge;
    QLabel* m_file;
    QLabel* m_needed;
    QLabel* m_free;
    QPushButton* m_install;
    QString m_lastInstallFolder;
    std::uint64_t m_neededBytes = 0;
};

}  // namespace ktx
