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
    config = configOf(read);
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

TillConfig ConfigWatch::configOf(const QByteArray &looked) const
{
    // A file that cannot be read is said as the reading says it.
    return looked.startsWith('f') ? TillConfig::parse(looked.mid(1), path) : TillConfig::read(path);
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
    config = configOf(now);
    emit changed(before);
}
