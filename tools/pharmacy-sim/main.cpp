// pharmacy-sim: sends claims to an inbound socket port or through the modem
// on a serial line, and checks the replies (--help).
#include "pharmacy_options.h"
#include "serial_load.h"
#include "socket_load.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("pharmacy-sim");
    QCoreApplication::setApplicationVersion(CORVANE_VERSION);
    // A peer that closes early must show as a failed claim, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    const PharmacyOptions options = ParsePharmacyOptions(app);
    return options.serial ? RunSerialLoad(options.serialLine) : RunSocketLoad(options.socket);
}
