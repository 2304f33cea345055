#!/bin/bash
# A test script's exchanges against the minimal UDP responder, beside the
# outside client's one-in-flight round trips against the same responder:
#   bench/script_udp.sh BUILD TOOLS [RUNS]
# BUILD is an optimised build folder, TOOLS the folder with udp_client.c and
# udp_responder.c. Each run times udp_client's rtt 20000, then a script that
# loops krovan.write + krovan.expect for 10 s on the headless program's UDP
# link (capture to a file), and gives both rates and their ratio; the end
# gives the medians.
set -euo pipefail
build=$(cd "$1" && pwd)
tools=$(cd "$2" && pwd)
runs=${3:-3}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
gcc -O2 -Wall -o "$work/udp_client" "$tools/udp_client.c"
gcc -O2 -Wall -o "$work/udp_responder" "$tools/udp_responder.c"

programport=56200 responderport=56202
cat >"$work/lab.ini" <<INI
[Form_main]
connection=3
rx_port=$programport
tx_adr=127.0.0.1
tx_port=$responderport
INI
cat >"$work/exchange.lua" <<'LUA'
local request = krovan.bytes("<stx>KRBENCH-0123456789A")
local n, stop = 0, krovan.now() + 10000
while krovan.now() < stop do
    krovan.write(request)
    if krovan.expect("^ACK$", 1000) then n = n + 1 end
end
print(string.format("script %.0f", n / 10))
LUA
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

: >"$work/figures"
for run in $(seq "$runs"); do
    "$work/udp_responder" "$responderport" >/dev/null 2>&1 &
    responder=$!
    sleep 0.3
    client=$("$work/udp_client" -p $responderport rtt 20000 |
        awk '/replies=/ {split($1, r, "="); replies = r[2]} /wall=/ {split($1, w, "="); sub("s", "", w[2]); wall = w[2]} END {printf "%.0f", replies / wall}')
    script=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$build/src/krovan" --headless "$work/lab.ini" --script "$work/exchange.lua" \
        --capture "$work/capture.tsv" 2>&1 >/dev/null | awk '/script/ {print $NF}')
    kill $responder
    wait $responder 2>/dev/null || true
    rm -f "$work/capture.tsv"*
    echo "$client $script" >>"$work/figures"
done
awk '{printf "run %d: udp_client %d exchanges/s, script %d (%.2fx)\n", NR, $1, $2, $2 / $1}' "$work/figures"
echo "medians: udp_client $(awk '{print $1}' "$work/figures" | median)/s," \
     "script $(awk '{print $2}' "$work/figures" | median)/s," \
     "ratio $(awk '{print $2 / $1}' "$work/figures" | median)x"
