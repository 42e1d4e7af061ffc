#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>
#include <utility>

#include "devcfg/SetupRules.h"
#include "devcfg/ValueLists.h"

// A text edit with a character limit for typing and pasting. A text set by the program (from
// a record or a setting file) is shown whole; the edit then only lets it shrink.
class LimitedLineEdit : public QLineEdit {
    Q_OBJECT

  public:
    // limit 0: no limit.
    explicit LimitedLineEdit(int limit, QWidget* parent = nullptr);
    int Limit() const { return limit_; }
    void SetWholeText(const QString& text);
    // Whether the text is longer than the limit; the page reads it whole anyway.
    bool OverLong() const { return limit_ > 0 && text().size() > limit_; }

  private:
    void FollowLength(const QString& text);
    int limit_;
};

// A control created with the object name by which it is found.
template <typename Control, typename... Args>
Control* MakeNamed(const QString& objectName, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)...);
    control->setObjectName(objectName);
    return control;
}

// Lists: a fixed set of entries and a position, kNoSelection showing nothing.
QComboBox* MakeList(const QStringList& entries, QWidget* parent, const char* objectName);
inline const QStringList kDisableEnable{"Disable", "Enable"};
// The entries of a list of numbers, as the numbers themselves.
QStringList NumberEntries(const ValueList& list);
void SelectPosition(QComboBox* list, int position);
inline int Position(const QComboBox* list) {
    return list->currentIndex();
}
