// The POSIX terminal: a small line editor with history for the shell, and a
// password prompt that does not echo.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "LineEditor.h"
#include "platform/Platform.h"

namespace sapihost::platform {

namespace {

// Restores the terminal's settings on every way out. The line editor's mode
// keeps what was typed ahead (say, while a cancelled transfer wound down) for
// the editor to read; a password prompt drops it, as login prompts do.
class TerminalMode {
public:
    explicit TerminalMode(bool raw) : when_(raw ? TCSANOW : TCSAFLUSH) {
        if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios changed = saved_;
        if (raw) {
            changed.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
            changed.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
            changed.c_cc[VMIN] = 1;
            changed.c_cc[VTIME] = 0;
            // Ctrl-C reaches the editor as a key instead of ending us.
            changed.c_cc[VINTR] = _POSIX_VDISABLE;
        } else {
            changed.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        }
        active_ = tcsetattr(STDIN_FILENO, when_, &changed) == 0;
    }
    ~TerminalMode() {
        if (active_) tcsetattr(STDIN_FILENO, when_, &saved_);
    }
    TerminalMode(const TerminalMode &) = delete;
    TerminalMode &operator=(const TerminalMode &) = delete;

private:
    int when_;
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

namespace {

void Show(const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

std::optional<std::string> ReadLine(const std::string &prompt, const std::vector<std::string> &history) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return ReadPlainLine(stdin);
    TerminalMode raw(true);
    LineEditor editor(history);
    Show(editor.Render(prompt));
    for (;;) {
        const int byte = ReadByte();
        if (byte < 0) return std::nullopt;
        switch (editor.Feed(static_cast<unsigned char>(byte))) {
        case LineEditor::Result::Submitted:
            Show("\n");
            return editor.Line();
        case LineEditor::Result::EndOfInput:
            Show("\n");
            return std::nullopt;
        case LineEditor::Result::Cancelled: Show("^C\n"); break;
        case LineEditor::Result::Editing: break;
        }
        Show(editor.Render(prompt));
    }
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
