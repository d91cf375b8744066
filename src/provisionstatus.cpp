#include "provisionstatus.h"

#include "statusfile.h"
#include "statusmetrics.h"
#include "statusreport.h"
#include "wholefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

#include <cstdio>

namespace {

// The labels the metrics give themselves; the fleet's may not repeat one.
const QStringList kOwnLabels{"state", "reason", "version", "sha256"};

struct Options
{
    QString format; // "", "--json" or "--prom"
    QString textfile;
    QString from;
    StatusMetrics::Labels labels;
};

bool parse(QStringList arguments, Options *options)
{
    while (!arguments.isEmpty()) {
        const QString option = arguments.takeFirst();
        if (option == QLatin1String("--json") || option == QLatin1String("--prom")) {
            if (!options->format.isEmpty())
                return false;
            options->format = option;
            continue;
        }
        if (arguments.isEmpty())
            return false;
        const QString value = arguments.takeFirst();
        if (option == QLatin1String("--textfile") && options->textfile.isEmpty())
            options->textfile = value;
        else if (option == QLatin1String("--from") && options->from.isEmpty())
            options->from = value;
        else if (option == QLatin1String("--label")) {
            const int equals = value.indexOf(QLatin1Char('='));
            const QString name = value.left(equals);
            if (equals < 0 || !StatusMetrics::validLabelName(name) || kOwnLabels.contains(name))
                return false;
            for (const auto &label : qAsConst(options->labels)) {
                if (label.first == name)
                    return false;
            }
            options->labels.append({name, value.mid(equals + 1)});
        } else
            return false;
    }
    // A textfile holds the Prometheus text, and only that.
    if (!options->textfile.isEmpty() && options->format == QLatin1String("--json"))
        return false;
    // Labels are for the Prometheus text alone.
    return options->labels.isEmpty() || !options->textfile.isEmpty()
        || options->format == QLatin1String("--prom");
}

// Standard input, as large as a status may be.
bool readInput(QJsonObject *status, QString *why)
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        *why = in.errorString();
        return false;
    }
    const QByteArray content = in.read(StatusReport::kLargestBytes + 1);
    if (content.size() > StatusReport::kLargestBytes) {
        *why = QStringLiteral("larger than %1 bytes").arg(StatusReport::kLargestBytes);
        return false;
    }
    QJsonParseError error{};
    *status = QJsonDocument::fromJson(content, &error).object();
    if (content.trimmed().isEmpty())
        *why = QStringLiteral("it is empty");
    else if (error.error != QJsonParseError::NoError)
        *why = error.errorString();
    return why->isEmpty();
}

// The textfile collector reads files that end in ".prom": PATH itself when
// it names one, else varnolet.prom in the folder PATH.
QString textfilePath(const QString &path)
{
    return path.endsWith(QLatin1String(".prom")) && !QFileInfo(path).isDir()
        ? path
        : QDir(path).filePath(QStringLiteral("varnolet.prom"));
}

} // namespace

int statusCommand(QStringList arguments, const QString &dataFolder, QTextStream &out)
{
    Options options;
    if (!parse(arguments, &options))
        return -1;
    const QString path = options.from.isEmpty() ? StatusFile::path(dataFolder) : options.from;
    QJsonObject status;
    QString why;
    const bool read = options.from == QLatin1String("-")
        ? readInput(&status, &why)
        : StatusReport::read(path, &status, &why);
    const QDateTime now = QDateTime::currentDateTime();
    // A machine still reads that the till is down, and why.
    const QString reason = !read && !options.from.isEmpty()
        ? QStringLiteral("the status from %1 cannot be read (%2)").arg(path, why)
        : !read && !QFileInfo::exists(path)
        ? QStringLiteral("no status file: the app has not run here (%1)").arg(path)
        : QStringLiteral("the status file cannot be read (%1: %2)").arg(path, why);
    const int exitCode = read ? StatusReport::verdict(status, now).exitCode : 3;
    if (!options.textfile.isEmpty()) {
        const QString file = textfilePath(options.textfile);
        // A folder that is not there is a mistake, not one to make.
        if (!QFileInfo(QFileInfo(file).absolutePath()).isDir()) {
            std::fprintf(stderr, "The metrics were not written: %s is no folder.\n",
                         qPrintable(QFileInfo(file).absolutePath()));
            return 3;
        }
        const QString text = read ? StatusMetrics::text(status, now, options.labels)
                                  : StatusMetrics::unreadable(reason, options.labels);
        const Outcome written =
            WholeFile::replace(file, text.toUtf8(),
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                   | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        if (!written.ok()) {
            std::fprintf(stderr, "The metrics were not written: %s.\n", qPrintable(written.why()));
            return 3;
        }
        return exitCode;
    }
    if (options.format == QLatin1String("--prom"))
        out << (read ? StatusMetrics::text(status, now, options.labels)
                     : StatusMetrics::unreadable(reason, options.labels));
    else if (options.format == QLatin1String("--json"))
        out << QJsonDocument(read ? status
                                  : QJsonObject{{"state", "unknown"}, {"reason", reason}})
                   .toJson();
    else
        out << (read ? StatusReport::forPerson(status, now)
                     : StatusReport::unreadablePluginLine(reason) + QLatin1Char('\n'));
    return exitCode;
}
