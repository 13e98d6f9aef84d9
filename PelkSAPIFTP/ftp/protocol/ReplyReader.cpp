#include "ftp/protocol/ReplyReader.h"

namespace sapi::ftpclient {

std::string FtpReply::Text() const {
    std::string text;
    for (const std::string &line : lines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

std::string FtpReply::FirstLineMessage() const {
    if (lines.empty() || lines.front().size() <= 4) return {};
    return lines.front().substr(4);
}

std::optional<int> ReplyCodeOf(std::string_view line, bool *multiLine) {
    if (line.size() < 3) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return std::nullopt;
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return std::nullopt;
    *multiLine = line.size() > 3 && line[3] == '-';
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool ReplyReader::Feed(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (partialLine_.size() + piece.size() > maxLineLength) return Fail();
        partialLine_.append(piece);
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
        if (!partialLine_.empty() && partialLine_.back() == '\r') partialLine_.pop_back();
        TakeLine(partialLine_);
        partialLine_.clear();
    }
    return !failed_;
}

std::optional<FtpReply> ReplyReader::Next() {
    if (ready_.empty()) return std::nullopt;
    FtpReply reply = std::move(ready_.front());
    ready_.pop_front();
    return reply;
}

void ReplyReader::TakeLine(std::string_view line) {
    bool multiLine = false;
    const std::optional<int> code = ReplyCodeOf(line, &multiLine);
    if (!inMultiLine_) {
        // Outside a reply only a coded line means anything; stray text (some
        // servers echo Telnet noise) is dropped rather than taken as a reply.
        if (!code) return;
        current_ = FtpReply{*code, {}};
        currentBytes_ = 0;
    }
    currentBytes_ += line.size() + 2;
    if (current_.lines.size() >= maxReplyLines || currentBytes_ > maxReplyBytes) {
        Fail();
        return;
    }
    current_.lines.emplace_back(line);
    if (!inMultiLine_) {
        inMultiLine_ = multiLine;
        if (!multiLine) Finish();
        return;
    }
    // A multi-line reply ends with a line of the same code and a blank.
    if (code && *code == current_.code && !multiLine) Finish();
}

void ReplyReader::Finish() {
    inMultiLine_ = false;
    if (ready_.size() >= maxQueuedReplies) {
        Fail();
        return;
    }
    ready_.push_back(std::move(current_));
    current_ = FtpReply{};
}

bool ReplyReader::Fail() {
    failed_ = true;
    partialLine_.clear();
    current_ = FtpReply{};
    return false;
}

}  // namespace sapi::ftpclient
