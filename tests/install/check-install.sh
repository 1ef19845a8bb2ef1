#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what lands there: every program
# with a manual page in doc/man (and every manual page with its program), the menu entry,
# icons, file types and software-centre file, nothing else; the desktop files pass their
# validators and agree with each other; every program answers --help.
#   check-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
usr=$dest/usr
echo "Installed:"
(cd "$dest" && find . -type f -o -type l | sort | sed 's|^\.|  |')

expected=(
  share/applications/org.anodix.Anodix.desktop
  share/metainfo/org.anodix.Anodix.metainfo.xml
  share/mime/packages/anodix.xml
  share/icons/hicolor/scalable/apps/anodix.svg
)
for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/anodix.png"); done
programs=()
for page in "$source"/doc/man/*.1; do
  name=$(basename "$page" .1)
  programs+=("$name")
  expected+=("bin/$name" "share/man/man1/$name.1.gz")
done
[ ${#programs[@]} -ge 2 ] || fail "fewer manual pages than programs in doc/man"

diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | sort) \
  || fail "the installed files differ from the expected ones (< missing, > unexpected)"

for name in "${programs[@]}"; do
  [ -x "$usr/bin/$name" ] || fail "$name is not executable"
  out=$("$usr/bin/$name" --help) || fail "$name --help failed"
  grep -q "$name" <<<"$out" || fail "$name --help does not name the program"
  gzip -dc "$usr/share/man/man1/$name.1.gz" | grep -q "^\.TH $(tr a-z A-Z <<<"$name") 1" \
    || fail "the manual page of $name has no .TH line for it"
done

for size in 16 256; do
  file "$usr/share/icons/hicolor/${size}x${size}/apps/anodix.png" | grep -q "PNG image data, $size x $size" \
    || fail "the ${size}x${size} icon is not a PNG of that size"
done

desktop=$usr/share/applications/org.anodix.Anodix.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$usr/share/metainfo/org.anodix.Anodix.metainfo.xml" || fail "appstreamcli validate"

# The file types the menu entry claims are the ones the shared MIME database learns.
update-mime-database "$usr/share/mime"
for type in $(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' '); do
  [ -f "$usr/share/mime/$type.xml" ] || fail "$type is claimed by the menu entry but not defined"
done
grep -q "^Icon=anodix$" "$desktop" || fail "the menu entry names another icon"
grep -q "^Exec=anodix %F$" "$desktop" || fail "the menu entry does not hand the files to anodix"
echo "PASS"
