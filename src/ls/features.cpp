#include "ls/features.h"

#include <fstream>
#include <set>

#include "ls/directive_words.h"
#include "ls/protocol.h"
#include "macros/field_scanner.h"

namespace kup::ls {

namespace {

using nlohmann::json;

/// A field of a line: its bytes.
struct Field {
  std::size_t begin = 0;
  std::size_t end = 0;
};

/// The fields of a line as the run cuts them.
std::vector<Field> fields_of(std::string_view text) {
  std::vector<Field> fields;
  const char* p = text.data();
  const char* const end = p + text.size();
  bool directive = false;
  while (p != end) {
    // A directive word is cut as letters only.
    const bool word = directive && fields.size() == 1;
    const FieldBounds field = scan_bounds(p, end, word ? ctype::kLetter : ctype::kIdent);
    if (field.start == field.stop) break;
    fields.push_back({static_cast<std::size_t>(field.start - text.data()),
                      static_cast<std::size_t>(field.stop - text.data())});
    if (fields.size() == 1) directive = *field.start == '#';
    p = field.after;
  }
  return fields;
}

/// The directive word of a line, or empty for a data line.
std::string_view directive_word(std::string_view text) {
  const std::vector<Field> fields = fields_of(text);
  if (fields.size() < 2 || text[fields[0].begin] != '#' || fields[0].end != fields[0].begin + 1) return {};
  return text.substr(fields[1].begin, fields[1].end - fields[1].begin);
}

/// The field of `text` at byte `at` (a cursor just after a field is on it).
const Field* field_at(const std::vector<Field>& fields, std::size_t at) {
  for (const Field& field : fields)
    if (field.begin <= at && at <= field.end) return &field;
  return nullptr;
}

/// The first field of `text` after the directive word spelling `name`,
/// else the first anywhere; null when none does.
std::optional<Field> name_field(std::string_view text, std::string_view name) {
  const std::vector<Field> fields = fields_of(text);
  std::optional<Field> found;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (text.substr(fields[i].begin, fields[i].end - fields[i].begin) != name) continue;
    if (i >= 2 || !found) found = fields[i];
    if (i >= 2) break;
  }
  return found;
}

/// The field of line `text` naming what `made` defined, looked for in the
/// piece of the line that made it.
std::optional<Field> defined_field(std::string_view text, const Definition& made) {
  const std::size_t from = std::min<std::size_t>(made.column, text.size());
  std::optional<Field> field = name_field(text.substr(from), made.name);
  if (field) {
    field->begin += from;
    field->end += from;
  }
  return field;
}

const RunResult* run_of(const FeatureContext& context, const Document& document) {
  const auto found = context.runs.find(document.uri);
  return found != context.runs.end() ? &found->second : nullptr;
}

const LineRecord* record_at(const RunResult& run, const Document& document, long line) {
  const std::vector<LineRecord>* records = run.lines_of(document.path);
  if (records == nullptr || line < 0 || static_cast<std::size_t>(line) >= records->size()) return nullptr;
  const LineRecord& record = (*records)[static_cast<std::size_t>(line)];
  return record.read ? &record : nullptr;
}

/// What stands at a position: the use the run recorded there, or the
/// name written there with the last definition of it in the run.
struct NameAt {
  std::string name;
  const NameUse* use = nullptr;
  int definition = -1;
  Field field;
};

std::optional<NameAt> name_at(const FeatureContext& context, const Document& document, TextPosition at) {
  const RunResult* run = run_of(context, document);
  const std::string_view text = document.line(static_cast<std::size_t>(std::max(0L, at.line)));
  const std::size_t byte = byte_column(text, at.character, context.encoding);
  if (run == nullptr) return std::nullopt;
  if (const LineRecord* record = record_at(*run, document, at.line)) {
    for (const NameUse& use : run->uses_of(*record))
      if (use.begin <= byte && byte <= use.end)
        return NameAt{std::string(run->name_of(use)), &use, use.definition, {use.begin, use.end}};
  }
  const std::vector<Field> fields = fields_of(text);
  const Field* field = field_at(fields, byte);
  if (field == nullptr) return std::nullopt;
  NameAt found{std::string(text.substr(field->begin, field->end - field->begin)), nullptr, -1, *field};
  for (int i = static_cast<int>(run->definitions.size()) - 1; i >= 0; --i)
    if (run->definitions[static_cast<std::size_t>(i)].name == found.name) {
      found.definition = i;
      return found;
    }
  return std::nullopt;
}

std::string where_text(const Definition& definition, const std::string& root) {
  if (definition.file.empty()) return "on the command line";
  return "at " + run_path(definition.file, root) + ":" + std::to_string(definition.line);
}

/// A fenced block holding `text` whatever backquotes it holds.
std::string fenced(std::string_view text) {
  std::string fence = "```";
  while (text.find(fence) != std::string_view::npos) fence += '`';
  return fence + "\n" + std::string(text) + "\n" + fence;
}

}  // namespace

json line_range(long line, std::string_view line_text, std::size_t begin, std::size_t end, PositionEncoding encoding) {
  return {{"start", {{"line", line}, {"character", encoded_column(line_text, begin, encoding)}}},
          {"end", {{"line", line}, {"character", encoded_column(line_text, end, encoding)}}}};
}

std::string file_line(const DocumentMap& documents, const std::string& path, long line) {
  for (const auto& [uri, document] : documents)
    if (document.path == path) return std::string(document.line(static_cast<std::size_t>(line - 1)));
  std::ifstream file(path, std::ios::binary);
  std::string text;
  for (long n = 1; n <= line && std::getline(file, text); ++n) {
    if (n == line) {
      if (!text.empty() && text.back() == '\r') text.pop_back();
      return text;
    }
  }
  return {};
}

json definition_location(const FeatureContext& context, const Definition& definition) {
  if (definition.file.empty() || definition.line <= 0) return nullptr;
  const std::string text = file_line(context.documents, definition.file, definition.line);
  const std::optional<Field> field = defined_field(text, definition);
  const std::size_t begin = field ? field->begin : 0;
  const std::size_t end = field ? field->end : 0;
  return {{"uri", uri_from_path(definition.file)},
          {"range", line_range(definition.line - 1, text, begin, end, context.encoding)}};
}

json hover(const FeatureContext& context, const Document& document, TextPosition at) {
  const std::string_view text = document.line(static_cast<std::size_t>(std::max(0L, at.line)));
  const std::size_t byte = byte_column(text, at.character, context.encoding);
  const std::vector<Field> fields = fields_of(text);
  // The directive word: its description.
  if (fields.size() >= 2 && text[fields[0].begin] == '#' && fields[1].begin <= byte && byte <= fields[1].end) {
    if (const DirectiveWord* word = find_directive_word(directive_word(text))) {
      return {{"contents", {{"kind", "markdown"}, {"value", fenced(word->synopsis) + "\n" + std::string(word->description)}}},
              {"range", line_range(at.line, text, fields[1].begin, fields[1].end, context.encoding)}};
    }
  }
  const std::optional<NameAt> found = name_at(context, document, at);
  const RunResult* run = run_of(context, document);
  if (!found || run == nullptr) return nullptr;
  std::string value;
  if (found->use != nullptr) {
    value = "**" + found->name + "** here:\n" + fenced(run->value_of(*found->use));
  } else {
    const Definition& last = run->definitions[static_cast<std::size_t>(found->definition)];
    value = "**" + found->name + "** is not replaced here in this run; its last value:\n" + fenced(last.value);
  }
  if (found->definition >= 0) {
    const Definition& definition = run->definitions[static_cast<std::size_t>(found->definition)];
    value += "\nDefined " + where_text(definition, context.root) + ".";
  }
  return {{"contents", {{"kind", "markdown"}, {"value", value}}},
          {"range", line_range(at.line, text, found->field.begin, found->field.end, context.encoding)}};
}

json definition(const FeatureContext& context, const Document& document, TextPosition at) {
  const std::optional<NameAt> found = name_at(context, document, at);
  const RunResult* run = run_of(context, document);
  if (!found || run == nullptr || found->definition < 0) return nullptr;
  return definition_location(context, run->definitions[static_cast<std::size_t>(found->definition)]);
}

namespace {

/// The locations of one name's references, each place once.
class ReferenceList {
 public:
  ReferenceList(const FeatureContext& context, std::string_view name, bool include_declaration)
      : context_(context), name_(name), include_declaration_(include_declaration) {}

  /// Adds the uses of the name in the lines a run handled.
  void add_uses(const RunResult& run) {
    for (const auto& [path, records] : run.lines)
      for (std::size_t n = 0; n < records.size(); ++n)
        for (const NameUse& use : run.uses_of(records[n]))
          if (run.name_of(use) == name_ && counts(run, use, path, static_cast<long>(n) + 1))
            add(path, static_cast<long>(n), file_line(context_.documents, path, static_cast<long>(n) + 1), use.begin,
                use.end);
  }

  /// Adds the names written where a run defined the name.
  void add_declarations(const RunResult& run) {
    for (const Definition& made : run.definitions) {
      if (made.name != name_ || made.file.empty()) continue;
      const std::string text = file_line(context_.documents, made.file, made.line);
      const std::optional<Field> field = defined_field(text, made);
      if (field) add(made.file, made.line - 1, text, field->begin, field->end);
    }
  }

  json take() { return std::move(locations_); }

 private:
  /// False for a use at the line that made the definition in effect: that
  /// is the definition's name, a reference only with the declarations.
  bool counts(const RunResult& run, const NameUse& use, const std::string& path, long line) const {
    if (use.definition < 0 || include_declaration_) return true;
    const Definition& made = run.definitions[static_cast<std::size_t>(use.definition)];
    return !(made.file == path && made.line == line);
  }

  void add(const std::string& path, long line, std::string_view text, std::size_t begin, std::size_t end) {
    if (!seen_.emplace(path, line, begin).second) return;
    locations_.push_back({{"uri", uri_from_path(path)}, {"range", line_range(line, text, begin, end, context_.encoding)}});
  }

  const FeatureContext& context_;
  std::string_view name_;
  bool include_declaration_;
  std::set<std::tuple<std::string, long, std::size_t>> seen_;
  json locations_ = json::array();
};

}  // namespace

json references(const FeatureContext& context, const Document& document, TextPosition at, bool include_declaration) {
  const std::optional<NameAt> found = name_at(context, document, at);
  if (!found) return json::array();
  ReferenceList list(context, found->name, include_declaration);
  for (const auto& [uri, run] : context.runs) {
    list.add_uses(run);
    if (include_declaration) list.add_declarations(run);
  }
  return list.take();
}

json document_symbols(const FeatureContext& context, const Document& document) {
  json symbols = json::array();
  const RunResult* run = run_of(context, document);
  if (run == nullptr) return symbols;
  std::set<std::pair<std::string, long>> seen;
  for (const Definition& made : run->definitions) {
    if (made.file != document.path || made.line <= 0) continue;
    const std::string_view text = document.line(static_cast<std::size_t>(made.line - 1));
    const std::string_view word = directive_word(text.substr(std::min<std::size_t>(made.column, text.size())));
    if (!defines_macro(word) || !seen.emplace(made.name, made.line).second) continue;
    const std::optional<Field> field = defined_field(text, made);
    // The elements of a list are not symbols of their own: only the name
    // written on the line is.
    if (!field) continue;
    const int kind = word == "list" ? kSymbolArray : (word == "int" || word == "real" || word == "fix") ? kSymbolNumber
                                                                                                      : kSymbolVariable;
    symbols.push_back({{"name", made.name},
                       {"detail", made.value},
                       {"kind", kind},
                       {"range", line_range(made.line - 1, text, 0, text.size(), context.encoding)},
                       {"selectionRange", line_range(made.line - 1, text, field->begin, field->end, context.encoding)}});
  }
  return symbols;
}

namespace {

/// True if `before`, the text of a line before the cursor, is a "#" after
/// blanks, then blanks and at most the letters of a directive word.
bool at_directive_word(std::string_view before) {
  const std::size_t p = before.find_first_not_of(" \t");
  if (p == std::string_view::npos || before[p] != '#') return false;
  const std::string_view rest = before.substr(p + 1);
  const std::size_t word = rest.find_first_not_of(" \t");
  const std::string_view typed = word == std::string_view::npos ? std::string_view{} : rest.substr(word);
  return typed.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string_view::npos;
}

/// Every directive word as a completion item.
json directive_completions() {
  json items = json::array();
  for (const DirectiveWord& entry : directive_words()) {
    if (entry.word == "#" || entry.word == "*") continue;
    items.push_back({{"label", entry.word},
                     {"kind", kCompletionKeyword},
                     {"detail", entry.synopsis},
                     {"documentation", entry.description}});
  }
  return items;
}

/// The order of the run's first step at line `line` of `path`: for a line
/// the run did not handle, that of the nearest line above it that it did;
/// UINT64_MAX when there is none.
std::uint64_t order_at(const RunResult& run, const std::string& path, long line) {
  const std::vector<LineRecord>* records = run.lines_of(path);
  if (records == nullptr) return UINT64_MAX;
  for (long n = std::min<long>(line, static_cast<long>(records->size()) - 1); n >= 0; --n) {
    const LineRecord& record = (*records)[static_cast<std::size_t>(n)];
    if (record.read) return record.order;
  }
  return UINT64_MAX;
}

}  // namespace

json completion(const FeatureContext& context, const Document& document, TextPosition at) {
  const std::string_view text = document.line(static_cast<std::size_t>(std::max(0L, at.line)));
  if (at_directive_word(text.substr(0, byte_column(text, at.character, context.encoding))))
    return directive_completions();
  json items = json::array();
  const RunResult* run = run_of(context, document);
  if (run == nullptr) return items;
  // The macros defined before this line was handled.
  const std::uint64_t until = order_at(*run, document.path, at.line);
  std::map<std::string, const Definition*> latest;
  for (const Definition& made : run->definitions)
    if (made.order < until) latest[made.name] = &made;
  for (const auto& [name, made] : latest)
    items.push_back({{"label", name}, {"kind", kCompletionVariable}, {"detail", made->value},
                     {"documentation", "Defined " + where_text(*made, context.root) + "."}});
  return items;
}

}  // namespace kup::ls
