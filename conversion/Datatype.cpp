#include "conversion/Datatype.h"

#include "connectivity/core/AdoTypes.h"

namespace Datatype {

std::string AdoTypeName(short code) {
  switch (code) {
    case ado::adEmpty: return "adEmpty";
    case ado::adSmallInt: return "adSmallInt";
    case ado::adInteger: return "adInteger";
    case ado::adSingle: return "adSingle";
    case ado::adDouble: return "adDouble";
    case ado::adCurrency: return "adCurrency";
    case ado::adDate: return "adDate";
    case ado::adBSTR: return "adBSTR";
    case ado::adIDispatch: return "adIDispatch";
    case ado::adError: return "adError";
    case ado::adBoolean: return "adBoolean";
    case ado::adVariant: return "adVariant";
    case ado::adIUnknown: return "adIUnknown";
    case ado::adDecimal: return "adDecimal";
    case ado::adTinyInt: return "adTinyInt";
    case ado::adUnsignedTinyInt: return "adUnsignedTinyInt";
    case ado::adUnsignedSmallInt: return "adUnsignedSmallInt";
    case ado::adUnsignedInt: return "adUnsignedInt";
    case ado::adBigInt: return "adBigInt";
    case ado::adUnsignedBigInt: return "adUnsignedBigInt";
    case ado::adFileTime: return "adFileTime";
    case ado::adGUID: return "adGUID";
    case ado::adBinary: return "adBinary";
    case ado::adChar: return "adChar";
    case ado::adWChar: return "adWChar";
    case ado::adNumeric: return "adNumeric";
    case ado::adUserDefined: return "adUserDefined";
    case ado::adDBDate: return "adDBDate";
    case ado::adDBTime: return "adDBTime";
    case ado::adDBTimeStamp: return "adDBTimeStamp";
    case ado::adChapter: return "adChapter";
    case ado::adPropVariant: return "adPropVariant";
    case ado::adVarNumeric: return "adVarNumeric";
    case ado::adVarChar: return "adVarChar";
    case ado::adLongVarChar: return "adLongVarChar";
    case ado::adVarWChar: return "adVarWChar";
    case ado::adLongVarWChar: return "adLongVarWChar";
    case ado::adVarBinary: return "adVarBinary";
    case ado::adLongVarBinary: return "adLongVarBinary";
    default: return {};
  }
}

}  // namespace Datatype
