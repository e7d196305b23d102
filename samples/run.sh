#!/bin/sh
# The main job of the oxser tool on the sample records: encode each sample,
# check that the bytes equal the committed buffer, show the buffer with
# dump, decode it back and check that the JSON equals the sample.
#
#   samples/run.sh [path/to/oxser]      (default: build/tools/oxser)
#
# The sample JSON files are kept in the form that `oxser decode` prints, so
# "equal" is a plain comparison of the text. Exit status 0 when every
# sample matches, 1 otherwise.
set -u
here=$(cd "$(dirname "$0")" && pwd)
oxser=${1:-build/tools/oxser}
if [ ! -x "$oxser" ]; then
  echo "run.sh: no oxser program at $oxser (build it first, or pass its path)" >&2
  exit 2
fi

# sample file stem : record type
samples="acl:acl_ext_t principal_chain:kyprincipal_chain_t audit_event:oxauditevent_t policy:kypop_t action_group:kyaction_group_t"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for entry in $samples; do
  name=${entry%%:*}
  type=${entry#*:}
  json="$here/$name.json"
  echo "=== $name ($type)"
  if ! "$oxser" encode --type "$type" "$json" -o "$work/$name.ber"; then
    echo "FAIL $name: encode failed"; failed=1; continue
  fi
  if ! cmp -s "$work/$name.ber" "$here/$name.ber"; then
    echo "FAIL $name: the encoding differs from samples/$name.ber"; failed=1
  fi
  if ! "$oxser" dump --type "$type" "$work/$name.ber"; then
    echo "FAIL $name: dump failed"; failed=1; continue
  fi
  if ! "$oxser" decode --type "$type" "$work/$name.ber" -o "$work/$name.json"; then
    echo "FAIL $name: decode failed"; failed=1; continue
  fi
  if diff -u "$json" "$work/$name.json"; then
    echo "ok   $name: encode, dump and decode give back the sample ($(wc -c < "$work/$name.ber") bytes)"
  else
    echo "FAIL $name: the decoded JSON differs from the sample"; failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "run.sh: some samples did not match" >&2
  exit 1
fi
echo "run.sh: every sample matches"
