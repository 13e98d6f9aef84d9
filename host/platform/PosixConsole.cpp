// The POSIX terminal: a small line editor with history for the shell, and a
// password prompt that does not echo.
#include <termios.h>
#include <unistd.h>

#include <string>

#include "platform/Platform.h"

namespace sapihost::platform {

namespace {

// Restores the terminal's settings on every way out.
class TerminalMode {
public:
    explicit TerminalMode(bool raw) {
        if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios changed = saved_;
        if (raw) {
            changed.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
            changed.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
            changed.c_cc[VMIN] = 1;
            changed.c_cc[VTIME] = 0;
        } else {
            changed.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        }
        active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &changed) == 0;
    }
    ~TerminalMode() {
        if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    TerminalMode(const TerminalMode &) = delete;
    TerminalMode &operator=(const TerminalMode &) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

std::optional<std::string> ReadPlainLine(std::FILE *stream) {
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stream)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int ReadByte() {
    unsigned char byte = 0;
    return read(STDIN_FILENO, &byte, 1) == 1 ? byte : -1;
}

}  // namespace

// The line editor: a byte buffer and a cursor kept on UTF-8 character starts.
namespace {

bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

size_t CharactersAfter(const std::string &line, size_t cursor) {
    size_t count = 0;
    for (size_t i = cursor; i < line.size(); ++i) {
        if (!IsContinuation(line[i])) ++count;
    }
    return count;
}

void Redraw(const std::string &prompt, const std::string &line, size_t cursor) {
    std::string out = "\r" + prompt + line + "\x1b[K";
    const size_t back = CharactersAfter(line, cursor);
    if (back > 0) out += "\x1b[" + std::to_string(back) + "D";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

struct Editor {
    std::string line;
    size_t cursor = 0;
    void Left() {
        while (cursor > 0 && IsContinuation(line[--cursor])) {
        }
    }
    void Right() {
        if (cursor < line.size()) ++cursor;
        while (cursor < line.size() && IsContinuation(line[cursor])) ++cursor;
    }
    void Backspace() {
        const size_t end = cursor;
        Left();
        line.erase(cursor, end - cursor);
    }
    void Delete() {
        const size_t start = cursor;
        Right();
        line.erase(start, cursor - start);
        cursor = start;
    }
    void Replace(std::string text) {
        line = std::move(text);
        cursor = line.size();
    }
};

}  // namespace

std::optional<std::string> ReadLine(const std::string &prompt, const std::vector<std::string> &history) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return ReadPlainLine(stdin);
    TerminalMode raw(true);
    Editor editor;
    size_t recalled = history.size();  // history.size() = the line being typed
    std::string typed;
    Redraw(prompt, editor.line, editor.cursor);
    for (;;) {
        const int c = ReadByte();
        if (c < 0) return std::nullopt;
        if (c == '\r' || c == '\n') break;
        if (c == 4 && editor.line.empty()) {  // Ctrl-D
            std::fputs("\n", stdout);
            return std::nullopt;
        }
        if (c == 3) {  // Ctrl-C: drop the line
            editor.Replace("");
            std::fputs("^C\n", stdout);
        } else if (c == 127 || c == 8) {
            editor.Backspace();
        } else if (c == 1) {
            editor.cursor = 0;
        } else if (c == 5) {
            editor.cursor = editor.line.size();
        } else if (c == 21) {
            editor.line.erase(0, editor.cursor);
            editor.cursor = 0;
        } else if (c == 11) {
            editor.line.erase(editor.cursor);
        } else if (c == 27) {
            const int first = ReadByte();
            const int key = ReadByte();
            if (first != '[' && first != 'O') continue;
            if (key == 'A' && recalled > 0) {
                if (recalled == history.size()) typed = editor.line;
                editor.Replace(history[--recalled]);
            } else if (key == 'B' && recalled < history.size()) {
                ++recalled;
                editor.Replace(recalled == history.size() ? typed : history[recalled]);
            } else if (key == 'C') {
                editor.Right();
            } else if (key == 'D') {
                editor.Left();
            } else if (key == 'H') {
                editor.cursor = 0;
            } else if (key == 'F') {
                editor.cursor = editor.line.size();
            } else if (key == '3' && ReadByte() == '~') {
                editor.Delete();
            }
        } else if (c >= 32) {
            editor.line.insert(editor.cursor++, 1, static_cast<char>(c));
        }
        Redraw(prompt, editor.line, editor.cursor);
    }
    std::fputs("\n", stdout);
    return editor.line;
}

std::optional<std::string> ReadSecret(const std::string &prompt) {
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::optional<std::string> line;
    {
        TerminalMode noEcho(false);
        line = ReadPlainLine(stdin);
    }
    std::fputs("\n", stderr);
    return line;
}

}  // namespace sapihost::platform
