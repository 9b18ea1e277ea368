#include "Categories.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace advisory {

using Json = nlohmann::ordered_json;

namespace {

Json node(const char* code, const char* name, Json children = Json::array())
{
    Json entry;
    entry["businessTypeCode"] = code;
    entry["businessTypeName"] = name;
    entry["children"] = std::move(children);
    return entry;
}

bool checkLevel(const Json& level, const std::string& where, std::string& error)
{
    if (!level.is_array()) {
        error = where + " is not an array";
        return false;
    }
    for (std::size_t i = 0; i < level.size(); ++i) {
        const Json& entry = level[i];
        const std::string at = where + "[" + std::to_string(i) + "]";
        if (!entry.is_object()) {
            error = at + " is not an object";
            return false;
        }
        const auto code = entry.find("businessTypeCode");
        if (code == entry.end() || !(code->is_string() || code->is_number_integer())) {
            error = at + ".businessTypeCode must be a string or an integer";
            return false;
        }
        const auto name = entry.find("businessTypeName");
        if (name == entry.end() || !name->is_string()) {
            error = at + ".businessTypeName must be a string";
            return false;
        }
        const auto children = entry.find("children");
        if (children != entry.end() && !checkLevel(*children, at + ".children", error))
            return false;
    }
    return true;
}

} // namespace

Json builtInCategories()
{
    return Json::array({
        node("1907", "Account and login",
             Json::array({node("1908", "Cannot log in"), node("1909", "Sub-account permissions"),
                          node("1910", "Password reset")})),
        node("2001", "Orders and after-sales",
             Json::array({node("2002", "Order status does not update"),
                          node("2003", "Refund or return handling")})),
        node("2101", "Products and stock",
             Json::array(
                 {node("2102", "Product listing rejected"), node("2103", "Stock count is wrong")})),
        node("2201", "Client software",
             Json::array({node("2202", "Client crashes or freezes"),
                          node("2203", "Message notifications missing"),
                          node("2204", "Display problems")})),
    });
}

bool loadCategories(const std::string& path, Json& tree, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read categories file '" + path + "'";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    Json parsed = Json::parse(text.str(), nullptr, false);
    if (parsed.is_discarded()) {
        error = "categories file '" + path + "' is not valid JSON";
        return false;
    }
    if (!checkLevel(parsed, "categories", error)) {
        error = "categories file '" + path + "': " + error;
        return false;
    }
    tree = std::move(parsed);
    return true;
}

} // namespace advisory
