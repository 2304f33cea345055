#!/usr/bin/env python3
"""A device's stream through ser2net, to the headless program on a network
serial port (rfc2217) and, side by side in the same run, to the program's
TCP client on the same kind of ser2net port in raw TCP mode:

    bench/network_serial.py BUILD [RUNS]

BUILD is an optimised build folder. Each run, for each of the two, starts the
program on a pseudo-terminal behind its own ser2net and measures
  - the stream: 10 MB of random bytes written by the device, then <stx>END,
    until the program's answer (a filter that contains <stx>END) is back at
    the device: the rate at which the bytes reached the filters and the logs
    (the entries go to a capture file);
  - the round trip: 200 requests of 20 bytes beginning with <stx>, each
    answered by the program, one at a time (median).
The end gives the medians and the network port's figures as ratios to the
TCP client's.
"""
import os, random, select, shutil, signal, socket, statistics, subprocess, sys, tempfile, time, tty

STREAM = 10 * 1000 * 1000
ROUNDS = 200


def freeport():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def writeall(fd, data):
    view = memoryview(data)
    while view:
        select.select([], [fd], [])
        view = view[os.write(fd, view[:65536]):]


def readuntil(fd, byte, timeout=60.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        ready, _, _ = select.select([fd], [], [], 0.5)
        if ready and byte in os.read(fd, 4096):
            return True
    return False


def drain(fd):
    while select.select([fd], [], [], 0)[0]:
        os.read(fd, 65536)


def measure(build, work, mode, payload):
    master, slave = os.openpty()
    tty.setraw(master)
    device = os.ttyname(slave)
    port = freeport()
    accepter = "telnet(rfc2217),tcp" if mode == "rfc2217" else "tcp"
    config = os.path.join(work, mode + ".yaml")
    with open(config, "w") as f:
        f.write(f"connection: &port\n  accepter: {accepter},127.0.0.1,{port}\n"
                f"  connector: serialdev,{device},115200n81,local\n")
    server = subprocess.Popen(["ser2net", "-n", "-u", "-c", config, "-P", config + ".pid"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            break
        except OSError:
            time.sleep(0.03)
    time.sleep(0.1)
    ini = os.path.join(work, mode + ".ini")
    with open(ini, "w") as f:
        main = ("connection=0\r\ncom_baud=115200" if mode == "rfc2217" else
                f"connection=1\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p={port}")
        f.write(f"[Form_main]\r\n{main}\r\n[Form_TX]\r\nTX_framecount=1\r\n[Frame_TX_1]\r\n"
                "describe=ack\r\ndata=<ack>\r\n[Form_RX_filtr]\r\nfiltr_framecount=2\r\n"
                "[Frame_filtr_1]\r\nfilter=<stx>END\r\nmacro=ack\r\nactive=1\r\nmode=1\r\n"
                "[Frame_filtr_2]\r\nfilter=<stx>\r\nmacro=ack\r\nactive=1\r\nmode=0\r\n")
    args = [os.path.join(build, "src", "krovan"), "--headless", ini,
            "--capture", os.path.join(work, mode + ".tsv")]
    if mode == "rfc2217":
        args += ["--port", f"rfc2217://127.0.0.1:{port}"]
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    program = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL)
    time.sleep(0.7)
    drain(master)
    try:
        start = time.monotonic()
        writeall(master, payload + b"\x02END")
        if not readuntil(master, b"\x06"):
            raise SystemExit(f"{mode}: no answer to the stream")
        rate = STREAM / (time.monotonic() - start) / 1e6
        time.sleep(0.3)
        drain(master)
        rtts = []
        for _ in range(ROUNDS):
            t = time.monotonic()
            writeall(master, b"\x02" + b"r" * 19)
            if not readuntil(master, b"\x06", 5):
                raise SystemExit(f"{mode}: no answer to a request")
            rtts.append((time.monotonic() - t) * 1e6)
        return rate, statistics.median(rtts)
    finally:
        program.send_signal(signal.SIGTERM)
        program.wait(10)
        server.terminate()
        server.wait(10)
        os.close(master)
        os.close(slave)


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    if not shutil.which("ser2net"):
        raise SystemExit("ser2net is not installed")
    # Random bytes without <stx>, so that only the end marker is answered.
    payload = bytes(b if b != 2 else 3 for b in random.Random(2217).randbytes(STREAM))
    work = tempfile.mkdtemp()
    figures = []
    try:
        for run in range(1, runs + 1):
            net = measure(build, work, "rfc2217", payload)
            tcp = measure(build, work, "tcp", payload)
            figures.append((net, tcp))
            print(f"run {run}: stream {net[0]:.1f} vs {tcp[0]:.1f} MB/s ({net[0] / tcp[0]:.2f}x), "
                  f"round trip {net[1]:.0f} vs {tcp[1]:.0f} us ({net[1] / tcp[1]:.2f}x)", flush=True)
    finally:
        shutil.rmtree(work)
    print("medians: stream ratio %.2fx, round trip ratio %.2fx (network port / TCP client)" % (
        statistics.median(n[0] / t[0] for n, t in figures),
        statistics.median(n[1] / t[1] for n, t in figures)))


if __name__ == "__main__":
    main()
