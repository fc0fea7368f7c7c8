#pragma once

#include <QObject>

namespace kt {

// Return and Enter press the focused push button, as on every desktop; Qt
// Quick's buttons answer only the space bar. Check boxes keep theirs to the
// space bar. Watches every object of the application, popups included, and
// keeps a focused button's Return from shortcuts such as the login screen's.
class ReturnPressesButtons final : public QObject {
    Q_OBJECT

  public:
    // Installs one filter on the running application, owned by `owner`.
    static void install(QObject* owner);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using QObject::QObject;
};

}  // namespace kt
