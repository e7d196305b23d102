// The record reference (docs/records.md), written from the run-time record
// description: every record as the C structure the compiler lays out, its
// ASN.1 and its type name.
#ifndef OXSER_RECORD_DOC_H
#define OXSER_RECORD_DOC_H

#include <string>

#include <oxserutl/record_info.h>

namespace oxser {

// The whole reference as Markdown; `oxser types --markdown` prints it.
// With a record, that record's section alone.
std::string records_markdown(const oxs_record_info* only = nullptr);

}  // namespace oxser

#endif
