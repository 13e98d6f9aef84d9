// The shell's line editing, fed keystrokes as a terminal sends them.
#include <gtest/gtest.h>

#include "LineEditor.h"

namespace sapihost {
namespace {

constexpr const char *kUp = "\x1b[A";
constexpr const char *kDown = "\x1b[B";
constexpr const char *kLeft = "\x1b[D";
constexpr const char *kRight = "\x1b[C";

LineEditor::Result Type(LineEditor &editor, const std::string &keys) {
    LineEditor::Result result = LineEditor::Result::Editing;
    for (char key : keys) result = editor.Feed(static_cast<unsigned char>(key));
    return result;
}

TEST(HostLineEditor, EditsInTheMiddleOfMultibyteText) {
    const std::vector<std::string> history;
    LineEditor editor(history);
    Type(editor, "get \xC3\xA9t\xC3\xA9");  // get été
    Type(editor, std::string(kLeft) + kLeft);
    EXPECT_EQ(editor.Cursor(), 6u);  // before the 't', after the first 'é' whole
    Type(editor, "\x7f");            // Backspace removes the two bytes of 'é'
    EXPECT_EQ(editor.Line(), "get t\xC3\xA9");
    Type(editor, std::string(kRight) + "\x1b[3~");  // Delete removes the last 'é'
    EXPECT_EQ(editor.Line(), "get t");
    Type(editor, "\x01X\x05Y");  // Ctrl-A, Ctrl-E
    EXPECT_EQ(editor.Line(), "Xget tY");
    Type(editor, std::string(kLeft) + kLeft + "\x0b");  // Ctrl-K
    EXPECT_EQ(editor.Line(), "Xget ");
    EXPECT_EQ(Type(editor, "\r"), LineEditor::Result::Submitted);
}

TEST(HostLineEditor, RendersWithTheCursorCountedInCharacters) {
    const std::vector<std::string> history;
    LineEditor editor(history);
    Type(editor, std::string("a\xC3\xA9z") + kLeft + kLeft);
    EXPECT_EQ(editor.Render("> "), "\r> a\xC3\xA9z\x1b[K\x1b[2D");
}

TEST(HostLineEditor, WalksTheHistoryAndKeepsTheLineBeingTyped) {
    const std::vector<std::string> history{"ls", "cd sub"};
    LineEditor editor(history);
    Type(editor, "pw");
    Type(editor, kUp);
    EXPECT_EQ(editor.Line(), "cd sub");
    Type(editor, std::string(kUp) + kUp);  // stops at the oldest
    EXPECT_EQ(editor.Line(), "ls");
    Type(editor, std::string(kDown) + kDown);
    EXPECT_EQ(editor.Line(), "pw");
    Type(editor, kDown);  // nothing newer
    EXPECT_EQ(editor.Line(), "pw");
    EXPECT_EQ(editor.Cursor(), 2u);
}

TEST(HostLineEditor, CtrlCDropsTheLineAndCtrlDEndsAnEmptyOne) {
    const std::vector<std::string> history{"ls"};
    LineEditor editor(history);
    Type(editor, std::string(kUp) + "x");
    EXPECT_EQ(Type(editor, "\x03"), LineEditor::Result::Cancelled);
    EXPECT_EQ(editor.Line(), "");
    Type(editor, kUp);
    EXPECT_EQ(editor.Line(), "ls");  // the history walk starts afresh
    EXPECT_EQ(Type(editor, "\x04"), LineEditor::Result::Editing);  // not empty: deletes
    EXPECT_EQ(Type(editor, "\x15\x04"), LineEditor::Result::EndOfInput);  // Ctrl-U, then Ctrl-D
    // A second Ctrl-C in a row ends the input; one after another key does not.
    EXPECT_EQ(Type(editor, "\x03"), LineEditor::Result::Cancelled);
    EXPECT_EQ(Type(editor, "a\x03"), LineEditor::Result::Cancelled);
    EXPECT_EQ(Type(editor, "\x03"), LineEditor::Result::EndOfInput);
    Type(editor, "\x1bxq");  // an unknown escape is dropped whole
    EXPECT_EQ(editor.Line(), "q");
}

}  // namespace
}  // namespace sapihost
