// Supervision of CCO with the real backend, real bash stand-ins, real
// sockets and the delays shortened to milliseconds; and the output log.

#include "ccoprobe.h"
#include "ccosupervisor.h"
#include "commandexecutor.h"
#include "processtree.h"
#include "statusfile.h"
#include "statusreport.h"
#include "tillconfig.h"
#include "testsupport.h"
#include "tillcounters.h"
#include "tillhold.h"

#include <QElapsedTimer>

#include <QSysInfo>
#include <QtTest>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

// Serves HTTP on 127.0.0.1:19992, CCO's port for these tests, from a process of its own.
static const char *const kListener = "import http.server as h\n"
                                     "class A(h.BaseHTTPRequestHandler):\n"
                                     "    def do_GET(self): self.send_response(200); self.end_headers()\n"
                                     "    def log_message(self, *a): pass\n"
                                     "h.HTTPServer(('127.0.0.1', 19992), A).serve_forever()\n";

class tst_Supervisor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
    }
    void init()
    {
        home.reset(new DataHome);
        QVERIFY(home->makeRuntime());
        events.clear();
        times.clear();
        clock.start();
        // Readiness waits long enough for python to listen on a busy machine.
        timing = {100, 300, 100, 300, 100, 400, 60000, 1500, 300, {1000, 500, 6, 100, 300}, 5, 3, 1500};
    }
    void cleanup();
    void machine_data();
    void machine();
    void supervision_data();
    void supervision();
    void growingDelays_data();
    void growingDelays();
    void notStartedHere_data();
    void notStartedHere();
    void restartWaits_data();
    void restartWaits();
    void hungCcoIsDumpedStoppedAndRestarted();
    void pageLoadTriedAgain();
    void personStartBeginsDelaysOver();
    void trial_data();
    void trial();
    void configuration();
    void askedFromOutside_data();
    void askedFromOutside();
    void holdAndDailyRestart();
    void pushedUpdate();
    void staysAfterOperations_data();
    void staysAfterOperations();

private:
    std::unique_ptr<DataHome> home;
    std::unique_ptr<CommandExecutor> executor;
    std::unique_ptr<CcoSupervisor> supervisor;
    // CCO's port and the supervision's delays, shortened, for the supervisor
    // a row makes.
    static constexpr quint16 kPort = 19992;
    CcoSupervisor::Delays timing;
    // What the supervisor did, in order: its lines, and "show"/"hide"; and when.
    QStringList events;
    QVector<qint64> times;
    QElapsedTimer clock;
    QProcess listener;
    // A program started outside the app, and its processes.
    QProcess other;
    QList<qint64> otherTree;
    const QByteArray path = qgetenv("PATH");

    // A field of the status file, as text.
    QString status(const char *field)
    {
        QJsonObject status;
        StatusReport::read(StatusFile::path(home->appData()), &status);
        return status.value(field).toVariant().toString();
    }

    // The restarts counted in the data folder for `reason`, or all of them.
    int counted(const char *reason = nullptr)
    {
        const QJsonObject restarts = TillCounters::read(home->appData()).value("restarts").toObject();
        int all = 0;
        for (const QJsonValue &count : restarts)
            all += count.toInt();
        return reason ? restarts.value(reason).toInt() : all;
    }

    // varnolet-provision, run while this process's supervisor answers it:
    // its exit code, and its last line in `line`.
    int provision(const QStringList &arguments, QString *line, const QString &user = QString())
    {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        if (user.isEmpty())
            tool.start(VARNOLET_PROVISION, arguments);
        else
            tool.start("setpriv", QStringList{"--reuid=" + user, "--regid=nogroup", "--clear-groups", VARNOLET_PROVISION} + arguments);
        QElapsedTimer clock;
        clock.start();
        while (tool.state() != QProcess::NotRunning && clock.elapsed() < 20000)
            QTest::qWait(20);
        *line = QString::fromUtf8(tool.readAll()).split('\n', Qt::SkipEmptyParts).value(0);
        return tool.state() == QProcess::NotRunning && tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }

    void start(const QByteArray &script)
    {
        make(script);
        supervisor->start();
    }
    // An executor and a supervisor over an installation whose run.sh runs
    // `script`, recording what the supervisor does.
    void make(const QByteArray &script)
    {
        QVERIFY(writeScript(home->cco() + "/run.sh", "echo start >> starts\n" + script));
        executor.reset(new CommandExecutor);
        executor->setCcoPort(kPort);
        supervisor.reset(new CcoSupervisor);
        supervisor->setDelays(timing);
        auto record = [this](const QString &event) {
            events << event;
            times << clock.elapsed();
        };
        connect(supervisor.get(), &CcoSupervisor::message, this, record);
        connect(supervisor.get(), &CcoSupervisor::showRequested, this, [record] { record("show"); });
        connect(supervisor.get(), &CcoSupervisor::hideRequested, this, [record] { record("hide"); });
        supervisor->setExecutor(executor.get());
    }
};

void tst_Supervisor::cleanup()
{
    supervisor.reset();
    executor.reset();
    // A CCO that outlived its runner goes too, also when a row failed.
    for (qint64 cco; (cco = CcoProbe::runningCco(home->appData(), kPort).pid) > 0;)
        ProcessTree::signal(ProcessTree::of(cco), SIGKILL), QTest::qWait(50);
    ProcessTree::signal(otherTree, SIGKILL);
    otherTree.clear();
    for (QProcess *process : {&listener, &other}) {
        ProcessTree::signal(ProcessTree::of(process->processId()), SIGKILL);
        process->waitForFinished();
    }
    qputenv("PATH", path);
}

void tst_Supervisor::machine_data()
{
    using S = Supervision::State;
    using E = Supervision::Event;
    QTest::addColumn<S>("from");
    QTest::addColumn<E>("event");
    // What ran, in order ("exit Countdown>Idle" for a state's exit, told
    // where to; "changed" for a step), and where the machine stands after.
    QTest::addColumn<QStringList>("done");
    QTest::addColumn<S>("to");

    QTest::newRow("the countdown begins") << S::Idle << E::CountdownAsked << QStringList{"startCountdown", "exit Idle>Countdown", "changed"} << S::Countdown;
    QTest::newRow("never a second countdown") << S::Ready << E::CountdownAsked << QStringList() << S::Ready;
    QTest::newRow("its end starts CCO") << S::Countdown << E::CountdownEnded << QStringList{"launch"} << S::Countdown;
    QTest::newRow("a tap ends the countdown") << S::Countdown << E::CancelAsked << QStringList{"exit Countdown>Idle", "changed"} << S::Idle;
    QTest::newRow("a tap ends the wait for the port") << S::PortHeld << E::CancelAsked << QStringList{"exit PortHeld>Idle", "changed"} << S::Idle;
    QTest::newRow("a tap cancels a restart") << S::RestartWait << E::CancelAsked << QStringList{"cancelRestart", "exit RestartWait>Stopped", "changed"} << S::Stopped;
    QTest::newRow("a tap on a stopped CCO does nothing") << S::Stopped << E::CancelAsked << QStringList() << S::Stopped;
    QTest::newRow("a person's start, whatever the state") << S::Stopped << E::StartAsked << QStringList{"launchByPerson"} << S::Stopped;
    QTest::newRow("readiness schedules the page") << S::Starting << E::ReadinessLine << QStringList{"scheduleShow", "changed"} << S::Starting;
    QTest::newRow("readiness of a shown CCO does nothing") << S::Ready << E::ReadinessLine << QStringList() << S::Ready;
    QTest::newRow("a shown CCO found again shows nothing") << S::Ready << E::FirstAnswer << QStringList() << S::Ready;
    QTest::newRow("hung: the page goes") << S::Ready << E::PageMissed << QStringList{"hung", "exit Ready>Hung", "changed"} << S::Hung;
    QTest::newRow("a stop of no hung CCO does nothing") << S::Ready << E::HungStopped << QStringList() << S::Ready;
    QTest::newRow("CCO's end, one route") << S::Ready << E::Ended << QStringList{"ended"} << S::Ready;
    QTest::newRow("no load counts unless the page is shown") << S::Starting << E::PageLoaded << QStringList() << S::Starting;
    QTest::newRow("a hold changes nothing CCO does") << S::Ready << E::Hold << QStringList() << S::Ready;
    QTest::newRow("a stopped CCO's end is no death") << S::Stopping << E::Ended << QStringList{"endedWhenAsked", "changed"} << S::Stopping;
    QTest::newRow("no restart falls due while stopping") << S::Stopping << E::RestartDue << QStringList{"changed"} << S::Stopping;
    QTest::newRow("a daily restart only of a shown page") << S::Starting << E::DailyRestartDue << QStringList() << S::Starting;
}

void tst_Supervisor::machine()
{
    using S = Supervision::State;
    QFETCH(S, from);
    QFETCH(Supervision::Event, event);
    QFETCH(QStringList, done);
    const QMetaEnum names = QMetaEnum::fromType<S>();
    QStringList did;
    QHash<QByteArray, Supervision::Machine::Action> actions;
    for (const Supervision::Row &row : Supervision::table())
        actions.insert(row.action, [&did, name = QString(row.action)] { did << name; });
    QHash<S, std::function<void(S)>> exits;
    for (int i = 0; i < names.keyCount() - 1; ++i) // all but Decided
        exits.insert(S(i), [&, i](S next) { did << QStringLiteral("exit %1>%2").arg(names.key(i), names.valueToKey(int(next))); });
    Supervision::Machine machine(actions, exits, {}, [&did] { did << "changed"; });
    if (from != S::Idle)
        machine.go(from);
    did.clear();
    machine.deliver(event);
    QCOMPARE(did, done);
    QTEST(machine.state(), "to");
}

void tst_Supervisor::supervision_data()
{
    QTest::addColumn<QByteArray>("script");
    // After the start: "cancel" taps the restart away, "start again" is Run CCO.
    QTest::addColumn<QString>("then");
    // The events that must come, in order and no more, and the starts of run.sh.
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("starts");

    QTest::newRow("ready, then stopped from the page")
        << QByteArray("echo 'Web container started.'; sleep 0.6; echo 'STOP_CCO Bye'") << ""
        << QStringList{"show", "hide"} << 1;
    QTest::newRow("a second readiness line does not put the page off")
        << QByteArray("echo 'Web container started.'; sleep 0.5; echo 'Web container started.'; sleep 1.2; "
                      "echo 'STOP_CCO Bye'")
        << "show within 1300 ms" << QStringList{"show", "hide"} << 1;
    QTest::newRow("ready, then dead within the wait: no page")
        << QByteArray("echo 'Web container started.'; sleep 0.1; exit 1") << "cancel"
        << QStringList{"hide", "CCO stopped unexpectedly (exit code 1). Restarting in 1 seconds.", "Restart cancelled."}
        << 1;
    // Run CCO pressed while the stopped CCO is still ending: started once it has.
    QTest::newRow("stop line, then a second run that dies")
        << QByteArray("if [ -e ran ]; then rm ran; exit 4; fi; touch ran; echo 'STOP_CCO Bye'; sleep 0.5") << "start again"
        << QStringList{"hide",
                       "CCO is still ending: it starts again once it has ended.",
                       "hide",
                       "CCO stopped unexpectedly (exit code 4)",
                       "Restarting CCO (attempt 1).",
                       "hide"}
        << 3;
    QTest::newRow("Run CCO while it runs: refused, nothing else")
        << QByteArray("echo 'Web container started.'; sleep 0.8; echo 'STOP_CCO Bye'") << "start while running"
        << QStringList{"show", "hide"} << 1;
    // CCO outlives its runner: stopped and started again under a new one,
    // whose output reaches the app.
    QTest::newRow("runner killed: CCO started again")
        << QByteArray("echo 'Web container started.'; exec python3 -c \"") + kListener + "\""
        << "kill the runner"
        << QStringList{"show", "hide", "CCO runs on without its runner (pid ",
                       "CCO stopped unexpectedly (crashed). Restarting in 1 seconds.", "Restarting CCO (attempt 1).",
                       "show"}
        << 2;
    QTest::newRow("never ready: the holder of the port named")
        << QByteArray("exec python3 -c \"") + kListener + "\""
        << "running"
        << QStringList{"CCO has not said \"Web container started.\" 1 seconds after its start; it keeps running.",
                       "127.0.0.1:19992 is held by pid ", "The runtime's bin/java exists: "}
        << 1;
}

void tst_Supervisor::supervision()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, then);
    QFETCH(QStringList, expected);
    QFETCH(int, starts);

    // A wait of a second, which the second readiness line must not prolong.
    timing.show = then.startsWith("show within") ? 1000 : 300;
    start(script);
    QCOMPARE(supervisor->status(), QStringLiteral("CCO is starting"));
    QCOMPARE(status("state"), "starting");
    if (then == "cancel") {
        QTRY_VERIFY(supervisor->restartPending());
        QCOMPARE(status("state") + ", " + status("lastEnd"), "restarting, exit code 1");
        supervisor->cancelRestart();
    } else if (then == "start while running") {
        QTRY_COMPARE(events, QStringList{"show"});
        supervisor->start();
        QTRY_VERIFY(supervisor->output()->text().endsWith("Not starting ./run.sh: another program is still running."));
        QCOMPARE(supervisor->status(), QStringLiteral("CCO is running"));
    } else if (then == "start again") {
        QTRY_COMPARE(supervisor->status(), QStringLiteral("CCO has stopped"));
        supervisor->start();
    } else if (then == "kill the runner") {
        // Once its server listens: only then is it CCO.
        QTRY_COMPARE(events, QStringList{"show"});
        QTRY_VERIFY(CcoProbe::addressAnswers(19992));
        QCOMPARE(::kill(pid_t(executor->program().processId()), SIGKILL), 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(events.size() >= expected.size(), 5000);
    QTest::qWait(then == "running" ? 100 : 700);
    QCOMPARE(events.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(events[i].startsWith(expected[i]), qPrintable(events.join('\n')));
    QCOMPARE(readFile(home->cco() + "/starts").count("start"), starts);
    if (then == "kill the runner") {
        QCOMPARE(supervisor->status(), QStringLiteral("CCO is running"));
        QCOMPARE(supervisor->output()->text().count("Web container started."), 2);
        QCOMPARE(counted("crashed"), 1);
        return;
    }
    QCOMPARE(supervisor->status(), QString(then == "running" ? "CCO is starting" : "CCO has stopped"));
    QCOMPARE(status("state"), then == "running" ? "not-ready" : "stopped");
    if (then.startsWith("show within"))
        QVERIFY2(times.first() < 1300, qPrintable(QString::number(times.first())));
}

void tst_Supervisor::growingDelays_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QVector<int>>("delays");
    QTest::newRow("quick deaths: doubling up to the longest")
        << QByteArray("exit 3") << QVector<int>{100, 200, 400, 400};
    QTest::newRow("long runs: the count starts over") << QByteArray("sleep 0.4; exit 3") << QVector<int>{100, 100, 100};
}

void tst_Supervisor::growingDelays()
{
    QFETCH(QByteArray, script);
    QFETCH(QVector<int>, delays);
    timing.longRun = 300;
    start(script);
    QTRY_VERIFY_WITH_TIMEOUT(events.filter("Restarting CCO").size() >= delays.size(), 10000);
    QVERIFY(status("restarts24h").toInt() >= delays.size());
    // Counted for good: the app closed and opened again still tells them.
    const int restarts = events.filter("Restarting CCO").size();
    QCOMPARE(counted("exit"), restarts);
    supervisor.reset();
    make("exec sleep 60");
    QJsonObject written;
    QVERIFY(StatusReport::read(StatusFile::path(home->appData()), &written));
    QCOMPARE(written.value("counters").toObject().value("restarts").toObject().value("exit").toInt(), restarts);
    // Each end says it, then waits its delay before the restart (measured on
    // this test's clock, a few milliseconds off the supervisor's).
    for (int i = 0, end = 0; i < delays.size(); ++i) {
        while (!events[end].startsWith("CCO stopped unexpectedly (exit code 3). Restarting in "))
            ++end;
        QVERIFY2(events[end + 1].startsWith("Restarting CCO"), qPrintable(events.join('\n')));
        const qint64 waited = times[end + 1] - times[end];
        QVERIFY2(waited >= delays[i] - 10 && waited < delays[i] + 500,
                 qPrintable(QString("restart %1 after %2 ms").arg(i).arg(waited)));
        end += 2;
    }
}

void tst_Supervisor::notStartedHere_data()
{
    // What runs when the supervisor starts, from the folder `in`, and the
    // supervisor's first line, or nothing.
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("first");
    QTest::newRow("a shell in logs/ is no CCO") << QByteArray("sleep 60") << "logs"
                                                << "";
    QTest::newRow("a shell in the installation is no CCO") << QByteArray("sleep 60") << "cco"
                                                           << "";
    QTest::newRow("a stranger on the port is never shown") << QByteArray("python3 \"$SERVE\"") << "outside"
                                                           << "127.0.0.1:19992 is held by pid ";
    // The runtime's "java" (a copy of bash) run for anything but CCO, as a
    // technician's java -version is.
    QTest::newRow("the runtime's java from elsewhere is no CCO") << QByteArray("\"$JAVA\" -c 'sleep 60'") << "outside"
                                                                << "";
    // The restore tool left running by an app that was closed: waited for,
    // never adopted; CCO starts after it.
    QTest::newRow("the restore tool found running is waited for")
        << QByteArray("\"$JAVA\" -c 'sleep 1.5; true' -jar CCO_Restore.jar") << "cco" << "The restore tool is running (pid ";
    // The runtime's java working in the installation, serving after a while
    // through a child that works elsewhere: a CCO that is still starting
    // when the app opens.
    QTest::newRow("an adopted CCO still starting, then killed")
        << QByteArray("\"$JAVA\" -c 'sleep 0.3; cd /; python3 \"$SERVE\"; true'") << "cco"
        << "CCO is already running (pid ";
}

void tst_Supervisor::notStartedHere()
{
    QFETCH(QByteArray, program);
    QFETCH(QString, in);
    QFETCH(QString, first);
    const QString java = home->jre() + "/bin/java";
    QVERIFY(QFile::remove(java) && QFile::copy("/bin/bash", java));
    const QMap<QString, QString> folders{
        {"logs", home->appData() + "/logs"}, {"cco", home->cco()}, {"outside", home->scratch("elsewhere")}};
    QDir().mkpath(folders[in]);
    make("exec sleep 60");
    other.setWorkingDirectory(folders[in]);
    other.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    const QString serve = home->scratch("elsewhere") + "/serve.py";
    QVERIFY(writeFile(serve, kListener));
    other.start("bash", {"-c", "export JAVA=" + java + " SERVE=" + serve + "; " + program + "; true"});
    QVERIFY2(other.waitForStarted(), qPrintable(other.errorString()));
    if (program.startsWith("python3"))
        QTRY_VERIFY(CcoProbe::addressAnswers(19992));
    if (first.startsWith("CCO"))
        QTRY_VERIFY(CcoProbe::runningCco(home->appData(), kPort).pid > 0);
    const qint64 cco = CcoProbe::runningCco(home->appData(), kPort).pid;
    supervisor->start();
    QVERIFY2(first.isEmpty() ? events.isEmpty() : events.value(0).startsWith(first), qPrintable(events.join('\n')));
    auto starts = [this] { return readFile(home->cco() + "/starts").count("start"); };
    if (first.isEmpty()) {
        QTRY_COMPARE(starts(), 1);
        QCOMPARE(supervisor->status(), QStringLiteral("CCO is starting"));
        return;
    }
    if (first.startsWith("The restore tool")) {
        QCOMPARE(supervisor->status(), QStringLiteral("Starting CCO in 5 seconds"));
        QCOMPARE(starts(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(starts(), 1, 8000);
        QVERIFY2(events.size() == 1, qPrintable(events.join('\n')));
        QCOMPARE(supervisor->status(), QStringLiteral("CCO is starting"));
        return;
    }
    if (first.startsWith("127")) {
        QVERIFY2(events[0].contains("python3")
                     && events[0].endsWith(", which is not this installation's CCO. Looking "
                                           "again every 0 seconds."),
                 qPrintable(events[0]));
        QVERIFY(supervisor->status().startsWith("127.0.0.1:19992 is held by pid "));
        QCOMPARE(status("state"), "stranger");
        QTest::qWait(3 * timing.portLook);
        QCOMPARE(events.size(), 1); // said once, never shown
        QCOMPARE(starts(), 0);
        ProcessTree::signal(ProcessTree::of(other.processId()), SIGKILL);
        QTRY_COMPARE(starts(), 1);
        QCOMPARE(supervisor->status(), QStringLiteral("CCO is starting"));
        return;
    }
    // Looked after from its start: not given up while it does not answer yet.
    QCOMPARE(supervisor->status(), QStringLiteral("CCO is starting"));
    QCOMPARE(status("state") + " " + status("pid"), "starting " + QString::number(cco));
    QTRY_COMPARE_WITH_TIMEOUT(events.mid(1), QStringList{"show"}, 8000);
    QCOMPARE(supervisor->status(), QStringLiteral("CCO is running (started before this app)"));
    QCOMPARE(starts(), 0);
    // Killed, all but its server, which answers on: no longer CCO's.
    otherTree = ProcessTree::of(cco);
    ::kill(pid_t(cco), SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(events.size() >= 6, 8000);
    QCOMPARE(events.mid(2, 3), (QStringList{"hide",
                                            "CCO stopped unexpectedly (its processes are gone). Restarting in 1 "
                                            "seconds.",
                                            "Restarting CCO (attempt 1)."}));
    QVERIFY2(events[5].startsWith("127.0.0.1:19992 is held by pid "), qPrintable(events[5]));
    ProcessTree::signal(otherTree, SIGKILL);
    QTRY_COMPARE(starts(), 1);
}

void tst_Supervisor::restartWaits_data()
{
    // What runs while CCO's restart waits, or after it was cancelled.
    QTest::addColumn<QString>("during");
    QTest::addColumn<int>("starts");
    QTest::newRow("the restore tool after a cancelled restart: its end is no CCO death") << "cancelled" << 1;
    QTest::newRow("the restore tool during a pending restart: the restart after it") << "restore" << 2;
    QTest::newRow("an import during a pending restart: the restart after it") << "import" << 2;
}

void tst_Supervisor::restartWaits()
{
    QFETCH(QString, during);
    QFETCH(int, starts);
    QVERIFY(writeScript(home->cco() + "/run_cco_restore_silent.sh", "sleep 1; echo restored"));
    timing.firstRestart = 300;
    start("[ -e ran ] && exec sleep 60; touch ran; exit 1");
    QTRY_VERIFY(supervisor->restartPending());
    auto count = [this] { return readFile(home->cco() + "/starts").count("start"); };
    if (during == "import") {
        // Its unzip takes a second; the zip is no zip, and nothing changes.
        QVERIFY(writeScript(home->scratch("bin") + "/unzip", "sleep 1; exec /usr/bin/unzip \"$@\""));
        qputenv("PATH", QFile::encodeName(home->scratch("bin")) + ":" + path);
        QVERIFY(writeFile(home->scratch(".") + "/cco.zip", "x"));
        QVERIFY(!executor->extractCustomCCOZip(home->scratch(".") + "/cco.zip", "CustomerCheckout", true));
        QCOMPARE(count(), 1);
    } else {
        if (during == "cancelled")
            supervisor->cancelPending();
        executor->runCCORestore("P2");
        QVERIFY(executor->program().state() != QProcess::NotRunning);
        QTest::qWait(500);
        QCOMPARE(count(), 1);
        QTRY_VERIFY(supervisor->output()->text().contains("restored\n"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(count(), starts, 3000);
    QTest::qWait(500);
    QCOMPARE(count(), starts);
    // CCO's one death, and its restart when it was not cancelled.
    QCOMPARE(events.filter("CCO stopped unexpectedly").size(), 1);
    QCOMPARE(events.filter("Restarting CCO (attempt 1).").size(), starts - 1);
}

void tst_Supervisor::hungCcoIsDumpedStoppedAndRestarted()
{
    // A "java" that takes SIGQUIT for a thread dump and serves through a
    // child of its own, which the test stops.
    QVERIFY(writeScript(home->cco() + "/java",
                        QByteArray("trap 'echo dump >> dumps' QUIT\n"
                                   "python3 -c \"")
                            + kListener
                            + "\" & echo $! > server\n"
                              "sleep 0.5; echo 'Web container started.'\n"
                              "while true; do wait; done"));
    timing.liveness = {200, 150, 3, 100, 300};
    start("exec ./java");
    QTRY_VERIFY(events.contains("show"));
    const pid_t server = readFile(home->cco() + "/server").trimmed().toInt();
    // One slow answer, or two, change nothing.
    QVERIFY(server > 0 && ::kill(server, SIGSTOP) == 0);
    QTest::qWait(350);
    ::kill(server, SIGCONT);
    QTest::qWait(800);
    QVERIFY2(events.filter("hung").isEmpty(), qPrintable(events.join('\n')));
    ::kill(server, SIGSTOP);
    QTRY_VERIFY_WITH_TIMEOUT(supervisor->restartPending(), 5000);
    supervisor->cancelRestart(); // no second run serving after the test
    QVERIFY2(events.filter("it is hung. Asked its Java (pid ").size() == 1, qPrintable(events.join('\n')));
    QCOMPARE(readFile(home->cco() + "/dumps"), QByteArray("dump\n"));
    QVERIFY(events.contains("CCO stopped unexpectedly (it stopped answering). Restarting in 1 seconds."));
    QCOMPARE(status("lastEnd"), "stopped answering");
    const QString stat = "/proc/" + QString::number(server) + "/stat";
    QTRY_VERIFY2(!QFile::exists(stat) || readFile(stat).contains(") Z "), "the stopped server was left");
}

void tst_Supervisor::pageLoadTriedAgain()
{
    start("echo 'Web container started.'; exec sleep 60");
    connect(supervisor.get(), &CcoSupervisor::loadRequested, this, [this] { events << "load"; });
    connect(supervisor.get(), &CcoSupervisor::pageReady, this, [this] { events << "page"; });
    QTRY_COMPARE(events, QStringList{"show"});
    supervisor->pageLoadFailed();
    QCOMPARE(supervisor->status(), QStringLiteral("CCO's page does not answer yet"));
    QTRY_COMPARE(events, (QStringList{"show", "hide", "load"}));
    supervisor->pageLoadFailed(); // and again
    QTRY_COMPARE(events.count("load"), 2);
    supervisor->pageLoaded();
    QCOMPARE(events.last(), QStringLiteral("page"));
    QCOMPARE(supervisor->status(), QStringLiteral("CCO is running"));
}

void tst_Supervisor::personStartBeginsDelaysOver()
{
    start("exit 3");
    QTRY_VERIFY(events.contains("Restarting CCO (attempt 2)."));
    QTRY_VERIFY(supervisor->restartPending());
    supervisor->cancelPending();
    supervisor->start();
    QTRY_COMPARE(events.filter("Restarting CCO (attempt 1).").size(), 2);
}

void tst_Supervisor::trial_data()
{
    QTest::addColumn<QByteArray>("script");
    // Deaths of the new installation before this app was opened again.
    QTest::addColumn<QByteArray>("deathsBefore");
    // Starts of the new installation; 0: it passes.
    QTest::addColumn<int>("starts");

    QTest::newRow("three deaths in a row: the previous one back") << QByteArray("exit 1") << QByteArray("0") << 3;
    QTest::newRow("after two deaths and a restart of the app, one more")
        << QByteArray("exit 1") << QByteArray("2") << 1;
    QTest::newRow("never ready within the window") << QByteArray("exec sleep 60") << QByteArray("0") << 1;
    QTest::newRow("ready and answering: passed")
        << QByteArray("echo 'Web container started.'; exec python3 -c \"") + kListener + "\"" << QByteArray("0") << 0;
}

void tst_Supervisor::trial()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, deathsBefore);
    QFETCH(int, starts);
    // A freshly imported installation on trial over the previous, good one.
    QVERIFY(writeScript(home->cco() + ".previous/run.sh", "echo good >> ../good-runs; exec sleep 60"));
    QVERIFY(writeFile(home->cco() + ".trial", deathsBefore));
    start(script);
    if (starts == 0) {
        QTRY_VERIFY(!QFile::exists(home->cco() + ".trial"));
        QVERIFY(QFile::exists(home->cco() + ".previous/run.sh") && !QFile::exists(home->appData() + "/good-runs"));
        QCOMPARE(TillCounters::read(home->appData()).value("rollbacks").toInt(), 0);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home->appData() + "/good-runs"), 8000);
    QCOMPARE(readFile(home->cco() + ".failed/starts").count("start"), starts);
    QVERIFY(!QFile::exists(home->cco() + ".trial") && !QFile::exists(home->cco() + ".previous"));
    QVERIFY2(events.contains(QString("The new installation never got ready; the previous one is back. The new one is "
                                     "kept as %1.failed.")
                                 .arg(home->cco())),
             qPrintable(events.join('\n')));
    QCOMPARE(supervisor->status(), QStringLiteral("The new installation never got ready; the previous one is back"));
    QCOMPARE(TillCounters::read(home->appData()).value("rollbacks").toInt(), 1);
}

void tst_Supervisor::staysAfterOperations_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("countdown cancelled") << "cancelled countdown";
    QTest::newRow("restart cancelled") << "cancelled restart";
    QTest::newRow("stopped from the page") << "stopped";
    QTest::newRow("countdown waits for a long operation") << "countdown";
}

void tst_Supervisor::staysAfterOperations()
{
    QFETCH(QString, state);
    make(state == "stopped" ? "echo 'STOP_CCO Bye'" : "exit 1");
    if (state.endsWith("countdown")) {
        supervisor->startCountdown();
        if (state == "cancelled countdown")
            supervisor->cancelPending();
    } else {
        supervisor->start();
        QTRY_VERIFY(supervisor->restartPending() || supervisor->status() == "CCO has stopped");
        // The stop line comes before the program's end: the operations wait for that.
        QTRY_COMPARE(executor->program().state(), QProcess::NotRunning);
        supervisor->cancelPending();
    }
    const QString before = supervisor->status();
    // An import whose unzip takes half a second, a runtime unpack and a
    // patch, each failing on its input, each a long operation all the same.
    QVERIFY(writeScript(home->scratch("bin") + "/unzip", "sleep 0.5; exec /usr/bin/unzip \"$@\""));
    qputenv("PATH", QFile::encodeName(home->scratch("bin")) + ":" + path);
    QVERIFY(QDir::setCurrent(home->scratch("app")));
    QVERIFY(writeFile(
        home->scratch("app/assets") + "/" + CommandExecutor::jreArchiveFor(QSysInfo::currentCpuArchitecture()), "x"));
    QVERIFY(writeFile(home->scratch(".") + "/cco.zip", "x") && QFile::remove(home->jre() + "/bin/java"));
    QString during;
    connect(executor.get(), &CommandExecutor::operationChanged, this, [&] { during += status("state") + " "; });
    QVERIFY(!executor->extractCustomCCOZip(home->scratch(".") + "/cco.zip", "CustomerCheckout", true));
    QVERIFY2(during.startsWith("operation "), qPrintable(during));
    QCOMPARE(supervisor->status(), before);
    executor->runExtractJDK();
    QVERIFY(!executor->patchInstallation());
    const int starts = readFile(home->cco() + "/starts").count("start");
    if (state == "countdown") {
        QTRY_COMPARE(readFile(home->cco() + "/starts").count("start"), 1);
        return;
    }
    QTest::qWait(7 * timing.countdownTick + timing.firstRestart);
    QCOMPARE(readFile(home->cco() + "/starts").count("start"), starts);
    QCOMPARE(supervisor->status(), before);
    QCOMPARE(status("state"), state == "cancelled countdown" ? "idle" : "stopped");
}

QTEST_GUILESS_MAIN(tst_Supervisor)
void tst_Supervisor::configuration()
{
    // A fault is said once, as the app opens, and costs its key alone.
    const QString file = TillConfig::defaultPath();
    QVERIFY(writeFile(file, "[start]\ncountdwn = 2\n[restart]\nfirst = 1\n"));
    make("exec sleep 60");
    QCOMPARE(events, QStringList{"varnolet.conf line 2: unknown key 'countdwn'; ignored"});
    // A new file renamed over it is read again, and the next countdown takes its figure.
    QVERIFY(writeFile(file + ".new", "[start]\ncountdown = 1\n"));
    QVERIFY(::rename(QFile::encodeName(file + ".new"), QFile::encodeName(file)) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(!events.filter("Configuration").isEmpty(), 2000);
    QCOMPARE(events.filter("Configuration").first(),
             QStringLiteral("Configuration read again: 2 settings changed (start.countdown 5 → 1, restart.first 1 → 5)."));
    QCOMPARE(events.filter("countdwn").size(), 1);
    supervisor->startCountdown();
    QCOMPARE(supervisor->status(), QStringLiteral("Starting CCO in 1 second"));
}

#include "tst_supervisor.moc"

void tst_Supervisor::askedFromOutside_data()
{
    QTest::addColumn<QByteArray>("script"); // empty: no app; a stand-in CCO runs when the request is a stop
    QTest::addColumn<QStringList>("arguments"); // "nobody" first: asked by that user
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line"); // the tool's first line
    QTest::addColumn<QString>("state"); // in status.json after it
    QTest::addColumn<int>("starts");
    const QByteArray ready = "echo 'Web container started.'; exec sleep 60";
    QTest::newRow("stop: nothing restarts") << ready << QStringList{"stop"} << 0 << "CCO stopped." << "stopped" << 1;
    QTest::newRow("stop of a CCO deaf to SIGTERM: killed after the wait")
        << QByteArray("trap '' TERM; echo 'Web container started.'; while :; do sleep 0.1; done") << QStringList{"stop"} << 0
        << "CCO stopped." << "stopped" << 1;
    QTest::newRow("restart: no death") << ready << QStringList{"restart"} << 0 << "CCO is starting." << "starting" << 2;
    QTest::newRow("start --wait: until the page is shown") << ready << QStringList{"start", "--wait"} << 0
                                                           << "CCO's page is shown." << "ready" << 1;
    QTest::newRow("start --wait of a CCO that never gets ready")
        << QByteArray("exec sleep 60") << QStringList{"start", "--wait"} << 1 << "CCO did not get ready within 1 seconds."
        << "not-ready" << 1;
    QTest::newRow("another user asks nothing") << ready << QStringList{"nobody", "stop"} << 1
                                               << "Refused: only the app's own user may ask this till." << "ready" << 1;
    QTest::newRow("no app: start") << QByteArray() << QStringList{"start"} << 1 << "The app is not running." << "" << 0;
    QTest::newRow("no app: the tool stops CCO itself") << QByteArray() << QStringList{"stop"} << 0
                                                       << "Stopping CCO (asked from outside, no app running)." << "" << 0;
}

void tst_Supervisor::askedFromOutside()
{
    QFETCH(QByteArray, script);
    QFETCH(QStringList, arguments);
    QFETCH(QString, state);
    QFETCH(int, starts);
    const QString user = arguments.first() == "nobody" ? arguments.takeFirst() : QString();
    if (!user.isEmpty() && ::geteuid() != 0)
        QSKIP("another user's request needs root to run as that user");
    timing.stopKillAfter = 500;
    QString line;
    if (script.isEmpty()) {
        // A CCO started before, from the installation, that outlived its app.
        const QString java = home->jre() + "/bin/java";
        QVERIFY(QFile::remove(java) && QFile::copy("/bin/bash", java) && writeScript(home->cco() + "/run.sh", "exit 1"));
        other.setWorkingDirectory(home->cco());
        other.start(java, {"-c", "sleep 60; true"});
        QVERIFY2(other.waitForStarted(), qPrintable(other.errorString()));
        QElapsedTimer clock;
        clock.start();
        QTEST(provision(arguments, &line), "exitCode");
        QVERIFY2(clock.elapsed() < 2000 + 1000 * (arguments.first() == "stop"), qPrintable(QString::number(clock.elapsed())));
        QTEST(line, "line");
        QCOMPARE(other.state() == QProcess::NotRunning || other.waitForFinished(1000), arguments.first() == "stop");
        return;
    }
    if (arguments.first() == "start")
        make(script);
    else
        start(script);
    // A page shown as the view shows it: after a load that succeeded.
    connect(supervisor.get(), &CcoSupervisor::showRequested, this, [this] { QTimer::singleShot(0, supervisor.get(), &CcoSupervisor::pageLoaded); });
    if (arguments.first() != "start")
        QTRY_VERIFY(events.contains("show"));
    if (!user.isEmpty()) {
        // Whatever the modes of the socket and its folders, the app asks the kernel who asks.
        const QString socket = home->appData() + "/control.socket";
        for (QString path = socket; path != "/"; path = QFileInfo(path).path())
            ::chmod(QFile::encodeName(path), path == socket ? 0666 : 0755);
    }
    timing.readiness = 1500;
    supervisor->setDelays(timing);
    const int exitCode = provision(arguments, &line, user);
    QTEST(line, "line");
    QTEST(exitCode, "exitCode");
    QCOMPARE(status("state"), state);
    QTest::qWait(300);
    QCOMPARE(readFile(home->cco() + "/starts").count("start"), starts);
    QVERIFY2(events.filter("unexpectedly").isEmpty(), qPrintable(events.join('\n')));
    QCOMPARE(status("restarts24h"), "0");
    // Only a restart asked for is counted, as asked for.
    QCOMPARE(QString("%1 %2").arg(counted()).arg(counted("requested")),
             arguments.first() == "restart" ? "1 1" : "0 0");
    if (!user.isEmpty())
        QVERIFY2(events.contains("A request from another user (uid 65534) was refused."), qPrintable(events.join('\n')));
    else if (arguments.first() == "stop")
        QCOMPARE(executor->program().state(), QProcess::NotRunning);
}

void tst_Supervisor::holdAndDailyRestart()
{
    QVERIFY(writeFile(TillConfig::defaultPath(), "[maintenance]\ndailyRestart = 03:00\nidle = 1\n"));
    timing.maintenanceLook = 50;
    QDateTime now(QDate(2026, 12, 9), QTime(2, 59));
    make("echo 'Web container started.'; exec sleep 60");
    supervisor->maintenance()->setClock([&now] { return now; }); // before its first look
    supervisor->start();
    QTRY_COMPARE(events, QStringList{"show"});
    auto starts = [this] { return readFile(home->cco() + "/starts").count("start"); };
    now = now.addSecs(65);
    QTRY_COMPARE(events.count("show"), 2);
    QCOMPARE(events.mid(1), (QStringList{"Daily restart of CCO.", "hide", "CCO stopped.", "show"}));
    QTest::qWait(300); // once
    QCOMPARE(starts(), 2);
    QCOMPARE(status("scheduledRestarts24h") + " " + status("restarts24h"), "1 0");
    QCOMPARE(counted("scheduled"), counted());
    // Held over the next day's time, kept for a new app, caught up once it ends.
    QVERIFY(supervisor->maintenance()->setHold("stocktake", now.addDays(1).addSecs(600)).ok());
    now = now.addDays(1);
    QTest::qWait(300);
    QCOMPARE(starts(), 2);
    QCOMPARE(status("notFree"), "held: stocktake");
    QCOMPARE(supervisor->status(), "CCO is running · held: stocktake");
    QCOMPARE(TillMaintenance(home->appData()).hold().reason, "stocktake");
    now = now.addSecs(601);
    QTRY_COMPARE(starts(), 3);
    QVERIFY2(events.filter("The hold").size() == 1 && events.contains("The hold has ended: stocktake (until 2026-12-10 03:10)."), qPrintable(events.join('\n')));
    QCOMPARE(status("hold"), "");
    QCOMPARE(status("scheduledRestarts24h"), "2");
    QVERIFY(events.filter("unexpectedly").isEmpty());
}

void tst_Supervisor::pushedUpdate()
{
    QVERIFY(writeFile(TillConfig::defaultPath(), "[maintenance]\nwindow = 02:00-04:00\nidle = 1\n"));
    timing.maintenanceLook = 50;
    timing.trialWindow = 60000; // the stand-ins never answer: no trial decides here
    QDateTime now(QDate(2026, 12, 9), QTime(12, 0));
    const QByteArray ready = "echo 'Web container started.'; exec sleep 60";
    auto open = [&] {
        make(ready);
        supervisor->maintenance()->setClock([&now] { return now; });
        supervisor->start();
        QTRY_VERIFY(events.contains("show"));
    };
    auto zipOf = [this, &ready](const QByteArray &version) {
        const QString folder = home->scratch(version);
        QProcess zip;
        zip.setWorkingDirectory(folder);
        if (writeScript(folder + "/run.sh", "echo " + version + " >> ../versions; " + ready))
            zip.start("zip", {"-qr", "../" + version + ".zip", "."});
        return zip.waitForFinished() && zip.exitCode() == 0 ? home->scratch(".") + "/" + version + ".zip" : QString();
    };
    auto update = [this](const QString &field) {
        QJsonObject status;
        StatusReport::read(StatusFile::path(home->appData()), &status);
        const QJsonObject update = status.value("update").toObject();
        return update.value(field.section('.', 0, 0)).toObject().value(field.section('.', 1)).toString();
    };
    auto versions = [this] { return QString(readFile(home->appData() + "/versions")).split('\n', Qt::SkipEmptyParts); };
    open();
    QString line;
    // Refused before anything changes: no installation in it.
    QVERIFY(writeFile(home->scratch("photos") + "/a.jpg", "jpg"));
    QProcess photos;
    photos.setWorkingDirectory(home->scratch("photos"));
    photos.start("zip", {"-qr", "../photos.zip", "."});
    QVERIFY(photos.waitForFinished());
    QCOMPARE(provision({"update", home->scratch(".") + "/photos.zip"}, &line), 1);
    QVERIFY2(line.startsWith("Update refused: the zip holds no run.sh"), qPrintable(line));
    // Outside the window: queued; a newer one replaces it, and both say so.
    QCOMPARE(provision({"update", zipOf("v2")}, &line), 0);
    QCOMPARE(line, "Update queued: applied at the next free moment (outside the window now)");
    QCOMPARE(provision({"update", zipOf("v3")}, &line), 0);
    QCOMPARE(line, "The pending update v2.zip is replaced by v3.zip.");
    QTRY_COMPARE(update("pending.name"), "v3.zip");
    QCOMPARE(supervisor->status(), "CCO is running · update pending");
    // Still pending in an app opened again; applied once the window opens.
    supervisor.reset();
    executor.reset();
    open();
    QTest::qWait(200);
    QCOMPARE(versions(), QStringList());
    now.setTime(QTime(2, 30));
    QTRY_COMPARE(versions(), QStringList{"v3"});
    QCOMPARE(update("last.result") + " " + update("last.name"), "applied v3.zip");
    QCOMPARE(update("pending.name"), "");
    // Held: applied after the release; --now at any time.
    QVERIFY(supervisor->maintenance()->setHold("stocktake", QDateTime()).ok());
    QCOMPARE(provision({"update", zipOf("v4")}, &line), 0);
    QCOMPARE(line, "Update queued: applied at the next free moment (held: stocktake now)");
    QTest::qWait(200);
    QCOMPARE(versions(), QStringList{"v3"});
    QVERIFY(supervisor->maintenance()->release().ok());
    QTRY_COMPARE(versions(), (QStringList{"v3", "v4"}));
    now.setTime(QTime(12, 0));
    QCOMPARE(provision({"update", zipOf("v5"), "--now"}, &line), 0);
    QCOMPARE(line, "Update v5.zip applied: CCO is starting.");
    QTRY_COMPARE(versions(), (QStringList{"v3", "v4", "v5"}));
    QVERIFY2(events.filter("unexpectedly").isEmpty(), qPrintable(events.join('\n')));
    // One whose page never answers within its trial is rolled back, and said
    // so; the till's own files are on the one back.
    QVERIFY(writeFile(home->appData() + "/site/config/pos.properties", "prefix=till-0417\n"));
    timing.trialWindow = 500;
    supervisor->setDelays(timing);
    QCOMPARE(provision({"update", zipOf("v6"), "--now"}, &line), 0);
    QTRY_COMPARE_WITH_TIMEOUT(update("last.result"), "rolled back", 5000);
    QTRY_COMPARE(versions().last(), "v5");
    QCOMPARE(readFile(home->cco() + "/config/pos.properties"), QByteArray("prefix=till-0417\n"));
}
