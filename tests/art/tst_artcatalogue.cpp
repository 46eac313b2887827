#include "art/ArtCatalogue.h"

#include <QDirIterator>
#include <QSet>
#include <QSvgRenderer>
#include <QTest>

using namespace brevant;
using art::StatusLayer;

namespace {

bool hasVisiblePixel(const QImage& image)
{
    QImage blank(image.size(), QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied) != blank;
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
};

void TestArtCatalogue::everyPictureRendersAtItsSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qreal>("devicePixelRatio");
    for (const art::Picture& picture : art::catalogue()) {
        for (qreal ratio : {1.0, 2.0})
            QTest::addRow("%s@%gx", qPrintable(picture.name), ratio) << picture.path << picture.size << ratio;
    }
}

void TestArtCatalogue::everyPictureRendersAtItsSize()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(qreal, devicePixelRatio);
    QCOMPARE(QSvgRenderer(path).defaultSize(), size);
    const QPixmap picture = art::pixmap(path, size, devicePixelRatio);
    QCOMPARE(picture.size(), size * devicePixelRatio);
    QVERIFY(hasVisiblePixel(picture.toImage()));
}

// Every picture the program asks for is catalogued (and so rendered above), and every resource is.
void TestArtCatalogue::catalogueAndResourcesMatch()
{
    QSet<QString> catalogued;
    for (const art::Picture& picture : art::catalogue())
        catalogued.insert(picture.path);
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
    for (QDirIterator files(QStringLiteral(":/art"), QDir::Files, QDirIterator::Subdirectories);
         files.hasNext();)
        resources.insert(files.next());
    QCOMPARE(resources, catalogued);
}

void TestArtCatalogue::unreadablePictureIsTransparentAndLoggedOnce()
{
    const QString missing = QStringLiteral(":/art/status/missing.svg");
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("Cannot read the picture.*missing")));
    QVERIFY(!hasVisiblePixel(art::pixmap(missing, QSize(48, 48), 1).toImage()));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Cannot read the picture")));
    const QPixmap again = art::pixmap(missing, QSize(32, 32), 2);
    QCOMPARE(again.size(), QSize(64, 64));
    QVERIFY(!hasVisiblePixel(again.toImage()));
}

QTEST_MAIN(TestArtCatalogue)
#include "tst_artcatalogue.moc"
