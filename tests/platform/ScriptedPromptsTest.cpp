#include <gtest/gtest.h>

#include "platform/ScriptedPrompts.h"

TEST(ScriptedPrompts, AnswersInOrderThenWithTheDefaultAndRecordsEveryBox) {
    ScriptedPrompts prompts;
    prompts.Answer(PromptAnswer::Yes);
    EXPECT_TRUE(prompts.AskYesNo("first?"));
    EXPECT_FALSE(prompts.AskYesNo("second?"));  // script empty: No is preselected
    prompts.Inform("done", "Error Info", PromptIcon::Error);

    ASSERT_EQ(prompts.shown.size(), 3u);
    EXPECT_EQ(prompts.shown[0].caption, "Warning");
    EXPECT_EQ(prompts.shown[1].answer, PromptAnswer::No);
    EXPECT_EQ(prompts.shown[1].defaultAnswer, PromptAnswer::No);
    EXPECT_EQ(prompts.shown[2].icon, PromptIcon::Error);
    EXPECT_EQ(prompts.shown[2].buttons, PromptButtons::Ok);
    EXPECT_EQ(prompts.Texts(), (QStringList{"first?", "second?", "done"}));
}

TEST(ScriptedPrompts, FileDialogsAndShellOpenAreRecorded) {
    ScriptedPrompts prompts;
    prompts.AnswerFile("/tmp/a.log");
    EXPECT_EQ(prompts.SaveFileName({"Save", "x.log", "*.log", "log"}), "/tmp/a.log");
    EXPECT_EQ(prompts.OpenFileName({}), "");
    EXPECT_EQ(prompts.fileDialogs.size(), 2u);
    prompts.ShellOpen("http://127.0.0.5");
    prompts.Beep(5000, 100);
    EXPECT_EQ(prompts.opened, QStringList{"http://127.0.0.5"});
    EXPECT_EQ(prompts.beeps, 1);
}

TEST(ScriptedPrompts, PlainMessagesAndFileFailuresCarryTheProgramsName) {
    ScriptedPrompts prompts;
    prompts.Inform("plain");
    prompts.FileFailure("Failed to open filex.log! \r\n");
    ASSERT_EQ(prompts.shown.size(), 2u);
    for (const auto& box : prompts.shown) {
        EXPECT_EQ(box.caption, "VELTRO");
        EXPECT_EQ(box.icon, PromptIcon::Warning);
    }
    EXPECT_EQ(prompts.beeps, 1);
}
