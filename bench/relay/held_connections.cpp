#include "held_connections.h"

#include "bench_programs.h"
#include "relay/frames.h"
#include "sample_claim.h"

#include "base/format_text.h"

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int replyTimeoutSeconds = 10;

bool ReceiveExact(int fd, char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t got = ::recv(fd, buffer + done, size - done, 0);
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// Sends one claim in the Tuq Header framing and waits for its reply; the
// milliseconds it took, or a negative number when no right reply came.
double ClaimRoundTrip(int fd, int number)
{
    timeval timeout{replyTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string sequence = FormatText("held%08d", number);
    std::string claim = BuildSampleClaim(static_cast<unsigned>(number));
    std::string frame = BuildLengthHeader16(sequence, static_cast<int>(claim.size())) + claim;
    auto start = std::chrono::steady_clock::now();
    if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size()))
        return -1;
    char header[kTuqHeaderSize];
    if (!ReceiveExact(fd, header, sizeof header)
        || sequence.compare(0, kTuqSequenceSize, header + 4, kTuqSequenceSize) != 0)
        return -1;
    long long length = DeclaredDataLength16(header);
    std::string data(static_cast<size_t>(std::clamp<long long>(length, 0, kMaxFrameData)), '\0');
    if (length <= 0 || length > kMaxFrameData || !ReceiveExact(fd, data.data(), data.size())
        || data.find(PrescriptionField(static_cast<unsigned>(number))) == std::string::npos)
        return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double ProcessCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

}  // namespace

bool MeasureHeldConnections(std::uint16_t relayPort, int count, int idleSeconds)
{
    std::vector<int> sockets;
    for (int i = 0; i < count; ++i) {
        int fd = ConnectLoopback(relayPort);
        if (fd < 0)
            break;
        sockets.push_back(fd);
    }
    int held = static_cast<int>(sockets.size());
    int asked = 0;
    int answered = 0;
    double slowestMs = 0;
    if (held > 0) {
        for (int index : {0, held / 2, held - 1}) {
            ++asked;
            double ms = ClaimRoundTrip(sockets[static_cast<size_t>(index)], index + 1);
            if (ms >= 0) {
                ++answered;
                slowestMs = std::max(slowestMs, ms);
            }
        }
    }
    double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    double used = ProcessCpuSeconds() - before;
    std::printf("relay held connections=%d of %d answered=%d/%d slowest_answer=%.2fms rss=%.1fMB "
                "idle_cpu=%.2f%% (%d s)\n",
                held, count, answered, asked, slowestMs, ResidentMegabytes(), 100.0 * used / idleSeconds,
                idleSeconds);
    for (int fd : sockets)
        ::close(fd);
    return held == count && answered == asked;
}
