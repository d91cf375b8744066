// The installation check, the patch, and unpacking the runtime and CCO
// installations, with the real pwd, tar and unzip, real links, FIFOs,
// sockets and processes in a throw-away data home.

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTcpServer>
#include <QtTest>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every file and folder below `root`, with the files' contents.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries[QDir(root).relativeFilePath(path)] = it.fileInfo().isDir() ? "<dir>" : readFile(path);
    }
    return entries;
}

bool run(const QString &program, const QStringList &arguments, const QString &workingDirectory = {})
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (!ok)
        qWarning() << program << arguments << process.errorString() << process.readAll();
    return ok;
}

QString quoted(const QString &value)
{
    QString text;
    QDebug(&text) << value;
    return text.trimmed();
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Limits the size of files this process and its children write, while it lives.
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
    void extractJdk_data();
    void extractJdk();
    void import_data();
    void import();
    void interruptedToolLeavesNoChild();

private:
    std::unique_ptr<DataHome> home;
    QString workDir;
    QString assets;
    QString savedCwd;
    QByteArray savedPath;
    QProcess elsewhere;
    QTcpServer server;
    QStringList output;

    // Sets up what a row names that is not about the input itself: a CCO
    // started elsewhere, CCO's port taken, a failing pwd, a folder that
    // cannot be changed.
    void arrange(const QString &what);
    // A program found before the real one on the search path.
    void shadow(const QString &program, const QByteArray &body);
    void lock(const QString &path) { QVERIFY(run("chmod", {"a-w", path})); run("chattr", {"+i", path}); }
    QString zipOf(const QString &source, const QString &name, const QStringList &options = {});
    bool makeJreArchive(const QString &path, const QString &topFolder = "sapmachine-jre-17.0.6");
    CommandExecutor *executor = nullptr;
};

void tst_Install::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
    // CCO's port for these tests: the views' tests serve on the real one.
    CcoProbe::ccoPort = 19991;
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
    output.clear();
    executor = new CommandExecutor;
    connect(executor, &CommandExecutor::processOutputChanged, this,
            [this](const QString &line) { output << line; });
}

void tst_Install::cleanup()
{
    delete executor;
    elsewhere.kill();
    elsewhere.waitForFinished();
    server.close();
    QDir::setCurrent(savedCwd);
    qputenv("PATH", savedPath);
    run("chattr", {"-R", "-i", home->scratch(".")});
    run("chmod", {"-R", "u+w", home->scratch(".")});
    home.reset();
}

void tst_Install::arrange(const QString &what)
{
    if (what == "running elsewhere") {
        // A CCO the app did not start: its working folder is the installation.
        elsewhere.setWorkingDirectory(home->cco());
        elsewhere.start("sleep", {"60"});
        QVERIFY(elsewhere.waitForStarted());
    } else if (what == "port taken") {
        QVERIFY2(server.listen(QHostAddress::LocalHost, CcoProbe::ccoPort), qPrintable(server.errorString()));
    } else if (what == "failing pwd") {
        shadow("pwd", "echo 'Web container started.'; exit 1");
    }
}

void tst_Install::shadow(const QString &program, const QByteArray &body)
{
    const QString bin = home->scratch("bin");
    QVERIFY(writeScript(bin + "/" + program, body));
    qputenv("PATH", QFile::encodeName(bin) + ":" + savedPath);
}

QString tst_Install::zipOf(const QString &source, const QString &name, const QStringList &options)
{
    const QString zip = home->scratch("my zips") + "/" + name;
    return run("zip", QStringList{"-qr"} + options + QStringList{zip, "."}, source) ? zip : QString();
}

bool tst_Install::makeJreArchive(const QString &path, const QString &topFolder)
{
    const QString source = home->scratch("jre-source");
    QDir(source).removeRecursively();
    return writeScript(source + "/" + topFolder + "/bin/java", "echo java")
           && run("tar", {"-czf", path, topFolder}, source);
}

void tst_Install::check_data()
{
    // What lies in the data home before the check.
    QTest::addColumn<QStringList>("layout");
    QTest::addColumn<bool>("result");
    // The log lines, with %A for the app data location and %C for the CCO folder.
    QTest::addColumn<QStringList>("log");

    const QString missing = "CustomerCheckout directory does not exist at: %C";
    const QString failed = "Failed to create CustomerCheckout directory.";
    const QString created = "Successfully created CustomerCheckout directory.";
    const QString noJre = "sapmachine-jre-17.0.6 sub-directory does not exist in: %A";
    const QString noJava = "sapmachine-jre-17.0.6 has no executable bin/java at: %A/sapmachine-jre-17.0.6/bin/java";
    const QString noRun = "run.sh script file does not exist at: %C/run.sh";
    const QString noExec = "run.sh script file is not an executable file at: %C/run.sh";
    const QString passed = "All checks passed for directory and files.";

    QTest::newRow("fresh device") << QStringList{} << false << QStringList{missing, failed};
    QTest::newRow("app data folder only") << QStringList{"data"} << false
                                          << QStringList{missing, created, noJre};
    QTest::newRow("no CCO folder") << QStringList{"jre"} << false << QStringList{missing, created, noRun};
    QTest::newRow("no runtime") << QStringList{"run.sh"} << false << QStringList{noJre};
    QTest::newRow("plain file as CCO folder") << QStringList{"jre", "cco-file"} << false
                                              << QStringList{missing, failed};
    QTest::newRow("folder as run.sh") << QStringList{"jre", "run.sh-folder"} << false
                                      << QStringList{noExec};
    QTest::newRow("run.sh not executable") << QStringList{"jre", "run.sh-plain"} << false
                                           << QStringList{noExec};
    QTest::newRow("empty runtime folder") << QStringList{"jre-empty", "run.sh"} << false
                                          << QStringList{noJava};
    QTest::newRow("java not executable") << QStringList{"jre-plain-java", "run.sh"} << false
                                         << QStringList{noJava};
    QTest::newRow("all present") << QStringList{"jre", "run.sh"} << true << QStringList{passed};
    QTest::newRow("interrupted import: previous installation put back")
        << QStringList{"jre", "previous"} << true
        << QStringList{"Restoring the previous \"CustomerCheckout\" folder from %A/.CustomerCheckout.staging-Ab12Cd-previous",
                       passed};
}

void tst_Install::check()
{
    QFETCH(QStringList, layout);
    QFETCH(bool, result);
    QFETCH(QStringList, log);

    for (const QString &item : layout) {
        if (item == "data")
            QVERIFY(QDir().mkpath(home->appData()));
        else if (item == "jre")
            QVERIFY(home->makeRuntime());
        else if (item == "jre-empty")
            QVERIFY(QDir().mkpath(home->jre()));
        else if (item == "jre-plain-java")
            QVERIFY(writeFile(home->jre() + "/bin/java", "not a program"));
        else if (item == "cco-file")
            QVERIFY(writeFile(home->cco(), "not a folder"));
        else if (item == "run.sh")
            QVERIFY(writeScript(home->cco() + "/run.sh", "true"));
        else if (item == "run.sh-plain")
            QVERIFY(writeFile(home->cco() + "/run.sh", "true"));
        else if (item == "run.sh-folder")
            QVERIFY(QDir().mkpath(home->cco() + "/run.sh"));
        else if (item == "previous")
            QVERIFY(writeScript(home->appData() + "/.CustomerCheckout.staging-Ab12Cd-previous/run.sh", "true"));
    }

    LogCapture capture;
    QCOMPARE(executor->checkDirectoryValidity(), result);
    QStringList expected;
    for (const QString &line : log) {
        const int at = line.indexOf('%');
        QString value = line.mid(at);
        value.replace("%A", home->appData()).replace("%C", home->cco());
        expected << (at < 0 ? line : line.left(at) + quoted(value));
    }
    QCOMPARE(capture.lines, expected);
    QCOMPARE(output, QStringList());
}

void tst_Install::patch_data()
{
    QTest::addColumn<QString>("setup");
    // What the output says, in order; empty for a patch that succeeds.
    QTest::addColumn<QStringList>("lines");

    const QString nothing = "Nothing was patched: the installed files are as they were.";
    QTest::newRow("all present") << "" << QStringList();
    QTest::newRow("asset missing") << "CCO_Restore.jar missing"
                                   << QStringList{"Failed to copy %S/CCO_Restore.jar to %D/CCO_Restore.jar: ", nothing};
    QTest::newRow("app started from the wrong folder")
        << "failing pwd" << QVector<QString>(5, "Failed to copy ").toList() + QStringList{nothing};
    QTest::newRow("disk full") << "disk full"
                               << QStringList{"Failed to copy %S/CCO_Restore.jar to %D/CCO_Restore.jar: ", nothing};
    QTest::newRow("no CCO folder") << "no CCO folder"
                                   << QVector<QString>(5, "Failed to copy %S/").toList() + QStringList{nothing};
    QTest::newRow("CCO running elsewhere") << "running elsewhere"
                                           << QStringList{"Patch refused: CCO is running (pid "};
}

void tst_Install::patch()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, lines);

    QVERIFY(DataHome::makeAssets(assets));
    if (setup == "no CCO folder") {
        QVERIFY(QDir().mkpath(home->appData()));
    } else {
        QVERIFY(home->makeInstallation());
        // An old copy that is read-only: it is replaced all the same.
        QVERIFY(writeFile(home->cco() + "/run_cco_restore.sh", "old", QFileDevice::ReadOwner));
    }
    if (setup == "CCO_Restore.jar missing")
        QVERIFY(QFile::remove(assets + "/CCO_Restore.jar"));
    std::unique_ptr<FileSizeLimit> limit;
    if (setup == "disk full") {
        QVERIFY(writeFile(assets + "/CCO_Restore.jar", QByteArray(256 * 1024, 'j')));
        limit.reset(new FileSizeLimit(64 * 1024));
    }
    arrange(setup);
    const QMap<QString, QByteArray> before = snapshot(home->appData());

    QSignalSpy ready(executor, &CommandExecutor::desiredTextFound);
    const bool result = executor->patchInstallation();
    limit.reset();
    QCOMPARE(result, lines.isEmpty());
    QCOMPARE(output.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        line.replace("%S", assets).replace("%D", home->cco());
        QVERIFY2(output[i].startsWith(line), qPrintable(output[i] + " / " + line));
    }
    QCOMPARE(ready.count(), 0);
    if (!result) {
        // Every installed file as it was, and no copy left beside them.
        QCOMPARE(snapshot(home->appData()), before);
        return;
    }
    for (const char *name : kPatchFileNames) {
        const QString installed = home->cco() + "/" + name;
        QCOMPARE(readFile(installed), QByteArray("new ") + name);
        QCOMPARE(QFileInfo(installed).permissions() & 0x7777, QFileDevice::Permissions(0x7755));
    }
    QCOMPARE(entriesOf(home->cco()).size(), 7); // five patched, lib, config
}

void tst_Install::jreArchive_data()
{
    QTest::addColumn<QString>("architecture");
    QTest::addColumn<QString>("archive");
    QTest::newRow("x86_64") << "x86_64" << "sapmachine-jre-17.0.6_linux-x64_bin.tar.gz";
    QTest::newRow("arm64") << "arm64" << "sapmachine-jre-17.0.6_linux-aarch64_bin.tar.gz";
    QTest::newRow("32-bit ARM") << "arm" << QString();
    QTest::newRow("other letter case") << "X86_64" << QString();
}

void tst_Install::jreArchive()
{
    QFETCH(QString, architecture);
    QFETCH(QString, archive);
    QCOMPARE(CommandExecutor::jreArchiveFor(architecture), archive);
}

void tst_Install::extractJdk_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("lines");
    // Whether a runnable runtime is there afterwards.
    QTest::addColumn<bool>("runtime");

    const QString done = "File extracted successfully to %A";
    const QString failed = "Failed to extract file. Error: ";
    QTest::newRow("fresh device") << "" << QStringList{done} << true;
    QTest::newRow("runtime already there") << "good runtime"
                                           << QStringList{"Directory already exists: %A/sapmachine-jre-17.0.6"} << true;
    QTest::newRow("empty runtime replaced")
        << "empty runtime"
        << QStringList{"The runtime has no executable bin/java and is replaced: %A/sapmachine-jre-17.0.6", done}
        << true;
    QTest::newRow("corrupt archive") << "corrupt" << QStringList{failed} << false;
    QTest::newRow("truncated archive") << "truncated" << QStringList{failed} << false;
    QTest::newRow("archive without the runtime folder")
        << "wrong folder" << QStringList{failed + "the archive holds no sapmachine-jre-17.0.6 folder"} << false;
    QTest::newRow("archive missing") << "missing" << QStringList{failed} << false;
    QTest::newRow("leftover of an interrupted run") << "leftover" << QStringList{failed} << false;
    QTest::newRow("CCO running elsewhere")
        << "running elsewhere" << QStringList{"Unpacking the runtime refused: CCO is running (pid "} << false;
}

void tst_Install::extractJdk()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, lines);
    QFETCH(bool, runtime);
    const QString archive = CommandExecutor::jreArchiveFor(QSysInfo::currentCpuArchitecture());
    if (archive.isEmpty())
        QSKIP("no runtime is shipped for this processor");
    const QString path = assets + "/" + archive;
    QVERIFY(makeJreArchive(path));
    QVERIFY(QDir().mkpath(home->appData()));

    if (setup == "good runtime") {
        QVERIFY(home->makeRuntime());
        QVERIFY(QFile::remove(path)); // tar must not run
    } else if (setup == "empty runtime") {
        QVERIFY(QDir().mkpath(home->jre()));
    } else if (setup == "corrupt") {
        QVERIFY(writeFile(path, QByteArray(4096, 'x')));
    } else if (setup == "truncated") {
        const QByteArray whole = readFile(path);
        QVERIFY(writeFile(path, whole.left(whole.size() / 2)));
    } else if (setup == "wrong folder") {
        QVERIFY(makeJreArchive(path, "jre"));
    } else if (setup == "missing") {
        QVERIFY(QFile::remove(path));
    } else if (setup == "leftover") {
        // A run that was killed half-way left its staging folder behind.
        QVERIFY(writeFile(home->appData() + "/.sapmachine-jre-17.0.6.staging-x1Y2z3/unpacked/bin/java", "half"));
        QVERIFY(writeFile(path, "not an archive"));
    } else if (setup == "running elsewhere") {
        QVERIFY(home->makeInstallation());
    }
    arrange(setup);

    QCOMPARE(executor->runExtractJDK(), home->appData());
    QCOMPARE(output.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(output[i].startsWith(QString(lines[i]).replace("%A", home->appData())), qPrintable(output[i]));
    QCOMPARE(QFileInfo(home->jre() + "/bin/java").isExecutable(), runtime);
    // Nothing is left behind beside the runtime and the installation.
    for (const QString &entry : entriesOf(home->appData()))
        QVERIFY2(entry == "sapmachine-jre-17.0.6" || entry == "CustomerCheckout", qPrintable(entry));
}

void tst_Install::import_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("ok");
    // Text the last output line holds.
    QTest::addColumn<QString>("line");

    const QString done = "File extracted successfully to";
    const QString failed = "Failed to extract file. Error:";
    QTest::newRow("zip") << "zip" << true << done;
    QTest::newRow("file URL with an escaped blank") << "url" << true << done;
    QTest::newRow("CustomerCheckout folder zipped") << "wrapped" << true << done;
    QTest::newRow("pattern characters in the name") << "pattern" << true << done;
    QTest::newRow("link inside the installation kept") << "link inside" << true << done;
    QTest::newRow("replaced folder cannot be deleted")
        << "undeletable" << true << "Could not delete the replaced folder, set aside at";
    QTest::newRow("encrypted zip") << "encrypted" << false << "the zip is encrypted (";
    QTest::newRow("FIFO") << "fifo" << false << "is not a readable zip file";
    QTest::newRow("absolute link") << "absolute link" << false << "the entry lib/out links to /etc";
    QTest::newRow("link leaving with ..") << "dotdot link" << false << "the entry out links to ../..";
    QTest::newRow("link leaving through a link")
        << "link through link" << false << "the entry out links to here/../escaped";
    QTest::newRow("../ entry") << "dotdot entry" << false << "skipped \"../\" path component";
    QTest::newRow("corrupt zip") << "corrupt" << false << failed;
    QTest::newRow("not a zip") << "text" << false << "End-of-central-directory signature not found";
    QTest::newRow("zip missing") << "missing" << false << "is not a readable zip file";
    QTest::newRow("disk full half-way") << "disk full" << false << failed;
    QTest::newRow("leftover of an interrupted import") << "leftover" << false << failed;
    QTest::newRow("unzip fails without a word") << "silent" << false << "unzip failed without saying why";
    QTest::newRow("new folder cannot be moved into place")
        << "no move" << false << "cannot move the unpacked files to";
    QTest::newRow("this app's CCO running") << "running here" << false
                                            << "Import refused: a program is running from the installation";
    QTest::newRow("CCO running elsewhere") << "running elsewhere" << false << "Import refused: CCO is running (pid ";
    QTest::newRow("CCO's port taken") << "port taken" << false
                                      << "Import refused: CCO is running (a program serving on 127.0.0.1:19991)";
    QTest::newRow("without force") << "no force" << false << "Directory already exists:";
    QTest::newRow("empty path") << "empty" << false << "File not found: ";
}

void tst_Install::import()
{
    QFETCH(QString, input);
    QFETCH(bool, ok);
    QFETCH(QString, line);

    QVERIFY(home->makeInstallation("old"));
    const QMap<QString, QByteArray> before = snapshot(home->cco());
    const QString source = home->scratch("new");
    QVERIFY(writeScript(source + "/run.sh", "echo new installation"));
    QVERIFY(writeFile(source + "/lib/new.jar", "new jar"));
    QString zip = home->scratch("my zips") + "/cco.zip";
    std::unique_ptr<FileSizeLimit> limit;

    if (input == "url") {
        zip = QUrl::fromLocalFile(zipOf(source, "my cco.zip")).toString(QUrl::FullyEncoded);
    } else if (input == "wrapped") {
        QVERIFY(QDir().rename(source, home->scratch("outer") + "/CustomerCheckout"));
        zip = zipOf(home->scratch("outer"), "cco.zip");
    } else if (input == "pattern") {
        // unzip would take the name as a pattern and unpack this one.
        const QString decoy = home->scratch("decoy");
        QVERIFY(writeScript(decoy + "/run.sh", "echo decoy installation"));
        zipOf(decoy, "cco1.zip");
        zip = zipOf(source, "cco[1].zip");
    } else if (input == "encrypted") {
        zip = zipOf(source, "cco.zip", {"-P", "secret"});
    } else if (input == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(zip).constData(), 0600), 0);
    } else if (input.endsWith("link") || input == "link inside") {
        // A link as a zip keeps it: a relative or absolute target.
        const QMap<QString, QPair<QString, QByteArray>> links{
            {"link inside", {"lib/current.jar", "new.jar"}},
            {"absolute link", {"lib/out", "/etc"}},
            {"dotdot link", {"out", "../.."}},
            {"link through link", {"out", "here/../escaped"}}};
        QCOMPARE(::symlink(links[input].second.constData(),
                           QFile::encodeName(source + "/" + links[input].first).constData()), 0);
        if (input == "link through link")
            QCOMPARE(::symlink(".", QFile::encodeName(source + "/here").constData()), 0);
        zip = zipOf(source, "cco.zip", {"--symlinks"});
    } else if (input == "dotdot entry") {
        QVERIFY(writeFile(source + "/zz/escape.txt", "escaped"));
        zipOf(source, "cco.zip");
        QVERIFY(writeFile(zip, readFile(zip).replace("zz/escape.txt", "../escape.txt")));
    } else if (input == "corrupt") {
        QByteArray bytes = readFile(zipOf(source, "cco.zip"));
        QVERIFY(writeFile(zip, bytes.replace(40, 40, QByteArray(40, '\xff'))));
    } else if (input == "text") {
        QVERIFY(writeFile(zip, "a shopping list, not an installation\n"));
    } else if (input == "disk full") {
        // The first files fit; a large one hits the limit half-way.
        QVERIFY(writeFile(source + "/z-big.bin", QByteArray(4 * 1024 * 1024, 'z')));
        zipOf(source, "cco.zip");
        limit.reset(new FileSizeLimit(1024 * 1024));
    } else if (input == "leftover") {
        QVERIFY(writeFile(home->appData() + "/.CustomerCheckout.staging-q1W2e3/unpacked/run.sh", "half"));
        QVERIFY(writeFile(zip, "not a zip"));
    } else if (input == "silent") {
        zipOf(source, "cco.zip");
        shadow("unzip", "[ \"$1\" = -Z ] && exec /usr/bin/unzip \"$@\"; exit 1");
    } else if (input == "no move") {
        // The staging folder turns read-only once unzip has filled it, so the
        // new folder cannot leave it after the old one was moved aside.
        zipOf(source, "cco.zip");
        shadow("unzip", "[ \"$1\" = -Z ] && exec /usr/bin/unzip \"$@\"\n"
                        "/usr/bin/unzip \"$@\" && chmod a-w .. && { chattr +i .. 2>/dev/null; true; }");
    } else if (input == "undeletable") {
        zipOf(source, "cco.zip");
        lock(home->cco() + "/config");
    } else if (input == "running here") {
        zipOf(source, "cco.zip");
        QVERIFY(writeScript(home->cco() + "/run.sh", "exec sleep 60"));
        executor->runCCO();
    } else if (input != "missing") {
        zipOf(source, "cco.zip");
        arrange(input);
    }
    const QMap<QString, QByteArray> unchanged = snapshot(home->cco());

    const QString argument = input == "empty" ? QString() : zip;
    const bool result = executor->extractCustomCCOZip(argument, "CustomerCheckout", input != "no force");
    limit.reset();
    QCOMPARE(result, ok);
    // The replaced folder is deleted after the import has returned.
    QTRY_VERIFY2(output.join('\n').contains(line), qPrintable(output.join('\n')));
    if (!ok) {
        QCOMPARE(snapshot(home->cco()), input == "running here" ? unchanged : before);
    } else {
        QCOMPARE(readFile(home->cco() + "/run.sh"), QByteArray("#!/bin/bash\necho new installation\n"));
        QCOMPARE(readFile(home->cco() + "/lib/new.jar"), QByteArray("new jar"));
        QVERIFY(!QFile::exists(home->cco() + "/config"));
        if (input == "link inside")
            QCOMPARE(QFileInfo(home->cco() + "/lib/current.jar").symLinkTarget(), home->cco() + "/lib/new.jar");
        if (input == "wrapped")
            QVERIFY(output.first().startsWith("The zip holds the CustomerCheckout folder itself"));
    }
    if (input == "undeletable" || input == "no move") {
        // What could not be deleted is deleted by the next operation.
        run("chattr", {"-R", "-i", home->appData()});
        run("chmod", {"-R", "u+w", home->appData()});
        executor->checkDirectoryValidity();
    }
    if (input != "running here")
        QTRY_COMPARE(entriesOf(home->appData()), QStringList{"CustomerCheckout"});
}

void tst_Install::interruptedToolLeavesNoChild()
{
    // An unzip that takes its time, and says where it runs.
    const QString pidFile = home->scratch(".") + "/unzip.pid";
    shadow("unzip", "echo $$ > '" + pidFile.toUtf8() + "'; exec sleep 60");
    QVERIFY(writeFile(home->scratch("my zips") + "/cco.zip", "zip"));
    QProcess tool;
    tool.start(VARNOLET_PROVISION, {"import", home->scratch("my zips") + "/cco.zip"});
    QTRY_VERIFY(QFileInfo(pidFile).size() > 0);
    const pid_t child = readFile(pidFile).trimmed().toInt();
    QCOMPARE(::kill(child, 0), 0);
    tool.terminate();
    QVERIFY(tool.waitForFinished());
    // Gone, or a zombie waiting to be reaped.
    const QString stat = QStringLiteral("/proc/%1/stat").arg(child);
    QTRY_VERIFY2(!QFile::exists(stat) || readFile(stat).contains(") Z "),
                 "unzip outlived the tool that started it");
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
