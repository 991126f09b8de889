// pharmacy-sim: sends claims to an inbound socket port and checks the replies (--help).
#include "pharmacy_options.h"
#include "socket_load.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("pharmacy-sim");
    // A peer that closes early must show as a failed claim, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    return RunSocketLoad(ParsePharmacyOptions(app));
}
