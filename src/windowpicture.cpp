#include "windowpicture.h"

#include "wholefile.h"

#include <QBuffer>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>

QString WindowPicture::save(QQuickItem *item, const QString &path) const
{
    if (!item || !item->window())
        return QStringLiteral("the app shows no window");
    const QImage image = item->window()->grabWindow();
    if (image.isNull())
        return QStringLiteral("the window could not be grabbed");
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return QStringLiteral("the picture could not be made a PNG");
    const Outcome written = WholeFile::replace(path, png);
    return written.ok() ? QString() : written.why();
}
