#!/usr/bin/env bash
# Makes the Linux release: build/dist/norrvale-<version>-linux-x86_64.tar.gz, one folder
# with the program, its data, the shared libraries a stock desktop may lack (found by
# walking the program's dependencies, stripped, finding each other through $ORIGIN),
# their licences, a launcher, the release text and a screenshot.
#   make-archive.sh [BUILD_DIR]      (default: build; the stage must be built)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "${1:-build}" && pwd)
stage=$build/stage
dist=$build/dist
version=$("$repo/packaging/version.sh")
name=norrvale-$version-linux-x86_64
folder=$dist/$name
# A frame that shows what the demo is about: ducks in duck city.
screenshotTime=142

fail() { echo "make-archive: $*" >&2; exit 1; }

for tool in readelf strip patchelf dpkg-query; do
  command -v "$tool" >/dev/null || fail "$tool is missing (run scripts/setup.sh)"
done
[ -x "$stage/norrvale" ] || fail "no staged program in $stage (run make build)"

mapfile -t systemPatterns < <(grep -v -e '^#' -e '^[[:space:]]*$' "$here/system-libraries")

isSystemLibrary() {
  local pattern
  for pattern in "${systemPatterns[@]}"; do
    # shellcheck disable=SC2053  # the pattern is a glob on purpose
    [[ $1 == $pattern ]] && return 0
  done
  return 1
}

neededBy() {
  readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
}

# Where this machine's loader finds each library the program pulls in, by soname.
declare -A pathOf=()
while read -r soname arrow path _; do
  [ "$arrow" = "=>" ] && [ -f "$path" ] && pathOf[$soname]=$path
done < <(ldd "$stage/norrvale")

# Depth-first through DT_NEEDED, stopping at the system's libraries.
declare -A bundled=()
bundleOrder=()
walk() {
  local soname
  for soname in $(neededBy "$1"); do
    isSystemLibrary "$soname" && continue
    [ -n "${bundled[$soname]:-}" ] && continue
    [ -n "${pathOf[$soname]:-}" ] || fail "$soname is needed but not found on this machine"
    bundled[$soname]=1
    bundleOrder+=("$soname")
    walk "${pathOf[$soname]}"
  done
}
walk "$stage/norrvale"

# usrmerge: dpkg knows a file under whichever of /lib and /usr/lib its package used.
owningPackage() {
  local real candidate
  real=$(readlink -f "$1")
  for candidate in "$real" "${real#/usr}" "/usr$real"; do
    dpkg-query -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1 && return 0
  done
  return 1
}

# assimp and SDL2_mixer are ours: Debian's sources, assimp with the patches in
# packaging/assimp (build/assimp), SDL2_mixer with only its MP3 decoder
# (packaging/linux/build-deps.sh, build/linuxdeps). Their rows say which.
ownAssimp=$build/assimp
ownDeps=$build/linuxdeps
ownAssimpSource() {
  local tree
  tree=$(find "$ownAssimp/src/debian" -maxdepth 1 -type d -name 'assimp-[0-9]*' | head -n 1)
  [ -n "$tree" ] || fail "no assimp source under $ownAssimp/src/debian (run make build)"
  echo "${tree##*/assimp-}+norrvale-$(cat "$ownAssimp/stamps/assimp")"
}
ownSdlMixerSource() {
  local tree
  tree=$(find "$ownDeps/src" -maxdepth 1 -type d -name 'libsdl2-mixer-[0-9]*' | head -n 1)
  [ -n "$tree" ] || fail "no SDL2_mixer source under $ownDeps/src (run make build)"
  echo "$tree"
}

rm -rf "$folder"
mkdir -p "$folder/lib" "$folder/licences"

cp -r "$stage/shdrs" "$stage/imgs" "$stage/tessmer-trancedemo5.mp3" "$folder/"
strip --strip-all -o "$folder/norrvale" "$stage/norrvale"
# The build tree's program also looks in build/assimp; the release looks in lib/ alone.
patchelf --set-rpath '$ORIGIN/lib' "$folder/norrvale"
runpath=$(readelf -d "$folder/norrvale" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = '$ORIGIN/lib' ] || fail "the program's RUNPATH is '$runpath', not \$ORIGIN/lib"

{
  echo "Shared libraries in lib/, as built by Debian 12; each package's copyright and"
  echo "licence terms are in the file of the same name in this folder. The sources are"
  echo "Debian's source packages of these versions (https://sources.debian.org/,"
  echo "https://snapshot.debian.org/). assimp is built from Debian's source with the"
  echo "patches in the demo's packaging/assimp/patches, each with its reason; its version"
  echo "says which patch set. SDL2_mixer is built from Debian's source with only its MP3"
  echo "decoder."
  echo
  printf '%-28s %-24s %s\n' soname package version
} > "$folder/licences/BUNDLED.txt"

for soname in "${bundleOrder[@]}"; do
  source=${pathOf[$soname]}
  # Bundled libraries find each other (and the decoders SDL2_mixer opens) through
  # their own RUNPATH: the program's RUNPATH only covers its direct dependencies.
  strip --strip-unneeded -o "$folder/lib/$soname" "$source"
  patchelf --set-rpath '$ORIGIN' "$folder/lib/$soname"
  chmod 644 "$folder/lib/$soname"
  if [[ $(readlink -f "$source") == "$ownAssimp"/* ]]; then
    package=assimp
    packageVersion=$(ownAssimpSource)
    copyright=$ownAssimp/copyright
  elif [[ $(readlink -f "$source") == "$ownDeps"/* ]]; then
    package=libsdl2-mixer
    tree=$(ownSdlMixerSource)
    packageVersion=$(dpkg-parsechangelog -l "$tree/debian/changelog" -S Version)+norrvale-mp3-only
    copyright=$tree/debian/copyright
  else
    package=$(owningPackage "$source") || fail "no Debian package owns $source, so its licence is unknown"
    packageVersion=$(dpkg-query -W -f='${Version}' "$package")
    copyright=/usr/share/doc/$package/copyright
  fi
  printf '%-28s %-24s %s\n' "$soname" "$package" "$packageVersion" >> "$folder/licences/BUNDLED.txt"
  [ -f "$copyright" ] || fail "$copyright is missing: the licence of $soname cannot be shipped"
  cp "$copyright" "$folder/licences/$package.txt"
done

# Compiled into the program rather than bundled, but their notices travel with it too.
for package in libglm-dev:glm libstb-dev:stb python3-glad:glad; do
  copyright=/usr/share/doc/${package%%:*}/copyright
  [ -f "$copyright" ] || fail "$copyright is missing (run scripts/setup.sh)"
  cp "$copyright" "$folder/licences/${package#*:}.txt"
done

install -m 755 "$here/norrvale.sh" "$folder/norrvale.sh"
cp "$repo/packaging/norrvale.txt" "$folder/norrvale.txt"

# The screenshot comes from the stills tool, in a folder of its own so that `make stills`
# keeps its sheet and its frames never stand in for this one. The clock is held where the
# tool sets it, since the scenes read it afresh while the frame is drawn: so the picture is
# the same on every machine. It is rendered again only when the stage changed.
shots=$build/screenshot
shot=$shots/still_$(printf '%07.2f' "$screenshotTime").png
shim=$build/tests/app/norrvale_shim.so
if [ ! -f "$shot" ] || [ -n "$(find "$stage" "$shim" -newer "$shot" -print -quit)" ]; then
  [ -f "$shim" ] || fail "no clock shim $shim (run make build)"
  stills=(env SHIM_CLOCK_HOLD=1 LD_PRELOAD="$shim"
          "$build/tools/stills/stills" --out "$shots" "$screenshotTime")
  if [ -n "${DISPLAY:-}" ]; then
    "${stills[@]}" >/dev/null
  else
    xvfb-run -a -s "-screen 0 1920x1080x24" "${stills[@]}" >/dev/null
  fi
fi
cp "$shot" "$folder/norrvale.png"

# Older versions' archives would otherwise pile up beside this one.
find "$dist" -maxdepth 1 -name 'norrvale-*-linux-x86_64.tar.gz' ! -name "$name.tar.gz" -delete
archive=$dist/$name.tar.gz
# Same content, same bytes: fixed order, owners and times. gzip -9 would save 0.2 %
# for two and a half times the time: the mp3 and the libraries hardly compress.
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || stat -c %Y "$repo/VERSION")}
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" \
    -C "$dist" -cf - "$name" | gzip -n > "$archive.partial"
mv "$archive.partial" "$archive"
rm -rf "$folder"
bash "$repo/packaging/checksums.sh" "$dist"
echo "$archive ($(du -k "$archive" | cut -f1) KiB; ${#bundleOrder[@]} libraries bundled)"
