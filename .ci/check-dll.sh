#!/usr/bin/env bash
# Checks a cross-built oxserutl.dll without running it:
#   .ci/check-dll.sh DLL i386|x86-64 [REFERENCE.so]
# - the PE format and machine (PE32 for i386, PE32+ for x86-64);
# - it imports only Windows system DLLs (the GCC, C++ and thread runtimes
#   are linked in);
# - it exports the five functions of every record, the type-code functions
#   and the raw scanners, and nothing of the runtimes it carries;
# - with REFERENCE (the native shared object), the DLL exports the same
#   record, type-code and scanner functions as the native library.
set -euo pipefail
dll=$1 machine=$2 reference=${3:-}
objdump=x86_64-w64-mingw32-objdump
cxxfilt=x86_64-w64-mingw32-c++filt
fail() { echo "check-dll: $dll: $*" >&2; exit 1; }

[ -f "$dll" ] || fail "missing"
case $machine in
  i386) format=pei-i386 magic=010b ;;
  x86-64) format=pei-x86-64 magic=020b ;;
  *) fail "unknown machine $machine" ;;
esac
headers=$($objdump -p "$dll")
$objdump -f "$dll" | grep -q "file format $format\$" || fail "not $format"
grep -Eq "^Magic[[:space:]]+$magic" <<<"$headers" || fail "optional header magic is not $magic"

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort -u)
bad=$(grep -Eiv '^(kernel32|msvcrt|user32|advapi32|ntdll)\.dll$' <<<"$imports" || true)
[ -z "$bad" ] || fail "imports runtime DLLs: $(echo $bad)"

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && NF==0 {exit} on {print $NF}' <<<"$headers")
[ -n "$exports" ] || fail "exports nothing"
leaked=$(grep -E '^(_ZNSt|_ZSt|_ZNKSt|__emutls|pthread_|_Unwind|__gxx|__cxa)' <<<"$exports" || true)
[ -z "$leaked" ] || fail "exports runtime symbols: $(head -3 <<<"$leaked" | tr '\n' ' ')"
demangled=$($cxxfilt <<<"$exports" | sort -u)

for f in tqasn_encode_obj tqasn_decode_obj tqasn_obj_free tqAsnGetType tqAsnGetLength tqAsnGetNullValue \
         tqAsnGetBitstringValue tqAsnGetOIDValue tqAsnGetOctetstringValue; do
  grep -q "^$f\b" <<<"$demangled" || fail "does not export $f"
done
records=$(sed -n 's/^tqAsnEncodeObj(tq_asn_buffer_t&, \([^ ]*\)&)$/\1/p' <<<"$demangled")
[ -n "$records" ] || fail "exports no record functions"
for r in $records; do
  for f in "tqAsnEncodeObjLCS(tq_asn_buffer_t&, $r&)" "tqAsnDecodeObj(tq_asn_buffer_t&, $r&)" \
           "tqAsnDecodeObjLCS(tq_asn_buffer_t&, $r&)" "tqAsnFreeObj($r&)" \
           "tqAsnEncodeObj(tq_asn_buffer_t&, $r const&)" "tqAsnEncodeObjLCS(tq_asn_buffer_t&, $r const&)"; do
    grep -qxF "$f" <<<"$demangled" || fail "does not export $f"
  done
done

api='^(tqAsn|tqasn_)'
if [ -n "$reference" ]; then
  want=$(nm -D --defined-only "$reference" | awk '{print $NF}' | c++filt | grep -E "$api" | sort -u)
  have=$(grep -E "$api" <<<"$demangled" || true)
  difference=$(diff <(echo "$want") <(echo "$have") || true)
  [ -z "$difference" ] || fail "exports differ from $reference:"$'\n'"$difference"
fi
echo "check-dll: $dll: $format, imports $(echo $imports), $(wc -l <<<"$exports") exports," \
     "five functions for each of $(wc -w <<<"$records") records, type-code functions and raw scanners"
