#pragma once

#include <string>
#include <vector>

namespace kt {

// A message box that the student must answer before going on.
struct AlertContent {
    enum class Style { Informational, Warning, Critical };
    Style style = Style::Informational;
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons;  // left to right; the first is the default
};

class ModalAlert {
  public:
    virtual ~ModalAlert() = default;

    // Shows the alert and returns only when a button was pressed (the main
    // thread waits meanwhile). Returns the index of that button. Main thread only.
    virtual int runModal(const AlertContent& content) = 0;
};

}  // namespace kt
