#include "devmgr/widgets/DlgDmSetting.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/DmMessageBox.h"

using dmperiod::Field;

CDlgDmSetting::CDlgDmSetting(DmFrame& frame, DmPeriods& working, QWidget* parent)
    : QDialog(parent),
      frame_(frame),
      working_(working),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Setting"));
    auto* group = new QGroupBox(QStringLiteral("Timer Setting"), this);
    auto* grid = new QGridLayout(group);
    struct Line {
        Field field;
        const char* label;
        const char* unit;
    };
    const Line lines[] = {
        {Field::kSearch, "Search period", "(100ms)"},
        {Field::kRestore, "Restore period", "(100ms)"},
        {Field::kReboot, "Reboot period", "(sec / unit)"},
    };
    int row = 0;
    for (const Line& line : lines) {
        auto* edit = new QLineEdit(group);
        edits_[Index(line.field)] = edit;
        grid->addWidget(new QLabel(QString::fromLatin1(line.label), group), row, 0);
        grid->addWidget(edit, row, 1);
        grid->addWidget(new QLabel(QString::fromLatin1(line.unit), group), row, 2);
        ++row;
    }
    ok_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &CDlgDmSetting::accept);
    connect(cancel_, &QPushButton::clicked, this, &CDlgDmSetting::reject);
}

void CDlgDmSetting::Prepare() {
    working_ = frame_.DmSettings().periods;
    Edit(Field::kSearch)->setText(QString::number(working_.search));
    Edit(Field::kRestore)->setText(QString::number(working_.restore));
    Edit(Field::kReboot)->setText(QString::number(working_.reboot));
}

int CDlgDmSetting::Open() {
    Prepare();
    return exec();
}

bool CDlgDmSetting::ReadFields() {
    const dmperiod::Texts texts{Edit(Field::kSearch)->text(), Edit(Field::kRestore)->text(),
                                Edit(Field::kReboot)->text()};
    const std::optional<dmperiod::Failure> failure = dmperiod::ReadFields(texts, working_);
    if (!failure) return true;
    ShowDmMessage(frame_.Prompts(), failure->message);
    QLineEdit* edit = Edit(failure->field);
    edit->setFocus();
    edit->selectAll();
    return false;
}

void CDlgDmSetting::accept() {
    ReadFields();
    DmSettingsValues values = frame_.DmSettings();
    values.periods = working_;
    frame_.SetDmSettings(values);
    if (!dmperiod::AllowsClose(working_)) return;
    // The framework reads the fields once more before it closes.
    if (ReadFields()) QDialog::accept();
}

void CDlgDmSetting::reject() {
    ReadFields();
    if (dmperiod::AllowsClose(working_)) QDialog::reject();
}
