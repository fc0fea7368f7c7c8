#pragma once

#include "platform/ModalAlert.h"

namespace kt {

// The alert as a Qt message box, run in its own event loop until a button is
// pressed. Needs a QApplication.
class QtModalAlert final : public ModalAlert {
  public:
    int runModal(const AlertContent& content) override;
};

}  // namespace kt
