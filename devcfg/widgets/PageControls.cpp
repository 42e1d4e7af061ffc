#include "devcfg/widgets/PageControls.h"

#include <algorithm>

#include "devcfg/DeviceSetupValues.h"

namespace {

// The largest number of characters that QLineEdit allows.
constexpr int kUnlimited = 32767;

}  // namespace

LimitedLineEdit::LimitedLineEdit(int limit, QWidget* parent) : QLineEdit(parent), limit_(limit) {
    setMaxLength(limit_ > 0 ? limit_ : kUnlimited);
    connect(this, &QLineEdit::textChanged, this, &LimitedLineEdit::FollowLength);
}

void LimitedLineEdit::SetWholeText(const QString& text) {
    FollowLength(text);  // before setText, which would cut the text to the old length
    setText(text);
}

// The edit may hold what the program put in, but never grows past the limit by typing.
void LimitedLineEdit::FollowLength(const QString& text) {
    if (limit_ > 0) setMaxLength(std::max<int>(limit_, text.size()));
}

QComboBox* MakeList(const QStringList& entries, QWidget* parent, const char* objectName) {
    auto* list = new QComboBox(parent);
    list->addItems(entries);
    list->setObjectName(objectName);
    list->setCurrentIndex(kNoSelection);
    return list;
}

void SelectPosition(QComboBox* list, int position) {
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : kNoSelection);
}

QStringList NumberEntries(const ValueList& list) {
    QStringList entries;
    for (int position = 0; position < list.Size(); ++position)
        entries << QString::number(*list.ValueAt(position));
    return entries;
}
