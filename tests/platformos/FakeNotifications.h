#pragma once

#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QVariantMap>

// The desktop's notification service (org.freedesktop.Notifications) as far as showing goes:
// records every Notify and answers with a fresh id. Export it on a private bus at
// /org/freedesktop/Notifications.
class FakeNotifications : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown
    {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
        int timeout = 0;
    };
    QList<Shown> shown;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int timeout)
    {
        shown.append({appName, replacesId, icon, summary, body, hints, timeout});
        return uint(100 + shown.size());
    }
};
