#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "terminal/MyUart.h"
#include "terminal/widgets/TerminalLog.h"
#include "terminal/widgets/TerminalPanel.h"
#include "terminal/widgets/ViewTerminal.h"
#include "tests/terminal/SocatPty.h"
#include "tests/terminal/widgets/FakeTerminalFrame.h"
#include "ui/widgets/CommitNumberEdit.h"

// Stored indexes of the baud rate list.
inline constexpr int kBaud1200 = 0;
inline constexpr int kBaud9600 = 3;
inline constexpr int kBaud115200 = 7;
inline constexpr int kBaud921600 = 8;
inline constexpr int kBaud460800 = 10;

// Whether this program could open the port now (the test's own look; the program never opens
// a port only to test it).
inline bool PortOpens(const QString& name) {
    CMyUart probe;
    return probe.Open(name, {115200, 8, 0, 0, 0}, {}, 1);
}

// The two-terminal view on the fake frame, shown, with COM3 and COM5 as socat pairs.
class ViewTerminalTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(com3.Ready() && com5.Ready());
        frame.settings[1] = {7, 0, 2, 0, 0, 0, 1000, 10};
        view = std::make_unique<CViewTerminal>(frame);
        view->resize(1600, 400);  // hex lines of 16 fit
        view->show();
        QApplication::setActiveWindow(view.get());
    }

    TerminalPanel& Panel(int index) { return view->Panel(index); }
    QString LogOf(int index) { return Panel(index).Log()->toPlainText(); }

    // Chooses the port and baud rate in the lists and clicks Open Port.
    void Open(int index, const QString& port, int baudIndex) {
        TerminalPanel& p = Panel(index);
        QComboBox* ports = p.List(TermList::kPort);
        if (ports->findText(port) < 0) ports->addItem(port);
        ports->setCurrentText(port);
        TerminalPanel::SelectStored(p.List(TermList::kBaudRate), baudIndex);
        p.OpenButton()->click();
    }

    void Type(int index, const QString& text) {
        for (QChar c : text) QTest::keyClick(Panel(index).Log(), c.toLatin1());
    }
    void Key(int index, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Panel(index).Log(), static_cast<Qt::Key>(key), modifiers);
    }

    void TypeInto(CommitNumberEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    TestComDir comDir;
    SocatPty com3{comDir.Path(), 3};
    SocatPty com5{comDir.Path(), 5};
    FakeTerminalFrame frame;
    std::unique_ptr<CViewTerminal> view;
};
