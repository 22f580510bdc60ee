#!/usr/bin/env bash
# Turns the sandbox game into what the sandbox store serves: game versions as full packages and patches
# (.7z, and one .zip), their digests and space descriptions, release notes as text and as JSON by
# language, the launcher's updates as Debian packages, and two catalogues: catalogue.json (the newest
# launcher is this one, 2.1.0.1) and catalogue-update.json (a newer launcher, 2.1.0.2, is offered).
#   make_packages.sh GAME_BINARY OUT_DIR [LIBRARY_DIR]
# LIBRARY_DIR's files go beside the game in the full packages, as a game brings its own libraries (the Windows
# build of the sandbox game and its DLLs).
set -euo pipefail
GAME=$1
OUT=$2
LIBS=${3:-}
PRODUCT=SkyTrainer
NAME=SkyTrainer
rm -rf "$OUT"
mkdir -p "$OUT/files/packages" "$OUT/files/notes" "$OUT/files/launcher" "$OUT/stage"

# Deterministic filler, so that rebuilding gives the same packages.
filler() { # size seed
  (set +o pipefail; openssl enc -aes-128-ctr -nosalt -pass "pass:$2" -pbkdf2 -in /dev/zero 2>/dev/null | head -c "$1")
}

stage() { # version kind(full|patch) extra-files...
  local version=$1 kind=$2
  local dir="$OUT/stage/$version/$PRODUCT"
  mkdir -p "$dir/$NAME/Content" "$dir/Data"
  printf '{"V": "%s", "P": "%s"}\n' "$version" "$PRODUCT" >"$dir/$NAME/Content/version.dat"
  if [ "$kind" = full ]; then
    cp "$GAME" "$dir/$NAME.exe"
    chmod 755 "$dir/$NAME.exe"
    if [ -n "$LIBS" ]; then cp "$LIBS"/* "$dir/"; fi
    filler 1500000 "terrain-$version" >"$dir/Data/terrain.pak"
    filler 300000 "aircraft-$version" >"$dir/Data/aircraft.pak"
    echo "Aviro flight simulator $version" >"$dir/readme.txt"
  fi
  shift 2
  for extra in "$@"; do
    filler 200000 "$extra-$version" >"$dir/Data/$extra"
  done
}

pack() { # version format
  # The installer takes everything after the first dot of a name as its format: no dots before it.
  local version=$1 format=$2 file="${PRODUCT}_${1//./_}.$2"
  (cd "$OUT/stage/$version" && 7z a -t"${format/7z/7z}" -mx=1 "../../files/packages/$file" "$PRODUCT" >/dev/null)
  echo "$file"
}

stage 1.0.0.0 full legacy_1.0.pak
stage 1.0.1.0 patch patch_1.0.1.pak
stage 1.0.2.0 patch patch_1.0.2.pak
stage 1.1.0.0 full
stage 1.1.1.0 patch patch_1.1.1.pak

entries=()
add_version() { # version ispatch format spaceDesc note
  local file
  file=$(pack "$1" "$3")
  local md5
  md5=$(md5sum "$OUT/files/packages/$file" | cut -d' ' -f1)
  echo "$md5  $file" >"$OUT/files/packages/$file.md5"
  entries+=("{\"version\": \"$1\", \"ispatch\": $2, \"spaceDesc\": \"$4\", \"file\": \"packages/$file\", \"md5\": \"$md5\", \"note\": \"notes/$5\"}")
}

cat >"$OUT/files/notes/1.0.0.0.txt" <<'NOTE'
Aviro flight simulator 1.0.0.0
- First release: three airfields, two aircraft.
NOTE
printf 'Aviro 1.0.1.0\n- Smoother landings.\n' >"$OUT/files/notes/1.0.1.0.txt"
printf '{"en": "Aviro 1.0.2.0\\n- New weather.", "zh-CN": "Aviro 1.0.2.0\\n- 新的天气系统。"}\n' >"$OUT/files/notes/1.0.2.0.json"
printf '{"en": "Aviro 1.1.0.0\\n- New terrain engine.", "zh-CN": "Aviro 1.1.0.0\\n- 全新地形引擎。"}\n' >"$OUT/files/notes/1.1.0.0.json"
printf '{"en": "Aviro 1.1.1.0\\n- Fixes.", "zh-CN": "Aviro 1.1.1.0\\n- 问题修复。"}\n' >"$OUT/files/notes/1.1.1.0.json"

add_version 1.0.0.0 2 7z "2.1 MB" 1.0.0.0.txt
add_version 1.0.1.0 1 7z "2.3 MB" 1.0.1.0.txt
add_version 1.0.2.0 1 zip "2.5 MB" 1.0.2.0.json
add_version 1.1.0.0 2 7z "2.0 MB" 1.1.0.0.json
add_version 1.1.1.0 1 7z "2.2 MB" 1.1.1.0.json

# The launcher's updates as Linux users get them: Debian packages of the launcher, which the desktop hands to
# the package manager. These hold only a note; their time stamps are fixed so that rebuilding gives the same.
launchers=()
for version in 2.1.0.1 2.1.0.2; do
  name="avirolauncher_$version-1_all.deb"
  root="$OUT/stage/deb-$version"
  mkdir -p "$root/DEBIAN" "$root/usr/share/doc/avirolauncher"
  printf 'Package: avirolauncher\nVersion: %s-1\nArchitecture: all\nMaintainer: Vomo Skyworks <support@vomoskyworks.com>\nDescription: launcher of the Aviro flight simulator (sandbox)\n' \
    "$version" >"$root/DEBIAN/control"
  echo "AviroLauncher $version (sandbox)" >"$root/usr/share/doc/avirolauncher/README.sandbox"
  SOURCE_DATE_EPOCH=1798675200 dpkg-deb --root-owner-group -Zxz --build "$root" "$OUT/files/launcher/$name" >/dev/null
  md5=$(md5sum "$OUT/files/launcher/$name" | cut -d' ' -f1)
  launchers+=("{\"version\": \"$version\", \"file\": \"launcher/$name\", \"md5\": \"$md5\"}")
done

catalogue() { # launcher-entries...
  local joined versions
  joined=$(IFS=,; echo "$*")
  versions=$(IFS=,; echo "${entries[*]}")
  cat <<JSON
{
  "filesDir": "files",
  "users": [{"account": "pilot@example.com", "password": "secret", "userId": "1001", "product": "$PRODUCT"}],
  "tokens": [{"token": "demo-token", "account": "pilot@example.com"}],
  "products": [{"code": "$PRODUCT", "bgImage": "{documents}/images/$PRODUCT.png"}],
  "versions": {"$PRODUCT": [$versions]},
  "launchers": [$joined]
}
JSON
}
catalogue "${launchers[0]}" >"$OUT/catalogue.json"
catalogue "${launchers[@]}" >"$OUT/catalogue-update.json"
rm -rf "$OUT/stage"
