#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;

// Asks which of several host addresses the program binds to.
class CDlgNicSelect : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kInterfaceListId = 1164;
    static inline const QString kTitle = QStringLiteral("Select a Network Interface");
    static inline const QString kText = QStringLiteral(
        "Multiple network interfaces are detected!\r\n\r\nPlease select a proper network "
        "interface");
    static inline const QString kLabel = QStringLiteral("Network Interface");

    // The entry at `preselected` is selected at first; the last one when it is out of range.
    explicit CDlgNicSelect(const QStringList& addresses, int preselected = -1,
                           QWidget* parent = nullptr);

    // The entry selected when the dialog closed, however it was closed.
    int SelectedIndex() const;
    QComboBox* InterfaceList() const { return list_; }
    QPushButton* ContinueButton() const { return continue_; }

    // Shows the dialog modally; fits ChooseInterface.
    static int Choose(const QStringList& addresses, int preselected, QWidget* parent = nullptr);

  public slots:
    // The close box and Escape close it like Continue.
    void reject() override;

  private:
    QComboBox* list_;
    QPushButton* continue_;
};
