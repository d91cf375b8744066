#include "configwatch.h"

#include <QFile>

namespace {

constexpr int kLookMs = 500;

} // namespace

ConfigWatch::ConfigWatch(const QString &path, QObject *parent)
    : QObject(parent)
    , path(path)
    , read(look())
    , seen(read)
{
    config = read.startsWith('f') ? TillConfig::parse(read.mid(1), path) : TillConfig::read(path);
    connect(&timer, &QTimer::timeout, this, &ConfigWatch::compare);
    timer.start(kLookMs);
}

// The file's text after "f"; "m" when there is none, "u" and why when it
// cannot be read.
QByteArray ConfigWatch::look() const
{
    QFile file(path);
    if (!file.exists())
        return QByteArrayLiteral("m");
    if (!file.open(QIODevice::ReadOnly))
        return "u" + file.errorString().toUtf8();
    return 'f' + file.read(TillConfig::kLargest + 1);
}

void ConfigWatch::compare()
{
    const QByteArray now = look();
    const bool still = now == seen;
    seen = now;
    if (!still || now == read)
        return;
    read = now;
    const TillConfig before = config;
    config = now.startsWith('f') ? TillConfig::parse(now.mid(1), path) : TillConfig::read(path);
    emit changed(before);
}
