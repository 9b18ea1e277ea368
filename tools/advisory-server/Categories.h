#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>

namespace advisory {

// A small two-level tree of merchant-client problems, for running without a file.
nlohmann::ordered_json builtInCategories();

// Reads a category tree: a JSON array of objects with "businessTypeCode" (text or
// integer), "businessTypeName" (text) and optionally "children" of the same shape.
bool loadCategories(const std::string& path, nlohmann::ordered_json& tree, std::string& error);

} // namespace advisory
