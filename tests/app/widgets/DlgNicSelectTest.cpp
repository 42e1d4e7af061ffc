#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/widgets/DlgNicSelect.h"

namespace {

const QStringList kAddresses{"10.1.0.5", "172.16.0.9", "127.0.0.2"};

QStringList LabelTexts(const QWidget& dialog) {
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
    return texts;
}

}  // namespace

TEST(DlgNicSelect, ShowsItsTextsAndPreselectsTheLastAddress) {
    CDlgNicSelect dialog(kAddresses);
    EXPECT_EQ(dialog.windowTitle(), "Select a Network Interface");
    EXPECT_EQ(LabelTexts(dialog),
              (QStringList{"Multiple network interfaces are detected!\n\nPlease select a proper "
                           "network interface",
                           "Network Interface"}));
    QComboBox* list = dialog.findChild<QComboBox*>("1164");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "10.1.0.5");
    EXPECT_EQ(list->itemText(2), "127.0.0.2");
    EXPECT_EQ(dialog.SelectedIndex(), 2);
    EXPECT_EQ(dialog.ContinueButton()->text(), "Continue");
}

TEST(DlgNicSelect, PreselectsTheGivenEntry) {
    EXPECT_EQ(CDlgNicSelect(kAddresses, 0).SelectedIndex(), 0);
    EXPECT_EQ(CDlgNicSelect(kAddresses, 1).SelectedIndex(), 1);
    EXPECT_EQ(CDlgNicSelect(kAddresses, 3).SelectedIndex(), 2);  // out of range: the last
}

TEST(DlgNicSelect, EveryWayOfClosingGivesTheSelectedEntry) {
    struct Case {
        const char* name;
        std::function<void(CDlgNicSelect&)> close;
    };
    const Case cases[] = {
        {"Continue", [](CDlgNicSelect& d) { d.ContinueButton()->click(); }},
        {"close box", [](CDlgNicSelect& d) { d.close(); }},
        {"Escape",
         [](CDlgNicSelect& d) {
             QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(&d, &escape);
         }},
    };
    for (const Case& c : cases) {
        CDlgNicSelect dialog(kAddresses);
        dialog.show();
        dialog.InterfaceList()->setCurrentIndex(1);
        c.close(dialog);
        EXPECT_FALSE(dialog.isVisible()) << c.name;
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.name;
        EXPECT_EQ(dialog.SelectedIndex(), 1) << c.name;
    }
}

TEST(DlgNicSelect, ChooseRunsModallyAndReturnsTheChoice) {
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CDlgNicSelect*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->InterfaceList()->setCurrentIndex(0);
        dialog->close();
    });
    EXPECT_EQ(CDlgNicSelect::Choose(kAddresses, 1), 0);
}
