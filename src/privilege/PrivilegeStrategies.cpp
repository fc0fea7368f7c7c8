#include "privilege/PrivilegeStrategies.h"

#ifndef KA_TESMAR_PRIVILEGED_HELPER
#define KA_TESMAR_PRIVILEGED_HELPER "/usr/libexec/ka-tesmar/ka-tesmar-helper"
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

ProcessRequest OsascriptStrategy::helperRequestFor(const std::string&) const {
    return privilegedRun({}, {});
}

PkexecStrategy::PkexecStrategy(std::string helperPath) : helperPath_(std::move(helperPath)) {}

std::string PkexecStrategy::defaultHelperPath() {
    return KA_TESMAR_PRIVILEGED_HELPER;
}

// pkexec runs nothing but the helper; a script has no way to root here.
ProcessRequest PkexecStrategy::requestFor(const std::string&) const {
    return privilegedRun({}, {});
}

ProcessRequest PkexecStrategy::helperRequestFor(const std::string& verb) const {
    return privilegedRun("/usr/bin/pkexec", {helperPath_, verb});
}

DirectRootStrategy::DirectRootStrategy(std::string helperPath)
    : helperPath_(std::move(helperPath)) {}

ProcessRequest DirectRootStrategy::requestFor(const std::string& scriptPath) const {
    return privilegedRun("/bin/bash", {scriptPath});
}

ProcessRequest DirectRootStrategy::helperRequestFor(const std::string& verb) const {
    return privilegedRun(helperPath_, {verb});
}

}  // namespace kt
