#!/usr/bin/env bash
# The update keys each build trusts, read from the binaries themselves: the
# shipped i686 quorvel.exe (win32 preset, built as shipped) holds the release
# key and not the test key, so a manifest signed with the test key (which
# anyone with the sources has) is refused by the program users get; its
# test twin (tests/test-keys, which the installer's scenario runs) holds
# both, which shows the search finds a key compiled in.
set -euo pipefail

: "${ROOT:?}"
shipped="$ROOT/build/win32/app/quorvel.exe"
tested="$ROOT/build/win32/tests/test-keys/quorvel.exe"
for f in "$shipped" "$tested"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done

# The 64 key bytes as they stand in the program's read-only data.
holds() { # <binary> <key .inc>
  python3 - "$1" "$2" <<'PY'
import re, sys
key = bytes(int(h, 16) for h in re.findall(r"0x([0-9a-fA-F]{2})", open(sys.argv[2]).read()))
assert len(key) == 64, len(key)
sys.exit(0 if key in open(sys.argv[1], "rb").read() else 1)
PY
}

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
release="$ROOT/src/app/keys/update_release_key.inc"
test_key="$ROOT/src/app/keys/update_test_key.inc"
check "the shipped program trusts the release key" holds "$shipped" "$release"
not() { ! "$@"; }
check "the shipped program does not trust the test key" not holds "$shipped" "$test_key"
check "the test build trusts the test key" holds "$tested" "$test_key"
check "and the release key" holds "$tested" "$release"
exit "$fail"
