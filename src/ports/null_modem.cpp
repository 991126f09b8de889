#include "ports/null_modem.h"

#include "ports/port_errors.h"

#include <cerrno>
#include <map>

namespace {

const std::string kPrefix = "nullmodem:";

class NullModemEnd;

} // namespace

struct NullModemPair::Cable {
    int id = 0;
    NullModemEnd* ends[2] = {nullptr, nullptr};
};

namespace {

std::map<int, std::weak_ptr<NullModemPair::Cable>>& Cables()
{
    static std::map<int, std::weak_ptr<NullModemPair::Cable>> cables;
    return cables;
}

class NullModemEnd : public PortDevice {
public:
    NullModemEnd(std::shared_ptr<NullModemPair::Cable> cable, int side, bool dtr, bool rts)
        : cable_(std::move(cable)), side_(side), dtr_(dtr), rts_(rts)
    {
        cable_->ends[side_] = this;
        if (const NullModemEnd* peer = Peer()) {
            seenCts_ = peer->rts_;
            seenDtr_ = peer->dtr_;
        }
        NotifyPeer(msDSRDelta | msDCDDelta | msCTSDelta, dtr_, rts_);
    }

    ~NullModemEnd() override { Close(); }

    void Close() override
    {
        if (cable_->ends[side_] != this)
            return;
        NotifyPeer(msDSRDelta | msDCDDelta | msCTSDelta, false, false);
        cable_->ends[side_] = nullptr;
        inbox_.clear();
    }

    QByteArray Read(qint64 max) override
    {
        const QByteArray data = inbox_.left(max);
        inbox_.remove(0, data.size());
        return data;
    }

    qint64 Write(const QByteArray& data) override
    {
        NullModemEnd* peer = Peer();
        if (peer && cable_->ends[side_] == this)
            peer->Deliver(data);
        return data.size();
    }

    qint64 BytesQueued() const override { return 0; }
    void SetReadSuspended(bool suspended) override { suspended_ = suspended; }

    void SetOutputLines(bool dtr, bool rts) override
    {
        int changes = 0;
        if (dtr != dtr_)
            changes |= msDSRDelta | msDCDDelta;
        if (rts != rts_)
            changes |= msCTSDelta;
        dtr_ = dtr;
        rts_ = rts;
        if (changes)
            NotifyPeer(changes, dtr_, rts_);
    }

    ModemLevels Levels() const override
    {
        const NullModemEnd* peer = Peer();
        if (!peer)
            return {};
        return ModemLevels{peer->rts_, peer->dtr_, peer->dtr_, false};
    }

private:
    NullModemEnd* Peer() const { return cable_->ends[1 - side_]; }

    void Deliver(const QByteArray& data)
    {
        inbox_.append(data);
        // Reported from the event loop, never from inside the writer's call.
        QMetaObject::invokeMethod(this, [this] {
            if (!suspended_ && !inbox_.isEmpty())
                emit ReadyRead();
        }, Qt::QueuedConnection);
    }

    void NotifyPeer(int changes, bool dtr, bool rts)
    {
        NullModemEnd* peer = Peer();
        if (!peer)
            return;
        // Only lines whose level really moved count as changes for the peer.
        int moved = 0;
        if ((changes & msCTSDelta) && peer->seenCts_ != rts)
            moved |= msCTSDelta;
        if ((changes & (msDSRDelta | msDCDDelta)) && peer->seenDtr_ != dtr)
            moved |= msDSRDelta | msDCDDelta;
        peer->seenCts_ = rts;
        peer->seenDtr_ = dtr;
        if (moved)
            QMetaObject::invokeMethod(peer, [peer, moved] { emit peer->StatusChanged(moved, 0); },
                                      Qt::QueuedConnection);
    }

    std::shared_ptr<NullModemPair::Cable> cable_;
    int side_;
    bool dtr_;
    bool rts_;
    bool suspended_ = false;
    bool seenCts_ = false;
    bool seenDtr_ = false;
    QByteArray inbox_;
};

int NextCableId()
{
    static int next = 0;
    return ++next;
}

} // namespace

NullModemPair::NullModemPair() : cable_(std::make_shared<Cable>())
{
    cable_->id = NextCableId();
    Cables()[cable_->id] = cable_;
}

NullModemPair::~NullModemPair()
{
    Cables().erase(cable_->id);
}

void NullModemPair::InjectStatus(bool atEndA, bool ring, int lineConditions)
{
    NullModemEnd* end = cable_->ends[atEndA ? 0 : 1];
    if (!end)
        return;
    const int modemChanges = ring ? msRingDelta : 0;
    QMetaObject::invokeMethod(end, [end, modemChanges, lineConditions] {
        emit end->StatusChanged(modemChanges, lineConditions);
    }, Qt::QueuedConnection);
}

std::string NullModemPair::PathA() const
{
    return kPrefix + std::to_string(cable_->id) + ":a";
}

std::string NullModemPair::PathB() const
{
    return kPrefix + std::to_string(cable_->id) + ":b";
}

bool IsNullModemPath(const std::string& path)
{
    return path.rfind(kPrefix, 0) == 0;
}

std::unique_ptr<PortDevice> OpenNullModemEnd(const std::string& path, bool dtr, bool rts)
{
    const std::string rest = path.substr(kPrefix.size());
    const size_t colon = rest.find(':');
    const std::string side = colon == std::string::npos ? "" : rest.substr(colon + 1);
    int id = 0;
    try {
        id = std::stoi(rest.substr(0, colon));
    } catch (const std::exception&) {
        throw EPortError(ENOENT, "Cannot open " + path + ": no such null-modem end");
    }
    const auto found = Cables().find(id);
    std::shared_ptr<NullModemPair::Cable> cable = found == Cables().end() ? nullptr : found->second.lock();
    if (!cable || (side != "a" && side != "b"))
        throw EPortError(ENOENT, "Cannot open " + path + ": no such null-modem end");
    const int index = side == "a" ? 0 : 1;
    if (cable->ends[index])
        throw EPortError(EBUSY, path + " is in use by another port");
    return std::make_unique<NullModemEnd>(cable, index, dtr, rts);
}
