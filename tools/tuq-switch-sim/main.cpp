// tuq-switch-sim: a claims switch for tests and demonstrations (--help).
#include "modem_simulator.h"
#include "switch_options.h"
#include "switch_server.h"
#include "tls_server_context.h"

#include <QCoreApplication>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <unistd.h>

namespace {

int stopPipe[2] = {-1, -1};

void RequestStop(int)
{
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(stopPipe[1], &byte, 1);
}

void InstallSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A client that goes away mid-answer must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tuq-switch-sim");
    QCoreApplication::setApplicationVersion(CORVANE_VERSION);
    const SwitchOptions options = ParseSwitchOptions(app);

    std::string error;
    SslCtxPtr tls;
    if (options.tls.enabled && !(tls = NewTlsServerContext(options.tls, error))) {
        std::fprintf(stderr, "tuq-switch-sim: %s\n", error.c_str());
        return 1;
    }
    if (::pipe2(stopPipe, O_CLOEXEC) != 0) {
        std::perror("tuq-switch-sim: pipe");
        return 1;
    }
    InstallSignalHandlers();

    if (!options.modem.device.empty())
        return ModemSimulator(options.modem, stopPipe[0]).run();

    SwitchServer server(options, tls.get());
    if (!server.listen(error)) {
        std::fprintf(stderr, "tuq-switch-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s:%u\n", options.host.c_str(), static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    server.run(stopPipe[0]);
    return 0;
}
