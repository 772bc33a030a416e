#!/usr/bin/env bash
# The committed pictures, sounds and help texts are exactly what their
# scripts make: a source edited without regenerating (or a script that is
# no longer deterministic) fails here.
set -euo pipefail

: "${ROOT:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$ROOT/scripts/make-pictures.sh" "$work/pictures" >/dev/null
"$ROOT/scripts/make-sounds.sh" "$work/sounds" >/dev/null
"$ROOT/scripts/make-help.py" "$ROOT/src/app/res/help" "$work/help" >/dev/null

fail=0
compare() { # <made folder> <committed folder> <pattern>
  local made=$1 committed=$2 pattern=$3 n=0 f
  for f in "$made"/$pattern; do
    n=$((n + 1))
    if cmp -s "$f" "$committed/$(basename "$f")"; then
      :
    else
      echo "FAILED: $committed/$(basename "$f") differs from what its script makes"
      fail=1
    fi
  done
  echo "compared $n files $pattern with $committed"
}
compare "$work/pictures" "$ROOT/src/app/res" '*.ico'
compare "$work/pictures" "$ROOT/src/app/res" '*.cur'
compare "$work/pictures" "$ROOT/src/app/res" 'preview.png'
compare "$work/sounds" "$ROOT/dist/res" '*.wav'
compare "$work/help" "$ROOT/dist/res" '*.rtf'
exit $fail
