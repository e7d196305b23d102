// liboxserutl: everything a caller uses.
//
//   #include <oxserutl/oxserutl.h>
//
// The ASN.1 runtime (buffers, objects, BER framing, primitive, string and
// composite types, the versioned envelope), and the status codes.
#ifndef OXSERUTL_OXSERUTL_H
#define OXSERUTL_OXSERUTL_H

#include <oxserutl/export.h>
#include <oxserutl/status.h>
#include <oxserutl/asnbase.h>
#include <oxserutl/asnstrng.h>
#include <oxserutl/asnutils.h>
#include <oxserutl/asnchoice.h>
#include <oxserutl/asnscan.h>

#endif
