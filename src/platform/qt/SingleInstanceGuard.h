#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace brevant {

// Makes sure only one instance of the program runs per user. The first instance holds a lock file
// and listens on a local socket beside it; a later instance finds the lock taken, knocks on the
// socket with a short message and is told to end. The operating system's process table tells a
// crashed holder from a live one, so a lock left behind by a killed instance does not block the
// next start, and neither does the socket file it leaves.
//
// The runtime directory belongs to a login session: two sessions of the same user (a desktop and
// an ssh login, or a started program with another XDG_RUNTIME_DIR) have different ones. So the
// instance also holds a lock file in each folder whose files it writes (settings, records): a
// second monitor on the same files ends, whatever its runtime directory.
class SingleInstanceGuard : public QObject
{
    Q_OBJECT
public:
    // runtimeDir empty: privateRuntimeDirectory().
    explicit SingleInstanceGuard(const QString& key = QStringLiteral("Brevant"),
                                 const QString& runtimeDir = {}, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // Folders whose files only one instance may use; each gets "<key>.lock". Before tryAcquire(),
    // and the folders made by the caller (with the modes it wants).
    void guardFolders(const QStringList& folders);

    // True: this is the only instance; it keeps the locks and listens until destroyed.
    // False: another instance runs, and has been sent knockMessage() when it shares the runtime
    // directory; the caller should end.
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
    bool lockFolders();

    QString m_basePath;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
    QStringList m_folders;
    std::vector<std::unique_ptr<QLockFile>> m_folderLocks;
};

} // namespace brevant
