#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace advisory {

enum class FaultKind { Error, Malformed, HttpStatus, Delay };

// One injected misbehaviour of an endpoint. value is the envelope code, the HTTP status
// or the delay in milliseconds, depending on kind.
struct Fault
{
    FaultKind kind = FaultKind::Error;
    long long value = 0;
};

struct ServerOptions
{
    int port = 8730;
    std::string dbPath = "advisory.db";
    std::string dataDir = "advisory-data";
    std::string categoriesPath; // empty: the built-in sample tree
    // Requests handled at once; a request that finds all of them busy is answered 503.
    std::size_t workers = 16;
    // Time a client has to send a whole request, head and body.
    long long requestTimeoutMs = 10000;
    // Faults per target (API name or "image/upload"), applied in the order given.
    std::map<std::string, std::vector<Fault>> faults;
    bool helpRequested = false;
};

// Parses the command line without the program name. False with error set on bad input.
bool parseArguments(const std::vector<std::string>& args, ServerOptions& options,
                    std::string& error);

// Parses "TARGET=KIND[:ARG]".
bool parseFault(const std::string& text, std::string& target, Fault& fault, std::string& error);

std::string usageText();

} // namespace advisory
