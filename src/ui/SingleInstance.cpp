#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalSocket>

#include <unistd.h>

namespace {
// The message of a second copy: the request path in UTF-8, ended by a line feed.
constexpr char kEnd = '\n';
}  // namespace

CSingleInstance::CSingleInstance(const QString& key, QObject* parent) : QObject(parent), m_key(key)
{
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
}

QString CSingleInstance::DefaultKey()
{
    const QByteArray display = qgetenv("WAYLAND_DISPLAY") + "|" + qgetenv("DISPLAY");
    const QByteArray hash = QCryptographicHash::hash(display, QCryptographicHash::Sha1).toHex().left(12);
    return QString("tavrel-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool CSingleInstance::HandToRunningCopy(const QString& requestPath)
{
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        socket.write(requestPath.toUtf8() + kEnd);
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
        return true;
    }
    // Nobody answers: a name left by a copy that crashed is taken over.
    QLocalServer::removeServer(m_key);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(m_key);
    return false;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // A message longer than a path can be is not from a copy of ours.
            if (socket->bytesAvailable() > kMaxMessageBytes) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine()) return;
            const QByteArray line = socket->readLine(kMaxMessageBytes).trimmed();
            socket->disconnectFromServer();
            emit activationRequested(QString::fromUtf8(line));
        });
    }
}
