// The maintenance PIN: set over a shell, checked, locked after wrong PINs
// whatever the clock does, and closed, never open, when its file is damaged
// or cannot be written.

#include "commandexecutor.h"
#include "maintenancelock.h"
#include "maintenancepin.h"
#include "outputlog.h"
#include "statusfile.h"
#include "statusreport.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPasswordDigestor>
#include <QScopeGuard>
#include <QtTest>

#include <unistd.h>

using V = MaintenancePin::Verdict;

namespace {

const QString kRight = QStringLiteral("482916");

QByteArray key(const QString &pin, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, pin.toUtf8(), salt, iterations, 32);
}

// A PIN file for `pin` as the app writes one, with `iterations` of its own.
QByteArray pinFile(const QString &pin, int iterations, const QByteArray &salt = "0123456789abcdef")
{
    return QJsonDocument(QJsonObject{{"kdf", "PBKDF2-SHA256"},
                                     {"iterations", iterations},
                                     {"salt", QString(salt.toBase64())},
                                     {"key", QString(key(pin, salt, iterations).toBase64())},
                                     {"failures", 0},
                                     {"lockedUntil", 0}})
        .toJson();
}

int provision(const QStringList &arguments, const QByteArray &input)
{
    QProcess tool;
    tool.start(VARNOLET_PROVISION, arguments);
    tool.write(input);
    tool.closeWriteChannel();
    return tool.waitForFinished() ? tool.exitCode() : -1;
}

} // namespace

class tst_Pin : public QObject
{
    Q_OBJECT

private slots:
    void setAndDerived();
    void onlyTheRightPin();
    void locksDoubleToAnHourWhateverTheClock();
    void viewLogsNoDigitsAndSaysRemoval();
    void damagedFileRefusesEveryPin_data();
    void damagedFileRefusesEveryPin();
    void unsavableCountRefuses();
};

// Set over a shell, owner-only, derived as the README says: PBKDF2-SHA256,
// 100,000 iterations, a 16-byte salt.
void tst_Pin::setAndDerived()
{
    DataHome home;
    QCOMPARE(provision({"pin", "set"}, "4829\n4828\n"), 1); // two PINs that differ
    QCOMPARE(provision({"pin", "set"}, "482\n482\n"), 1); // too short
    QCOMPARE(provision({"pin", "set"}, kRight.toUtf8() + "\n" + kRight.toUtf8() + "\n"), 0);
    const QString file = MaintenancePin(MaintenancePin::defaultFolder()).path();
    QCOMPARE(QFileInfo(file).permissions() & 0x0777, QFileDevice::Permissions(0x0600));
    const QJsonObject json = QJsonDocument::fromJson(readFile(file)).object();
    const QByteArray salt = QByteArray::fromBase64(json.value("salt").toString().toLatin1());
    QCOMPARE(json.value("kdf").toString(), QStringLiteral("PBKDF2-SHA256"));
    QCOMPARE(json.value("iterations").toInt(), 100000);
    QCOMPARE(salt.size(), 16);
    QCOMPARE(QByteArray::fromBase64(json.value("key").toString().toLatin1()), key(kRight, salt, 100000));
    QVERIFY(!readFile(file).contains(kRight.toUtf8()));
    // A fleet's tool asks whether the PIN is in place: more wrong PINs than
    // lock the screen, uncounted, and the right one still right.
    const QByteArray before = readFile(file);
    for (int i = 0; i < MaintenancePin::kFreeTries + 1; ++i)
        QCOMPARE(provision({"pin", "verify"}, "4829\n"), 1);
    QCOMPARE(provision({"pin", "verify"}, kRight.toUtf8() + "\n"), 0);
    QCOMPARE(readFile(file), before);
    QCOMPARE(provision({"pin", "clear"}, ""), 0);
    QCOMPARE(provision({"pin", "verify"}, kRight.toUtf8() + "\n"), 1);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(int(MaintenancePin(MaintenancePin::defaultFolder()).verify("1").kind), int(V::Right));
}

// Every PIN but the right one is wrong: one digit off in each place, one
// digit short or long, and PINs whose keys share their first or their last
// byte with the right one's (found with a cheap derivation of the file's own).
void tst_Pin::onlyTheRightPin()
{
    DataHome home;
    const QByteArray salt = "0123456789abcdef", right = key(kRight, salt, 1);
    QStringList wrong{"48291", "4829160", "", "0482916"};
    for (int i = 0; i < kRight.size(); ++i)
        wrong << QString(kRight).replace(i, 1, QChar('0' + (kRight[i].digitValue() + 1) % 10));
    QString sameFirst, sameLast;
    for (int n = 0; n < 100000 && (sameFirst.isEmpty() || sameLast.isEmpty()); ++n) {
        const QString candidate = QString::number(n).rightJustified(6, '0');
        const QByteArray other = key(candidate, salt, 1);
        if (candidate != kRight && other.front() == right.front() && sameFirst.isEmpty())
            sameFirst = candidate;
        if (candidate != kRight && other.back() == right.back() && sameLast.isEmpty())
            sameLast = candidate;
    }
    QVERIFY(!sameFirst.isEmpty() && !sameLast.isEmpty());
    wrong << sameFirst << sameLast;
    MaintenancePin pin(MaintenancePin::defaultFolder());
    for (const QString &candidate : qAsConst(wrong)) {
        QVERIFY(writeFile(pin.path(), pinFile(kRight, 1, salt)));
        QVERIFY2(pin.verify(candidate).kind == V::Wrong, qPrintable(candidate));
    }
    QCOMPARE(int(pin.verify(kRight).kind), int(V::Right));
}

// Five wrong PINs in a row lock every PIN, the right one too, for a minute,
// also for the next app; each further one doubles it, up to an hour. A lock
// set while the clock was a year ahead lasts its length from the corrected
// clock, no more.
void tst_Pin::locksDoubleToAnHourWhateverTheClock()
{
    DataHome home;
    const QString folder = MaintenancePin::defaultFolder();
    QVERIFY(MaintenancePin(folder).set(kRight).ok());
    QDateTime t = QDateTime::currentDateTimeUtc();
    for (qint64 lock : {0, 0, 0, 0, 60, 120, 240, 480, 960, 1920, 3600, 3600}) {
        const V verdict = MaintenancePin(folder).verify("111111", t);
        QCOMPARE(int(verdict.kind), int(V::Wrong));
        QCOMPARE(verdict.lockedSeconds, lock);
        if (lock > 0) {
            const V locked = MaintenancePin(folder).verify(kRight, t.addSecs(lock - 1));
            QCOMPARE(int(locked.kind), int(V::Locked));
            QCOMPARE(locked.lockedSeconds, 1);
        }
        t = t.addSecs(lock);
    }
    QCOMPARE(int(MaintenancePin(folder).verify(kRight, t).kind), int(V::Right));
    QCOMPARE(MaintenancePin(folder).verify("111111", t).failures, 1); // counted afresh

    QVERIFY(MaintenancePin(folder).set(kRight).ok());
    const QDateTime now = QDateTime::currentDateTimeUtc(), ahead = now.addDays(365);
    for (int i = 0; i < 5; ++i)
        QVERIFY(MaintenancePin(folder).verify("111111", ahead).kind == V::Wrong);
    QCOMPARE(MaintenancePin(folder).verify(kRight, now).lockedSeconds, 60);
    QCOMPARE(MaintenancePin(folder).verify(kRight, now.addSecs(30)).lockedSeconds, 30);
    QCOMPARE(int(MaintenancePin(folder).verify(kRight, now.addSecs(61)).kind), int(V::Right));
}

// The view's lock logs each wrong PIN, never the digits, and says once that
// a PIN it saw is gone.
void tst_Pin::viewLogsNoDigitsAndSaysRemoval()
{
    DataHome home;
    QVERIFY(MaintenancePin(MaintenancePin::defaultFolder()).set(kRight).ok());
    CommandExecutor executor;
    MaintenanceLock lock;
    lock.setProperty("executor", QVariant::fromValue(&executor));
    QVERIFY(lock.pinSet());
    QCOMPARE(lock.tryPin("999999"), QStringLiteral("Wrong PIN"));
    QCOMPARE(lock.tryPin("999998"), QStringLiteral("Wrong PIN"));
    QVERIFY(lock.tryPin(kRight).isEmpty());
    QVERIFY(MaintenancePin(MaintenancePin::defaultFolder()).clear().ok());
    QVERIFY(!lock.pinSet() && !lock.pinSet() && lock.tryPin("1").isEmpty());
    const auto log = [&] { return OutputLog::tail(home.appData(), 10).join('\n'); };
    QTRY_VERIFY2(log().contains("A wrong maintenance PIN was entered (2 in a row)."), qPrintable(log()));
    QTRY_COMPARE(log().count("The maintenance PIN was removed: maintenance is open"), 1);
    QVERIFY(!log().contains("99999") && !log().contains(kRight));
}

void tst_Pin::damagedFileRefusesEveryPin_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray sound = pinFile(kRight, 1000);
    QTest::newRow("emptied") << QByteArray();
    QTest::newRow("truncated") << sound.left(sound.size() / 2);
    QTest::newRow("not JSON") << QByteArray("482916");
    QTest::newRow("empty salt") << QByteArray(sound).replace("MDEyMzQ1Njc4OWFiY2RlZg==", "");
    QTest::newRow("no count of wrong PINs") << QByteArray(sound).replace("\"failures\"", "\"other\"");
    QTest::newRow("a folder") << QByteArray("folder");
    QTest::newRow("a link to nothing") << QByteArray("link");
}

// Only a missing file means no PIN: a damaged one locks every maintenance
// button, the right PIN too, and says so in the log and the status file.
void tst_Pin::damagedFileRefusesEveryPin()
{
    QFETCH(QByteArray, content);
    DataHome home;
    MaintenancePin pin(MaintenancePin::defaultFolder());
    if (content == "folder")
        QVERIFY(QDir().mkpath(pin.path()));
    else if (content == "link")
        QVERIFY(QDir().mkpath(MaintenancePin::defaultFolder()) && QFile::link(pin.path() + ".gone", pin.path()));
    else
        QVERIFY(writeFile(pin.path(), content));
    QCOMPARE(int(pin.verify(kRight).kind), int(V::Damaged));
    CommandExecutor executor;
    MaintenanceLock lock;
    lock.setProperty("executor", QVariant::fromValue(&executor));
    QVERIFY(lock.pinSet());
    QCOMPARE(lock.tryPin(kRight), QStringLiteral("The maintenance PIN file is damaged: set the PIN again over a shell"));
    QTRY_VERIFY(OutputLog::tail(home.appData(), 1).value(0).contains(
        "A maintenance action was refused: the maintenance PIN file is damaged (" + pin.path()));
    StatusFile status;
    QJsonObject written;
    QVERIFY(StatusReport::read(StatusFile::path(home.appData()), &written));
    QCOMPARE(written.value("pin").toString(), QStringLiteral("damaged"));
}

// A wrong PIN whose count cannot be saved (the file system full) is refused
// uncounted, and the file stays whole; once there is room again it counts.
void tst_Pin::unsavableCountRefuses()
{
    DataHome home;
    const QString folder = MaintenancePin::defaultFolder();
    QVERIFY(QDir().mkpath(folder));
    if (::geteuid() != 0 || !run("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder}))
        QSKIP("a small file system of its own needs root");
    const auto unmount = qScopeGuard([&] { run("umount", {"-l", folder}); });
    MaintenancePin pin(folder);
    QVERIFY(pin.set(kRight).ok());
    const QByteArray before = readFile(pin.path());
    QFile fill(folder + "/fill");
    QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (fill.write(QByteArray(4096, 'x')) > 0) { }
    CommandExecutor executor;
    MaintenanceLock lock;
    lock.setProperty("executor", QVariant::fromValue(&executor));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(lock.tryPin("111111"), QStringLiteral("The PIN cannot be checked now: its file cannot be written"));
    QCOMPARE(readFile(pin.path()), before);
    QTRY_VERIFY(OutputLog::tail(home.appData(), 1)
                .value(0)
                .contains("A maintenance PIN was refused unchecked: the count of wrong PINs cannot be saved (cannot write "));
    QVERIFY(lock.tryPin(kRight).isEmpty());
    fill.close();
    QVERIFY(fill.remove());
    const V verdict = pin.verify("111111");
    QCOMPARE(int(verdict.kind), int(V::Wrong));
    QCOMPARE(verdict.failures, 1);
}

QTEST_GUILESS_MAIN(tst_Pin)
#include "tst_pin.moc"
