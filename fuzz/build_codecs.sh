#!/usr/bin/env bash
# Builds zlib, libpng, libjpeg-turbo and libtiff from the distribution's own sources
# with the fuzzer's coverage instrumentation and AddressSanitizer, as static libraries
# under build/fuzz-codecs/ (fuzz/codecs.cmake links the fuzz targets against them).
# The picture readers spend nearly all their work inside these libraries: without
# coverage there the fuzzer is blind past a file's first bytes.
#
# The same versions as the installed development packages, with the distribution's
# patches, fetched with `apt-get source` (scripts/setup with MIREL_SETUP_FUZZ=1 makes
# the source lists available). Quick when the stamp says they are already built.
# Exits 1 when the sources cannot be had; the fuzz build then uses the plain libraries.
set -euo pipefail
cd "$(dirname "$0")/.."

out="${MIREL_FUZZ_CODECS:-$PWD/build/fuzz-codecs}"
prefix="$out/prefix"
jobs="${MIREL_FUZZ_JOBS:-2}"
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
packages=(zlib libpng1.6 libjpeg-turbo tiff)
flags="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer"

# The release suite's versions: what the pinned package lists offer for certain.
suite=${codename:+/$codename}
versions=$(apt-cache showsrc "${packages[@]}" 2>/dev/null | awk '/^Package:|^Version:/ {printf "%s ", $2}')
stamp="$prefix/.built"
if [[ -f "$stamp" && -n "$versions" && "$(cat "$stamp")" == "$versions$flags" ]]; then
  exit 0
fi

rm -rf "$out"
mkdir -p "$out/src" "$prefix"
cd "$out/src"
if ! apt-get source -qq "${packages[@]/%/$suite}" >"$out/fetch.log" 2>&1; then
  echo "build_codecs: cannot fetch the codec sources (see $out/fetch.log)" >&2
  exit 1
fi

export CC=clang CXX=clang++ CFLAGS="$flags" CXXFLAGS="$flags"
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$prefix"
  -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_LIBDIR="$prefix/lib"
  -DCMAKE_PREFIX_PATH="$prefix")
build() {  # source folder glob, then its CMake options
  local source
  source=$(find . -maxdepth 1 -type d -name "$1" | head -1)
  shift
  cmake -S "$source" -B "$source/build-fuzz" "${common[@]}" "$@" >"$out/$(basename "$source").log" 2>&1
  nice -n 19 cmake --build "$source/build-fuzz" -j"$jobs" >>"$out/$(basename "$source").log" 2>&1
  cmake --install "$source/build-fuzz" >>"$out/$(basename "$source").log" 2>&1
}
# The static libraries only, found by their paths rather than by search.
zlib=(-DZLIB_LIBRARY_RELEASE="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include")
jpeg=(-DJPEG_LIBRARY_RELEASE="$prefix/lib/libjpeg.a" -DJPEG_INCLUDE_DIR="$prefix/include")

# zlib's own configure: the distribution's zlib sources lack what its CMake build wants.
(cd zlib-*/ && ./configure --static --prefix="$prefix" && nice -n 19 make -j"$jobs" libz.a &&
  make install) >"$out/zlib.log" 2>&1
build 'libjpeg-turbo-*' -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
build 'libpng1.6-*' -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DPNG_HARDWARE_OPTIMIZATIONS=OFF "${zlib[@]}"
build 'tiff-*' -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
  -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Djbig=OFF -Dlerc=OFF -Dlibdeflate=OFF -Dpixarlog=ON \
  -Djpeg=ON -Dzlib=ON "${zlib[@]}" "${jpeg[@]}"

rm -rf "$out/src"
echo -n "$versions$flags" >"$stamp"
