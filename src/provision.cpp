// varnolet-provision: sets up a device over a shell, with the same backend
// and the same outcome lines as the app's maintenance screen.
//
//   varnolet-provision [--verbose] check | extract-jdk | import ZIP | patch
//                      | log [--events] [N]
//                      | status [--json|--prom|--textfile PATH] [--label N=V]... [--from FILE]
//                      | pin set | pin clear | pin verify | facts
//                      | extract-jdk|update|site ... --json
//                      | bundle [-o FILE] [--since DURATION] | screenshot [-o FILE]
//                      | config check|show [FILE]
//                      | stop | start [--wait] | restart [--wait] [--timeout S]
//                      | hold [--reason TEXT] [--until TIME|DURATION] | release
//
// Run it from the folder that holds the app's `assets`, as the app runs.

#include "commandexecutor.h"
#include "installation.h"
#include "maintenancepin.h"
#include "outputlog.h"
#include "provisionask.h"
#include "provisionfleet.h"
#include "provisionsite.h"
#include "provisionsupport.h"
#include "provisionstatus.h"
#include "tillconfig.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

bool verbose = false;

// Debug lines only with --verbose; warnings always.
void printMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg || verbose)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// A line from standard input; on a terminal after `prompt`, not echoed.
QString askPin(const char *prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fprintf(stderr, "%s", prompt);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    static QTextStream in(stdin); // one for both questions: it reads ahead
    const QString line = in.readLine();
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fprintf(stderr, "\n");
    }
    return line;
}

int usage()
{
    std::fprintf(stderr,
                 "Usage: varnolet-provision [--verbose] COMMAND\n"
                 "Commands:\n"
                 "  check         tell whether a runnable installation is present\n"
                 "  extract-jdk [--if-missing]\n"
                 "                unpack the Java runtime shipped in ./assets; --if-missing:\n"
                 "                nothing when it is there and runs\n"
                 "  import ZIP [--if-changed]\n"
                 "                replace the CCO installation with the one in ZIP; --if-changed:\n"
                 "                nothing when the installation came from the same zip\n"
                 "  patch         copy the scripts and jars shipped in ./assets into it\n"
                 "  log [--events] [N]\n"
                 "                print the last N lines (100) of the app's output log, or of\n"
                 "                its own lines alone (what it did and saw, without CCO's output)\n"
                 "  update ZIP [--now] [--if-changed] [--timeout S]\n"
                 "                check ZIP as an import does and queue it: the app applies it at\n"
                 "                the till's next free moment (--now: at once); no app: at once\n"
                 "  site set PATH FILE, site remove PATH, site list\n"
                 "                the till's own files, laid over the installation at PATH after\n"
                 "                every import, rollback and patch\n"
                 "  rollback      put the previous installation back; the current one becomes the\n"
                 "                previous one\n"
                 "  pin set       ask twice for a maintenance PIN (4 to 12 digits) and set it\n"
                 "  pin clear     remove the maintenance PIN\n"
                 "  pin verify    read a PIN from standard input: exit 0 when it is the one set,\n"
                 "                1 when not; never counted as a wrong try\n"
                 "  facts         what is in place and where, as JSON, for a fleet's tool\n"
                 "  bundle [-o FILE] [--since DURATION]\n"
                 "                one tar.gz for support: status, configuration, installation,\n"
                 "                CCO's processes, the logs of the last DURATION (24h), a\n"
                 "                screenshot; card numbers masked, never the PIN file\n"
                 "  screenshot [-o FILE]\n"
                 "                a PNG of the running app's window as the till shows it now\n"
                 "  --json        after extract-jdk, update or site set|remove: one JSON line,\n"
                 "                {\"changed\": ..., \"ok\": ..., \"message\": ...}\n"
                 "  status [--json|--prom|--textfile PATH] [--label NAME=VALUE]... [--from FILE]\n"
                 "                how the till is: a plugin line and every field, the app's JSON,\n"
                 "                or for Prometheus, printed or written whole to PATH (a folder:\n"
                 "                PATH/varnolet.prom) with the labels given; --from: a status\n"
                 "                file fetched from a till (- for standard input); exit code 0\n"
                 "                ready, 1 on the way, 2 down, 3 unknown\n"
                 "  config check [FILE]\n"
                 "                check varnolet.conf (the app's, or FILE): one line per fault\n"
                 "  config show [FILE]\n"
                 "                every setting's value, and where it comes from\n"
                 "  stop          ask the app to stop CCO (SIGTERM, SIGKILL after 30 s):\n"
                 "                no restart follows; with no app running, CCO is stopped here\n"
                 "  start [--wait], restart [--wait]\n"
                 "                ask the app to start CCO, or to stop and start it; --wait:\n"
                 "                until its page is shown (exit 1 if it does not get ready)\n"
                 "                --timeout S: wait at most S seconds for the app's outcome (60)\n"
                 "  hold [--reason TEXT] [--until TIME|DURATION], release\n"
                 "                hold off what starts by itself (daily restart, updates); on disk;\n"
                 "                --until 18:00, 2026-12-24T18:00, 90m, 2h, 1d ends it by itself\n"
                 "Exit code 0 on success, 1 on failure, 2 on wrong usage.\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
    qInstallMessageHandler(printMessages);

    QStringList arguments = app.arguments().mid(1);
    verbose = arguments.removeAll(QStringLiteral("--verbose")) > 0;
    if (arguments.isEmpty())
        return usage();
    const QString command = arguments.takeFirst();

    QTextStream out(stdout);
    if (command == QLatin1String("config") && (arguments.size() == 1 || arguments.size() == 2)) {
        const QString verb = arguments.takeFirst();
        if (verb != QLatin1String("check") && verb != QLatin1String("show"))
            return usage();
        // No installed file is every default; a file named that is not there, a mistake.
        if (!arguments.isEmpty() && !QFileInfo::exists(arguments.first())) {
            out << arguments.first() << ": no such file\n";
            return 1;
        }
        const TillConfig config = TillConfig::read(arguments.value(0, TillConfig::defaultPath()));
        const QStringList lines = verb == QLatin1String("check") ? config.checkLines()
                                                                 : config.showLines();
        for (const QString &line : lines)
            out << line << '\n';
        return verb == QLatin1String("check") && !lines.isEmpty() ? 1 : 0;
    }
    if (command == QLatin1String("status")) {
        const int exitCode = statusCommand(arguments, Installation::dataFolder(), out);
        out.flush();
        return exitCode < 0 ? usage() + 1 : exitCode; // unknown, as the convention has it
    }
    if (command == QLatin1String("bundle") || command == QLatin1String("screenshot")) {
        const int done = command == QLatin1String("bundle") ? bundleCommand(arguments, out)
                                                            : screenshotCommand(arguments, out);
        return done == 2 ? usage() : done;
    }
    if (command == QLatin1String("facts") && arguments.isEmpty()) {
        ProvisionFleet::printFacts(out);
        return 0;
    }
    if (command == QLatin1String("pin") && arguments == QStringList{"verify"})
        return ProvisionFleet::verifyPin(askPin("Maintenance PIN: "), out);
    // With --json a verb that changes the till says in one line whether it
    // changed anything; its lines go into that line.
    const bool json = ProvisionFleet::takesJson(command)
        && arguments.removeAll(QStringLiteral("--json")) > 0;
    QString captured;
    QTextStream capturedLines(&captured);
    QTextStream &says = json ? capturedLines : out;
    CommandExecutor executor;
    // On a terminal a long operation shows its progress on one line that
    // updates in place; anywhere else nothing extra is printed.
    bool progressShown = false;
    auto clearProgress = [&] {
        if (progressShown)
            out << "\r\033[K" << Qt::flush;
        progressShown = false;
    };
    QObject::connect(&executor, &CommandExecutor::processOutputChanged, [&](const QString &line) {
        clearProgress();
        says << line << '\n' << Qt::flush;
    });
    if (::isatty(STDOUT_FILENO) && !json) {
        QObject::connect(&executor, &CommandExecutor::operationChanged, [&] {
            clearProgress();
            if (executor.operation().isEmpty())
                return;
            const int percent = qRound(qMax(0.0, executor.progress()) * 100);
            out << executor.operation() << QStringLiteral(": %1%").arg(percent) << Qt::flush;
            progressShown = true;
        });
    }

    const int asked = askTheApp(command, arguments, &executor, out);
    if (asked == 2)
        return usage();
    if (asked >= 0)
        return asked;
    const QString dataDir = Installation::dataFolder();
    if (command == QLatin1String("check") && arguments.isEmpty()) {
        QStringList lines;
        const bool ready = executor.checkInstallation(&lines);
        for (const QString &line : qAsConst(lines))
            out << line << '\n';
        return ready ? 0 : 1;
    }
    const QString before = json ? ProvisionFleet::fingerprint(command, arguments) : QString();
    auto outcome = [&](int exitCode) {
        if (exitCode == 2)
            return usage();
        if (json) {
            capturedLines.flush();
            out << ProvisionFleet::outcome(command, before,
                                           ProvisionFleet::fingerprint(command, arguments),
                                           exitCode == 0, captured.split('\n', Qt::SkipEmptyParts))
                << Qt::endl;
        }
        return exitCode;
    };
    const bool ifMissing = command == QLatin1String("extract-jdk")
        && arguments.removeAll(QStringLiteral("--if-missing")) > 0;
    if (command == QLatin1String("extract-jdk") && arguments.isEmpty()) {
        if (ifMissing && Installation::runtimeCanRun(Installation::runtimeFolder(dataDir))) {
            says << "The runtime is in place." << Qt::endl;
            return outcome(0);
        }
        executor.runExtractJDK();
        // Unpacked now or before: either way the runtime is in place.
        return outcome(QDir(Installation::runtimeFolder(dataDir)).exists() ? 0 : 1);
    }
    if (command == QLatin1String("update"))
        return outcome(update(arguments, &executor, says));
    if (command == QLatin1String("site"))
        return outcome(siteCommand(arguments, &executor, says));
    const bool ifChanged = command == QLatin1String("import")
        && arguments.removeAll(QStringLiteral("--if-changed")) > 0;
    if (command == QLatin1String("import") && arguments.size() == 1) {
        const QString zip = arguments.first().contains(QLatin1String("://"))
            ? arguments.first()
            : QFileInfo(arguments.first()).absoluteFilePath();
        // The same zip again changes nothing.
        if (ifChanged && unchanged(WholeFile::sha256(zip), out))
            return 0;
        return executor.extractCustomCCOZip(zip, Installation::ccoFolderName, true) ? 0 : 1;
    }
    if (command == QLatin1String("log") && arguments.size() <= 2) {
        const bool events = arguments.value(0) == QLatin1String("--events");
        if (events)
            arguments.removeFirst();
        bool number = true;
        const int count = arguments.isEmpty() ? 100 : arguments.first().toInt(&number);
        if (!number || count < 0 || arguments.size() > 1)
            return usage();
        for (const QString &line :
             OutputLog::tail(dataDir, count, events ? OutputLog::Events : OutputLog::Everything))
            out << line << '\n';
        return 0;
    }
    if (command == QLatin1String("rollback") && arguments.isEmpty())
        return executor.goBack() ? 0 : 1;
    if (command == QLatin1String("pin") && arguments.size() == 1) {
        MaintenancePin pin(MaintenancePin::defaultFolder());
        if (arguments.first() == QLatin1String("clear")) {
            const Outcome cleared = pin.clear();
            out << (cleared.ok() ? QStringLiteral("The maintenance PIN is cleared.")
                                 : QStringLiteral("The PIN could not be cleared: ") + cleared.why())
                << Qt::endl;
            return cleared.ok() ? 0 : 1;
        }
        if (arguments.first() != QLatin1String("set"))
            return usage();
        const QString first = askPin("New maintenance PIN (4 to 12 digits): ");
        const QString second = askPin("The same PIN again: ");
        Outcome set = Outcome::failed(QStringLiteral("the two PINs differ"));
        if (first == second)
            set = pin.set(first);
        out << (set.ok() ? QStringLiteral("The maintenance PIN is set.")
                         : QStringLiteral("Nothing was changed: ") + set.why() + QLatin1Char('.'))
            << Qt::endl;
        return set.ok() ? 0 : 1;
    }
    if (command == QLatin1String("patch") && arguments.isEmpty()) {
        if (!executor.patchInstallation()) {
            out << "The patch failed; the installed files were kept." << Qt::endl;
            return 1;
        }
        out << "Install patched" << Qt::endl;
        return 0;
    }
    return usage();
}
