#!/bin/sh
# Builds the ICMP reply decoder's fuzz target with clang and runs it on the
# seed corpus for the given number of seconds.
#   run_icmp_fuzz.sh SOURCE_DIR BUILD_DIR SECONDS
set -e
source_dir=$1
build_dir=$2
seconds=${3:-20}
compiler=""
for candidate in clang++-14 clang++; do
    if command -v "$candidate" >/dev/null 2>&1; then
        compiler=$candidate
        break
    fi
done
if [ -z "$compiler" ]; then
    echo "clang++ not found; ./scripts/setup.sh installs it" >&2
    exit 1
fi
mkdir -p "$build_dir/corpus"
"$compiler" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$source_dir/src/core" \
    "$source_dir/src/core/icmp_echo.cpp" "$source_dir/tests/fuzz/icmp_reply_fuzz.cpp" \
    -o "$build_dir/icmp_reply_fuzz"
# New inputs go to the build tree; the committed seeds stay as they are.
exec "$build_dir/icmp_reply_fuzz" -max_total_time="$seconds" -timeout=5 -print_final_stats=1 \
    -artifact_prefix="$build_dir/" "$build_dir/corpus" "$source_dir/tests/fuzz/icmp_reply_corpus"
