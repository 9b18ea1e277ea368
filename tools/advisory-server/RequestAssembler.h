#pragma once

#include <cstddef>
#include <string>

namespace advisory {

// Collects one HTTP/1.1 request from the bytes a client sends, within limits: the head
// (request line and headers) may take at most maxHead bytes, the body at most maxBody
// bytes, whether it comes with a Content-Length or in chunks. A chunked body is decoded as
// it arrives and refused the moment it passes the limit, so no body is ever held beyond it.
// The assembled request has a plain Content-Length body, which the HTTP library then reads
// from memory.
class RequestAssembler
{
public:
    enum class State { Head, Body, Complete, Failed };

    RequestAssembler(std::size_t maxHead, std::size_t maxBody);

    // Takes the next bytes of the connection and returns the state after them. Bytes after
    // a complete request are ignored (one request per connection).
    State feed(const char* data, std::size_t size);

    State state() const { return m_state; }
    // The HTTP status of a refusal (400, 413, 431, 501) once the state is Failed.
    int failureStatus() const { return m_failureStatus; }
    // True once the head is read when the client waits for "100 Continue" before it sends
    // the body; the header itself is left out of the assembled request.
    bool expectsContinue() const { return m_expectContinue; }
    // The assembled request once the state is Complete.
    const std::string& request() const { return m_request; }

private:
    enum class Chunk { Size, Data, DataEnd, Trailer };

    void parseHead();
    void feedChunked(const char* data, std::size_t size);
    void fail(int status);
    void complete();

    std::size_t m_maxHead;
    std::size_t m_maxBody;
    State m_state = State::Head;
    int m_failureStatus = 0;
    bool m_expectContinue = false;

    std::string m_head;           // the head as received, then rewritten without framing headers
    std::string m_body;           // the decoded body
    std::string m_request;        // head and body once complete
    std::size_t m_bodyLength = 0; // with Content-Length: the announced length
    bool m_chunked = false;

    Chunk m_chunk = Chunk::Size;
    std::string m_line;          // the chunk-size or trailer line being read
    std::size_t m_chunkLeft = 0; // bytes of the current chunk still to come
    std::size_t m_trailerBytes = 0;
};

} // namespace advisory
