// A stand-in for the community's account server, for tests and the local demo: the
// launcher's account calls on 127.0.0.1, backed by SQLite.

#include "AccountService.h"
#include "ServerOptions.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <httplib.h>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using qbk::accountserver::AccountService;

std::atomic<bool> stopRequested{false};

extern "C" void onStopSignal(int) {
    stopRequested = true;
}

void send(httplib::Response& response, const AccountService::Reply& reply) {
    response.status = reply.status;
    response.set_content(reply.body.dump(), "application/json; charset=utf-8");
}

void sendModsManifest(const std::string& path, httplib::Response& response) {
    if (path.empty()) {
        send(response, {404, {{"errorMessage", "Список модов на сервере не настроен."}}});
        return;
    }
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    if (!file) {
        send(response, {500, {{"errorMessage", "Не удалось прочитать список модов."}}});
        return;
    }
    response.set_content(content.str(), "application/json; charset=utf-8");
}

void addRoutes(httplib::Server& server, AccountService& service, const std::string& mods) {
    auto bearer = [](const httplib::Request& r) {
        return r.get_header_value("Authorization");
    };
    server.Get("/api/challenge", [&](const httplib::Request&, httplib::Response& res) {
        send(res, service.challenge());
    });
    server.Post("/api/register", [&](const httplib::Request& req, httplib::Response& res) {
        send(res, service.registerAccount(req.body));
    });
    server.Post("/authserver/authenticate",
                [&](const httplib::Request& req, httplib::Response& res) {
                    send(res, service.authenticate(req.body));
                });
    server.Post("/api/recover", [&](const httplib::Request& req, httplib::Response& res) {
        send(res, service.recover(req.body));
    });
    server.Get("/api/session", [&, bearer](const httplib::Request& req, httplib::Response& res) {
        send(res, service.session(bearer(req)));
    });
    server.Get("/api/admin/me", [&, bearer](const httplib::Request& req, httplib::Response& res) {
        send(res, service.adminMe(bearer(req)));
    });
    server.Get("/api/admin/bans", [&, bearer](const httplib::Request& req, httplib::Response& res) {
        send(res, service.adminBans(bearer(req)));
    });
    server.Post("/api/admin/ban", [&, bearer](const httplib::Request& req, httplib::Response& res) {
        send(res, service.adminBan(bearer(req), req.body));
    });
    server.Post("/api/admin/unban",
                [&, bearer](const httplib::Request& req, httplib::Response& res) {
                    send(res, service.adminUnban(bearer(req), req.body));
                });
    server.Get("/api/mods", [mods](const httplib::Request&, httplib::Response& res) {
        sendModsManifest(mods, res);
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            send(res, {500, {{"errorMessage", "Внутренняя ошибка сервера."}}});
        });
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = qbk::accountserver::parseServerOptions(
        std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "qbk-account-server: " << error << "\n" << qbk::accountserver::usageText();
        return 2;
    }
    AccountService service(*options);
    if (!service.isReady()) {
        std::cerr << "qbk-account-server: " << service.startupError() << "\n";
        return 1;
    }
    httplib::Server server;
    server.set_keep_alive_timeout(1); // a stop waits for idle keep-alive connections
    addRoutes(server, service, options->modsManifestPath);
    const int port = options->port == 0
                         ? server.bind_to_any_port("127.0.0.1")
                         : (server.bind_to_port("127.0.0.1", options->port) ? options->port : -1);
    if (port <= 0) {
        std::cerr << "qbk-account-server: cannot listen on 127.0.0.1:" << options->port << "\n";
        return 1;
    }
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    std::printf("listening 127.0.0.1:%d\n", port);
    std::fflush(stdout);

    std::atomic<bool> listenReturned{false};
    std::thread stopper([&server, &listenReturned] {
        while (!stopRequested)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // A stop that comes before the accept loop runs would be lost, and the server would
        // go on listening: a signal right after the "listening" line must still end it.
        while (!listenReturned && !server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        server.stop();
    });
    server.listen_after_bind();
    listenReturned = true;
    stopRequested = true;
    stopper.join();
    return 0;
}
