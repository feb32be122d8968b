#include "ls/server.h"

#include <unistd.h>

#include <climits>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "ls/engine_run.h"
#include "ls/publish.h"

namespace kup::ls {

namespace {

using nlohmann::json;

/// A request whose parameters are not what the method takes.
struct BadParams : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr int kSyncIncremental = 2;
constexpr int kMessageWarning = 2;
constexpr std::string_view kExpandCommand = "kup.expand";

const json& member(const json& object, const char* name) {
  if (!object.is_object() || !object.contains(name)) throw BadParams(std::string("missing \"") + name + "\"");
  return object[name];
}

TextPosition position_of(const json& params) {
  const json& position = member(params, "position");
  return {member(position, "line").get<long>(), member(position, "character").get<long>()};
}

std::string current_folder() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
}

}  // namespace

Server::Server(Sender send) : send_(std::move(send)), root_(current_folder()) { clear_kup_environment(); }

Server::Handler Server::find_handler(std::string_view method) {
  static const std::map<std::string_view, Handler> kHandlers = {
      {"initialize", &Server::initialize},
      {"initialized", &Server::initialized},
      {"shutdown", &Server::shutdown},
      {"exit", &Server::exit},
      {"textDocument/didOpen", &Server::did_open},
      {"textDocument/didChange", &Server::did_change},
      {"textDocument/didClose", &Server::did_close},
      {"textDocument/didSave", &Server::did_save},
      {"workspace/didChangeConfiguration", &Server::did_change_configuration},
      {"textDocument/hover", &Server::hover},
      {"textDocument/definition", &Server::definition},
      {"textDocument/references", &Server::references},
      {"textDocument/documentSymbol", &Server::document_symbol},
      {"textDocument/completion", &Server::completion},
      {"workspace/executeCommand", &Server::execute_command},
  };
  const auto found = kHandlers.find(method);
  return found != kHandlers.end() ? found->second : nullptr;
}

void Server::handle_content(std::string_view content) {
  json message = json::parse(content, nullptr, false);
  if (message.is_discarded()) {
    respond_error(nullptr, kParseError, "Parse error");
    return;
  }
  handle(message);
}

void Server::handle_bad_header() { respond_error(nullptr, kParseError, "Parse error: no Content-Length in the header"); }

namespace {

/// True if `message` has an id that a request may have (a string or a
/// whole number).
bool has_valid_id(const json& message) {
  return message.is_object() && message.contains("id") &&
         (message["id"].is_string() || message["id"].is_number_integer());
}

/// True if `message` is a request or a notification: an object with a
/// method name and, if it has an id, a valid one.
bool is_call(const json& message, bool valid_id) {
  return message.is_object() && message.contains("method") && message["method"].is_string() &&
         (!message.contains("id") || valid_id);
}

/// True if `message` is a response (to nothing this server asks).
bool is_response(const json& message) {
  return message.is_object() && !message.contains("method") && (message.contains("result") || message.contains("error"));
}

}  // namespace

void Server::handle(const json& message) {
  const bool request = has_valid_id(message);
  const json id = request ? message["id"] : json(nullptr);
  if (!is_call(message, request)) {
    // A response from the editor is dropped.
    if (!is_response(message)) respond_error(id, kInvalidRequest, "Invalid Request");
    return;
  }
  const std::string method = message["method"].get<std::string>();
  static const json kNoParams = json::object();
  const auto given = message.find("params");
  const json& params = given != message.end() ? *given : kNoParams;
  if (method == "exit") {
    exit(params, id);
    return;
  }
  if (!initialized_ && method != "initialize") {
    if (request) respond_error(id, kServerNotInitialized, "the server is not initialized");
    return;
  }
  if (shutdown_) {
    if (request) respond_error(id, kInvalidRequest, "the server is shut down");
    return;
  }
  const Handler handler = find_handler(method);
  if (handler == nullptr) {
    // Notifications the server does not know, "$/" ones included, are
    // dropped, as the protocol says.
    if (request) respond_error(id, kMethodNotFound, "Method not found: " + method);
    return;
  }
  call(handler, params, id, request);
}

void Server::call(Handler handler, const json& params, const json& id, bool request) {
  try {
    (this->*handler)(params, id);
  } catch (const BadParams& failure) {
    if (request) respond_error(id, kInvalidParams, std::string("Invalid params: ") + failure.what());
  } catch (const json::exception& failure) {
    if (request) respond_error(id, kInvalidParams, std::string("Invalid params: ") + failure.what());
  } catch (const std::exception& failure) {
    if (request) respond_error(id, kInternalError, failure.what());
  }
}

void Server::send(const json& message) { send_(message.dump(-1, ' ', false, json::error_handler_t::replace)); }

void Server::respond(const json& id, json result) {
  send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void Server::respond_error(const json& id, int code, std::string_view message) {
  send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void Server::notify(std::string_view method, json params) {
  send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
}

void Server::log(std::string_view message) {
  notify("window/logMessage", {{"type", kMessageWarning}, {"message", "kup-ls: " + std::string(message)}});
}

void Server::initialize(const json& params, const json& id) {
  if (initialized_) {
    respond_error(id, kInvalidRequest, "initialize was sent twice");
    return;
  }
  std::string root;
  if (params.contains("rootUri") && params["rootUri"].is_string()) root = path_from_uri(params["rootUri"].get<std::string>());
  if (root.empty() && params.contains("workspaceFolders") && params["workspaceFolders"].is_array() &&
      !params["workspaceFolders"].empty() && params["workspaceFolders"][0].contains("uri"))
    root = path_from_uri(params["workspaceFolders"][0]["uri"].get<std::string>());
  if (root.empty() && params.contains("rootPath") && params["rootPath"].is_string())
    root = params["rootPath"].get<std::string>();
  // The runs work from the workspace's root, as a build does: relative
  // paths of #include and KUP_PATH are taken from there.
  if (!root.empty() && ::chdir(root.c_str()) == 0) root_ = current_folder();
  const json* encodings = nullptr;
  if (params.contains("capabilities") && params["capabilities"].is_object() &&
      params["capabilities"].contains("general") && params["capabilities"]["general"].is_object() &&
      params["capabilities"]["general"].contains("positionEncodings"))
    encodings = &params["capabilities"]["general"]["positionEncodings"];
  if (encodings != nullptr && encodings->is_array())
    for (const json& encoding : *encodings)
      if (encoding == "utf-8") encoding_ = PositionEncoding::Utf8;
  if (params.contains("initializationOptions")) initialization_options_ = params["initializationOptions"];
  initialized_ = true;
  load_settings();
  json capabilities = {
      {"positionEncoding", encoding_ == PositionEncoding::Utf8 ? "utf-8" : "utf-16"},
      {"textDocumentSync", {{"openClose", true}, {"change", kSyncIncremental}, {"save", {{"includeText", false}}}}},
      {"hoverProvider", true},
      {"definitionProvider", true},
      {"referencesProvider", true},
      {"documentSymbolProvider", true},
      {"completionProvider", {{"triggerCharacters", {"#"}}}},
      {"executeCommandProvider", {{"commands", {kExpandCommand}}}},
  };
  respond(id, {{"capabilities", std::move(capabilities)}, {"serverInfo", {{"name", "kup-ls"}, {"version", "3.4.0"}}}});
}

void Server::initialized(const json&, const json&) {}

void Server::shutdown(const json&, const json& id) {
  shutdown_ = true;
  respond(id, nullptr);
}

void Server::exit(const json&, const json&) { exiting_ = true; }

void Server::load_settings() {
  Settings settings;
  std::vector<std::string> problems;
  std::ifstream file(root_ + "/" + std::string(kSettingsFileName), std::ios::binary);
  if (file) {
    std::stringstream text;
    text << file.rdbuf();
    const json parsed = json::parse(text.str(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) problems.push_back(std::string(kSettingsFileName) + " is no JSON object");
    else merge_settings(settings, parsed, problems);
  }
  if (const json* options = settings_object(initialization_options_)) merge_settings(settings, *options, problems);
  if (const json* configured = settings_object(configuration_)) merge_settings(settings, *configured, problems);
  for (const std::string& problem : problems) log(problem);
  settings_ = std::move(settings);
  for (auto& [uri, document] : documents_) document.stale = true;
}

void Server::did_change_configuration(const json& params, const json&) {
  if (params.contains("settings")) configuration_ = params["settings"];
  load_settings();
}

const Document& Server::document_of(const json& params) {
  const std::string uri = member(member(params, "textDocument"), "uri").get<std::string>();
  const auto found = documents_.find(uri);
  if (found == documents_.end()) throw BadParams("no open document " + uri);
  return found->second;
}

FeatureContext Server::context() const { return {documents_, runs_, encoding_, root_}; }

void Server::invalidate(const std::string& path) {
  for (auto& [uri, run] : runs_) {
    for (const std::string& input : run.inputs) {
      if (input != path) continue;
      const auto document = documents_.find(uri);
      if (document != documents_.end()) document->second.stale = true;
    }
  }
}

void Server::did_open(const json& params, const json&) {
  const json& item = member(params, "textDocument");
  Document document;
  document.uri = member(item, "uri").get<std::string>();
  document.path = path_from_uri(document.uri);
  document.text = member(item, "text").get<std::string>();
  if (item.contains("version") && item["version"].is_number_integer()) document.version = item["version"].get<long>();
  document.index_lines();
  const std::string path = document.path;
  documents_[document.uri] = std::move(document);
  invalidate(path);
}

void Server::did_change(const json& params, const json&) {
  const std::string uri = member(member(params, "textDocument"), "uri").get<std::string>();
  const auto found = documents_.find(uri);
  if (found == documents_.end()) return;
  Document& document = found->second;
  for (const json& change : member(params, "contentChanges")) {
    const std::string text = member(change, "text").get<std::string>();
    if (!change.contains("range")) {
      document.text = text;
      document.index_lines();
      document.stale = true;
      continue;
    }
    const json& range = change["range"];
    const std::size_t from = document.offset(member(member(range, "start"), "line").get<long>(),
                                             member(member(range, "start"), "character").get<long>(), encoding_);
    const std::size_t to = document.offset(member(member(range, "end"), "line").get<long>(),
                                           member(member(range, "end"), "character").get<long>(), encoding_);
    document.replace(from, to, text);
  }
  const json& item = params["textDocument"];
  if (item.contains("version") && item["version"].is_number_integer()) document.version = item["version"].get<long>();
  invalidate(document.path);
}

void Server::did_close(const json& params, const json&) {
  const std::string uri = member(member(params, "textDocument"), "uri").get<std::string>();
  const auto found = documents_.find(uri);
  if (found == documents_.end()) return;
  const std::string path = found->second.path;
  documents_.erase(found);
  runs_.erase(uri);
  // Runs that read it read it from disk from now on.
  invalidate(path);
  published_.erase(uri);
  notify("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", json::array()}});
}

void Server::did_save(const json& params, const json&) {
  const std::string uri = member(member(params, "textDocument"), "uri").get<std::string>();
  if (path_from_uri(uri) == root_ + "/" + std::string(kSettingsFileName)) load_settings();
}

void Server::refresh() {
  std::set<std::string> ran;
  const RunContext run_context{documents_, settings_, root_};
  for (auto& [uri, document] : documents_) {
    if (!document.stale) continue;
    document.stale = false;
    ran.insert(uri);
    if (document.path.empty()) {
      runs_.erase(uri);
      continue;
    }
    run_document(document, run_context, runs_[uri]);
  }
  if (ran.empty()) return;
  // A document run gets its diagnostics whether they changed or not, so
  // that the editor knows they are those of its version; the others only
  // when they changed.
  for (auto& [uri, diagnostics] : collect_diagnostics(context())) {
    std::string& last = published_[uri];
    if (ran.count(uri) == 0 && last == diagnostics) continue;
    const auto document = documents_.find(uri);
    const long* version = document != documents_.end() ? &document->second.version : nullptr;
    send_(diagnostics_notification(uri, diagnostics, version));
    last = std::move(diagnostics);
  }
}

void Server::hover(const json& params, const json& id) {
  const Document& document = document_of(params);
  refresh();
  respond(id, ls::hover(context(), document, position_of(params)));
}

void Server::definition(const json& params, const json& id) {
  const Document& document = document_of(params);
  refresh();
  respond(id, ls::definition(context(), document, position_of(params)));
}

void Server::references(const json& params, const json& id) {
  const Document& document = document_of(params);
  refresh();
  bool declaration = false;
  if (params.contains("context") && params["context"].is_object() && params["context"].contains("includeDeclaration"))
    declaration = params["context"]["includeDeclaration"].get<bool>();
  respond(id, ls::references(context(), document, position_of(params), declaration));
}

void Server::document_symbol(const json& params, const json& id) {
  const Document& document = document_of(params);
  refresh();
  respond(id, ls::document_symbols(context(), document));
}

void Server::completion(const json& params, const json& id) {
  const Document& document = document_of(params);
  refresh();
  respond(id, ls::completion(context(), document, position_of(params)));
}

void Server::execute_command(const json& params, const json& id) {
  if (member(params, "command").get<std::string>() != kExpandCommand)
    throw BadParams("unknown command " + params["command"].get<std::string>());
  // The document: its URI, or an object with one, as the first argument.
  const json& arguments = member(params, "arguments");
  if (!arguments.is_array() || arguments.empty()) throw BadParams("kup.expand takes the document's URI");
  const json& first = arguments[0];
  const std::string uri = first.is_string() ? first.get<std::string>() : member(first, "uri").get<std::string>();
  if (documents_.find(uri) == documents_.end()) throw BadParams("no open document " + uri);
  refresh();
  const auto run = runs_.find(uri);
  respond(id, run != runs_.end() ? json(run->second.output) : json(""));
}

}  // namespace kup::ls
