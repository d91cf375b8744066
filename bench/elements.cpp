// What each element of the main view adds to its first frame.

#include "harness.h"

// `document` without the block that starts with the line `opening`, up to
// its closing brace.
QString without(const QString &document, const QString &opening)
{
    const int start = document.indexOf(opening);
    if (opening.isEmpty() || start < 0)
        return document;
    int depth = 0;
    for (int i = document.indexOf(QLatin1Char('{'), start); i < document.size(); ++i) {
        if (document[i] == QLatin1Char('{'))
            ++depth;
        else if (document[i] == QLatin1Char('}') && --depth == 0)
            return document.left(start) + document.mid(i + 1);
    }
    return document;
}

// What each element of the main view adds to the time to its first frame:
// the view without it against the whole view, medians of `runs`.
int benchElements(int runs)
{
    App home;
    home.install(QStringLiteral("sleep 600"));
    home.installRuntime();
    QTemporaryDir folder;
    auto resource = [](const QString &name) {
        QFile file(QStringLiteral(":/") + name);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    };
    const QString main = resource(QStringLiteral("Main.qml"));
    // The view's other documents, beside each variant of it.
    for (const QString &name : QDir(QStringLiteral(":/")).entryList({QStringLiteral("*.qml")})) {
        QFile copy(folder.filePath(name));
        copy.open(QIODevice::WriteOnly);
        copy.write(resource(name).toUtf8());
    }

    const QList<QPair<QString, QString>> elements{
        {QStringLiteral("whole view"), QString()},
        {QStringLiteral("web view (its module loaded when it is made)"),
         QStringLiteral("        CcoWebView {")},
        {QStringLiteral("screen saver (made after the first frame)"),
         QStringLiteral("        // The till's screen stays on")},
        {QStringLiteral("page header"), QStringLiteral("        header: PageHeader {")},
        {QStringLiteral("maintenance screen"), QStringLiteral("        MaintenanceScreen {")},
        {QStringLiteral("shell settings"), QStringLiteral("    GSettings {")},
        {QStringLiteral("backend"), QStringLiteral("        CommandExecutor {")},
        {QStringLiteral("supervisor"), QStringLiteral("        CcoSupervisor {")},
        {QStringLiteral("operation overlay (its text and bar made when shown)"),
         QStringLiteral("    OperationOverlay {")},
        {QStringLiteral("content picker (its module loaded after the first frame)"),
         QStringLiteral("    onFirstFrameDrawnChanged: {")},
        {QStringLiteral("restore dialog (declared, not created)"),
         QStringLiteral("    Component {\n        id: restoreDialogComponent")},
    };
    // A part that is not found would measure the whole view under its name.
    for (const auto &[name, opening] : elements) {
        if (!opening.isEmpty() && without(main, opening) == main) {
            std::fprintf(stderr, "elements: the part \"%s\" is not in Main.qml as \"%s\"\n",
                         qPrintable(name), qPrintable(opening));
            return 1;
        }
    }
    std::vector<std::vector<double>> times(elements.size());
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < elements.size(); ++i) {
            const QString path = folder.filePath(QStringLiteral("Variant%1.qml").arg(i));
            QFile variant(path);
            variant.open(QIODevice::WriteOnly | QIODevice::Truncate);
            variant.write(without(main, elements[i].second).toUtf8());
            variant.close();
            times[i].push_back(timeToFirstFrame(QCoreApplication::applicationFilePath(),
                                                home.dataHome.path(),
                                                {QStringLiteral("window"), path}));
        }
        std::fprintf(stderr, "run %d of %d\n", run + 1, runs);
    }
    const double whole = median(times[0]);
    std::printf("%-70s %6.0f ms\n", "whole view, time to first frame", whole);
    for (int i = 1; i < elements.size(); ++i)
        std::printf("%-70s %6.0f ms\n", qPrintable(elements[i].first), whole - median(times[i]));
    return 0;
}
