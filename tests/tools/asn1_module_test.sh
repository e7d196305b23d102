#!/bin/sh
# The ASN.1 module that `oxser asn1` prints, read by another toolchain: asn1c
# compiles it, and the decoder it generates reads every sample buffer (behind
# its envelope) and writes it back in DER to the same octets. Exit 77
# (skipped) without asn1c or a C compiler. The ASN.1 blocks of docs/records.md,
# put together, parse as one module too.
#
#   asn1_module_test.sh OXSER SAMPLES_DIR WORK_DIR
set -eu
oxser=$1 samples=$2 work=$3 cc=${CC:-cc}
command -v asn1c >/dev/null && command -v "$cc" >/dev/null || { echo "no asn1c or no C compiler: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$oxser" asn1 > records.asn1
asn1c -fcompound-names -pdu=all records.asn1 > asn1c.log 2>&1 || { cat asn1c.log; exit 1; }
awk '/^```asn1$/ { on = 1; next } /^```$/ { on = 0 } on' "$samples/../docs/records.md" > blocks.asn1
{ echo "RecordsDoc DEFINITIONS ::= BEGIN"; echo "Int32 ::= INTEGER (-2147483648..2147483647)"; cat blocks.asn1; echo END; } > doc.asn1
asn1c -E doc.asn1 > /dev/null 2> doc.log || { cat doc.log; echo "FAIL docs/records.md: its ASN.1 blocks do not parse"; exit 1; }
"$cc" -O0 -w -I. -DASN_PDU_COLLECTION -DPDU=Uuid -o decoder ./*.c
for entry in acl:acl_ext_t principal_chain:kyprincipal_chain_t audit_event:oxauditevent_t policy:kypop_t \
             action_group:kyaction_group_t; do
  name=${entry%%:*} type=${entry#*:}
  pdu=$(grep -A1 "^-- $type (" records.asn1 | tail -n 1 | cut -d' ' -f1)  # the line after the record's comment
  tail -c +5 "$samples/$name.ber" > "$name.der"
  ./decoder -p "$pdu" -iber -oder "$name.der" > "$name.again" 2> "$name.log" || { cat "$name.log"; exit 1; }
  cmp "$name.der" "$name.again" || { echo "FAIL $name: asn1c's $pdu does not give back the sample"; exit 1; }
  echo "ok   $name: asn1c's $pdu reads the sample and writes the same octets"
done
