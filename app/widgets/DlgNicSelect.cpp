#include "app/widgets/DlgNicSelect.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CDlgNicSelect::CDlgNicSelect(const QStringList& addresses, int preselected, QWidget* parent)
    : QDialog(parent), list_(new QComboBox(this)), continue_(new QPushButton("Continue", this)) {
    setWindowTitle(kTitle);
    setModal(true);

    auto* text = new QLabel(QString(kText).remove('\r'), this);
    auto* label = new QLabel(kLabel, this);
    list_->setObjectName(QString::number(kInterfaceListId));
    list_->addItems(addresses);
    const int last = static_cast<int>(addresses.size()) - 1;
    list_->setCurrentIndex(preselected >= 0 && preselected <= last ? preselected : last);
    label->setBuddy(list_);
    continue_->setDefault(true);
    connect(continue_, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(continue_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(row);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int CDlgNicSelect::SelectedIndex() const {
    return list_->currentIndex();
}

void CDlgNicSelect::reject() {
    accept();
}

int CDlgNicSelect::Choose(const QStringList& addresses, int preselected, QWidget* parent) {
    CDlgNicSelect dialog(addresses, preselected, parent);
    dialog.exec();
    return dialog.SelectedIndex();
}
