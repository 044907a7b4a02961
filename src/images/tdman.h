// SPDX-License-Identifier: GPL-3.0-or-later
// The file manager (`Tdman`, "Dateiauswahl"): the BMP pictures of a folder with the first line
// of their comment and their time; the chosen one opens in the image window.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace ktx {

class Tdman final : public QDialog {
    Q_OBJECT
  public:
    explicit Tdman(const std::string& folder, QWidget* parent = nullptr);

    // The chosen file with its folder (after OK).
    std::string FileName() const { return m_fileName; }
    void SetFolder(const std::string& folder);
    std::string Folder() const { return m_folder; }
    QTreeWidget* Files() const { return m_files; }
    // What "OK" does; public so tests can drive it.
    void Confirm();

  private:
    void FillFolders();
    void FillFiles();

    std::string m_folder;
    std::string m_fileName;
    QComboBox* m_drive;
    QListWidget* m_folders;
    QTreeWidget* m_files;
    QLineEdit* m_name;
};

}  // namespace ktx
