#include "AdvisoryService.h"

#include "Protocol.h"
#include "RecordPage.h"
#include "RecordStore.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace advisory {

using Json = nlohmann::ordered_json;

namespace {

const char* const kJsonType = "application/json; charset=utf-8";
// The history page shows stored, client-supplied text: even if some of it slipped through
// escaping, the page runs only scripts and shows only images and styles of this service
// itself, and loads nothing else.
const char* const kRecordPagePolicy =
    "default-src 'none'; img-src 'self'; script-src 'self'; style-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

struct Outcome
{
    int code = code::Success;
    std::string msg;
    Json data;
};

Outcome refuse(int errorCode, std::string msg)
{
    return {errorCode, std::move(msg), nullptr};
}

std::string dump(const Json& json)
{
    // Stored text is valid UTF-8 already; replacing keeps a damaged database row from
    // turning into an exception.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void reply(httplib::Response& res, const Outcome& outcome)
{
    Json envelope;
    envelope["code"] = outcome.code;
    envelope["msg"] = outcome.msg;
    envelope["data"] = outcome.data;
    res.set_content(dump(envelope), kJsonType);
}

std::string routeFor(const std::string& name)
{
    std::string pattern = "/";
    for (const char c : name) {
        if (c == '.')
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

// Reads a gateway API's body, which must be a JSON object of at most kMaxGatewayBody bytes.
bool readGatewayBody(const httplib::Request& req, Json& body, Outcome& refusal)
{
    if (req.body.size() > kMaxGatewayBody) {
        refusal = refuse(code::TooLarge, "request body exceeds 1 MiB");
        return false;
    }
    body = Json::parse(req.body, nullptr, false);
    if (body.is_discarded()) {
        refusal = refuse(code::NotJson, "request body is not valid JSON");
        return false;
    }
    if (!body.is_object()) {
        refusal = refuse(code::NotJson, "request body must be a JSON object");
        return false;
    }
    return true;
}

// Answers a gateway API: the business function sees only a well-formed body.
template<typename Business>
void serveGateway(const httplib::Request& req, httplib::Response& res, Business business)
{
    Json body;
    Outcome outcome;
    if (readGatewayBody(req, body, outcome))
        outcome = business(body);
    reply(res, outcome);
}

// Integer-like values (codes, ids) may come as JSON numbers or as their text.
bool isTextOrInteger(const Json& value)
{
    return value.is_string() || value.is_number_integer();
}

enum class Expect { Text, TextOrInteger, Files };

struct RecordKey
{
    const char* name;
    Expect expect;
};

const RecordKey kRecordKeys[] = {
    {"startBusinessCode1", Expect::TextOrInteger},
    {"startBusinessName1", Expect::Text},
    {"startBusinessCode2", Expect::TextOrInteger},
    {"startBusinessName2", Expect::Text},
    {"venderId", Expect::TextOrInteger},
    {"userId", Expect::Text},
    {"telphone", Expect::Text},
    {"questionDesc", Expect::Text},
    {"files", Expect::Files},
    {"version", Expect::Text},
    {"platform", Expect::TextOrInteger},
    {"systemName", Expect::Text},
    {"systemVersion", Expect::Text},
    {"ip", Expect::Text},
    {"resolution", Expect::Text},
    {"sourceType", Expect::Text},
    {"browserVersion", Expect::Text},
    {"deviceId", Expect::Text},
};

// Keys may be left out; a key that is present must have its type. Empty when fine.
std::string checkRecord(const Json& record)
{
    for (const RecordKey& key : kRecordKeys) {
        const auto it = record.find(key.name);
        if (it == record.end())
            continue;
        const std::string name = key.name;
        switch (key.expect) {
        case Expect::Text:
            if (!it->is_string())
                return name + " must be a string";
            break;
        case Expect::TextOrInteger:
            if (!isTextOrInteger(*it))
                return name + " must be an integer or a string";
            break;
        case Expect::Files:
            if (!it->is_array())
                return "files must be an array";
            for (std::size_t i = 0; i < it->size(); ++i) {
                const Json& file = (*it)[i];
                const std::string at = "files[" + std::to_string(i) + "]";
                if (!file.is_object())
                    return at + " must be an object";
                for (const char* field : {"url", "fileName"}) {
                    const auto value = file.find(field);
                    if (value == file.end() || !value->is_string())
                        return at + "." + field + " must be a string";
                }
            }
            break;
        }
    }
    return {};
}

const char* imageExtension(const std::string& content)
{
    static const std::string jpeg("\xFF\xD8\xFF", 3);
    static const std::string png("\x89PNG\r\n\x1A\n", 8);
    if (content.compare(0, jpeg.size(), jpeg) == 0)
        return ".jpg";
    if (content.compare(0, png.size(), png) == 0)
        return ".png";
    return nullptr;
}

std::string randomImageBase()
{
    std::random_device random;
    std::ostringstream name;
    name << std::hex;
    for (int i = 0; i < 4; ++i) {
        name.width(8);
        name.fill('0');
        name << static_cast<std::uint32_t>(random());
    }
    return name.str();
}

// Only names this service hands out: 32 lower-case hex digits and its own extension.
// Anything else, and so any "..", separator or drive, is not found.
const char* imageTypeOfName(const std::string& name)
{
    if (name.size() != 36)
        return nullptr;
    for (std::size_t i = 0; i < 32; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return nullptr;
    }
    const std::string extension = name.substr(32);
    if (extension == ".jpg")
        return "image/jpeg";
    if (extension == ".png")
        return "image/png";
    return nullptr;
}

} // namespace

void configureServer(httplib::Server& server)
{
    server.set_payload_max_length(kMaxRequestBody);
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            res.set_content(res.status == 404   ? "not found\n"
                            : res.status == 413 ? "request too large\n"
                                                : "request failed\n",
                            "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        }));
}

AdvisoryService::AdvisoryService(const ServerOptions& options, RecordStore& store,
                                 std::shared_ptr<const Json> categories)
    : m_options(options), m_store(store), m_categories(std::move(categories))
{}

void AdvisoryService::install(httplib::Server& server)
{
    server.Post(routeFor(kBusinessTypeApi),
                [this](const auto& req, auto& res) { handleBusinessType(req, res); });
    server.Post(routeFor(kStartAdvisoryApi),
                [this](const auto& req, auto& res) { handleStartAdvisory(req, res); });
    server.Post(routeFor(kImageUploadTarget),
                [this](const auto& req, auto& res) { handleUpload(req, res); });
    server.Get("/images/(.*)", [this](const auto& req, auto& res) { handleImage(req, res); });
    server.Get("/advisory/records",
               [this](const auto& req, auto& res) { handleRecords(req, res); });
    server.Get("/app/advisory/AdvisoryList",
               [this](const auto& req, auto& res) { handleRecordPage(req, res); });
    server.Get("/app/advisory/page\\.css", [](const auto&, auto& res) {
        res.set_content(recordPageStyle(), "text/css; charset=utf-8");
    });
    server.Get("/app/advisory/page\\.js", [](const auto&, auto& res) {
        res.set_content(recordPageScript(), "text/javascript; charset=utf-8");
    });
}

void AdvisoryService::shutdown()
{
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopCondition.notify_all();
}

bool AdvisoryService::waitFor(std::chrono::milliseconds duration)
{
    std::unique_lock<std::mutex> lock(m_stopMutex);
    return !m_stopCondition.wait_for(lock, duration, [this] { return m_stopping; });
}

bool AdvisoryService::applyFaults(const std::string& target, httplib::Response& res)
{
    const auto faults = m_options.faults.find(target);
    if (faults == m_options.faults.end())
        return false;
    for (const Fault& fault : faults->second) {
        switch (fault.kind) {
        case FaultKind::Delay:
            if (!waitFor(std::chrono::milliseconds(fault.value))) {
                res.status = 503;
                res.set_content("service is shutting down", "text/plain");
                return true;
            }
            break;
        case FaultKind::Error:
            reply(res, refuse(static_cast<int>(fault.value), "injected failure"));
            return true;
        case FaultKind::Malformed:
            // An envelope cut off in the middle, as a broken proxy would deliver it.
            res.set_content("{\"code\": 0, \"msg\": \"\", \"data\": [", kJsonType);
            return true;
        case FaultKind::HttpStatus:
            res.status = static_cast<int>(fault.value);
            res.set_content("injected failure", "text/plain");
            return true;
        }
    }
    return false;
}

void AdvisoryService::handleBusinessType(const httplib::Request& req, httplib::Response& res)
{
    if (applyFaults(kBusinessTypeApi, res))
        return;
    serveGateway(req, res, [this](const Json& body) {
        const auto venderId = body.find("venderId");
        if (venderId == body.end() || !isTextOrInteger(*venderId))
            return refuse(code::WrongType, "venderId must be a string");
        return Outcome{code::Success, {}, *m_categories};
    });
}

void AdvisoryService::handleStartAdvisory(const httplib::Request& req, httplib::Response& res)
{
    if (applyFaults(kStartAdvisoryApi, res))
        return;
    serveGateway(req, res, [&](const Json& body) {
        const auto param = body.find("param");
        if (param == body.end())
            return refuse(code::BadParam, "param is missing");
        if (!param->is_object())
            return refuse(code::BadParam, "param must be a JSON object");
        const std::string problem = checkRecord(*param);
        if (!problem.empty())
            return refuse(code::WrongType, problem);
        std::string feedbackId;
        std::string error;
        if (!m_store.insert(dump(*param), req.get_header_value("X-Request-Id"), feedbackId, error))
            return refuse(code::StorageFailed, "could not store the feedback: " + error);
        return Outcome{code::Success, {}, feedbackId};
    });
}

void AdvisoryService::handleUpload(const httplib::Request& req, httplib::Response& res)
{
    if (applyFaults(kImageUploadTarget, res))
        return;
    if (!req.is_multipart_form_data() || !req.has_file("file")) {
        reply(res, refuse(code::NoImage, "expected multipart/form-data with a field \"file\""));
        return;
    }
    const std::string& content = req.get_file_value("file").content;
    if (content.size() > kMaxImageBytes) {
        reply(res, refuse(code::ImageTooLarge, "image exceeds 10 MiB"));
        return;
    }
    const char* extension = imageExtension(content);
    if (!extension) {
        reply(res, refuse(code::NotAnImage, "only JPEG and PNG images are accepted"));
        return;
    }
    // The client's file name is never used: it could point anywhere.
    const std::string name = randomImageBase() + extension;
    const std::filesystem::path path = std::filesystem::path(m_options.dataDir) / name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    if (!file) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        reply(res, refuse(code::StorageFailed, "could not store the image"));
        return;
    }
    Outcome outcome;
    outcome.data["url"] = m_baseUrl + "/images/" + name;
    reply(res, outcome);
}

void AdvisoryService::handleImage(const httplib::Request& req, httplib::Response& res)
{
    const std::string name = req.matches[1];
    const char* type = imageTypeOfName(name);
    std::ifstream file;
    if (type)
        file.open(std::filesystem::path(m_options.dataDir) / name, std::ios::binary);
    if (!file.is_open()) {
        res.status = 404;
        return;
    }
    std::ostringstream content;
    content << file.rdbuf();
    res.set_content(content.str(), type);
}

bool AdvisoryService::listRecords(std::vector<StoredRecord>& records, httplib::Response& res)
{
    std::string error;
    if (m_store.list(records, error))
        return true;
    res.status = 500;
    res.set_content("cannot read the feedback records: " + error, "text/plain");
    return false;
}

void AdvisoryService::handleRecords(const httplib::Request&, httplib::Response& res)
{
    std::vector<StoredRecord> records;
    if (!listRecords(records, res))
        return;
    Json list = Json::array();
    for (const StoredRecord& stored : records) {
        Json entry;
        entry["id"] = stored.id;
        entry["time"] = stored.time;
        entry["requestId"] = stored.requestId;
        Json record = Json::parse(stored.recordJson, nullptr, false);
        entry["record"] = record.is_discarded() ? Json() : std::move(record);
        list.push_back(std::move(entry));
    }
    res.set_content(dump(list), kJsonType);
}

void AdvisoryService::handleRecordPage(const httplib::Request& req, httplib::Response& res)
{
    std::optional<long long> venderId;
    if (req.has_param("venderId")) {
        venderId = parseVenderId(req.get_param_value("venderId"));
        if (!venderId) {
            res.status = 400;
            res.set_content("venderId must be a decimal number", "text/plain");
            return;
        }
    }
    std::vector<StoredRecord> records;
    if (!listRecords(records, res))
        return;
    res.set_header("Content-Security-Policy", kRecordPagePolicy);
    res.set_content(renderRecordPage(records, venderId), "text/html; charset=utf-8");
}

} // namespace advisory
