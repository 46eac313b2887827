#include "MachineVerdict.h"

#include "config/AppPaths.h"
#include "config/Settings.h"
#include "platform/SystemPowerOff.h"
#include "platform/SystemPowerOffFactory.h"
#include "platform/qt/QtScheduler.h"
#include "records/RecordStore.h"
#include "shutdown/Readiness.h"
#include "shutdown/ReadinessChecks.h"

#include <QEventLoop>
#include <QTimer>

namespace brevant::drill {

namespace {
// logind answers within its own 5 s limit; a little more for the chain of questions.
constexpr int VerdictWaitMs = 8000;
} // namespace

QString machineVerdict(const AppPaths& copy)
{
    const AppPaths user = AppPaths::fromEnvironment();
    Settings settings(user.settingsFile());
    RecordStore records(copy.eventDatabase(), copy.closeAppDatabase());
    static_cast<void>(records.open()); // a copy that cannot be opened only loses the check's own record
    QtScheduler scheduler;
    const std::unique_ptr<SystemPowerOff> powerOff = createSystemPowerOff();
    Readiness readiness(scheduler, settings, records);
    readiness.addCheck(readiness::systemPowersOff(*powerOff));
    readiness.addCheck(readiness::closeProgramRuns(settings, user.closeProgram()));
    readiness.addCheck(readiness::settingsWritable(user.settingsFile()));
    readiness.addCheck(readiness::systemFileReadable());

    QEventLoop loop;
    QObject::connect(&readiness, &Readiness::verdictChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(VerdictWaitMs, &loop, &QEventLoop::quit);
    readiness.start();
    if (!readiness.known())
        loop.exec();
    const QString prefix = QStringLiteral("On this computer now, with your settings (the UPS not asked): ");
    if (!readiness.known())
        return prefix + QStringLiteral("the check did not finish (the system did not answer in time).");
    return prefix + readiness.verdict().text;
}

} // namespace brevant::drill
