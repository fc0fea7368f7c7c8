#pragma once

#include <string>
#include <vector>

namespace kt {

// What to do with one output stream of a child process.
enum class ProcessOutput {
    Capture,  // read into the result
    Discard,  // sent to the null device
    Inherit,  // the parent's own stream
};

struct ProcessRequest {
    std::string program;  // absolute path; no search through PATH
    std::vector<std::string> arguments;
    ProcessOutput standardOutput = ProcessOutput::Capture;
    ProcessOutput standardError = ProcessOutput::Discard;
    // Written to the program's standard input, which is then closed; the null
    // device when empty.
    std::string standardInput = {};
};

struct ProcessResult {
    bool started = false;
    std::string startError;  // why it could not be started, when !started
    int exitStatus = -1;     // exit code; 128 + signal number when killed by a signal
    std::string standardOutput;
    std::string standardError;
};

// Starts programs and waits for them.
class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;

    // Starts the program, waits until it exits and returns what it wrote to
    // the captured streams. Blocks the calling thread; callable from any
    // thread, also from several at once.
    virtual ProcessResult run(const ProcessRequest& request) = 0;
};

}  // namespace kt
