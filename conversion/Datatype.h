#pragma once
#include <string>

namespace Datatype {

// The name of an ADO data-type code ("adVarWChar" for 202); "" for a code outside the enumeration.
std::string AdoTypeName(short code);

}  // namespace Datatype
