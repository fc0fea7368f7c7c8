#include "blocking/PrivilegeStrategies.h"

#ifndef KA_TESMAR_PRIVILEGED_HELPER
#define KA_TESMAR_PRIVILEGED_HELPER "/usr/libexec/ka-tesmar/run-as-admin"
#endif

namespace kt {
namespace {

ProcessRequest privilegedRun(std::string program, std::vector<std::string> arguments) {
    ProcessRequest request;
    request.program = std::move(program);
    request.arguments = std::move(arguments);
    // The script's "OK" and whatever else it prints are the run's own: never
    // on the application's standard output.
    request.standardOutput = ProcessOutput::Capture;
    request.standardError = ProcessOutput::Capture;
    return request;
}

}  // namespace

std::string OsascriptStrategy::sourceFor(const std::string& scriptPath) {
    std::string escaped;
    for (char c : scriptPath) {
        if (c == '\\')
            escaped += '\\';
        if (c == '"')
            escaped += '\\';
        escaped += c;
    }
    return "do shell script \"bash \\\"" + escaped + "\\\"\" with administrator privileges";
}

ProcessRequest OsascriptStrategy::requestFor(const std::string& scriptPath) const {
    return privilegedRun("/usr/bin/osascript", {"-e", sourceFor(scriptPath)});
}

PkexecStrategy::PkexecStrategy(std::string helperPath) : helperPath_(std::move(helperPath)) {}

std::string PkexecStrategy::defaultHelperPath() {
    return KA_TESMAR_PRIVILEGED_HELPER;
}

ProcessRequest PkexecStrategy::requestFor(const std::string& scriptPath) const {
    return privilegedRun("/usr/bin/pkexec", {helperPath_, scriptPath});
}

ProcessRequest DirectRootStrategy::requestFor(const std::string& scriptPath) const {
    return privilegedRun("/bin/bash", {scriptPath});
}

}  // namespace kt
