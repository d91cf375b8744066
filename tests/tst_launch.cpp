// Launching programs in the backend's long-lived process, and turning their
// output into signals.

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <signal.h>

namespace {

// Records what the backend signals, in order: "o" for an output chunk, "E"
// for the line that reports the end of the program, "R" for the readiness
// signal and "S" for the stop signal.
struct Recorder
{
    explicit Recorder(CommandExecutor &executor)
    {
        QObject::connect(&executor, &CommandExecutor::processOutputChanged,
                         [this](const QString &output) {
                             if (output.startsWith(QLatin1String("The program "))) {
                                 events += QLatin1Char('E');
                                 endLine = output;
                             } else {
                                 events += QLatin1Char('o');
                                 text += output;
                             }
                         });
        QObject::connect(&executor, &CommandExecutor::desiredTextFound,
                         [this] { events += QLatin1Char('R'); });
        QObject::connect(&executor, &CommandExecutor::ccoStopped,
                         [this] { events += QLatin1Char('S'); });
    }
    bool ended() const { return events.contains(QLatin1Char('E')); }

    QString events;
    QString text;
    QString endLine;
};

// A script that records its arguments (NUL-separated), working folder and
// JAVA_HOME next to itself.
const QByteArray kRecordingScript = "dir=$(dirname \"$0\")\n"
                                    "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$dir/args\"\n"
                                    "printf '%s' \"$PWD\" > \"$dir/cwd\"\n"
                                    "printf '%s' \"$JAVA_HOME\" > \"$dir/java_home\"\n";

QStringList recordedArguments(const QString &dir)
{
    const QByteArray raw = readFile(dir + QLatin1String("/args"));
    QStringList arguments;
    for (const QByteArray &argument : raw.split('\0'))
        arguments << QString::fromUtf8(argument);
    arguments.removeLast(); // after the last separator
    return arguments;
}

} // namespace

class tst_Launch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
        // CCO's port for these tests: the views' tests serve on the real one.
        CcoProbe::ccoPort = 19993;
    }

    void commandLine_data();
    void commandLine();
    void secondLaunchWhileRunning();
    void programEnd_data();
    void programEnd();
    void failedStart();
    void outputMonitoring_data();
    void outputMonitoring();
};

void tst_Launch::commandLine_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("dataFolder");
    QTest::addColumn<QString>("prefix");

    QTest::newRow("run CCO") << "runCCO" << "data" << QString();
    QTest::newRow("run CCO, data home with blanks") << "runCCO" << "my data home" << QString();
    QTest::newRow("restore UI") << "runCCORestoreUI" << "data" << QString();
    QTest::newRow("restore UI, data home with blanks") << "runCCORestoreUI" << "a b" << QString();
    QTest::newRow("restore") << "runCCORestore" << "data" << "POS-0042";
    QTest::newRow("restore, empty prefix") << "runCCORestore" << "data" << "";
    QTest::newRow("restore, prefix with blanks") << "runCCORestore" << "data" << " two  words ";
    QTest::newRow("restore, hostile prefix")
        << "runCCORestore" << "data"
        << "x; touch injected1 & touch injected2 | $(touch injected3) `touch injected4` "
           "'\"\ntouch injected5 $HOME *";
    QTest::newRow("restore, hostile prefix, data home with blanks")
        << "runCCORestore" << "data $(touch injected6) x" << "$(touch injected7)";
}

void tst_Launch::commandLine()
{
    QFETCH(QString, slot);
    QFETCH(QString, dataFolder);
    QFETCH(QString, prefix);

    DataHome home(dataFolder);
    QVERIFY(QDir().mkpath(home.jre()));
    for (const char *name : {"run.sh", "run_cco_restore.sh", "run_cco_restore_silent.sh"})
        QVERIFY(writeScript(home.cco() + QLatin1Char('/') + QLatin1String(name), kRecordingScript));

    CommandExecutor executor;
    Recorder recorder(executor);
    QString result;
    if (slot == QLatin1String("runCCORestore"))
        result = executor.runCCORestore(prefix);
    else
        QVERIFY(QMetaObject::invokeMethod(&executor, slot.toLatin1(), Q_RETURN_ARG(QString, result)));
    QCOMPARE(result, home.appData());
    QTRY_VERIFY2_WITH_TIMEOUT(recorder.ended(), qPrintable(recorder.events + recorder.text), 10000);
    QCOMPARE(recorder.endLine, QStringLiteral("The program ended with exit code 0."));

    QStringList expected;
    if (slot == QLatin1String("runCCORestoreUI"))
        expected = QStringList{"-ccoPath", home.cco()};
    else if (slot == QLatin1String("runCCORestore"))
        expected = QStringList{"-ccoPath", home.cco(), "-prefix", prefix};
    QCOMPARE(recordedArguments(home.cco()), expected);
    QCOMPARE(QString::fromUtf8(readFile(home.cco() + "/cwd")), home.cco());
    QCOMPARE(QString::fromUtf8(readFile(home.cco() + "/java_home")), home.jre());

    // Nothing in the values was run as a command.
    QDirIterator it(QDir(home.appData()).absolutePath() + "/../..", {"injected*"}, QDir::Files,
                    QDirIterator::Subdirectories);
    QVERIFY2(!it.hasNext(), qPrintable(it.hasNext() ? it.next() : QString()));
}

void tst_Launch::secondLaunchWhileRunning()
{
    DataHome home;
    QVERIFY(QDir().mkpath(home.jre()));
    QVERIFY(writeScript(home.cco() + "/run.sh", "echo $$ > \"$(dirname \"$0\")/pid\"\n"
                                                "echo running\nexec sleep 60"));
    QVERIFY(writeScript(home.cco() + "/run_cco_restore_silent.sh",
                        "touch \"$(dirname \"$0\")/restore-ran\""));

    CommandExecutor executor;
    Recorder recorder(executor);
    executor.runCCO();
    QTRY_VERIFY(recorder.text.contains("running"));
    const QByteArray pid = readFile(home.cco() + "/pid").trimmed();
    QVERIFY(!pid.isEmpty());

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(executor.runCCO(), home.appData());
    QCOMPARE(executor.runCCORestore(QStringLiteral("P1")), home.appData());
    QVERIFY2(timer.elapsed() < 5000, "a refused start must not wait");
    QCOMPARE(recorder.events, QStringLiteral("ooo"));
    QVERIFY(recorder.text.endsWith(
        "Not starting ./run.sh: another program is still running."
        "Not starting ./run_cco_restore_silent.sh: another program is still running."));
    QTest::qWait(300);
    QVERIFY(!QFile::exists(home.cco() + "/restore-ran"));

    // The first program is still the one running.
    QCOMPARE(::kill(pid.toInt(), 0), 0);
    ::kill(pid.toInt(), SIGKILL);
    QTRY_VERIFY(recorder.ended());
}

void tst_Launch::programEnd_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("kill");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("endLine");

    QTest::newRow("stop line, then exit")
        << QByteArray("echo 'STOP_CCO Bye'; sleep 0.2; exit 0") << false << "oSE"
        << "The program ended with exit code 0.";
    QTest::newRow("failing script") << QByteArray("echo failing; exit 3") << false << "oES"
                                    << "The program ended with exit code 3.";
    QTest::newRow("missing script") << QByteArray() << false << "oES"
                                    << "The program ended with exit code 127.";
    QTest::newRow("killed") << QByteArray("echo up; exec sleep 60") << true << "oES"
                            << "The program crashed (Process crashed).";
}

void tst_Launch::programEnd()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, kill);
    QFETCH(QString, events);
    QFETCH(QString, endLine);

    DataHome home;
    QVERIFY(QDir().mkpath(home.cco()));
    if (!script.isEmpty())
        QVERIFY(writeScript(home.cco() + "/run.sh", "echo $$ > pid\n" + script));

    CommandExecutor executor;
    Recorder recorder(executor);
    executor.runCCO();
    QTRY_VERIFY(!recorder.events.isEmpty());
    if (kill)
        QCOMPARE(::kill(readFile(home.cco() + "/pid").trimmed().toInt(), SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.ended(), 10000);
    QTest::qWait(100);
    QCOMPARE(recorder.events, events);
    QCOMPARE(recorder.endLine, endLine);
}

void tst_Launch::failedStart()
{
    DataHome home; // no CCO folder: the program cannot be started there
    CommandExecutor executor;
    Recorder recorder(executor);
    QSignalSpy output(&executor, &CommandExecutor::processOutputChanged);
    QVERIFY(output.isValid());

    QCOMPARE(executor.runCCO(), home.appData());
    QCOMPARE(output.count(), 1);
    const QString line = output.first().first().toString();
    QVERIFY2(line.startsWith("Could not start ./run.sh: ") && line.contains("chdir"),
             qPrintable(line));
    QTest::qWait(200);
    QCOMPARE(recorder.events, QStringLiteral("o"));
}

void tst_Launch::outputMonitoring_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("text");

    // Writes separated by a pause arrive as separate chunks.
    QTest::newRow("readiness line")
        << QByteArray("printf 'Web container started.\\n'") << "oRES" << "Web container started.\n";
    QTest::newRow("wrong case, no full stop")
        << QByteArray("printf 'web container started.\\n'; sleep 0.3; printf 'Web container started\\n'")
        << "ooES" << "web container started.\nWeb container started\n";
    QTest::newRow("marker split across chunks")
        << QByteArray("printf 'log: Web cont'; sleep 0.3; printf 'ainer started.\\n'") << "ooRES"
        << "log: Web container started.\n";
    QTest::newRow("marker twice in one chunk")
        << QByteArray("printf 'Web container started.\\nWeb container started.\\n'") << "oRES"
        << "Web container started.\nWeb container started.\n";
    QTest::newRow("marker in two chunks")
        << QByteArray("printf 'Web container started.\\n'; sleep 0.3; printf 'Web container started.\\n'")
        << "oRoRES" << "Web container started.\nWeb container started.\n";
    QTest::newRow("marker then other output")
        << QByteArray("printf 'STOP_CCO Bye\\n'; sleep 0.3; printf 'x\\n'; sleep 0.3; printf 'y\\n'")
        << "oSooE" << "STOP_CCO Bye\nx\ny\n";
    QTest::newRow("markers on standard error")
        << QByteArray("printf 'Web container started.\\nSTOP_CCO Bye\\n' >&2") << "oES"
        << "Web container started.\nSTOP_CCO Bye\n";
    QTest::newRow("both markers in one chunk")
        << QByteArray("printf 'Web container started.\\nSTOP_CCO Bye\\n'") << "oRSE"
        << "Web container started.\nSTOP_CCO Bye\n";
    QTest::newRow("zero byte inside a chunk")
        << QByteArray("printf 'abc\\0Web container started.\\n'") << "oRES"
        << "abcWeb container started.\n";
    QTest::newRow("4-byte character split across writes")
        << QByteArray("printf 'A\\xf0\\x9f'; sleep 0.3; printf '\\x98\\x80B\\n'") << "ooES"
        << QString::fromUtf8("A\xf0\x9f\x98\x80" "B\n");
}

void tst_Launch::outputMonitoring()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, events);
    QFETCH(QString, text);

    DataHome home;
    QVERIFY(writeScript(home.cco() + "/run.sh", script));
    CommandExecutor executor;
    Recorder recorder(executor);
    executor.runCCO();
    QTRY_VERIFY_WITH_TIMEOUT(recorder.ended(), 10000);
    QTest::qWait(100);
    QCOMPARE(recorder.events, events);
    QCOMPARE(recorder.text, text);
}

QTEST_GUILESS_MAIN(tst_Launch)
#include "tst_launch.moc"
