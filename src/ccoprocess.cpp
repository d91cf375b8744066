#include "ccoprocess.h"

#include <QTextCodec>

namespace {

std::unique_ptr<QTextDecoder> makeUtf8Decoder()
{
    return std::unique_ptr<QTextDecoder>(QTextCodec::codecForName("UTF-8")->makeDecoder());
}

// Whether `marker` occurs in `text` ending after its first `seenLength`
// characters: an occurrence not already found in an earlier chunk.
bool containsNewOccurrence(const QString &text, const QString &marker, int seenLength)
{
    return text.indexOf(marker, qMax(0, seenLength - marker.size() + 1)) >= 0;
}

} // namespace

const QString MarkerScanner::readinessLine = QStringLiteral("Web container started.");
const QString MarkerScanner::stopLine = QStringLiteral("STOP_CCO Bye");

MarkerScanner::Found MarkerScanner::scan(const QString &chunk)
{
    const QString window = tail + chunk;
    const int seen = tail.size();
    Found found;
    found.ready = containsNewOccurrence(window, readinessLine, seen);
    found.stopped = containsNewOccurrence(window, stopLine, seen);
    tail = window.right(qMax(readinessLine.size(), stopLine.size()) - 1);
    return found;
}

CcoProcess::CcoProcess(QObject *parent)
    : QObject(parent)
    , stdoutDecoder(makeUtf8Decoder())
    , stderrDecoder(makeUtf8Decoder())
{
    connect(&process, &QProcess::readyReadStandardOutput, this,
            [this] { read(QProcess::StandardOutput); });
    connect(&process, &QProcess::readyReadStandardError, this,
            [this] { read(QProcess::StandardError); });
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus exitStatus) {
                emit ended(exitCode, exitStatus, process.errorString(), stopLineSeen);
            });
}

CcoProcess::~CcoProcess()
{
    // Nothing of this object, nor of its owner, is there to hear of it.
    process.disconnect();
}

Outcome CcoProcess::start(const QString &folder, const QString &javaHome, const QString &command,
                          const QStringList &values)
{
    // $1 is the runtime folder, $2... the values. bash hands them to the
    // script as they are: they are never parsed as shell code.
    QStringList arguments{QStringLiteral("-c"), QLatin1String("JAVA_HOME=\"$1\" exec ") + command,
                          QStringLiteral("varnolet"), javaHome};
    arguments += values;
    stdoutDecoder = makeUtf8Decoder();
    stderrDecoder = makeUtf8Decoder();
    scanner.reset();
    stopLineSeen = false;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("/bin/bash"), arguments);
    if (!process.waitForStarted(30000))
        return Outcome::failed(process.errorString());
    return Outcome::done();
}

void CcoProcess::read(QProcess::ProcessChannel channel)
{
    const bool standardOutput = channel == QProcess::StandardOutput;
    QString text = standardOutput ? stdoutDecoder->toUnicode(process.readAllStandardOutput())
                                  : stderrDecoder->toUnicode(process.readAllStandardError());
    text.remove(QChar(0));
    // The markers count on standard output only.
    const MarkerScanner::Found found = standardOutput ? scanner.scan(text) : MarkerScanner::Found();
    if (found.stopped)
        stopLineSeen = true;
    emit output(text);
    if (found.ready)
        emit ready();
    if (found.stopped)
        emit stopLineFound();
}
