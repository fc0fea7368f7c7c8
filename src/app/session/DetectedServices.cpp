#include "session/DetectedServices.h"

#include "app/session/ClassSession.h"

namespace kt {

void ClassSession::updateDetectedServices(const std::vector<std::string>& domains) {
    state_.detectedServices = detectedServiceNames(domains);
}

}  // namespace kt
