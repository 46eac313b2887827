// Notifications carry what the UPS reports of its battery; a changing charge alone is no news.
#include "EngineFixture.h"
#include "engine/NotificationPresenter.h"

#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

class RecordingNotifier : public DesktopNotifier
{
public:
    QStringList shown; // "summary|body"
    void notify(const Notification& n) override { shown.append(n.summary + u'|' + n.body); }
};

} // namespace

class TestNotificationPresenter : public QObject
{
    Q_OBJECT

private slots:
    void carriesTheBattery_data();
    void carriesTheBattery();
};

void TestNotificationPresenter::carriesTheBattery_data()
{
    QTest::addColumn<QStringList>("values"); // "name=value" on the simulated UPS
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("charge and runtime")
        << QStringList{"battery.charge=87", "battery.runtime=1380"}
        << QStringList{"Mains power failed|The mains power failed: the UPS runs on battery. Battery: 87 %, "
                       "about 23 min left."};
    QTest::newRow("nothing known") << QStringList{}
                                   << QStringList{
                                          "Mains power failed|The mains power failed: the UPS runs on "
                                          "battery."};
}

void TestNotificationPresenter::carriesTheBattery()
{
    QFETCH(QStringList, values);
    EngineFixture f;
    RecordingNotifier notifier;
    NotificationPresenter presenter(f.engine().monitor(), f.engine().settings(), notifier);
    for (const QString& value : values)
        f.platform().halvic.setValue(value.section(u'=', 0, 0).toUtf8(), value.section(u'=', 1).toUtf8());
    f.start();
    f.tick();
    QCoreApplication::processEvents();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    QCoreApplication::processEvents();
    // The charge falls from tick to tick: no second bubble.
    f.platform().halvic.setValue("battery.charge", "80");
    f.tick();
    QCoreApplication::processEvents();
    QTEST(notifier.shown, "expected");
}

QTEST_GUILESS_MAIN(TestNotificationPresenter)
#include "tst_notificationpresenter.moc"
