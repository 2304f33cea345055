#!/bin/bash
# The headless program as a UDP responder against the outside client, beside
# the minimal responder in the same run:
#   bench/headless_udp.sh BUILD TOOLS [RUNS]
# BUILD is an optimised build folder, TOOLS the folder with udp_client.c and
# udp_responder.c. Each run measures the round trip (rtt 3000) and the
# sustained rate with 32 in flight (window 100000) of the program and of the
# responder, one after the other, then the program's resident memory after
# 100 000 and after 1 000 000 answers. The end gives the medians and the
# program's figures as ratios to the responder's. BENCH_MACRO sets the
# answer's data text (default ACK) and BENCH_REPLY the reply the client
# expects, in hex (default 41434b).
set -euo pipefail
build=$(cd "$1" && pwd)
tools=$(cd "$2" && pwd)
runs=${3:-3}
reply=(-r "${BENCH_REPLY:-41434b}")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
gcc -O2 -Wall -o "$work/udp_client" "$tools/udp_client.c"
gcc -O2 -Wall -o "$work/udp_responder" "$tools/udp_responder.c"

programport=56100 clientport=56101 responderport=56102
cat >"$work/lab.ini" <<INI
[Form_main]
connection=3
rx_port=$programport
tx_adr=127.0.0.1
tx_port=$clientport
[Form_TX]
TX_framecount=1
[Frame_TX_1]
describe=ACK
data=${BENCH_MACRO:-ACK}
[Form_RX_filtr]
filtr_framecount=1
[Frame_filtr_1]
filter=<stx>
macro=ACK
active=1
INI
rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
# The figure a CSV line of the client gives: rtt p50 (7), p99 (9), window
# replies per second (7) and lost (6).
csv() { grep "^CSV,$1," | cut -d, -f"$2"; }
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

: >"$work/figures"
for run in $(seq "$runs"); do
    rm -f "$work/capture.tsv"*
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$build/src/krovan" --headless "$work/lab.ini" --capture "$work/capture.tsv" &
    program=$!
    "$work/udp_responder" "$responderport" >/dev/null 2>&1 &
    responder=$!
    sleep 0.5
    p=$("$work/udp_client" -p $programport -b $clientport "${reply[@]}" rtt 3000)
    r=$("$work/udp_client" -p $responderport rtt 3000)
    pw=$("$work/udp_client" -p $programport -b $clientport "${reply[@]}" -t 500 window 100000)
    rw=$("$work/udp_client" -p $responderport -t 500 window 100000)
    before=$(rss $program)
    "$work/udp_client" -p $programport -b $clientport "${reply[@]}" -t 500 window 896800 >/dev/null
    after=$(rss $program)
    kill -TERM $program $responder
    wait $program || true
    lines=$(wc -l <"$work/capture.tsv")
    leftout=$(grep -c 'left out' "$work/capture.tsv" || true)
    echo "$(csv rtt 7 <<<"$p") $(csv rtt 7 <<<"$r") $(csv rtt 9 <<<"$p") $(csv rtt 9 <<<"$r")" \
         "$(csv window 7 <<<"$pw") $(csv window 7 <<<"$rw") $(csv window 6 <<<"$pw")" \
         "$before $after $lines $leftout" >>"$work/figures"
done
awk '{printf "run %d: rtt p50 %s vs %s us (%.2fx), p99 %s vs %s us; 32 in flight %s vs %s/s (%.2fx), lost %s; resident %d -> %d kB; %d capture lines, %d notes of entries left out\n",
      NR, $1, $2, $1 / $2, $3, $4, $5, $6, $5 / $6, $7, $8, $9, $10, $11}' "$work/figures"
echo "medians: rtt p50 ratio $(awk '{print $1 / $2}' "$work/figures" | median)x," \
     "p99 $(awk '{print $3}' "$work/figures" | median) us," \
     "32 in flight ratio $(awk '{print $5 / $6}' "$work/figures" | median)x," \
     "resident growth $(awk '{print ($9 - $8) / 1024}' "$work/figures" | median) MB"
