#pragma once

#include <optional>
#include <string>
#include <vector>

namespace advisory {

struct StoredRecord;

// Text made safe for HTML element content and quoted attribute values.
std::string escapeHtml(const std::string& text);

// A vender id as the page's address and the records carry it: decimal, optionally negative,
// nothing around it. Empty for any other text.
std::optional<long long> parseVenderId(const std::string& text);

// The feedback history page, records in the order given (newest first); with a vender id,
// only that merchant's records. Its style sheet and script are the files below, served
// beside it ("page.css", "page.js"), so that a policy allowing only the page's own origin
// lets them run.
std::string renderRecordPage(const std::vector<StoredRecord>& records,
                             std::optional<long long> venderId);
const char* recordPageStyle();
const char* recordPageScript();

} // namespace advisory
