#!/usr/bin/env bash
# Builds a static OpenCV (core, imgproc, imgcodecs with BMP only) for 32-bit Windows with
# the i686-w64-mingw32 POSIX-thread compilers, from Debian's own source package.
#
#   scripts/build-opencv-mingw.sh [WORK_DIR]      (default: build/opencv-mingw)
#
# WORK_DIR/src holds the downloaded source package, WORK_DIR/build the build tree and
# WORK_DIR/prefix the installation. WORK_DIR/prefix/drawlet-opencv.stamp holds the source
# version and the configuration revision; a prefix with a matching stamp is reused as is.
# Nothing is fetched from outside Debian's archive: every option that downloads is off.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(realpath -m "${1:-build/opencv-mingw}")
src_dir=$work/src
build_dir=$work/build
prefix=$work/prefix
stamp=$prefix/drawlet-opencv.stamp
# Raise when the options below change, so that an old prefix is rebuilt.
config_revision=2
jobs=${JOBS:-$(nproc)}
triple=i686-w64-mingw32
sysroot=/usr/$triple

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

source scripts/apt_missing.sh
install_missing g++-mingw-w64-i686 libz-mingw-w64-dev dpkg-dev cmake make

# The source package's version is what apt would fetch: find it before deciding to build.
# Adds a deb-src entry for the mirror already used for bookworm, in a file of its own.
ensure_deb_src() {
  if apt-cache showsrc opencv 2>/dev/null | grep -q '^Version:'; then
    return
  fi
  local uri="" f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas: the URI of the first stanza whose suites include plain "bookworm".
    uri=$(awk '
      /^[[:space:]]*$/ { if (u != "" && s) { print u; exit } u = ""; s = 0; next }
      /^URIs:/ { u = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == "bookworm") s = 1 }
      END { if (u != "" && s) print u }' "$f" | head -n1)
    [ -n "$uri" ] && break
  done
  if [ -z "$uri" ]; then
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      uri=$(awk '$1 == "deb" { for (i = 2; i < NF; i++) if ($i !~ /^\[/ && $(i + 1) == "bookworm") { print $i; exit } }' "$f")
      [ -n "$uri" ] && break
    done
  fi
  uri=${uri:-http://deb.debian.org/debian}
  echo "Adding a deb-src entry for $uri bookworm"
  printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" | $sudo tee /etc/apt/sources.list.d/drawlet-deb-src.sources >/dev/null
  apt_update
}

ensure_deb_src
version=$(apt-cache showsrc opencv | awk '/^Version:/ { print $2 }' | sort -V | tail -n1)
wanted="opencv $version revision $config_revision"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
  echo "OpenCV $version for $triple: reusing $prefix"
  exit 0
fi
echo "OpenCV $version for $triple: building into $prefix"
start=$(date +%s)

mkdir -p "$src_dir"
upstream=${version#*:}
upstream=${upstream%%-*}
upstream=${upstream%%+*}
tree=$src_dir/opencv-$upstream
if [ ! -f "$tree/CMakeLists.txt" ]; then
  (cd "$src_dir" && apt-get source --download-only "opencv=$version")
  dsc=$(ls "$src_dir"/opencv_*.dsc | head -n1)
  rm -rf "$tree"
  dpkg-source --no-check -x "$dsc" "$tree"
fi

# OpenCV 4.6 only dispatches AVX2 code on 64-bit x86; one 64-bit extract in its AVX2
# intrinsics keeps it from compiling for 32-bit. With it mended, the module runs the same
# vectorised code as the Linux module on the same processor (see CPU_DISPATCH below).
if ! grep -q "32-bit x86 has no 64-bit extracts" \
  "$tree/modules/core/include/opencv2/core/hal/intrin_avx.hpp"; then
  patch -d "$tree" -p1 <cmake/opencv-4.6-i686-avx2.patch
fi

rm -rf "$build_dir" "$prefix"
# SSE2 for doubles, never the x87 unit. Contraction is left at the compiler's default, as in
# Debian's own OpenCV build, so that its vectorised code (AVX2 with FMA) computes what the
# Linux module's OpenCV computes on the same processor.
flags="-msse2 -mfpmath=sse"
off=(
  # Downloads or Windows extras.
  WITH_IPP WITH_ADE WITH_ITT WITH_OPENCL WITH_PROTOBUF WITH_LAPACK WITH_EIGEN WITH_FFMPEG
  WITH_DSHOW WITH_MSMF WITH_DIRECTX WITH_OPENCL_D3D11_NV WITH_WIN32UI WITH_VTK WITH_QUIRC
  WITH_CUDA WITH_OPENVX WITH_TBB WITH_OPENMP WITH_HPX WITH_VULKAN WITH_GSTREAMER WITH_1394
  WITH_GDAL WITH_GDCM WITH_IMGCODEC_HDR WITH_IMGCODEC_SUNRASTER WITH_IMGCODEC_PXM
  WITH_IMGCODEC_PFM WITH_PNG WITH_SPNG WITH_JPEG WITH_TIFF WITH_WEBP WITH_OPENEXR WITH_JASPER
  WITH_OPENJPEG WITH_CAROTENE WITH_VA WITH_VA_INTEL WITH_QT WITH_GTK WITH_FLATBUFFERS
  BUILD_ZLIB BUILD_PROTOBUF BUILD_opencv_gapi BUILD_TESTS BUILD_PERF_TESTS BUILD_EXAMPLES
  BUILD_opencv_apps BUILD_DOCS BUILD_JAVA BUILD_opencv_python2 BUILD_opencv_python3
  BUILD_SHARED_LIBS BUILD_WITH_DEBUG_INFO ENABLE_PRECOMPILED_HEADERS OPENCV_GENERATE_PKGCONFIG
  BUILD_opencv_world INSTALL_TESTS
)
defs=()
for o in "${off[@]}"; do defs+=("-D$o=OFF"); done

log=$work/configure.log
cmake -S "$tree" -B "$build_dir" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DBUILD_LIST=core,imgproc,imgcodecs \
  -DCPU_BASELINE=SSE2 -DCPU_DISPATCH="SSE4_1;SSE4_2;AVX;FP16;AVX2" \
  -DWITH_PTHREADS_PF=ON \
  -DZLIB_LIBRARY="$sysroot/lib/libz.a" -DZLIB_INCLUDE_DIR="$sysroot/include" \
  -DOPENCV_DOWNLOAD_PATH="$work/no-downloads" \
  "${defs[@]}" >"$log" 2>&1 || { tail -n 40 "$log"; exit 1; }
# A download attempt would show up in the configure log; refuse to continue with one.
# (The note "ocv_init_download: ... will be downloaded from github.com by default" is printed
# for every tarball build and fetches nothing.)
if grep -qE 'Downloading|Download:|download failed' "$log" ||
  [ -n "$(find "$work/no-downloads" -type f ! -name .gitignore 2>/dev/null)" ]; then
  grep -iE 'download' "$log" | head
  echo "OpenCV configuration tried to download something" >&2
  exit 1
fi
cmake --build "$build_dir" -j"$jobs"
cmake --install "$build_dir" >/dev/null
echo "$wanted" >"$stamp"

minutes=$(awk -v s="$(($(date +%s) - start))" 'BEGIN { printf "%.1f", s / 60 }')
echo "OpenCV $version for $triple: built in $minutes minutes, prefix $(du -sh "$prefix" | cut -f1)"
