#!/bin/sh
# The UDP loop as a user runs it: the program under Xvfb with every log box
# of "Stavy a data" checked and all windows shown, UDP open (its connect
# button clicked), a filter <stx> answering with the macro ACK. The shared
# client measures it beside the shared minimal responder in the same run:
# round trips, a burst and a window of 32 in flight, RUNS times; then the
# program's resident memory after 1 million answered datagrams.
#   bench/udp_outside.sh BUILD TOOLS [RUNS] [PLACE]
# PLACE pins the processes, since a round trip on this kind of machine
# depends on whether the two ends share a core: "same" puts the program,
# the responder and the client on core 0, "apart" puts the client on core 1
# instead; Xvfb is on core 1 in both. Without PLACE the scheduler decides,
# as for a user.
# With PERF_OUT set, the memory phase is recorded by perf (linux-perf) into
# that file, for a profile of the program under load (PERF_ARGS: its
# options, "-F 1999 -g" unless given).
# With LOGS=off the windows stay open but the boxes of "Stavy a data" and
# the data windows' "Čas" are unchecked: nothing but the data windows'
# lines is logged.
# BUILD is an optimised tree (src/krovan, bench/button_place); TOOLS holds
# udp_client.c and udp_responder.c. Needs Xvfb, xdotool and gcc.
set -eu
build=$(cd "$1" && pwd)
tools=$(cd "$2" && pwd)
runs=${3:-3}
place=${4:-}
case "${LOGS:-on}" in
on) box=1 ;;
off) box=0 ;;
*) echo "LOGS is on or off" >&2; exit 2 ;;
esac
case "$place" in
"") onserver=""; onclient=""; onx="" ;;
same) onserver="taskset -c 0"; onclient="taskset -c 0"; onx="taskset -c 1" ;;
apart) onserver="taskset -c 0"; onclient="taskset -c 1"; onx="taskset -c 1" ;;
*) echo "PLACE is same or apart" >&2; exit 2 ;;
esac
work=$(mktemp -d)
display=:57
program=7011 # the program's local port
client=7012  # its destination, where the client binds
responder=7013
xvfb=""
app=""
answer=""
cleanup() {
    for pid in $app $answer $xvfb; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

gcc -O2 -Wall -o "$work/udp_client" "$tools/udp_client.c"
gcc -O2 -Wall -o "$work/udp_responder" "$tools/udp_responder.c"
$onx Xvfb $display -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1

mkdir "$work/app"
cp "$build/src/krovan" "$work/app/"
cat >"$work/app/default.ini" <<INI
[Form_main]
Left=0
top=0
width=900
height=130
WindowState=0
connection=3
rx_port=$program
tx_adr=127.0.0.1
tx_port=$client
[Form_RX_TX]
Left=0
top=300
width=700
height=400
visible=1
show_rx=$box
show_tx=$box
show_time=$box
show_adr=$box
show_makro=$box
show_hex=$box
show_stavy=$box
[Form_RXW]
Left=720
top=300
width=500
height=200
visible=1
show_time=$box
[Form_TXW]
Left=720
top=550
width=500
height=200
visible=1
show_time=$box
[Form_TX]
Left=0
top=150
visible=1
TX_framecount=1
[Frame_TX_1]
describe=ACK
data=ACK
[Form_RX_filtr]
Left=400
top=150
visible=1
filtr_framecount=1
[Frame_filtr_1]
filter=<stx>
macro=ACK
active=1
INI
place=$("$build/bench/button_place" "$work/app/default.ini")
echo "connect button at: $place"
x=${place%% *}
rest=${place#* }
y=${rest%% *}

startprogram() {
    cp "$work/app/default.ini" "$work/app/start.ini"
    (cd "$work/app" && exec $onserver ./krovan) >/dev/null 2>&1 &
    app=$!
    sleep 2
    xdotool mousemove "$x" "$y" click 1
    sleep 1
}
stopprogram() {
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    app=""
    cp "$work/app/start.ini" "$work/app/default.ini"
}

$onserver "$work/udp_responder" $responder &
answer=$!
sleep 0.5
c="$onclient $work/udp_client"
for run in $(seq "$runs"); do
    echo "== run $run =="
    startprogram
    echo "-- program --"
    $c -p $program -b $client -P "$app" rtt 3000 | grep -E "replies=|RTT us|CSV"
    $c -p $program -b $client -P "$app" burst 20000 | grep -E "sent=|CSV"
    $c -p $program -b $client -P "$app" -t 500 window 20000 | grep -E "sent=|sustained|CSV"
    echo "-- responder --"
    $c -p $responder -P "$answer" rtt 3000 | grep -E "replies=|RTT us|CSV"
    $c -p $responder -P "$answer" burst 20000 | grep -E "sent=|CSV"
    $c -p $responder -P "$answer" -t 500 window 20000 | grep -E "sent=|sustained|CSV"
    stopprogram
done

echo "== memory after 1 000 000 answered datagrams =="
startprogram
recorder=""
if [ -n "${PERF_OUT:-}" ]; then
    perf record ${PERF_ARGS:--F 1999 -g} -p "$app" -o "$PERF_OUT" >/dev/null 2>&1 &
    recorder=$!
fi
$c -p $program -b $client -P "$app" -t 1000 window 1000000 | grep -E "sent=|sustained|CSV"
if [ -n "$recorder" ]; then
    kill -INT "$recorder"
    wait "$recorder" || true
fi
grep -E "VmRSS|VmHWM" "/proc/$app/status"
stopprogram
