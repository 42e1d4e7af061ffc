#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>

#include "ui/widgets/ClampedNumberEdit.h"

namespace {

constexpr NumberLimits kPort{1024, 65535};
constexpr NumberLimits kDelay{10, 500};

// Types `text` key by key into an emptied box and returns what the box showed after each key.
QStringList TypeKeys(ClampedNumberEdit& edit, const QString& text) {
    edit.clear();
    QStringList shown;
    for (QChar c : text) {
        QTest::keyClicks(&edit, QString(c));
        shown << edit.text();
    }
    return shown;
}

void LoseFocus(ClampedNumberEdit& edit) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&edit, &out);
}

}  // namespace

TEST(ClampedNumberEdit, TypingIsNeverCorrectedOnlyTheFinishedEdit) {
    struct Case {
        NumberLimits limits;
        const char* typed;
        QStringList whileTyping;
        const char* finished;
    };
    const Case cases[] = {
        {kPort, "4001", {"4", "40", "400", "4001"}, "4001"},
        {kPort, "80", {"8", "80"}, "1024"},
        {kPort, "70000", {"7", "70", "700", "7000", "70000"}, "65535"},
        {kDelay, "250", {"2", "25", "250"}, "250"},
        {kDelay, "600", {"6", "60", "600"}, "500"},
        {kDelay, "5", {"5"}, "10"},
        {kDelay, "4x2", {"4", "4", "42"}, "42"},  // only digits can be typed
    };
    for (const Case& c : cases) {
        for (const bool byEnter : {true, false}) {
            ClampedNumberEdit edit(c.limits);
            QSignalSpy committed(&edit, &ClampedNumberEdit::committed);
            EXPECT_EQ(TypeKeys(edit, c.typed), c.whileTyping) << c.typed;
            EXPECT_EQ(committed.count(), 0);
            if (byEnter) {
                QTest::keyClick(&edit, Qt::Key_Return);
            } else {
                LoseFocus(edit);
            }
            EXPECT_EQ(edit.text(), c.finished) << c.typed << (byEnter ? " Enter" : " focus");
            ASSERT_EQ(committed.count(), 1);
            EXPECT_EQ(committed[0][0].toLongLong(), edit.text().toLongLong());
        }
    }
}

TEST(ClampedNumberEdit, ReadingTheValueClampsAndShowsWhatIsUsed) {
    ClampedNumberEdit edit(kDelay);
    TypeKeys(edit, "600");
    EXPECT_EQ(edit.Value(), 500u);
    EXPECT_EQ(edit.text(), "500");
    edit.clear();
    EXPECT_EQ(edit.Value(), 10u);  // an empty box reads as its minimum
    EXPECT_EQ(edit.text(), "10");
    TypeKeys(edit, "99999999999999");
    EXPECT_EQ(edit.Value(), 500u);
}

TEST(ClampedNumberEdit, ValuesSetByTheProgramAreShownClamped) {
    ClampedNumberEdit edit(kPort);
    edit.SetValue(80);
    EXPECT_EQ(edit.text(), "1024");
    edit.SetValue(8080);
    EXPECT_EQ(edit.text(), "8080");
    edit.SetValue(UINT32_MAX);
    EXPECT_EQ(edit.Value(), 65535u);
}
