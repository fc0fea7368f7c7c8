#include "session/DetectedServices.h"

#include "app/AppState.h"

namespace kt {

void AppState::updateDetectedServices(const std::vector<std::string>& domains) {
    detectedServices = detectedServiceNames(domains);
}

}  // namespace kt
