#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a part on a LAN-connected LCR meter with PyVISA: one triggered
reading at 1 kHz for each impedance function, then a list sweep at three
frequencies as Cs and Rs. Written as for a benchtop meter; it runs as it is
against `quarvel-cli serve`.

    ./lab_script.py [--host 127.0.0.1] [--port 5025] [--json]

Needs PyVISA and its pure-Python backend (Debian: python3-pyvisa,
python3-pyvisa-py). Exits 1 when the meter cannot be reached or reports
an error.
"""
import argparse
import json
import sys
import time

import pyvisa

FUNCTIONS = ("CPD CPQ CPG CPRP CSD CSQ CSRS LPD LPQ LPG LPRP LSD LSQ LSRS "
             "RX ZTD ZTR GB YTD YTR").split()
SETUP = ("FORM ASC", "FREQ:CW 1KHZ", "VOLT:LEV 1V", "APER MED,4", "FUNC:IMP:RANG:AUTO ON",
         "TRIG:SOUR BUS", "INIT:CONT ON")
LIST_FREQUENCIES = (100, 1000, 10000)
SWEEP_COMPLETE = 8  # bit 3 of the operation status event register
NO_ERROR = '0,"No error"'


def ask(meter, query):
    try:
        return meter.query(query)
    except pyvisa.errors.VisaIOError as error:  # say which query went unanswered
        raise RuntimeError(f"{query} {error}") from None


def numbers(reply):
    return [float(field) for field in reply.split(",")]


def spot_readings(meter):
    rows = []
    for function in FUNCTIONS:
        meter.write(f"FUNC:IMP {function}")
        a, b, status = numbers(ask(meter, "*TRG"))  # *TRG answers like FETC?
        rows.append({"function": function, "a": a, "b": b, "status": int(status)})
    return rows


def list_sweep(meter):
    meter.write("LIST:FREQ " + ",".join(str(f) for f in LIST_FREQUENCIES))
    meter.write("LIST:MODE SEQ")
    meter.write("FUNC:IMP CSRS")
    ask(meter, "STAT:OPER?")  # reading the event register clears it
    meter.write("TRIG:IMM")
    deadline = time.monotonic() + 60
    while not int(ask(meter, "STAT:OPER?")) & SWEEP_COMPLETE:
        if time.monotonic() > deadline:
            raise RuntimeError("the list sweep did not complete within 60 s")
        time.sleep(0.2)
    values = numbers(ask(meter, "FETC?"))  # A, B, status, bin per point
    if len(values) != 4 * len(LIST_FREQUENCIES):
        raise RuntimeError(f"FETC? answered {len(values)} values for "
                           f"{len(LIST_FREQUENCIES)} list points")
    return [{"frequency": frequency, "a": a, "b": b, "status": int(status), "bin": int(bin_)}
            for frequency, (a, b, status, bin_)
            in zip(LIST_FREQUENCIES, zip(*[iter(values)] * 4))]


def print_table(title, first_column, rows):
    print(title)
    print(f"{first_column:>10} {'A':>14} {'B':>14} {'status':>6}")
    for row in rows:
        print(f"{row[first_column]:>10} {row['a']:>14.6e} {row['b']:>14.6e} {row['status']:>6}")
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=5025)
    parser.add_argument("--json", action="store_true",
                        help="print the results as one JSON object instead of tables")
    args = parser.parse_args()

    resource = f"TCPIP0::{args.host}::{args.port}::SOCKET"
    try:
        meter = pyvisa.ResourceManager("@py").open_resource(
            resource, read_termination="\n", write_termination="\n", timeout=40000)
        meter.write("*RST")
        meter.write("*CLS")
        idn = meter.query("*IDN?")
    except Exception as error:  # a refused connection shows only at the first write
        sys.exit(f"lab_script: cannot reach the meter at {resource}: {error}")

    try:
        for command in SETUP:
            meter.write(command)
        spot = spot_readings(meter)
        sweep = list_sweep(meter)
        errors = ask(meter, "SYST:ERR:ALL?")
    except (pyvisa.errors.VisaIOError, OSError, RuntimeError, ValueError) as error:
        sys.exit(f"lab_script: {resource}: {error}")
    finally:
        meter.close()

    if args.json:
        print(json.dumps({"idn": idn, "functions": spot, "list": sweep, "errors": errors}, indent=1))
    else:
        print(idn, end="\n\n")
        print_table("1 kHz, 1 V, one reading per function", "function", spot)
        print_table("List sweep, Cs and Rs", "frequency", sweep)
    if errors != NO_ERROR:
        sys.exit(f"lab_script: the meter reported errors: {errors}")


if __name__ == "__main__":
    main()
