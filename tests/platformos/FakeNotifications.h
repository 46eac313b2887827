#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

// The desktop's notification service (org.freedesktop.Notifications) as far as showing goes:
// records every Notify and answers with a fresh id. Export it on a private bus at
// /org/freedesktop/Notifications.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList shown;   // "summary|body"
    QStringList details; // "app|icon|id replaced|urgency and its type|timeout"

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int timeout)
    {
        shown.append(summary + u'|' + body);
        const QVariant urgency = hints.value(QStringLiteral("urgency"));
        details.append(
            QStringList{appName, icon, QString::number(replacesId),
                        QString::number(urgency.value<uchar>()) + QLatin1StringView(urgency.typeName()),
                        QString::number(timeout)}
                .join(u'|'));
        return uint(100 + shown.size());
    }
};
