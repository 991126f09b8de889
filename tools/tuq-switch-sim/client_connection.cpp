#include "client_connection.h"

#include "base/format_text.h"
#include "paid_response.h"
#include "relay/frames.h"

#include <poll.h>

#include <cerrno>
#include <cstdio>

ClientConnection::ClientConnection(int fd, int number, const SwitchOptions& options, SSL_CTX* tls,
                                   std::atomic<unsigned>& authorizations)
    : stream_(fd),
      number_(number),
      options_(options),
      tls_(tls),
      authorizations_(authorizations),
      schedule_(options.faults)
{
    if (options.twofish) {
        readCipher_ = CreateTwofishContext(TwofishBlocks);
        writeCipher_ = CreateTwofishContext(TwofishBlocks);
    }
}

void ClientConnection::run()
{
    std::string error;
    if (tls_ && !stream_.acceptTls(tls_, error)) {
        report(error);
        return;
    }
    for (;;) {
        if (!sendDueAnswers())
            return;
        if (!waitForInput())
            continue;
        // The claims already in are all taken before answering, so that
        // their answers leave together.
        do {
            Claim claim;
            if (!readClaim(claim) || !handleClaim(std::move(claim)))
                return;
        } while (claimBuffered());
    }
}

bool ClientConnection::waitForInput()
{
    if (stream_.hasBufferedInput())
        return true;
    int timeoutMs = -1;
    if (auto due = schedule_.nextDue()) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - SteadyClock::now());
        timeoutMs = static_cast<int>(std::max<long long>(0, left.count()));
    }
    pollfd p{stream_.fd(), POLLIN, 0};
    int ready = ::poll(&p, 1, timeoutMs);
    // Errors and hang-ups count as input: the read then ends the connection.
    return ready > 0 || (ready < 0 && errno != EINTR);
}

bool ClientConnection::readClaim(Claim& claim)
{
    char header[kUpstreamHeaderSize];
    if (!stream_.readExact(header, sizeof header)) {
        if (options_.verbose)
            report("closed by the client");
        return false;
    }
    long long length = DeclaredDataLength16(header);
    if (length < 0 || length > kMaxFrameData) {
        report(FormatText("bad length field %u, closing", ReadBigEndian32(header)));
        return false;
    }
    claim.sequence.assign(header + 4, kTuqSequenceSize);
    claim.data.resize(static_cast<size_t>(length));
    if (!stream_.readExact(claim.data.data(), claim.data.size())) {
        report("connection ended inside a claim");
        return false;
    }
    DecryptBuffer(readCipher_.get(), claim.data.data(), static_cast<int>(claim.data.size()));
    return true;
}

bool ClientConnection::handleClaim(Claim claim)
{
    if (options_.verbose)
        report(FormatText("claim seq(%s) length %zu", claim.sequence.c_str(), claim.data.size()));
    PendingAnswer answer;
    answer.sequence = claim.sequence;
    answer.data = BuildPaidResponse(claim.data, ++authorizations_);
    switch (schedule_.admit(std::move(answer), SteadyClock::now())) {
    case AnswerSchedule::Action::Answer:
        return true;
    case AnswerSchedule::Action::Drop:
        if (options_.verbose)
            report("claim left unanswered");
        return true;
    case AnswerSchedule::Action::Close:
        if (options_.verbose)
            report("closing instead of answering");
        stream_.close();
        return false;
    }
    return false;
}

bool ClientConnection::claimBuffered() const
{
    std::string_view bytes = stream_.buffered();
    if (bytes.size() < static_cast<size_t>(kUpstreamHeaderSize))
        return false;
    long long length = DeclaredDataLength16(bytes.data());
    // A bad length is read (and reported) like any other claim.
    return length < 0 || length > kMaxFrameData
        || bytes.size() >= static_cast<size_t>(kUpstreamHeaderSize + length);
}

bool ClientConnection::sendDueAnswers()
{
    std::vector<PendingAnswer> due = schedule_.takeDue(SteadyClock::now());
    if (due.empty())
        return true;
    std::string frames;
    for (PendingAnswer& answer : due) {
        // Encrypted here, in sending order, so the stream positions of both ends agree.
        int length = static_cast<int>(answer.data.size());
        EncryptBuffer(writeCipher_.get(), answer.data.data(), length);
        std::string frame = BuildLengthHeader16(answer.sequence, length) + answer.data;
        if (answer.badLength)
            WriteBigEndian32(frame.data(), *options_.faults.lengthField);
        frames += frame;
    }
    if (!stream_.writeAll(frames.data(), frames.size())) {
        report("cannot send an answer, closing");
        return false;
    }
    if (options_.verbose)
        for (const PendingAnswer& answer : due)
            report(FormatText("answer seq(%s) length %zu", answer.sequence.c_str(), answer.data.size()));
    return true;
}

void ClientConnection::report(const std::string& text) const
{
    std::fprintf(stderr, "tuq-switch-sim: connection %d: %s\n", number_, text.c_str());
}
