#pragma once

#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

namespace advisory {

struct StoredRecord
{
    std::string id;        // the feedback id, decimal text
    std::string time;      // ISO 8601 UTC with milliseconds
    std::string requestId; // empty when the request carried none
    std::string recordJson;
};

// The feedback database. One connection, used by one request thread at a time.
class RecordStore
{
public:
    RecordStore() = default;
    ~RecordStore();

    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    bool open(const std::string& path, std::string& error);

    // Stores the record unless one with the same non-empty request id is already stored;
    // either way feedbackId is the id of the stored record. False on a database failure.
    bool insert(const std::string& recordJson, const std::string& requestId,
                std::string& feedbackId, std::string& error);

    // Every record, newest first.
    bool list(std::vector<StoredRecord>& records, std::string& error) const;

private:
    sqlite3* m_db = nullptr;
    mutable std::mutex m_mutex;
};

} // namespace advisory
