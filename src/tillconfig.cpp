#include "tillconfig.h"

#include "maintenancewindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <limits>

namespace {

using Kind = TillConfig::Kind;

// A count, or a duration with an optional unit (90s, 4m, 1h; without one,
// seconds, or minutes for a Minutes key), in seconds or minutes as the key
// has it; the least qint64 when it does not parse.
qint64 amount(const QString &text, Kind kind)
{
    static const QRegularExpression form(QStringLiteral("^(-?\\d{1,9})\\s*([smh]?)$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || (kind == Kind::Count && !m.captured(2).isEmpty()))
        return std::numeric_limits<qint64>::min();
    const qint64 n = m.captured(1).toLongLong();
    const QString unit = m.captured(2);
    const qint64 seconds = unit == QLatin1String("h") ? n * 3600
        : unit == QLatin1String("m")                  ? n * 60
        : unit == QLatin1String("s") || kind == Kind::Seconds ? n
                                                               : n * 60; // Minutes
    if (kind == Kind::Count)
        return n;
    return kind == Kind::Minutes ? (seconds % 60 ? std::numeric_limits<qint64>::min() : seconds / 60)
                                 : seconds;
}

// Whether the key stands at a value of its own when the file does not set
// it; a window and a time are simply not set then.
bool hasDefault(const TillConfig::Key &key)
{
    return key.kind != Kind::Windows && key.kind != Kind::TimeOfDay && key.least <= key.fallback;
}

const TillConfig::Key *keyNamed(const char *name)
{
    for (const TillConfig::Key &key : TillConfig::keys())
        if (qstrcmp(key.name, name) == 0)
            return &key;
    return nullptr;
}

QString unitOf(Kind kind)
{
    return kind == Kind::Seconds ? QStringLiteral(" seconds")
        : kind == Kind::Minutes  ? QStringLiteral(" minutes")
                                 : QString();
}

} // namespace

const QList<TillConfig::Key> &TillConfig::keys()
{
    static const QList<Key> all = {
        {"start.countdown", Kind::Seconds, 5, 0, 3600},
        {"restart.first", Kind::Seconds, 5, 1, 3600},
        {"restart.longest", Kind::Seconds, 300, 1, 86400},
        {"restart.longRun", Kind::Seconds, 600, 1, 86400},
        {"watch.readiness", Kind::Seconds, 180, 10, 3600},
        {"watch.interval", Kind::Seconds, 10, 1, 3600},
        {"watch.deadline", Kind::Seconds, 5, 1, 600},
        {"watch.misses", Kind::Count, 6, 1, 100},
        {"watch.page", Kind::Seconds, 3, 0, 600},
        {"trial.deaths", Kind::Count, 3, 1, 100},
        {"trial.window", Kind::Seconds, 180, 10, 3600},
        {"maintenance.window", Kind::Windows, 0, 0, 0},
        {"maintenance.idle", Kind::Minutes, 10, 1, 1440},
        {"maintenance.dailyRestart", Kind::TimeOfDay, 0, 0, 0},
    };
    return all;
}

QString TillConfig::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("varnolet.quindrel/varnolet.conf"));
}

TillConfig TillConfig::read(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return parse(QByteArray(), path);
    if (!file.open(QIODevice::ReadOnly)) {
        TillConfig config = parse(QByteArray(), path);
        config.found.append(
            {0, QStringLiteral("cannot be read (%1); every default used").arg(file.errorString())});
        return config;
    }
    return parse(file.read(kLargest + 1), path);
}

TillConfig TillConfig::parse(const QByteArray &text, const QString &path)
{
    TillConfig config;
    config.filePath = path;
    if (text.size() > kLargest) {
        config.found.append({0, QStringLiteral("is larger than %1 KiB; every default used")
                                    .arg(kLargest / 1024)});
        return config;
    }
    QMap<QString, int> seen; // key to the line that first set it
    QString section = QStringLiteral("General");
    bool knownSection = true;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            knownSection = false;
            for (const Key &key : keys())
                knownSection |= QLatin1String(key.name).startsWith(section + QLatin1Char('.'));
            if (!knownSection)
                config.found.append(
                    {i + 1, QStringLiteral("unknown section [%1]; its keys are ignored").arg(section)});
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            config.found.append(
                {i + 1, QStringLiteral("not a setting (key = value) nor a [section]; ignored")});
            continue;
        }
        if (knownSection)
            config.take(i + 1, section, line.left(equals).trimmed(), line.mid(equals + 1).trimmed(),
                        &seen);
    }
    return config;
}

void TillConfig::take(int line, const QString &section, const QString &key, const QString &given,
                      QMap<QString, int> *seen)
{
    const QString name = section + QLatin1Char('.') + key;
    const Key *known = nullptr;
    QString elsewhere;
    for (const Key &one : keys()) {
        if (name == QLatin1String(one.name))
            known = &one;
        else if (QLatin1String(one.name).endsWith(QLatin1Char('.') + key))
            elsewhere = QLatin1String(one.name).left(QLatin1String(one.name).indexOf('.'));
    }
    auto fault = [&](const QString &reason) { found.append({line, reason}); };
    if (!known) {
        return fault(elsewhere.isEmpty()
                         ? QStringLiteral("unknown key '%1'; ignored").arg(key)
                         : QStringLiteral("'%1' belongs in [%2]; ignored").arg(key, elsewhere));
    }
    if (seen->contains(name)) {
        set.remove(name);
        return fault(QStringLiteral("'%1' is set again (first on line %2); the default is used")
                         .arg(key, QString::number(seen->value(name))));
    }
    seen->insert(name, line);
    QString value = given;
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2).trimmed();
    const QString defaultUsed = hasDefault(*known)
        ? QStringLiteral("default %1 used").arg(known->fallback)
        : QStringLiteral("none used");
    if (known->kind == Kind::Windows || known->kind == Kind::TimeOfDay) {
        const QString why = known->kind == Kind::Windows ? MaintenanceWindow::fault(value)
            : MaintenanceWindow::minuteOfDay(value) < 0
            ? QStringLiteral("'%1' is not a time (HH:MM)").arg(value)
                                     : QString();
        if (!why.isEmpty())
            return fault(QStringLiteral("%1: %2; %3").arg(key, why, defaultUsed));
        set.insert(name, {0, value, line});
        return;
    }
    const qint64 n = amount(value, known->kind);
    if (n == std::numeric_limits<qint64>::min()) {
        return fault(QStringLiteral("%1: '%2' is not a %3; %4")
                         .arg(key, value,
                              known->kind == Kind::Count ? QStringLiteral("whole number")
                                                         : QStringLiteral("duration (90s, 4m, 1h)"),
                              defaultUsed));
    }
    if (n < known->least || n > known->most) {
        return fault(QStringLiteral("%1: '%2' is out of range (%3 to %4%5); %6")
                         .arg(key, value, QString::number(known->least), QString::number(known->most),
                              unitOf(known->kind), defaultUsed));
    }
    set.insert(name, {n, QString::number(n), line});
}

qint64 TillConfig::number(const char *name) const
{
    const auto it = set.constFind(QLatin1String(name));
    if (it != set.constEnd())
        return it->number;
    // A new installation's first start may take as long as any start.
    if (qstrcmp(name, "trial.window") == 0)
        return qMax<qint64>(180, number("watch.readiness"));
    const Key *key = keyNamed(name);
    return key ? key->fallback : 0;
}

QString TillConfig::text(const char *name) const
{
    const auto it = set.constFind(QLatin1String(name));
    if (it != set.constEnd())
        return it->text;
    const Key *key = keyNamed(name);
    return key && hasDefault(*key) ? QString::number(number(name)) : QStringLiteral("(none)");
}

QStringList TillConfig::changesFrom(const TillConfig &before) const
{
    QStringList changes;
    for (const Key &key : keys()) {
        if (text(key.name) != before.text(key.name))
            changes.append(QStringLiteral("%1 %2 → %3")
                               .arg(QLatin1String(key.name), before.text(key.name), text(key.name)));
    }
    return changes;
}

QStringList TillConfig::faultLines(const QString &file, const QString &atLine) const
{
    QStringList lines;
    for (const Fault &fault : found)
        lines.append(fault.line ? atLine.arg(file, QString::number(fault.line), fault.reason)
                                : QStringLiteral("%1: %2").arg(file, fault.reason));
    return lines;
}

QStringList TillConfig::showLines() const
{
    const QString name = QFileInfo(filePath).fileName();
    QStringList lines;
    for (const Key &key : keys()) {
        const int from = line(key.name);
        lines.append(QStringLiteral("%1 = %2  # %3")
                         .arg(QLatin1String(key.name), text(key.name),
                              from ? QStringLiteral("%1:%2").arg(name).arg(from)
                                   : QStringLiteral("default")));
    }
    return lines;
}
