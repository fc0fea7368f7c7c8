#include "ui/ManualRestore.h"

#include <QPointer>

namespace kt {

void ManualRestore::start() {
    restoring_ = true;
    result_.clear();
    emit changed();
    QPointer<ManualRestore> self(this);
    appState_->state().manualRestoreNetwork([self](bool success) {
        if (self)
            self->finish(success);
    });
}

void ManualRestore::finish(bool success) {
    restoring_ = false;
    succeeded_ = success;
    result_ = success ? QStringLiteral("Internet hersteld")
                      : QStringLiteral("Herstel mislukt - probeer opnieuw");
    const std::uint64_t generation = ++resultGeneration_;
    emit changed();
    QPointer<ManualRestore> self(this);
    appState_->state().ports().scheduler->postAfter(Seconds{resultSeconds}, [self, generation] {
        if (self && self->resultGeneration_ == generation) {
            self->result_.clear();
            emit self->changed();
        }
    });
}

}  // namespace kt
