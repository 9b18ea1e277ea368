#include "RequestAssembler.h"

#include <algorithm>
#include <cctype>

namespace advisory {

namespace {

const std::string kHeadEnd = "\r\n\r\n";
// A chunk-size line is a few hex digits and perhaps an extension; a trailer is rare.
constexpr std::size_t kMaxChunkLine = 1024;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A decimal length of at most 18 digits, so it cannot overflow; false otherwise.
bool parseLength(const std::string& text, std::size_t& length)
{
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    length = std::stoull(text);
    return true;
}

// The hex size of a chunk-size line, extensions after ';' ignored. At most 15 digits, so it
// cannot overflow.
bool parseChunkSize(const std::string& line, std::size_t& size)
{
    const std::string digits = trim(line.substr(0, line.find(';')));
    if (digits.empty() || digits.size() > 15 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isxdigit(c); }))
        return false;
    size = std::stoull(digits, nullptr, 16);
    return true;
}

} // namespace

RequestAssembler::RequestAssembler(std::size_t maxHead, std::size_t maxBody)
    : m_maxHead(maxHead), m_maxBody(maxBody)
{}

RequestAssembler::State RequestAssembler::feed(const char* data, std::size_t size)
{
    if (m_state == State::Head) {
        // The head so far is never longer than maxHead, or the request has failed already.
        const std::size_t before = m_head.size();
        m_head.append(data, std::min(size, m_maxHead + kHeadEnd.size() - before));
        const std::size_t end = m_head.find(kHeadEnd, before < 3 ? 0 : before - 3);
        if (end == std::string::npos || end > m_maxHead) {
            if (m_head.size() > m_maxHead)
                fail(431);
            return m_state;
        }
        // What came after the head belongs to the body.
        const std::size_t used = end + kHeadEnd.size() - before;
        m_head.resize(end);
        data += used;
        size -= used;
        parseHead();
    }
    if (m_state != State::Body)
        return m_state;

    if (m_chunked) {
        feedChunked(data, size);
        return m_state;
    }
    m_body.append(data, std::min(size, m_bodyLength - m_body.size()));
    if (m_body.size() == m_bodyLength)
        complete();
    return m_state;
}

void RequestAssembler::parseHead()
{
    // The request line is passed on as it is; the library judges it.
    std::size_t lineEnd = m_head.find("\r\n");
    std::string kept = m_head.substr(0, lineEnd);
    bool hasLength = false;
    std::string transferEncoding;
    while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = m_head.find("\r\n", start);
        const std::string line = m_head.substr(
            start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            fail(400);
            return;
        }
        const std::string name = lower(trim(line.substr(0, colon)));
        const std::string value = trim(line.substr(colon + 1));
        if (name == "content-length") {
            std::size_t length = 0;
            // Two differing lengths leave the body's end in doubt.
            if (!parseLength(value, length) || (hasLength && length != m_bodyLength)) {
                fail(400);
                return;
            }
            hasLength = true;
            m_bodyLength = length;
        } else if (name == "transfer-encoding") {
            transferEncoding += (transferEncoding.empty() ? "" : ",") + lower(value);
        } else if (name == "expect") {
            if (lower(value) != "100-continue") {
                fail(417);
                return;
            }
            m_expectContinue = true;
        } else {
            kept += "\r\n" + line;
        }
    }
    m_head = std::move(kept);

    if (!transferEncoding.empty()) {
        // Only chunked framing is understood; it overrides any Content-Length.
        if (trim(transferEncoding) != "chunked") {
            fail(501);
            return;
        }
        m_chunked = true;
        m_bodyLength = 0;
        m_state = State::Body;
        return;
    }
    if (m_bodyLength > m_maxBody) {
        fail(413);
        return;
    }
    if (!hasLength) {
        complete();
        return;
    }
    m_body.reserve(m_bodyLength);
    m_state = State::Body;
    if (m_bodyLength == 0)
        complete();
}

void RequestAssembler::feedChunked(const char* data, std::size_t size)
{
    std::size_t used = 0;
    while (used < size && m_state == State::Body) {
        switch (m_chunk) {
        case Chunk::Size:
        case Chunk::Trailer: {
            const char c = data[used++];
            if (m_chunk == Chunk::Trailer && ++m_trailerBytes > m_maxHead) {
                fail(431);
                break;
            }
            if (c != '\n') {
                if (m_line.size() >= kMaxChunkLine) {
                    fail(400);
                    break;
                }
                m_line += c;
                break;
            }
            if (!m_line.empty() && m_line.back() == '\r')
                m_line.pop_back();
            if (m_chunk == Chunk::Trailer) {
                // Trailer fields are dropped; an empty line ends the body.
                if (m_line.empty())
                    complete();
                m_line.clear();
                break;
            }
            std::size_t chunkSize = 0;
            if (!parseChunkSize(m_line, chunkSize)) {
                fail(400);
                break;
            }
            m_line.clear();
            if (chunkSize > m_maxBody - m_body.size()) {
                fail(413);
                break;
            }
            m_chunkLeft = chunkSize;
            m_chunk = chunkSize == 0 ? Chunk::Trailer : Chunk::Data;
            break;
        }
        case Chunk::Data: {
            const std::size_t n = std::min(m_chunkLeft, size - used);
            m_body.append(data + used, n);
            used += n;
            m_chunkLeft -= n;
            if (m_chunkLeft == 0)
                m_chunk = Chunk::DataEnd;
            break;
        }
        case Chunk::DataEnd: {
            const char c = data[used++];
            if (c == '\n') {
                m_chunk = Chunk::Size;
            } else if (c != '\r') {
                fail(400);
            }
            break;
        }
        }
    }
}

void RequestAssembler::fail(int status)
{
    m_state = State::Failed;
    m_failureStatus = status;
    m_head.clear();
    m_head.shrink_to_fit();
    m_body.clear();
    m_body.shrink_to_fit();
}

void RequestAssembler::complete()
{
    m_request = std::move(m_head);
    if (!m_body.empty() || m_chunked || m_bodyLength > 0)
        m_request += "\r\nContent-Length: " + std::to_string(m_body.size());
    m_request += kHeadEnd;
    m_request += m_body;
    m_head.clear();
    m_body.clear();
    m_body.shrink_to_fit();
    m_state = State::Complete;
}

} // namespace advisory
