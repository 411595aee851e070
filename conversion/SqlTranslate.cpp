#include "conversion/SqlTranslate.h"

#include <exception>

#include "conversion/SqlTranslator.h"

namespace conversion {

using sqltext::Token;
using sqltext::Translator;
using sqltext::Untranslated;

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
  try {
    return tr.CheckCondition();
  } catch (const Untranslated& u) {
    why = u.why;
    return std::nullopt;
  } catch (const std::exception& e) {
    why = e.what();  // a number too large for the parser, and the like
    return std::nullopt;
  }
}

std::optional<TranslatedView> TranslateView(const std::string& definition, const std::string& schema,
                                            RelationLookup& lookup, TypeRules rules, std::string& why) {
  std::vector<Token> t;
  if (!sqltext::Tokens(definition, t, why)) return std::nullopt;
  Translator tr(std::move(t), rules);
  tr.lookup = &lookup;
  tr.viewSchema = schema.empty() ? "dbo" : schema;
  try {
    return tr.View();
  } catch (const Untranslated& u) {
    why = u.why;
    return std::nullopt;
  } catch (const std::exception& e) {
    why = e.what();  // a number too large for the parser, and the like
    return std::nullopt;
  }
}

}  // namespace conversion
