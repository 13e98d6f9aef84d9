#include <gtest/gtest.h>

#include "ftp/protocol/ExpectedReplies.h"

using sapi::ftpclient::FitOf;
using sapi::ftpclient::ReplyFit;

namespace {

struct Case {
    const char *command;
    int code;
    ReplyFit fit;
};

// The replies that a stray could be mistaken for, as real servers send them.
TEST(ExpectedReplies, EachCommandTakesOnlyItsOwnReplies) {
    const Case cases[] = {
        {"SIZE a", 226, ReplyFit::Stray},         // a transfer's late word
        {"SIZE a", 213, ReplyFit::Answer},
        {"SIZE a", 550, ReplyFit::Answer},
        {"CWD sub", 150, ReplyFit::Stray},        // pure-ftpd's "150 0.005 seconds" after an early close
        {"CWD sub", 426, ReplyFit::Stray},        // the transfer was aborted, not the CWD
        {"CWD sub", 250, ReplyFit::Answer},
        {"PWD", 250, ReplyFit::Stray},
        {"PWD", 257, ReplyFit::Answer},
        {"DELE a", 226, ReplyFit::Stray},
        {"RETR a", 150, ReplyFit::Preliminary},
        {"RETR a", 426, ReplyFit::Answer},
        {"MLSD", 226, ReplyFit::Answer},
        {"ABOR", 426, ReplyFit::Stray},            // belongs to the transfer
        {"ABOR", 225, ReplyFit::Answer},
        {"SYST", 215, ReplyFit::Answer},
        {"SYST", 257, ReplyFit::Stray},
        {"cwd sub", 250, ReplyFit::Answer},        // verbs in any case
        {"TYPE I", 421, ReplyFit::Answer},
        {"OPTS UTF8 ON", 202, ReplyFit::Answer},   // "UTF8 mode is always enabled"         // closing: an answer to anything
        {"SITE CHMOD 644 a", 200, ReplyFit::Answer},  // unknown to the table: anything
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FitOf(c.command, c.code), c.fit) << c.command << " / " << c.code;
    }
}

}  // namespace
