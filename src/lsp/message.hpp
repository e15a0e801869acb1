// JSON-RPC 2.0 messages as the Language Server Protocol uses them: parsing a
// body into a request, a notification or a response, with the reason when it
// is none of them, and writing the server's answers.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

using Json = nlohmann::json;

// Error codes of JSON-RPC and of the protocol.
constexpr int PARSE_ERROR = -32700;
constexpr int INVALID_REQUEST = -32600;
constexpr int METHOD_NOT_FOUND = -32601;
constexpr int INVALID_PARAMS = -32602;
constexpr int REQUEST_FAILED = -32803; // a valid request the server cannot carry out
constexpr int SERVER_NOT_INITIALIZED = -32002;

// The shape of one message is checked before it is built in memory, so that
// a body within MAX_MESSAGE_SIZE cannot take many times its size as values
// ("[{},{},..." costs some 60 bytes per 3 bytes of text). The protocol's
// messages nest less than ten deep and hold few values beside their texts.
constexpr std::size_t MAX_JSON_VALUES = 1'000'000;
constexpr std::size_t MAX_JSON_DEPTH = 128;

enum class MessageKind {
    Request,      // a method and an id
    Notification, // a method and no id
    Response,     // an id and a result or an error, no method
    Invalid,      // JSON, but not a message: answered with INVALID_REQUEST
    Unparsable,   // not JSON: answered with PARSE_ERROR
};

struct Message {
    MessageKind kind;
    Json id; // null but for requests, responses, and invalid messages with a valid id
    std::string method;
    Json params;        // null when absent or null, and in a notification when not structured
    std::string reason; // why a message is Invalid or Unparsable
};

Message parse_message(const std::string& body);

// Texts of outgoing messages, for write_message. Text that is not UTF-8 (a
// token from a file on disk, say) is written with U+FFFD in its place.
std::string result_message(const Json& id, const Json& result);
std::string error_message(const Json& id, int code, const std::string& text);
std::string notification_message(const char* method, const Json& params);
