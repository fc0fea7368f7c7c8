// The students' status poll answered from its bytes as they arrive: only one
// whole plain GET of the poll is taken so, and its answer is the HTTP
// server's to the byte.
#include <gtest/gtest.h>

#include "ServiceFixture.h"
#include "http/QuickPoll.h"

namespace {

using namespace kt::testing;
using kt::service::quickPollTarget;

const QByteArray poll = "/Vexlo/api/class-status.php";

TEST(QuickPoll, TakesOneWholePlainGetOfThePollAndLeavesTheRestToTheHttpServer) {
    const QByteArray rest = " HTTP/1.1\r\nHost: k\r\nConnection: keep-alive\r\n\r\n";
    const QByteArray get = "GET " + poll + "?token=a";
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {"GET " + poll + "?token=a%20b" + rest, poll + "?token=a%20b"},
        {"GET " + poll + rest, poll},
        {"GET " + poll + "x?token=a" + rest, "server"},
        {"GET /" + rest, "server"},
        {"POST " + poll + rest, "server"},
        {get + " HTTP/1.0\r\n\r\n", "server"},
        {get + rest + get + rest, "server"},  // a second request behind it
        {get + " HTTP/1.1\r\nHost: k\r\n", "server"},
        {get + " HTTP/1.1\r\ncontent-length: 0\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nExpect: 100-continue\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nUpgrade: websocket\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nX: a\nY: b\r\n\r\n", "server"},
        {get + " HTTP/1.1\r\nX: a\rContent-Length: 5\r\n\r\n", "server"},
        {"GET " + poll + "?a b" + rest, "server"},
        {"GET HTTP/1.1\r\n\r\n", "server"},
    };
    for (const auto& [bytes, target] : cases)
        EXPECT_EQ(quickPollTarget(bytes, poll).value_or("server"), target) << bytes.data();
}

using QuickPolls = ServiceTest;

TEST_F(QuickPolls, AreAnsweredToTheByteAsTheHttpServerAnswers) {
    start();
    for (const QByteArray& query :
         {"?token=" + studentToken().toLatin1(), QByteArray("?token=onbekend"), QByteArray()}) {
        const RawReply quick = call("GET", poll + query);
        // With a body announced the request is the HTTP server's.
        const RawReply server = call("GET", poll + query, {}, {"Content-Length: 0"});
        EXPECT_NE(quick.status, 0) << query.data();
        EXPECT_EQ(quick.head + "\r\n\r\n" + quick.body, server.head + "\r\n\r\n" + server.body)
            << query.data();
    }
}

}  // namespace
