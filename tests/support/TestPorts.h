#pragma once

#include "FakeHttpClient.h"
#include "FakeNetworkInterfaces.h"
#include "FakePasteboard.h"
#include "FakeSystemInformation.h"
#include "FakeTimeFormatter.h"
#include "ManualScheduler.h"
#include "platform/Ports.h"

namespace kt::testing {

// A full set of fakes for an AppState under test, in virtual time.
struct TestPorts {
    ManualScheduler scheduler;
    FakeTimeFormatter timeFormatter;
    FakeHttpClient http;
    FakeNetworkInterfaces networkInterfaces;
    FakeSystemInformation systemInformation;
    FakePasteboard pasteboard;

    Ports ports() {
        Ports p;
        p.scheduler = &scheduler;
        p.clock = &scheduler;
        p.timeFormatter = &timeFormatter;
        p.http = &http;
        p.networkInterfaces = &networkInterfaces;
        p.systemInformation = &systemInformation;
        p.pasteboard = &pasteboard;
        return p;
    }
};

}  // namespace kt::testing
