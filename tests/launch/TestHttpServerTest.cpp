// The loopback server is what every transfer test relies on, so its counters, routes and
// pacing are checked here with httplib's own client, independent of the launcher's code.

#include "tests/support/TestHttpServer.h"

#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace qbk::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

httplib::Client clientOf(const TestHttpServer& server, bool keepAlive) {
    httplib::Client client("127.0.0.1", server.port());
    client.set_keep_alive(keepAlive);
    client.set_read_timeout(10, 0);
    return client;
}

TEST(TestHttpServerTest, CountsTcpConnectionsAndRequestsSeparately) {
    TestHttpServer server;
    {
        auto kept = clientOf(server, true);
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(kept.Get("/bytes/8")->status, 200);
    }
    EXPECT_EQ(server.connectionsOpened(), 1u);
    EXPECT_EQ(server.requestsServed(), 3u);

    auto closing = clientOf(server, false);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(closing.Get("/bytes/8")->status, 200);
    EXPECT_EQ(server.connectionsOpened(), 4u);
    EXPECT_EQ(server.requestsServed(), 6u);

    server.resetCounters();
    EXPECT_EQ(server.connectionsOpened(), 0u);
    EXPECT_EQ(server.requestsServed(), 0u);
}

TEST(TestHttpServerTest, BuiltInRoutesAnswerAsDocumented) {
    TestHttpServer server;
    auto client = clientOf(server, true);

    const auto sized = client.Get("/bytes/5000");
    EXPECT_EQ(sized->body, TestHttpServer::patternBytes(5000));
    EXPECT_EQ(sized->get_header_value("Content-Length"), "5000");

    const auto chunked = client.Get("/chunked/5000");
    EXPECT_EQ(chunked->body, TestHttpServer::patternBytes(5000));
    EXPECT_FALSE(chunked->has_header("Content-Length"));
    EXPECT_EQ(chunked->get_header_value("Transfer-Encoding"), "chunked");

    const auto hop = client.Get("/redirect/3");
    EXPECT_EQ(hop->status, 302);
    EXPECT_EQ(hop->get_header_value("Location"), "/redirect/2");
    EXPECT_EQ(client.Get("/redirect/0")->body, "done");

    const auto missing = client.Get("/status/404");
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(missing->body, "status 404");
    EXPECT_EQ(client.Get("/nothing/here")->status, 404);
}

TEST(TestHttpServerTest, RegisteredRoutesSeeTheirGroupsAndWinOverBuiltIns) {
    TestHttpServer server;
    server.get(R"(/items/(\w+)/(\d+))",
               [](const auto&, httplib::Response& response, const std::smatch& match) {
                   response.set_content(match[1].str() + "#" + match[2].str(), "text/plain");
               });
    server.post("/echo", [](const httplib::Request& request, httplib::Response& response,
                            const auto&) { response.set_content(request.body, "text/plain"); });
    server.get("/bytes/5", [](const auto&, httplib::Response& response, const auto&) {
        response.set_content("replaced", "text/plain");
    });
    auto client = clientOf(server, true);

    EXPECT_EQ(client.Get("/items/lamp/42")->body, "lamp#42");
    EXPECT_EQ(client.Post("/echo", "ping", "text/plain")->body, "ping");
    EXPECT_EQ(client.Get("/bytes/5")->body, "replaced");
    EXPECT_EQ(client.Get("/bytes/6")->body, TestHttpServer::patternBytes(6));
}

TEST(TestHttpServerTest, MountedFolderIsServedBelowItsMountPoint) {
    TestHttpServer server;
    TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    std::ofstream(dir / "sub" / "file.txt", std::ios::binary) << "mirrored";
    ASSERT_TRUE(server.mount("/mirror", dir.path()));
    auto client = clientOf(server, true);

    EXPECT_EQ(client.Get("/mirror/sub/file.txt")->body, "mirrored");
    EXPECT_EQ(client.Get("/mirror/sub/absent.txt")->status, 404);
}

TEST(TestHttpServerTest, HeldConnectionsAreAnsweredOnlyAfterRelease) {
    TestHttpServer server;
    server.holdConnections();
    std::atomic<bool> answered{false};
    std::thread request([&] {
        auto client = clientOf(server, false);
        if (const auto result = client.Get("/bytes/3"); result && result->status == 200)
            answered = true;
    });
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_FALSE(answered.load());
    server.releaseConnections();
    request.join();
    EXPECT_TRUE(answered.load());
}

TEST(TestHttpServerTest, StallAndTrickleTakeTheirTime) {
    TestHttpServer server;
    auto client = clientOf(server, true);

    auto start = Clock::now();
    EXPECT_EQ(client.Get("/stall/300")->body, "late");
    EXPECT_GE(Clock::now() - start, milliseconds(300));

    start = Clock::now();
    EXPECT_EQ(client.Get("/trickle/5/100")->body, TestHttpServer::patternBytes(5));
    EXPECT_GE(Clock::now() - start, milliseconds(500));
}

TEST(TestHttpServerTest, StoppingInterruptsAStall) {
    auto server = std::make_unique<TestHttpServer>();
    const int port = server->port();
    std::thread request([port] {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(30, 0);
        client.Get("/stall/60000");
    });
    std::this_thread::sleep_for(milliseconds(200));
    const auto start = Clock::now();
    server.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    request.join();
}

} // namespace
} // namespace qbk::test
