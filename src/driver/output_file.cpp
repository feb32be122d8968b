#include "driver/output_file.h"

#include "driver/diagnostics.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "platform/platform.h"
#include "platform/temporary_file.h"

namespace kup {

OutputFile output_file;

void open_output_file(const std::string& path) {
  std::string temp_name;
  std::FILE* temp = is_directory(path.c_str()) ? nullptr : create_temporary_file(path, temp_name);
  if (temp == nullptr) fatal_command_line(format("KUP error - problem to create KUP_OUTPUT: '%s'\n", path));
  output_file.path = path;
  output_file.temp = temp;
  output_file.temp_name = std::move(temp_name);
  guard_temporary_file(TemporarySlot::Output, output_file.temp_name.c_str(), fileno(temp));
}

void send_output_to_file() {
  if (output_file.temp == nullptr || output_file.standard_fd >= 0) return;
  output_file.standard_fd = output.out_fd;
  output.out_fd = fileno(output_file.temp);
}

bool finish_output_file(bool keep) {
  if (output_file.temp == nullptr) return true;
  const bool sent = output_file.standard_fd >= 0;
  if (sent) output.out_fd = output_file.standard_fd;
  std::FILE* temp = output_file.temp;
  output_file.temp = nullptr;
  output_file.standard_fd = -1;
  return finish_temporary_file(TemporarySlot::Output, temp, output_file.temp_name, output_file.path, keep && sent);
}

void reset_output_file() {
  (void)finish_output_file(false);
  output_file = OutputFile{};
}

}  // namespace kup
