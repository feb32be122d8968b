// The diagnostics of the open documents, from the last runs: each fault
// at its line in every open document it passes through, and the lines a
// run left unprocessed as hints that editors grey out.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "ls/features.h"

namespace kup::ls {

/// The message of the hint on the lines a run did not process.
inline constexpr std::string_view kSkippedMessage = "not processed in this run";

/// The diagnostics of each open document, by URI.
std::map<std::string, nlohmann::json> collect_diagnostics(const FeatureContext& context);

}  // namespace kup::ls
