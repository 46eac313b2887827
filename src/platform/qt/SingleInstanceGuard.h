#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace brevant {

// Makes sure only one instance of the program runs per user. The first instance holds a lock file
// and listens on a local socket beside it; a later instance finds the lock taken, knocks on the
// socket with a short message and is told to end. The operating system's process table tells a
// crashed holder from a live one, so a lock left behind by a killed instance does not block the
// next start, and neither does the socket file it leaves.
class SingleInstanceGuard : public QObject
{
    Q_OBJECT
public:
    // runtimeDir empty: privateRuntimeDirectory().
    explicit SingleInstanceGuard(const QString& key = QStringLiteral("Brevant"),
                                 const QString& runtimeDir = {}, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // True: this is the only instance; it keeps the lock and listens until destroyed.
    // False: another instance runs and has been sent knockMessage(); the caller should end.
    bool tryAcquire();

    // The user's runtime directory; without one a private per-user directory in tempRoot (created
    // 0700 and checked to be the user's own), and when that is taken by someone else, fallback.
    static QString privateRuntimeDirectory(const QString& tempRoot, const QString& fallback);

    static QByteArray knockMessage() { return QByteArrayLiteral("0x810"); }

    QString lockFilePath() const { return m_basePath + QStringLiteral(".lock"); }
    QString socketPath() const { return m_basePath + QStringLiteral(".socket"); }

signals:
    // The running instance received this from a later one.
    void messageReceived(const QByteArray& message);

private:
    void listen();
    void acceptConnection();
    void readKnock(QLocalSocket* socket);
    bool knock();

    QString m_basePath;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace brevant
