// Process start to first frame, against a window that only imports the
// same modules.

#include "harness.h"

int benchStartup(int runs)
{
    // An installation that passes the check, so that the app counts down.
    App home;
    home.install(QStringLiteral("sleep 600"));
    home.installRuntime();
    const QString binaries = QCoreApplication::applicationDirPath();
    std::vector<double> app, minimal, ratios;
    for (int run = 0; run < runs; ++run) {
        minimal.push_back(
            timeToFirstFrame(binaries + QStringLiteral("/minimal-window"), home.dataHome.path()));
        app.push_back(
            timeToFirstFrame(binaries + QStringLiteral("/../varnolet"), home.dataHome.path()));
        ratios.push_back(app.back() / minimal.back());
        std::printf("run %d: varnolet %.0f ms, minimal window %.0f ms, ratio %.3f\n", run + 1,
                    app.back(), minimal.back(), ratios.back());
        std::fflush(stdout);
    }
    std::printf("median of %d: varnolet %.0f ms, minimal window %.0f ms, ratio %.3f\n", runs,
                median(app), median(minimal), median(ratios));
    return 0;
}
