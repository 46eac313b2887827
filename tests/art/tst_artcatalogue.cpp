#include "art/ArtCatalogue.h"

#include <QDirIterator>
#include <QLoggingCategory>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <QTest>

using namespace brevant;
using art::StatusLayer;

namespace {

// The pictures drawn one over another at the same origin, as the Status page stacks them.
QImage compose(const QStringList& paths, QSize size, qreal devicePixelRatio)
{
    QImage image((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (const QString& path : paths)
        painter.drawPixmap(0, 0, art::pixmap(path, size, devicePixelRatio));
    return image;
}

bool hasVisiblePixel(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) != 0)
                return true;
        }
    }
    return false;
}

// The share of pixels whose lightness differs by more than a tenth between two pictures of one
// size on the window's surface: what is left to tell them apart without colour.
double lightnessDifference(const QStringList& first, const QStringList& second, QSize size)
{
    const auto grey = [size](const QStringList& paths) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(QColor(0xF5, 0xF7, 0xFA));
        QPainter painter(&image);
        painter.drawImage(0, 0, compose(paths, size, 1));
        painter.end();
        return image.convertToFormat(QImage::Format_Grayscale8);
    };
    const QImage a = grey(first);
    const QImage b = grey(second);
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (qAbs(a.pixelColor(x, y).value() - b.pixelColor(x, y).value()) > 25)
                ++differing;
        }
    }
    return double(differing) / (a.width() * a.height());
}

} // namespace

class TestArtCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void everyPictureRendersAtItsSize_data();
    void everyPictureRendersAtItsSize();
    void catalogueAndResourcesMatch();
    void unreadablePictureIsTransparentAndLoggedOnce();
    void disconnectedHidesEverythingOnLine_data();
    void disconnectedHidesEverythingOnLine();
    void statesDifferWithoutColour_data();
    void statesDifferWithoutColour();
};

void TestArtCatalogue::everyPictureRendersAtItsSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qreal>("devicePixelRatio");
    for (const art::Picture& picture : art::catalogue()) {
        for (qreal ratio : {1.0, 2.0}) {
            QTest::addRow("%s@%gx", qPrintable(picture.name), ratio) << picture.path << picture.size << ratio;
        }
    }
}

void TestArtCatalogue::everyPictureRendersAtItsSize()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(qreal, devicePixelRatio);

    QSvgRenderer renderer(path);
    QVERIFY2(renderer.isValid(), qPrintable(path));
    QCOMPARE(renderer.defaultSize(), size);
    const QPixmap picture = art::pixmap(path, size, devicePixelRatio);
    QCOMPARE(picture.size(), size * devicePixelRatio);
    QCOMPARE(picture.devicePixelRatio(), devicePixelRatio);
    QVERIFY(hasVisiblePixel(picture.toImage()));
}

// Every picture the program asks for is catalogued (and so rendered above), and every resource is.
void TestArtCatalogue::catalogueAndResourcesMatch()
{
    QSet<QString> catalogued;
    for (const art::Picture& picture : art::catalogue())
        catalogued.insert(picture.path);
    QCOMPARE(catalogued.size(), art::catalogue().size());
    QStringList named{art::alarmPicture(),         art::alarmBarSource(),        art::splash(),
                      art::applicationIcon(),      art::trayPicture(u"ImaMain"), art::trayPicture(u"ImaSOk"),
                      art::trayPicture(u"ImaSLow")};
    for (int layer = int(StatusLayer::Scene); layer <= int(StatusLayer::Disconnected); ++layer)
        named.append(art::statusLayer(StatusLayer(layer)));
    for (int frame = 1; frame <= art::FlowFrameCount; ++frame)
        named.append(art::flowFrame(frame));
    for (auto picture : {art::StatusPicture::ImaSOk, art::StatusPicture::ImaSLow,
                         art::StatusPicture::ImaAlarm, art::StatusPicture::ImaMain})
        named.append(art::statusPicture(picture));
    for (const QString& path : named)
        QVERIFY2(catalogued.contains(path), qPrintable(path));

    QSet<QString> resources;
    QDirIterator files(QStringLiteral(":/art"), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        resources.insert(files.next());
    QCOMPARE(resources, catalogued);
}

void TestArtCatalogue::unreadablePictureIsTransparentAndLoggedOnce()
{
    const QString missing = QStringLiteral(":/art/status/missing.svg");
    QLoggingCategory::setFilterRules(QStringLiteral("qt.svg.warning=false")); // the SVG reader's own line
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("Cannot read the picture.*missing")));
    const QPixmap first = art::pixmap(missing, QSize(48, 48), 1);
    QCOMPARE(first.size(), QSize(48, 48));
    QVERIFY(!hasVisiblePixel(first.toImage()));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Cannot read the picture")));
    const QPixmap again = art::pixmap(missing, QSize(32, 32), 2);
    QCOMPARE(again.size(), QSize(64, 64));
    QVERIFY(!hasVisiblePixel(again.toImage()));
    QLoggingCategory::setFilterRules(QString());
}

void TestArtCatalogue::disconnectedHidesEverythingOnLine_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<qreal>("devicePixelRatio");
    for (int frame = 1; frame <= art::FlowFrameCount; ++frame) {
        for (qreal ratio : {1.0, 1.5, 2.0})
            QTest::addRow("frame %d@%gx", frame, ratio) << frame << ratio;
    }
}

// The lost-link look keeps ImageAC1 and the flow picture under it: none of it may show.
void TestArtCatalogue::disconnectedHidesEverythingOnLine()
{
    QFETCH(int, frame);
    QFETCH(qreal, devicePixelRatio);
    const QString scene = art::statusLayer(StatusLayer::Scene);
    const QString disconnected = art::statusLayer(StatusLayer::Disconnected);
    const QImage onLineUnder =
        compose({scene, art::statusLayer(StatusLayer::AC2), art::statusLayer(StatusLayer::AC1),
                 art::flowFrame(frame), disconnected},
                art::StatusCanvas, devicePixelRatio);
    const QImage nothingUnder = compose({scene, disconnected}, art::StatusCanvas, devicePixelRatio);
    QCOMPARE(onLineUnder, nothingUnder);
}

void TestArtCatalogue::statesDifferWithoutColour_data()
{
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("least");
    const QSize tray(16, 16);
    const QStringList main = {art::trayPicture(u"ImaMain")};
    const QStringList onBattery = {art::trayPicture(u"ImaSOk")};
    const QStringList low = {art::trayPicture(u"ImaSLow")};
    QTest::newRow("tray: main, on battery") << main << onBattery << tray << 0.15;
    QTest::newRow("tray: main, battery low") << main << low << tray << 0.15;
    QTest::newRow("tray: on battery, battery low") << onBattery << low << tray << 0.15;

    const QSize canvas = art::StatusCanvas;
    const QString scene = art::statusLayer(StatusLayer::Scene);
    const QStringList onLine = {scene, art::statusLayer(StatusLayer::AC1), art::flowFrame(1)};
    const QStringList onBatteryPage = {scene, art::statusLayer(StatusLayer::DC2)};
    const QStringList lowPage = {scene, art::statusLayer(StatusLayer::BL2)};
    const QStringList linkLost = onLine + QStringList{art::statusLayer(StatusLayer::Disconnected)};
    QTest::newRow("page: on line, on battery") << onLine << onBatteryPage << canvas << 0.015;
    QTest::newRow("page: on line, battery low") << onLine << lowPage << canvas << 0.015;
    QTest::newRow("page: on battery, battery low") << onBatteryPage << lowPage << canvas << 0.003;
    QTest::newRow("page: on line, link lost") << onLine << linkLost << canvas << 0.03;
}

void TestArtCatalogue::statesDifferWithoutColour()
{
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(QSize, size);
    QFETCH(double, least);
    const double difference = lightnessDifference(first, second, size);
    QVERIFY2(difference >= least, qPrintable(QString::number(difference)));
}

QTEST_MAIN(TestArtCatalogue)
#include "tst_artcatalogue.moc"
