#include "bench_claim_road.h"

#include "bench_claim.h"
#include "bench_programs.h"

#include "app/dispatch_controller.h"
#include "base/format_text.h"
#include "base/general_log.h"
#include "config/log_settings.h"
#include "app/headless_notifier.h"
#include "app/headless_view.h"
#include "app/wait_until.h"
#include "config/settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <functional>
#include <utility>

namespace {

constexpr int waitMs = 60000;
constexpr size_t maxProblemsListed = 5;

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

std::string ReadWholeFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

// The road sets a status text at every step of every claim. The first text
// of a pass comes once the folder is listed and the first claim read; the
// text after each response file is written comes at once (the next claim's
// read, or the pass closing the connection). So checking on every status
// change for the next response file (one stat) times each response to within
// a few microseconds, without polling the folder from outside the road.
class ResponseClock {
public:
    explicit ResponseClock(std::vector<std::string> responsePaths) : paths_(std::move(responsePaths))
    {
        clock_.start();
    }

    void OnStatus(const QString& text)
    {
        if (startNs_ < 0 && text.startsWith("Preparing to send file"))
            startNs_ = clock_.nsecsElapsed();
        Look();
    }

    // Claims go in name order, and so do their responses.
    void Look()
    {
        while (seenNs_.size() < paths_.size() && QFileInfo::exists(QString::fromStdString(paths_[seenNs_.size()])))
            seenNs_.push_back(clock_.nsecsElapsed());
    }

    bool AllSeen() const { return seenNs_.size() == paths_.size(); }
    double MsSinceLastResponse() const
    {
        return seenNs_.empty() ? 0 : static_cast<double>(clock_.nsecsElapsed() - seenNs_.back()) / 1e6;
    }

    void Fill(RoadResult& result) const
    {
        result.responses = static_cast<int>(seenNs_.size());
        if (seenNs_.empty() || startNs_ < 0)
            return;
        double sumMs = 0;
        for (qint64 ns : seenNs_)
            sumMs += MsFromStart(ns);
        result.meanToResponseMs = sumMs / static_cast<double>(seenNs_.size());
        result.firstResponseMs = MsFromStart(seenNs_.front());
        result.secondsToLast = MsFromStart(seenNs_.back()) / 1000.0;
        if (seenNs_.size() > 1)
            result.perClaimMs = static_cast<double>(seenNs_.back() - seenNs_.front()) / 1e6
                                / static_cast<double>(seenNs_.size() - 1);
    }

private:
    double MsFromStart(qint64 ns) const { return static_cast<double>(ns - startNs_) / 1e6; }

    std::vector<std::string> paths_;
    QElapsedTimer clock_;
    qint64 startNs_ = -1;
    std::vector<qint64> seenNs_;
};

// The headless view, telling the clock about every status text.
class TimingView : public HeadlessView {
public:
    explicit TimingView(ResponseClock& clock) : clock_(clock) {}
    void SetStatusText(const QString& text) override
    {
        HeadlessView::SetStatusText(text);
        clock_.OnStatus(text);
    }

private:
    ResponseClock& clock_;
};

// Errors go to standard error as in headless mode, and end the wait.
class CountingNotifier : public HeadlessNotifier {
public:
    void ShowError(const std::string& text) override
    {
        ++errors;
        HeadlessNotifier::ShowError(text);
    }
    int errors = 0;
};

void AddProblem(RoadResult& result, const std::string& text)
{
    if (result.problems.size() < maxProblemsListed)
        result.problems.push_back(text);
    else if (result.problems.size() == maxProblemsListed)
        result.problems.push_back("(more problems not listed)");
}

// Every claim must be gone from the claim folder and answered as paid by the
// switch; a reject made on the way (TUQ0x) is a failure.
void CheckResponses(RoadResult& result, const std::string& claims, const std::vector<std::string>& responsePaths)
{
    QStringList left = QDir(QString::fromStdString(claims)).entryList({"*.clm"}, QDir::Files);
    if (!left.isEmpty())
        AddProblem(result, FormatText("%d claim files left in the claim folder", static_cast<int>(left.size())));
    for (size_t i = 0; i < responsePaths.size(); ++i) {
        const std::string& path = responsePaths[i];
        std::string response = ReadWholeFile(path);
        if (response.empty())
            AddProblem(result, "no response in " + path);
        else if (response.find("TUQ0") != std::string::npos)
            AddProblem(result, "reject in " + path + ": " + PrintableText(response));
        else if (response.find("ANP") == std::string::npos
                 || response.find(BenchPrescription(static_cast<int>(i) + 1)) == std::string::npos)
            AddProblem(result, "not the claim's paid answer in " + path + ": " + PrintableText(response));
    }
}

}  // namespace

void UsePrivateSettings(const std::string& folder)
{
    for (const char* sub : {"/config", "/runtime"})
        QDir().mkpath(QString::fromStdString(folder + sub));
    QFile::setPermissions(QString::fromStdString(folder + "/runtime"), QFileDevice::ReadOwner
                          | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (folder + "/runtime").c_str(), 1);
    ::setenv("CORVANE_SETTINGS", (folder + "/Corvane.reg").c_str(), 1);
}

void WriteRoadSettings(std::uint16_t switchPort)
{
    // Logging off, as a gateway runs by default: the figures are the road's.
    SetEnableDebugMessages(false);
    SetEnableNetworkDebugMessages(false);
    LoadLogSettings();
    SetDataSourceFile();
    SetClaimFileRetries(1);
    SetClaimFileRetryDelay(1);
    SetInboundHostName("127.0.0.1");
    SetInboundPort(FreeLoopbackPort());
    SetInboundSocketFormat(1);
    SetEnableNetwork1(true);
    SetEnableNetwork2(false);
    SetEnableNetwork3(false);
    SetOutboundHostName1("127.0.0.1");
    SetOutboundPort1A(switchPort);
    SetOutboundPort1B(0);
    SetEnableOutboundSSLCommunications(false);
    SetEnableOutboundTwofishSecurity(true);
    SetOutboundConnectTimeout(5);
    SetSystemID("BENCH");
}

RoadResult RunClaimFiles(const std::string& workFolder, int files)
{
    RoadResult result;
    result.files = files;
    const std::string claims = workFolder + "/claims" + std::to_string(files);
    const std::string archive = workFolder + "/archive" + std::to_string(files);
    QDir().mkpath(QString::fromStdString(claims));
    QDir().mkpath(QString::fromStdString(archive));
    SetClaimFileMask(claims + "/*.clm");
    SetClaimFileArchiveFolder(archive);

    std::vector<std::string> responsePaths;
    for (int i = 1; i <= files; ++i) {
        const std::string name = claims + FormatText("/RX%05d", i);
        if (!WriteWholeFile(name + ".clm", BenchClaim(i))) {
            AddProblem(result, "cannot write " + name + ".clm");
            return result;
        }
        responsePaths.push_back(name + ".rsp");
    }

    ResponseClock clock(responsePaths);
    TimingView view(clock);
    CountingNotifier notifier;
    DispatchController controller(view, notifier);
    QObject::connect(&controller, &DispatchController::RelayThreadChanged, [&] {
        if (controller.HasRelayThread())
            ++result.relayStarts;
    });
    if (!controller.OpenDataSource()) {
        AddProblem(result, "the claim-file data source did not open: " + view.StatusText().toStdString());
        return result;
    }
    // Every claim file is in the folder before the first pass lists it, so
    // one pass with one relay start sends them all; a second start means a
    // pass ended early on a failure.
    WaitUntil([&] {
        clock.Look();
        return clock.AllSeen() || notifier.errors > 0 || result.relayStarts > 1;
    }, waitMs, 250);
    // The pass ends by closing the connection and stopping the relay; this
    // check runs as soon as the pass returns to the event loop.
    WaitUntil([&] { return !controller.State().filePassBusy && !controller.HasRelayThread(); }, waitMs, 250);
    result.passCloseMs = clock.MsSinceLastResponse();
    controller.CloseDataSource();

    clock.Fill(result);
    CheckResponses(result, claims, responsePaths);
    return result;
}
