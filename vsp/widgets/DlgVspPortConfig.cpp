#include "vsp/widgets/DlgVspPortConfig.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CDlgVspPortConfig::CDlgVspPortConfig(const VspComUsage& used, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("COM Port Configuration"));
    list_ = new QComboBox(this);
    list_->setObjectName(QStringLiteral("portNumber"));
    list_->addItems(VspPortNumberEntries(used));
    list_->setCurrentIndex(VspFirstFreePosition(used));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("COM Port Number"), this));
    row->addWidget(list_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

int CDlgVspPortConfig::ChosenNumber() const {
    return list_->currentIndex() + 1;
}

std::optional<int> CDlgVspPortConfig::Choose(const VspComUsage& used, QWidget* parent) {
    CDlgVspPortConfig dialog(used, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.ChosenNumber();
}
