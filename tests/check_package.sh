#!/usr/bin/env bash
# Checks the launcher's Debian package (made by scripts/package): its control data (package name, the
# launcher's version, the architecture, the dependencies), its contents (the launcher's files, nothing
# of the sandbox or the tests) and lintian's verdict. Exits 0 only when every check holds; says what failed
# otherwise.
#
#   tests/check_package.sh PACKAGE.deb
set -euo pipefail
DEB=$1
ROOT=$(cd "$(dirname "$0")/.." && pwd)
APP_ID=com.vomoskyworks.AviroLauncher
VERSION=$(sed -n 's/^project(AviroLauncher VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

failures=0
fail() { echo "package check: $*" >&2; failures=$((failures + 1)); }
field() { dpkg-deb --field "$DEB" "$1"; }
expect() { [ "$(field "$1")" = "$2" ] || fail "$1 is '$(field "$1")', not '$2'"; }

# Control data. The desktop's opener takes the launcher's updates; a CJK font draws the Chinese interface.
expect Package avirolauncher
expect Version "$VERSION-1"
expect Architecture "$(dpkg --print-architecture)"
expect Recommends "xdg-utils, fonts-noto-cjk | fonts-wqy-microhei"
for name in Maintainer Description; do [ -n "$(field "$name")" ] || fail "no $name"; done

# Dependencies: one package name a line, alternatives included. The extractor's, and the package of every
# library the program links against and of every QML module the front end imports.
field Depends | tr ',|' '\n' | sed 's/(.*//; s/[[:space:]]//g' | grep -v '^$' | sort -u >"$WORK/depends"
needs() { # WHAT PACKAGE: PACKAGE, which provides WHAT, is a dependency
  [ -n "$2" ] || { fail "no package provides $1"; return; }
  grep -qx "$2" "$WORK/depends" || fail "$1 comes from $2, which is not a dependency"
}
provider() { dpkg -S "$1" 2>/dev/null | head -n1 | cut -d: -f1; }
needs "the extractor" p7zip-full

dpkg-deb -x "$DEB" "$WORK/root"
PROGRAM=$WORK/root/usr/bin/AviroLauncher
[ -x "$PROGRAM" ] || fail "no program usr/bin/AviroLauncher"
for lib in $(readelf -d "$PROGRAM" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  needs "$lib" "$(provider "*/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null)/$lib")"
done

# A module "A.B" of major version M is found, as the QML engine looks for it, in A/B.M, A.M/B or A/B under the
# QML folder. Files under a "+windows" folder are Windows' own and never loaded here.
QML_DIR=$(qmake -query QT_INSTALL_QML)
while read -r uri major; do
  IFS=. read -r -a parts <<<"$uri"
  for ((i = ${#parts[@]} - 1; i >= -1; i--)); do
    path=$QML_DIR
    for ((k = 0; k < ${#parts[@]}; k++)); do
      path+="/${parts[k]}"
      [ "$k" -ne "$i" ] || path+=".$major"
    done
    if [ -f "$path/qmldir" ]; then break; fi
  done
  [ -f "$path/qmldir" ] || { fail "QML module $uri $major not found under $QML_DIR"; continue; }
  needs "QML module $uri $major" "$(provider "$path/qmldir")"
done < <(grep -rhoE --exclude-dir=+windows '^import +Qt[A-Za-z.]* +[0-9]+' "$ROOT/FrontEnd" | awk '{ print $2, $3 }' |
  sort -u)

# Contents: the launcher's files and nothing else (nothing of the sandbox or the tests).
dpkg-deb --contents "$DEB" | awk '$1 !~ /^d/ { print $NF }' | sed 's|^\./||' | sort >"$WORK/files"
printf '%s\n' usr/bin/AviroLauncher "usr/share/applications/$APP_ID.desktop" "usr/share/metainfo/$APP_ID.metainfo.xml" \
  usr/share/icons/hicolor/scalable/apps/avirolauncher.svg usr/share/man/man1/AviroLauncher.1.gz \
  usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/avirolauncher.png \
  usr/share/doc/avirolauncher/{copyright,changelog.Debian.gz} | sort >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/files" >"$WORK/diff" || fail "contents differ from the launcher's files:
$(sed -n '3,$p' "$WORK/diff")"

# lintian's errors and warnings: none but those the README justifies for a package outside Debian's archive
# (a tag of the list that no longer shows is fine). Of its notes, the hardening ones count too: the program
# is built with every protection (fortified calls, PIE, read-only relocations bound at start).
# The first upload of a package for Debian closes its "intent to package" bug.
JUSTIFIED=" initial-upload-closes-no-bugs "
lintian --fail-on none --display-level '>=info' "$DEB" >"$WORK/lintian" 2>&1 ||
  fail "lintian did not run: $(cat "$WORK/lintian")"
while read -r level _ tag rest; do
  case $level:$tag in
    E:* | W:*) [[ $JUSTIFIED == *" $tag "* ]] || fail "lintian: $level $tag $rest" ;;
    I:hardening-*) fail "lintian: $level $tag $rest" ;;
  esac
done <"$WORK/lintian"

[ "$failures" -eq 0 ] || { echo "package check: $failures failures in $DEB" >&2; exit 1; }
echo "package check: $(basename "$DEB") ok ($(wc -l <"$WORK/files") files, $(wc -l <"$WORK/depends") dependencies)"
