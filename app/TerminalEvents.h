#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <string>

#include "connectivity/core/ConnString.h"
#include "conversion/Progress.h"
#include "conversion/RunEvents.h"

// The run's events on a terminal: questions answered by the options, progress on the terminal.
class TerminalEvents : public conversion::RunEvents, public conversion::DatatypeSink {
 public:
  TerminalEvents(const TerminalEvents&) = delete;
  TerminalEvents& operator=(const TerminalEvents&) = delete;
  ~TerminalEvents() override {
    if (script_) std::fclose(script_);
  }
  // `overwrite`: "yes", "no", or "ask", which asks `prompt`; `script`: the dry run's file. Throws
  // std::runtime_error when the script cannot be written.
  TerminalEvents(std::string overwrite, std::optional<std::string> script, std::function<std::string(const std::string&)> prompt);

  void Progress(const conversion::RunProgress& p) override {
    using Kind = conversion::RunProgress::Kind;
    if (p.kind == Kind::Table) {
      if (tables_ == 0) runStart_ = std::chrono::steady_clock::now();
      table_ = p.tableNumber;
      tables_ = p.tables;
      rowsDone_ = p.runRows;
      rowsTotal_ = p.runRowsTotal;
    } else if (p.kind == Kind::Row) {
      RowProgress(p.table, p.rows, p.rowsTotal);
      rowsDone_ = p.runRows;
      rowsTotal_ = p.runRowsTotal;
    }
  }
  int AskOverwrite(const std::string& text, bool) override {
    EndLine();
    if (overwrite_ == "yes") return conversion::kYes;
    if (overwrite_ == "no") return conversion::kNo;
    const std::string a = ado::ToLower(prompt_(text + " [y/N] "));
    return a == "y" || a == "yes" ? conversion::kYes : conversion::kNo;
  }
  void Tell(conversion::MessageKind kind, const std::string& text) override {
    EndLine();
    switch (kind) {
      case conversion::MessageKind::Info:
        if (text == "Done.") {
          // A script that could not be written is told once, with its reason, at the end.
          if (!ScriptWritten()) return;
          std::cerr << (script_path_ ? "Done: the statements are in " + *script_path_ + "." : std::string("Done.")) << "\n";
          return;
        }
        std::cerr << Flat(text) << "\n";
        return;
      case conversion::MessageKind::Error:
        std::cerr << "error: " << Flat(text) << "\n";
        return;
      case conversion::MessageKind::Summary:
        std::cerr << "\n" << text;
        return;
    }
  }
  void NewScript() override {}
  void ScriptStatement(const std::string& statement) override {
    if (scriptError_ || !script_) return;
    if (std::fwrite(statement.data(), 1, statement.size(), script_) != statement.size() || std::fputc('\n', script_) == EOF)
      scriptError_ = errno;
  }
  conversion::DatatypeSink& Datatypes() override { return *this; }
  conversion::PreviewOutcome ShowPreview() override {
    ScriptWritten();
    return {};
  }

  void AppendRow(const std::string&, const std::string&) override {}
  void SetLastRowTypes(const std::string&, const std::string&) override {}
  void Clear() override {}

  bool ScriptWritten() {
    if (!script_path_) return true;
    if (!scriptError_ && script_ && std::fflush(script_) != 0) scriptError_ = errno;
    return scriptError_ == 0;
  }
  // Why the script could not be written; the partial file is removed (a device such as /dev/full stays).
  std::string ScriptFailure() {
    if (script_) std::fclose(script_);
    script_ = nullptr;
    struct stat st {};
    if (stat(script_path_->c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(script_path_->c_str());
    return "cannot write " + *script_path_ + ": " + std::strerror(scriptError_);
  }

 private:
  void RowProgress(const std::string& table, long long done, long long total) {
    if (!tty_) return;
    const auto now = std::chrono::steady_clock::now();
    if (table != shownTable_) {
      shownTable_ = table;
      tableStart_ = now;
    } else if (now - lastShown_ < std::chrono::milliseconds(200) && done != total) {
      return;
    }
    lastShown_ = now;
    const double secs = std::chrono::duration<double>(now - tableStart_).count();
    const long long rate = secs > 0 ? static_cast<long long>(static_cast<double>(done) / secs) : 0;
    // The table's line, then how far the whole run is.
    const std::string overall = conversion::OverallProgressText(
        table_, tables_, rowsDone_, rowsTotal_, std::chrono::duration<double>(now - runStart_).count());
    std::fprintf(stderr, "\r%s: %lld of %lld rows, %lld rows/s | %s\033[K", table.c_str(), done, total, rate,
                 overall.c_str());
    std::fflush(stderr);
    open_ = true;
  }
  static std::string Flat(std::string s) {
    for (char& c : s)
      if (c == '\r') c = '\n';
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  void EndLine() {
    if (open_) std::cerr << "\n";
    open_ = false;
  }

  std::string overwrite_;
  std::optional<std::string> script_path_;
  std::function<std::string(const std::string&)> prompt_;
  int table_ = 0, tables_ = 0;
  long long rowsDone_ = 0, rowsTotal_ = 0;
  std::chrono::steady_clock::time_point runStart_;
  std::FILE* script_ = nullptr;
  int scriptError_ = 0;
  bool tty_ = false, open_ = false;
  std::string shownTable_;
  std::chrono::steady_clock::time_point tableStart_, lastShown_;
};
