#!/usr/bin/env bash
# Builds the Debian package: every program and its manual page inside, nothing outside
# /usr, and dependencies on the run-time libraries linked, never on a build tool.
#   check-package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cpack --config "$1/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
deb=$(echo "$out"/anodix_*.deb)
depends=$(dpkg-deb --info "$deb" | sed -n 's/^ Depends: //p')
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for lib in libqt6widgets6 libqt6svg6 libpulse0 qt6-qpa-plugins; do
  grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || fail "no dependency on $lib: $depends"
done
! grep -Eq -- '(^|, )([a-z0-9.+-]+-dev|cmake|ninja-build|gcc[-0-9]*|g\+\+[-0-9]*|clang[-0-9]*)( |,|$)' <<<"$depends" || fail "a build tool among the dependencies: $depends"
for page in "$2"/doc/man/*.1; do
  name=$(basename "$page" .1)
  grep -qx "./usr/bin/$name" <<<"$contents" && grep -qx "./usr/share/man/man1/$name.1.gz" <<<"$contents" \
    || fail "$name or its manual page is not in the package"
done
grep -qx ./usr/share/applications/org.anodix.Anodix.desktop <<<"$contents" || fail "no menu entry"
! grep -v '^\./usr/\|^\./$' <<<"$contents" | grep -q . || fail "files outside /usr"
echo PASS
