#pragma once

#include "platform/TrayIcon.h"

#include <QObject>
#include <memory>

class QSystemTrayIcon;

namespace brevant {

// The notification-area icon. Each replacement removes the icon and adds it again, so the
// desktop always shows exactly one; a double click is the only action.
class QtTrayIcon final : public QObject, public TrayIcon
{
    Q_OBJECT

public:
    explicit QtTrayIcon(QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void replaceTrayIcon(TrayPicture picture, const QString& tip) override;
    void remove() override;

signals:
    void doubleClicked();

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
};

} // namespace brevant
