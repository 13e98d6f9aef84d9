#include "ftp/protocol/ReplyCodes.h"

namespace sapi::ftpclient {

bool NotImplemented(const FtpReply &reply) {
    return reply.code == 500 || reply.code == 501 || reply.code == 502 || reply.code == 504 || reply.code == 522;
}

bool CommandUnknown(const FtpReply &reply) { return reply.code == 500 || reply.code == 502; }

bool MarkerRefused(const FtpReply &reply) { return reply.code >= 500 && reply.code <= 504; }

bool MayHaveBeenAnsweredTwice(const FtpReply &reply, std::string_view verb, bool hasArgument) {
    const bool ownLine = verb == "EPRT" || verb == "PORT" || verb == "OPTS" || verb == "TYPE";
    return reply.code == 500 && hasArgument && !ownLine;
}

}  // namespace sapi::ftpclient
