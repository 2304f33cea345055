#!/bin/sh
# Includes go one way, ui -> session -> links, core; the session library
# links no Gui and no Widgets. Usage: layering.sh SRC LINKS_FILE
set -eu
src=$1
links=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
grep -q 'Qt6::Core' "$links" || fail "krovan_session does not name Qt6::Core: $(cat "$links")"
if grep -Eq 'Gui|Widgets|krovan_ui' "$links"; then
    fail "krovan_session links the windowing toolkit: $(cat "$links")"
fi
# Headers of the windows, and the widget modules of the toolkit.
ui_headers=$(cd "$src/ui" && ls *.h logview/*.h | xargs -n1 basename | sed 's/[.]/[.]/g' | paste -sd'|')
for layer in core links session script app/headless_options.cpp app/headless_run.cpp; do
    found=$(grep -EHn "#include *[<\"](($ui_headers)|Qt(Gui|Widgets)/|Q(Widget|GuiApplication|MainWindow|Dialog|MessageBox)[>\"])" "$src/$layer" -r || true)
    [ -z "$found" ] || fail "src/$layer includes a window or widget header: $found"
done
echo "krovan_session links $(tr '\n' ' ' <"$links"); no layer below the windows includes them"
