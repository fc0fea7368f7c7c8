#include <gtest/gtest.h>

#include <QCoreApplication>

#include "http/EpollEventDispatcher.h"

// The service's tests run on the event loop the service serves on.
int main(int argc, char* argv[]) {
    QCoreApplication::setEventDispatcher(new kt::service::EpollEventDispatcher);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
