#pragma once
// One copy of the program per desktop session: the first copy listens on a
// local socket named after the user and the display; a second copy hands it
// its request file (or nothing) so it comes to the front, then ends.
#include <QLocalServer>
#include <QObject>
#include <QString>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 500;
    static constexpr int kMaxMessageBytes = 8192;

    explicit CSingleInstance(const QString& key = DefaultKey(), QObject* parent = nullptr);
    // Server name of this user's session.
    static QString DefaultKey();

    // True when another copy answered and took `requestPath`: this copy
    // should end. Otherwise this copy becomes the one that listens.
    bool HandToRunningCopy(const QString& requestPath);
    bool IsListening() const { return m_server.isListening(); }

signals:
    // Another copy started; its request file (absolute), or empty.
    void activationRequested(const QString& requestPath);

private:
    void OnNewConnection();

    QString m_key;
    QLocalServer m_server;
};
