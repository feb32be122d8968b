// The line loop.
#pragma once

namespace kup {

/// The line loop: reads and handles lines until all input is read.
void run_line_loop();

}  // namespace kup
