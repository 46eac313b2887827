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
    void namesOutsideTheCatalogueHaveNoPicture_data();
    void namesOutsideTheCatalogueHaveNoPicture();
    void unreadablePictureIsTransparentAndLoggedOnce();
    void alarmBarSlicesLieInsideTheSource();
    void alarmBarTrackIsTheSameInEveryColumn_data();
    void alarmBarTrackIsTheSameInEveryColumn();
    void flowFramesMoveTowardsTheComputer_data();
    void flowFramesMoveTowardsTheComputer();
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

void TestArtCatalogue::catalogueAndResourcesMatch()
{
    QSet<QString> catalogued;
    for (const art::Picture& picture : art::catalogue()) {
        QVERIFY2(!catalogued.contains(picture.path), qPrintable(picture.path));
        catalogued.insert(picture.path);
    }
    QSet<QString> named;
    for (StatusLayer layer :
         {StatusLayer::Scene, StatusLayer::AC1, StatusLayer::AC2, StatusLayer::DC1, StatusLayer::DC2,
          StatusLayer::BL1, StatusLayer::BL2, StatusLayer::Disconnected})
        named.insert(art::statusLayer(layer));
    for (int frame = 1; frame <= art::FlowFrameCount; ++frame)
        named.insert(art::flowFrame(frame));
    for (art::StatusPicture picture : {art::StatusPicture::ImaSOk, art::StatusPicture::ImaSLow,
                                       art::StatusPicture::ImaAlarm, art::StatusPicture::ImaMain})
        named.insert(art::statusPicture(picture));
    named += {art::alarmPicture(), art::alarmBarSource(), art::splash(), art::applicationIcon()};
    QCOMPARE(named, catalogued);
    for (const char* tray : {"ImaMain", "ImaSOk", "ImaSLow"})
        QVERIFY2(catalogued.contains(art::trayPicture(QString::fromLatin1(tray))), tray);

    QSet<QString> resources;
    QDirIterator files(QStringLiteral(":/art"), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        resources.insert(files.next());
    QCOMPARE(resources, catalogued);
}

void TestArtCatalogue::namesOutsideTheCatalogueHaveNoPicture_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("flow frame 0") << art::flowFrame(0);
    QTest::newRow("flow frame 7") << art::flowFrame(art::FlowFrameCount + 1);
    QTest::newRow("alarm picture is no tray picture") << art::trayPicture(u"ImaAlarm");
    QTest::newRow("tray names are exact") << art::trayPicture(u"imamain");
    QTest::newRow("empty tray name") << art::trayPicture(u"");
}

void TestArtCatalogue::namesOutsideTheCatalogueHaveNoPicture()
{
    QFETCH(QString, path);
    QVERIFY(path.isEmpty());
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

void TestArtCatalogue::alarmBarSlicesLieInsideTheSource()
{
    namespace slice = art::alarmBar;
    const QRect source(QPoint(), QSvgRenderer(art::alarmBarSource()).defaultSize());
    const QRect slices[] = {slice::LeftEnd, slice::Track, slice::RightEnd, slice::Chunk};
    for (const QRect& rect : slices)
        QVERIFY2(source.contains(rect), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                       .arg(rect.x())
                                                       .arg(rect.y())
                                                       .arg(rect.width())
                                                       .arg(rect.height())));
    for (const QRect& rect : slices) {
        for (const QRect& other : slices)
            QVERIFY(&rect == &other || !rect.intersects(other));
    }
    // The bar's height holds the chunk drawn 4 px below its top.
    QVERIFY(4 + slice::Chunk.height() <= slice::LeftEnd.height());
}

void TestArtCatalogue::alarmBarTrackIsTheSameInEveryColumn_data()
{
    QTest::addColumn<qreal>("devicePixelRatio");
    QTest::newRow("1x") << 1.0;
    QTest::newRow("2x") << 2.0;
}

// The track is stretched over hundreds of pixels between the ends: only a track whose columns
// are all the same stretches without smearing and meets both ends without a seam.
void TestArtCatalogue::alarmBarTrackIsTheSameInEveryColumn()
{
    QFETCH(qreal, devicePixelRatio);
    namespace slice = art::alarmBar;
    const QImage source =
        art::pixmap(art::alarmBarSource(), art::AlarmBarSourceSize, devicePixelRatio).toImage();
    const auto column = [&](int x) {
        QList<QRgb> pixels;
        for (int y = 0; y < source.height(); ++y)
            pixels.append(source.pixel(x, y));
        return pixels;
    };
    const int ratio = int(devicePixelRatio);
    const QList<QRgb> track = column(slice::Track.left() * ratio);
    for (int x = slice::Track.left() * ratio; x <= (slice::Track.right() + 1) * ratio - 1; ++x)
        QCOMPARE(column(x), track);
}

void TestArtCatalogue::flowFramesMoveTowardsTheComputer_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("next");
    // The order the animation shows them in, including the step from the last back to the first.
    const int order[] = {6, 5, 4, 3, 2, 1, 6};
    for (int i = 0; i + 1 < int(std::size(order)); ++i)
        QTest::addRow("%d then %d", order[i], order[i + 1]) << order[i] << order[i + 1];
}

void TestArtCatalogue::flowFramesMoveTowardsTheComputer()
{
    QFETCH(int, frame);
    QFETCH(int, next);
    constexpr int step = 4;
    const QImage shown = compose({art::flowFrame(frame)}, art::StatusCanvas, 1);
    const QImage after = compose({art::flowFrame(next)}, art::StatusCanvas, 1);
    // Columns of each mains pipe where every chevron is drawn whole in both frames (they fade
    // in and out at the pipes' ends), and the rows of the pipe's bore.
    const int firstColumns[] = {118, 286};
    int drawn = 0;
    for (int first : firstColumns) {
        for (int x = first; x <= first + 28; ++x) {
            for (int y = 46; y < 58; ++y) {
                QCOMPARE(after.pixel(x + step, y), shown.pixel(x, y));
                drawn += qAlpha(shown.pixel(x, y)) > 0;
            }
        }
    }
    QVERIFY(drawn > 0);
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
