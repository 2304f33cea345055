#!/usr/bin/python3
"""A real Modbus client (pymodbus) reads holding registers from
`krovan --headless` simulating a device with one regular-expression filter
and one macro: over Modbus TCP, and over Modbus RTU on a pseudo-terminal.
Each answer echoes what the request carried (transaction id, unit, the
register's address as its value) and RTU answers end in their CRC.

Usage: modbus_device_test.py KROVAN"""
import os
import socket
import subprocess
import sys
import tempfile
import time

from pymodbus.client import ModbusSerialClient, ModbusTcpClient

KROVAN = sys.argv[1]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def setup(folder, main, pattern, macro):
    """A set-up file whose filter (mode "výraz") answers with the macro."""
    path = os.path.join(folder, "device.ini")
    with open(path, "wb") as ini:
        ini.write(("[Form_main]\r\n" + main +
                   "\r\n[Form_TX]\r\nTX_framecount=1\r\n"
                   "[Frame_TX_1]\r\ndescribe=read\r\ndata=" + macro +
                   "\r\ninterval=1000\r\n"
                   "[Form_RX_filtr]\r\nfiltr_framecount=1\r\n[Frame_filtr_1]\r\n"
                   "filter=" + pattern + "\r\nmacro=read\r\nactive=1\r\nhex=0\r\nmode=4\r\n")
                  .encode("cp1250"))
    return path


def start(arguments, folder):
    log = open(os.path.join(folder, "capture.tsv"), "wb")
    return subprocess.Popen([KROVAN, "--headless"] + arguments, stdout=log,
                            stderr=subprocess.PIPE)


def end(program):
    program.terminate()
    try:
        _, errors = program.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        program.kill()
        _, errors = program.communicate()
    check(not errors, "krovan wrote errors: %r" % errors)


def readregisters(client, unit):
    """Reads registers 0, 7 and 300 one at a time: each holds its address."""
    for address in (0, 7, 300):
        reply = client.read_holding_registers(address, 1, slave=unit)
        check(not reply.isError() and reply.registers == [address],
              "unit %d register %d read %r" % (unit, address, reply))


def tcpdevice(folder):
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    # Transaction id, protocol 0, length 6, unit, function 3, address, count 1.
    ini = setup(folder, "tcp_s_p=%d" % port, r"^(..)\x00\x00\x00\x06(.)\x03(..)\x00\x01",
                "<=1>$00$00$00$05<=2>$03$02<=3>")
    program = start([ini, "--link", "tcp-server"], folder)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.1)
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=3, retries=0)
    check(client.connect(), "the TCP client did not connect")
    readregisters(client, 1)
    readregisters(client, 17)
    client.close()
    end(program)


def rtudevice(folder):
    device, peer = os.path.join(folder, "device"), os.path.join(folder, "client")
    pair = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + device,
                             "pty,raw,echo=0,link=" + peer])
    for _ in range(50):
        if os.path.exists(device) and os.path.exists(peer):
            break
        time.sleep(0.1)
    # Unit, function 3, address, count 1 (and the request's CRC, not read).
    ini = setup(folder, "", r"^(.)\x03(..)\x00\x01", "<=1>$03$02<=2><=crc16-modbus>")
    program = start([ini, "--link", "serial", "--port", os.path.realpath(device)], folder)
    time.sleep(0.5)
    client = ModbusSerialClient(os.path.realpath(peer), baudrate=115200, timeout=3, retries=0)
    check(client.connect(), "the serial client did not open its port")
    readregisters(client, 1)
    readregisters(client, 5)
    client.close()
    end(program)
    pair.terminate()
    pair.wait()


with tempfile.TemporaryDirectory() as folder:
    tcpdevice(folder)
with tempfile.TemporaryDirectory() as folder:
    rtudevice(folder)
print("FAILED: %d" % len(failures) if failures else "every read answered correctly")
sys.exit(1 if failures else 0)
