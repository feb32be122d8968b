// Drives kup-ls's handling with arbitrary bytes. An input whose first
// byte is even is a byte stream cut into pieces of varying size and fed
// to the message reader, each message taken handled by a server; an odd
// one is a document: opened, changed, asked about at positions taken from
// its bytes, expanded and closed. Every answer must be writable as JSON.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "ls/framing.h"
#include "ls/server.h"

namespace {

using nlohmann::json;

std::string work_dir;

void send(std::string_view content) {
  // What the server sends, whether written by nlohmann::json or by its own
  // writer of diagnostics, must always be JSON.
  if (!json::accept(content)) std::abort();
}

json request(int id, const char* method, json params) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
}

void handle(kup::ls::Server& server, const json& message) {
  server.handle_content(message.dump(-1, ' ', false, json::error_handler_t::replace));
}

void initialize(kup::ls::Server& server) {
  handle(server, request(0, "initialize", {{"rootUri", "file://" + work_dir}, {"capabilities", json::object()}}));
}

void feed_stream(const uint8_t* data, size_t size) {
  kup::ls::Server server(send);
  initialize(server);
  kup::ls::MessageReader reader;
  std::string content;
  for (size_t at = 0; at < size;) {
    const size_t piece = std::min<size_t>(size - at, 1 + data[at] % 64);
    reader.feed(std::string_view(reinterpret_cast<const char*>(data) + at, piece));
    at += piece;
    for (;;) {
      const kup::ls::FrameStatus status = reader.next(content);
      if (status == kup::ls::FrameStatus::NeedMore) break;
      if (status == kup::ls::FrameStatus::Message) server.handle_content(content);
      else server.handle_bad_header();
    }
    server.refresh();
  }
}

void drive_document(const uint8_t* data, size_t size) {
  kup::ls::Server server(send);
  initialize(server);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string uri = "file://" + work_dir + "/doc.kup";
  handle(server, {{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"},
                  {"params", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", text}}}}}});
  server.refresh();
  const auto at = [&](size_t i) {
    const long line = size > i ? data[i] % 16 : 0;
    const long character = size > i + 1 ? data[i + 1] % 40 : 0;
    return json{{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", character}}}};
  };
  int id = 1;
  for (const char* method : {"textDocument/hover", "textDocument/definition", "textDocument/completion",
                             "textDocument/references", "textDocument/documentSymbol"})
    handle(server, request(id++, method, at(static_cast<size_t>(id) * 2)));
  json change = {{"range", {{"start", at(3)["position"]}, {"end", at(5)["position"]}}},
                 {"text", text.substr(0, std::min<size_t>(size, 8))}};
  handle(server, {{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"},
                  {"params", {{"textDocument", {{"uri", uri}, {"version", 2}}}, {"contentChanges", {change}}}}});
  handle(server, request(id++, "textDocument/hover", at(7)));
  handle(server, request(id++, "workspace/executeCommand", {{"command", "kup.expand"}, {"arguments", {uri}}}));
  handle(server, {{"jsonrpc", "2.0"}, {"method", "textDocument/didClose"},
                  {"params", {{"textDocument", {{"uri", uri}}}}}});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/kup-fuzz-ls-XXXXXX";
  if (mkdtemp(folder) == nullptr) std::abort();
  work_dir = folder;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) feed_stream(data + 1, size - 1);
  else drive_document(data + 1, size - 1);
  return 0;
}
