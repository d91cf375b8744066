#include "tillhold.h"

#include "isotime.h"
#include "wholefile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

QString TillHold::path(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/hold.json");
}

TillHold TillHold::read(const QString &dataFolder, const QDateTime &now)
{
    QByteArray content;
    QString why;
    TillHold hold;
    if (WholeFile::read(path(dataFolder), 64 * 1024, &content, &why) != WholeFile::Read::Done)
        return hold;
    const QJsonObject object = QJsonDocument::fromJson(content).object();
    hold.reason = object.value("reason").toString();
    hold.since = QDateTime::fromString(object.value("since").toString(), Qt::ISODate);
    hold.until = QDateTime::fromString(object.value("until").toString(), Qt::ISODate);
    // A file someone damaged still holds the till: better late than in a sale.
    hold.set = !object.isEmpty() || !content.trimmed().isEmpty();
    if (!hold.set)
        return TillHold();
    if (hold.reason.isEmpty())
        hold.reason = QStringLiteral("no reason given");
    return hold.until.isValid() && hold.until <= now ? TillHold() : hold;
}

Outcome TillHold::write(const QString &dataFolder) const
{
    QJsonObject object{{"reason", reason}, {"since", isoTime(since)}};
    if (until.isValid())
        object.insert("until", isoTime(until));
    return WholeFile::replace(path(dataFolder), QJsonDocument(object).toJson());
}

Outcome TillHold::release(const QString &dataFolder)
{
    QFile file(path(dataFolder));
    if (file.exists() && !file.remove())
        return Outcome::failed(file.errorString());
    return Outcome::done();
}

bool TillHold::parseDuration(const QString &text, qint64 *seconds)
{
    static const QRegularExpression duration(QStringLiteral("^(\\d{1,6})([smhd])$"));
    const QRegularExpressionMatch m = duration.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    const qint64 n = m.captured(1).toLongLong();
    const QChar unit = m.captured(2).at(0);
    *seconds = unit == 's' ? n : unit == 'm' ? n * 60 : unit == 'h' ? n * 3600 : n * 86400;
    return true;
}

bool TillHold::parseUntil(const QString &text, const QDateTime &now, QDateTime *until)
{
    qint64 seconds = 0;
    if (parseDuration(text, &seconds)) {
        *until = now.addSecs(seconds);
        return true;
    }
    const QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm"));
    if (time.isValid()) {
        QDateTime at(now.date(), time, now.timeSpec());
        *until = at > now ? at : at.addDays(1);
        return true;
    }
    *until = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    return until->isValid() && *until > now;
}

QJsonValue TillHold::json() const
{
    if (!set)
        return QJsonValue();
    return QJsonObject{{"reason", reason},
                       {"since", since.isValid() ? QJsonValue(isoTime(since)) : QJsonValue()},
                       {"until", until.isValid() ? QJsonValue(isoTime(until)) : QJsonValue()}};
}

QString TillHold::words() const
{
    return until.isValid() ? QStringLiteral("%1 (until %2)")
                                 .arg(reason, until.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                           : reason;
}
