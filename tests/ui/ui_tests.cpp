#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

#include "UiTestControl.h"
#include "ui/UiContext.h"

// Each QML test file gets a fresh engine and with it a fresh state.
class UiTestSetup : public QObject {
    Q_OBJECT

  public slots:
    void qmlEngineAvailable(QQmlEngine* engine) {
        auto* control = new kt::testing::UiTestControl(engine);
        kt::installUiContext(*engine, control->bridge(), control->consent());
        engine->rootContext()->setContextProperty(QStringLiteral("testControl"), control);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(ui_tests, UiTestSetup)

#include "ui_tests.moc"
