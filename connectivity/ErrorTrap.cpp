#include "connectivity/ErrorTrap.h"

#include <cstdio>

namespace trap {

const char* const kSupportEmail = "support@quorvane.example";

namespace {
Reporter& Global() {
  static Reporter r = [](const std::string& text) { std::fprintf(stderr, "Application Error: %s\n", text.c_str()); };
  return r;
}
}  // namespace

std::string ApplicationErrorText(const std::string& description, const std::string& where, int line) {
  return description + "\r\nin Brennhall2021/08/31." + where + " at line " + std::to_string(line) +
         "\r\rPlease email screenshot of this message to " + kSupportEmail;
}

void SetReporter(Reporter reporter) { Global() = std::move(reporter); }
const Reporter& DefaultReporter() { return Global(); }

ErrorTrap::ErrorTrap(std::string where, Reporter reporter) : where_(std::move(where)), reporter_(std::move(reporter)) {}

void ErrorTrap::Report(const std::string& description, int line) const {
  std::string text = ApplicationErrorText(description, where_, line);
  if (reporter_)
    reporter_(text);
  else
    Global()(text);
}

}  // namespace trap
