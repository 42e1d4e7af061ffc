#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "devcfg/widgets/CDlgDmSetupMain.h"
#include "platform/ScriptedPrompts.h"
#include "tests/devcfg/SampleRecords.h"

// The sheet as a user meets it: real widgets on the offscreen platform, scripted prompts.
class SheetTest : public ::testing::Test {
  protected:
    void SetUp() override { sheet = std::make_unique<CDlgDmSetupMain>(prompts); }

    void Open(const DeviceConfigRecord& record, int listIndex = 0) {
        sheet->FillFromRecord(record, listIndex);
        sheet->show();
    }

    template <typename T>
    T* Get(const char* name) const {
        T* widget = sheet->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit* Edit(const char* name) const { return Get<QLineEdit>(name); }
    QComboBox* List(const char* name) const { return Get<QComboBox>(name); }

    // Replaces an edit's text by typing, as the user would.
    void Type(const char* name, const QString& text) const {
        QLineEdit* edit = Edit(name);
        edit->selectAll();
        edit->del();
        QTest::keyClicks(edit, text);
    }
    // Picks a list entry, as the user would.
    static void Choose(QComboBox* list, int position) {
        list->setCurrentIndex(position);
        emit list->activated(position);
    }

    void Click(const char* button) const { Get<QPushButton>(button)->click(); }
    bool Accepted() const { return sheet->result() == QDialog::Accepted && !sheet->isVisible(); }

    // The lines of the "Error Info" boxes shown, each box checked for its caption and icon.
    QStringList ErrorTexts() const {
        QStringList texts;
        for (const auto& box : prompts.shown) {
            if (box.caption != "Error Info") continue;
            EXPECT_EQ(box.icon, PromptIcon::Error) << box.text.toStdString();
            EXPECT_EQ(box.buttons, PromptButtons::Ok);
            texts << box.text.split('\n');
        }
        return texts;
    }

    ScriptedPrompts prompts;
    std::unique_ptr<CDlgDmSetupMain> sheet;
};
