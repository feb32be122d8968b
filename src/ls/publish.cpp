#include "ls/publish.h"

#include <set>

#include "ls/protocol.h"

namespace kup::ls {

namespace {

using nlohmann::json;

/// The range of a whole line (from 1) of a file.
json whole_line(const FeatureContext& context, const std::string& path, long line) {
  const long n = std::max(1L, line);
  const std::string text = file_line(context.documents, path, n);
  return line_range(n - 1, text, 0, text.size(), context.encoding);
}

/// Collects diagnostics per URI, each one once.
class Collector {
 public:
  explicit Collector(const FeatureContext& context) : context_(context) {
    for (const auto& [uri, document] : context.documents) {
      found_[uri] = json::array();
      if (!document.path.empty()) uris_[document.path] = uri;
    }
  }

  void add_fault(const Fault& fault, const std::string& document) {
    const int severity = fault.error ? kSeverityError : kSeverityWarning;
    if (fault.where.empty()) {
      add(document, {{"range", whole_line(context_, document, 1)}, {"severity", severity},
                     {"source", "kup"}, {"message", fault.message}});
      return;
    }
    for (std::size_t i = 0; i < fault.where.size(); ++i) {
      const FaultLocation& here = fault.where[i];
      json diagnostic = {{"range", whole_line(context_, here.file, here.line)}, {"severity", severity},
                         {"source", "kup"}, {"message", fault.message}};
      if (i > 0) {
        // Shown at an #include line: where the fault is, and the files
        // it was included through.
        json related = json::array();
        const FaultLocation& inner = fault.where[0];
        related.push_back({{"location", {{"uri", uri_from_path(inner.file)}, {"range", whole_line(context_, inner.file, inner.line)}}},
                           {"message", fault.message}});
        for (std::size_t j = 1; j < i; ++j)
          related.push_back({{"location", {{"uri", uri_from_path(fault.where[j].file)},
                                           {"range", whole_line(context_, fault.where[j].file, fault.where[j].line)}}},
                             {"message", "included from here"}});
        diagnostic["relatedInformation"] = std::move(related);
        diagnostic["message"] = "in " + run_path(inner.file, context_.root) + ":" + std::to_string(inner.line) + ": " +
                                fault.message;
      }
      add(here.file, std::move(diagnostic));
    }
  }

  /// The hints on the lines the run of `document` left unprocessed, a
  /// range of lines in one.
  void add_skipped(const RunResult& run) {
    const std::vector<LineRecord>* records = run.lines_of(run.document);
    if (records == nullptr) return;
    const Document* document = document_of(run.document);
    if (document == nullptr) return;
    for (std::size_t n = 0; n < records->size();) {
      if (!(*records)[n].read || !(*records)[n].skipped) {
        ++n;
        continue;
      }
      std::size_t last = n;
      while (last + 1 < records->size() && (*records)[last + 1].read && (*records)[last + 1].skipped) ++last;
      const std::string_view end_text = document->line(last);
      json range = {{"start", {{"line", n}, {"character", 0}}},
                    {"end", {{"line", last}, {"character", encoded_column(end_text, end_text.size(), context_.encoding)}}}};
      add(run.document, {{"range", std::move(range)}, {"severity", kSeverityHint}, {"tags", {kTagUnnecessary}},
                         {"source", "kup"}, {"message", kSkippedMessage}});
      n = last + 1;
    }
  }

  std::map<std::string, json> take() { return std::move(found_); }

 private:
  const Document* document_of(const std::string& path) const {
    const auto uri = uris_.find(path);
    return uri == uris_.end() ? nullptr : &context_.documents.find(uri->second)->second;
  }

  void add(const std::string& path, json diagnostic) {
    const auto uri = uris_.find(path);
    if (uri == uris_.end()) return;
    // Runs of several documents may report the same fault: one is shown.
    const json& start = diagnostic["range"]["start"];
    std::string key = uri->second;
    key += '\n' + std::to_string(start["line"].get<long>()) + '\n' + std::to_string(diagnostic["severity"].get<int>()) +
           '\n' + diagnostic["message"].get<std::string>();
    if (!seen_.insert(std::move(key)).second) return;
    found_[uri->second].push_back(std::move(diagnostic));
  }

  const FeatureContext& context_;
  std::map<std::string, std::string> uris_;
  std::map<std::string, json> found_;
  std::set<std::string> seen_;
};

}  // namespace

std::map<std::string, json> collect_diagnostics(const FeatureContext& context) {
  Collector collector(context);
  for (const auto& [uri, run] : context.runs) {
    for (const Fault& fault : run.faults) collector.add_fault(fault, run.document);
    collector.add_skipped(run);
  }
  return collector.take();
}

}  // namespace kup::ls
