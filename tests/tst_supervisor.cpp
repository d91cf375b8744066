// Supervision of CCO with the real backend, real bash stand-ins, real
// sockets and the delays shortened to milliseconds; and the output log.

#include "ccoprobe.h"
#include "ccosupervisor.h"
#include "commandexecutor.h"
#include "outputlog.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

namespace {

// CCO's port for these tests: the views' tests serve on the real one.
const quint16 kPort = 19992;

// Holds 127.0.0.1:kPort from a process of its own, as a CCO would.
const char *const kListener = "import socket, sys, time\n"
                              "s = socket.socket()\n"
                              "s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
                              "s.bind(('127.0.0.1', 19992)); s.listen()\n"
                              "time.sleep(60)\n";

} // namespace

class tst_Supervisor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void supervision_data();
    void supervision();
    void growingDelays_data();
    void growingDelays();
    void ccoStartedElsewhere();
    void logRotatesAndReads();

private:
    std::unique_ptr<DataHome> home;
    std::unique_ptr<CommandExecutor> executor;
    std::unique_ptr<CcoSupervisor> supervisor;
    // What the supervisor did, in order: its lines, and "show"/"hide".
    QStringList events;
    QProcess listener;

    void makeSupervisor()
    {
        executor.reset(new CommandExecutor);
        supervisor.reset(new CcoSupervisor);
        supervisor->setExecutor(executor.get());
        connect(supervisor.get(), &CcoSupervisor::message, this, [this](const QString &line) { events << line; });
        connect(supervisor.get(), &CcoSupervisor::showRequested, this, [this] { events << "show"; });
        connect(supervisor.get(), &CcoSupervisor::hideRequested, this, [this] { events << "hide"; });
    }
    int count(const QString &start) const
    {
        return int(std::count_if(events.begin(), events.end(),
                                 [&](const QString &event) { return event.startsWith(start); }));
    }
};

void tst_Supervisor::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
    CcoProbe::ccoPort = kPort;
    CcoSupervisor::Delays &delays = CcoSupervisor::defaultDelays;
    delays.show = 300;
    delays.watch = 100;
    delays.firstRestart = 100;
    delays.longestRestart = 400;
    delays.longRun = 60000;
    delays.readiness = 500;
}

void tst_Supervisor::init()
{
    home.reset(new DataHome);
    QVERIFY(home->makeRuntime());
    events.clear();
}

void tst_Supervisor::cleanup()
{
    supervisor.reset();
    executor.reset();
    listener.kill();
    listener.waitForFinished();
    home.reset();
}

void tst_Supervisor::supervision_data()
{
    QTest::addColumn<QByteArray>("script");
    // What happens after the start: "cancel" taps the restart away.
    QTest::addColumn<QString>("then");
    // The events that must come, in order, and how many starts of run.sh.
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("starts");
    QTest::addColumn<QString>("status");

    QTest::newRow("ready, then stopped from the page")
        << QByteArray("echo 'Web container started.'; sleep 0.6; echo 'STOP_CCO Bye'") << ""
        << QStringList{"show", "hide"} << 1 << "CCO has stopped";
    QTest::newRow("ready, then dead within the wait: no page")
        << QByteArray("echo 'Web container started.'; sleep 0.1; exit 1") << "cancel"
        << QStringList{"hide", "CCO stopped unexpectedly (exit code 1). Restarting in 1 seconds.",
                       "Restart cancelled."}
        << 1 << "CCO has stopped";
    QTest::newRow("stop line, then a second run that dies")
        << QByteArray("if [ -e ran ]; then rm ran; exit 4; fi; touch ran; echo 'STOP_CCO Bye'")
        << "start again"
        << QStringList{"hide", "hide", "CCO stopped unexpectedly (exit code 4)", "Restarting CCO (attempt 1).",
                       "hide"}
        << 3 << "CCO has stopped";
    QTest::newRow("never ready: the holder of the port named")
        << QByteArray("exec python3 -c \"") + kListener + "\"" << "wait"
        << QStringList{"CCO has not said \"Web container started.\" 0 seconds after its start; it keeps running.",
                       "127.0.0.1:19992 is held by pid ", "The runtime's bin/java exists: "}
        << 1 << "CCO is starting";
}

void tst_Supervisor::supervision()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, then);
    QFETCH(QStringList, expected);
    QFETCH(int, starts);
    QFETCH(QString, status);

    QVERIFY(writeScript(home->cco() + "/run.sh", "echo start >> starts\n" + script));
    makeSupervisor();
    supervisor->start();
    QCOMPARE(supervisor->status(), QStringLiteral("CCO is starting"));
    if (then == "cancel") {
        QTRY_VERIFY(supervisor->restartPending());
        supervisor->cancelRestart();
    } else if (then == "start again") {
        QTRY_COMPARE(supervisor->status(), QStringLiteral("CCO has stopped"));
        supervisor->start();
    }
    // Everything expected happens, in order, and nothing more comes.
    QTRY_VERIFY_WITH_TIMEOUT(events.size() >= expected.size(), 5000);
    QTest::qWait(then == "wait" ? 100 : 700);
    QCOMPARE(events.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(events[i].startsWith(expected[i]), qPrintable(events.join('\n')));
    QCOMPARE(readFile(home->cco() + "/starts").count("start"), starts);
    if (!status.isEmpty())
        QCOMPARE(supervisor->status(), status);
}

void tst_Supervisor::growingDelays_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QVector<int>>("delays");
    QTest::newRow("quick deaths: doubling up to the longest")
        << QByteArray("exit 3") << QVector<int>{100, 200, 400, 400};
    QTest::newRow("long runs: the count starts over") << QByteArray("sleep 0.4; exit 3")
                                                      << QVector<int>{100, 100, 100};
}

void tst_Supervisor::growingDelays()
{
    QFETCH(QByteArray, script);
    QFETCH(QVector<int>, delays);
    CcoSupervisor::defaultDelays.longRun = 300;
    QVERIFY(writeScript(home->cco() + "/run.sh", script));
    makeSupervisor();
    CcoSupervisor::defaultDelays.longRun = 60000;

    QElapsedTimer clock;
    clock.start();
    QVector<qint64> ended;
    QVector<qint64> restarted;
    connect(supervisor.get(), &CcoSupervisor::message, this, [&](const QString &line) {
        (line.startsWith("CCO stopped unexpectedly (exit code 3).") ? ended : restarted) << clock.elapsed();
        if (line.startsWith("CCO stopped"))
            QVERIFY(supervisor->status().startsWith("CCO stopped unexpectedly (exit code 3). Restarting in "));
    });
    supervisor->start();
    QTRY_VERIFY_WITH_TIMEOUT(restarted.size() >= delays.size(), 10000);
    for (int i = 0; i < delays.size(); ++i) {
        const qint64 waited = restarted[i] - ended[i];
        QVERIFY2(waited >= delays[i] && waited < delays[i] + 250,
                 qPrintable(QStringLiteral("restart %1 after %2 ms").arg(i).arg(waited)));
    }
}

void tst_Supervisor::ccoStartedElsewhere()
{
    QVERIFY(writeScript(home->cco() + "/run.sh", "touch started"));
    listener.start("python3", {"-c", kListener});
    QVERIFY2(listener.waitForStarted(), qPrintable(listener.errorString()));
    QTRY_VERIFY(!CcoProbe::listenersOn(kPort).isEmpty());
    makeSupervisor();

    supervisor->start();
    QVERIFY2(events.value(0).startsWith("CCO is already running (pid "), qPrintable(events.join('\n')));
    QVERIFY(events.value(0).contains("python3"));
    QTRY_COMPARE(events.mid(1), QStringList{"show"});
    QCOMPARE(supervisor->status(), QStringLiteral("CCO is running (started before this app)"));
    QTest::qWait(300);
    QCOMPARE(events.size(), 2); // watched, still answering

    listener.kill();
    QTRY_COMPARE(events.mid(2), (QStringList{"CCO no longer answers on 127.0.0.1:19992.", "hide"}));
    QVERIFY(!QFile::exists(home->cco() + "/started"));
}

void tst_Supervisor::logRotatesAndReads()
{
    const QByteArray line(99, 'x');
    {
        OutputLog log(home->appData());
        log.append("the app's own line");
        // 19 MB, in chunks of one and of two lines: three rotations.
        for (int i = 0; i < 100000; ++i)
            log.append(QString::number(2 * i % 10) + line + "\n" + QString::number((2 * i + 1) % 10) + line);
        log.append("last line\n");
        log.flush();
    }
    const QString logs = home->appData() + "/logs/";
    QCOMPARE(QDir(logs).entryList(QDir::Files),
             (QStringList{"varnolet.log", "varnolet.log.1", "varnolet.log.2", "varnolet.log.3"}));
    for (const QString &name : QDir(logs).entryList(QDir::Files))
        QVERIFY(QFileInfo(logs + name).size() <= OutputLog::kRotateBytes);

    // Lines are whole, stamped, and read back in order across the files.
    // About 40,000 lines a file: these span all four.
    const QStringList tail = OutputLog::tail(home->appData(), 140000);
    QCOMPARE(tail.size(), 140000);
    const QRegularExpression stamped("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (\\d)x{99}$");
    for (int i = 0; i + 2 < tail.size(); ++i) {
        const QRegularExpressionMatch match = stamped.match(tail[i]);
        QVERIFY2(match.hasMatch(), qPrintable(tail[i]));
        QCOMPARE((match.captured(1).toInt() + 1) % 10, stamped.match(tail[i + 1]).captured(1).toInt());
    }
    QVERIFY(tail.last().endsWith(" last line"));

    QProcess tool;
    tool.setWorkingDirectory(home->scratch("app"));
    tool.start(VARNOLET_PROVISION, {"log", "2"});
    QVERIFY(tool.waitForFinished());
    const QStringList printed = QString::fromUtf8(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(printed, tail.mid(tail.size() - 2));
}

QTEST_GUILESS_MAIN(tst_Supervisor)
#include "tst_supervisor.moc"
