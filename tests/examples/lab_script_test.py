#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The example lab script, unchanged, against the real server on the
simulated set-up "C=1u + R=2": every value it reads must match the exact
impedance Z = 2 - j/(wC), with status 0, as a benchtop meter's accuracy is
stated: the error of the impedance a value implies within 1e-3 of |Z|, so
that the small losses of a good capacitor are judged by what the meter can
resolve, not relative to themselves. A meter that cannot be reached must end
the script with exit 1 and a message.

    lab_script_test.py PATH/TO/quarvel-cli
"""
import cmath
import json
import math
import os
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "examples" / "lab_script.py"
NETWORK = "C=1u + R=2"
CAPACITANCE, RESISTANCE = 1e-6, 2.0
FUNCTIONS = ("CPD CPQ CPG CPRP CSD CSQ CSRS LPD LPQ LPG LPRP LSD LSQ LSRS "
             "RX ZTD ZTR GB YTD YTR").split()
LIST_FREQUENCIES = [100, 1000, 10000]
TOLERANCE = 1e-3


def fail(message):
    sys.exit(f"lab script test: {message}")


def expected_values(function, frequency):
    """The pair a benchtop meter answers for the network, from the
    textbook definitions of the series and parallel equivalents, each with
    the error that 1e-3 of |Z| (or 1 mrad of phase) allows it."""
    w = 2 * math.pi * frequency
    z = complex(RESISTANCE, -1 / (w * CAPACITANCE))
    y = 1 / z
    rs, xs = z.real, z.imag
    g, b = y.real, y.imag
    rp, xp = 1 / g, -1 / b
    d, q = rs / abs(xs), abs(xs) / rs
    cs, ls = -1 / (w * xs), xs / w
    cp, lp = b / w, xp / w
    phase = cmath.phase(z)
    t = TOLERANCE
    allowed = {  # by symbol: an error of t·|Z| in Z, or t rad in phase
        "C": lambda v: t * abs(v), "L": lambda v: t * abs(v), "Z": lambda v: t * v, "Y": lambda v: t * v,
        "R": lambda v: t * abs(z), "X": lambda v: t * abs(z), "G": lambda v: t * abs(y), "B": lambda v: t * abs(y),
        "RP": lambda v: t * abs(y) * v * v, "D": lambda v: t * (1 + v * v), "Q": lambda v: t * (1 + v * v),
        "DEG": lambda v: math.degrees(t), "RAD": lambda v: t,
    }
    symbols = {"CPRP": ("C", "RP"), "LPRP": ("L", "RP"), "RX": ("R", "X"), "GB": ("G", "B"),
               "ZTD": ("Z", "DEG"), "ZTR": ("Z", "RAD"), "YTD": ("Y", "DEG"), "YTR": ("Y", "RAD")}
    pair = values_of(function, cs, cp, ls, lp, rs, rp, xs, g, b, d, q, z, y, phase)
    first, second = symbols.get(function, (function[0], function[2:] if function[2:] != "RS" else "R"))
    return pair, (allowed[first](pair[0]), allowed[second](pair[1]))


def values_of(function, cs, cp, ls, lp, rs, rp, xs, g, b, d, q, z, y, phase):
    return {
        "CPD": (cp, d), "CPQ": (cp, q), "CPG": (cp, g), "CPRP": (cp, rp),
        "CSD": (cs, d), "CSQ": (cs, q), "CSRS": (cs, rs),
        "LPD": (lp, d), "LPQ": (lp, q), "LPG": (lp, g), "LPRP": (lp, rp),
        "LSD": (ls, d), "LSQ": (ls, q), "LSRS": (ls, rs),
        "RX": (rs, xs), "ZTD": (abs(z), math.degrees(phase)), "ZTR": (abs(z), phase),
        "GB": (g, b), "YTD": (abs(y), -math.degrees(phase)), "YTR": (abs(y), -phase),
    }[function]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def run_script(port):
    return subprocess.run([sys.executable, str(SCRIPT), "--port", str(port), "--json"],
                          capture_output=True, text=True, timeout=100)


def start_server(cli, workdir):
    """Starts the server on a free port; another program may take the port
    between the probe and the server's bind, so a refused bind is retried."""
    for _ in range(5):
        port = free_port()
        log = workdir / f"server-{port}.log"
        # The server appends to a file of its own: a shared offset would let
        # our reading move where its next piece of a line lands.
        with open(log, "ab") as server_stderr:
            server = subprocess.Popen([cli, "serve", "--sim", NETWORK, "--port", str(port)],
                                      cwd=workdir, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=server_stderr)
        deadline = time.monotonic() + 60  # a sanitizer build starts slowly
        while time.monotonic() < deadline:
            if "listening on" in log.read_text(errors="replace"):
                return server, port, log
            if server.poll() is not None:
                break
            time.sleep(0.05)
        stop(server)
        text = log.read_text(errors="replace")
        if "in use" not in text:
            fail(f"the server did not start: {text.strip() or 'no message within 60 s'}")
    fail("no free port for the server after 5 tries")


def stop(server):
    if server.poll() is None:
        server.terminate()
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def compare(where, function, frequency, row, problems):
    exact_pair, allowed_pair = expected_values(function, frequency)
    for name, value, exact, allowed in zip(("A", "B"), (row["a"], row["b"]), exact_pair, allowed_pair):
        if not abs(value - exact) <= allowed:
            problems.append(f"{where} {function} {name} = {value:.7g}, exact {exact:.7g} "
                            f"(error {value - exact:+.2e}, allowed {allowed:.2e})")
    if row["status"] != 0:
        problems.append(f"{where} {function} status {row['status']}, not 0")


def check_unreachable():
    result = run_script(free_port())
    if result.returncode != 1 or "cannot reach the meter" not in result.stderr or result.stdout:
        fail(f"without a meter the script exited {result.returncode} and said "
             f"{result.stderr.strip()!r} (output {result.stdout.strip()!r})")


def check_readings(cli):
    with tempfile.TemporaryDirectory() as name:
        workdir = Path(name)  # no calibration file of the build's or the user's
        server, port, log = start_server(cli, workdir)
        try:
            result = run_script(port)
        finally:
            stop(server)
            server_log = log.read_text(errors="replace").strip()
    if result.returncode != 0:
        fail(f"the script exited {result.returncode}: {result.stderr.strip()}\n"
             f"server: {server_log}")
    results = json.loads(result.stdout)

    problems = []
    if not results["idn"].startswith("Quarvel,"):
        problems.append(f"*IDN? answered {results['idn']!r}")
    if results["errors"] != '0,"No error"':
        problems.append(f"SYST:ERR:ALL? answered {results['errors']!r}")
    if [row["function"] for row in results["functions"]] != FUNCTIONS:
        problems.append(f"functions read: {[row['function'] for row in results['functions']]}")
    for row in results["functions"]:
        compare("1 kHz", row["function"], 1000, row, problems)
    if [row["frequency"] for row in results["list"]] != LIST_FREQUENCIES:
        problems.append(f"list points: {[row['frequency'] for row in results['list']]}")
    for row in results["list"]:
        compare(f"list {row['frequency']} Hz", "CSRS", row["frequency"], row, problems)
        if row["bin"] != 0:
            problems.append(f"list {row['frequency']} Hz bin {row['bin']}, not 0 without limits")
    if problems:
        fail("readings of " + NETWORK + " do not match:\n  " + "\n  ".join(problems))
    return len(results["functions"]), len(results["list"])


def main():
    if len(sys.argv) != 2 or not os.access(sys.argv[1], os.X_OK):
        fail("usage: lab_script_test.py PATH/TO/quarvel-cli")
    try:
        import pyvisa  # noqa: F401
        import pyvisa_py  # noqa: F401
    except ImportError as error:
        fail(f"{sys.executable} lacks PyVISA ({error}); tools/setup.sh installs it")
    check_unreachable()
    functions, points = check_readings(os.path.abspath(sys.argv[1]))  # the server runs elsewhere
    print(f"lab script test: {functions} functions at 1 kHz and {points} list points of "
          f"{NETWORK} within {TOLERANCE:g} of the exact values; without a meter exit 1")


if __name__ == "__main__":
    main()
