#include "ls/publish.h"

#include <deque>
#include <set>

#include "ls/json_text.h"
#include "ls/protocol.h"

namespace kup::ls {

namespace {

/// A range of whole lines (from 0): from the start of `first` to the
/// character `end_character` of `last`.
struct LineSpan {
  long first = 0;
  long last = 0;
  long end_character = 0;
};

void append_range(std::string& out, const LineSpan& span) {
  out += R"({"end":{"character":)";
  append_json_number(out, span.end_character);
  out += R"(,"line":)";
  append_json_number(out, span.last);
  out += R"(},"start":{"character":0,"line":)";
  append_json_number(out, span.first);
  out += "}}";
}

/// One diagnostic's fields, written as the protocol's Diagnostic.
struct DiagnosticText {
  LineSpan range;
  int severity = kSeverityHint;
  std::string_view message;
  std::string_view related;  ///< the JSON array of its related information, or empty
  bool unnecessary = false;
};

void append_diagnostic(std::string& out, const DiagnosticText& diagnostic) {
  out += R"({"message":)";
  append_json_string(out, diagnostic.message);
  out += R"(,"range":)";
  append_range(out, diagnostic.range);
  if (!diagnostic.related.empty()) {
    out += R"(,"relatedInformation":)";
    out += diagnostic.related;
  }
  out += R"(,"severity":)";
  append_json_number(out, diagnostic.severity);
  out += R"(,"source":"kup")";
  if (diagnostic.unnecessary) {
    out += R"(,"tags":[)";
    append_json_number(out, kTagUnnecessary);
    out += ']';
  }
  out += '}';
}

/// Collects diagnostics per URI, each one once.
class Collector {
 public:
  explicit Collector(const FeatureContext& context) : context_(context) {
    for (const auto& [uri, document] : context.documents) {
      Found& found = found_[uri];
      found.text.push_back('[');
      if (!document.path.empty()) open_[document.path] = {&document, &found};
    }
  }

  void add_fault(const Fault& fault, const std::string& document) {
    const int severity = fault.error ? kSeverityError : kSeverityWarning;
    if (fault.where.empty()) {
      add(document, {whole_line(document, 1), severity, fault.message, {}, false});
      return;
    }
    const FaultLocation& inner = fault.where[0];
    add(inner.file, {whole_line(inner.file, inner.line), severity, fault.message, {}, false});
    if (fault.where.size() < 2) return;
    // Shown at each #include line it was included through: where the
    // fault is, and the files between.
    const std::string& message = kept_texts_.emplace_back("in " + run_path(inner.file, context_.root) + ":" +
                                                        std::to_string(inner.line) + ": " + fault.message);
    std::string related = "[";
    append_location(related, inner, fault.message);
    for (std::size_t i = 1; i < fault.where.size(); ++i) {
      const FaultLocation& here = fault.where[i];
      if (open_.count(here.file) != 0) {
        related += ']';
        add(here.file, {whole_line(here.file, here.line), severity, message, related, false});
        related.pop_back();
      }
      if (i + 1 < fault.where.size()) append_location(related, here, "included from here");
    }
  }

  /// The hints on the lines the run of `document` left unprocessed, a
  /// range of lines in one.
  void add_skipped(const RunResult& run) {
    const std::vector<LineRecord>* records = run.lines_of(run.document);
    const auto open = open_.find(run.document);
    if (records == nullptr || open == open_.end()) return;
    const Document& document = *open->second.document;
    const auto skipped = [&](std::size_t n) { return (*records)[n].read && (*records)[n].skipped; };
    for (std::size_t n = 0; n < records->size();) {
      if (!skipped(n)) {
        ++n;
        continue;
      }
      std::size_t last = n;
      while (last + 1 < records->size() && skipped(last + 1)) ++last;
      const std::string_view end_text = document.line(last);
      const LineSpan span{static_cast<long>(n), static_cast<long>(last),
                          encoded_column(end_text, end_text.size(), context_.encoding)};
      add(open->second, {span, kSeverityHint, kSkippedMessage, {}, true});
      n = last + 1;
    }
  }

  std::map<std::string, std::string> take() {
    std::map<std::string, std::string> texts;
    for (auto& [uri, found] : found_) texts.emplace(uri, std::move(found.text += ']'));
    return texts;
  }

 private:
  /// What makes a diagnostic of a document the same as another.
  struct Key {
    long line;
    int severity;
    std::string_view message;
    bool operator<(const Key& other) const {
      if (line != other.line) return line < other.line;
      if (severity != other.severity) return severity < other.severity;
      return message < other.message;
    }
  };

  /// The diagnostics of one document so far.
  struct Found {
    std::string text;
    std::set<Key> seen;
  };

  /// An open document and its diagnostics.
  struct Target {
    const Document* document = nullptr;
    Found* found = nullptr;
  };

  /// The range of a whole line (from 1; 0 as 1) of a file.
  LineSpan whole_line(const std::string& path, long line) {
    const long n = std::max(1L, line);
    const auto open = open_.find(path);
    const std::string_view text =
        open != open_.end() ? open->second.document->line(static_cast<std::size_t>(n - 1)) : disk_line(path, n);
    return {n - 1, n - 1, encoded_column(text, text.size(), context_.encoding)};
  }

  /// Line `n` (from 1) of a file that is not open, kept while the
  /// collector lives.
  std::string_view disk_line(const std::string& path, long n) {
    return kept_texts_.emplace_back(file_line(context_.documents, path, n));
  }

  void append_location(std::string& related, const FaultLocation& where, std::string_view message) {
    if (related.size() > 1) related += ',';
    related += R"({"location":{"range":)";
    append_range(related, whole_line(where.file, where.line));
    related += R"(,"uri":)";
    append_json_string(related, uri_from_path(where.file));
    related += R"(},"message":)";
    append_json_string(related, message);
    related += '}';
  }

  void add(const std::string& path, const DiagnosticText& diagnostic) {
    const auto open = open_.find(path);
    if (open != open_.end()) add(open->second, diagnostic);
  }

  /// Adds a diagnostic unless the document has the same one: runs of
  /// several documents may report the same fault, and one is shown.
  void add(const Target& target, const DiagnosticText& diagnostic) {
    if (!target.found->seen.insert({diagnostic.range.first, diagnostic.severity, diagnostic.message}).second) return;
    std::string& text = target.found->text;
    if (text.size() > 1) text += ',';
    append_diagnostic(text, diagnostic);
  }

  const FeatureContext& context_;
  /// The open documents, by path.
  std::map<std::string, Target, std::less<>> open_;
  std::map<std::string, Found> found_;
  /// Texts made here that diagnostics and their keys view while the
  /// collector lives: the messages shown at #include lines and the lines
  /// of files that are not open.
  std::deque<std::string> kept_texts_;
};

}  // namespace

std::map<std::string, std::string> collect_diagnostics(const FeatureContext& context) {
  Collector collector(context);
  for (const auto& [uri, run] : context.runs) {
    for (const Fault& fault : run.faults) collector.add_fault(fault, run.document);
    collector.add_skipped(run);
  }
  return collector.take();
}

std::string diagnostics_notification(std::string_view uri, std::string_view diagnostics, const long* version) {
  std::string content = R"({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"diagnostics":)";
  content.reserve(content.size() + diagnostics.size() + uri.size() + 40);
  content += diagnostics;
  content += R"(,"uri":)";
  append_json_string(content, uri);
  if (version != nullptr) {
    content += R"(,"version":)";
    append_json_number(content, *version);
  }
  content += "}}";
  return content;
}

}  // namespace kup::ls
