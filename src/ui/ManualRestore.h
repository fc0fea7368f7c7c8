#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <cstdint>

#include "ui/AppStateBridge.h"

namespace kt {

// One placement of "Herstel Internet": runs the manual network restore and
// shows its result for 5 seconds. Each placement keeps its own state.
class ManualRestore : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(kt::AppStateBridge* appState MEMBER appState_ REQUIRED)
    Q_PROPERTY(bool restoring READ restoring NOTIFY changed)
    // "" while there is nothing to show.
    Q_PROPERTY(QString result READ result NOTIFY changed)
    Q_PROPERTY(bool succeeded READ succeeded NOTIFY changed)

  public:
    using QObject::QObject;

    static constexpr double resultSeconds = 5.0;

    bool restoring() const { return restoring_; }
    QString result() const { return result_; }
    bool succeeded() const { return succeeded_; }

    // Starts a restore; a result still shown goes at once.
    Q_INVOKABLE void start();

  signals:
    void changed();

  private:
    void finish(bool success);

    AppStateBridge* appState_ = nullptr;
    bool restoring_ = false;
    QString result_;
    bool succeeded_ = false;
    // Counts results, so that the clearing of an older result leaves a newer one alone.
    std::uint64_t resultGeneration_ = 0;
};

}  // namespace kt
