#pragma once

#include "platform/ModalAlert.h"

namespace kt {

// What the student is told after a start that found the blocking of an
// earlier run left behind and took it out.
AlertContent networkRestoredAtStartupAlert();
// ...and when it could not take it out.
AlertContent networkNotRestoredAtStartupAlert();

}  // namespace kt
