#!/usr/bin/env bash
# Builds the Debian package of this build into a temporary folder and checks it: the
# programs, menu entry, file types and manual pages inside under /usr, and dependencies
# that are run-time libraries (read from what the programs link) with Qt's platform
# plugins, never a build tool or development package.
#   check-package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
debs=("$out"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack built no single .deb"
deb=${debs[0]}
info=$(dpkg-deb --info "$deb")
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
echo "$info"
echo "$contents"

grep -q '^ Package: anodix$' <<<"$info" || fail "the package is not called anodix"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libpulse0 qt6-qpa-plugins; do
  grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || fail "no dependency on $lib: $depends"
done
if grep -Eq -- '-dev\b|cmake|ninja|g\+\+|gcc |clang' <<<"$depends"; then fail "a build tool among the dependencies: $depends"; fi

for page in "$source"/doc/man/*.1; do
  name=$(basename "$page" .1)
  grep -qx "./usr/bin/$name" <<<"$contents" || fail "$name is not in the package"
  grep -qx "./usr/share/man/man1/$name.1.gz" <<<"$contents" || fail "the manual page of $name is not in the package"
done
for file in applications/org.anodix.Anodix.desktop metainfo/org.anodix.Anodix.metainfo.xml \
            mime/packages/anodix.xml icons/hicolor/scalable/apps/anodix.svg icons/hicolor/48x48/apps/anodix.png; do
  grep -qx "./usr/share/$file" <<<"$contents" || fail "/usr/share/$file is not in the package"
done
# Only what belongs to the program: nothing outside /usr, no database a trigger builds.
if grep -v '^\./usr/\|^\./$\|^\./usr$' <<<"$contents" | grep -q .; then fail "files outside /usr"; fi
if grep -q 'mime\.cache\|icon-theme\.cache' <<<"$contents"; then fail "a generated cache in the package"; fi
echo "PASS"
