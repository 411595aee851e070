#include "connectivity/core/ErrorTrap.h"

namespace trap {

const char* const kSupportEmail = "support@quorvane.example";

std::string ApplicationErrorText(const std::string& description, const std::string& where, int line) {
  return description + "\r\nin Brennhall2021/08/31." + where + " at line " + std::to_string(line) +
         "\r\rPlease email screenshot of this message to " + kSupportEmail;
}

ErrorTrap::ErrorTrap(std::string where, Reporter reporter) : where_(std::move(where)), reporter_(std::move(reporter)) {}

void ErrorTrap::Report(const std::string& description, int line) {
  if (beforeReport_ && !inHook_) {
    inHook_ = true;
    try {
      beforeReport_();
    } catch (...) {
      inHook_ = false;
      throw;
    }
    inHook_ = false;
  }
  reporter_(ApplicationErrorText(description, where_, line));
}

}  // namespace trap
