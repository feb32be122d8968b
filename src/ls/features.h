// The answers to the editor's questions about a document, from what its
// last run did: hover, definition, references, symbols and completion.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "ls/documents.h"
#include "ls/engine_run.h"

namespace kup::ls {

/// The last run of each open document, by URI.
using RunMap = std::map<std::string, RunResult, std::less<>>;

/// What every answer reads.
struct FeatureContext {
  const DocumentMap& documents;
  const RunMap& runs;
  PositionEncoding encoding;
  std::string root;  ///< paths below it are shown relative to it
};

/// A position of a document: line and character as the editor counts them.
struct TextPosition {
  long line = 0;
  long character = 0;
};

/// The protocol's Range of the bytes [begin, end) of line `line` (from 0)
/// of the text `line_text`.
nlohmann::json line_range(long line, std::string_view line_text, std::size_t begin, std::size_t end,
                          PositionEncoding encoding);

/// The text of line `line` (from 1) of a file: from its open document, or
/// else from disk; empty when neither has it.
std::string file_line(const DocumentMap& documents, const std::string& path, long line);

/// The Location of a definition, or null for the command line.
nlohmann::json definition_location(const FeatureContext& context, const Definition& definition);

nlohmann::json hover(const FeatureContext& context, const Document& document, TextPosition at);
nlohmann::json definition(const FeatureContext& context, const Document& document, TextPosition at);
nlohmann::json references(const FeatureContext& context, const Document& document, TextPosition at,
                          bool include_declaration);
nlohmann::json document_symbols(const FeatureContext& context, const Document& document);
nlohmann::json completion(const FeatureContext& context, const Document& document, TextPosition at);

}  // namespace kup::ls
