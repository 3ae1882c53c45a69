#!/usr/bin/env bash
# Builds the Debian package build/orvane-video-joiner_<version>_<arch>.deb from
# the normal build: everything 'cmake --install' puts under /usr, the programs
# stripped, manual pages and changelog compressed, and Depends found by
# dpkg-shlibdeps from the programs' libraries, plus the FFmpeg libraries the
# engine opens at run time (dlopen hides them from shlibdeps) and Qt's window
# system plugins. The version comes from CMakeLists.txt.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
scripts/setup.sh
scripts/build.sh "$build" >/dev/null
# shellcheck source=/dev/null
. "$build/packaging/version.env"

name=orvane-video-joiner
arch=$(dpkg --print-architecture)
deb="$build/${name}_${OV_VERSION}_${arch}.deb"
# dpkg-shlibdeps expects the usual layout of a package's files: debian/NAME.
work="$build/deb"
root="$work/debian/$name"
rm -rf "$work"
mkdir -p "$root/DEBIAN"
DESTDIR="$PWD/$root" cmake --install "$build" --prefix /usr >/dev/null

lib="$root/usr/$OV_INSTALL_DIR"
programs=("$lib/orvane-video-joiner" "$lib/orvane")
strip --strip-unneeded --remove-section=.comment --remove-section=.note "${programs[@]}"
gzip -9n "$root"/usr/share/man/man1/*.1

doc="$root/usr/share/doc/$name"
install -d "$doc"
install -m 644 packaging/copyright "$doc/copyright"
cat >"$doc/changelog" <<CHANGES
$name ($OV_VERSION) unstable; urgency=medium

  * Release $OV_VERSION.

 -- Orvane <packages@orvane.example>  $(date -R -u -d "$OV_RELEASE_DATE")
CHANGES
gzip -9n "$doc/changelog"
install -D -m 644 packaging/lintian-overrides "$root/usr/share/lintian/overrides/$name"
# Files as a package has them, whatever the umask of the build was.
find "$root" -type d -exec chmod 755 {} +
find "$root" -type f -exec chmod 644 {} +
chmod 755 "${programs[@]}"

printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$name" "$name" >"$work/debian/control"
shlibs=$(cd "$work" && dpkg-shlibdeps -O "${programs[@]#"$work/"}" | sed -n 's/^shlibs:Depends=//p')
depends="$shlibs"
for ff in avcodec avformat avutil swscale swresample avfilter avdevice; do
    # The major the engine was built for, as its loader asks for it.
    major=$(grep -rhs "define LIB${ff^^}_VERSION_MAJOR" /usr/include | awk '{print $3}' | head -n1)
    [ -n "$major" ] || { echo "no header of lib$ff" >&2; exit 1; }
    depends+=", lib$ff$major (>= 7:5.1)"
done
depends+=", qt6-qpa-plugins"

# The long description: the first and the last paragraph of the AppStream
# description, so that the two never tell different things.
description() {
    python3 - "$1" <<'PY' | fold -s -w 72 | sed 's/ *$//; s/^/ /; s/^ $/ ./'
import sys, xml.etree.ElementTree as ET
paragraphs = ET.parse(sys.argv[1]).getroot().find("description").findall("p")
texts = [" ".join("".join(p.itertext()).split()) for p in (paragraphs[0], paragraphs[-1])]
print("\n\n".join(texts))
PY
}

cat >"$root/DEBIAN/control" <<CONTROL
Package: $name
Version: $OV_VERSION
Architecture: $arch
Maintainer: Orvane <packages@orvane.example>
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Recommends: fonts-dejavu-core, python3
Suggests: yt-dlp
Section: video
Priority: optional
Homepage: https://www.orvane.example/
Description: join or convert audio and video files, and download videos
$(description "$build"/packaging/*.metainfo.xml)
CONTROL
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
