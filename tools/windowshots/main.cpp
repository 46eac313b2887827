// Renders the Event Manager page's sub-pages and the alarm, confirmation and save-list windows to
// PNG files, without a display: each window runs on a whole engine with simulated devices in a
// scratch application directory, is put in the state the shot needs, and is grabbed.
//
//   windowshots <output directory> [shot ...]      (no shot: all of them)
//
// Shots: event-manager-on-battery, event-manager-low-battery, event-manager-os-event-log, alarm,
// question, save-list.

#include "config/FirstInstall.h"
#include "config/IniFile.h"
#include "config/SettingKeys.h"
#include "config/ui/EventManagerPage.h"
#include "controls/SkinControl.h"
#include "controls/SkinPalette.h"
#include "engine/MonitorEngine.h"
#include "platform/sim/SimulatedPlatform.h"
#include "shutdown/Confirmation.h"
#include "shutdown/ui/AlarmWindow.h"
#include "shutdown/ui/QuestionWindow.h"
#include "shutdown/ui/SaveListWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVBoxLayout>
#include <functional>
#include <map>

using namespace brevant;

namespace {

// The size of the main window's page area the Event Manager page is shown in.
constexpr QSize PageArea(620, 390);

// A monitor on simulated devices, started as the program starts, with the first-install settings.
class Scene
{
public:
    explicit Scene(const QList<QPair<IniKey, QString>>& settings = {})
        : m_paths(m_dir.path())
    {
        if (!writeFirstInstallSettings(m_paths).ok())
            qFatal("cannot write the settings in %s", qPrintable(m_dir.path()));
        for (const auto& [key, value] : settings)
            static_cast<void>(WriteIni(m_paths.settingsFile(), key, value));
        m_engine = std::make_unique<MonitorEngine>(m_paths, m_platform.adapters());
    }
    MonitorEngine& engine() { return *m_engine; }
    SimulatedPlatform& platform() { return m_platform; }
    const AppPaths& paths() const { return m_paths; }

private:
    QTemporaryDir m_dir;
    AppPaths m_paths;
    SimulatedPlatform m_platform;
    std::unique_ptr<MonitorEngine> m_engine;
};

// The window as the screen shows it: outside its rounded mask, transparent.
QImage grabbed(QWidget* window)
{
    const QImage content = window->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (window->mask().isEmpty())
        return content;
    QImage shaped(content.size(), QImage::Format_ARGB32_Premultiplied);
    shaped.setDevicePixelRatio(content.devicePixelRatio());
    shaped.fill(Qt::transparent);
    QPainter painter(&shaped);
    painter.setClipRegion(window->mask());
    painter.drawImage(0, 0, content);
    return shaped;
}

QImage eventManagerShot(const char* option)
{
    Scene scene({{key::ComboPort, QStringLiteral("1")}});
    QWidget area;
    area.setAutoFillBackground(true);
    QPalette colours = area.palette();
    colours.setColor(QPalette::Window, QColor(skinPalette::WindowSurface));
    area.setPalette(colours);
    area.resize(PageArea);
    MonitorEngine& engine = scene.engine();
    auto* page = new EventManagerPage({engine.settings(),
                                       engine.messages(),
                                       engine.serial(),
                                       [&engine] { engine.applyLinkChoice(); },
                                       {},
                                       {}},
                                      &area);
    (new QVBoxLayout(&area))->addWidget(page);
    area.show();
    page->EventMana();
    if (auto* choice = page->findChild<SkinControl*>(QLatin1String(option)))
        choice->activate();
    return grabbed(&area);
}

QImage alarmShot()
{
    Scene scene({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                 {key::Delaytime(EventSection::OnBattery), QStringLiteral("0")}});
    AlarmWindow window(scene.engine().alarm());
    scene.engine().loadMainWindow();
    scene.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    scene.platform().scheduler.advanceBy(2200 + 1000 + 2000); // shown, then 20 chunks
    return grabbed(&window);
}

QImage questionShot()
{
    Scene scene;
    QuestionWindow window(scene.engine().confirmation());
    scene.engine().loadMainWindow();
    scene.engine().confirmation().pressShutdownButton();
    return grabbed(&window);
}

QImage saveListShot()
{
    Scene scene({{key::SaveList, QStringLiteral("1")}, {key::CloseAppFlag, QStringLiteral("1")}});
    QFile list(scene.paths().closeAppList());
    if (list.open(QIODevice::WriteOnly))
        list.write(
            "[CloseApp]\nCount=3\n1=LibreOffice Writer\n2=Thunderbird\n3=GNU Image Manipulation Program\n"
            "[Date]\n1=2026-12-04\n2=2026-12-04\n3=2026-12-03\n"
            "[Time]\n1=17:42:10\n2=17:42:12\n3=09:15:03\n"
            "[SaveAppFileName]\n1=/home/ana/Documents/quarterly-report.odt\n"
            "2=/home/ana/.thunderbird/drafts/reply-to-supplier.eml\n3=/home/ana/Pictures/site-map.xcf\n");
    list.close();
    SaveListWindow window(scene.engine().saveList(), scene.engine().records());
    scene.engine().finishSplash();
    return grabbed(&window);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty()) {
        QTextStream(stderr) << "usage: windowshots <output directory> [shot ...]\n";
        return 2;
    }
    const std::map<QString, std::function<QImage()>> shots{
        {QStringLiteral("event-manager-on-battery"), [] { return eventManagerShot("OptOnBatt"); }},
        {QStringLiteral("event-manager-low-battery"), [] { return eventManagerShot("OptLowBatt"); }},
        {QStringLiteral("event-manager-os-event-log"), [] { return eventManagerShot("OptOsLog"); }},
        {QStringLiteral("alarm"), alarmShot},
        {QStringLiteral("question"), questionShot},
        {QStringLiteral("save-list"), saveListShot},
    };
    const QDir output(arguments.first());
    if (!output.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "cannot create " << output.path() << '\n';
        return 1;
    }
    QStringList wanted = arguments.mid(1);
    if (wanted.isEmpty()) {
        for (const auto& shot : shots)
            wanted.append(shot.first);
    }
    for (const QString& name : std::as_const(wanted)) {
        const auto shot = shots.find(name);
        if (shot == shots.end()) {
            QTextStream(stderr) << "no shot called " << name << '\n';
            return 2;
        }
        const QString path = output.filePath(name + u".png");
        if (!shot->second().save(path)) {
            QTextStream(stderr) << "cannot write " << path << '\n';
            return 1;
        }
        QTextStream(stdout) << path << '\n';
    }
    return 0;
}
