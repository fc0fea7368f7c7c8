// Apart from SystemProfile.cpp, so that a program that uses one profile
// (the root helper) does not link the other.
#include "blocking/LinuxProfile.h"
#include "blocking/MacosProfile.h"
#include "blocking/SystemProfile.h"

namespace kt {

const SystemProfile* profileNamed(std::string_view name) {
    static const MacosProfile macos;
    static const LinuxProfile linuxProfile;
    if (name == macos.name())
        return &macos;
    if (name == linuxProfile.name())
        return &linuxProfile;
    return nullptr;
}

}  // namespace kt
