#include "qmltypes.h"
#include "terminatesignal.h"
#include "translations.h"

#include <QDebug>
#include <QGuiApplication>
#include <QQuickView>
#include <QtQml>

int main(int argc, char *argv[])
{
    // The web view runs without its sandbox (the device has no user
    // namespaces for it), and the touch screen is high-density.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "true");
    // A text's glyph cache that grows is copied through the processor into
    // its larger texture, not read back from the graphics memory: the first
    // such read-back had a software renderer compile its copy shaders, which
    // held the first frame up by some 60 ms. What is drawn is the same.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_GLYPH_CACHE_WORKAROUND"))
        qputenv("QT_ENABLE_GLYPH_CACHE_WORKAROUND", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);

    // Neither the application nor the view is ever destroyed: a CCO process
    // the backend started keeps running when the window is closed.
    auto *app = new QGuiApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
    qDebug() << "Starting app from main";
    installTranslations(app);
    quitOnTerminate(app);

    auto *view = new QQuickView();
    registerBackendTypes();
    view->setSource(QUrl(QStringLiteral("qrc:/Main.qml")));
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->show();
    return app->exec();
}
