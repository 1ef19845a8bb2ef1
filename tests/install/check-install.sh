#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR: exactly every program with a page in doc/man
# and that page, the menu entry, icons, file types and software-centre file land there; the
# validators pass; the menu entry's file types are defined; every program answers --help.
#   check-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
DESTDIR=$dest cmake --install "$1" --prefix /usr >/dev/null
usr=$dest/usr
expected=(share/applications/org.anodix.Anodix.desktop share/metainfo/org.anodix.Anodix.metainfo.xml
          share/mime/packages/anodix.xml share/icons/hicolor/scalable/apps/anodix.svg)
for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/anodix.png"); done
for page in "$2"/doc/man/*.1; do
  name=$(basename "$page" .1)
  expected+=("bin/$name" "share/man/man1/$name.1.gz")
  "$usr/bin/$name" --help >/dev/null || fail "$name --help"
done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | sort) \
  || fail "installed files (< missing, > unexpected)"
desktop=$usr/share/applications/org.anodix.Anodix.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$usr/share/metainfo/org.anodix.Anodix.metainfo.xml" || fail "appstreamcli validate"
update-mime-database "$usr/share/mime"
for type in $(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' '); do
  [ -f "$usr/share/mime/$type.xml" ] || fail "$type is claimed by the menu entry but not defined"
done
echo PASS
