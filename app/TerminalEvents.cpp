#include "app/TerminalEvents.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "connectivity/core/ConnString.h"
#include "conversion/Progress.h"

TerminalEvents::TerminalEvents(std::string overwrite, std::optional<std::string> script,
                               std::function<std::string(const std::string&)> prompt)
    : overwrite_(std::move(overwrite)), script_path_(std::move(script)), prompt_(std::move(prompt)) {
  if (script_path_) {
    script_ = std::fopen(script_path_->c_str(), "wb");
    if (!script_) throw std::runtime_error("cannot write " + *script_path_ + ": " + std::strerror(errno));
  }
  tty_ = isatty(STDERR_FILENO);
}
