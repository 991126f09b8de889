#include "bench_switch.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

constexpr int waitMs = 60000;

QString ProgramPath(const char* name)
{
    return QFileInfo("/proc/self/exe").symLinkTarget().section('/', 0, -2) + "/" + name;
}

}  // namespace

BenchSwitch::BenchSwitch()
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(ProgramPath("tuq-switch-sim"), {"--port", "0", "--twofish"});
    static const QRegularExpression line("listening on [^:\\s]+:(\\d+)\\n");
    QString output;
    while (process_.waitForReadyRead(waitMs)) {
        output += QString::fromUtf8(process_.readAllStandardOutput());
        QRegularExpressionMatch match = line.match(output);
        if (match.hasMatch()) {
            port_ = static_cast<std::uint16_t>(match.captured(1).toUInt());
            return;
        }
    }
}

BenchSwitch::~BenchSwitch()
{
    process_.terminate();
    process_.waitForFinished(waitMs);
}

std::optional<double> SwitchDirectP50Ms(std::uint16_t port, int claims)
{
    QProcess pharmacy;
    pharmacy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    pharmacy.start(ProgramPath("pharmacy-sim"),
                   {"--port", QString::number(port), "--framing", "tuq", "--twofish", "--expect-paid",
                    "--connections", "1", "--claims", QString::number(claims)});
    if (!pharmacy.waitForFinished(waitMs) || pharmacy.exitStatus() != QProcess::NormalExit
        || pharmacy.exitCode() != 0)
        return std::nullopt;

    static const QRegularExpression summary("p50=([0-9.]+)ms");
    QRegularExpressionMatch match = summary.match(QString::fromUtf8(pharmacy.readAllStandardOutput()));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toDouble();
}
