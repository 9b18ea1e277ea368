#pragma once

#include "Options.h"

#include <nlohmann/json_fwd.hpp>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace advisory {

class RecordStore;
struct StoredRecord;

// How the library reads the requests handed to it and answers those no endpoint takes: the
// body-size limit and short plain-text error pages.
void configureServer(httplib::Server& server);

// The service's endpoints: the two gateway APIs, the image upload and image files, the
// feedback history page and the JSON list of stored records.
class AdvisoryService
{
public:
    AdvisoryService(const ServerOptions& options, RecordStore& store,
                    std::shared_ptr<const nlohmann::ordered_json> categories);

    // Registers the endpoints. setBaseUrl must be called before the server accepts
    // requests, since upload replies carry absolute image addresses.
    void install(httplib::Server& server);
    void setBaseUrl(const std::string& baseUrl) { m_baseUrl = baseUrl; }

    // Ends pending delays at once, so stopping the server waits for no injected delay.
    void shutdown();

private:
    // Plays the target's faults; true when one of them has answered the request.
    bool applyFaults(const std::string& target, httplib::Response& res);
    // False when the service is shutting down before the time is over.
    bool waitFor(std::chrono::milliseconds duration);

    // False with an error reply in res when the database cannot be read.
    bool listRecords(std::vector<StoredRecord>& records, httplib::Response& res);

    void handleBusinessType(const httplib::Request& req, httplib::Response& res);
    void handleStartAdvisory(const httplib::Request& req, httplib::Response& res);
    void handleUpload(const httplib::Request& req, httplib::Response& res);
    void handleImage(const httplib::Request& req, httplib::Response& res);
    void handleRecords(const httplib::Request& req, httplib::Response& res);
    void handleRecordPage(const httplib::Request& req, httplib::Response& res);

    ServerOptions m_options;
    RecordStore& m_store;
    std::shared_ptr<const nlohmann::ordered_json> m_categories;
    std::string m_baseUrl;

    std::mutex m_stopMutex;
    std::condition_variable m_stopCondition;
    bool m_stopping = false;
};

} // namespace advisory
