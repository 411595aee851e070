#pragma once
#include <exception>
#include <functional>
#include <string>

namespace trap {

extern const char* const kSupportEmail;

// The text of the "Application Error" message: description, CR LF, the location of the failing
// statement and the plea to mail a screenshot.
std::string ApplicationErrorText(const std::string& description, const std::string& where, int line);

// Shows an "Application Error" message with the given text.
using Reporter = std::function<void(const std::string& text)>;

// The error trap of one routine ("Form1.PushButton7_Click"): each numbered statement runs through
// Step(); a failing one is reported with its number and the routine goes on with the next.
class ErrorTrap {
 public:
  ErrorTrap(std::string where, Reporter reporter);
  template <class F>
  bool Step(int line, F&& f) {
    try {
      f();
      return true;
    } catch (const std::exception& e) {
      Report(e.what(), line);
      return false;
    }
  }
  void Report(const std::string& description, int line) const;
  const std::string& Where() const { return where_; }

 private:
  std::string where_;
  Reporter reporter_;
};

}  // namespace trap
