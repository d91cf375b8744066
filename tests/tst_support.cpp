// What support takes from a till: card numbers masked in every form they
// are written in and nothing else touched, and a bundle of the right
// members, in order, with a true MANIFEST, the PIN file never in it.

#include "cardmask.h"
#include "ccooutput.h"
#include "logfile.h"
#include "maintenancepin.h"
#include "statusfile.h"
#include "tillconfig.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <utime.h>

namespace {

struct Tool
{
    int code = -1;
    QByteArray output;
};

Tool provision(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(VARNOLET_PROVISION, arguments);
    tool.write(input);
    tool.closeWriteChannel();
    const bool ended = tool.waitForFinished(60000);
    return {ended ? tool.exitCode() : -1, tool.readAll()};
}

// A line of the app's log, stamped `ago` seconds before now.
QByteArray logLine(qint64 ago, const QByteArray &text)
{
    return QDateTime::currentDateTime().addSecs(-ago).toString("yyyy-MM-dd HH:mm:ss.zzz ").toLatin1()
        + text + '\n';
}

bool age(const QString &file, qint64 seconds)
{
    const utimbuf times{time(nullptr) - seconds, time(nullptr) - seconds};
    return utime(QFile::encodeName(file).constData(), &times) == 0;
}

} // namespace

class tst_Support : public QObject
{
    Q_OBJECT

private slots:
    void cardMask_data();
    void cardMask();
    void bundle();
};

void tst_Support::cardMask_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("masked");
    QTest::addColumn<int>("count");
    QTest::newRow("plain") << QByteArray("paid 4111111111111111 ok") << QByteArray("paid ############1111 ok") << 1;
    QTest::newRow("spaced") << QByteArray("card 4111 1111 1111 1111.") << QByteArray("card #### #### #### 1111.") << 1;
    QTest::newRow("dashed") << QByteArray("5500-0000-0000-0004") << QByteArray("####-####-####-0004") << 1;
    QTest::newRow("13 digits") << QByteArray("pan=4222222222222") << QByteArray("pan=#########2222") << 1;
    QTest::newRow("19 digits") << QByteArray("6304000000000000018") << QByteArray("###############0018") << 1;
    QTest::newRow("two") << QByteArray("6011000990139424,4111111111111111")
                         << QByteArray("############9424,############1111") << 2;
    QTest::newRow("a year after it") << QByteArray("4111 1111 1111 1111 2026") << QByteArray("#### #### #### 1111 2026") << 1;
    // Runs of digits that are no card, of a card's lengths.
    QTest::newRow("timestamp of 13") << QByteArray("at 1765184523000 ms") << QByteArray("at 1765184523000 ms") << 0;
    QTest::newRow("order of 16") << QByteArray("order 1234567890123456") << QByteArray("order 1234567890123456") << 0;
    QTest::newRow("19, not Luhn") << QByteArray("6304000000000000017") << QByteArray("6304000000000000017") << 0;
    QTest::newRow("20 holding a card") << QByteArray("41111111111111110000") << QByteArray("41111111111111110000") << 0;
    QTest::newRow("two spaces part") << QByteArray("4111 1111  1111 1111") << QByteArray("4111 1111  1111 1111") << 0;
    QTest::newRow("in a hash") << QByteArray("sha256 ab4111111111111111cd") << QByteArray("sha256 ab4111111111111111cd") << 0;
}

void tst_Support::cardMask()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, masked);
    QFETCH(int, count);
    int found = -1;
    QCOMPARE(CardMask::mask(text, &found), masked);
    QCOMPARE(found, count);
}

// A day's bundle of a till: its members in order, each as the MANIFEST
// says, the seeded cards masked in every member whatever file or form they
// were in, the lines before --since left out, the till's own files as
// they were, and nothing of the PIN.
void tst_Support::bundle()
{
    DataHome home;
    const QString data = home.appData();
    QVERIFY(writeFile(StatusFile::path(data), "{\"state\": \"ready\", \"pan\": \"4111111111111111\"}\n"));
    QVERIFY(writeFile(TillConfig::defaultPath(), "[cco]\nport=9999\n"));
    QCOMPARE(provision({"pin", "set"}, "482916\n482916\n").code, 0);
    const QString pinFile = MaintenancePin(MaintenancePin::defaultFolder()).path();
    const QByteArray pinKey = QJsonDocument::fromJson(readFile(pinFile)).object().value("key").toString().toLatin1();
    QVERIFY(!pinKey.isEmpty());
    // The app's log across a rotation: an old day, then a card in each form.
    const QString log = LogFile::path(data, "varnolet.log", 0);
    const QString log1 = LogFile::path(data, "varnolet.log", 1);
    QVERIFY(writeFile(LogFile::path(data, "varnolet.log", 2), logLine(3 * 3600, "too old 4111111111111111")));
    QVERIFY(writeFile(log1, logLine(3 * 3600, "too old")
                          + logLine(1800, "plain 4111111111111111\n   a line of its own 5500000000000004")));
    QVERIFY(writeFile(log, logLine(60, "spaced 4111 1111 1111 1111 order 1234567890123456")
                          + logLine(30, "dashed 5500-0000-0000-0004 at 1765184523000")));
    // CCO's output cut by the runner inside a card number.
    const QString out = CcoOutput::outputFile(data), errors = CcoOutput::errorFile(data);
    QVERIFY(writeFile(out + ".1", "paid with 6011 0009"));
    QVERIFY(writeFile(out, " 9013 9424 approved\nref 6304000000000000017\n"));
    QVERIFY(writeFile(errors, "Full thread dump\n\"main\" 4222222222222\n"));
    QVERIFY(writeFile(errors + ".1", "last week"));
    QVERIFY(age(errors + ".1", 3 * 24 * 3600));
    const QStringList tillFiles{log, log1, out + ".1", out, errors};
    QList<QByteArray> before;
    for (const QString &file : tillFiles)
        before << readFile(file);

    const QString bundle = QDir(home.appData()).filePath("../bundle.tar.gz");
    const Tool made = provision({"bundle", "-o", bundle, "--since", "2h"});
    QVERIFY2(made.code == 0 && made.output.contains("card numbers masked: 7"), made.output);
    QCOMPARE(QFileInfo(bundle).permissions() & 0x0777, QFileDevice::Permissions(0x0600));
    for (int i = 0; i < tillFiles.size(); ++i)
        QVERIFY2(readFile(tillFiles.at(i)) == before.at(i), qPrintable(tillFiles.at(i)));

    QProcess tar;
    tar.start("tar", {"-tzf", bundle});
    QVERIFY(tar.waitForFinished());
    const QStringList names{"MANIFEST", "status.json", "varnolet.conf", "about.txt", "logs/varnolet.log",
                            "logs/cco-output.log.1", "logs/cco-output.log", "logs/cco-errors.log"};
    QCOMPARE(QString::fromUtf8(tar.readAll()).split('\n', Qt::SkipEmptyParts), names);
    QTemporaryDir opened;
    QVERIFY(run("tar", {"-xzf", bundle, "-C", opened.path()}, QDir::currentPath()));
    const QByteArray manifest = readFile(opened.filePath("MANIFEST"));
    QByteArray all;
    const QStringList masked{"1", "0", "0", "4", "1", "0", "1"};
    for (int i = 1; i < names.size(); ++i) {
        const QByteArray content = readFile(opened.filePath(names.at(i)));
        const QByteArray line = QByteArray::number(content.size()) + ' '
            + QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() + ' '
            + masked.at(i - 1).toLatin1() + ' ' + names.at(i).toUtf8() + '\n';
        QVERIFY2(manifest.contains(line), manifest + "\nlacks\n" + line);
        QCOMPARE(QFileInfo(opened.filePath(names.at(i))).permissions() & 0x0777,
                 QFileDevice::Permissions(0x0600));
        all += content + '\n';
    }
    QByteArray digits;
    for (char c : all)
        digits += (c >= '0' && c <= '9') || c == '\n' || c == '#' ? QByteArray(1, c) : QByteArray();
    for (const char *card : {"4111111111111111", "5500000000000004", "6011000990139424", "4222222222222"})
        QVERIFY2(!digits.contains(card), card);
    for (const char *kept : {"############1111", "####-####-####-0004", "#### #### #### 1111", "1234567890123456",
                             "1765184523000", "6304000000000000017", "#### ####", " #### 9424", "Full thread dump"})
        QVERIFY2(all.contains(kept), kept);
    const QByteArray logged = readFile(opened.filePath("logs/varnolet.log"));
    QVERIFY2(!logged.contains("too old") && logged.indexOf("plain") < logged.indexOf("a line of its own")
                 && logged.indexOf("a line of its own") < logged.indexOf("spaced")
                 && logged.indexOf("spaced") < logged.indexOf("dashed"),
             logged);
    QVERIFY(!all.contains(pinKey) && !all.contains("maintenance-pin") && !all.contains("last week"));
}

QTEST_GUILESS_MAIN(tst_Support)
#include "tst_support.moc"
