#!/bin/sh
# Every C++ source and header of the project is formatted as .clang-format
# says. Usage: format_check.sh SOURCE_DIR
set -eu
cd "$1"
files=$(find src tests bench -name '*.cpp' -o -name '*.h' | sort)
unformatted=""
for file in $files; do
    clang-format-14 --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted="$unformatted $file"
done
if [ -n "$unformatted" ]; then
    echo "not formatted (clang-format-14 -i FILE):$unformatted" >&2
    exit 1
fi
echo "$(echo "$files" | wc -l) files formatted"
