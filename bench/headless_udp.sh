#!/bin/bash
# The headless program as a UDP responder against the outside client, beside
# the minimal responder in the same run:
#   bench/headless_udp.sh BUILD TOOLS [RUNS]
# BUILD is an optimised build folder, TOOLS the folder with udp_client.c and
# udp_responder.c. Each run measures the round trip (rtt 3000) and the
# sustained rate with 32 in flight (window 20000) of both, then the
# program's resident memory after 100 000 and after 1 000 000 answers.
set -euo pipefail
build=$(cd "$1" && pwd)
tools=$(cd "$2" && pwd)
runs=${3:-3}
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
data=ACK
[Form_RX_filtr]
filtr_framecount=1
[Frame_filtr_1]
filter=<stx>
macro=ACK
active=1
INI
rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

for run in $(seq "$runs"); do
    rm -f "$work/capture.tsv"*
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$build/src/krovan" --headless "$work/lab.ini" --capture "$work/capture.tsv" &
    program=$!
    "$work/udp_responder" "$responderport" >/dev/null 2>&1 &
    responder=$!
    sleep 0.5
    echo "== run $run"
    echo "-- program"
    "$work/udp_client" -p $programport -b $clientport -P $program rtt 3000
    "$work/udp_client" -p $programport -b $clientport -P $program -t 500 window 20000
    echo "-- responder"
    "$work/udp_client" -p $responderport rtt 3000
    "$work/udp_client" -p $responderport -t 500 window 20000
    echo "-- memory"
    "$work/udp_client" -p $programport -b $clientport -t 500 window 77000 >/dev/null
    echo "resident after 100000 answers: $(rss $program) kB"
    "$work/udp_client" -p $programport -b $clientport -t 500 window 900000 | grep -i "repl\|lost" || true
    echo "resident after 1000000 answers: $(rss $program) kB"
    kill -TERM $program $responder
    wait $program || true
    echo "capture lines: $(wc -l <"$work/capture.tsv"), entries left out: $(grep -c 'left out' "$work/capture.tsv" || true)"
done
