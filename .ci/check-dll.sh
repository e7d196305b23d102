#!/usr/bin/env bash
# Checks a cross-built oxserutl.dll without running it:
#   .ci/check-dll.sh DLL i386|x86-64 [REFERENCE.so]
# - the PE format and machine (PE32 for i386, PE32+ for x86-64);
# - it imports Windows system DLLs and the shared GCC and C++ runtimes (so
#   that exceptions cross its boundary), and every DLL it needs beyond the
#   system's, directly or through those runtimes, lies beside it: for i386
#   libgcc_s_dw2-1.dll, libstdc++-6.dll and libwinpthread-1.dll, for x86-64
#   libgcc_s_seh-1.dll in place of the first;
# - it exports the five functions of every record, the type-code functions
#   and the raw scanners, and nothing of the runtimes it carries;
# - every free function on C types (the record, type-code, buffer, envelope
#   version and status-name functions) is exported a second time under
#   Microsoft's decorated name, on the same address;
# - with REFERENCE (the native shared object), the DLL exports the same
#   record, type-code and scanner functions as the native library.
set -euo pipefail
dll=$1 machine=$2 reference=${3:-}
objdump=x86_64-w64-mingw32-objdump
cxxfilt=x86_64-w64-mingw32-c++filt
fail() { echo "check-dll: $dll: $*" >&2; exit 1; }

[ -f "$dll" ] || fail "missing"
case $machine in
  i386) format=pei-i386 magic=010b libgcc=libgcc_s_dw2-1.dll ;;
  x86-64) format=pei-x86-64 magic=020b libgcc=libgcc_s_seh-1.dll ;;
  *) fail "unknown machine $machine" ;;
esac
runtimes="$libgcc libstdc++-6.dll libwinpthread-1.dll"
system='^(kernel32|msvcrt|user32|advapi32|ntdll)\.dll$'
imports_of() { $objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u; }
headers=$($objdump -p "$dll")
grep -q "file format $format\$" <<<"$($objdump -f "$dll")" || fail "not $format"
grep -Eq "^Magic[[:space:]]+$magic" <<<"$headers" || fail "optional header magic is not $magic"

imports=$(imports_of "$dll")
for r in $libgcc libstdc++-6.dll; do
  grep -qxF "$r" <<<"$imports" || fail "does not import the shared runtime $r"
done
# The DLLs needed beyond the system's, followed through the ones beside it.
needed="" queue=$(grep -Ev "$system" <<<"$imports" || true)
while [ -n "$queue" ]; do
  next=""
  for d in $queue; do
    grep -qxF "$d" <<<"$needed" && continue
    needed=$(printf '%s\n%s' "$needed" "$d" | sed '/^$/d' | sort -u)
    [ -f "$(dirname "$dll")/$d" ] || fail "needs $d, which is not beside it"
    next="$next $(imports_of "$(dirname "$dll")/$d" | grep -Ev "$system" || true)"
  done
  queue=$next
done
[ "$needed" = "$(tr ' ' '\n' <<<"$runtimes" | sort)" ] || fail "needs $(echo $needed), not exactly $runtimes"

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

# Microsoft's names: every free function on C types is exported under its
# GCC name and under Microsoft's, both on one address, and no Microsoft name
# stands alone. The two are paired by their demangled signatures.
c_api='^(tqAsnEncodeObj|tqAsnEncodeObjLCS|tqAsnDecodeObj|tqAsnDecodeObjLCS|tqAsnFreeObj|tqasn_encode_obj|tqasn_decode_obj|tqasn_obj_free|tqasn_version|tq_asn_buffer_copy|tq_asn_buffer_free|tq_asn_status_name|tq_asn_status_text)\('
addresses=$(awk '/^Export Address Table -- Ordinal Base/ {t=1; next} t && NF==0 {t=0}
                 t && /Export RVA/ {gsub(/[][]/, " "); print $1, $4}' <<<"$headers" | sort -k1,1)
named=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF==0 {exit}
             on {gsub(/[][]/, " "); print $1, $2}' <<<"$headers" | sort -k1,1)
by_name=$(join <(echo "$addresses") <(echo "$named") | awk '{print $3, $2}')
gnu=$(grep -E '^_Z' <<<"$by_name")
gnu_twins=$(paste -d' ' <(cut -d' ' -f1 <<<"$gnu" | $cxxfilt | tr -d ' ') <(cut -d' ' -f2 <<<"$gnu") | grep -E "$c_api" | sort)
ms=$(grep -E '^[?]' <<<"$by_name" || true)
ms_twins=$(paste -d' ' <(cut -d' ' -f1 <<<"$ms" | llvm-undname-14 | sed -n 's/^.*__cdecl //p' |
                         sed 's/struct //g; s/enum //g; s/ __ptr64//g; s/__int64/long long/g; s/ //g') \
                   <(cut -d' ' -f2 <<<"$ms") | sort)
[ -n "$ms_twins" ] || fail "exports no Microsoft names"
difference=$(diff <(echo "$gnu_twins") <(echo "$ms_twins") || true)
[ -z "$difference" ] || fail "GCC names (<) and Microsoft names (>) differ:"$'\n'"$difference"
for r in $records; do
  grep -qF "tqAsnDecodeObjLCS(tq_asn_buffer_t&,$r&) " <<<"$ms_twins" || fail "no Microsoft name for tqAsnDecodeObjLCS($r&)"
done

api='^(tqAsn|tqasn_)'
if [ -n "$reference" ]; then
  # The decode functions over plain bytes take a size_t, whose type differs by platform.
  size_t_of='s/(unsigned char const\*, )unsigned (long long|long|int)/\1size_t/'
  want=$(nm -D --defined-only "$reference" | awk '{print $NF}' | c++filt | grep -E "$api" | sed -E "$size_t_of" | sort -u)
  have=$(grep -E "$api" <<<"$demangled" | sed -E "$size_t_of" | sort -u || true)
  difference=$(diff <(echo "$want") <(echo "$have") || true)
  [ -z "$difference" ] || fail "exports differ from $reference:"$'\n'"$difference"
fi
echo "check-dll: $dll: $format, imports $(echo $imports) (needs $(echo $needed) beside it), $(wc -l <<<"$exports") exports," \
     "five functions for each of $(wc -w <<<"$records") records, type-code functions and raw scanners;" \
     "$(wc -l <<<"$ms_twins") of them also by Microsoft's names"
