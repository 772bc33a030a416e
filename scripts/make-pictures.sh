#!/usr/bin/env bash
# Draws every picture of quorvel.exe into src/app/res/: the program icon, the
# monitor-list row icons, state, toolbar, tray and level icons and the finder
# cursor, plus preview.png, a contact sheet of all of them at 4x.
#
# Every picture is described once in a 16x16 design grid (integer coordinates
# are pixel centres, as in ImageMagick's draw) and rendered at each size it
# ships in; at 16 px the shapes sit on whole pixels so that they stay sharp.
# The output is deterministic: no time stamps, no random numbers.
#
# Usage: scripts/make-pictures.sh [output folder]   (default src/app/res)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${1:-$ROOT/src/app/res}"
mkdir -p "$OUT"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

IM=convert
command -v magick >/dev/null 2>&1 && IM="magick"

# --- colours -----------------------------------------------------------------
WHITE='#ffffff'
BLUE_TOP='#4a94e6'; BLUE_BOTTOM='#1c4f97'; BLUE_EDGE='#163f7a'
ALERT_TOP='#ffc247'; ALERT_BOTTOM='#e2620b'; ALERT_EDGE='#a4440a'
BADGE='#ff6d00'; BADGE_EDGE='#ffffff'
# One tile colour per monitor kind (red rises and green falls on this market).
KIND_FILL=(x '#c8322f' '#2f6cc0' '#7f8994' '#7547b8' '#23924a' '#0f8f9c' '#b7791f')
KIND_EDGE=(x '#8e1f1d' '#1d4a8c' '#59616a' '#512f85' '#176833' '#0a6570' '#7f5212')

# --- drawing helpers ---------------------------------------------------------

# render <out.png> <size> <mvg>: draws MVG given in the 16-unit grid at <size>
# pixels. The affine maps pixel centres of the grid onto pixel centres of the
# larger picture (x' = f*x + (f-1)/2).
render() {
  local out=$1 size=$2 mvg=$3
  local f off
  f=$(awk -v s="$size" 'BEGIN { printf "%.6f", s / 16 }')
  off=$(awk -v s="$size" 'BEGIN { printf "%.6f", (s / 16 - 1) / 2 }')
  $IM -size "${size}x${size}" xc:none \
    -draw "affine $f,0,0,$f,$off,$off $mvg" \
    -define png:exclude-chunk=date,time "PNG32:$out"
}

# tile <fill> <edge>: the rounded square behind kind glyphs, with a soft sheen.
tile() {
  echo "stroke '$2' stroke-width 1 fill '$1' roundrectangle 0,0 15,15 3,3
        stroke none fill 'rgba(255,255,255,0.22)' roundrectangle 1,1 14,6 2,2"
}

# badge: the orange mark of a monitor that has fired (bottom right).
badge() {
  echo "stroke '$BADGE_EDGE' stroke-width 1 fill '$BADGE' circle 12,12 12,8.2
        stroke none fill '$WHITE' rectangle 12,9.6 12,11.4 rectangle 12,13 12,13.6"
}

# Kind glyphs, white on the tile.
glyph_kind1() { # trailing take-profit: a rise to a peak, then the fall that sells
  echo "stroke '$WHITE' stroke-width 2 fill none stroke-linejoin round stroke-linecap round
        polyline 2.5,12 7,3.5 10.5,9.5
        stroke none fill '$WHITE' polygon 8.4,10.8 13.6,13 12.6,7.4"
}
glyph_kind2() { # price level: the yuan sign
  echo "stroke '$WHITE' stroke-width 2 fill none stroke-linecap square
        line 4,3 7.5,7.5 line 11,3 7.5,7.5 line 7.5,7.5 7.5,13
        stroke-width 1 line 4,8.5 11,8.5 line 4,11 11,11"
}
glyph_kind3() { # buy-and-sell pair: two opposite arrows
  echo "stroke '$WHITE' stroke-width 2 fill none line 3,4.5 9,4.5 line 6,10.5 12,10.5
        stroke none fill '$WHITE' polygon 9,1.5 13,4.5 9,7.5 polygon 6,7.5 2,10.5 6,13.5"
}
glyph_kind4() { # time of day: a clock face
  echo "stroke none fill '$WHITE' circle 7.5,7.5 7.5,1.8
        fill '${KIND_FILL[4]}' rectangle 7,3.5 8,8 rectangle 7,7 11,8"
}
glyph_kind5() { # conditional stop-loss: a fall onto its floor
  echo "stroke '$WHITE' stroke-width 2 fill none line 7.5,2 7.5,7
        stroke none fill '$WHITE' polygon 3.5,6.5 11.5,6.5 7.5,10.5 rectangle 3,12 12,13"
}
glyph_kind6() { # limit-price rebound: down, then back up
  echo "stroke '$WHITE' stroke-width 2 fill none stroke-linejoin round stroke-linecap round
        polyline 2.5,3.5 7,12 10.5,6
        stroke none fill '$WHITE' polygon 8.4,4.7 13.6,2.5 12.6,8.1"
}
glyph_kind7() { # index: a bar chart
  echo "stroke none fill '$WHITE' rectangle 3,8 4,12 rectangle 7,5 8,12 rectangle 11,2 12,12
        rectangle 2,13 13,13"
}

state_start() { # running: a green play button
  echo "stroke '#1b7a30' stroke-width 1 fill '#2ea64a' circle 7.5,7.5 7.5,0.5
        stroke none fill 'rgba(255,255,255,0.25)' ellipse 7.5,4.5 5,2.5 0,360
        fill '$WHITE' polygon 5.5,3.8 12,7.5 5.5,11.2"
}
state_stop() { # stopped: a red square
  echo "stroke '#9b1f18' stroke-width 1 fill '#db3b2e' roundrectangle 1.5,1.5 13.5,13.5 2,2
        stroke none fill 'rgba(255,255,255,0.25)' roundrectangle 2.5,2.5 12.5,6.5 1.5,1.5"
}
state_triggered() { # fired: a lightning bolt
  echo "stroke '#9a5200' stroke-width 1 stroke-linejoin round fill '#ffc21a'
        polygon 10,0.5 2.5,8.5 7,8.5 4.5,14.8 12.8,6 8.3,6 11.8,0.5"
}

tb_showstock() { # share a stock: a speech bubble with a rising line
  echo "stroke '#1d4a8c' stroke-width 1 fill '$WHITE' stroke-linejoin round
        path 'M 3,1.5 L 12,1.5 Q 14.5,1.5 14.5,4 L 14.5,8 Q 14.5,10.5 12,10.5 L 7.5,10.5 L 3.5,14.5 L 4,10.5 L 3,10.5 Q 0.5,10.5 0.5,8 L 0.5,4 Q 0.5,1.5 3,1.5 Z'
        stroke '#d2302c' stroke-width 1.6 fill none stroke-linecap round
        polyline 3.5,8 6,5.5 8,7 11.5,3.8"
}
tb_refresh() { # refresh: a circular arrow
  echo "stroke '#238a3e' stroke-width 2 fill none stroke-linecap round
        path 'M 2.5,8 A 5,5 0 1,0 7,3'
        stroke none fill '#238a3e' polygon 4,3 8.5,-0.5 8.5,6.5"
}

program_icon() { # a watchful rising chart on a blue tile; $1 $2 $3 tile colours
  echo "stroke '$3' stroke-width 1 fill '$1' roundrectangle 0,0 15,15 3,3
        stroke none fill '$2' roundrectangle 1,8 14,14 2,2 rectangle 1,8 14,10
        fill 'rgba(255,255,255,0.18)' roundrectangle 1,1 14,6 2,2
        stroke 'rgba(255,255,255,0.35)' stroke-width 0.5 line 2,12.5 13.5,12.5 line 2,9.5 13.5,9.5 line 2,6.5 13.5,6.5
        stroke '$WHITE' stroke-width 1.8 fill none stroke-linejoin round stroke-linecap round
        polyline 2.5,12 5.5,8.5 8,10.5 11.5,5
        stroke none fill '$WHITE' polygon 9.6,4.4 13.8,2.2 13.2,6.9
        fill '#ffd23f' circle 5.5,8.5 5.5,7.3"
}

# level <n>: a gem that grows and changes colour with the level.
level() {
  local n=$1
  if [ "$n" -eq 0 ]; then
    echo "stroke '#8a929b' stroke-width 1 fill 'rgba(200,205,210,0.5)' polygon 7.5,3.5 11.5,7.5 7.5,11.5 3.5,7.5"
    return
  fi
  local fill edge shine h
  if [ "$n" -le 3 ]; then fill='#d08a3c'; edge='#85501a'; shine='#f2c48a'
  elif [ "$n" -le 6 ]; then fill='#3f8ee0'; edge='#1b4f96'; shine='#a9d2ff'
  else fill='#f2b705'; edge='#9a6a00'; shine='#fff0a0'; fi
  h=$(awk -v n="$n" 'BEGIN { printf "%.2f", 3.5 + (n - 1) * 0.5 }')
  awk -v h="$h" -v f="$fill" -v e="$edge" -v s="$shine" 'BEGIN {
    c = 7.5
    printf "stroke \x27%s\x27 stroke-width 1 stroke-linejoin round fill \x27%s\x27 ", e, f
    printf "polygon %.2f,%.2f %.2f,%.2f %.2f,%.2f %.2f,%.2f ", c, c - h, c + h, c, c, c + h, c - h, c
    printf "stroke none fill \x27%s\x27 polygon %.2f,%.2f %.2f,%.2f %.2f,%.2f", s, c, c - h + 1.2, c, c, c - h + 1.2, c
  }'
}

# speed <class>: five rising bars; the class (1 very slow .. 5 very fast)
# fills that many in its colour, class 0 (no measurement yet) none.
speed() {
  local n=$1 fill
  case "$n" in
    5|4) fill='#23924a' ;;
    3) fill='#d9a400' ;;
    *) fill='#c8322f' ;;
  esac
  awk -v n="$n" -v f="$fill" 'BEGIN {
    for (i = 1; i <= 5; i++) {
      x = (i - 1) * 3; top = 14 - i * 2.5
      printf "stroke none fill \x27%s\x27 rectangle %d,%.1f %d,14 ", (i <= n ? f : "#b4b9bf"), x, top, x + 1
    }
  }'
}

finder_cursor() { # 32x32 crosshair, drawn directly at 32 px; hot spot 16,16
  echo "stroke '$WHITE' stroke-width 3 fill none circle 16,16 16,6
        line 16,1 16,11 line 16,21 16,31 line 1,16 11,16 line 21,16 31,16
        stroke '#000000' stroke-width 1 circle 16,16 16,6
        line 16,1 16,12 line 16,20 16,31 line 1,16 12,16 line 20,16 31,16
        stroke none fill '#000000' rectangle 16,16 16,16"
}

# --- pictures ----------------------------------------------------------------

ico() { # ico <name> <png>...: one icon file from the rendered sizes
  local name=$1; shift
  $IM "$@" "ICO:$OUT/$name"
}

# Program icon and tray frames.
for s in 16 32 48; do
  render "$TMP/quorvel_$s.png" "$s" "$(program_icon "$BLUE_TOP" "$BLUE_BOTTOM" "$BLUE_EDGE")"
done
ico quorvel.ico "$TMP/quorvel_16.png" "$TMP/quorvel_32.png" "$TMP/quorvel_48.png"

cp "$TMP/quorvel_16.png" "$TMP/tray0_16.png"
render "$TMP/tray1_16.png" 16 "$(program_icon "$BLUE_TOP" "$BLUE_BOTTOM" "$BLUE_EDGE")
  stroke '$WHITE' stroke-width 1 fill '$BADGE' circle 12.5,3 12.5,0.5"
render "$TMP/tray2_16.png" 16 "$(program_icon "$ALERT_TOP" "$ALERT_BOTTOM" "$ALERT_EDGE")"
render "$TMP/tray3_16.png" 16 "$(program_icon "$BLUE_TOP" "$BLUE_BOTTOM" "$BLUE_EDGE")
  stroke '$WHITE' stroke-width 1 fill '$BADGE' circle 11.5,3.5 11.5,-0.5"
for i in 0 1 2 3; do ico "tray$i.ico" "$TMP/tray${i}_16.png"; done

# Row icons by monitor kind, normal and fired.
for k in 1 2 3 4 5 6 7; do
  mvg="$(tile "${KIND_FILL[$k]}" "${KIND_EDGE[$k]}") $(glyph_kind$k)"
  render "$TMP/kind${k}_16.png" 16 "$mvg"
  render "$TMP/kind${k}_fired_16.png" 16 "$mvg $(badge)"
  ico "kind$k.ico" "$TMP/kind${k}_16.png"
  ico "kind${k}_fired.ico" "$TMP/kind${k}_fired_16.png"
done

# State icons.
for st in start stop triggered; do
  render "$TMP/state_${st}_16.png" 16 "$(state_$st)"
  ico "state_$st.ico" "$TMP/state_${st}_16.png"
done

# Toolbar pictures, 16 and 24 px.
tb() { # tb <name> <mvg>
  render "$TMP/tb_$1_16.png" 16 "$2"
  render "$TMP/tb_$1_24.png" 24 "$2"
  ico "tb_$1.ico" "$TMP/tb_$1_16.png" "$TMP/tb_$1_24.png"
}
tb start "$(state_start)"
tb stop "$(state_stop)"
tb payoff "$(tile "${KIND_FILL[1]}" "${KIND_EDGE[1]}") $(glyph_kind1)"
tb losslimit "$(tile "${KIND_FILL[5]}" "${KIND_EDGE[5]}") $(glyph_kind5)"
tb price "$(tile "${KIND_FILL[2]}" "${KIND_EDGE[2]}") $(glyph_kind2)"
tb time "$(tile "${KIND_FILL[4]}" "${KIND_EDGE[4]}") $(glyph_kind4)"
tb showstock "$(tb_showstock)"
tb refresh "$(tb_refresh)"

# Level icons.
for n in 0 1 2 3 4 5 6 7 8 9; do
  render "$TMP/level${n}_16.png" 16 "$(level "$n")"
  ico "level$n.ico" "$TMP/level${n}_16.png"
done

# Speed pictures of the network delay, classes 0 to 5.
for n in 0 1 2 3 4 5; do
  render "$TMP/speed${n}_16.png" 16 "$(speed "$n")"
  ico "speed$n.ico" "$TMP/speed${n}_16.png"
done

# Finder cursor: an icon file turned into a cursor file (type 2), whose
# directory entry carries the hot spot where an icon has planes and bit count.
$IM -size 32x32 xc:none -draw "$(finder_cursor)" -define png:exclude-chunk=date,time "PNG32:$TMP/finder_32.png"
$IM "$TMP/finder_32.png" "ICO:$TMP/finder.ico"
python3 - "$TMP/finder.ico" "$OUT/finder.cur" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
reserved, kind, count = struct.unpack_from('<HHH', data, 0)
assert reserved == 0 and kind == 1 and count == 1, 'expected one icon image'
struct.pack_into('<H', data, 2, 2)              # type: cursor
struct.pack_into('<HH', data, 6 + 4, 16, 16)    # hot spot x, y
open(sys.argv[2], 'wb').write(data)
EOF

# --- contact sheet -----------------------------------------------------------
# One row per group; each cell shows the picture at 4x (nearest neighbour) on
# a light and on a dark ground, with its name below.
cell() { # cell <name>
  local w
  w=$(identify -format '%w' "$TMP/$1.png")
  w=$(( w * 8 > 136 ? w * 8 : 136 ))
  $IM "$TMP/$1.png" -filter point -resize 400% \
    \( +clone -background '#f4f4f4' -flatten \) \( -clone 0 -background '#3a3a3a' -flatten \) \
    -delete 0 +append +repage -background '#d8dde3' -gravity north -extent "${w}x" +repage \
    -gravity south -splice 0x16 -font DejaVu-Sans -pointsize 11 -fill '#202020' -annotate +0+2 "$1" \
    -gravity center -bordercolor '#d8dde3' -border 4 "PNG32:$TMP/cell_$1.png"
  echo "$TMP/cell_$1.png"
}
row() { # row <out> <name>...
  local out=$1; shift
  local cells=()
  for n in "$@"; do cells+=("$(cell "$n")"); done
  $IM "${cells[@]}" -background '#d8dde3' -gravity north +append "PNG32:$out"
}
row "$TMP/row1.png" quorvel_48 quorvel_32 quorvel_16 tray0_16 tray1_16 tray2_16 tray3_16 finder_32
row "$TMP/row2.png" kind1_16 kind2_16 kind3_16 kind4_16 kind5_16 kind6_16 kind7_16 \
  state_start_16 state_stop_16 state_triggered_16
row "$TMP/row3.png" kind1_fired_16 kind2_fired_16 kind3_fired_16 kind4_fired_16 kind5_fired_16 \
  kind6_fired_16 kind7_fired_16
row "$TMP/row4.png" tb_start_16 tb_stop_16 tb_payoff_16 tb_losslimit_16 tb_price_16 tb_time_16 \
  tb_showstock_16 tb_refresh_16
row "$TMP/row5.png" tb_start_24 tb_stop_24 tb_payoff_24 tb_losslimit_24 tb_price_24 tb_time_24 \
  tb_showstock_24 tb_refresh_24
row "$TMP/row6.png" level0_16 level1_16 level2_16 level3_16 level4_16 level5_16 level6_16 \
  level7_16 level8_16 level9_16
row "$TMP/row7.png" speed0_16 speed1_16 speed2_16 speed3_16 speed4_16 speed5_16
$IM "$TMP"/row[1-7].png -background '#d8dde3' -gravity west -append \
  -define png:exclude-chunk=date,time "PNG32:$OUT/preview.png"
echo "make-pictures: wrote $(ls "$OUT"/*.ico | wc -l) icons, finder.cur and preview.png into $OUT"
