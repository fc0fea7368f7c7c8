#pragma once

#include <string>
#include <vector>

namespace kt::bench {

// One run of simulated students against a class service on loopback: all
// connections opened at once (keep-alive TLS), one login each, then one
// status poll every `pollIntervalSeconds` per student for `pollSeconds`.
struct LoadPlan {
    int port = 0;
    int students = 0;
    std::string classCode;
    double pollIntervalSeconds = 5.0;
    double pollSeconds = 20.0;
    double connectDeadlineSeconds = 60.0;  // a connection not ready by then has failed
    bool oneAddress = false;  // all from one address (a school behind NAT), else one each
};

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;  // milliseconds
    static Percentiles of(std::vector<double> samples);
};

struct LoadResult {
    int connected = 0;       // TLS ready
    int failed = 0;          // refused, reset, timed out or answered wrongly
    Percentiles tcpConnect;  // connect() until the kernel accepted
    Percentiles tlsReady;    // connect() until the TLS handshake was done
    int polls = 0;
    double pollsPerSecond = 0;
    Percentiles pollReply;  // request written until the whole reply read
};

LoadResult runLoad(const LoadPlan& plan);

}  // namespace kt::bench
