// Launching programs in the backend's long-lived process, and turning their
// output into signals.

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <signal.h>

namespace {

// What the backend signals, in order: "o" for an output chunk, "E" for the
// line that reports the end of the program, "R" readiness, "S" the stop
// line and "F" the program's end.
struct Recorder
{
    explicit Recorder(CommandExecutor &executor)
    {
        QObject::connect(&executor, &CommandExecutor::processOutputChanged, &executor, [this](const QString &output) {
            const bool end = output.startsWith(QLatin1String("The program "));
            events += end ? 'E' : 'o';
            (end ? endLines : text) += output;
        });
        QObject::connect(&executor, &CommandExecutor::desiredTextFound, &executor, [this] { events += 'R'; });
        QObject::connect(&executor, &CommandExecutor::ccoStopped, &executor, [this] { events += 'S'; });
        QObject::connect(&executor, &CommandExecutor::programEnded, &executor, [this] { events += 'F'; });
    }
    QString events;
    QString text;
    QString endLines;
};

} // namespace

// CCO's port for these tests: the views' tests serve on the real one.
constexpr quint16 kPort = 19993;

class tst_Launch : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void refusedAndFailedStarts();
    void output_data();
    void output();
    void logsNotAFolder_data();
    void logsNotAFolder();
};

void tst_Launch::commandLine_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("dataFolder");
    QTest::addColumn<QString>("prefix");

    QTest::newRow("run CCO, data home with blanks") << "runCCO"
                                                    << "my data home" << QString();
    QTest::newRow("restore UI") << "runCCORestoreUI"
                                << "data" << QString();
    QTest::newRow("restore, empty prefix") << "runCCORestore"
                                           << "data"
                                           << "";
    QTest::newRow("restore, hostile prefix and data home")
        << "runCCORestore"
        << "data $(touch injected1) x"
        << "x; touch injected2 & touch injected3 | $(touch injected4) `touch injected5` '\"\ntouch injected6 $HOME *";
}

void tst_Launch::commandLine()
{
    QFETCH(QString, slot);
    QFETCH(QString, dataFolder);
    QFETCH(QString, prefix);

    // Each script records its arguments (NUL-separated), working folder and JAVA_HOME.
    DataHome home(dataFolder);
    for (const char *name : {"run.sh", "run_cco_restore.sh", "run_cco_restore_silent.sh"})
        QVERIFY(writeScript(home.cco() + "/" + name,
                            "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > args\n"
                            "printf '%s|%s' \"$PWD\" \"$JAVA_HOME\" > where"));
    CommandExecutor executor;
    executor.setCcoPort(kPort);
    Recorder recorder(executor);
    QString result;
    if (slot == "runCCORestore")
        result = executor.runCCORestore(prefix);
    else
        QVERIFY(QMetaObject::invokeMethod(&executor, slot.toLatin1(), Q_RETURN_ARG(QString, result)));
    QCOMPARE(result, home.appData());
    QTRY_COMPARE(recorder.endLines, QStringLiteral("The program ended with exit code 0."));

    QStringList expected;
    if (slot != "runCCO")
        expected << "-ccoPath" << home.cco();
    if (slot == "runCCORestore")
        expected << "-prefix" << prefix;
    // Each argument ends in a NUL.
    const QByteArray recorded = readFile(home.cco() + "/args");
    const QStringList arguments = QString::fromUtf8(recorded.constData(), recorded.size()).split(QChar(0));
    QCOMPARE(arguments, expected << QString());
    QCOMPARE(QString::fromUtf8(readFile(home.cco() + "/where")), home.cco() + "|" + home.jre());
    // Nothing in the values was run as a command.
    QDirIterator it(home.scratch("."), {"injected*"}, QDir::Files, QDirIterator::Subdirectories);
    QVERIFY2(!it.hasNext(), qPrintable(it.hasNext() ? it.next() : QString()));
}

void tst_Launch::refusedAndFailedStarts()
{
    DataHome home;
    CommandExecutor executor;
    executor.setCcoPort(kPort);
    Recorder recorder(executor);
    // No CCO folder: the program cannot even be started there.
    QCOMPARE(executor.runCCO(), home.appData());
    QVERIFY2(recorder.text.startsWith("Could not start ./run.sh: ") && recorder.text.contains("chdir"),
             qPrintable(recorder.text));

    QVERIFY(writeScript(home.cco() + "/run.sh", "echo $$ > pid; echo running; exec sleep 60"));
    QVERIFY(writeScript(home.cco() + "/run_cco_restore_silent.sh", "touch restore-ran"));
    recorder.text.clear();
    executor.runCCO();
    QTRY_VERIFY(recorder.text.contains("running"));
    QElapsedTimer timer;
    timer.start();
    executor.runCCO();
    executor.runCCORestore(QStringLiteral("P1"));
    QVERIFY2(timer.elapsed() < 5000, "a refused start must not wait");
    QVERIFY(recorder.text.endsWith("Not starting ./run.sh: another program is still running."
                                   "Not starting ./run_cco_restore_silent.sh: another program is still running."));
    QTest::qWait(300);
    QCOMPARE(recorder.events, QStringLiteral("oooo"));
    QVERIFY(!QFile::exists(home.cco() + "/restore-ran"));
    // The first program is still the one running.
    QCOMPARE(::kill(readFile(home.cco() + "/pid").trimmed().toInt(), SIGKILL), 0);
    QTRY_COMPARE(recorder.endLines, QStringLiteral("The program crashed (Process crashed)."));

    // Nor does the restore tool run under a CCO this app did not start: the
    // runtime's program, working in the installation.
    QProcess elsewhere;
    QVERIFY2(startCcoElsewhere(elsewhere, home.jre() + "/bin/java", home.cco()), qPrintable(elsewhere.errorString()));
    executor.runCCORestore(QStringLiteral("P1"));
    const QRegularExpression refused("Not starting \\./run_cco_restore_silent\\.sh: CCO is running "
                                     "\\(pid \\d+: \\S*/bin/java 60\\)\\.$");
    QVERIFY2(recorder.text.contains(refused), qPrintable(recorder.text));
    elsewhere.kill();
    elsewhere.waitForFinished();
    QTest::qWait(300);
    QVERIFY(!QFile::exists(home.cco() + "/restore-ran"));
    // The same program run for anything else (a technician's java -version)
    // is not CCO: the restore tool runs.
    QVERIFY2(startCcoElsewhere(elsewhere, home.jre() + "/bin/java"), qPrintable(elsewhere.errorString()));
    executor.runCCORestore(QStringLiteral("P1"));
    QTRY_VERIFY2(QFile::exists(home.cco() + "/restore-ran"), qPrintable(recorder.text));
    elsewhere.kill();
    elsewhere.waitForFinished();
}

void tst_Launch::output_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("runs");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("endLines");

    const QString ok = "The program ended with exit code 0.";
    // Writes separated by a pause arrive as separate chunks.
    QTest::newRow("readiness line") << QByteArray("printf 'Web container started.\\n'") << 1 << "oREF"
                                    << "Web container started.\n"
                                    << ok;
    QTest::newRow("marker split across chunks")
        << QByteArray("printf 'log: Web cont'; sleep 0.3; printf 'ainer started.\\n'") << 1 << "oREF"
        << "log: Web container started.\n"
        << ok;
    QTest::newRow("stop line, then other output, then exit")
        << QByteArray("printf 'STOP_CCO Bye\\n'; sleep 0.3; printf 'x\\n'") << 1 << "oSoEF"
        << "STOP_CCO Bye\nx\n"
        << ok;
    QTest::newRow("markers on standard error")
        << QByteArray("printf 'Web container started.\\nSTOP_CCO Bye\\n' >&2") << 1 << "oEF"
        << "Web container started.\nSTOP_CCO Bye\n"
        << ok;
    QTest::newRow("zero byte inside a chunk") << QByteArray("printf 'abc\\0Web container started.\\n'") << 1 << "oREF"
                                              << "abcWeb container started.\n"
                                              << ok;
    QTest::newRow("4-byte character split across writes")
        << QByteArray("printf 'A\\xf0\\x9f'; sleep 0.3; printf '\\x98\\x80B\\n'") << 1 << "oEF"
        << QString::fromUtf8("A\xf0\x9f\x98\x80"
                             "B\n")
        << ok;
    QTest::newRow("failing script") << QByteArray("echo failing; exit 3") << 1 << "oEF"
                                    << "failing\n"
                                    << "The program ended with exit code 3.";
    QTest::newRow("killed") << QByteArray("echo up; kill -9 $$") << 1 << "oEF"
                            << "up\n"
                            << "The program crashed (Process crashed).";
    // The stop line of one run says nothing about the next.
    QTest::newRow("stop line, then a run that dies")
        << QByteArray("if [ -e ran ]; then exit 4; fi; touch ran; echo 'STOP_CCO Bye'") << 2 << "oSEFEF"
        << "STOP_CCO Bye\n"
        << ok + "The program ended with exit code 4.";
}

void tst_Launch::output()
{
    QFETCH(QByteArray, script);
    QFETCH(int, runs);
    QFETCH(QString, events);
    QFETCH(QString, text);
    QFETCH(QString, endLines);

    DataHome home;
    QVERIFY(writeScript(home.cco() + "/run.sh", script));
    CommandExecutor executor;
    executor.setCcoPort(kPort);
    Recorder recorder(executor);
    for (int run = 0; run < runs; ++run) {
        executor.runCCO();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.count('E') == run + 1, 10000);
    }
    QTest::qWait(100);
    // Output chunks in a row count as one: how the output is cut into
    // chunks depends on the machine's load.
    QCOMPARE(QString(recorder.events).replace(QRegularExpression("o+"), "o"), events);
    QCOMPARE(recorder.text, text);
    QCOMPARE(recorder.endLines, endLines);
}

void tst_Launch::logsNotAFolder_data()
{
    QTest::addColumn<bool>("link");
    QTest::newRow("a file") << false;
    QTest::newRow("a link out of the data folder") << true;
}

// Where logs is not a folder of the data folder, it is moved aside and a
// private one made, which CCO's output reaches; nothing outside is touched.
void tst_Launch::logsNotAFolder()
{
    QFETCH(bool, link);
    DataHome home;
    const QString logs = home.appData() + "/logs", outside = home.scratch("outside");
    QVERIFY(QDir().mkpath(home.appData()) && (link ? QFile::link(outside, logs) : writeFile(logs, "not a folder")));
    QVERIFY(writeScript(home.cco() + "/run.sh", "echo 'Web container started.'"));
    {
        CommandExecutor executor;
        executor.setCcoPort(kPort);
    executor.setCcoPort(kPort);
        Recorder recorder(executor);
        executor.runCCO();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.contains("RE"), 10000);
        QVERIFY2(recorder.text.startsWith("The data folder's logs was not a folder of its own: it was moved aside to "
                                          + logs + ".broken-"),
                 qPrintable(recorder.text));
        QCOMPARE(recorder.text.count("moved aside"), 1);
    }
    QVERIFY(QFileInfo(logs).isDir() && !QFileInfo(logs).isSymLink());
    QCOMPARE(QFileInfo(logs).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
    QVERIFY(readFile(logs + "/varnolet.log").contains("Web container started."));
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(QFileInfo(outside).permissions() & 0x0777, QFileDevice::Permissions(0x0755));
    QCOMPARE(QDir(home.appData()).entryList({"logs.broken-*"}, QDir::AllEntries | QDir::System).size(), 1);
}

QTEST_GUILESS_MAIN(tst_Launch)
#include "tst_launch.moc"
