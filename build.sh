#!/usr/bin/env bash
# Builds Tessaline on Debian 12 and installs the packages it needs first.
#
#   ./build.sh run [FOLDER]   build and start the program, optionally on FOLDER
#   ./build.sh test           build and run every test
#   ./build.sh test-asan      the tests once more under AddressSanitizer + UBSan
#   ./build.sh bench          build the benchmark programs (build/release/bench)
#   ./build.sh mutants [ARGS] put the faults of tools/mutants/*.txt in one at a time and tell which
#                             the tests catch (tools/mutants/run --help; not part of CI)
#   ./build.sh package        build the Debian package build/release/tessaline_VERSION_ARCH.deb
#
# TESSALINE_WERROR=ON turns compiler warnings into errors (CI sets it).
set -euo pipefail
caller_dir=$PWD
cd "$(dirname "$0")"

# libheif-dev for phone photos (HEIC, AVIF); Debian 12's libheif1 brings the decoders libde265 and
# dav1d, and the encoders x265 and aom with which the tests make their phone photos.
# FFmpeg's libraries for clips (MP4, MOV, Matroska, AVI, MTS); Debian 12's libavcodec59 brings the
# decoders, and the encoders libx264 and MPEG-4 with which the tests make their clips.
# qt6-translations-l10n: Qt's own buttons and dialogs in German.
packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev libturbojpeg0-dev libsqlite3-dev
          libexiv2-dev libheif-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
          fonts-liberation qt6-image-formats-plugins qt6-translations-l10n)
# The checkers of the desktop entry, the AppStream metainfo and the manual page, and the locale
# data for the tests that sort under German collation rules.
test_packages=(desktop-file-utils appstream groff-base locales)
test_locale=de_DE.UTF-8
# dpkg-shlibdeps, and file, with which CPack finds the binaries to hand it.
package_packages=(dpkg-dev file)

install_missing() {
    local missing=() p
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Some tests check that the file order stays the code-unit order where a locale's collation would
# put the names otherwise.
generate_test_locale() {
    locale -a 2>/dev/null | grep -qix "${test_locale/UTF-8/utf8}" && return 0
    echo "Generating the locale $test_locale"
    as_root sed -i "s/^# *\($test_locale UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$test_locale UTF-8" /etc/locale.gen || echo "$test_locale UTF-8" | as_root tee -a /etc/locale.gen > /dev/null
    as_root locale-gen > /dev/null
}

configure_and_build() {
    local preset=$1; shift
    cmake --preset "$preset" -DTESSALINE_WERROR="${TESSALINE_WERROR:-OFF}" > /dev/null
    cmake --build --preset "$preset" "$@"
}

command=${1:-run}
[ $# -gt 0 ] && shift
case "$command" in
    run)
        install_missing
        configure_and_build release --target tessaline
        # From where it was called, so that a relative FOLDER means what the caller meant.
        program=$PWD/build/release/tessaline
        cd "$caller_dir"
        exec "$program" "$@"
        ;;
    test)
        install_missing "${test_packages[@]}"
        generate_test_locale
        configure_and_build debug
        ctest --preset debug --timeout 600 "$@"
        ;;
    test-asan)
        install_missing "${test_packages[@]}"
        generate_test_locale
        configure_and_build asan
        ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
        UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
            ctest --preset asan --timeout 900 "$@"
        ;;
    bench)
        install_missing
        configure_and_build release
        ;;
    mutants)
        install_missing "${test_packages[@]}"
        generate_test_locale
        exec tools/mutants/run "$@"
        ;;
    package)
        install_missing "${package_packages[@]}"
        configure_and_build release
        (cd build/release && cpack -G DEB)
        ;;
    *)
        echo "usage: $0 run [FOLDER] | test | test-asan | bench | mutants [ARGS] | package" >&2
        exit 2
        ;;
esac
