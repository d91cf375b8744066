#include "maintenancewindow.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const QStringList kDays = {QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"),
                           QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat"),
                           QStringLiteral("Sun")};

int dayIndex(const QString &name)
{
    for (int day = 0; day < kDays.size(); ++day)
        if (kDays[day].compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return day;
    return -1;
}

// "Mon-Fri", "Sat,Sun", "Mon,Wed-Fri", "Fri-Mon" as a bit a day (bit 0
// Monday); -1 when a part names no day.
int daysOf(const QString &text)
{
    int days = 0;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        const int first = dayIndex(ends.first());
        const int last = dayIndex(ends.last());
        if (ends.size() > 2 || first < 0 || last < 0)
            return -1;
        for (int day = first;; day = (day + 1) % 7) {
            days |= 1 << day;
            if (day == last)
                break;
        }
    }
    return days;
}

} // namespace

int MaintenanceWindow::minuteOfDay(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([01]?\\d|2[0-3]):([0-5]\\d)$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    return m.hasMatch() ? m.captured(1).toInt() * 60 + m.captured(2).toInt() : -1;
}

QString MaintenanceWindow::fault(const QString &text)
{
    for (const QString &one : text.split(QLatin1Char(';'))) {
        QString span = one.trimmed();
        const int space = span.lastIndexOf(QLatin1Char(' '));
        if (space > 0) {
            if (daysOf(span.left(space)) < 0)
                return QStringLiteral("'%1' are not days (Mon-Fri, Sat,Sun)").arg(span.left(space));
            span = span.mid(space + 1);
        }
        const QStringList ends = span.split(QLatin1Char('-'));
        if (ends.size() != 2 || minuteOfDay(ends[0]) < 0 || minuteOfDay(ends[1]) < 0)
            return QStringLiteral("'%1' is not a window (HH:MM-HH:MM)").arg(span);
        if (minuteOfDay(ends[0]) == minuteOfDay(ends[1]))
            return QStringLiteral("'%1' is a window of no length").arg(span);
    }
    return QString();
}

MaintenanceWindow MaintenanceWindow::parse(const QString &text)
{
    MaintenanceWindow window;
    if (text.trimmed().isEmpty() || !fault(text).isEmpty())
        return window;
    for (const QString &one : text.split(QLatin1Char(';'))) {
        QString times = one.trimmed();
        Span span;
        const int space = times.lastIndexOf(QLatin1Char(' '));
        if (space > 0) {
            span.days = daysOf(times.left(space));
            times = times.mid(space + 1);
        }
        span.start = minuteOfDay(times.section(QLatin1Char('-'), 0, 0));
        span.end = minuteOfDay(times.section(QLatin1Char('-'), 1, 1));
        window.spans.append(span);
    }
    return window;
}

bool MaintenanceWindow::isOpen(const QDateTime &now) const
{
    if (spans.isEmpty())
        return true;
    const int minute = now.time().hour() * 60 + now.time().minute();
    const int today = now.date().dayOfWeek() - 1; // 0 Monday
    const int yesterday = (today + 6) % 7;
    for (const Span &span : spans) {
        const bool startedToday = span.days & (1 << today);
        if (span.start < span.end) {
            if (startedToday && minute >= span.start && minute < span.end)
                return true;
        } else if ((startedToday && minute >= span.start)
                   || ((span.days & (1 << yesterday)) && minute < span.end)) {
            return true;
        }
    }
    return false;
}

MaintenanceWindow::Freedom MaintenanceWindow::freedom(const QDateTime &now,
                                                      const QString &holdReason, bool held,
                                                      qint64 idleMs, int idleMinutes) const
{
    if (held)
        return {false, QStringLiteral("held: %1").arg(holdReason)};
    if (!isOpen(now))
        return {false, QStringLiteral("outside the window")};
    if (idleMs < qint64(idleMinutes) * 60000)
        return {false, QStringLiteral("in use")};
    return {};
}
