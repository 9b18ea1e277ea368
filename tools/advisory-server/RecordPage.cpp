#include "RecordPage.h"

#include "RecordStore.h"

#include <nlohmann/json.hpp>

#include <charconv>

namespace advisory {

using Json = nlohmann::ordered_json;

namespace {

const char* const kHead = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Feedback records</title>
<link rel="stylesheet" href="page.css">
<script src="page.js" defer></script>
</head>
<body>
)html";

// Narrow windows get one card per record, each value under its column's name.
const char* const kStyle =
    R"css(body { font-family: "Segoe UI", "DejaVu Sans", sans-serif; margin: 24px; color: #222; background: #f5f6f8; }
h1 { font-size: 20px; font-weight: 600; margin: 0 0 16px; }
table { border-collapse: collapse; width: 100%; background: #fff; box-shadow: 0 1px 3px rgba(0,0,0,.08); }
th, td { border-bottom: 1px solid #e3e6ea; padding: 10px 12px; text-align: left; vertical-align: top; font-size: 14px; overflow-wrap: anywhere; }
th { background: #eef1f5; font-weight: 600; color: #444; }
td.description { white-space: pre-wrap; max-width: 420px; }
td.time { white-space: nowrap; color: #555; }
.code { color: #667; font-size: 12px; margin-right: 4px; }
.images a { display: inline-block; margin: 0 8px 8px 0; }
.images img { display: block; width: 64px; height: 64px; object-fit: cover; border: 1px solid #d5d9e0; border-radius: 6px; }
.images .missing { display: inline-block; margin: 0 8px 8px 0; color: #667; font-size: 12px; }
.empty { color: #667; }
@media (max-width: 640px) {
  body { margin: 12px; }
  h1 { font-size: 18px; }
  table, tbody, tr, td { display: block; width: auto; }
  thead { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0); }
  tr { border-bottom: 1px solid #d5d9e0; padding: 6px 0; }
  td { border: none; padding: 4px 12px; font-size: 15px; }
  td::before { content: attr(data-label); display: block; font-size: 12px; font-weight: 600; color: #556; }
  td.description { max-width: none; }
  td.time { white-space: normal; }
}
)css";

// Times arrive in UTC (the datetime attribute and the text); the viewer reads them in the
// browser's own time zone, the offset beside them. Without the script the UTC text stays.
const char* const kScript = R"js('use strict';
(function () {
    function pad(number) {
        return (number < 10 ? '0' : '') + number;
    }
    function localText(date) {
        var offset = -date.getTimezoneOffset();
        var sign = offset < 0 ? '-' : '+';
        offset = Math.abs(offset);
        return date.getFullYear() + '-' + pad(date.getMonth() + 1) + '-' + pad(date.getDate()) +
            ' ' + pad(date.getHours()) + ':' + pad(date.getMinutes()) + ':' +
            pad(date.getSeconds()) + ' (UTC' + sign + pad(Math.floor(offset / 60)) + ':' +
            pad(offset % 60) + ')';
    }
    var times = document.querySelectorAll('time[datetime]');
    for (var i = 0; i < times.length; ++i) {
        var date = new Date(times[i].getAttribute('datetime'));
        if (!isNaN(date.getTime()))
            times[i].textContent = localText(date);
    }
})();
)js";

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

bool isFromVender(const Json& record, long long venderId)
{
    const auto it = record.find("venderId");
    if (it == record.end())
        return false;
    if (it->is_number_integer())
        return it->get<long long>() == venderId;
    return it->is_string() && parseVenderId(it->get<std::string>()) == venderId;
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

// The thumbnails are named by their place only: the file names are the client's own cache
// names, of no use to a reader.
std::string imagesCell(const Json& record)
{
    const auto files = record.find("files");
    if (files == record.end() || !files->is_array())
        return {};
    std::string cell;
    int number = 0;
    for (const Json& file : *files) {
        if (!file.is_object())
            continue;
        const std::string label = "Image " + std::to_string(++number);
        const std::string url = displayText(file, "url");
        if (isWebAddress(url)) {
            const std::string href = escapeHtml(url);
            cell += "<a href=\"" + href + "\" target=\"_blank\" rel=\"noopener\"><img src=\"" +
                    href + "\" alt=\"" + label + "\"></a>";
        } else {
            cell += "<span class=\"missing\">" + label + " (not a web address)</span>";
        }
    }
    return cell;
}

// "2026-12-07T03:15:05.123Z" reads "2026-12-07 03:15:05 UTC" until the script localises it.
std::string timeCell(const std::string& time)
{
    const bool iso = time.size() >= 20 && time[10] == 'T' && time.back() == 'Z';
    if (!iso)
        return escapeHtml(time);
    return "<time datetime=\"" + escapeHtml(time) + "\">" + escapeHtml(time.substr(0, 10)) + ' ' +
           escapeHtml(time.substr(11, 8)) + " UTC</time>";
}

std::string cell(const char* label, const std::string& content, const char* cssClass = nullptr)
{
    std::string html = "<td data-label=\"";
    html += label;
    html += '"';
    if (cssClass) {
        html += " class=\"";
        html += cssClass;
        html += '"';
    }
    return html + '>' + content + "</td>";
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

std::optional<long long> parseVenderId(const std::string& text)
{
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end)
        return std::nullopt;
    return value;
}

std::string renderRecordPage(const std::vector<StoredRecord>& records,
                             std::optional<long long> venderId)
{
    const std::string merchant = venderId ? "merchant " + std::to_string(*venderId) : "";
    std::string page = kHead;
    page += venderId ? "<h1>Feedback records of " + merchant + "</h1>\n"
                     : "<h1>Feedback records</h1>\n";
    std::string rows;
    for (const StoredRecord& stored : records) {
        Json record = Json::parse(stored.recordJson, nullptr, false);
        if (!record.is_object())
            record = Json::object();
        if (venderId && !isFromVender(record, *venderId))
            continue;
        rows +=
            "<tr>" + cell("ID", escapeHtml(stored.id)) +
            cell("Time", timeCell(stored.time), "time") + cell("Category", categoryCell(record)) +
            cell("Description", escapeHtml(displayText(record, "questionDesc")), "description") +
            cell("Telephone", escapeHtml(displayText(record, "telphone"))) +
            cell("Images", imagesCell(record), "images") + "</tr>\n";
    }
    if (rows.empty()) {
        page += "<p class=\"empty\">" +
                (venderId ? "No feedback from " + merchant + " yet."
                          : std::string("No feedback has been submitted yet.")) +
                "</p>\n</body>\n</html>\n";
        return page;
    }
    page += "<table>\n<thead><tr><th>ID</th><th>Time</th><th>Category</th>"
            "<th>Description</th><th>Telephone</th><th>Images</th></tr></thead>\n<tbody>\n";
    page += rows;
    page += "</tbody>\n</table>\n</body>\n</html>\n";
    return page;
}

const char* recordPageStyle()
{
    return kStyle;
}

const char* recordPageScript()
{
    return kScript;
}

} // namespace advisory
