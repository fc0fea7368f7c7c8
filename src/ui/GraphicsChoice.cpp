#include "ui/GraphicsChoice.h"

#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QtGlobal>
#include <cstring>

namespace kt {

bool openGlRequested(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--opengl") == 0)
            return true;
    return qEnvironmentVariable("KA_TESMAR_OPENGL") == QLatin1String("1");
}

void chooseGraphics(bool openGl) {
    if (openGl)
        return;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // No GL integration at all, unless the user chose one himself.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
}

}  // namespace kt
