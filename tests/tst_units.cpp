// The backend's parts that need no window and no CCO: finding CCO's lines
// in chunks, links in an unpacked installation, helper children, the output
// area's bound, and the output log.

#include "archives.h"
#include "ccooutput.h"
#include "childprocess.h"
#include "ccoprocess.h"
#include "ccoprobe.h"
#include "ccosupervisor.h"
#include "ccowatch.h"
#include "commandexecutor.h"
#include "dailyrestart.h"
#include "links.h"
#include "maintenancewindow.h"
#include "outputfollower.h"
#include "ownfolder.h"
#include "outputlog.h"
#include "outputmodel.h"
#include "portwait.h"
#include "processtree.h"
#include "statusfile.h"
#include "statusreport.h"
#include "tillconfig.h"
#include "tillhold.h"
#include "updates.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <thread>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

class tst_Units : public QObject
{
    Q_OBJECT

private slots:
    void markers_data();
    void markers();
    void restartDelays_data();
    void restartDelays();
    void realWaitsAsSaid();
    void roomToKeepPrevious_data();
    void roomToKeepPrevious();
    void everyHttpAnswerCounts_data();
    void everyHttpAnswerCounts();
    void links_data();
    void links();
    void removalNeverFollowsLinks();
    void childEndsWithItsParent();
    void failedHelperSaysFewLines();
    void unzipProgressIsHowFarItRead();
    void outputModel_data();
    void outputModel();
    void ccoOutputKeptAcrossRotationAndReopen();
    void logKeepsWholeLinesAndRotates();
    void logSaysWhenLinesAreLost();
    void status_data();
    void status();
    void statusNeverHalfWritten();
    void config_data();
    void config();
    void freeMoment_data();
    void freeMoment();
    void dailyRestart_data();
    void dailyRestart();
    void holdUntil_data();
    void holdUntil();
    void siteFiles_data();
    void siteFiles();
};

void tst_Units::markers_data()
{
    QTest::addColumn<QStringList>("chunks");
    // For each chunk: "R" readiness, "S" stop line, "-" neither.
    QTest::addColumn<QString>("found");

    QTest::newRow("readiness line") << QStringList{"Web container started.\n"} << "R";
    QTest::newRow("wrong case, no full stop")
        << QStringList{"web container started.\n", "Web container started\n"} << "--";
    QTest::newRow("split across chunks") << QStringList{"log: Web cont", "ainer started.\n"} << "-R";
    QTest::newRow("split in three") << QStringList{"Web con", "tainer sta", "rted."} << "--R";
    QTest::newRow("twice in one chunk") << QStringList{"Web container started.\nWeb container started.\n"} << "R";
    QTest::newRow("once in each of two chunks")
        << QStringList{"Web container started.\n", "Web container started.\n"} << "RR";
    QTest::newRow("not found again in the next chunk") << QStringList{"Web container started.", "x"} << "R-";
    QTest::newRow("stop line split") << QStringList{"STOP_CC", "O Bye\n"} << "-S";
    QTest::newRow("both in one chunk") << QStringList{"Web container started.\nSTOP_CCO Bye"} << "B";
}

void tst_Units::markers()
{
    QFETCH(QStringList, chunks);
    QFETCH(QString, found);
    MarkerScanner scanner;
    QString seen;
    for (const QString &chunk : chunks) {
        const MarkerScanner::Found f = scanner.scan(chunk);
        seen += f.ready && f.stopped ? 'B' : f.ready ? 'R' : f.stopped ? 'S' : '-';
    }
    QCOMPARE(seen, found);
}

void tst_Units::restartDelays_data()
{
    QTest::addColumn<int>("endsBefore");
    QTest::addColumn<qint64>("runMs");
    QTest::addColumn<qint64>("delay");
    QTest::newRow("first end") << 0 << qint64(1000) << qint64(5000);
    QTest::newRow("second") << 1 << qint64(1000) << qint64(10000);
    QTest::newRow("sixth") << 5 << qint64(1000) << qint64(160000);
    QTest::newRow("seventh: at most 5 minutes") << 6 << qint64(1000) << qint64(300000);
    QTest::newRow("twentieth") << 19 << qint64(1000) << qint64(300000);
    QTest::newRow("after a run just short of 10 minutes") << 6 << qint64(599999) << qint64(300000);
    QTest::newRow("after a 10-minute run: over again") << 6 << qint64(600000) << qint64(5000);
}

void tst_Units::restartDelays()
{
    QFETCH(int, endsBefore);
    QFETCH(qint64, runMs);
    QFETCH(qint64, delay);
    // The real delays, not the tests' shortened ones.
    int endsAfter = 0;
    QCOMPARE(CcoSupervisor::restartDelay(endsBefore, runMs, CcoSupervisor::Delays(), &endsAfter), delay);
    QCOMPARE(endsAfter, runMs >= 600000 ? 1 : endsBefore + 1);
}

// The real watch and wait figures, as the lines a technician reads say
// them: 6 missed answers of a look every 10 s with a 5-s deadline, and a
// port held by another looked at every 10 s.
void tst_Units::realWaitsAsSaid()
{
    const CcoSupervisor::Delays real;
    QVERIFY(CcoWatch::hungLine(real.liveness, 0, CcoProbe::kDefaultPort).contains(" for 60 seconds while it runs"));
    PortWait wait;
    QVERIFY(wait.hold("pid 1 (x)", CcoProbe::kDefaultPort, real.portLook, true).endsWith("Looking again every 10 seconds."));
}

void tst_Units::roomToKeepPrevious_data()
{
    QTest::addColumn<qint64>("available");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<bool>("room");
    const qint64 mb = 1000 * 1000;
    QTest::newRow("a tenth of a large disk and more") << 6000 * mb << 50000 * mb << true;
    QTest::newRow("500 MB, but not a tenth of the disk") << 4000 * mb << 50000 * mb << false;
    QTest::newRow("a tenth of a small disk, but not 500 MB") << 400 * mb << 2000 * mb << false;
    QTest::newRow("500 MB of a small disk") << 500 * mb << 2000 * mb << true;
}

// The previous installation is kept where that leaves a tenth of the disk
// and 500 MB free, the real figures.
void tst_Units::roomToKeepPrevious()
{
    QFETCH(qint64, available);
    QFETCH(qint64, total);
    QFETCH(bool, room);
    QCOMPARE(Updates::roomToKeep(available, total), room);
}

void tst_Units::everyHttpAnswerCounts_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("not found") << QByteArray("404 Not Found");
    QTest::newRow("server error") << QByteArray("500 Internal Server Error");
}

// Any HTTP answer is an answer: a CCO whose page says 404 or 500 is alive.
void tst_Units::everyHttpAnswerCounts()
{
    QFETCH(QByteArray, status);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 19994));
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        QTcpSocket *client = server.nextPendingConnection();
        connect(client, &QTcpSocket::readyRead, client, [client, status] {
            client->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            client->disconnectFromHost();
        });
    });
    QProcess cco;
    cco.start("sleep", {"30"});
    QVERIFY(cco.waitForStarted());
    CcoWatch watch;
    QSignalSpy answered(&watch, &CcoWatch::answered), hung(&watch, &CcoWatch::hung);
    watch.watch(cco.processId(), 19994, {100, 500, 2, 100, 100});
    QTRY_VERIFY(answered.size() >= 4);
    QCOMPARE(hung.size(), 0);
}

void tst_Units::links_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("target");
    // The failure's reason; empty: every link stays inside.
    QTest::addColumn<QString>("why");

    const QString out = "the entry %1 links to %2, outside the installation";
    QTest::newRow("inside") << "lib/current.jar"
                            << "cco.jar"
                            << "";
    QTest::newRow("up and back inside") << "lib/up"
                                        << "../lib/cco.jar"
                                        << "";
    QTest::newRow("the installation itself") << "self"
                                             << "."
                                             << "";
    QTest::newRow("absolute") << "lib/out"
                              << "/etc" << out.arg("lib/out", "/etc");
    QTest::newRow("leaving with ..") << "out"
                                     << "../.." << out.arg("out", "../..");
    QTest::newRow("leaving through a link") << "out"
                                            << "here/../escaped" << out.arg("out", "here/../escaped");
    QTest::newRow("sibling whose name begins with the installation's")
        << "lib/sibling"
        << "../../CustomerCheckout2/x" << out.arg("lib/sibling", "../../CustomerCheckout2/x");
}

void tst_Units::links()
{
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const QString root = dir.filePath("CustomerCheckout");
    QVERIFY(writeFile(root + "/lib/cco.jar", "jar") && writeFile(dir.filePath("CustomerCheckout2/x"), "x"));
    QVERIFY(QFile::link(".", root + "/here"));
    QVERIFY(QFile::link(target, root + "/" + link));
    const Outcome outcome = Links::allInside(root);
    QCOMPARE(outcome.ok(), why.isEmpty());
    QCOMPARE(outcome.why(), why);
}

void tst_Units::removalNeverFollowsLinks()
{
    // An installation of many files in nested folders, whose links lead to
    // files and a folder outside it, and nowhere.
    QTemporaryDir dir;
    const QString root = dir.filePath("CustomerCheckout.previous");
    for (int n = 0; n < 300; ++n)
        QVERIFY(writeFile(root + (n % 3 ? "/lib/" : "/lib/deep/er/") + QString::number(n), "x"));
    QVERIFY(writeFile(dir.filePath("outside/keep.txt"), "kept") && writeFile(dir.filePath("file.txt"), "kept"));
    QVERIFY(QFile::link(dir.filePath("outside"), root + "/lib/deep/config")
            && QFile::link(dir.filePath("file.txt"), root + "/file.txt") && QFile::link("nowhere", root + "/gone"));
    QVERIFY(OwnFolder::remove(root));
    QVERIFY(!OwnFolder::isThere(root));
    QCOMPARE(readFile(dir.filePath("outside/keep.txt")) + readFile(dir.filePath("file.txt")), QByteArray("keptkept"));
}

void tst_Units::childEndsWithItsParent()
{
    // A helper child, such as unzip, ends with the tool that started it.
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("child.pid");
    QProcess parent;
    parent.start(RUNCHILD, {"bash", "-c", "echo $$ > '" + pidFile + "'; exec sleep 60"});
    QVERIFY2(parent.waitForStarted(), qPrintable(parent.errorString()));
    QTRY_VERIFY(QFileInfo(pidFile).size() > 0);
    const QString stat = "/proc/" + readFile(pidFile).trimmed() + "/stat";
    QVERIFY(QFile::exists(stat));
    parent.terminate();
    QVERIFY(parent.waitForFinished());
    // Gone, or a zombie waiting to be reaped.
    QTRY_VERIFY2(!QFile::exists(stat) || readFile(stat).contains(") Z "),
                 "the child outlived the program that started it");
}

// A failed helper's output: its first and last lines, the reason last;
// unzip's unanswered question and its note on __MACOSX/ left out.
void tst_Units::failedHelperSaysFewLines()
{
    ChildProcess::Result result;
    for (int i = 1; i <= 16390; ++i)
        result.standardOutput += "  inflating: file" + QByteArray::number(i) + "\n";
    result.standardOutput += "file16391: write error (disk full?).  Continue? (y/n/^C) \nwrite error (disk full?).\n"
                             "caution: excluded filename not matched:  __MACOSX/*\n";
    const QStringList lines = result.outcome("unzip").why().split('\n');
    QCOMPARE(lines.size(), 11);
    QCOMPARE(lines.first(), QStringLiteral("inflating: file1"));
    QCOMPARE(lines[5], QStringLiteral("… 16,381 lines of unzip's output left out …"));
    QCOMPARE(lines.last(), QStringLiteral("write error (disk full?)."));
}

// The unpack's progress is how far unzip has read the zip's entries, never
// where it reads the central directory after them.
void tst_Units::unzipProgressIsHowFarItRead()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("cco/lib/a.bin"), QByteArray(1 << 20, 'a')));
    QVERIFY(run("zip", {"-q", "-0", "-r", "../cco.zip", "."}, dir.filePath("cco")));
    // An unzip that reads four tenths of the zip, then all of it, then
    // eight tenths, a while each, before the real one unpacks it.
    QVERIFY(writeScript(dir.filePath("bin/unzip"),
                        "size=$(stat -c %s \"$3\")\n"
                        "exec 3< \"$3\"; head -c $((size * 4 / 10)) <&3 >/dev/null; sleep 0.5\n"
                        "exec 3< \"$3\"; cat <&3 >/dev/null; sleep 0.5\n"
                        "exec 3< \"$3\"; head -c $((size * 8 / 10)) <&3 >/dev/null; sleep 0.5\n"
                        "exec 3<&-; exec /usr/bin/unzip \"$@\""));
    QVERIFY(QDir().mkpath(dir.filePath("out")));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.filePath("bin")) + ":" + path);
    QVector<double> seen;
    QString encrypted;
    const Outcome unzipped = Archives::unzip(
        dir.filePath("cco.zip"), dir.filePath("out"), [&](double share) { seen << share; }, &encrypted);
    qputenv("PATH", path);
    QVERIFY2(unzipped.ok(), qPrintable(unzipped.why()));
    QCOMPARE(QFileInfo(dir.filePath("out/lib/a.bin")).size(), qint64(1 << 20));
    auto near = [&](double share) {
        return std::any_of(seen.begin(), seen.end(), [share](double s) { return qAbs(s - share) < 0.01; });
    };
    QStringList shares;
    for (double share : seen)
        shares << QString::number(share, 'f', 3);
    QVERIFY2(near(0.4) && near(0.8) && std::is_sorted(seen.begin(), seen.end()) && seen.last() <= 1,
             qPrintable("progress seen: " + shares.join(' ')));
}

void tst_Units::outputModel_data()
{
    QTest::addColumn<QStringList>("chunks");
    // What the area shows with a limit of 20 characters.
    QTest::addColumn<QString>("shown");

    QTest::newRow("a chunk a paragraph") << QStringList{"one\n", "two"} << "one\ntwo";
    QTest::newRow("oldest lines go whole")
        << QStringList{"line 1\n", "line 2\n", "line 3\n", "line 4\n", "line 5"} << "line 3\nline 4\nline 5";
    QTest::newRow("one chunk over the limit keeps its last lines")
        << QStringList{"a\nbb\nccc\ndddd\neeeee\nffffff\ngggggggg\n"} << "ffffff\ngggggggg";
    QTest::newRow("a line longer than the limit keeps its end")
        << QStringList{"start", QString(30, 'x') + "end"} << QString(17, 'x') + "end";
    QTest::newRow("empty chunks add nothing") << QStringList{"", "one", ""} << "one";
}

void tst_Units::outputModel()
{
    QFETCH(QStringList, chunks);
    QFETCH(QString, shown);
    OutputModel model(nullptr, 20);
    QSignalSpy changes(&model, &OutputModel::textChanged);
    for (const QString &chunk : chunks)
        model.append(chunk);
    // The first chunk is shown at once, the rest within a tenth of a second.
    QVERIFY(changes.count() <= 1);
    QTRY_COMPARE(model.text(), shown);
    QCOMPARE(changes.count(), chunks.size() > 1 && chunks.last() != "" ? 2 : 1);
    model.clear();
    QCOMPARE(model.text(), QString());
    model.appendNow("now");
    QCOMPARE(model.text(), QStringLiteral("now"));
}

void tst_Units::logKeepsWholeLinesAndRotates()
{
    DataHome home;
    {
        // 12 MB of lines, each saying its place, each cut in two by the
        // chunks it arrives in; the pieces are handed over 1 Mi characters
        // at a time.
        // Files written before with modes that let others read them.
        QVERIFY(writeFile(home.appData() + "/logs/varnolet.log.1", "", QFileDevice::Permissions(0x6644)));
        QVERIFY(QFile::setPermissions(home.appData() + "/logs", QFileDevice::Permissions(0x7755)));
        OutputLog log(home.appData());
        log.append("0" + QString(49, 'x'));
        for (int i = 1; i < 100000; ++i)
            log.append(QString(50, 'x') + "\n" + QString::number(i % 10) + QString(49, 'x'));
        // A line of the app's own ends an unfinished line of the output.
        log.append(QString(50, 'x') + "\n");
        log.append("a line of the app's own", OutputLog::Line);
        // Characters of three bytes each, a line of them handed over at once.
        log.append(QString(1 << 20, QChar(0x20AC)) + "\n");
        log.append("last line\n");
        log.flush();
    }
    const QString logs = home.appData() + "/logs/";
    QCOMPARE(QDir(logs).entryList(QDir::Files),
             (QStringList{"events.log", "varnolet.log", "varnolet.log.1", "varnolet.log.2", "varnolet.log.3"}));
    // The log's folder and files are its owner's alone.
    QCOMPARE(QFileInfo(logs).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
    // Rotated before a file would pass 5,000,000 bytes, not later, not much earlier.
    QCOMPARE(QFileInfo(logs + "varnolet.log.2").size(), 5000000);
    for (const QString &name : QDir(logs).entryList(QDir::Files)) {
        QVERIFY2(QFileInfo(logs + name).size() <= 5000000, qPrintable(name));
        QCOMPARE(QFileInfo(logs + name).permissions() & 0x0777, QFileDevice::Permissions(0x0600));
    }

    // Whole lines, stamped, in order, across the rotated files.
    const QStringList tail = OutputLog::tail(home.appData(), 60000);
    QCOMPARE(tail.size(), 60000);
    const QRegularExpression stamped("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (\\d)x{99}$");
    for (int i = 0; i + 4 < tail.size(); ++i) {
        const QRegularExpressionMatch line = stamped.match(tail[i]);
        QVERIFY2(line.hasMatch(), qPrintable(tail[i].left(60)));
        QCOMPARE((line.captured(1).toInt() + 1) % 10, stamped.match(tail[i + 1]).captured(1).toInt());
    }
    QVERIFY(tail[tail.size() - 3].endsWith(" a line of the app's own"));
    QVERIFY(tail.last().endsWith(" last line"));

    QProcess tool;
    tool.start(VARNOLET_PROVISION, {"log", "2"});
    QVERIFY(tool.waitForFinished());
    QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
             tail.mid(tail.size() - 2));
    // The app's own line outlives the flood in a log of its own.
    tool.start(VARNOLET_PROVISION, {"log", "--events", "5"});
    QVERIFY(tool.waitForFinished());
    QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
             QStringList{tail[tail.size() - 3]});
}

void tst_Units::logSaysWhenLinesAreLost()
{
    DataHome home;
    CommandExecutor executor;
    QStringList output;
    connect(&executor, &CommandExecutor::processOutputChanged, this, [&](const QString &line) { output << line; });
    const QString path = home.appData() + "/logs/varnolet.log";
    executor.runCCO(); // says it cannot start: there is no installation
    QTRY_VERIFY(QFileInfo(path).size() > 0);
    // The disk is full but for a part of the next line.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit full{rlim_t(QFileInfo(path).size() + 10), saved.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    executor.runCCO();
    executor.runCCO();
    QTRY_COMPARE(output.filter("The log cannot be written (").size(), 1);
    QTest::qWait(300);
    QCOMPARE(output.filter("The log cannot be written (").size(), 1);
    setrlimit(RLIMIT_FSIZE, &saved);
    executor.runCCO();
    QTRY_COMPARE(output.last(), QStringLiteral("The log can be written again."));
    QCOMPARE(output.size(), 6);
    QTRY_VERIFY(OutputLog::tail(home.appData(), 1).value(0).endsWith(" The log can be written again."));
    // No line was torn: what part of one the disk took went with it.
    const QStringList lines = OutputLog::tail(home.appData(), 10);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[1].mid(24), lines[0].mid(24));
}

void tst_Units::status_data()
{
    QTest::addColumn<QString>("state");
    // The heartbeat's age in seconds, negative ahead; -1: no status file,
    // -2: not JSON, -3: a FIFO, -4: a folder, -5: larger than any status.
    QTest::addColumn<int>("age");
    // Minutes in the state; -1: idle with the installation check failed.
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("exitStatus");
    // How the plugin line's reason begins; empty: not looked at.
    QTest::addColumn<QString>("reason");

    QTest::newRow("ready") << "ready" << 5 << 0 << 0 << "CCO ready since ";
    QTest::newRow("starting") << "starting" << 5 << 0 << 1 << "";
    QTest::newRow("restarting") << "restarting" << 5 << 0 << 1 << "restarting after exit code 3 (attempt 2)";
    QTest::newRow("an import runs") << "operation" << 5 << 0 << 1 << "";
    QTest::newRow("stopped") << "stopped" << 5 << 0 << 2 << "";
    QTest::newRow("never got ready") << "not-ready" << 5 << 0 << 2 << "";
    QTest::newRow("another program on CCO's port") << "stranger" << 5 << 0 << 2 << "";
    QTest::newRow("hung") << "hung" << 5 << 0 << 2 << "";
    QTest::newRow("idle: the countdown cancelled a minute ago") << "idle" << 5 << 1 << 1 << "";
    QTest::newRow("idle for 16 minutes") << "idle" << 5 << 16 << 2 << "";
    QTest::newRow("idle: the installation check failed") << "idle" << 5 << -1 << 2 << "";
    QTest::newRow("ready, but the app is gone") << "ready" << 200 << 0 << 2 << "the app is gone: no status for 20";
    QTest::newRow("ready, the clock stepped back 4 minutes") << "ready" << -240 << 0 << 0
                                                              << "CCO ready since ";
    QTest::newRow("a heartbeat 10 minutes ahead") << "ready" << -600 << 0 << 3 << "";
    QTest::newRow("no status") << "" << -1 << 0 << 3 << "no status file";
    QTest::newRow("not JSON") << "" << -2 << 0 << 3 << "";
    QTest::newRow("a FIFO, not waited on") << "" << -3 << 0 << 3 << "";
    QTest::newRow("a folder") << "" << -4 << 0 << 3 << "";
    QTest::newRow("larger than any status") << "" << -5 << 0 << 3 << "";
}

void tst_Units::status()
{
    QFETCH(QString, state);
    QFETCH(int, age);
    QFETCH(int, minutes);
    QFETCH(int, exitStatus);
    QFETCH(QString, reason);
    DataHome home;
    const QDateTime now = QDateTime::currentDateTime();
    const QString beat = now.addSecs(-age).toOffsetFromUtc(3600).toString(Qt::ISODate);
    const bool unreadable = age < 0 && age >= -5;
    if (!unreadable)
        QVERIFY(writeFile(StatusFile::path(home.appData()),
                          QString("{\"state\": \"%1\", \"heartbeat\": \"%2\", \"since\": \"%3\", \"restarts24h\": 2, "
                                  "\"freeBytes\": 1000, \"installation\": {\"checkPassed\": %4, \"trial\": true, "
                                  "\"previousKept\": true, \"importedAt\": \"%3\", \"sha256\": \"ab\"}, "
                                  "\"version\": \"1.0\", \"lastEnd\": \"exit code 3\", \"restartAttempt\": 2, "
                                  "\"counters\": {\"restarts\": {\"hung\": 1}, \"rollbacks\": 1}, "
                                  "\"update\": {\"pending\": {\"since\": \"%3\"}}, \"hold\": null}")
                              .arg(state, beat, now.addSecs(-60 * qMax(minutes, 0)).toString(Qt::ISODate),
                                   minutes < 0 ? "false" : "true")
                              .toUtf8()));
    else if (age == -2)
        QVERIFY(writeFile(StatusFile::path(home.appData()), "{\"state\": \"ready\""));
    QVERIFY(QDir().mkpath(home.appData()));
    if (age == -3)
        QCOMPARE(::mkfifo(QFile::encodeName(StatusFile::path(home.appData())).constData(), 0600), 0);
    else if (age == -4)
        QVERIFY(QDir().mkpath(StatusFile::path(home.appData())));
    else if (age == -5)
        QVERIFY(writeFile(StatusFile::path(home.appData()),
                          "{\"state\": \"ready\", \"x\": \"" + QByteArray(StatusReport::kLargestBytes, 'x') + "\"}"));
    for (const QString &format : {"", "--json", "--prom"}) {
        QProcess tool;
        tool.start(VARNOLET_PROVISION, format.isEmpty() ? QStringList{"status"} : QStringList{"status", format});
        QVERIFY2(tool.waitForFinished(5000), "varnolet-provision status must never wait on its file");
        QCOMPARE(tool.exitCode(), exitStatus);
        const QByteArray printed = tool.readAllStandardOutput();
        if (format == "--json" && unreadable)
            QCOMPARE(QJsonDocument::fromJson(printed).object().value("state").toString(), QStringLiteral("unknown"));
        // A plugin's first line: the word of the exit code, a reason, and
        // performance data a plugin-based check graphs.
        static const QRegularExpression plugin(
            "^VARNOLET (OK|WARNING|CRITICAL|UNKNOWN) - [^|\\n]+ \\| "
            "'restarts_24h'=(\\d+|U);;;0 'free_bytes'=(\\d+B|U);;;0 "
            "'heartbeat_age'=(-?\\d+s|U);;-300:180 'state_seconds'=(-?\\d+s|U)\\n");
        const QRegularExpressionMatch line = plugin.match(QString::fromUtf8(printed));
        if (format.isEmpty()) {
            QVERIFY2(line.hasMatch(), printed.constData());
            QCOMPARE(line.captured(1), QStringList({"OK", "WARNING", "CRITICAL", "UNKNOWN"}).at(exitStatus));
            QVERIFY2(printed.mid(printed.indexOf(" - ") + 3).startsWith(reason.toUtf8()), printed.constData());
        }
        if (format != "--prom")
            continue;
#ifdef PROMTOOL
        // Prometheus' own linter finds nothing to say.
        QProcess lint;
        lint.start(PROMTOOL, {"check", "metrics"});
        lint.write(printed);
        lint.closeWriteChannel();
        QVERIFY(lint.waitForFinished());
        const QByteArray said = lint.readAllStandardOutput() + lint.readAllStandardError();
        QVERIFY2(lint.exitCode() == 0 && said.isEmpty(), said.constData());
#endif
        // Read by a real Prometheus parser: up, the state, the restarts;
        // down, where the status cannot be read.
        QProcess parser;
        parser.start("/usr/bin/python3",
                     {"-c",
                      "import sys\nfrom prometheus_client.parser import text_string_to_metric_families as f\n"
                      "for m in f(sys.stdin.read()):\n"
                      "    for s in m.samples:\n"
                      "        print(s.name, s.labels.get('state', ''), int(s.value))"});
        parser.write(printed);
        parser.closeWriteChannel();
        QVERIFY(parser.waitForFinished());
        const QString samples = parser.readAllStandardOutput();
        QVERIFY2(parser.exitCode() == 0, qPrintable(parser.readAllStandardError()));
        QCOMPARE(samples.contains("varnolet_up  1\n"), !unreadable && age < 180 && age >= -300);
        QCOMPARE(samples.contains("varnolet_status_readable  1\n"), !unreadable);
        if (unreadable)
            continue;
        QVERIFY2(samples.contains(QString("varnolet_state %1 1\n").arg(state)), qPrintable(samples));
        QVERIFY(samples.contains("varnolet_cco_restarts_24h  2\n") && samples.contains("varnolet_free_bytes  1000\n"));
        // Every digit of the heartbeat's time.
        QVERIFY2(samples.contains(QString("varnolet_heartbeat_timestamp_seconds  %1\n")
                                      .arg(QDateTime::fromString(beat, Qt::ISODate).toSecsSinceEpoch())),
                 qPrintable(samples));
    }
}

void tst_Units::statusNeverHalfWritten()
{
    DataHome home;
    StatusFile status;
    // A reader on another thread all the while the file is rewritten.
    QAtomicInt stop = 0, reads = 0, broken = 0;
    std::thread reader([&] {
        QJsonObject read;
        while (!stop) {
            reads += 1;
            broken += !StatusReport::read(StatusFile::path(home.appData()), &read) || read.value("state") != "idle";
        }
    });
    for (int i = 0; i < 300; ++i)
        status.write(true);
    stop = 1;
    reader.join();
    QVERIFY(reads > 0);
    QCOMPARE(int(broken), 0);
}

// CCO's output through the real varnolet-run, its files moved aside at
// 1,000 bytes, followed by one app that is then closed, and by the next one.
void tst_Units::ccoOutputKeptAcrossRotationAndReopen()
{
    DataHome home;
    QDir().mkpath(home.appData() + "/logs");
    const QString out = CcoOutput::outputFile(home.appData());
    // Four bursts of 700 bytes, each one write and in a file of its own; the third, the
    // same bytes as the second, written while no app follows: only the inode
    // tells the new file from the one read last.
    const QString script = "burst() { printf \"$1-%03d\\n\" $(seq 1 100) > burst; cat burst; }\n"
                           "burst b1; sleep 0.3; burst b2; while [ ! -e closed ]; do sleep 0.05; done\n"
                           "burst b2; while [ ! -e reopened ]; do sleep 0.05; done; burst b4; echo oops >&2";
    QString expected;
    for (const char *burst : {"b1", "b2", "b2", "b4"})
        for (int i = 1; i <= 100; ++i)
            expected += QString::asprintf("%s-%03d\n", burst, i);
    QProcess runner;
    // Its program goes with it, also when the test fails.
    const auto end = qScopeGuard([&] { ProcessTree::signal(ProcessTree::of(runner.processId()), SIGKILL); });
    runner.setWorkingDirectory(home.appData());
    QString seen;
    // Written before any app followed: not shown.
    QVERIFY(writeFile(out, "an older run\n"));
    auto first = std::make_unique<CcoOutput>(home.appData());
    connect(first.get(), &CcoOutput::output, this, [&](const QString &text) { seen += text; });
    first->follow();
    first->poll();
    runner.start(CcoProcess::runner(), {out, CcoOutput::errorFile(home.appData()), "1000", "/bin/bash", "-c", script});
    QVERIFY2(runner.waitForStarted(), qPrintable(runner.errorString()));
    QTRY_VERIFY(seen.endsWith("b2-100\n"));
    first.reset(); // the app is closed
    QVERIFY(writeFile(home.appData() + "/closed", ""));
    QTRY_VERIFY(readFile(out + ".1") == readFile(out));
    CcoOutput second(home.appData());
    connect(&second, &CcoOutput::output, this, [&](const QString &text) { seen += text; });
    second.follow();
    second.poll();
    QCOMPARE(seen, expected.left(2100));
    QVERIFY(writeFile(home.appData() + "/reopened", ""));
    QVERIFY(runner.waitForFinished() && runner.exitCode() == 0);
    QTRY_VERIFY(seen.endsWith("oops\n"));
    QCOMPARE(seen, expected + "oops\n");
    QVERIFY(QFileInfo(out).size() <= 1000 && QFileInfo(out + ".1").size() <= 1000);

    // A file that takes no more (a full disk; here a limit of 2,048 bytes):
    // the program goes on, and its next file says what was lost.
    QVERIFY(
        run("bash",
            {"-c", "ulimit -f 2; exec \"$0\" \"$@\"", CcoProcess::runner(), out, CcoOutput::errorFile(home.appData()),
             "2048", "/bin/bash", "-c", "head -c 3000 /dev/zero | tr '\\0' a; sleep 0.2; echo after"}));
    QCOMPARE(readFile(out), QByteArray("\n[952 bytes of output were lost: File too large]\nafter\n"));

    // A file given the inode of the one read before it was deleted is read
    // from its start.
    struct stat st;
    QVERIFY(writeFile(out, "a new file\n") && ::stat(QFile::encodeName(out).constData(), &st) == 0);
    OutputFollower follower(out);
    follower.resume({st.st_ino, 6, "other"});
    QCOMPARE(follower.take(100), QByteArray("a new file\n"));

    // A reader that fell behind a backlog of more than the two files kept:
    // its own file moved aside twice, and the readiness line in FILE.1
    // under a newer file. The rest of its file, then FILE.1 and the file
    // in its place, in order; the readiness line counted.
    DataHome behind;
    const QString late = CcoOutput::outputFile(behind.appData());
    QVERIFY(writeFile(late, "read before\n"));
    CcoOutput reader(behind.appData());
    QString read;
    connect(&reader, &CcoOutput::output, this, [&](const QString &text) { read += text; });
    QSignalSpy ready(&reader, &CcoOutput::ready);
    reader.poll();
    // As the runner moves a file aside.
    auto rotate = [&](const QByteArray &next) {
        return ::rename(QFile::encodeName(late).constData(), QFile::encodeName(late + ".1").constData()) == 0
            && writeFile(late, next);
    };
    QFile own(late);
    QVERIFY(own.open(QIODevice::Append) && own.write("rest of it\n") == 11);
    own.close();
    QVERIFY(rotate("never read\n") && rotate("Web container started.\n") && rotate("after it\n"));
    for (int i = 0; i < 3; ++i)
        reader.poll();
    QCOMPARE(read, QString("rest of it\nWeb container started.\nafter it\n"));
    QCOMPARE(ready.count(), 1);
}

QTEST_GUILESS_MAIN(tst_Units)

void tst_Units::config_data()
{
    QTest::addColumn<QByteArray>("text"); // "dir": a folder where the file would be
    // The lines of `config check`, each the start of one, "F" for the file.
    QTest::addColumn<QStringList>("faults");
    // One line of `config show`.
    QTest::addColumn<QString>("shown");

    QTest::newRow("valid, window across midnight and days")
        << QByteArray("; a shop opening at 6:00\n[start]\ncountdown = 2\n[watch]\nreadiness = 4m\nmisses = 4\n"
                      "[maintenance]\nwindow = Mon-Fri 22:00-06:00; Sat,Sun 20:00-08:00\nidle = 15\n"
                      "dailyRestart = 04:30\n")
        << QStringList() << "trial.window = 240  # default";
    QTest::newRow("unknown key") << QByteArray("[start]\ncountdwn = 2\n")
                                 << QStringList{"F:2: unknown key 'countdwn'; ignored"} << "start.countdown = 5  # default";
    QTest::newRow("key outside its section") << QByteArray("countdown = 2\n")
                                             << QStringList{"F:1: 'countdown' belongs in [start]; ignored"}
                                             << "start.countdown = 5  # default";
    QTest::newRow("value that does not parse")
        << QByteArray("[watch]\nmisses = many\ninterval = 5 minutes\n")
        << QStringList{"F:2: misses: 'many' is not a whole number; default 6 used",
                       "F:3: interval: '5 minutes' is not a duration (90s, 4m, 1h); default 10 used"}
        << "watch.interval = 10  # default";
    QTest::newRow("out of range") << QByteArray("[start]\ncountdown = -1\n[watch]\nmisses = 0\n[maintenance]\n"
                                                "window = 25:00-26:00\nwindow2 = 1\n")
                                  << QStringList{"F:2: countdown: '-1' is out of range (0 to 3600 seconds); default 5 used",
                                                 "F:4: misses: '0' is out of range (1 to 100); default 6 used",
                                                 "F:6: window: '25:00-26:00' is not a window (HH:MM-HH:MM); none used",
                                                 "F:7: unknown key 'window2'; ignored"}
                                  << "maintenance.window = (none)  # default";
    QTest::newRow("days that are not days") << QByteArray("[maintenance]\nwindow = Mon-Fry 22:00-06:00\n")
                                            << QStringList{"F:2: window: 'Mon-Fry' are not days"}
                                            << "maintenance.window = (none)  # default";
    QTest::newRow("key set twice: neither") << QByteArray("[start]\ncountdown = 2\ncountdown = 3\n")
                                            << QStringList{"F:3: 'countdown' is set again (first on line 2)"}
                                            << "start.countdown = 5  # default";
    QTest::newRow("units") << QByteArray("[restart]\nfirst = 90s\nlongest = 1h\n[maintenance]\nidle = 1h\n")
                           << QStringList() << "restart.longest = 3600  # varnolet.conf:3";
    QTest::newRow("empty file") << QByteArray() << QStringList() << "trial.deaths = 3  # default";
    QTest::newRow("not INI") << QByteArray("{\"start\": {\"countdown\": 2}}\n")
                             << QStringList{"F:1: not a setting (key = value) nor a [section]; ignored"}
                             << "start.countdown = 5  # default";
    QTest::newRow("unreadable") << QByteArray("dir") << QStringList{"F: cannot be read ("}
                                << "start.countdown = 5  # default";
}

// Through the tool a fleet's scripts run; the app reads the file the same way.
void tst_Units::config()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, faults);
    QFETCH(QString, shown);
    DataHome home;
    const QString file = TillConfig::defaultPath();
    QVERIFY(text == "dir" ? QDir().mkpath(file) : writeFile(file, text));
    for (const QString &verb : {"check", "show"}) {
        QProcess tool;
        tool.start(VARNOLET_PROVISION, {"config", verb});
        QVERIFY(tool.waitForFinished(5000));
        const QStringList lines = QString::fromUtf8(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        if (verb == QLatin1String("show")) {
            QVERIFY2(lines.contains(shown), qPrintable(lines.join('\n')));
            QCOMPARE(lines.size(), TillConfig::keys().size());
            continue;
        }
        QCOMPARE(tool.exitCode(), faults.isEmpty() ? 0 : 1);
        QCOMPARE(lines.size(), faults.size());
        for (int i = 0; i < faults.size(); ++i)
            QVERIFY2(lines[i].startsWith(QString(faults[i]).replace(QRegularExpression("^F"), file)), qPrintable(lines[i]));
    }
}

#include "tst_units.moc"

void tst_Units::freeMoment_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("now"); // 2026-12-07 is a Monday
    QTest::addColumn<QString>("hold");
    QTest::addColumn<int>("touched"); // minutes ago; -1: never
    QTest::addColumn<QString>("why"); // empty: free
    const QString week = "Mon-Fri 22:00-06:00; Sat,Sun 20:00-08:00";
    QTest::newRow("no window, never touched") << "" << "2026-12-07 12:00" << "" << -1 << "";
    QTest::newRow("across midnight, from a weekday") << week << "2026-12-08 03:00" << "" << -1 << "";
    QTest::newRow("before the start") << week << "2026-12-07 21:59" << "" << -1 << "outside the window";
    QTest::newRow("at the end") << week << "2026-12-08 06:00" << "" << -1 << "outside the window";
    QTest::newRow("Saturday morning, from Friday night") << week << "2026-12-12 05:30" << "" << -1 << "";
    QTest::newRow("Monday morning, from Sunday night") << week << "2026-12-14 07:59" << "" << -1 << "";
    QTest::newRow("days across the week's end") << "Fri-Mon 12:00-13:00" << "2026-12-13 12:30" << "" << -1 << "";
    QTest::newRow("a day outside them") << "Fri-Mon 12:00-13:00" << "2026-12-09 12:30" << "" << -1 << "outside the window";
    QTest::newRow("held") << "" << "2026-12-07 12:00" << "stocktake" << -1 << "held: stocktake";
    QTest::newRow("touched 9 minutes ago") << "" << "2026-12-07 12:00" << "" << 9 << "in use";
    QTest::newRow("touched 10 minutes ago") << "" << "2026-12-07 12:00" << "" << 10 << "";
}

void tst_Units::freeMoment()
{
    QFETCH(QString, window);
    QFETCH(QString, now);
    QFETCH(QString, hold);
    QFETCH(int, touched);
    QVERIFY(MaintenanceWindow::fault(window).isEmpty() || window.isEmpty());
    const qint64 idle = touched < 0 ? MaintenanceWindow::kNeverTouched : touched * 60000LL;
    const MaintenanceWindow::Freedom freedom = MaintenanceWindow::parse(window).freedom(
        QDateTime::fromString(now, "yyyy-MM-dd HH:mm"), hold, !hold.isEmpty(), idle, 10);
    QTEST(freedom.why, "why");
    QCOMPARE(freedom.free, freedom.why.isEmpty());
}

void tst_Units::dailyRestart_data()
{
    // Looks, each "DAY HH:MM flags": o the window open, f free with the page
    // shown, n CCO started afresh just before; and what each came to: - none,
    // R the restart, L left for tomorrow.
    QTest::addColumn<QStringList>("looks");
    QTest::addColumn<QString>("steps");
    QTest::newRow("taken once") << QStringList{"0 02:59 of", "0 03:00 of", "0 03:01 of", "1 02:59 of"} << "-R--";
    QTest::newRow("not before the first look") << QStringList{"0 03:30 of", "1 03:00 of"} << "-R";
    QTest::newRow("held, then caught up") << QStringList{"0 02:59 of", "0 03:00 o", "0 03:40 o", "0 03:41 of"} << "---R";
    QTest::newRow("not free within the window: left, said once")
        << QStringList{"0 02:59 of", "0 03:00 o", "0 04:00 ", "0 05:00 ", "1 03:00 of"} << "--L-R";
    QTest::newRow("the window opens after the time") << QStringList{"0 02:00 ", "0 03:00 ", "0 04:00 of"} << "--R";
    QTest::newRow("a fresh start needs none") << QStringList{"0 02:59 of", "0 03:01 ofn", "0 03:02 of"} << "---";
    QTest::newRow("held a whole day") << QStringList{"0 02:59 of", "0 03:00 o", "1 03:00 o", "1 03:05 of"} << "--LR";
}

void tst_Units::dailyRestart()
{
    QFETCH(QStringList, looks);
    DailyRestart daily;
    QString steps;
    for (const QString &look : looks) {
        const QDateTime now = QDateTime(QDate(2026, 12, 7).addDays(look.left(1).toInt()),
                                        QTime::fromString(look.mid(2, 5), "HH:mm"));
        const QString flags = look.mid(8);
        if (flags.contains('n'))
            daily.fresh(now.addSecs(-1));
        const DailyRestart::Step step = daily.look(now, 3 * 60, flags.contains('o'), flags.contains('f'));
        steps += step == DailyRestart::Step::Restart ? "R" : step == DailyRestart::Step::LeftForTomorrow ? "L" : "-";
    }
    QTEST(steps, "steps");
}

void tst_Units::holdUntil_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("until"); // from 2026-12-08 15:00; empty: refused
    QTest::newRow("a time to come today") << "18:00" << "2026-12-08 18:00";
    QTest::newRow("a time past: tomorrow") << "9:30" << "2026-12-09 09:30";
    QTest::newRow("a duration") << "90m" << "2026-12-08 16:30";
    QTest::newRow("days") << "1d" << "2026-12-09 15:00";
    QTest::newRow("a date and time") << "2026-12-24T18:00" << "2026-12-24 18:00";
    QTest::newRow("a date past") << "2026-12-01T18:00" << "";
    QTest::newRow("no unit") << "90" << "";
}

void tst_Units::holdUntil()
{
    QFETCH(QString, text);
    QDateTime until;
    const bool parsed = TillHold::parseUntil(text, QDateTime(QDate(2026, 12, 8), QTime(15, 0)), &until);
    QTEST(parsed ? until.toString("yyyy-MM-dd HH:mm") : QString(), "until");
}

void tst_Units::siteFiles_data()
{
    // Calls of varnolet-provision in a row, "ZIP" for a zip of an installation;
    // each one's exit code and first line.
    QTest::addColumn<QList<QStringList>>("calls");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("set before any installation, listed, removed")
        << QList<QStringList>{{"site", "set", "config/pos.properties", "FILE"}, {"site", "list"},
                              {"site", "remove", "config/pos.properties"}, {"site", "list"}}
        << QStringList{"0 Site file config/pos.properties set. It is laid over the installation when one is imported.",
                       "0 3b51d9d925597246ad9cad964a2d4ca7a2d9ac636d0dc6e81560f0ba6aff21e4  config/pos.properties",
                       "0 Site file config/pos.properties removed. The installation keeps its copy until the next import.",
                       "0 "};
    QTest::newRow("paths that leave the installation")
        << QList<QStringList>{{"site", "set", "../x", "FILE"}, {"site", "set", "/etc/passwd", "FILE"},
                              {"site", "set", "config/../../x", "FILE"}, {"site", "remove", "x"}}
        << QStringList{"1 Nothing was changed: '../x' does not name a file inside the installation.",
                       "1 Nothing was changed: '/etc/passwd' is absolute: a path inside the installation is relative.",
                       "1 Nothing was changed: 'config/../../x' does not name a file inside the installation.",
                       "1 Nothing was changed: there is no site file x."};
    QTest::newRow("the same zip twice, a site file laid over it at once")
        << QList<QStringList>{{"import", "ZIP", "--if-changed"}, {"import", "ZIP", "--if-changed"},
                              {"site", "set", "config/pos.properties", "FILE"}}
        << QStringList{"0 File extracted successfully to", "0 Unchanged: this installation is already in place.",
                       "0 Site file config/pos.properties set. Laid over the installation."};
}

void tst_Units::siteFiles()
{
    QFETCH(QList<QStringList>, calls);
    QFETCH(QStringList, lines);
    DataHome home;
    const QString file = home.scratch(".") + "/pos.properties";
    const QString zip = home.scratch(".") + "/cco.zip";
    QVERIFY(writeFile(file, "prefix=till-0417\n") && writeScript(home.scratch("new") + "/run.sh", "echo new"));
    QProcess zipper;
    zipper.setWorkingDirectory(home.scratch("new"));
    zipper.start("zip", {"-qr", zip, "."});
    QVERIFY(zipper.waitForFinished() && zipper.exitCode() == 0);
    for (int i = 0; i < calls.size(); ++i) {
        QProcess tool;
        tool.start(VARNOLET_PROVISION, calls[i].replaceInStrings("FILE", file).replaceInStrings("ZIP", zip));
        QVERIFY(tool.waitForFinished(10000));
        const QString said = QString::number(tool.exitCode()) + " " + QString::fromUtf8(tool.readAllStandardOutput()).section('\n', 0, 0);
        QVERIFY2(said.startsWith(lines[i]), qPrintable(said));
        // A second import of the same zip leaves the installation as it is.
        if (i == 0 && calls[i].first() == "import")
            QVERIFY(writeFile(home.cco() + "/kept", "x"));
    }
    QVERIFY(!QFileInfo::exists(home.cco()) || QFileInfo::exists(home.cco() + "/kept"));
    if (QFileInfo::exists(home.cco()))
        QCOMPARE(readFile(home.cco() + "/config/pos.properties"), QByteArray("prefix=till-0417\n"));
}
