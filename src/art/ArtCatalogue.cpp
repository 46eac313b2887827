#include "art/ArtCatalogue.h"

#include "base/Logging.h"

#include <QPainter>
#include <QPixmapCache>
#include <QSet>
#include <QSvgRenderer>

namespace brevant::art {

namespace {

// In the order of StatusLayer and StatusPicture.
constexpr QStringView StatusLayerNames[] = {u"status/scene", u"status/ac1",         u"status/ac2",
                                            u"status/dc1",   u"status/dc2",         u"status/bl1",
                                            u"status/bl2",   u"status/disconnected"};
constexpr QStringView StatusPictureNames[] = {u"status/ImaSOk", u"status/ImaSLow", u"status/ImaAlarm",
                                              u"status/ImaMain"};
constexpr QStringView TrayPictureNames[] = {u"ImaMain", u"ImaSOk", u"ImaSLow"};
constexpr QStringView AlarmPictureName = u"alarm/Image1";
constexpr QStringView AlarmBarSourceName = u"alarm/imgpgb1";
constexpr QStringView SplashName = u"app/splash";
constexpr QStringView ApplicationIconName = u"app/brevant";

// The keys of the renderings this catalogue put into the pixmap cache.
QSet<QString>& cachedKeys()
{
    static QSet<QString> keys;
    return keys;
}

QString resource(QStringView name)
{
    return QStringLiteral(":/art/") + name + QStringLiteral(".svg");
}

// The picture named at `index` of an enum's names; empty for a value outside the enum.
template <qsizetype Count>
QString resourceAt(const QStringView (&names)[Count], qsizetype index)
{
    return index >= 0 && index < Count ? resource(names[index]) : QString();
}

QString flowFrameName(int frame)
{
    return QStringLiteral("status/flow%1").arg(frame);
}

} // namespace

QString statusLayer(StatusLayer layer)
{
    return resourceAt(StatusLayerNames, qsizetype(layer));
}

QString flowFrame(int frame)
{
    if (frame < 1 || frame > FlowFrameCount)
        return {};
    return resource(flowFrameName(frame));
}

QString statusPicture(StatusPicture picture)
{
    return resourceAt(StatusPictureNames, qsizetype(picture));
}

QString trayPicture(QStringView name)
{
    for (QStringView tray : TrayPictureNames) {
        if (name == tray)
            return resource(QString(QStringLiteral("status/") + name));
    }
    return {};
}

QString alarmPicture()
{
    return resource(AlarmPictureName);
}

QString alarmBarSource()
{
    return resource(AlarmBarSourceName);
}

QString splash()
{
    return resource(SplashName);
}

QString applicationIcon()
{
    return resource(ApplicationIconName);
}

QList<Picture> catalogue()
{
    QList<Picture> pictures;
    const auto add = [&pictures](QStringView name, QSize size) {
        pictures.append({name.toString(), resource(name), size});
    };
    for (QStringView name : StatusLayerNames)
        add(name, StatusCanvas);
    for (int frame = 1; frame <= FlowFrameCount; ++frame)
        add(flowFrameName(frame), StatusCanvas);
    for (QStringView name : StatusPictureNames)
        add(name, StatusPictureSize);
    add(AlarmPictureName, AlarmPictureSize);
    add(AlarmBarSourceName, AlarmBarSourceSize);
    add(SplashName, SplashSize);
    add(ApplicationIconName, StatusPictureSize);
    return pictures;
}

QPixmap pixmap(const QString& path, QSize size, qreal devicePixelRatio)
{
    const QSize pixels = (QSizeF(size) * devicePixelRatio).toSize();
    const QString key = QStringLiteral("brevant.art:%1:%2x%3@%4")
                            .arg(path)
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(devicePixelRatio);
    QPixmap picture;
    if (QPixmapCache::find(key, &picture))
        return picture;

    picture = QPixmap(pixels);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    if (renderer.isValid()) {
        QPainter painter(&picture);
        renderer.render(&painter, QRectF(QPointF(), QSizeF(pixels)));
    } else {
        // Windows ask again on every repaint; one line per picture is enough.
        static QSet<QString> reported;
        if (!reported.contains(path)) {
            reported.insert(path);
            qCWarning(lcArt).noquote()
                << "Cannot read the picture" << path << "- nothing is drawn in its place";
        }
    }
    picture.setDevicePixelRatio(devicePixelRatio);
    if (QPixmapCache::insert(key, picture))
        cachedKeys().insert(key);
    return picture;
}

void releasePixmaps()
{
    for (const QString& key : std::as_const(cachedKeys()))
        QPixmapCache::remove(key);
    cachedKeys().clear();
}

} // namespace brevant::art
