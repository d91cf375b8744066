// The backend's parts that need no window and no CCO: finding CCO's lines
// in chunks, links in an unpacked installation, helper children, the output
// area's bound, and the output log.

#include "ccoprocess.h"
#include "commandexecutor.h"
#include "links.h"
#include "outputlog.h"
#include "outputmodel.h"
#include "testsupport.h"

#include <QtTest>

#include <signal.h>
#include <sys/resource.h>

class tst_Units : public QObject
{
    Q_OBJECT

private slots:
    void markers_data();
    void markers();
    void links_data();
    void links();
    void childEndsWithItsParent();
    void outputModel_data();
    void outputModel();
    void logKeepsWholeLinesAndRotates();
    void logSaysWhenLinesAreLost();
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
             (QStringList{"varnolet.log", "varnolet.log.1", "varnolet.log.2", "varnolet.log.3"}));
    // The log's folder and files are its owner's alone.
    QCOMPARE(QFileInfo(logs).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
    for (const QString &name : QDir(logs).entryList(QDir::Files)) {
        QVERIFY2(QFileInfo(logs + name).size() <= OutputLog::kRotateBytes, qPrintable(name));
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
}

void tst_Units::logSaysWhenLinesAreLost()
{
    DataHome home;
    CommandExecutor executor;
    QStringList output;
    connect(&executor, &CommandExecutor::processOutputChanged, this, [&](const QString &line) { output << line; });
    // No file may grow: the disk is full.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit full{0, saved.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    executor.runCCO(); // says it cannot start: there is no installation
    executor.runCCO();
    QTRY_COMPARE(output.filter("The log cannot be written (").size(), 1);
    QTest::qWait(300);
    QCOMPARE(output.filter("The log cannot be written (").size(), 1);
    setrlimit(RLIMIT_FSIZE, &saved);
    executor.runCCO();
    QTRY_COMPARE(output.last(), QStringLiteral("The log can be written again."));
    QCOMPARE(output.size(), 5);
    QTRY_VERIFY(OutputLog::tail(home.appData(), 1).value(0).endsWith(" The log can be written again."));
}

QTEST_GUILESS_MAIN(tst_Units)
#include "tst_units.moc"
