#include "RecordStore.h"

#include <sqlite3.h>

namespace advisory {

namespace {

// The request id is NULL when absent, so that the unique index only ties together
// retries of one submission.
const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS feedback (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    created_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now')),
    request_id TEXT,
    record TEXT NOT NULL
);
CREATE UNIQUE INDEX IF NOT EXISTS feedback_request_id ON feedback(request_id);
)sql";

class Statement
{
public:
    Statement(sqlite3* db, const char* sql)
    {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3_stmt* get() const { return m_stmt; }

    bool bindText(int index, const std::string& text)
    {
        return sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    std::string text(int column) const
    {
        const auto* data = sqlite3_column_text(m_stmt, column);
        const int size = sqlite3_column_bytes(m_stmt, column);
        return data ? std::string(reinterpret_cast<const char*>(data),
                                  static_cast<std::size_t>(size))
                    : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

} // namespace

RecordStore::~RecordStore()
{
    sqlite3_close(m_db);
}

bool RecordStore::open(const std::string& path, std::string& error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = "cannot open database '" + path + "': " + sqlite3_errmsg(m_db);
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    char* message = nullptr;
    // With the write-ahead log an insert does not wait for a full disk sync: a stored record
    // survives a crash of the service, but a power cut may lose the last moments' records.
    if (sqlite3_exec(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                     &message) != SQLITE_OK ||
        sqlite3_exec(m_db, kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
        error = "cannot prepare database '" + path + "': " + (message ? message : "unknown error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool RecordStore::insert(const std::string& recordJson, const std::string& requestId,
                         std::string& feedbackId, std::string& error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement insert(m_db, "INSERT INTO feedback (request_id, record) VALUES (?1, ?2) "
                           "ON CONFLICT (request_id) DO NOTHING");
    if (!insert.ok() ||
        (requestId.empty() ? sqlite3_bind_null(insert.get(), 1) != SQLITE_OK
                           : !insert.bindText(1, requestId)) ||
        !insert.bindText(2, recordJson) || sqlite3_step(insert.get()) != SQLITE_DONE) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    if (sqlite3_changes(m_db) == 1) {
        feedbackId = std::to_string(sqlite3_last_insert_rowid(m_db));
        return true;
    }
    // A retry of a submission already stored: answer with the id it got then.
    Statement existing(m_db, "SELECT id FROM feedback WHERE request_id = ?1");
    if (!existing.ok() || !existing.bindText(1, requestId) ||
        sqlite3_step(existing.get()) != SQLITE_ROW) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    feedbackId = existing.text(0);
    return true;
}

bool RecordStore::list(std::vector<StoredRecord>& records, std::string& error) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement select(m_db, "SELECT id, created_at, IFNULL(request_id, ''), record "
                           "FROM feedback ORDER BY id DESC");
    if (!select.ok()) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    records.clear();
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW)
        records.push_back({select.text(0), select.text(1), select.text(2), select.text(3)});
    if (rc != SQLITE_DONE) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    return true;
}

} // namespace advisory
