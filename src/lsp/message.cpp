#include "lsp/message.hpp"

namespace {

// Counts values and depth while the body is scanned, and stops the scan at
// the first syntax error or the first value past the limits.
class ShapeCheck : public nlohmann::json_sax<Json> {
  public:
    bool syntax_error = false;

    bool null() override { return count(); }
    bool boolean(bool) override { return count(); }
    bool number_integer(number_integer_t) override { return count(); }
    bool number_unsigned(number_unsigned_t) override { return count(); }
    bool number_float(number_float_t, const string_t&) override { return count(); }
    bool string(string_t&) override { return count(); }
    bool binary(binary_t&) override { return count(); }
    bool key(string_t&) override { return true; }
    bool start_object(std::size_t) override { return open(); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        syntax_error = true;
        return false;
    }

  private:
    std::size_t values_ = 0;
    std::size_t depth_ = 0;

    bool count() { return ++values_ <= MAX_JSON_VALUES; }
    bool open() { return ++depth_ <= MAX_JSON_DEPTH && count(); }
    bool close() {
        depth_--;
        return true;
    }
};

Message invalid(Json id, const char* reason) {
    return {MessageKind::Invalid, std::move(id), {}, {}, reason};
}

// The protocol's ids are integers or strings.
bool is_valid_id(const Json& id) {
    return id.is_number_integer() || id.is_string();
}

std::string text_of(const Json& message) {
    return message.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace

Message parse_message(const std::string& body) {
    ShapeCheck check;
    if (!Json::sax_parse(body, &check)) {
        if (check.syntax_error) return {MessageKind::Unparsable, {}, {}, {}, "not JSON"};
        return invalid(nullptr, "more than 1,000,000 values or 128 levels of nesting");
    }
    Json json = Json::parse(body, nullptr, false);
    if (!json.is_object()) return invalid(nullptr, "not a JSON object");
    auto id = json.find("id");
    bool has_id = id != json.end();
    if (has_id && !is_valid_id(*id))
        return invalid(nullptr, "id is neither an integer nor a string");
    Json valid_id = has_id ? *id : Json();
    auto version = json.find("jsonrpc");
    if (version == json.end() || *version != "2.0")
        return invalid(std::move(valid_id), "jsonrpc is not \"2.0\"");
    // A null params is taken as absent, as clients send it for methods without
    // parameters. A notification with params of another type is taken as
    // without params too: it gets no answer either way, and "exit" must end
    // the session whatever it carries.
    auto params = json.find("params");
    bool structured = params != json.end() && (params->is_object() || params->is_array());
    if (params != json.end() && !params->is_null() && !structured && has_id)
        return invalid(std::move(valid_id), "params is neither an object nor an array");
    auto method = json.find("method");
    if (method == json.end()) {
        if (has_id && (json.contains("result") || json.contains("error")))
            return {MessageKind::Response, std::move(valid_id), {}, {}, {}};
        return invalid(std::move(valid_id), "neither a request, a notification nor a response");
    }
    if (!method->is_string()) return invalid(std::move(valid_id), "method is not a string");
    Json moved_params = structured ? std::move(*params) : Json();
    return {has_id ? MessageKind::Request : MessageKind::Notification,
            std::move(valid_id),
            method->get<std::string>(),
            std::move(moved_params),
            {}};
}

std::string result_message(const Json& id, const Json& result) {
    return text_of({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
}

std::string error_message(const Json& id, int code, const std::string& text) {
    return text_of(
        {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", text}}}});
}

std::string notification_message(const char* method, const Json& params) {
    return text_of({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
}
