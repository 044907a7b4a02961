// SPDX-License-Identifier: GPL-3.0-or-later
// "Geräteauswahl": the instrument definition files of the Driver folder by their names; a double
// click counts as OK.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;

namespace ktx {

class Tsel_oszi : public QDialog {
    Q_OBJECT
  public:
    // `names` in list order (unsorted, as found); `preselected` the row to select, -1 for none.
    Tsel_oszi(const std::vector<std::string>& names, int preselected, QWidget* parent = nullptr);
    // The chosen row, -1 when none is selected.
    int Selected() const;
    QListWidget* List() const { return m_list; }

  private:
    QListWidget* m_list;
};

}  // namespace ktx
