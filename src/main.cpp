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
