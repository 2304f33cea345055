#!/bin/sh
# Builds one fuzz target with clang and runs it on its seed corpus for the
# given number of seconds.
#   run_fuzz.sh icmp_reply|byte_expression SOURCE_DIR BUILD_DIR SECONDS
set -e
target=$1
source_dir=$2
build_dir=$3
seconds=${4:-20}
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
case $target in
icmp_reply)
    sources="$source_dir/src/core/icmp_echo.cpp"
    includes="-I$source_dir/src/core"
    libraries=""
    corpus=icmp_reply_corpus ;;
byte_expression)
    sources="$source_dir/src/session/byte_expression.cpp"
    includes="-I$source_dir/src/session"
    libraries="$(pkg-config --libs libpcre2-8)"
    corpus=expression_corpus ;;
*)
    echo "unknown fuzz target $target" >&2
    exit 2 ;;
esac
mkdir -p "$build_dir/$target"
"$compiler" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    $includes $sources "$source_dir/tests/fuzz/${target}_fuzz.cpp" $libraries \
    -o "$build_dir/${target}_fuzz"
# New inputs go to the build tree; the committed seeds stay as they are.
exec "$build_dir/${target}_fuzz" -max_total_time="$seconds" -timeout=5 -print_final_stats=1 \
    -artifact_prefix="$build_dir/$target-" "$build_dir/$target" "$source_dir/tests/fuzz/$corpus"
