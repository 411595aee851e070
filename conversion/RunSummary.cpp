#include "conversion/RunSummary.h"

#include "conversion/Names.h"

namespace conversion {

std::string FirstLine(const std::string& text) {
  const size_t nl = text.find('\n');
  return nl == std::string::npos ? text : text.substr(0, nl);
}

std::string Reason(const std::string& text) {
  // Firebird's status opens with its class ("Dynamic SQL Error", "SQL error code = -303"); what went
  // wrong is in the lines after it ("string right truncation", "expected length 5, actual 12").
  std::vector<std::string> lines, specific;
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) {
      lines.push_back(line);
      if (line != "Dynamic SQL Error" && line.rfind("SQL error code = ", 0) != 0) specific.push_back(line);
    }
    start = nl + 1;
  }
  const std::vector<std::string>& kept = specific.empty() ? lines : specific;
  std::string out;
  for (const auto& l : kept) out += (out.empty() ? "" : "; ") + l;
  return out;
}

void RunSummary::Clear() { *this = RunSummary(); }

TableReport& RunSummary::Table(const std::string& source, const std::string& target) {
  tables_.push_back({});
  tables_.back().source = source;
  tables_.back().target = target;
  return tables_.back();
}

void RunSummary::Reject(TableReport& t, long long row, const std::string& reason, const std::string& key) {
  ++t.rejected;
  if (!key.empty()) t.rejectedKeys.insert(key);
  if (t.rejections.size() < kListedRows) t.rejections.emplace_back(row, Reason(reason));
  else ++t.unlisted;
}

void RunSummary::Shortened(const std::string& what, const std::string& from, const std::string& to) {
  (from.size() > kMaxNameBytes ? shortened_ : renamed_).push_back(what + " \"" + from + "\" is \"" + to + "\"");
}

void RunSummary::LeftOut(const std::string& name, const std::string& why) {
  leftOut_.push_back("\"" + name + "\": " + why);
}

void RunSummary::Note(const std::string& text) { notes_.push_back(FirstLine(text)); }

void RunSummary::KeyLeftOut(const std::string& text) { keys_.push_back(text); }

void RunSummary::NotCarried(const std::string& kind, const std::string& name, const std::string& detail) {
  notCarried_.emplace_back(kind, name + (detail.empty() ? "" : ": " + FirstLine(detail)));
}

namespace {
// The kinds of object in the order the summary names them: kind, one, several.
struct Kind {
  const char *kind, *one, *several;
};
constexpr Kind kKinds[] = {
    {"CHECK", "CHECK constraint", "CHECK constraints"},
    {"VIEW", "view", "views"},
    {"PROCEDURE", "procedure", "procedures"},
    {"FUNCTION", "function", "functions"},
    {"TRIGGER", "trigger", "triggers"},
    {"DDL_TRIGGER", "database trigger", "database triggers"},
    {"SYNONYM", "synonym", "synonyms"},
    {"SECURITY_POLICY", "security policy (row-level security)", "security policies (row-level security)"},
    {"XML_SCHEMA_COLLECTION", "XML schema collection", "XML schema collections"},
    {"FULLTEXT_INDEX", "full-text index", "full-text indexes"},
};
}  // namespace

void RunSummary::KeyFailed(const std::string& statement, const std::string& reason) {
  keys_.push_back("not made: " + statement + " " + Reason(reason));
}

long long RunSummary::Rejected() const {
  long long n = 0;
  for (const auto& t : tables_) n += t.rejected;
  return n;
}

void RunSummary::Verified(const std::string& table, const std::string& verdict, const std::vector<std::string>& examples,
                          bool identical) {
  verified_.push_back("Table \"" + table + "\": " + verdict);
  for (const auto& e : examples) verified_.push_back("    " + e);
  if (!identical) verifyDiffers_ = true;
}

bool RunSummary::LostNothing() const {
  if (stopped_ || verifyDiffers_) return false;
  if (!shortened_.empty() || !renamed_.empty() || !leftOut_.empty() || !notes_.empty() || !keys_.empty() ||
      !notCarried_.empty())
    return false;
  for (const auto& t : tables_)
    if (t.rejected || !t.notes.empty()) return false;
  return true;
}

std::string RunSummary::Text() const {
  std::string s = stopped_ ? "Stopped.\n\n" : "";
  const char* done = preview_ ? " put in the script, " : " written, ";
  for (const auto& t : tables_) {
    s += "Table \"" + t.source + "\"";
    if (t.target != t.source) s += " (in Firebird \"" + t.target + "\")";
    if (!t.synced.empty())
      s += ": " + t.synced + (t.rejected ? ", " + std::to_string(t.rejected) + " rejected" : std::string()) + "\n";
    else
      s += ": " + std::to_string(t.read) + " rows read, " + std::to_string(t.written) + done +
           std::to_string(t.rejected) + " rejected\n";
    for (const auto& n : t.notes) s += "    " + n + "\n";
    for (const auto& [row, why] : t.rejections) s += "    row " + std::to_string(row) + ": " + why + "\n";
    if (t.unlisted) s += "    and " + std::to_string(t.unlisted) + " more rejected rows\n";
  }
  if (!shortened_.empty()) {
    s += "\nNames shortened to Firebird's 31 bytes:\n";
    for (const auto& n : shortened_) s += "    " + n + "\n";
  }
  if (!renamed_.empty()) {
    s += "\nNames changed for Firebird (kept apart from another name without regard to letter case, or a NUL "
         "replaced by U+FFFD):\n";
    for (const auto& n : renamed_) s += "    " + n + "\n";
  }
  if (!leftOut_.empty()) {
    s += "\nTables left out:\n";
    for (const auto& n : leftOut_) s += "    " + n + "\n";
  }
  if (!keys_.empty()) {
    s += "\nKeys, indexes, identities and defaults not carried over:\n";
    for (const auto& n : keys_) s += "    " + n + "\n";
  }
  if (!notCarried_.empty()) {
    // "Not carried over: 2 views, 1 procedure", then each by kind.
    std::string counts, lines;
    auto add = [&](const std::string& kind, const char* one, const char* several) {
      size_t n = 0;
      for (const auto& [k, line] : notCarried_) {
        if (k != kind) continue;
        ++n;
        lines += std::string("    ") + one + " " + line + "\n";
      }
      if (n) counts += (counts.empty() ? " " : ", ") + std::to_string(n) + " " + (n == 1 ? one : several);
    };
    for (const Kind& k : kKinds) add(k.kind, k.one, k.several);
    s += "\nNot carried over:" + counts + "\n" + lines;
  }
  if (!notes_.empty()) {
    s += "\nAlso:\n";
    for (const auto& n : notes_) s += "    " + n + "\n";
  }
  if (!verified_.empty()) {
    s += "\nVerified:\n";
    for (const auto& n : verified_) s += "    " + n + "\n";
  }
  return s;
}

}  // namespace conversion
