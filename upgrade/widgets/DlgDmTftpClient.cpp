#include "upgrade/widgets/DlgDmTftpClient.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/DmMessageBox.h"
#include "upgrade/FirmwareImage.h"

CDlgDmTftpClient::CDlgDmTftpClient(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      name_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("File Browser"), this)),
      upgrade_(new QPushButton(QStringLiteral("Upgrade Firmware"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Firmware upgrade"));
    name_->setEnabled(false);
    name_->setMinimumWidth(240);
    upgrade_->setDefault(true);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(name_, 1);
    fileRow->addWidget(browse_);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(upgrade_);
    buttonRow->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fileRow);
    layout->addLayout(buttonRow);

    connect(browse_, &QPushButton::clicked, this, &CDlgDmTftpClient::OnFileBrowser);
    connect(upgrade_, &QPushButton::clicked, this, &CDlgDmTftpClient::OnUpgradeFirmware);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

QString CDlgDmTftpClient::FileName() const {
    return QFileInfo(imagePath_).fileName();
}

void CDlgDmTftpClient::OnFileBrowser() {
    const QString path = prompts_.OpenFileName(
        {QString(), QStringLiteral("Firmware File"), QStringLiteral("Firmware File(*.bin)"), {}});
    if (path.isEmpty()) return;
    imagePath_ = path;
    name_->setText(FileName());
}

void CDlgDmTftpClient::OnUpgradeFirmware() {
    if (imagePath_.isEmpty()) {
        ShowDmMessage(prompts_, QStringLiteral("Please select a firmware file !!"));
        return;
    }
    QFile image(imagePath_);
    if (!image.open(QIODevice::ReadOnly)) {
        // The upgrade's own open reports it again and stops there.
        ShowDmMessage(prompts_, QString::fromLatin1(kCantOpenImage));
        accept();
        return;
    }
    if (!HasFirmwareMark(image.read(qstrlen(kFirmwareMark)))) {
        ShowDmMessage(prompts_, QString::fromLatin1(kNotFirmware));
        return;
    }
    accept();
}
