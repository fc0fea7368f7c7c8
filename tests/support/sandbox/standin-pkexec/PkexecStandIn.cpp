// Stand-in for pkexec in the sandbox, where no polkit daemon runs. Installed
// set-user-ID root there, it runs the one program the polkit action names as
// root, with a clean environment and the caller's account in PKEXEC_UID,
// as pkexec does for the active session.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    const char* helper = "/usr/libexec/ka-tesmar/ka-tesmar-helper";
    if (argc < 2 || std::strcmp(argv[1], helper) != 0) {
        std::fprintf(stderr, "Not authorized: %s\n", argc > 1 ? argv[1] : "(nothing)");
        return 127;
    }
    const std::string caller = std::to_string(::getuid());
    if (::setgid(0) == 0 && ::setuid(0) == 0 && ::clearenv() == 0 &&
        ::setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1) == 0 &&
        ::setenv("PKEXEC_UID", caller.c_str(), 1) == 0)
        ::execv(helper, argv + 1);
    std::perror("pkexec stand-in");
    return 127;
}
