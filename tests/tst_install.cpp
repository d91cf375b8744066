// The installation check, the patch, and unpacking the runtime and CCO
// installations, with the real pwd, tar and unzip, real links, FIFOs,
// sockets and processes in a throw-away data home.

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "testsupport.h"
#include "updates.h"
#include "wholefile.h"

#include <QDirIterator>
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

// Limits the size of the files this process and its children write.
struct FileSizeLimit
{
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit{bytes, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    rlimit saved{};
};

} // namespace

class tst_Install : public QObject
{
    Q_OBJECT

private slots:
    // CCO's port for these tests: the views' tests serve on the real one.
    void init();
    void cleanup();
    void check_data();
    void check();
    void jreArchive();
    void operation_data();
    void operation();

private:
    std::unique_ptr<DataHome> home;
    std::unique_ptr<CommandExecutor> executor;
    QString assets;
    QByteArray savedPath = qgetenv("PATH");
    QProcess elsewhere;
    QTcpServer server;
    QStringList output;

    // A program found before the real one on the search path.
    void shadow(const QString &program, const QByteArray &body)
    {
        QVERIFY(writeScript(home->scratch("bin") + "/" + program, body));
        qputenv("PATH", QFile::encodeName(home->scratch("bin")) + ":" + savedPath);
    }
    // A zip in "my zips" of what `source` holds.
    QString zipOf(const QString &source, const QString &name, const QStringList &options = {})
    {
        const QString zip = home->scratch("my zips") + "/" + name;
        return run("zip", QStringList{"-qr"} + options + QStringList{zip, "."}, source) ? zip : QString();
    }
    void unlockAll()
    {
        run("chattr", {"-R", "-i", home->scratch(".")}) && run("chmod", {"-R", "u+w", home->scratch(".")});
    }
};

void tst_Install::init()
{
    home.reset(new DataHome);
    assets = home->scratch("app/assets");
    // pwd reports the app's working folder; the assets lie beside it.
    QVERIFY(QDir::setCurrent(home->scratch("app")));
    output.clear();
    executor.reset(new CommandExecutor);
    // CCO's port for these tests: the views' tests serve on the real one.
    executor->setCcoPort(19991);
    connect(executor.get(), &CommandExecutor::processOutputChanged, this,
            [this](const QString &line) { output << line; });
}

void tst_Install::cleanup()
{
    executor.reset();
    elsewhere.kill();
    elsewhere.waitForFinished();
    server.close();
    qputenv("PATH", savedPath);
    unlockAll();
    home.reset();
}

void tst_Install::check_data()
{
    QTest::addColumn<QStringList>("layout");
    // The log lines, %A standing for the app data folder; none: it passes.
    QTest::addColumn<QStringList>("log");

    const QString missing = "CustomerCheckout directory does not exist at: \"%A/CustomerCheckout\"";
    const QString failed = "Failed to create CustomerCheckout directory.";
    const QString created = "Successfully created CustomerCheckout directory.";
    const QString noJre = "sapmachine-jre-17.0.6 sub-directory does not exist in: \"%A\"";
    const QString noJava = "sapmachine-jre-17.0.6 has no executable bin/java at: \"%A/sapmachine-jre-17.0.6/bin/java\"";
    const QString noRun = "run.sh script file does not exist at: \"%A/CustomerCheckout/run.sh\"";
    const QString noExec = "run.sh script file is not an executable file at: \"%A/CustomerCheckout/run.sh\"";

    QTest::newRow("fresh device") << QStringList{} << QStringList{missing, failed};
    QTest::newRow("app data folder only") << QStringList{"data"} << QStringList{missing, created, noJre};
    QTest::newRow("no CCO folder") << QStringList{"jre"} << QStringList{missing, created, noRun};
    QTest::newRow("no runtime") << QStringList{"run.sh"} << QStringList{noJre};
    QTest::newRow("plain file as CCO folder") << QStringList{"jre", "cco-file"} << QStringList{missing, failed};
    QTest::newRow("folder as run.sh") << QStringList{"jre", "run.sh-folder"} << QStringList{noExec};
    QTest::newRow("run.sh not executable") << QStringList{"jre", "run.sh-plain"} << QStringList{noExec};
    QTest::newRow("empty runtime folder") << QStringList{"jre-empty", "run.sh"} << QStringList{noJava};
    QTest::newRow("java not executable") << QStringList{"jre-plain-java", "run.sh"} << QStringList{noJava};
    QTest::newRow("all present") << QStringList{"jre", "run.sh"} << QStringList{};
    QTest::newRow("interrupted import: previous installation put back")
        << QStringList{"jre", "previous"}
        << QStringList{"Restoring the previous \"CustomerCheckout\" folder from "
                       "\"%A/.CustomerCheckout.staging-Ab12Cd-previous\""};
}

void tst_Install::check()
{
    QFETCH(QStringList, layout);
    QFETCH(QStringList, log);
    const QMap<QString, std::function<bool()>> make{
        {"data", [&] { return QDir().mkpath(home->appData()); }},
        {"jre", [&] { return home->makeRuntime(); }},
        {"jre-empty", [&] { return QDir().mkpath(home->jre()); }},
        {"jre-plain-java", [&] { return writeFile(home->jre() + "/bin/java", "not a program"); }},
        {"cco-file", [&] { return writeFile(home->cco(), "not a folder"); }},
        {"run.sh", [&] { return writeScript(home->cco() + "/run.sh", "true"); }},
        {"run.sh-plain", [&] { return writeFile(home->cco() + "/run.sh", "true"); }},
        {"run.sh-folder", [&] { return QDir().mkpath(home->cco() + "/run.sh"); }},
        {"previous",
         [&] { return writeScript(home->appData() + "/.CustomerCheckout.staging-Ab12Cd-previous/run.sh", "true"); }}};
    for (const QString &item : layout)
        QVERIFY2(make[item](), qPrintable(item));

    LogCapture capture;
    const bool passes = log.isEmpty() || layout.contains("previous");
    QCOMPARE(executor->checkDirectoryValidity(), passes);
    if (passes)
        log << "All checks passed for directory and files.";
    QCOMPARE(capture.lines(), log.replaceInStrings("%A", home->appData()));
    QCOMPARE(output, QStringList());
}

void tst_Install::jreArchive()
{
    const QMap<QString, QString> names{{"x86_64", "sapmachine-jre-17.0.6_linux-x64_bin.tar.gz"},
                                       {"arm64", "sapmachine-jre-17.0.6_linux-aarch64_bin.tar.gz"},
                                       {"arm", ""},
                                       {"X86_64", ""}};
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        QCOMPARE(CommandExecutor::jreArchiveFor(it.key()), it.value());
}

void tst_Install::operation_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("ok");
    // Text the output holds; %A stands for the app data folder.
    QTest::addColumn<QString>("line");

    const QString done = "File extracted successfully to";
    const QString failed = "Failed to extract file. Error:";
    const QString nothing = "Nothing was patched: the installed files are as they were.";
    const QString busy = " refused: CCO is running (pid ";
    const QList<std::tuple<const char *, const char *, const char *, bool, QString>> rows{
        {"patch", "all present", "", true, ""},
        {"patch", "asset missing", "asset missing", false,
         "CCO_Restore.jar to %A/CustomerCheckout/CCO_Restore.jar: No such file or directory\n" + nothing},
        {"patch", "app started from the wrong folder", "failing pwd", false, "Failed to copy run.sh to"},
        {"patch", "disk full", "disk full", false, "(is the disk full?)\n" + nothing},
        {"patch", "no CCO folder", "no CCO folder", false, "Failed to copy " + nothing.left(0)},
        {"patch", "CCO running elsewhere", "running elsewhere", false, "Patch" + busy},
        {"patch", "a shell working in the installation", "shell in installation", true, ""},
        {"patch", "the till's own files over the patch", "site", true, ""},
        {"patch", "a site file through a link out", "site link out", false,
         "Nothing was patched: site/config/pos.properties would lead out of the installation through a link."},
        {"jdk", "fresh device", "no runtime", true, "File extracted successfully to %A"},
        {"jdk", "runtime already there", "", false, "Directory already exists: %A/sapmachine-jre-17.0.6"},
        {"jdk", "empty runtime replaced", "empty runtime", true,
         "The runtime has no executable bin/java and is replaced: %A/sapmachine-jre-17.0.6\n" + done},
        {"jdk", "corrupt archive", "corrupt", false, failed + " gzip: stdin: not in gzip format"},
        {"jdk", "archive without the runtime folder", "wrong folder", false,
         failed + " the archive holds no sapmachine-jre-17.0.6 folder"},
        {"jdk", "archive missing", "missing", false, "is not a readable archive file"},
        {"jdk", "leftover of an interrupted run", "leftover", false, failed},
        {"jdk", "CCO running elsewhere", "running elsewhere", false, "Unpacking the runtime" + busy},
        {"import", "zip", "", true, done},
        {"import", "delivered copy removed", "delivered", true, "Removed the delivered copy %H/7/cco.zip"},
        {"import", "delivered copy removed after a failure", "delivered corrupt", false,
         "Removed the delivered copy %H/7/cco.zip"},
        {"import", "file URL with an escaped blank", "url", true, done},
        {"import", "a zip kept elsewhere, beside a delivery", "beside a delivery", true, done},
        {"import", "CustomerCheckout folder zipped", "wrapped", true,
         "The zip holds the CustomerCheckout folder itself"},
        {"import", "pattern characters in the name", "pattern", true, done},
        {"import", "link inside the installation kept", "link inside", true, done},
        {"import", "replaced folder cannot be deleted", "undeletable", true,
         "Could not delete the replaced folder, set aside at %A/.CustomerCheckout.staging-"},
        {"import", "encrypted zip", "encrypted", false, "the zip is encrypted ("},
        {"import", "FIFO", "fifo", false, "is not a readable zip file"},
        {"import", "absolute link", "absolute link", false, "the entry lib/out links to /etc, outside"},
        {"import", "../ entry", "dotdot entry", false, "the zip's entry ../escape.txt goes up out of its folder"},
        {"import", "corrupt zip", "corrupt", false, failed},
        {"import", "disk full half-way", "disk full", false, failed},
        {"import", "leftover of an interrupted import", "leftover", false, "End-of-central-directory"},
        {"import", "unzip fails without a word", "silent", false, "unzip failed without saying why"},
        {"import", "new folder cannot be moved into place", "no move", false, "cannot move the unpacked files to"},
        {"import", "this app's CCO running", "running here", false,
         "Import refused: a program is running from the installation"},
        {"import", "CCO running elsewhere", "running elsewhere", false, "Import" + busy},
        {"import", "another program on CCO's port", "port taken", true, done},
        {"import", "a shell working in logs/", "shell in logs", true, done},
        {"import", "without force", "no force", false, "Directory already exists: %A/CustomerCheckout"},
        {"import", "zip without run.sh", "no run.sh", false,
         "no run.sh at the top of the installation: it is not a CCO"},
        {"import", "zip made by macOS's Compress", "macos", true, "The zip holds the CustomerCheckout folder itself"},
        {"import", "previous not kept where space is short", "no room", true, "The previous installation was not kept"},
        {"import", "the till's own files laid over it", "site", true, done},
        {"import", "a site file that cannot be copied", "site in the way", false,
         "the till's own files (site/) cannot be laid over it: cannot make the folder of"},
        {"rollback", "previous put back", "", true, "The previous installation is back; the one it replaced is"},
        {"rollback", "the till's own files on the installation that comes back", "site", true, "The previous"},
        {"rollback", "no previous", "no previous", false,
         "Could not go back to the previous installation: there is no"},
        {"rollback", "CCO running elsewhere", "running elsewhere", false, "Going back" + busy},
        {"rollback", "previous a link out of the data folder", "previous link", false,
         "Could not go back to the previous installation: %A/CustomerCheckout.previous is not a folder of the data "
         "folder."},
        {"rollback", "previous a file", "previous file", false, "CustomerCheckout.previous is not a folder of the"},
        {"import", "previous a link out of the data folder", "previous link", true, done},
        {"import", "previous a file", "previous file", true, done},
        {"import", "empty path", "empty", false, "File not found: "}};
    for (const auto &[operation, name, setup, ok, line] : rows)
        QTest::addRow("%s: %s", operation, name) << operation << setup << ok << line;
}

void tst_Install::operation()
{
    QFETCH(QString, operation);
    QFETCH(QString, setup);
    QFETCH(bool, ok);
    QFETCH(QString, line);
    const QString archive = CommandExecutor::jreArchiveFor(QSysInfo::currentCpuArchitecture());
    if (archive.isEmpty())
        QSKIP("no runtime is shipped for this processor");

    // A device with a runtime, an installation and the assets; the runtime
    // archive and the zip hold new ones.
    const QString source = home->scratch(".") + "/new";
    QVERIFY(home->makeInstallation("new") && QDir().rename(home->cco(), source));
    QVERIFY(home->makeInstallation("old") && home->makeRuntime() && DataHome::makeAssets(assets));
    const QString top = setup == "wrong folder" ? "jre" : "sapmachine-jre-17.0.6";
    QVERIFY(writeScript(home->scratch("jre") + "/" + top + "/bin/java", "echo new java"));
    QVERIFY(run("tar", {"-czf", assets + "/" + archive, top}, home->scratch("jre")));
    QString zip = home->scratch("my zips") + "/cco.zip";
    const QMap<QString, QPair<QString, QByteArray>> links{{"link inside", {"lib/current.jar", "cco.jar"}},
                                                          {"absolute link", {"lib/out", "/etc"}}};
    std::unique_ptr<FileSizeLimit> limit;

    if (setup == "url") {
        zip = QUrl::fromLocalFile(zipOf(source, "my cco.zip")).toString(QUrl::FullyEncoded);
    } else if (setup == "wrapped") {
        QVERIFY(QDir().rename(source, home->scratch("outer") + "/CustomerCheckout"));
        zip = zipOf(home->scratch("outer"), "cco.zip");
    } else if (setup == "pattern") {
        // unzip would take the name as a pattern and unpack the decoy.
        QVERIFY(writeScript(home->scratch("decoy") + "/run.sh", "echo decoy installation"));
        zipOf(home->scratch("decoy"), "cco1.zip");
        zip = zipOf(source, "cco[1].zip");
    } else if (setup == "encrypted") {
        zipOf(source, "cco.zip", {"-P", "secret"});
    } else if (setup == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(zip).constData(), 0600), 0);
    } else if (links.contains(setup)) {
        QCOMPARE(::symlink(links[setup].second, QFile::encodeName(source + "/" + links[setup].first)), 0);
        zipOf(source, "cco.zip", {"--symlinks"});
    } else if (setup == "dotdot entry") {
        QVERIFY(writeFile(source + "/zz/escape.txt", "escaped"));
        QVERIFY(writeFile(zip, readFile(zipOf(source, "cco.zip")).replace("zz/escape.txt", "../escape.txt")));
    } else if (setup.startsWith("delivered")) {
        // A delivery beside another one, which stays.
        zip = home->incoming() + "/7/cco.zip";
        QVERIFY(writeFile(zip, readFile(zipOf(source, "cco.zip"))) && writeFile(home->incoming() + "/8/x.zip", "x"));
        QVERIFY(setup == "delivered" || writeFile(zip, "not a zip"));
    } else if (setup == "beside a delivery") {
        // The zip the user keeps stays, although the service delivered something else.
        QVERIFY(writeFile(home->incoming() + "/8/x.zip", "x"));
        zipOf(source, "cco.zip");
    } else if (setup == "no run.sh") {
        QVERIFY(writeFile(home->scratch("photos") + "/photos/holiday.jpg", "jpg"));
        zip = zipOf(home->scratch("photos"), "cco.zip");
    } else if (setup == "macos") {
        QVERIFY(QDir().rename(source, home->scratch("outer") + "/CustomerCheckout"));
        QVERIFY(writeFile(home->scratch("outer") + "/__MACOSX/CustomerCheckout/._run.sh", "resource fork"));
        zip = zipOf(home->scratch("outer"), "cco.zip");
    } else if (setup == "corrupt") {
        QVERIFY(writeFile(zip, readFile(zipOf(source, "cco.zip")).replace(40, 40, QByteArray(40, '\xff'))));
        QVERIFY(writeFile(assets + "/" + archive, QByteArray(4096, 'x')));
    } else if (setup == "leftover") {
        // A run that was killed half-way left its staging folder behind.
        QVERIFY(writeFile(zip, "a shopping list") && writeFile(assets + "/" + archive, "a shopping list"));
        QVERIFY(writeFile(home->appData() + (operation == "jdk" ? "/.sapmachine-jre-17.0.6" : "/.CustomerCheckout")
                              + ".staging-q1W2e3/unpacked/run.sh",
                          "half"));
    } else if (setup == "disk full") {
        // The first files fit; a large one hits the limit half-way.
        QVERIFY(writeFile(source + "/z-big.bin", QByteArray(4 * 1024 * 1024, 'z')));
        QVERIFY(writeFile(assets + "/CCO_Restore.jar", QByteArray(4 * 1024 * 1024, 'j')));
        zipOf(source, "cco.zip");
        limit.reset(new FileSizeLimit(1024 * 1024));
    } else {
        zipOf(source, "cco.zip");
    }
    // A runtime that cannot run is what the unpack replaces.
    if (operation == "jdk" && !setup.isEmpty())
        QVERIFY(QDir(home->jre()).removeRecursively() && (setup == "no runtime" || QDir().mkpath(home->jre())));
    if (setup == "missing" || setup == "asset missing")
        QVERIFY(QFile::remove(setup == "missing" ? assets + "/" + archive : assets + "/CCO_Restore.jar"));
    else if (setup == "no CCO folder")
        QVERIFY(QDir(home->cco()).removeRecursively());
    else if (setup == "silent")
        shadow("unzip", "[ \"$1\" = -Z1 ] && exec /usr/bin/unzip \"$@\"; exit 1");
    // The staging folder turns read-only once unzip has filled it: the new
    // folder cannot leave it after the old one was moved aside.
    else if (setup == "no move")
        shadow("unzip",
               "[ \"$1\" = -Z1 ] && exec /usr/bin/unzip \"$@\"\n"
               "/usr/bin/unzip \"$@\" && chmod a-w .. && { chattr +i .. 2>/dev/null; true; }");
    else if (setup == "undeletable")
        QVERIFY(run("chmod", {"a-w", home->cco() + "/config"})
                && (run("chattr", {"+i", home->cco() + "/config"}) || true));
    if (setup == "no room" || setup == "undeletable")
        executor->setMinimumFreeBytes(std::numeric_limits<qint64>::max());
    if (setup == "previous link")
        QVERIFY(writeScript(home->scratch("outside") + "/run.sh", "echo outside")
                && QFile::link(home->scratch("outside"), home->cco() + ".previous"));
    else if (setup == "previous file")
        QVERIFY(writeFile(home->cco() + ".previous", "a file"));
    else if (operation == "rollback" && setup != "no previous")
        QVERIFY(writeScript(home->cco() + ".previous/run.sh", "echo previous installation"));
    // The till's POS prefix; in the way of a folder the installation needs; or
    // where the installation's config folder leads out of it.
    if (setup.startsWith("site"))
        QVERIFY(writeFile(home->appData() + "/site/config/pos.properties", "prefix=till-0417\n"));
    if (setup == "site in the way")
        QVERIFY(writeFile(home->appData() + "/site/run.sh/x", "x"));
    else if (setup == "site link out")
        QVERIFY(QDir(home->cco() + "/config").removeRecursively()
                && QFile::link(home->scratch("outside"), home->cco() + "/config"));
    if (setup == "failing pwd")
        shadow("pwd", "exit 1");
    else if (setup == "port taken")
        QVERIFY2(server.listen(QHostAddress::LocalHost, executor->ccoPort()), qPrintable(server.errorString()));
    else if (setup == "running here")
        QVERIFY(writeScript(home->cco() + "/run.sh", "exec sleep 60"));
    if (setup == "running here")
        executor->runCCO();
    else if (setup == "running elsewhere") {
        QVERIFY2(startCcoElsewhere(elsewhere, home->cco() + "/bin/server"), qPrintable(elsewhere.errorString()));
    } else if (setup.startsWith("shell in")) {
        elsewhere.setWorkingDirectory(setup.endsWith("logs") ? home->appData() + "/logs" : home->cco());
        QDir().mkpath(elsewhere.workingDirectory());
        elsewhere.start("sleep", {"60"});
        QVERIFY(elsewhere.waitForStarted());
    }
    const QMap<QString, QByteArray> before = snapshot(home->cco()), runtimeBefore = snapshot(home->jre());

    bool result = false;
    if (operation == "patch")
        result = executor->patchInstallation();
    else if (operation == "jdk")
        result = executor->runExtractJDK() == home->appData() && output.join('\n').contains("successfully");
    else if (operation == "rollback")
        result = executor->goBack();
    else
        result =
            executor->extractCustomCCOZip(setup == "empty" ? QString() : zip, "CustomerCheckout", setup != "no force");
    limit.reset();
    QCOMPARE(result, ok);
    // The replaced folder is deleted after the operation has returned.
    QTRY_VERIFY2(
        output.join('\n').contains(QString(line).replace("%A", home->appData()).replace("%H", home->incoming())),
        qPrintable(output.join('\n')));
    // A delivered copy goes, with its folder; any other zip stays.
    if (setup.startsWith("delivered"))
        QVERIFY(!QFileInfo::exists(home->incoming() + "/7") && QFileInfo::exists(home->incoming() + "/8/x.zip"));
    else if (operation == "import" && setup != "empty" && setup != "fifo")
        QVERIFY(QFileInfo::exists(QUrl(zip).isLocalFile() ? QUrl(zip).toLocalFile() : zip));
    if (setup.startsWith("site"))
        QCOMPARE(readFile(home->cco() + "/config/pos.properties"), QByteArray(ok ? "prefix=till-0417\n" : setup == "site link out" ? "" : "prefix=old\n"));
    if (!ok) {
        QCOMPARE(snapshot(home->cco()), before);
        QCOMPARE(snapshot(home->jre()), runtimeBefore);
    } else if (operation == "patch") {
        for (const char *name : kPatchFileNames) {
            QCOMPARE(readFile(home->cco() + "/" + name), QByteArray("new ") + name);
            QCOMPARE(QFileInfo(home->cco() + "/" + name).permissions() & 0x7777, QFileDevice::Permissions(0x7755));
        }
    } else if (operation == "jdk") {
        QCOMPARE(readFile(home->jre() + "/bin/java"), QByteArray("#!/bin/bash\necho new java\n"));
    } else if (operation == "rollback") {
        QCOMPARE(readFile(home->cco() + "/run.sh"), QByteArray("#!/bin/bash\necho previous installation\n"));
        QCOMPARE(readFile(home->cco() + ".previous/run.sh"), QByteArray("#!/bin/bash\necho old installation\n"));
    } else {
        QCOMPARE(readFile(home->cco() + "/run.sh"), QByteArray("#!/bin/bash\necho new installation\n"));
        QCOMPARE(readFile(home->cco() + "/lib/cco.jar"), QByteArray("new jar"));
        if (setup != "delivered")
            QCOMPARE(Installation::zipHash(home->cco()), WholeFile::sha256(QUrl(zip).isLocalFile() ? QUrl(zip).toLocalFile() : zip));
        // The replaced installation is kept where there is room, and the new one is on trial.
        const bool kept = setup != "no room" && setup != "undeletable";
        QTRY_COMPARE(readFile(home->cco() + ".previous/run.sh"),
                     kept ? QByteArray("#!/bin/bash\necho old installation\n") : QByteArray());
        QVERIFY(QFile::exists(home->cco() + ".trial"));
        QVERIFY(setup != "link inside"
                || QFileInfo(home->cco() + "/lib/current.jar").symLinkTarget() == home->cco() + "/lib/cco.jar");
    }
    // What stood in the previous installation's place is moved aside by an
    // import, never followed.
    if (setup.startsWith("previous ")) {
        QCOMPARE(QDir(home->appData()).entryList({"*.broken-*"}, QDir::AllEntries | QDir::System).size(), int(ok));
        QVERIFY(setup == "previous file" || readFile(home->scratch("outside") + "/run.sh").endsWith("echo outside\n"));
    }
    // What could not be deleted is deleted by the next operation; nothing else is left.
    unlockAll();
    executor->checkDirectoryValidity();
    QTRY_COMPARE(QDir(home->appData()).entryList({"*.staging-*"}, QDir::AllEntries | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
