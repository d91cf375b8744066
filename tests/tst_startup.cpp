// The real varnolet binary started as a user starts it, under the virtual
// display the test runs in.

#include "testsupport.h"

#include <QProcess>
#include <QtTest>

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void startsWithItsOwnEnvironmentAndName();
};

void tst_Startup::startsWithItsOwnEnvironmentAndName()
{
    // An installation that passes the check; its run.sh records the
    // environment the app hands on to CCO.
    DataHome home;
    QVERIFY(home.makeRuntime());
    QVERIFY(writeScript(home.cco() + "/run.sh",
                        "printf '%s|%s' \"$QTWEBENGINE_DISABLE_SANDBOX\" "
                        "\"$QT_AUTO_SCREEN_SCALE_FACTOR\" > environment"));

    QProcess app;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "0");
    environment.insert("QT_AUTO_SCREEN_SCALE_FACTOR", "inherited");
    environment.insert("GSETTINGS_BACKEND", "memory");
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.setWorkingDirectory(home.scratch("app"));
    app.start(VARNOLET_BINARY, QStringList());
    QVERIFY2(app.waitForStarted(), qPrintable(app.errorString()));

    // The countdown runs out after about six seconds and starts run.sh.
    const QString recorded = home.cco() + "/environment";
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(recorded) && QFileInfo(recorded).size() > 0, 30000);
    QCOMPARE(readFile(recorded), QByteArray("1|true"));
    QTest::qWait(500);
    QVERIFY(app.state() == QProcess::Running);
    app.kill();
    app.waitForFinished();

    const QString output = QString::fromUtf8(app.readAll());
    QCOMPARE(output.count("Starting app from main"), 1);
    const int started = output.indexOf("Starting app from main");
    const int loaded =
        output.indexOf("Main view of varnolet.quindrel loaded, installation check passed");
    QVERIFY2(loaded > started, qPrintable(output));
    QVERIFY2(!output.contains("is not installed"), qPrintable(output));
    QVERIFY2(!output.contains("module \""), qPrintable(output));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
