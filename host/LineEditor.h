// The shell's line editing, fed one byte at a time from a raw terminal: typing
// (UTF-8 kept whole), the arrow keys, Home/End, Delete, Backspace, Ctrl-A/E/U/K,
// and the history walked with up and down. Ctrl-C drops the line, as shells do;
// a second one in a row, or Ctrl-D on an empty line, ends the input. No terminal in sight, so it can be
// tested; the platform layer feeds it and prints Render().
#pragma once

#include <string>
#include <vector>

namespace sapihost {

class LineEditor {
public:
    enum class Result { Editing, Submitted, EndOfInput, Cancelled };

    explicit LineEditor(const std::vector<std::string> &history) : history_(history), recalled_(history.size()) {}

    Result Feed(unsigned char byte);
    const std::string &Line() const { return line_; }
    size_t Cursor() const { return cursor_; }
    // Redraws the whole line and puts the terminal's cursor where ours is.
    std::string Render(const std::string &prompt) const;

private:
    Result FeedEscape(unsigned char byte);
    void Left();
    void Right();
    void Backspace();
    void Delete();
    void Recall(size_t index);
    void Replace(std::string text);

    const std::vector<std::string> &history_;
    size_t recalled_;    // history_.size(): the line being typed
    std::string typed_;  // kept while walking the history
    std::string line_;
    size_t cursor_ = 0;  // a byte offset, always at the start of a character
    int escape_ = 0;     // 1 after ESC, 2 after ESC [ or ESC O, 3 after ESC [ 3
    bool cancelled_ = false;  // the last key was Ctrl-C
};

}  // namespace sapihost
