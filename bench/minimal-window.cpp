// A window that imports the main view's modules and does nothing else,
// started like the app: the baseline of the start-up figure.

#include <QGuiApplication>
#include <QQuickView>

int main(int argc, char *argv[])
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "true");
    qputenv("QT_ENABLE_GLYPH_CACHE_WORKAROUND", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QGuiApplication app(argc, argv);
    QQuickView view;
    view.setSource(QUrl::fromLocalFile(QStringLiteral(MINIMAL_QML)));
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.show();
    return app.exec();
}
