// advisory-server's request handling fed raw HTTP requests, in process: the bytes go through
// the service's request assembly (head and body within their limits, chunked bodies decoded),
// then, as a complete request, through the HTTP library's request reading, the service's
// server settings and every endpoint.

#include "AdvisoryService.h"
#include "Categories.h"
#include "FuzzCheck.h"
#include "GuardedServer.h"
#include "Options.h"
#include "Protocol.h"
#include "RecordStore.h"
#include "RequestAssembler.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

// A connection whose client sends the given bytes and then closes its side.
class ByteStream : public httplib::Stream
{
public:
    ByteStream(const char* data, std::size_t size) : m_data(data), m_size(size) {}

    bool is_readable() const override { return m_offset < m_size; }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, std::size_t size) override
    {
        const std::size_t n = std::min(size, m_size - m_offset);
        std::memcpy(ptr, m_data + m_offset, n);
        m_offset += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, std::size_t size) override
    {
        m_written.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        ip = "127.0.0.1";
        port = 8730;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    const std::string& written() const { return m_written; }

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
    std::string m_written;
};

// The server with its request processing open to a stream instead of a socket.
class StreamServer : public httplib::Server
{
public:
    // One request per connection, as the service is configured; the answer as written.
    std::string serve(const char* data, std::size_t size)
    {
        ByteStream stream(data, size);
        bool closed = false;
        process_request(stream, true, closed, nullptr);
        return stream.written();
    }
    std::string serve(const std::string& request) { return serve(request.data(), request.size()); }
};

struct Reply
{
    int status = 0;
    std::string contentType;
    std::string body;
};

// Every answer is a well-formed HTTP response; the first one is returned. The answer to HEAD
// announces its body's length without the body.
Reply ReadReply(const std::string& written, bool bHead = false)
{
    Reply reply;
    if (written.empty())
        return reply;
    FUZZ_CHECK(written.compare(0, 9, "HTTP/1.1 ") == 0);
    FUZZ_CHECK(written.size() > 12 && std::isdigit(static_cast<unsigned char>(written[9])) &&
               std::isdigit(static_cast<unsigned char>(written[10])) &&
               std::isdigit(static_cast<unsigned char>(written[11])));
    reply.status = std::stoi(written.substr(9, 3));
    const std::size_t headEnd = written.find("\r\n\r\n");
    FUZZ_CHECK(headEnd != std::string::npos);
    const std::string head = written.substr(0, headEnd + 2);
    const auto header = [&head](const std::string& name) {
        const std::size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos)
            return std::string();
        const std::size_t start = at + name.size() + 4;
        return head.substr(start, head.find("\r\n", start) - start);
    };
    reply.contentType = header("Content-Type");
    const std::string length = header("Content-Length");
    std::size_t bodySize = 0;
    if (!length.empty())
        bodySize = std::stoul(length);
    if (bHead)
        return reply;
    FUZZ_CHECK(written.size() >= headEnd + 4 + bodySize);
    reply.body = written.substr(headEnd + 4, bodySize);
    return reply;
}

// What the gateway and the image service rely on: a whole JSON reply is the envelope. (A
// client that asks for a byte range gets that part of it, status 206.)
void CheckEnvelope(const Reply& reply)
{
    if (reply.status != 200 || reply.contentType.rfind("application/json", 0) != 0)
        return;
    const nlohmann::json json = nlohmann::json::parse(reply.body, nullptr, false);
    FUZZ_CHECK(!json.is_discarded());
    if (json.is_array())
        return; // the list of stored records
    FUZZ_CHECK(json.is_object());
    FUZZ_CHECK(json.contains("code") && json["code"].is_number_integer());
    FUZZ_CHECK(json.contains("msg") && json["msg"].is_string());
    FUZZ_CHECK(json.contains("data"));
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// One service with its database in memory and its images in a directory of its own; made
// anew now and then, so the stored records do not pile up.
struct Service
{
    explicit Service(const std::filesystem::path& dataDir)
    {
        options.dataDir = dataDir.string();
        std::string error;
        FUZZ_CHECK(store.open(":memory:", error));
        service = std::make_unique<advisory::AdvisoryService>(
            options, store,
            std::make_shared<nlohmann::ordered_json>(advisory::builtInCategories()));
        advisory::configureServer(server);
        service->install(server);
        service->setBaseUrl("http://127.0.0.1:8730");
        // The page's own scripts, before any record is stored.
        pageScripts = Count(Lower(server.serve("GET /app/advisory/AdvisoryList HTTP/1.1\r\n"
                                               "Host: 127.0.0.1\r\n\r\n")),
                            "<script");
    }

    advisory::ServerOptions options;
    advisory::RecordStore store;
    std::unique_ptr<advisory::AdvisoryService> service;
    StreamServer server;
    std::size_t pageScripts = 0;
};

std::filesystem::path g_dataDir;
std::unique_ptr<Service> g_service;
int g_runs = 0;

// The request as the service assembles it from the connection's bytes. Where the bytes are
// split into reads must not matter, so they are fed once whole and once in small pieces of
// sizes taken from the input itself.
advisory::RequestAssembler Assemble(const char* data, std::size_t size)
{
    const advisory::ServerLimits limits;
    advisory::RequestAssembler whole(limits.maxHead, advisory::kMaxRequestBody);
    whole.feed(data, size);

    advisory::RequestAssembler pieces(limits.maxHead, advisory::kMaxRequestBody);
    std::size_t at = 0;
    while (at < size) {
        const std::size_t n = std::min<std::size_t>(size - at, 1 + (data[at] & 0x0F));
        pieces.feed(data + at, n);
        at += n;
    }
    FUZZ_CHECK(whole.state() == pieces.state());
    FUZZ_CHECK(whole.failureStatus() == pieces.failureStatus());
    FUZZ_CHECK(whole.expectsContinue() == pieces.expectsContinue());
    if (whole.state() == advisory::RequestAssembler::State::Complete)
        FUZZ_CHECK(whole.request() == pieces.request());
    if (whole.state() == advisory::RequestAssembler::State::Failed)
        FUZZ_CHECK(whole.failureStatus() >= 400 && whole.failureStatus() <= 599);
    return whole;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_dataDir = std::filesystem::temp_directory_path() /
                ("advisory-fuzz-" + std::to_string(static_cast<long>(::getpid())));
    std::filesystem::create_directories(g_dataDir);
    static struct Cleanup
    {
        ~Cleanup()
        {
            g_service.reset();
            std::error_code ignored;
            std::filesystem::remove_all(g_dataDir, ignored);
        }
    } cleanup;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!g_service || ++g_runs % 500 == 0) {
        g_service.reset();
        g_service = std::make_unique<Service>(g_dataDir);
    }
    StreamServer& server = g_service->server;

    const advisory::RequestAssembler assembled =
        Assemble(reinterpret_cast<const char*>(data), size);
    if (assembled.state() == advisory::RequestAssembler::State::Complete) {
        // The assembled request carries its body with a Content-Length of its true size.
        const std::string& request = assembled.request();
        const std::size_t headEnd = request.find("\r\n\r\n");
        FUZZ_CHECK(headEnd != std::string::npos);
        CheckEnvelope(ReadReply(server.serve(request), request.rfind("HEAD ", 0) == 0));
    }

    // Whatever was stored must still list and show: as JSON, and as a page into which no
    // stored text brings markup of its own.
    const Reply records = ReadReply(server.serve("GET /advisory/records HTTP/1.1\r\n"
                                                 "Host: 127.0.0.1\r\n\r\n"));
    FUZZ_CHECK(records.status == 200);
    CheckEnvelope(records);
    const Reply page = ReadReply(server.serve("GET /app/advisory/AdvisoryList HTTP/1.1\r\n"
                                              "Host: 127.0.0.1\r\n\r\n"));
    FUZZ_CHECK(page.status == 200);
    const std::string lower = Lower(page.body);
    FUZZ_CHECK(Count(lower, "<script") == g_service->pageScripts);
    FUZZ_CHECK(lower.find("href=\"javascript:") == std::string::npos);

    // Uploaded images are removed at once, so a long run does not fill the disk.
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(g_dataDir, ignored))
        std::filesystem::remove(entry.path(), ignored);
    return 0;
}
