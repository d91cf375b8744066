// The installation check, the patch, and unpacking the runtime and CCO
// installations, with the real pwd, tar and unzip.

#include "commandexecutor.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QSysInfo>
#include <QtTest>

#include <signal.h>
#include <sys/resource.h>

namespace {

const char *const kPatchFiles[] = {"run.sh", "run_cco_restore.sh", "run_cco_restore_silent.sh",
                                   "ui-test-1.0-SNAPSHOT.jar", "CCO_Restore.jar"};

// Every file and folder below `root`, with the files' contents.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString key = QDir(root).relativeFilePath(path);
        entries[key] = it.fileInfo().isDir() ? QByteArray("<dir>") : readFile(path);
    }
    return entries;
}

bool run(const QString &program, const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (!ok)
        qWarning() << program << arguments << process.errorString() << process.readAllStandardError();
    return ok;
}

// Zips everything below `sourceDir`, paths relative to it.
bool makeZip(const QString &sourceDir, const QString &zipPath)
{
    return run("zip", {"-qr", zipPath, "."}, sourceDir);
}

QString quoted(const QString &value)
{
    QString text;
    QDebug(&text) << value;
    return text.trimmed();
}

// The log line of a fixed text followed by a value, as the debug stream
// writes it.
QString logLine(const QString &text, const QString &value)
{
    return text + QLatin1Char(' ') + quoted(value);
}

// Restores a resource limit when it goes out of scope.
struct FileSizeLimit
{
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, SIG_DFL);
    }
    rlimit saved{};
};

} // namespace

class tst_Install : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void check_data();
    void check();
    void patch_data();
    void patch();
    void jreArchive_data();
    void jreArchive();
    void extractJdk();
    void extractJdkFailures_data();
    void extractJdkFailures();
    void importReplaces();
    void importFailureKeepsInstallation_data();
    void importFailureKeepsInstallation();
    void importRefusedWhileRunning();
    void importPathForms_data();
    void importPathForms();
    void importOtherFolderMerges_data();
    void importOtherFolderMerges();
    void importWithoutForce();
    void importEscapingEntries();

private:
    // A fresh data home and a working folder with an empty assets folder.
    std::unique_ptr<DataHome> home;
    QString workDir;
    QString assets;
    QString savedCwd;
    QByteArray savedPath;

    // An installation of a few files in the CCO folder, as imported before.
    void makeInstallation();
    // A zip holding a small installation.
    QString makeInstallationZip(const QString &name = "cco.zip");
    bool makeJreArchive(const QString &path, const QString &topFolder = "sapmachine-jre-17.0.6");
};

void tst_Install::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
    savedCwd = QDir::currentPath();
    savedPath = qgetenv("PATH");
}

void tst_Install::init()
{
    home.reset(new DataHome);
    workDir = home->scratch("app");
    assets = home->scratch("app/assets");
    // pwd reports the app's working folder; the assets lie beside it.
    QVERIFY(QDir::setCurrent(workDir));
}

void tst_Install::cleanup()
{
    QDir::setCurrent(savedCwd);
    qputenv("PATH", savedPath);
    home.reset();
}

void tst_Install::makeInstallation()
{
    QVERIFY(writeScript(home->cco() + "/run.sh", "echo old installation"));
    QVERIFY(writeFile(home->cco() + "/lib/cco.jar", "old jar"));
    QVERIFY(writeFile(home->cco() + "/config/pos.properties", "prefix=OLD\n"));
}

QString tst_Install::makeInstallationZip(const QString &name)
{
    const QString source = home->scratch("zip-source-" + name);
    writeScript(source + "/run.sh", "echo new installation");
    writeFile(source + "/lib/new.jar", "new jar");
    const QString zip = home->scratch("zips") + QLatin1Char('/') + name;
    return makeZip(source, zip) ? zip : QString();
}

bool tst_Install::makeJreArchive(const QString &path, const QString &topFolder)
{
    const QString source = home->scratch("jre-source");
    QDir(source).removeRecursively();
    return writeScript(source + "/" + topFolder + "/bin/java", "echo java")
           && writeFile(source + "/" + topFolder + "/release", "JAVA_VERSION=\"17.0.6\"\n")
           && run("tar", {"-czf", path, topFolder}, source);
}

void tst_Install::check_data()
{
    // What lies in the data home before the check, as a list of items.
    QTest::addColumn<QStringList>("layout");
    QTest::addColumn<bool>("result");
    // The log lines, with %A for the app data location and %C for the CCO folder.
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<bool>("ccoFolderAfter");

    const QString missing = "CustomerCheckout directory does not exist at: %C";
    const QString failed = "Failed to create CustomerCheckout directory.";
    const QString created = "Successfully created CustomerCheckout directory.";
    const QString noJre = "sapmachine-jre-17.0.6 sub-directory does not exist in: %A";
    const QString noRun = "run.sh script file does not exist at: %C/run.sh";
    const QString passed = "All checks passed for directory and files.";

    QTest::newRow("fresh device, no app data folder")
        << QStringList{} << false << QStringList{missing, failed} << false;
    QTest::newRow("app data folder only")
        << QStringList{"data"} << false << QStringList{missing, created, noJre} << true;
    QTest::newRow("no CCO folder, runtime present")
        << QStringList{"jre"} << false << QStringList{missing, created, noRun} << true;
    QTest::newRow("installation without runtime")
        << QStringList{"run.sh"} << false << QStringList{noJre} << true;
    QTest::newRow("runtime without run.sh")
        << QStringList{"jre", "cco"} << false << QStringList{noRun} << true;
    QTest::newRow("plain file in place of the CCO folder")
        << QStringList{"jre", "cco-file"} << false << QStringList{missing, failed} << false;
    QTest::newRow("plain file as runtime, folder as run.sh")
        << QStringList{"jre-file", "run.sh-folder"} << true << QStringList{passed} << true;
    QTest::newRow("all present") << QStringList{"jre", "run.sh"} << true << QStringList{passed}
                                 << true;
    QTest::newRow("interrupted import: previous installation put back")
        << QStringList{"jre", "previous"} << true << QStringList{passed} << true;
}

void tst_Install::check()
{
    QFETCH(QStringList, layout);
    QFETCH(bool, result);
    QFETCH(QStringList, log);
    QFETCH(bool, ccoFolderAfter);

    const QString a = home->appData();
    for (const QString &item : layout) {
        if (item == "data")
            QVERIFY(QDir().mkpath(a));
        else if (item == "jre")
            QVERIFY(QDir().mkpath(home->jre()));
        else if (item == "jre-file")
            QVERIFY(writeFile(home->jre(), "not a folder"));
        else if (item == "cco")
            QVERIFY(QDir().mkpath(home->cco()));
        else if (item == "cco-file")
            QVERIFY(writeFile(home->cco(), "not a folder"));
        else if (item == "run.sh")
            QVERIFY(writeScript(home->cco() + "/run.sh", "true"));
        else if (item == "run.sh-folder")
            QVERIFY(QDir().mkpath(home->cco() + "/run.sh"));
        else if (item == "previous")
            QVERIFY(writeScript(a + "/.CustomerCheckout.staging-Ab12Cd-previous/run.sh", "true"));
    }

    CommandExecutor executor;
    QSignalSpy output(&executor, &CommandExecutor::processOutputChanged);
    LogCapture capture;
    QCOMPARE(executor.checkDirectoryValidity(), result);

    QStringList expected;
    for (QString line : log) {
        const int at = line.indexOf('%');
        const QString value = line.mid(at).replace("%A", a).replace("%C", home->cco());
        expected << (at < 0 ? line : line.left(at) + quoted(value));
    }
    if (layout.contains("previous"))
        expected.prepend(logLine("Restoring the previous \"CustomerCheckout\" folder from",
                                 a + "/.CustomerCheckout.staging-Ab12Cd-previous"));
    QCOMPARE(capture.lines, expected);
    QCOMPARE(QFileInfo(home->cco()).isDir(), ccoFolderAfter);
    QCOMPARE(output.count(), 0);
}

void tst_Install::patch_data()
{
    QTest::addColumn<QString>("missingSource");
    QTest::addColumn<bool>("ccoFolder");
    QTest::addColumn<bool>("failingPwd");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("failedCopies");

    QTest::newRow("all present") << QString() << true << false << true << 0;
    QTest::newRow("one source missing") << "CCO_Restore.jar" << true << false << false << 1;
    QTest::newRow("CCO folder missing") << QString() << false << false << false << 5;
    QTest::newRow("failing pwd") << QString() << true << true << false << 5;
}

void tst_Install::patch()
{
    QFETCH(QString, missingSource);
    QFETCH(bool, ccoFolder);
    QFETCH(bool, failingPwd);
    QFETCH(bool, result);
    QFETCH(int, failedCopies);

    for (const char *name : kPatchFiles) {
        if (missingSource != QLatin1String(name))
            QVERIFY(writeFile(assets + "/" + name, QByteArray("new ") + name));
    }
    if (ccoFolder) {
        // Old copies, one of them read-only: each is replaced (or, where the
        // source is missing, removed).
        for (const char *name : kPatchFiles)
            QVERIFY(writeFile(home->cco() + "/" + name, "old", QFileDevice::ReadOwner));
    } else {
        QVERIFY(QDir().mkpath(home->appData()));
    }
    if (failingPwd) {
        // A pwd first on the search path that fails, and whose output must
        // not reach the output signal.
        const QString bin = home->scratch("bin");
        QVERIFY(writeScript(bin + "/pwd", "echo 'Web container started.'; "
                                          "echo 'STOP_CCO Bye' >&2; exit 1"));
        qputenv("PATH", QFile::encodeName(bin) + ":" + savedPath);
    }

    CommandExecutor executor;
    QStringList output;
    connect(&executor, &CommandExecutor::processOutputChanged,
            [&output](const QString &line) { output << line; });
    QSignalSpy ready(&executor, &CommandExecutor::desiredTextFound);
    QSignalSpy stopped(&executor, &CommandExecutor::ccoStopped);
    LogCapture capture;
    QCOMPARE(executor.patchInstallation(), result);

    const QString prefix = failingPwd ? QString() : QDir::currentPath() + "/assets/";
    QStringList expectedLog;
    QStringList expectedOutput;
    if (!failingPwd)
        expectedLog << "PWD  " + quoted(prefix);
    for (const char *name : kPatchFiles) {
        const QString source = prefix + name;
        const QString destination = home->cco() + "/" + name;
        const bool copied = ccoFolder && !failingPwd && missingSource != QLatin1String(name);
        if (copied) {
            expectedLog << "Copied " + quoted(source) + " to " + quoted(destination) + " successfully"
                        << logLine("Set executable permissions for", destination);
            QCOMPARE(readFile(destination), QByteArray("new ") + name);
            QCOMPARE(QFileInfo(destination).permissions() & 0x7777,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                         | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser
                         | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                         | QFileDevice::ExeOther);
        } else {
            expectedLog << "Failed to copy " + quoted(source) + " to " + quoted(destination);
            expectedOutput << "Failed to copy " + source + " to " + destination;
            QVERIFY(!QFile::exists(destination));
        }
    }
    QCOMPARE(capture.lines, expectedLog);
    QCOMPARE(output, expectedOutput);
    QCOMPARE(expectedOutput.size(), failedCopies);
    QCOMPARE(QFileInfo(home->cco()).isDir(), ccoFolder);
    QCOMPARE(ready.count(), 0);
    QCOMPARE(stopped.count(), 0);
}

void tst_Install::jreArchive_data()
{
    QTest::addColumn<QString>("architecture");
    QTest::addColumn<QString>("archive");
    QTest::newRow("x86_64") << "x86_64" << "sapmachine-jre-17.0.6_linux-x64_bin.tar.gz";
    QTest::newRow("arm64") << "arm64" << "sapmachine-jre-17.0.6_linux-aarch64_bin.tar.gz";
    QTest::newRow("32-bit ARM") << "arm" << QString();
    QTest::newRow("32-bit x86") << "i386" << QString();
    QTest::newRow("other letter case") << "X86_64" << QString();
}

void tst_Install::jreArchive()
{
    QFETCH(QString, architecture);
    QFETCH(QString, archive);
    QCOMPARE(CommandExecutor::jreArchiveFor(architecture), archive);
}

void tst_Install::extractJdk()
{
    const QString archive = CommandExecutor::jreArchiveFor(QSysInfo::currentCpuArchitecture());
    if (archive.isEmpty())
        QSKIP("no runtime is shipped for this processor");
    QVERIFY(makeJreArchive(assets + "/" + archive));

    CommandExecutor executor;
    QStringList output;
    connect(&executor, &CommandExecutor::processOutputChanged,
            [&output](const QString &line) { output << line; });
    {
        LogCapture capture;
        QCOMPARE(executor.runExtractJDK(), home->appData());
        QCOMPARE(capture.lines,
                 QStringList({"PWD  " + quoted(QDir::currentPath() + "/assets/"),
                              logLine("File extracted successfully to", home->appData())}));
    }
    QCOMPARE(output, QStringList{"File extracted successfully to " + home->appData()});
    QCOMPARE(readFile(home->jre() + "/bin/java"), QByteArray("#!/bin/bash\necho java\n"));
    QCOMPARE(QDir(home->appData()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"sapmachine-jre-17.0.6"});

    // Again: the runtime is there already and tar does not run.
    QVERIFY(QFile::remove(assets + "/" + archive));
    output.clear();
    LogCapture capture;
    QCOMPARE(executor.runExtractJDK(), home->appData());
    QCOMPARE(capture.lines.last(), logLine("Directory already exists:", home->jre()));
    QCOMPARE(output, QStringList{"Directory already exists: " + home->jre()});
}

void tst_Install::extractJdkFailures_data()
{
    QTest::addColumn<QByteArray>("failure");
    QTest::newRow("corrupt archive") << QByteArray("corrupt");
    QTest::newRow("truncated archive") << QByteArray("truncated");
    QTest::newRow("archive without the runtime folder") << QByteArray("wrong-folder");
    QTest::newRow("archive missing") << QByteArray("missing");
    QTest::newRow("leftover of an interrupted run") << QByteArray("leftover");
}

void tst_Install::extractJdkFailures()
{
    QFETCH(QByteArray, failure);
    const QString archive = CommandExecutor::jreArchiveFor(QSysInfo::currentCpuArchitecture());
    if (archive.isEmpty())
        QSKIP("no runtime is shipped for this processor");
    const QString path = assets + "/" + archive;
    QVERIFY(QDir().mkpath(home->appData()));

    if (failure == "corrupt") {
        QVERIFY(writeFile(path, QByteArray(4096, 'x')));
    } else if (failure == "truncated") {
        QVERIFY(makeJreArchive(path));
        QByteArray bytes = readFile(path);
        QVERIFY(writeFile(path, bytes.left(bytes.size() / 2)));
    } else if (failure == "wrong-folder") {
        QVERIFY(makeJreArchive(path, "jre"));
    } else if (failure == "leftover") {
        // A run that was killed half-way left its staging folder behind.
        QVERIFY(writeFile(home->appData() + "/.sapmachine-jre-17.0.6.staging-x1Y2z3/"
                                            "sapmachine-jre-17.0.6/bin/java",
                          "half"));
        QVERIFY(writeFile(path, "not an archive"));
    }

    CommandExecutor executor;
    QSignalSpy output(&executor, &CommandExecutor::processOutputChanged);
    QCOMPARE(executor.runExtractJDK(), home->appData());
    QCOMPARE(output.count(), 1);
    QVERIFY2(output.first().first().toString().startsWith("Failed to extract file. Error: "),
             qPrintable(output.first().first().toString()));
    // Nothing is left behind that could pass for a runtime.
    QCOMPARE(snapshot(home->appData()), (QMap<QString, QByteArray>()));
    QVERIFY(!executor.checkDirectoryValidity());

    // A good archive afterwards is unpacked.
    QVERIFY(makeJreArchive(path));
    executor.runExtractJDK();
    QVERIFY(QFile::exists(home->jre() + "/bin/java"));
}

void tst_Install::importReplaces()
{
    makeInstallation();
    const QString zip = makeInstallationZip();

    CommandExecutor executor;
    QSignalSpy output(&executor, &CommandExecutor::processOutputChanged);
    LogCapture capture;
    QVERIFY(executor.extractCustomCCOZip(zip, "CustomerCheckout", true));

    QCOMPARE(capture.lines, QStringList({"Deleting existing CustomerCheckout folder",
                                         logLine("File extracted successfully to", home->appData())}));
    QCOMPARE(output.count(), 1);
    QCOMPARE(output.first().first().toString(), "File extracted successfully to" + home->appData());
    QMap<QString, QByteArray> expected{{"run.sh", "#!/bin/bash\necho new installation\n"},
                                       {"lib", "<dir>"},
                                       {"lib/new.jar", "new jar"}};
    QCOMPARE(snapshot(home->cco()), expected);
    // No staging folder or set-aside installation is left over.
    QCOMPARE(QDir(home->appData()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"CustomerCheckout"});
}

void tst_Install::importFailureKeepsInstallation_data()
{
    QTest::addColumn<QByteArray>("failure");
    QTest::newRow("corrupt zip") << QByteArray("corrupt");
    QTest::newRow("not a zip") << QByteArray("text");
    QTest::newRow("zip missing") << QByteArray("missing");
    QTest::newRow("unzip fails half-way") << QByteArray("file-size-limit");
    QTest::newRow("leftover of an interrupted import") << QByteArray("leftover");
    QTest::newRow("unzip fails without a word") << QByteArray("silent");
}

void tst_Install::importFailureKeepsInstallation()
{
    QFETCH(QByteArray, failure);
    makeInstallation();
    const QMap<QString, QByteArray> before = snapshot(home->cco());
    const QString zip = home->scratch("zips") + "/cco.zip";
    std::unique_ptr<FileSizeLimit> limit;

    if (failure == "corrupt") {
        const QString good = makeInstallationZip("good.zip");
        QByteArray bytes = readFile(good);
        bytes.replace(40, 40, QByteArray(40, '\xff'));
        QVERIFY(writeFile(zip, bytes));
    } else if (failure == "text") {
        QVERIFY(writeFile(zip, "this is a shopping list, not an installation\n"));
    } else if (failure == "file-size-limit") {
        // The first files fit; a large one hits the limit half-way.
        const QString source = home->scratch("big-source");
        QVERIFY(writeScript(source + "/a-run.sh", "echo new"));
        QVERIFY(writeFile(source + "/z-big.bin", QByteArray(4 * 1024 * 1024, 'z')));
        QVERIFY(makeZip(source, zip));
        limit.reset(new FileSizeLimit(1024 * 1024));
    } else if (failure == "leftover") {
        QVERIFY(writeFile(home->appData() + "/.CustomerCheckout.staging-q1W2e3/run.sh", "half"));
        QVERIFY(writeFile(zip, "not a zip"));
    } else if (failure == "silent") {
        makeInstallationZip("cco.zip");
        const QString bin = home->scratch("bin");
        QVERIFY(writeScript(bin + "/unzip", "exit 1"));
        qputenv("PATH", QFile::encodeName(bin) + ":" + savedPath);
    }

    CommandExecutor executor;
    QSignalSpy output(&executor, &CommandExecutor::processOutputChanged);
    const bool result = executor.extractCustomCCOZip(QUrl::fromLocalFile(zip).toString(),
                                                     "CustomerCheckout", true);
    limit.reset();
    QVERIFY(!result);
    QCOMPARE(output.count(), 1);
    QVERIFY2(output.first().first().toString().startsWith("Failed to extract file. Error:"),
             qPrintable(output.first().first().toString()));
    QCOMPARE(snapshot(home->cco()), before);
    QCOMPARE(QDir(home->appData()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"CustomerCheckout"});
}

void tst_Install::importRefusedWhileRunning()
{
    makeInstallation();
    QVERIFY(writeScript(home->cco() + "/run.sh", "echo $$ > \"$(dirname \"$0\")/../pid\"\n"
                                                 "exec sleep 60"));
    const QMap<QString, QByteArray> before = snapshot(home->cco());
    const QString zip = makeInstallationZip();

    CommandExecutor executor;
    QSignalSpy stopped(&executor, &CommandExecutor::ccoStopped);
    executor.runCCO();
    QTRY_VERIFY(QFile::exists(home->appData() + "/pid"));

    QSignalSpy output(&executor, &CommandExecutor::processOutputChanged);
    QVERIFY(!executor.extractCustomCCOZip(zip, "CustomerCheckout", true));
    QCOMPARE(output.count(), 1);
    QVERIFY(output.first().first().toString().startsWith("Import refused"));
    QCOMPARE(snapshot(home->cco()), before);

    ::kill(readFile(home->appData() + "/pid").trimmed().toInt(), SIGKILL);
    QTRY_COMPARE(stopped.count(), 1);
    // Once the program has ended the import goes ahead.
    QVERIFY(executor.extractCustomCCOZip(zip, "CustomerCheckout", true));
}

void tst_Install::importPathForms_data()
{
    QTest::addColumn<bool>("asUrl");
    QTest::newRow("plain path") << false;
    QTest::newRow("file URL with a percent-escaped blank") << true;
}

void tst_Install::importPathForms()
{
    QFETCH(bool, asUrl);
    const QString zip = makeInstallationZip("my installation.zip");
    const QString argument = asUrl ? QUrl::fromLocalFile(zip).toString(QUrl::FullyEncoded) : zip;
    QVERIFY(argument.contains(asUrl ? "my%20installation" : "my installation"));

    CommandExecutor executor;
    QVERIFY(executor.extractCustomCCOZip(argument, "CustomerCheckout", true));
    QCOMPARE(readFile(home->cco() + "/lib/new.jar"), QByteArray("new jar"));
}

void tst_Install::importOtherFolderMerges_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("other name") << "Backup";
    QTest::newRow("special name in other letter case") << "customercheckout";
}

void tst_Install::importOtherFolderMerges()
{
    QFETCH(QString, folder);
    const QString destination = home->appData() + "/" + folder;
    QVERIFY(writeFile(destination + "/keep.txt", "kept"));
    QVERIFY(writeFile(destination + "/run.sh", "old"));
    const QString zip = makeInstallationZip();

    CommandExecutor executor;
    LogCapture capture;
    QVERIFY(executor.extractCustomCCOZip(zip, folder, true));
    QVERIFY(!capture.lines.contains("Deleting existing CustomerCheckout folder"));
    QCOMPARE(readFile(destination + "/keep.txt"), QByteArray("kept"));
    QCOMPARE(readFile(destination + "/run.sh"), QByteArray("#!/bin/bash\necho new installation\n"));
    QCOMPARE(readFile(destination + "/lib/new.jar"), QByteArray("new jar"));
}

void tst_Install::importWithoutForce()
{
    makeInstallation();
    const QMap<QString, QByteArray> before = snapshot(home->appData());
    const QString zip = makeInstallationZip();

    CommandExecutor executor;
    QSignalSpy output(&executor, &CommandExecutor::processOutputChanged);
    LogCapture capture;
    QVERIFY(!executor.extractCustomCCOZip(zip, "CustomerCheckout", false));
    QVERIFY(!executor.extractCustomCCOZip(QString(), "CustomerCheckout", true));
    QCOMPARE(capture.lines, QStringList({logLine("Directory already exists:", home->cco()),
                                         "File not found: \"\""}));
    QCOMPARE(output.count(), 2);
    QCOMPARE(snapshot(home->appData()), before);
}

void tst_Install::importEscapingEntries()
{
    // Entries named "../escape.txt" and with an absolute path: the names are
    // written over same-length names in a zip made the usual way.
    const QString outside = home->scratch("outside");
    const QString absolute = outside + "/absolute.txt";
    const QString relativeTwin = "x" + absolute.mid(1);
    const QString source = home->scratch("escape-source");
    QVERIFY(writeScript(source + "/run.sh", "true"));
    QVERIFY(writeFile(source + "/zz/escape.txt", "escaped"));
    QVERIFY(writeFile(source + "/" + relativeTwin, "escaped"));
    const QString zip = home->scratch("zips") + "/escape.zip";
    QVERIFY(makeZip(source, zip));
    QByteArray bytes = readFile(zip);
    QCOMPARE(bytes.count("zz/escape.txt"), 2);
    bytes.replace("zz/escape.txt", "../escape.txt");
    bytes.replace(relativeTwin.toUtf8(), absolute.toUtf8());
    QVERIFY(writeFile(zip, bytes));

    CommandExecutor executor;
    executor.extractCustomCCOZip(zip, "CustomerCheckout", true);
    QVERIFY(!QFile::exists(absolute));
    QVERIFY(!QFile::exists(home->appData() + "/escape.txt"));
    QDirIterator it(QDir::cleanPath(home->scratch(".")), {"escape.txt", "absolute.txt"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString found = it.next();
        QVERIFY2(found.startsWith(home->cco() + "/") || found.startsWith(source + "/"),
                 qPrintable(found));
    }
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
