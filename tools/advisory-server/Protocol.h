#pragma once

#include <cstddef>

// Names and codes shared by the service's parts. The envelope codes are positive, as
// the gateway's own failures on the client side are negative.
namespace advisory {

constexpr const char* kBusinessTypeApi =
    "dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType";
constexpr const char* kStartAdvisoryApi =
    "dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory";
// Fault target of the image upload endpoint (its path without the leading slash).
constexpr const char* kImageUploadTarget = "image/upload";

constexpr std::size_t kMaxGatewayBody = 1024 * 1024;
constexpr std::size_t kMaxImageBytes = 10 * 1024 * 1024;
// Room for the multipart framing around the largest accepted image, so that an image
// just over the limit still reaches the handler and gets a readable refusal.
constexpr std::size_t kMaxRequestBody = kMaxImageBytes + 64 * 1024;

namespace code {
constexpr int Success = 0;
constexpr int NotJson = 4000;       // the body is not a JSON object
constexpr int BadParam = 4001;      // "param" missing or not an object
constexpr int WrongType = 4002;     // a known key with the wrong JSON type, or missing
constexpr int TooLarge = 4013;      // body over kMaxGatewayBody
constexpr int NoImage = 4100;       // no multipart field "file"
constexpr int ImageTooLarge = 4101; // over kMaxImageBytes
constexpr int NotAnImage = 4102;    // neither JPEG nor PNG
constexpr int StorageFailed = 5000; // database or file system failure
} // namespace code

} // namespace advisory
