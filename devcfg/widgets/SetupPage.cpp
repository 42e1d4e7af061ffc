#include "devcfg/widgets/SetupPage.h"

#include <QGridLayout>
#include <QLabel>

#include "devcfg/widgets/PageControls.h"

SetupPage::SetupPage(DeviceSetupValues& values, QWidget* parent) : QWidget(parent), v_(values) {}

QString SetupPage::ReadText(const LimitedLineEdit* edit, QList<const LimitedLineEdit*>& overLong) {
    if (edit->OverLong()) overLong << edit;
    return edit->text();
}

void SetupPage::AddRow(QGridLayout* grid, const QString& label, QWidget* control,
                       const QString& suffix) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(label), row, 0);
    if (control->accessibleName().isEmpty()) control->setAccessibleName(label);
    grid->addWidget(control, row, 1);
    if (!suffix.isEmpty()) grid->addWidget(new QLabel(suffix), row, 2);
}
