// The ASN.1 module of the records, written from the run-time record
// description, so that other ASN.1 toolchains can read the buffers.
#ifndef OXSER_ASN1_MODULE_H
#define OXSER_ASN1_MODULE_H

#include <string>
#include <vector>

#include <oxserutl/record_info.h>

namespace oxser {

// The module text: every record (roots empty) or the given records and the
// records they hold.
std::string asn1_module(const std::vector<const oxs_record_info*>& roots);

// The module's text of each record, in the order of oxs_records: the
// comment that names it, its type assignment and the slot types it is the
// first to use, as asn1_module writes them for all records.
std::vector<std::string> asn1_records();

// A record's type reference in the module ("acl_ext_t" is AclExt).
std::string asn1_type_name(const oxs_record_info& info);

// A pattern of the kind table (oxs_kinds) filled in for the field f: {f}
// its name, {count} its count or length field, {N} its fixed size and {S}
// the given element text.
std::string kind_text(const char* pattern, const oxs_field_info& f, const std::string& element = {});

}  // namespace oxser

#endif
