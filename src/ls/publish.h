// The diagnostics of the open documents, from the last runs: each fault
// at its line in every open document it passes through, and the lines a
// run left unprocessed as hints that editors grey out.
#pragma once

#include <map>
#include <string>

#include "ls/features.h"

namespace kup::ls {

/// The message of the hint on the lines a run did not process.
inline constexpr std::string_view kSkippedMessage = "not processed in this run";

/// The diagnostics of each open document, by URI, each list as the JSON
/// text of the array a publishDiagnostics notification carries.
std::map<std::string, std::string> collect_diagnostics(const FeatureContext& context);

/// The content of the publishDiagnostics notification of `uri` with the
/// JSON array `diagnostics`, and the document's version when it has one.
std::string diagnostics_notification(std::string_view uri, std::string_view diagnostics, const long* version);

}  // namespace kup::ls
