// liboxserutl: everything a caller uses.
//
//   #include <oxserutl/oxserutl.h>
//
// The ASN.1 runtime (buffers, objects, BER framing, primitive, string,
// composite, choice and open types, the versioned envelope, raw scanners),
// the field adapters, the 62 record structures with their bindings and
// exported functions, the type-code records, the run-time description of
// the records, the status codes and the version.
#ifndef OXSERUTL_OXSERUTL_H
#define OXSERUTL_OXSERUTL_H

#include <oxserutl/export.h>
#include <oxserutl/version.h>
#include <oxserutl/status.h>
#include <oxserutl/buffer.h>
#include <oxserutl/asnbase.h>
#include <oxserutl/asnstrng.h>
#include <oxserutl/asnutils.h>
#include <oxserutl/asnchoice.h>
#include <oxserutl/asnscan.h>
#include <oxserutl/asnsarray.h>
#include <oxserutl/record_functions.h>
#include <oxserutl/records.h>
#include <oxserutl/asn_kyobjs.h>
#include <oxserutl/record_info.h>
#include <oxserutl/explain.h>

#endif
