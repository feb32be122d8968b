// Start-up from the command line.
#pragma once

namespace kup {

/// Start-up: the two passes over the arguments. Returns true when the
/// line loop is to run, false when an informational option was answered.
bool start_up(int argc, char** argv);

}  // namespace kup
