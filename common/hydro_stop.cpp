#include "hydro_stop.hpp"

#include "program_end.hpp"
#include "text_record.hpp"

namespace rn {

void hydro_stop(std::string_view message) {
  message = message.substr(0, kMessageWidth);
  while (!message.empty() && message.back() == ' ') message.remove_suffix(1);
  out().record("Stoped du to ", message);
  code_stop(999);
}

void hydro_stop_plain(std::string_view message) {
  out().record(message);
  plain_stop(kFailure);
}

}  // namespace rn
