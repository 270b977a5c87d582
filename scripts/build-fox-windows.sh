#!/usr/bin/env bash
# Builds FOX 1.6 as a static library for a MinGW-w64 target, with the libpng and libjpeg it
# reads pictures through (zlib comes from Debian's libz-mingw-w64-dev).
# Usage: scripts/build-fox-windows.sh <triplet> <prefix>
#   scripts/build-fox-windows.sh x86_64-w64-mingw32 build-win64/fox
#   # -> build-win64/fox/lib/libFOX-1.6.a, build-win64/fox/include/fox-1.6/fx.h
#
# Debian ships no FOX for MinGW, so the sources are Debian's own source packages, fetched with
# apt-get through a sources list of our own (the machine's apt configuration stays as it is).
# Only each .orig.tar.gz is used; it is checked against the SHA-256 in the package's .dsc,
# because apt also fails when the Debian part of a package is gone from the archive. A finished
# prefix is kept (prefix/.complete), so a rerun costs nothing.
set -euo pipefail
triplet=$1
prefix=$(realpath -m "$2")
[ -f "$prefix/.complete" ] && exit 0
jobs=$(nproc)
work=$prefix/work
mkdir -p "$work"

# ---- fetch -----------------------------------------------------------------------------------
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts" "$apt_dir/src"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
# The archive this machine already installs from, as apt itself names it.
repo=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk -v c="$codename" '$2 == c { print $1; exit }')
[ -n "$repo" ] || { echo "No $codename archive in the apt configuration" >&2; exit 1; }
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $repo $codename main" \
  >"$apt_dir/sources.list"
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
          -o "APT::Sandbox::User=root" -qq)
packages=(fox1.6 libpng1.6 libjpeg-turbo)
need_fetch=0
for p in "${packages[@]}"; do ls "$apt_dir/src/${p}"_*.dsc >/dev/null 2>&1 || need_fetch=1; done
if [ "$need_fetch" = 1 ]; then
  apt-get "${apt_opts[@]}" update
  # The exit code is not trusted (a missing .debian.tar.xz fails it); the checksums are.
  (cd "$apt_dir/src" && apt-get "${apt_opts[@]}" source --download-only "${packages[@]}") || true
fi

# Unpacks the verified .orig.tar.gz of package $1 into $work/$1 and prints that folder.
unpack() {
  local dsc tarball sum
  dsc=$(ls "$apt_dir/src/$1"_*.dsc | head -n1)
  tarball=$(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 }
                 on && $3 ~ /\.orig\.tar\.gz$/ { print $3; exit }' "$dsc")
  sum=$(awk -v f="$tarball" '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 }
                             on && $3 == f { print $1; exit }' "$dsc")
  [ -n "$tarball" ] && [ -n "$sum" ] || { echo "$dsc names no .orig.tar.gz" >&2; return 1; }
  echo "$sum  $apt_dir/src/$tarball" | sha256sum --check --quiet >&2 \
    || { echo "$tarball does not match the checksum in $dsc" >&2; return 1; }
  rm -rf "${work:?}/$1" && mkdir -p "$work/$1"
  tar xzf "$apt_dir/src/$tarball" -C "$work/$1" --strip-components=1
  echo "$work/$1"
}

export CC=$triplet-gcc-posix CXX=$triplet-g++-posix AR=$triplet-ar RANLIB=$triplet-ranlib
export CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"

# ---- libpng (zlib from the MinGW package) ----------------------------------------------------
src=$(unpack libpng1.6)
(cd "$src" && ./configure -q --host="$triplet" --prefix="$prefix" --disable-shared --enable-static \
   CFLAGS="-O2" && make -s -j"$jobs" && make -s install) >"$work/libpng.log" 2>&1 \
  || { tail -n 40 "$work/libpng.log"; exit 1; }

# ---- libjpeg (the portable C code; the SIMD part needs an assembler) -------------------------
src=$(unpack libjpeg-turbo)
cmake -S "$src" -B "$work/libjpeg-build" -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_SYSTEM_PROCESSOR="${triplet%%-*}" -DCMAKE_C_COMPILER="$CC" -DCMAKE_RC_COMPILER="$triplet-windres" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF \
  -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF >"$work/libjpeg.log" 2>&1 \
  && cmake --build "$work/libjpeg-build" -j"$jobs" --target jpeg-static >>"$work/libjpeg.log" 2>&1 \
  || { tail -n 40 "$work/libjpeg.log"; exit 1; }
mkdir -p "$prefix/lib" "$prefix/include"
cp "$work/libjpeg-build/libjpeg.a" "$prefix/lib/"
cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$work/libjpeg-build/jconfig.h" "$prefix/include/"

# ---- FOX -------------------------------------------------------------------------------------
src=$(unpack fox1.6)
# The generated icon sources ship with the tarball; keep them newer than their pictures so the
# build never tries to run a host tool it cannot run.
touch "$src/src/icons.h" "$src/src/icons.cpp"
# FOX compiles in the compiler's GNU mode, where WIN32 (which selects its Windows code) is
# defined; its configure sets the compiler flags itself (no optimisation unless
# --enable-release, which would double the build time in CI).
(cd "$src" && ./configure -q --host="$triplet" --prefix="$prefix" --disable-shared --enable-static \
   --without-x --without-xft --with-opengl=no --disable-tiff --disable-bz2lib \
   && make -s -C src -j"$jobs" && make -s -C src install && make -s -C include install) \
  >"$work/fox.log" 2>&1 || { tail -n 40 "$work/fox.log"; exit 1; }

rm -rf "${work:?}/fox1.6" "${work:?}/libpng1.6" "${work:?}/libjpeg-turbo" "${work:?}/libjpeg-build"
touch "$prefix/.complete"
