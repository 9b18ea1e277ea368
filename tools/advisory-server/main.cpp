// advisory-server: the local advisory service. Serves the feedback module's gateway APIs,
// takes image uploads, keeps the feedback in SQLite and shows it as a web page.

#include "AdvisoryService.h"
#include "Categories.h"
#include "GuardedServer.h"
#include "Options.h"
#include "Protocol.h"
#include "RecordStore.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <thread>

namespace {

// Lock-free, so it may be written from a signal handler.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int signal)
{
    g_stopSignal = signal;
}

bool ensureDirectory(const std::filesystem::path& dir, std::string& error)
{
    std::error_code ec;
    if (dir.empty() || std::filesystem::is_directory(dir, ec))
        return true;
    if (std::filesystem::create_directories(dir, ec))
        return true;
    error = "cannot create directory '" + dir.string() + "': " + ec.message();
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace advisory;

    ServerOptions options;
    std::string error;
    if (!parseArguments(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "advisory-server: " << error << "\n" << usageText();
        return 2;
    }
    if (options.helpRequested) {
        std::cout << usageText();
        return 0;
    }

    auto categories = std::make_shared<nlohmann::ordered_json>(builtInCategories());
    if (!options.categoriesPath.empty() &&
        !loadCategories(options.categoriesPath, *categories, error)) {
        std::cerr << "advisory-server: " << error << "\n";
        return 2;
    }

    RecordStore store;
    if (!ensureDirectory(options.dataDir, error) ||
        !ensureDirectory(std::filesystem::path(options.dbPath).parent_path(), error) ||
        !store.open(options.dbPath, error)) {
        std::cerr << "advisory-server: " << error << "\n";
        return 1;
    }

    ServerLimits limits;
    limits.workers = options.workers;
    limits.requestDeadline = std::chrono::milliseconds(options.requestTimeoutMs);
    limits.maxBody = kMaxRequestBody;
    GuardedServer server(limits);
    configureServer(server);

    AdvisoryService service(options, store, categories);
    service.install(server);

    const char* host = "127.0.0.1";
    const int port = server.bindAndListen(host, options.port, error);
    if (port <= 0) {
        std::cerr << "advisory-server: cannot listen on " << host << ":" << options.port << ": "
                  << error << "\n";
        return 1;
    }
    const std::string baseUrl = "http://" + std::string(host) + ":" + std::to_string(port);
    service.setBaseUrl(baseUrl);

    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif

    std::atomic<bool> listening{true};
    std::thread listener([&] {
        if (!server.run())
            std::cerr << "advisory-server: the server stopped unexpectedly\n";
        listening = false;
    });

    // The socket is already listening: connections made from now on are queued.
    std::cout << "listening on " << baseUrl << std::endl;

    // A signal handler may only set a flag, so the flag is watched from here.
    while (g_stopSignal == 0 && listening)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    service.shutdown();
    server.stop();
    listener.join();
    return g_stopSignal != 0 ? 0 : 1;
}
