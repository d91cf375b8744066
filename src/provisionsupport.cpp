#include "provisionsupport.h"

#include "ccoprobe.h"
#include "installation.h"
#include "requestchannel.h"
#include "supportbundle.h"
#include "tillconfig.h"
#include "tillhold.h"
#include "wholefile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QTextStream>

namespace {

constexpr int kScreenshotWaitMs = 10000;
constexpr qint64 kLargestScreenshot = 64 * 1024 * 1024;

// "-o FILE" taken out of `arguments`; false when it is given without a file.
bool takeOutput(QStringList &arguments, QString *file)
{
    const int at = arguments.indexOf(QStringLiteral("-o"));
    if (at < 0)
        return true;
    if (at + 1 >= arguments.size())
        return false;
    *file = arguments.at(at + 1);
    arguments.erase(arguments.begin() + at, arguments.begin() + at + 2);
    return true;
}

// A fresh picture of the app's window, in the data folder; empty, with
// `line` saying why, when there is none.
QByteArray screenshot(QString *line, RequestChannel::Answer::Kind *kind)
{
    const QString data = Installation::dataFolder();
    const RequestChannel::Answer answer =
        RequestChannel::ask(data, QJsonObject{{"verb", "screenshot"}}, kScreenshotWaitMs);
    *kind = answer.kind;
    *line = answer.line;
    if (answer.kind != RequestChannel::Answer::Done)
        return QByteArray();
    QByteArray png;
    QString why;
    if (WholeFile::read(data + QLatin1String("/screenshot.png"), kLargestScreenshot, &png, &why)
        != WholeFile::Read::Done)
        *line = QStringLiteral("The screenshot cannot be read: %1.").arg(why);
    return png;
}

} // namespace

int bundleCommand(QStringList arguments, QTextStream &out)
{
    const QDateTime now = QDateTime::currentDateTime();
    QString file = SupportBundle::defaultName(now);
    if (!takeOutput(arguments, &file))
        return 2;
    qint64 seconds = 24 * 3600;
    const int at = arguments.indexOf(QStringLiteral("--since"));
    if (at >= 0) {
        if (at + 1 >= arguments.size() || !TillHold::parseDuration(arguments.at(at + 1), &seconds))
            return 2;
        arguments.erase(arguments.begin() + at, arguments.begin() + at + 2);
    }
    if (!arguments.isEmpty())
        return 2;
    QString line;
    RequestChannel::Answer::Kind kind = RequestChannel::Answer::NotRunning;
    const QByteArray png = screenshot(&line, &kind);
    const QDateTime since = now.addSecs(-seconds);
    const QList<SupportBundle::Member> members =
        SupportBundle::gather(Installation::dataFolder(), TillConfig::defaultPath(),
                              CcoProbe::kDefaultPort, since, png);
    const Outcome written = SupportBundle::write(file, members, now, since);
    if (!written.ok()) {
        out << "No bundle was written: " << written.why() << '.' << Qt::endl;
        return 1;
    }
    int masked = 0;
    for (const SupportBundle::Member &member : members)
        masked += qMax(0, member.masked);
    const QString noPicture = png.isEmpty()
        ? QStringLiteral("; no screenshot: %1")
              .arg(line.isEmpty() ? QStringLiteral("the app is not running") : line)
        : QString();
    out << QStringLiteral("Bundle written to %1 (%2 files; card numbers masked: %3%4).")
               .arg(QFileInfo(file).absoluteFilePath())
               .arg(members.size() + 1)
               .arg(masked)
               .arg(noPicture)
        << Qt::endl;
    return 0;
}

int screenshotCommand(QStringList arguments, QTextStream &out)
{
    QString file = QStringLiteral("varnolet-screenshot-%1.png")
                       .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    if (!takeOutput(arguments, &file) || !arguments.isEmpty())
        return 2;
    QString line;
    RequestChannel::Answer::Kind kind = RequestChannel::Answer::NotRunning;
    const QByteArray png = screenshot(&line, &kind);
    if (kind == RequestChannel::Answer::NotRunning) {
        out << "The app is not running." << Qt::endl;
        return 1;
    }
    if (png.isEmpty()) {
        out << (line.isEmpty() ? QStringLiteral("The app took no screenshot.") : line) << Qt::endl;
        return 1;
    }
    const Outcome written = WholeFile::replace(file, png);
    out << (written.ok() ? QStringLiteral("Screenshot written to %1.")
                               .arg(QFileInfo(file).absoluteFilePath())
                         : QStringLiteral("No screenshot was written: %1.").arg(written.why()))
        << Qt::endl;
    return written.ok() ? 0 : 1;
}
