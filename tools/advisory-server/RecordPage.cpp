#include "RecordPage.h"

#include "RecordStore.h"

#include <nlohmann/json.hpp>

namespace advisory {

using Json = nlohmann::ordered_json;

namespace {

const char* const kHead = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Feedback records</title>
<style>
body { font-family: "Segoe UI", "DejaVu Sans", sans-serif; margin: 24px; color: #222; background: #f5f6f8; }
h1 { font-size: 20px; font-weight: 600; margin: 0 0 16px; }
table { border-collapse: collapse; width: 100%; background: #fff; box-shadow: 0 1px 3px rgba(0,0,0,.08); }
th, td { border-bottom: 1px solid #e3e6ea; padding: 10px 12px; text-align: left; vertical-align: top; font-size: 14px; }
th { background: #eef1f5; font-weight: 600; color: #444; }
td.description { white-space: pre-wrap; word-break: break-word; max-width: 420px; }
td.time { white-space: nowrap; color: #555; }
.code { color: #778; font-size: 12px; margin-right: 4px; }
.images a { display: inline-block; margin: 0 8px 8px 0; width: 72px; font-size: 11px; color: #2456a4; text-decoration: none; word-break: break-all; }
.images img { display: block; width: 64px; height: 64px; object-fit: cover; border: 1px solid #d5d9e0; border-radius: 6px; margin-bottom: 2px; }
.empty { color: #778; }
</style>
</head>
<body>
<h1>Feedback records</h1>
)html";

// Record values may be numbers where text is usual (category codes); show them as written.
std::string displayText(const Json& record, const char* key)
{
    const auto it = record.find(key);
    if (it == record.end() || it->is_null())
        return {};
    if (it->is_string())
        return it->get<std::string>();
    return it->dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Only web addresses become links: an address like "javascript:..." stays plain text.
bool isWebAddress(const std::string& url)
{
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

std::string categoryCell(const Json& record)
{
    std::string cell;
    for (const auto& [codeKey, nameKey] : {std::pair{"startBusinessCode1", "startBusinessName1"},
                                           std::pair{"startBusinessCode2", "startBusinessName2"}}) {
        const std::string code = displayText(record, codeKey);
        const std::string name = displayText(record, nameKey);
        if (code.empty() && name.empty())
            continue;
        if (!cell.empty())
            cell += " / ";
        cell += "<span class=\"code\">" + escapeHtml(code) + "</span>" + escapeHtml(name);
    }
    return cell;
}

std::string imagesCell(const Json& record)
{
    const auto files = record.find("files");
    if (files == record.end() || !files->is_array())
        return {};
    std::string cell;
    for (const Json& file : *files) {
        if (!file.is_object())
            continue;
        const std::string url = displayText(file, "url");
        const std::string name = displayText(file, "fileName");
        const std::string label = escapeHtml(name.empty() ? url : name);
        if (isWebAddress(url)) {
            const std::string href = escapeHtml(url);
            cell += "<a href=\"" + href + "\" target=\"_blank\" rel=\"noopener\"><img src=\"" +
                    href + "\" alt=\"" + label + "\">" + label + "</a>";
        } else {
            cell += "<a>" + label + " (" + escapeHtml(url) + ")</a>";
        }
    }
    return cell;
}

} // namespace

std::string escapeHtml(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string renderRecordPage(const std::vector<StoredRecord>& records)
{
    std::string page = kHead;
    if (records.empty()) {
        page += "<p class=\"empty\">No feedback has been submitted yet.</p>\n</body>\n</html>\n";
        return page;
    }
    page += "<table>\n<thead><tr><th>ID</th><th>Time (UTC)</th><th>Category</th>"
            "<th>Description</th><th>Telephone</th><th>Images</th></tr></thead>\n<tbody>\n";
    for (const StoredRecord& stored : records) {
        Json record = Json::parse(stored.recordJson, nullptr, false);
        if (!record.is_object())
            record = Json::object();
        page += "<tr><td>" + escapeHtml(stored.id) + "</td><td class=\"time\">" +
                escapeHtml(stored.time) + "</td><td>" + categoryCell(record) +
                "</td><td class=\"description\">" +
                escapeHtml(displayText(record, "questionDesc")) + "</td><td>" +
                escapeHtml(displayText(record, "telphone")) + "</td><td class=\"images\">" +
                imagesCell(record) + "</td></tr>\n";
    }
    page += "</tbody>\n</table>\n</body>\n</html>\n";
    return page;
}

} // namespace advisory
