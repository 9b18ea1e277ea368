#pragma once

#include <string>
#include <vector>

namespace advisory {

struct StoredRecord;

// Text made safe for HTML element content and quoted attribute values.
std::string escapeHtml(const std::string& text);

// The feedback history page, records in the order given (newest first).
std::string renderRecordPage(const std::vector<StoredRecord>& records);

} // namespace advisory
