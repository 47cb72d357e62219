#!/bin/sh
# Branch coverage of the quick look's and the phone photos' functions, reached from a fuzz
# target's corpus directories: the target built with clang's source-based coverage (in
# build/fuzz-cov), each input run once, the branches counted per function as llvm-cov counts
# them (each condition twice: taken and not taken).
#
#   fuzz/coverage.sh fuzz_preview fuzz/corpus/preview fuzz/corpus/jpeg
#   fuzz/coverage.sh fuzz_heif_decoder CORPUS_DIR fuzz/corpus/heif
set -e
target=$1
shift
cd "$(dirname "$0")/.."
build=build/fuzz-cov
cmake --preset fuzz -B "$build" -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" >/dev/null
cmake --build "$build" --target "$target" >/dev/null
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
LLVM_PROFILE_FILE="$profile/run.profraw" LSAN_OPTIONS=suppressions=fuzz/lsan.supp \
    "$build/fuzz/$target" -runs=0 -max_len=65536 -timeout=30 -rss_limit_mb=4096 "$@" >/dev/null 2>&1
llvm-profdata merge -sparse "$profile/run.profraw" -o "$profile/run.profdata"
llvm-cov export "$build/fuzz/$target" -instr-profile="$profile/run.profdata" >"$profile/run.json"
python3 - "$profile/run.json" <<'EOF'
import json, subprocess, sys

wanted = ["decodeReduced", "thumbnailFirst", "frameCoding", "quickWhenReduced", "decodeHeifThumbnailData",
          "decodeHeif(", "readHeifFile", "decodeOpened", "decodeFile", "readFileMetadata"]
functions = json.load(open(sys.argv[1]))["data"][0]["functions"]
names = subprocess.run(["llvm-cxxfilt"], input="\n".join(f["name"] for f in functions), capture_output=True,
                       text=True).stdout.splitlines()
for function, name in sorted(zip(functions, names), key=lambda pair: pair[1]):
    plain = (name.split(":", 1)[-1] if ".cpp:" in name else name).replace("(anonymous namespace)::", "")
    if not any(w in plain for w in wanted) or "{lambda" in plain or "::$_" in plain:
        continue
    branches = function["branches"]
    covered = sum((b[4] > 0) + (b[5] > 0) for b in branches)
    print(f"{covered:4d} / {2 * len(branches):4d} branches  {plain.split('(')[0]}")
EOF
