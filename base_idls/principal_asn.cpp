// Record bindings of the module base_idls/principal_asn.
//
// Generated from the module's rows in <oxserutl/record_schema.h>; the
// behaviour of each field kind is in binding_impl.h.
#define OXS_SOURCE "base_idls/principal_asn"
#include "binding_impl.h"

OXS_MODULE_principal_asn(OXS_IMPLEMENT_RECORD)
