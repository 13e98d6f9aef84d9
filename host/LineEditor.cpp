#include "LineEditor.h"

namespace sapihost {

namespace {

bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

constexpr unsigned char kCtrlA = 1, kCtrlC = 3, kCtrlD = 4, kCtrlE = 5, kBackspace = 8, kCtrlK = 11,
                        kCtrlU = 21, kEscape = 27, kDelete = 127;

}  // namespace

LineEditor::Result LineEditor::Feed(unsigned char byte) {
    if (escape_ != 0) return FeedEscape(byte);
    const bool cancelledJustBefore = cancelled_;
    cancelled_ = false;
    switch (byte) {
    case '\r':
    case '\n': return Result::Submitted;
    case kCtrlD:
        if (line_.empty()) return Result::EndOfInput;
        Delete();
        break;
    case kCtrlC:
        if (cancelledJustBefore) return Result::EndOfInput;  // the second in a row leaves
        Replace("");
        recalled_ = history_.size();
        cancelled_ = true;
        return Result::Cancelled;
    case kDelete:
    case kBackspace: Backspace(); break;
    case kCtrlA: cursor_ = 0; break;
    case kCtrlE: cursor_ = line_.size(); break;
    case kCtrlU:
        line_.erase(0, cursor_);
        cursor_ = 0;
        break;
    case kCtrlK: line_.erase(cursor_); break;
    case kEscape: escape_ = 1; break;
    default:
        if (byte >= 32) line_.insert(cursor_++, 1, static_cast<char>(byte));
    }
    return Result::Editing;
}

LineEditor::Result LineEditor::FeedEscape(unsigned char byte) {
    if (escape_ == 1) {
        escape_ = byte == '[' || byte == 'O' ? 2 : 0;
        return Result::Editing;
    }
    if (escape_ == 3) {
        escape_ = 0;
        if (byte == '~') Delete();
        return Result::Editing;
    }
    escape_ = 0;
    switch (byte) {
    case 'A':
        if (recalled_ > 0) Recall(recalled_ - 1);
        break;
    case 'B':
        if (recalled_ < history_.size()) Recall(recalled_ + 1);
        break;
    case 'C': Right(); break;
    case 'D': Left(); break;
    case 'H': cursor_ = 0; break;
    case 'F': cursor_ = line_.size(); break;
    case '3': escape_ = 3; break;
    default: break;
    }
    return Result::Editing;
}

void LineEditor::Recall(size_t index) {
    if (recalled_ == history_.size()) typed_ = line_;
    recalled_ = index;
    Replace(recalled_ == history_.size() ? typed_ : history_[recalled_]);
}

void LineEditor::Left() {
    while (cursor_ > 0 && IsContinuation(line_[--cursor_])) {
    }
}

void LineEditor::Right() {
    if (cursor_ < line_.size()) ++cursor_;
    while (cursor_ < line_.size() && IsContinuation(line_[cursor_])) ++cursor_;
}

void LineEditor::Backspace() {
    const size_t end = cursor_;
    Left();
    line_.erase(cursor_, end - cursor_);
}

void LineEditor::Delete() {
    const size_t start = cursor_;
    Right();
    line_.erase(start, cursor_ - start);
    cursor_ = start;
}

void LineEditor::Replace(std::string text) {
    line_ = std::move(text);
    cursor_ = line_.size();
}

std::string LineEditor::Render(const std::string &prompt) const {
    std::string out = "\r" + prompt + line_ + "\x1b[K";
    size_t back = 0;
    for (size_t i = cursor_; i < line_.size(); ++i) back += IsContinuation(line_[i]) ? 0u : 1u;
    if (back > 0) out += "\x1b[" + std::to_string(back) + "D";
    return out;
}

}  // namespace sapihost
