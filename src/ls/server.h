// The language server: the JSON-RPC messages of the protocol handled one
// after another, the open documents, their runs and the workspace's
// settings.
#pragma once

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "ls/documents.h"
#include "ls/features.h"
#include "ls/settings.h"

namespace kup::ls {

/// JSON-RPC and protocol error codes.
enum ErrorCode {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kInternalError = -32603,
  kServerNotInitialized = -32002,
};

class Server {
 public:
  /// Writes the content of one message (JSON text) to the editor.
  using Sender = std::function<void(std::string_view content)>;

  explicit Server(Sender send);

  /// Handles the content of one message.
  void handle_content(std::string_view content);

  /// Answers a message whose header could not be read.
  void handle_bad_header();

  /// Runs the documents whose runs are out of date and publishes the
  /// diagnostics that changed. The main loop calls it whenever no message
  /// is waiting, so that a burst of changes costs one run.
  void refresh();

  /// True once `exit` arrived; exit_status() is then the process's status.
  bool exiting() const { return exiting_; }
  int exit_status() const { return shutdown_ ? 0 : 1; }

 private:
  using Handler = void (Server::*)(const nlohmann::json& params, const nlohmann::json& id);

  void handle(const nlohmann::json& message);
  /// Writes `message` as JSON text, bytes that are no UTF-8 replaced.
  void send(const nlohmann::json& message);
  /// Calls `handler`; a failure is answered as an error when the message
  /// is a `request`.
  void call(Handler handler, const nlohmann::json& params, const nlohmann::json& id, bool request);
  void respond(const nlohmann::json& id, nlohmann::json result);
  void respond_error(const nlohmann::json& id, int code, std::string_view message);
  void notify(std::string_view method, nlohmann::json params);
  void log(std::string_view message);

  void initialize(const nlohmann::json& params, const nlohmann::json& id);
  void initialized(const nlohmann::json& params, const nlohmann::json& id);
  void shutdown(const nlohmann::json& params, const nlohmann::json& id);
  void exit(const nlohmann::json& params, const nlohmann::json& id);
  void did_open(const nlohmann::json& params, const nlohmann::json& id);
  void did_change(const nlohmann::json& params, const nlohmann::json& id);
  void did_close(const nlohmann::json& params, const nlohmann::json& id);
  void did_save(const nlohmann::json& params, const nlohmann::json& id);
  void did_change_configuration(const nlohmann::json& params, const nlohmann::json& id);
  void hover(const nlohmann::json& params, const nlohmann::json& id);
  void definition(const nlohmann::json& params, const nlohmann::json& id);
  void references(const nlohmann::json& params, const nlohmann::json& id);
  void document_symbol(const nlohmann::json& params, const nlohmann::json& id);
  void completion(const nlohmann::json& params, const nlohmann::json& id);
  void execute_command(const nlohmann::json& params, const nlohmann::json& id);

  /// The handler of a method, or null.
  static Handler find_handler(std::string_view method);
  /// The open document a request names; throws for an unknown one.
  const Document& document_of(const nlohmann::json& params);
  FeatureContext context() const;
  /// Marks stale every run that read `path`.
  void invalidate(const std::string& path);
  /// Reads the settings again: the file, the options of initialize, then
  /// the last configuration.
  void load_settings();

  Sender send_;
  bool initialized_ = false;
  bool shutdown_ = false;
  bool exiting_ = false;
  std::string root_;
  PositionEncoding encoding_ = PositionEncoding::Utf16;
  nlohmann::json initialization_options_;
  nlohmann::json configuration_;
  Settings settings_;
  DocumentMap documents_;
  RunMap runs_;
  /// The diagnostics last published for each URI: the JSON array sent.
  std::map<std::string, std::string> published_;
};

}  // namespace kup::ls
