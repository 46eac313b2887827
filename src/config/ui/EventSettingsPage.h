#pragma once

#include "config/SettingKeys.h"
#include "config/ui/EventManagerParts.h"
#include "link/UpsDetails.h"

#include <QGroupBox>

class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace brevant {

class ApplyWrites;
class XpCheckBox;
class XpCmdButton;

// The On Battery and Low Battery sub-pages of the Event Manager page (FrmUpsOnBatt and
// FrmUpsLowBatt): the four settings of one event section. The sub-page shows the file's values
// each time it is chosen and writes them back only on Apply, so edits not applied are lost when
// another sub-page is chosen.
//
// "Disable on all events" locks the options group and clears both option boxes; "Enable for this
// event" (shut the system down) unlocks the delay box and its spin buttons. Down stops at 1 minute,
// Up has no bound.
//
// The Low Battery sub-page adds a group of our own below: battery low at the user's own charge
// (%) and runtime (minutes) thresholds, `[Battery] LowCharge` and `LowRuntime`, 0 or empty = off.
// A box whose value the UPS does not report is greyed, and the group says why.
class EventSettingsPage : public QGroupBox
{
    Q_OBJECT

public:
    EventSettingsPage(EventSection section, EventManagerParts parts, QWidget* parent = nullptr);

    // Choosing the sub-page: the boxes take the file's values and the locks follow them.
    void load();

    // What the link reports now, asked at each load; without it the thresholds' boxes stay open.
    void setUpsDetailsSource(std::function<UpsDetails()> source) { m_upsDetails = std::move(source); }

    static const QString ThresholdTitle;
    static const QString ChargeRangeMessage;
    static const QString RuntimeRangeMessage;

signals:
    // The On Battery page's Help button: open the program's help.
    void helpRequested();

private:
    void disableClicked();
    void shutdownClicked();
    void setDelayEnabled(bool enabled);
    void apply();
    QString delayToWrite();
    void buildThresholds(QVBoxLayout* layout);
    void loadThresholds();
    void applyThresholds(ApplyWrites& writes);

    EventSection m_section;
    EventManagerParts m_parts;
    XpCheckBox* m_disable;  // ChkOnBattE, ChkLowBattE
    QGroupBox* m_options;   // Frame2, Frame4
    XpCheckBox* m_record;   // ChkOnBattL, ChkLowBattL
    XpCheckBox* m_shutdown; // ChkOnBattS, ChkLowBattS
    QLineEdit* m_delay;     // TxtOnBattCount, TxtLowBattCount
    XpCmdButton* m_down;    // Command8, Command4
    XpCmdButton* m_up;      // Command7, Command3
    // Low Battery only: our own thresholds.
    QGroupBox* m_thresholds = nullptr; // FrameOwnLow
    QLineEdit* m_lowCharge = nullptr;  // TxtLowCharge
    QLineEdit* m_lowRuntime = nullptr; // TxtLowRuntime
    QWidget* m_chargeRow = nullptr;
    QWidget* m_runtimeRow = nullptr;
    QLabel* m_thresholdReason = nullptr; // LblOwnLowReason
    std::function<UpsDetails()> m_upsDetails;
};

} // namespace brevant
