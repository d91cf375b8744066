// Measurements of the app as it runs: the real main view from the compiled-in
// resources over the real backend, in a window, started the way main() starts
// it. Each figure is reported against a baseline measured in the same run.
//
//   varnolet-bench output [RUNS]      200 MB through the output area
//   varnolet-bench rates              highest steady output rate kept up with
//   varnolet-bench readiness [RUNS]   readiness line to web view shown
//   varnolet-bench startup [RUNS]     process start to first frame, against a
//                                     window that only imports the same modules
//   varnolet-bench soak MINUTES DEMO_APP_DIR DEMO_ZIP
//
// The logwriter helper must lie beside this program.

#include "harness.h"

int main(int argc, char *argv[])
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "true");
    qputenv("GSETTINGS_BACKEND", "memory");
    qputenv("QT_ENABLE_GLYPH_CACHE_WORKAROUND", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
    registerBackendTypes();
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("window") && args.size() == 2)
        return showWindow(args.value(1));
    // The backend's debug lines would only measure the terminal.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });

    if (mode == QLatin1String("output"))
        return benchOutput(args.value(1, QStringLiteral("3")).toInt());
    if (mode == QLatin1String("rates"))
        return benchRates();
    if (mode == QLatin1String("readiness"))
        return benchReadiness(args.value(1, QStringLiteral("5")).toInt());
    if (mode == QLatin1String("startup"))
        return benchStartup(args.value(1, QStringLiteral("7")).toInt());
    if (mode == QLatin1String("longops"))
        return benchLongOperations(args.value(1, QStringLiteral("3")).toInt());
    if (mode == QLatin1String("elements"))
        return benchElements(args.value(1, QStringLiteral("5")).toInt());
    if (mode == QLatin1String("soak") && args.size() == 4)
        return benchSoak(args.value(1).toDouble(), args.value(2), args.value(3));
    std::fprintf(
        stderr,
        "usage: varnolet-bench output [RUNS] | rates | readiness [RUNS] | "
        "startup [RUNS] | elements [RUNS] | longops [RUNS] | soak MINUTES DEMO_APP_DIR DEMO_ZIP\n");
    return 2;
}
