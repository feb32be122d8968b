// The informational texts: usage, help, the build line and the run report.
#pragma once

namespace kup {

/// Informational texts.
void print_usage();
void print_help();
void print_build();
void print_run_report();

}  // namespace kup
