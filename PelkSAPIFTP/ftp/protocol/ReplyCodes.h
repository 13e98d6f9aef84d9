// What a reply code tells beyond its first digit, in one place: which codes
// mean "I do not know this command", which refuse a marker, and which commands'
// "500" may have been one of several answers to one line.
#pragma once

#include <string_view>

#include "ftp/protocol/FtpReply.h"

namespace sapi::ftpclient {

// The server does not know the command (or this form of it): vsftpd's "500
// Unknown command.", "502", "504", and "522" to an address family. Worth
// falling back to the older command (EPSV to PASV, EPRT to PORT).
bool NotImplemented(const FtpReply &reply);
// The server does not know the command at all: it is not asked again.
bool CommandUnknown(const FtpReply &reply);
// A refusal of the marker sent to get back in step (SYST then PWD).
bool MarkerRefused(const FtpReply &reply);
// pyftpdlib to a long name: "500 Command too long." and then '500 Command ""
// not understood.'. A "500" to a line with an argument the session did not
// compose itself may be one of several answers to it. (A bare verb a server
// does not know, like MLSD to vsftpd, is one line to any server.)
bool MayHaveBeenAnsweredTwice(const FtpReply &reply, std::string_view verb, bool hasArgument);

}  // namespace sapi::ftpclient
