#!/usr/bin/env bash
# Checks a built Debian package as a user gets it: unpacked, its programs run
# a probe and a join from where the package puts them, its description tells
# what AppStream tells, and the desktop file, AppStream and lintian checks pass.
#   scripts/package_check.sh DEB
set -euo pipefail
deb="$1"
root=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$root" "$work"' EXIT
dpkg-deb -x "$deb" "$root"
orvane="$root/usr/bin/orvane"
"$orvane" --version
"$root/usr/bin/orvane-video-joiner" --version
[ "$("$orvane" presets MP4 | cut -f1 | sort -u)" = MP4 ]

# The preset count the package and AppStream descriptions give is the real one.
presets=$("$orvane" presets | wc -l)
flat() { tr -s ' \n' '  '; }
for text in "$(dpkg-deb -f "$deb" Description | flat)" "$(flat <"$root"/usr/share/metainfo/*.metainfo.xml)"; do
    grep -q "with $presets presets" <<<"$text" || { echo "description does not count $presets presets: $text" >&2; exit 1; }
done

# A probe and a join by the unpacked programs, with their own configuration
# and the codec libraries the package depends on.
export HOME="$work" XDG_CONFIG_HOME="$work/config"
ffmpeg -v error -nostdin -f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i sine=duration=1 \
    -c:v libx264 -preset ultrafast -c:a aac "$work/clip.mp4"
"$orvane" probe "$work/clip.mp4" | grep -q "320"
"$orvane" join --format MP4 --preset 3 -o "$work/out" "$work/clip.mp4" "$work/clip.mp4" >/dev/null 2>&1
length=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/out/Output_Merge.mp4")
python3 -c "import sys; sys.exit(0 if abs(float('$length') - 2) < 0.3 else 1)" ||
    { echo "the packaged join is $length s long, not 2" >&2; exit 1; }

desktop-file-validate "$root/usr/share/applications/orvane-video-joiner.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error,warning "$deb"
echo "package checked: $deb"
