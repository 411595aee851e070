#include "conversion/SqlTranslate.h"

#include <exception>

#include "conversion/SqlTranslator.h"

namespace conversion {

using sqltext::Token;
using sqltext::Translator;
using sqltext::Untranslated;

namespace {

// What `translate` gives, or nothing with the reason in `why`.
template <class F>
auto Answer(F&& translate, std::string& why) -> std::optional<decltype(translate())> {
  try {
    return translate();
  } catch (const Untranslated& u) {
    why = u.why;
  } catch (const std::exception& e) {
    why = e.what();  // a number too large for the parser, and the like
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> TranslateCheck(const std::string& definition,
                                          const std::function<std::string(const std::string&)>& column,
                                          std::string& why) {
  std::vector<Token> t;
  if (!sqltext::Tokens(definition, t, why)) return std::nullopt;
  if (t.empty()) {
    why = "an empty condition";
    return std::nullopt;
  }
  Translator tr(std::move(t), TypeRules::Firebird);
  tr.column = column;
  return Answer([&] { return tr.CheckCondition(); }, why);
}

std::optional<TranslatedView> TranslateView(const std::string& definition, const std::string& schema,
                                            RelationLookup& lookup, TypeRules rules, std::string& why) {
  std::vector<Token> t;
  if (!sqltext::Tokens(definition, t, why)) return std::nullopt;
  Translator tr(std::move(t), rules);
  tr.lookup = &lookup;
  tr.viewSchema = schema.empty() ? "dbo" : schema;
  return Answer([&] { return tr.View(); }, why);
}

}  // namespace conversion
