#include "Options.h"

#include "Protocol.h"

#include <charconv>

namespace advisory {

namespace {

bool parseInteger(const std::string& text, long long min, long long max, long long& out)
{
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end)
        return false;
    if (value < min || value > max)
        return false;
    out = value;
    return true;
}

bool isFaultTarget(const std::string& target)
{
    return target == kBusinessTypeApi || target == kStartAdvisoryApi ||
           target == kImageUploadTarget;
}

} // namespace

bool parseFault(const std::string& text, std::string& target, Fault& fault, std::string& error)
{
    const auto equals = text.find('=');
    if (equals == std::string::npos) {
        error = "fault '" + text + "' is not TARGET=KIND[:ARG]";
        return false;
    }
    target = text.substr(0, equals);
    if (!isFaultTarget(target)) {
        error = "unknown fault target '" + target + "' (expected " + kBusinessTypeApi + ", " +
                kStartAdvisoryApi + " or " + kImageUploadTarget + ")";
        return false;
    }
    const std::string rest = text.substr(equals + 1);
    const auto colon = rest.find(':');
    const std::string kind = rest.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
    const bool hasArg = colon != std::string::npos;

    if (kind == "malformed" && !hasArg) {
        fault = {FaultKind::Malformed, 0};
        return true;
    }
    long long value = 0;
    if (kind == "error" && parseInteger(arg, -2147483648LL, 2147483647LL, value) && value != 0) {
        fault = {FaultKind::Error, value};
        return true;
    }
    // Only failure statuses: anything else would not be a fault, and 1xx would break HTTP.
    if (kind == "http" && parseInteger(arg, 400, 599, value)) {
        fault = {FaultKind::HttpStatus, value};
        return true;
    }
    if (kind == "delay" && parseInteger(arg, 0, 24LL * 3600 * 1000, value)) {
        fault = {FaultKind::Delay, value};
        return true;
    }
    error = "bad fault kind '" + rest +
            "' (expected error:CODE with CODE non-zero, malformed, http:400-599 or delay:MS)";
    return false;
}

bool parseArguments(const std::vector<std::string>& args, ServerOptions& options,
                    std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "-h" || name == "--help") {
            options.helpRequested = true;
            continue;
        }
        if (name != "--port" && name != "--db" && name != "--categories" && name != "--data-dir" &&
            name != "--fault" && name != "--workers" && name != "--request-timeout") {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "option " + name + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (name == "--port") {
            long long port = 0;
            if (!parseInteger(value, 0, 65535, port)) {
                error = "bad port '" + value + "' (0 to 65535)";
                return false;
            }
            options.port = static_cast<int>(port);
        } else if (name == "--workers") {
            long long workers = 0;
            if (!parseInteger(value, 1, 256, workers)) {
                error = "bad worker count '" + value + "' (1 to 256)";
                return false;
            }
            options.workers = static_cast<std::size_t>(workers);
        } else if (name == "--request-timeout") {
            long long ms = 0;
            if (!parseInteger(value, 100, 3600 * 1000, ms)) {
                error = "bad request timeout '" + value + "' (100 to 3600000 ms)";
                return false;
            }
            options.requestTimeoutMs = ms;
        } else if (value.empty()) {
            error = "option " + name + " needs a non-empty value";
            return false;
        } else if (name == "--db") {
            options.dbPath = value;
        } else if (name == "--categories") {
            options.categoriesPath = value;
        } else if (name == "--data-dir") {
            options.dataDir = value;
        } else {
            std::string target;
            Fault fault;
            if (!parseFault(value, target, fault, error))
                return false;
            options.faults[target].push_back(fault);
        }
    }
    return true;
}

std::string usageText()
{
    return "usage: advisory-server [--port N] [--db FILE] [--categories FILE] [--data-dir DIR]\n"
           "                       [--workers N] [--request-timeout MS]\n"
           "                       [--fault TARGET=KIND[:ARG]]...\n"
           "  --port N          port on 127.0.0.1 (default 8730; 0 picks a free one)\n"
           "  --db FILE         SQLite database of the feedback (default advisory.db)\n"
           "  --categories FILE JSON array served as the category tree (default: built in)\n"
           "  --data-dir DIR    where uploaded images are kept (default advisory-data)\n"
           "  --workers N       requests handled at once; more get 503 (default 16)\n"
           "  --request-timeout MS  time a client has to send a whole request (default 10000)\n"
           "  --fault T=K[:A]   make target T (an API name or image/upload) misbehave:\n"
           "                    error:CODE, malformed, http:STATUS or delay:MS\n";
}

} // namespace advisory
