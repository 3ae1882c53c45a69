#!/usr/bin/env bash
# Draws the product artwork and the two sounds from Debian tools (ImageMagick 6,
# sox, DejaVu fonts). The generated files are committed, so a build never runs
# this; run it again after changing the look:  resources/make_resources.sh
#
#   sounds/<folder>/   the resource folder of each skin layout: logos, mode-page
#                      pictures, window skin "main.bmp", window and bottom buttons
#   sounds/done.wav, sounds/fail.wav
#   window/            pictures of the class and format buttons (compiled into
#                      the program) and the application icon
#   ../packaging/icons/  the icon's smaller sizes
set -euo pipefail
cd "$(dirname "$0")"

CONVERT=/usr/bin/convert  # /usr/local/bin may hold a stand-in of the same name
[ -x "$CONVERT" ] || CONVERT=convert
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
BOLD=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# The palette.
NAVY='#1d2b45'
NAVY2='#2c4470'
ORANGE='#f08a24'
ORANGE2='#ffb45e'
PAGE='#f7f8fb'
LINE='#b9c2d3'
INK='#22303f'
VIDEO='#3d72c4'
DEVICE='#2f9a6a'
AUDIO='#8a4fc0'

# Every file is written without time stamps, so a second run changes nothing.
im() {
    local args=("$@")
    local out=${args[-1]}
    unset 'args[-1]'
    "$CONVERT" "${args[@]}" -define png:exclude-chunks=date,time +set date:create +set date:modify "$out"
}

SOUNDS=sounds
WINDOW=window
mkdir -p "$SOUNDS" "$WINDOW"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# --- the mark: an orange tile with two film strips joined into one arrow -------
mark() {  # size out
    local s=$1 out=$2
    im -size "${s}x${s}" xc:none \
        -fill "$ORANGE" -draw "roundrectangle 0,0 $((s - 1)),$((s - 1)) $((s / 5)),$((s / 5))" \
        -fill white -draw "polygon $((s * 30 / 100)),$((s * 24 / 100)) $((s * 30 / 100)),$((s * 76 / 100)) $((s * 78 / 100)),$((s / 2))" \
        -fill "$ORANGE" -draw "rectangle $((s * 18 / 100)),$((s * 46 / 100)) $((s * 58 / 100)),$((s * 54 / 100))" \
        -fill white -draw "rectangle $((s * 14 / 100)),$((s * 24 / 100)) $((s * 22 / 100)),$((s * 76 / 100))" \
        "$out"
}
mark 256 "$WINDOW/orvane-video-joiner.png"
# The icon's smaller sizes for the desktop's icon theme (the package's hicolor).
mkdir -p ../packaging/icons
for s in 16 22 24 32 48 64 128; do mark $s "../packaging/icons/${s}x${s}.png"; done
mark 30 "$TMP/mark30.png"
mark 96 "$TMP/mark96.png"

# --- logos ----------------------------------------------------------------------
im -size 300x34 xc:none "$TMP/mark30.png" -geometry +0+2 -composite \
    -font "$BOLD" -pointsize 19 -fill white -annotate +38+24 "Orvane" \
    -font "$FONT" -pointsize 19 -fill "$ORANGE2" -annotate +122+24 "Video Joiner" \
    "$TMP/toplogo.png"

im -size 180x420 gradient:"$NAVY2"-"$NAVY" \
    \( -size 180x420 xc:none -fill 'rgba(255,255,255,0.06)' \
       -draw "circle 150,380 150,250" -draw "circle 20,60 20,-20" \) -composite \
    "$TMP/mark96.png" -geometry +42+40 -composite \
    -font "$BOLD" -pointsize 24 -fill white -gravity north -annotate +0+150 "Orvane" \
    -font "$FONT" -pointsize 17 -fill "$ORANGE2" -annotate +0+182 "Video Joiner" \
    -fill 'rgba(255,255,255,0.35)' -draw "rectangle 40,220 140,221" \
    -font "$FONT" -pointsize 12 -fill '#d5def0' \
    -annotate +0+236 "Join video and audio" -annotate +0+254 "files into one" \
    -annotate +0+284 "27 formats" -annotate +0+302 "201 presets" \
    -annotate +0+332 "Download videos" -annotate +0+350 "by their links" \
    -gravity northwest \
    \( -size 180x420 xc:none -fill white -draw "roundrectangle 0,0 179,419 10,10" \) \
    -compose DstIn -composite -compose Over \
    "$TMP/leftlogo.png"

# --- the two mode-page pictures -------------------------------------------------
# A browser window with a video and a download arrow.
im -size 250x150 xc:none \
    -fill white -stroke "$LINE" -draw "roundrectangle 0,0 249,149 10,10" -stroke none \
    -fill "$NAVY" -draw "roundrectangle 1,1 248,26 9,9" -draw "rectangle 1,14 248,26" \
    -fill '#ff6b5e' -draw "circle 14,13 18,13" -fill '#ffc247' -draw "circle 28,13 32,13" -fill '#4cd07d' -draw "circle 42,13 46,13" \
    -fill '#e4e9f2' -draw "roundrectangle 58,7 238,20 6,6" \
    -font "$FONT" -pointsize 9 -fill '#56657a' -annotate +66+17 "http://video site/watch?v=..." \
    -fill '#263a5e' -draw "roundrectangle 16,36 150,118 6,6" \
    -fill white -draw "polygon 72,60 72,94 100,77" \
    -fill '#44587c' -draw "rectangle 22,110 144,112" -fill "$ORANGE" -draw "rectangle 22,110 96,112" \
    -fill "$ORANGE" -draw "roundrectangle 168,40 232,104 10,10" \
    -fill white -draw "rectangle 194,52 206,76" -draw "polygon 184,74 216,74 200,92" \
    -fill "$INK" -font "$BOLD" -pointsize 13 -annotate +16+139 "Download video" \
    -fill '#56657a' -font "$FONT" -pointsize 11 -annotate +146+139 "from links" \
    "$TMP/downloadyoutube.png"

# Film strips joined into one output file.
strip() {  # x y colour
    echo "-fill $3 -draw \"roundrectangle $1,$2 $(($1 + 54)),$(($2 + 30)) 4,4\"" \
        "-fill white -draw \"rectangle $(($1 + 5)),$(($2 + 4)) $(($1 + 9)),$(($2 + 7))\"" \
        "-draw \"rectangle $(($1 + 45)),$(($2 + 4)) $(($1 + 49)),$(($2 + 7))\"" \
        "-draw \"rectangle $(($1 + 5)),$(($2 + 23)) $(($1 + 9)),$(($2 + 26))\"" \
        "-draw \"rectangle $(($1 + 45)),$(($2 + 23)) $(($1 + 49)),$(($2 + 26))\""
}
eval im -size 250x150 xc:none \
    -fill white -stroke "'$LINE'" -draw "'roundrectangle 0,0 249,149 10,10'" -stroke none \
    "$(strip 14 14 "'$VIDEO'")" "$(strip 14 52 "'$DEVICE'")" "$(strip 14 90 "'$AUDIO'")" \
    -stroke "'$ORANGE'" -strokewidth 4 -fill none \
    -draw "'line 72,29 106,66'" -draw "'line 72,67 106,67'" -draw "'line 72,105 106,68'" \
    -stroke none -fill "'$ORANGE'" -draw "'polygon 104,56 104,78 120,67'" \
    -fill "'$NAVY'" -draw "'roundrectangle 126,34 236,100 8,8'" \
    -fill white -font "$BOLD" -pointsize 12 -annotate +136+60 "'Output_Merge'" \
    -fill "'$ORANGE2'" -font "$FONT" -pointsize 11 -annotate +136+80 "'.mp4 .avi .mp3'" \
    -fill "'$INK'" -font "$BOLD" -pointsize 13 -annotate +14+139 "'Convert and join'" \
    -fill "'#56657a'" -font "$FONT" -pointsize 11 -annotate +146+139 "'local files'" \
    "$TMP/youtubeconvert.png"

# --- window and bottom buttons ---------------------------------------------------
winbutton() {  # glyph state(1..3) out  (glyph: min | close)
    local glyph=$1 state=$2 out=$3 bg fg
    case $state in
        1) bg='rgba(255,255,255,0.10)'; fg='#dfe6f3' ;;
        2) bg=$([ "$glyph" = close ] && echo '#d8413a' || echo '#46618f'); fg=white ;;
        3) bg=$([ "$glyph" = close ] && echo '#a8302b' || echo '#2a3e63'); fg=white ;;
    esac
    local draw
    if [ "$glyph" = min ]; then
        draw="rectangle 9,13 18,14"
    else
        draw="line 9,6 18,15 line 18,6 9,15"
    fi
    im -size 28x22 xc:"$NAVY" -fill "$bg" -draw "roundrectangle 0,0 27,21 4,4" \
        -stroke "$fg" -strokewidth 2 -fill "$fg" -draw "$draw" "BMP3:$out"
}
bottombutton() {  # state(1..4) out
    local state=$1 out=$2 top bottom border
    case $state in
        1) top='#ffffff'; bottom='#dfe5ef'; border='#8f9db5' ;;
        2) top='#fff3e6'; bottom='#ffd9ad'; border="$ORANGE" ;;
        3) top='#f5c38c'; bottom='#ffe3c2'; border='#c86d12' ;;
        4) top='#eeeeee'; bottom='#e2e2e2'; border='#c4c4c4' ;;
    esac
    im -size 90x30 xc:"$NAVY" \
        \( -size 88x28 gradient:"$top"-"$bottom" \) -geometry +1+1 -composite \
        -fill none -stroke "$border" -draw "roundrectangle 0,0 89,29 6,6" \
        \( -size 90x30 xc:black -fill white -draw "roundrectangle 0,0 89,29 6,6" \) \
        -alpha off -compose CopyOpacity -composite -compose Over \
        -background "$NAVY" -flatten "BMP3:$out"
}

# --- the window skins ----------------------------------------------------------
# skin: folder width height pageX pageY titleY bottomBandY dark
skin() {
    local folder=$1 w=$2 h=$3 px=$4 py=$5 ty=$6 by=$7 dark=$8
    local dir="$SOUNDS/$folder" body band title_bg
    mkdir -p "$dir"
    if [ "$dark" = 1 ]; then body='#2a2f38'; band='#1b1f26'; title_bg='#2a2f38'; else body='#e9edf4'; band="$NAVY"; title_bg='#e9edf4'; fi
    local topband=$((ty - 4))
    # The outline: rounded corners outside of which everything is magenta.
    im -size "${w}x${h}" xc:'#ff00ff' +antialias \
        -fill "$body" -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) 14,14" \
        -fill "$band" -draw "roundrectangle 0,0 $((w - 1)),$topband 14,14" -draw "rectangle 0,14 $((w - 1)),$topband" \
        -fill "$ORANGE" -draw "rectangle 0,$((topband + 1)) $((w - 1)),$((topband + 2))" \
        -fill "$title_bg" -draw "rectangle 0,$((topband + 3)) $((w - 1)),$((py - 3))" \
        -fill "$LINE" -draw "rectangle $((px - 2)),$((py - 2)) $((px + 546)),$((py + 426))" \
        -fill "$PAGE" -draw "rectangle $((px - 1)),$((py - 1)) $((px + 545)),$((py + 425))" \
        -fill "$band" -draw "roundrectangle 0,$by $((w - 1)),$((h - 1)) 14,14" -draw "rectangle 0,$by $((w - 1)),$((h - 15))" \
        -alpha off "$TMP/main.png"
    # The bottom band and the outside stay crisp; only magenta is transparent.
    im "$TMP/main.png" -type Palette "BMP3:$dir/main.bmp"
    cp "$TMP/toplogo.png" "$TMP/leftlogo.png" "$TMP/downloadyoutube.png" "$TMP/youtubeconvert.png" "$dir/"
    for s in 1 2 3; do
        winbutton min $s "$dir/min_$s.bmp"
        winbutton close $s "$dir/close_$s.bmp"
    done
    for s in 1 2 3 4; do bottombutton $s "$dir/bottom_$s.bmp"; done
}
# Bottom bands start below the page area so that the bottom buttons sit on them.
skin default 772 552 203 74 43 504 0
skin skin1 830 608 240 110 70 558 0
skin skin2 772 556 198 74 43 507 0
skin skin3 772 558 203 74 55 509 1

# --- class and format button pictures ----------------------------------------------
classbutton() {  # name colour glyph out selected
    local name=$1 col=$2 out=$4 sel=$5 bg fg border
    if [ "$sel" = 1 ]; then bg="$col"; fg=white; border="$col"; else bg=white; fg="$INK"; border="$LINE"; fi
    im -size 165x30 xc:none -fill "$bg" -stroke "$border" -draw "roundrectangle 0,0 164,29 6,6" -stroke none \
        -fill "$([ "$sel" = 1 ] && echo white || echo "$col")" -draw "$3" \
        -font "$BOLD" -pointsize 13 -fill "$fg" -annotate +44+20 "$name" "$out"
}
for sel in 0 1; do
    sfx=$([ $sel = 1 ] && echo _sel || true)
    classbutton "Video" "$VIDEO" "roundrectangle 12,8 30,22 2,2 polygon 30,12 36,8 36,22 30,18" "$WINDOW/class_video$sfx.png" $sel
    classbutton "Device" "$DEVICE" "roundrectangle 16,5 28,25 2,2" "$WINDOW/class_device$sfx.png" $sel
    classbutton "Audio" "$AUDIO" "circle 17,20 21,20 rectangle 20,6 22,20 rectangle 20,6 30,9" "$WINDOW/class_audio$sfx.png" $sel
done

formatbutton() {  # name colour out selected size
    local name=$1 col=$2 out=$3 sel=$4 size=$5 bg border
    case $name in  # long names on two lines
        MobilePhone) name=$'Mobile\nPhone' ;;
        BlackBerry) name=$'Black\nBerry' ;;
    esac
    if [ "$sel" = 1 ]; then bg='#fff1e0'; border="$ORANGE"; else bg=white; border="$LINE"; fi
    im -size 62x57 xc:none -fill "$bg" -stroke "$border" -strokewidth "$([ "$sel" = 1 ] && echo 2 || echo 1)" \
        -draw "roundrectangle 1,1 60,55 6,6" -stroke none \
        -fill "$col" -draw "roundrectangle 2,2 59,14 5,5" -draw "rectangle 2,9 59,14" \
        -font "$BOLD" -pointsize "$size" -fill "$INK" -gravity center -annotate +0+7 "$name" "$out"
}
for sel in 0 1; do
    sfx=$([ $sel = 1 ] && echo _sel || true)
    # One font size on all buttons of a page: the size its longest name fits.
    for f in AVI MP4 FLV SWF MPEG RM WMV MOV 3GP MKV WebM; do formatbutton "$f" "$VIDEO" "$WINDOW/format_$f$sfx.png" $sel 15; done
    for f in iPod iPhone AppleTV PSP BlackBerry MobilePhone iPad Android; do
        formatbutton "$f" "$DEVICE" "$WINDOW/format_$f$sfx.png" $sel 11
    done
    for f in WAV MP3 WMA OGG AAC M4A FLAC MP2; do formatbutton "$f" "$AUDIO" "$WINDOW/format_$f$sfx.png" $sel 15; done
done

# --- sounds -------------------------------------------------------------------------
# done: a rising two-note chime; fail: two falling low notes.
sox -n -r 44100 -c 1 -b 16 "$TMP/d1.wav" synth 0.16 sine 880 fade q 0.005 0.16 0.12 vol 0.5
sox -n -r 44100 -c 1 -b 16 "$TMP/d2.wav" synth 0.40 sine 1318.5 fade q 0.005 0.40 0.34 vol 0.5
sox "$TMP/d1.wav" "$TMP/d2.wav" "$SOUNDS/done.wav"
sox -n -r 44100 -c 1 -b 16 "$TMP/f1.wav" synth 0.22 triangle 440 fade q 0.005 0.22 0.08 vol 0.45
sox -n -r 44100 -c 1 -b 16 "$TMP/f2.wav" synth 0.45 triangle 311.1 fade q 0.005 0.45 0.35 vol 0.45
sox "$TMP/f1.wav" "$TMP/f2.wav" "$SOUNDS/fail.wav"

echo "resources written"
