#pragma once

#include "config/SettingKeys.h"
#include "config/ui/EventManagerParts.h"

#include <QGroupBox>

class QComboBox;
class QLabel;
class QLineEdit;

namespace brevant {

class XpCheckBox;
class XpCmdButton;

// The OS Event Log sub-page of the Event Manager page (FrmOSLog): the three record limits, the
// port of the UPS link, application saving before a shutdown, and a box that locks the limits and
// the saving box. Apply checks the limits (10 to 1000), writes every setting, takes the chosen
// link into use at once and reloads the countdown's length.
//
// Beyond the limits the page itself checks: a limit box that holds no number is refused like one
// out of range, a limit is never written as text no one can read (1000 then, the value such text
// stands for), and a serial port that cannot be opened is named to the user with what to do; its
// choice is saved all the same.
class OsEventLogPage : public QGroupBox
{
    Q_OBJECT

public:
    static const QString RangeMessage;  // "Please input number range between 10 and 1000"
    static const QString NumberMessage; // "Please input number "
    static const QString MessageTitle;  // "System Information"

    explicit OsEventLogPage(EventManagerParts parts, QWidget* parent = nullptr);

    // Choosing the sub-page: the port list, the boxes and the limits take the file's values. The
    // lock of "Disable on all events" stays as its last click left it.
    void load();

signals:
    // The Help button: open the program's help.
    void helpRequested();

private:
    struct Limit
    {
        QLineEdit* box;
        IniKey key;
    };

    void disableClicked();
    void apply();
    void checkLimit(const Limit& limit);
    QString limitToWrite(const Limit& limit);
    void showPortDevice();
    void tellPortNotOpened();

    EventManagerParts m_parts;
    QComboBox* m_port;     // ComboPort
    QLabel* m_portDevice;  // the device of the chosen port
    QList<Limit> m_limits; // log, event, closed applications
    QList<XpCmdButton*> m_limitSpins;
    XpCheckBox* m_disable; // ChkOSDisable
    XpCheckBox* m_save;    // ChkOSSave
};

} // namespace brevant
