#pragma once

#include <QDialog>
#include <optional>

#include "vsp/VspController.h"

class QComboBox;

// "COM Port Configuration": picks the COM number of a new port from 256 entries, the numbers
// in use marked, the lowest free one preselected.
class CDlgVspPortConfig final : public QDialog {
    Q_OBJECT
  public:
    CDlgVspPortConfig(const VspComUsage& used, QWidget* parent = nullptr);

    QComboBox* List() const { return list_; }
    // The selected number, 1 to 256.
    int ChosenNumber() const;
    // Shows the dialog modally: the chosen number after OK, nullopt after Cancel.
    static std::optional<int> Choose(const VspComUsage& used, QWidget* parent);

  private:
    QComboBox* list_ = nullptr;
};
