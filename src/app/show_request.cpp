#include "app/show_request.h"

#include "app/single_instance.h"
#include "base/general_log.h"

#include <QLocalSocket>

namespace {

const int kAnswerWaitMs = 5000;
const QByteArray kShown = "shown\n";

}  // namespace

ShowRequestListener::ShowRequestListener(const std::string& configName, QObject* parent)
    : QObject(parent)
{
    const QString path = QString::fromStdString(ShowRequestSocketPath(configName));
    // A socket file left by a Corvane that was killed; the lock says none runs.
    QLocalServer::removeServer(path);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &ShowRequestListener::Answer);
    if (!server_.listen(path))
        LogMsg("A second start cannot ask for this window: %s", server_.errorString().toUtf8().constData());
}

void ShowRequestListener::Answer()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        LogMsg("A second start asked for the window.");
        emit ShowRequested();
        socket->write(kShown);
        socket->disconnectFromServer();
    }
}

bool AskRunningToShow(const std::string& configName)
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(ShowRequestSocketPath(configName)));
    if (!socket.waitForConnected(kAnswerWaitMs))
        return false;
    QByteArray answer;
    while (answer.size() < kShown.size() && socket.waitForReadyRead(kAnswerWaitMs))
        answer += socket.readAll();
    return answer.startsWith(kShown);
}
