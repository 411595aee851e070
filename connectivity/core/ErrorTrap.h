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
  // Sees each error Step() catches, before it is reported.
  void OnError(std::function<void(const std::exception&)> hook) { onError_ = std::move(hook); }
  // Runs before each report, that is before the message waits on the user; a report made from
  // inside it does not run it again.
  void BeforeReport(std::function<void()> hook) { beforeReport_ = std::move(hook); }
  template <class F>
  bool Step(int line, F&& f) {
    try {
      f();
      return true;
    } catch (const std::exception& e) {
      if (onError_) onError_(e);
      Report(e.what(), line);
      return false;
    }
  }
  void Report(const std::string& description, int line);
  const std::string& Where() const { return where_; }

 private:
  std::string where_;
  Reporter reporter_;
  std::function<void(const std::exception&)> onError_;
  std::function<void()> beforeReport_;
  bool inHook_ = false;
};

}  // namespace trap
