#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;
class UserPrompts;

// "Firmware upgrade": picks the firmware image for a push upgrade. The view keeps one dialog
// for its lifetime, so the last chosen file is offered again; after OK it reads ImagePath() and
// starts the upgrade itself.
class CDlgDmTftpClient final : public QDialog {
    Q_OBJECT

  public:
    explicit CDlgDmTftpClient(UserPrompts& prompts, QWidget* parent = nullptr);

    // The chosen image's full path and the name shown for it; empty until a file is chosen.
    QString ImagePath() const { return imagePath_; }
    QString FileName() const;

    QPushButton* BrowseButton() const { return browse_; }
    QPushButton* UpgradeButton() const { return upgrade_; }
    QPushButton* CancelButton() const { return cancel_; }
    QLineEdit* NameEdit() const { return name_; }

  private:
    void OnFileBrowser();
    void OnUpgradeFirmware();

    UserPrompts& prompts_;
    QString imagePath_;
    QLineEdit* name_;
    QPushButton* browse_;
    QPushButton* upgrade_;
    QPushButton* cancel_;
};
