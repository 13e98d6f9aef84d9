#include "ftp/services/sockets/FtpSession.h"

#include <utility>

#include "ftp/protocol/QuotedPath.h"
#include "ftp/protocol/ReplyCodes.h"
#include "ftp/protocol/SizeReply.h"

namespace sapi::ftpclient {

FtpSession::FtpSession(bool passive, TlsSettings tls, StreamFactory &streams, ClientTimeouts timeouts)
    : timeouts_(timeouts),
      streams_(streams),
      channel_(trace_, timeouts_),
      connector_(channel_, streams_, trace_, timeouts_, passive),
      tlsSettings_(std::move(tls)) {
    trace_.Open();
}

FtpSession::~FtpSession() { Close(); }

// A session that asked for TLS and did not get it ends here, closed without
// another word: never a login in clear text.
SessionError FtpSession::Login(const std::string &host, uint16_t port, const std::string &user,
                               const std::string &password) {
    reason_.clear();
    loginFolder_.reset();
    connector_.Forget();
    user_ = user;
    password_ = password;
    SessionError error = Connect(host, port);
    if (!error) error = Greet();
    if (!error) error = SecureControl();
    if (!error) error = SendCredentials(user, password);
    return error ? LoginFailed(error) : SessionError::None;
}

SessionError FtpSession::Connect(const std::string &host, uint16_t port) {
    host_ = host;
    port_ = port;
    trace_.Note("connecting to " + host + " port " + std::to_string(port));
    if (const SessionError error = channel_.Open(streams_, host, port)) {
        trace_.Note(std::string("connect failed: ") + Describe(error));
        reason_ = ConnectReason(error);
        return error;
    }
    // Implicit TLS: even the greeting comes encrypted.
    return tlsSettings_.mode == TlsMode::Implicit ? StartTls() : SessionError::None;
}

SessionError FtpSession::Greet() {
    FtpReply greeting;
    if (const SessionError error = channel_.AwaitGreeting(greeting)) return error;
    return greeting.IsSuccess() ? SessionError::None : SessionError::Refused;
}

// USER, then PASS where the answer asks for it, each on its own: the
// password goes only where it is asked for, and pyftpdlib answers the
// commands that follow a wrong one before it (its "530" comes after a
// pause), so nothing rides with it.
SessionError FtpSession::SendCredentials(const std::string &user, const std::string &password) {
    FtpReply reply;
    const std::string name = user.empty() ? std::string("anonymous") : user;
    if (const SessionError error = channel_.AskFinal("USER " + name, reply)) return error;
    if (reply.code == 331) {
        if (const SessionError error = channel_.AskFinal("PASS " + password, reply)) return error;
    }
    if (!reply.IsSuccess()) return SessionError::LoginRefused;
    loginReply_ = reply;
    return SetUp();
}

// Everything a session asks once it is logged in depends on no answer but
// the login's, so it goes in one flight:
//   PBSZ 0, PROT P  on a TLS session, every data connection in TLS too
//                   (pyftpdlib wants PBSZ first); a server that will not
//                   protect the data gets no transfers from us rather than
//                   transfers in clear text, and a refusal ends the wait
//   FEAT            what the server has
//   TYPE I          kept for the whole session: SIZE needs it on some
//                   servers, and one left in ASCII mode would change the
//                   bytes of every file
//   PWD             where the login landed, which a host asks first
// No passive port goes with them: a port is asked for only right before its
// data connection is opened. Twisted's server holds every command after a
// PASV until that connection comes, and then answers the PASV a second time.
// Then, where FEAT lists UTF8, OPTS UTF8 ON, whose answer nobody waits for:
// names go over the wire as UTF-8 whatever it says (pyftpdlib says "501
// Invalid argument." and pure-ftpd "504 Unknown command", and both still
// take UTF-8 names). In the flight it would cost a round trip of its own:
// vsftpd and proftpd write FEAT's answer a line at a time, and one more
// answer behind it waits for the first ones to be acknowledged.
SessionError FtpSession::SetUp() {
    std::vector<std::string> lines;
    if (tls_) lines.insert(lines.end(), {"PBSZ 0", "PROT P"});
    const std::size_t feat = lines.size();
    lines.insert(lines.end(), {"FEAT", "TYPE I", "PWD"});
    std::vector<FtpReply> replies;
    const SessionError error = channel_.AskInOneFlight(lines, replies, feat);
    // What the session cannot go on without: the data protected, TYPE I set.
    // An answer the flight could not vouch for (a server that says things
    // twice) is asked for again, alone.
    const auto confirmed = [&](std::size_t i) -> SessionError {
        if (replies[i].code == 0 && channel_.State() == ChannelState::OutOfStep) {
            if (const SessionError again = channel_.AskFinal(lines[i], replies[i])) return again;
        }
        if (replies[i].code == 0) return error ? error : SessionError::ConnectionLost;
        channel_.Recall(lines[i], replies[i]);
        return replies[i].IsSuccess() ? SessionError::None : SessionError::Refused;
    };
    for (std::size_t i = 0; i < feat; ++i) {
        if (const SessionError failed = confirmed(i)) return failed;
    }
    if (tls_) connector_.UseTls(tls_);
    if (const SessionError failed = confirmed(feat + 1)) return failed;
    LearnFeatures(replies[feat]);
    // The PWD is the host's question asked early: a session lost on its
    // answer is found gone by the next call, as it would have been then.
    const FtpReply &folder = replies[feat + 2];
    if (channel_.State() == ChannelState::Ready && folder.code == 257) loginFolder_ = folder;
    loginPath_ = folder.code == 257 ? ParseQuotedPath(folder.FirstLineMessage()) : std::nullopt;
    // The folder a new session goes back to, until the host moves.
    if (channel_.State() == ChannelState::Ready && !folder_ && !folderUnknown_) folder_ = loginPath_;
    if (channel_.State() == ChannelState::OutOfStep) {
        if (const SessionError step = channel_.EnsureInStep()) return step;
    }
    if (features_.utf8 && channel_.State() == ChannelState::Ready) channel_.SendUnawaited("OPTS UTF8 ON");
    return SessionError::None;
}

void FtpSession::LearnFeatures(const FtpReply &reply) {
    features_ = ParseFeatures(reply);
    if (features_.known) {
        useMlsd_ = features_.mlsd;
        useSize_ = features_.size;
    }
}

SessionError FtpSession::Command(const std::string &line, FtpReply &reply) {
    if (transfer_) return SessionError::TransferInProgress;
    sizeProbe_.reset();
    connector_.Forget();
    const std::optional<FtpReply> answer = std::exchange(abortAnswer_, std::nullopt);
    if (const std::optional<FtpReply> folder = std::exchange(loginFolder_, std::nullopt); folder && line == "PWD") {
        trace_.Note("PWD answered by the one asked after the login");
        reply = *folder;
        channel_.Recall(line, reply);
        FollowFolder(line, reply);
        return SessionError::None;
    }
    // The host's ABOR after a retrieval it closed early: that close sent one
    // already, and its answer is this one's.
    if (answer && line == "ABOR") {
        reply = *answer;
        channel_.Recall(line, reply);
        return SessionError::None;
    }
    // An ABOR brings the session back in step itself; no marker before it.
    if (VerbOf(line) == "ABOR") return channel_.Abort(reply);
    return Recovering([&] { return CommandOnce(line, reply); }, IsAbsoluteFolderChange(line));
}

SessionError FtpSession::CommandOnce(const std::string &line, FtpReply &reply) {
    constexpr std::string_view size = "SIZE ";
    const bool probe = line.compare(0, size.size(), size) == 0;
    const std::optional<std::string> from = folder_ ? folder_ : loginPath_;
    const SessionError error =
        probe ? ProbeRetrieval(line.substr(size.size()), true, false, reply) : channel_.AskFinal(line, reply);
    if (error) return error;
    FollowFolder(line, reply);
    // A 3xx goes on only where the command takes it ("350" to a host's REST);
    // "314" to CWD is no folder entered.
    const bool goesOn = reply.IsIntermediate() && FitOf(line, reply.code) == ReplyFit::Answer;
    const bool succeeded = reply.IsSuccess() || goesOn;
    NoteFolderStep(line, succeeded);
    if (succeeded && VerbOf(line) == "CWD" && line.size() > 4) return CheckFolderChange(line.substr(4), from);
    return succeeded ? SessionError::None : SessionError::Refused;
}

SessionError FtpSession::OpenTransfer(const std::string &name, bool retrieve) {
    if (transfer_) return SessionError::TransferInProgress;
    loginFolder_.reset();
    abortAnswer_.reset();
    return Recovering([&] { return OpenTransferOnce(name, retrieve); });
}

SessionError FtpSession::OpenTransferOnce(const std::string &name, bool retrieve) {
    retrieval_.reset();
    if (const SessionError error = StartDigest(name, retrieve)) return error;
    std::optional<SizeProbe> probe = std::exchange(sizeProbe_, std::nullopt);
    // The size asked just before the retrieval, in TYPE I, is the size of what
    // the retrieval sends; servers that answer no SIZE may still name it in
    // 150. A caller that asked SIZE itself just before has the answer already.
    if (retrieve && !(probe && probe->name == name)) {
        FtpReply reply;
        ProbeRetrieval(name, useSize_, true, reply);
        probe = std::exchange(sizeProbe_, std::nullopt);
    }
    const std::optional<uint64_t> size = retrieve ? probe->size : std::nullopt;
    // A retrieval that may have to resume, or to follow the file, must know
    // the file it started on.
    const bool knowTime = (recover_ || followQuiet_ > 0) && retrieve;
    const std::string modified = knowTime ? (probe->modified ? *probe->modified : ModifiedTime(name)) : std::string();
    auto transfer = std::make_unique<FtpTransfer>(channel_, connector_, trace_, timeouts_, retrieve);
    if (const SessionError error = transfer->Start(name, size)) return error;
    transfer_ = std::move(transfer);
    if (recover_ && retrieve) retrieval_ = Retrieval{name, size, modified};
    if (retrieve) StartFollowing(name, size, modified);
    return SessionError::None;
}

// The retrieval's bytes pass through the digest; at the confirmed end the
// server is asked for its own, once, and every read after that gives the
// same answer.
SessionError FtpSession::Read(void *buffer, uint32_t size, uint32_t &received) {
    received = 0;
    if (!transfer_) return SessionError::WrongTransfer;
    if (verified_) return *verified_;
    SessionError error = ReadPiece(buffer, size, received);
    // At the server's end, a file still being written goes on.
    if (growth_ && !error && received == 0 && transfer_->Confirmed()) error = Follow(buffer, size, received);
    if (growth_) growth_->delivered += received;
    if (!checking_) return error;
    if (digest_ && received > 0) digest_->Add(buffer, received);
    digestBytes_ += received;
    if (!error && received == 0 && transfer_->Confirmed()) error = *(verified_ = VerifyTransfer());
    return error;
}

SessionError FtpSession::ReadPiece(void *buffer, uint32_t size, uint32_t &received) {
    SessionError error = transfer_->Read(buffer, size, received);
    if (!retrieval_) return error;
    // Cut short: the same file, from where it stopped, on a session that works.
    if (error == SessionError::TimedOut) callTimedOut_ = true;
    while (error && received == 0 && Decide(error) == Recovery::Resume) {
        error = Resume();
        if (!error) error = transfer_->Read(buffer, size, received);
    }
    retrieval_->delivered += received;
    // A retrieval made of two pieces counts only if they make the whole file.
    // A followed file ends only once its size equals what was delivered.
    const bool whole = !retrieval_->resumed || growth_ || retrieval_->delivered == retrieval_->size;
    if (!error && received == 0 && transfer_->Confirmed() && !whole) return SessionError::ConnectionLost;
    return error;
}

SessionError FtpSession::Write(const void *data, uint32_t size, uint32_t &sent) {
    sent = 0;
    if (!transfer_) return SessionError::WrongTransfer;
    const SessionError error = transfer_->Write(data, size, sent);
    if (error == SessionError::TimedOut) callTimedOut_ = true;
    if (digest_ && sent > 0) digest_->Add(data, sent);
    digestBytes_ += sent;
    return error;
}

// A store is checked once the server has confirmed it.
SessionError FtpSession::CloseTransfer() {
    if (!transfer_) return SessionError::None;
    SessionError result = transfer_->End();
    abortAnswer_ = transfer_->AbortAnswer();
    if (result == SessionError::TimedOut) callTimedOut_ = true;
    storeCut_ = !transfer_->IsRetrieval() && (transfer_->Cut() || result == SessionError::ConnectionLost ||
                                              result == SessionError::Unusable);
    if (!result && checking_ && storing_) result = VerifyTransfer();
    transfer_.reset();
    retrieval_.reset();
    growth_.reset();
    digest_.reset();
    checking_ = false;
    return result;
}

void FtpSession::Close() {
    transfer_.reset();
    if (stopped_) {
        channel_.Close();
    } else {
        channel_.Quit();
    }
}

}  // namespace sapi::ftpclient
