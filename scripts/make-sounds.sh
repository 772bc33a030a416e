#!/usr/bin/env bash
# Synthesises the sounds of quorvel.exe into dist/res/ with sox:
#   warning.wav       a monitor fired: two short rising tones
#   Money_Take.wav    an order was placed / a share post arrived: a coin chime
#   Money_Policy.wav  a monitor was saved: a soft two-note bell
# 16-bit PCM mono 22050 Hz, what sndPlaySound plays on every Windows. Only
# pure tones and no dither (-D): the output is the same on every run.
#
# Usage: scripts/make-sounds.sh [output folder]   (default dist/res)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${1:-$ROOT/dist/res}"
mkdir -p "$OUT"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

FORMAT=(-D -r 22050 -c 1 -b 16 -e signed-integer)
sx() { sox -V1 "$@"; }

# note <out> <duration> <sox synth tone> <fade effect...>
note() {
  local out=$1 dur=$2 tone=$3; shift 3
  sx -n "${FORMAT[@]}" "$TMP/$out" synth "$dur" sine "$tone" "$@"
}

# bell <out> <frequency> <duration> <volume> <attack>: a struck bell, its
# fundamental with the bright inharmonic partials of a small bell, dying away;
# a longer attack gives a softer strike.
bell() {
  local out=$1 f=$2 dur=$3 vol=$4 attack=$5
  local p2 p3
  p2=$(awk -v f="$f" 'BEGIN { printf "%.2f", f * 2.76 }')
  p3=$(awk -v f="$f" 'BEGIN { printf "%.2f", f * 5.40 }')
  note "$out.1.wav" "$dur" "$f" fade l "$attack" "$dur" "$dur" vol 1.0
  note "$out.2.wav" "$dur" "$p2" fade l "$attack" "$(awk -v d="$dur" 'BEGIN { print d * 0.45 }')" \
    "$(awk -v d="$dur" 'BEGIN { print d * 0.45 }')" vol 0.35
  note "$out.3.wav" "$dur" "$p3" fade l "$attack" "$(awk -v d="$dur" 'BEGIN { print d * 0.2 }')" \
    "$(awk -v d="$dur" 'BEGIN { print d * 0.2 }')" vol 0.15
  sx -m "$TMP/$out.1.wav" "$TMP/$out.2.wav" "$TMP/$out.3.wav" "${FORMAT[@]}" "$TMP/$out" vol "$vol"
}

# warning.wav: two rising beeps, the second higher, each with a touch of its
# octave so that it cuts through a noisy room. 0.5 s.
note w1a.wav 0.16 660-990 fade q 0.01 0.16 0.04
note w1b.wav 0.16 1320-1980 fade q 0.01 0.16 0.04 vol 0.25
note w2a.wav 0.22 880-1320 fade q 0.01 0.22 0.06
note w2b.wav 0.22 1760-2640 fade q 0.01 0.22 0.06 vol 0.25
sx -m "$TMP/w1a.wav" "$TMP/w1b.wav" "${FORMAT[@]}" "$TMP/w1.wav"
sx -m "$TMP/w2a.wav" "$TMP/w2b.wav" "${FORMAT[@]}" "$TMP/w2.wav" pad 0.08 0.04
sx "$TMP/w1.wav" "$TMP/w2.wav" "${FORMAT[@]}" "$OUT/warning.wav" norm -3

# Money_Take.wav: two quick bright strikes, G6 then C7, ringing together. 1.1 s.
bell c1.wav 1567.98 0.6 1.0 0.004
bell c2.wav 2093.00 1.0 1.0 0.004
sx "$TMP/c2.wav" "${FORMAT[@]}" "$TMP/c2d.wav" pad 0.09
sx -m "$TMP/c1.wav" "$TMP/c2d.wav" "${FORMAT[@]}" "$OUT/Money_Take.wav" norm -4

# Money_Policy.wav: a soft "ding-dong", E5 then C5. 1.3 s.
bell p1.wav 659.26 0.9 1.0 0.015
bell p2.wav 523.25 1.0 1.0 0.015
sx "$TMP/p2.wav" "${FORMAT[@]}" "$TMP/p2d.wav" pad 0.3
sx -m "$TMP/p1.wav" "$TMP/p2d.wav" "${FORMAT[@]}" "$OUT/Money_Policy.wav" lowpass 3000 norm -9

for f in warning Money_Take Money_Policy; do
  printf 'make-sounds: %-17s %s s\n' "$f.wav" "$(soxi -D "$OUT/$f.wav")"
done
