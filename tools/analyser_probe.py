#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The impedance analyser against exact impedances on the simulated set-up.

Runs `quarvel-cli impedance --json` on a list of networks (ideal set-up,
and the realistic one after `calibrate --impedance`), evaluates each
network's exact impedance at every point and prints a Markdown table: the
worst |Z| and phase errors where the divider ratio lies in 0.05 … 0.95
(from 20 Hz), the points outside their deviation, the reference chosen,
the wall time of the run and the process's CPU share.

    tools/analyser_probe.py build/default/cli/quarvel-cli [--ppo 24] [--realtime]
"""
import argparse
import cmath
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import time

PREFIX = {'f': 1e-15, 'p': 1e-12, 'n': 1e-9, 'u': 1e-6, 'µ': 1e-6, 'm': 1e-3, 'k': 1e3, 'M': 1e6, 'G': 1e9}

NETWORKS = [
    "R=5.6",
    "R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)",
    "R=3.2 + L=0.5m + (R=25 | L=12m | C=1.2m)",
    "R=6.3 + L=1.2m + (R=60 | L=8m | C=300u)",
    "C=6.8u + R=4.7 + L=0.05m + (R=8 | L=0.35m | C=60u)",
    "(L=1.5m + R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)) | (C=6.8u + R=4.7 + L=0.05m + (R=8 | L=0.35m | C=60u))",
    "(R=5.6 + L=0.9m + (R=40 | L=22m | C=600u)) | (R=6.8 + C=8u)",
    "L=10m + R=5",
    "C=1u + R=2",
    "R=1k | C=10n",
]


def tokens(text):
    return re.findall(r'[RLC]=[0-9.]+[fpnuµmkMG]?|[()+|]', text.replace(' ', ''))


def element(token, omega):
    kind, number, prefix = re.match(r'([RLC])=([0-9.]+)([fpnuµmkMG]?)', token).groups()
    value = float(number) * PREFIX.get(prefix, 1.0)
    if kind == 'R':
        return complex(value, 0.0)
    return complex(0.0, omega * value) if kind == 'L' else complex(0.0, -1.0 / (omega * value))


def impedance(network, frequency_hz):
    items = tokens(network)
    omega = 2.0 * math.pi * frequency_hz
    position = [0]

    def series():
        z = parallel()
        while position[0] < len(items) and items[position[0]] == '+':
            position[0] += 1
            z += parallel()
        return z

    def parallel():
        z = atom()
        while position[0] < len(items) and items[position[0]] == '|':
            position[0] += 1
            other = atom()
            z = z * other / (z + other)
        return z

    def atom():
        item = items[position[0]]
        position[0] += 1
        if item == '(':
            z = series()
            position[0] += 1
            return z
        return element(item, omega)

    return series()


def run(cli, arguments, directory):
    start = time.monotonic()
    before = os.times()
    done = subprocess.run([cli] + arguments, cwd=directory, capture_output=True, text=True)
    after = os.times()
    wall = time.monotonic() - start
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    if done.returncode != 0:
        sys.exit(f"{' '.join(arguments)}: exit {done.returncode}: {done.stderr.strip()}")
    return done.stdout, wall, cpu


def judge(curve, network):
    worst_magnitude = worst_phase = worst_ratio = 0.0
    judged = outside = within_u = with_u = 0
    for row in curve['rows']:
        z = complex(row['z']['re'], row['z']['im'])
        truth = impedance(network, row['frequency_hz'])
        magnitude_error = abs(abs(z) - abs(truth))
        phase_error = abs(math.degrees(cmath.phase(z / truth)))
        if row['z_uncertainty'] is not None and row['phase_uncertainty_deg'] is not None:
            with_u += 2
            within_u += (magnitude_error <= row['z_uncertainty']) + (phase_error <= row['phase_uncertainty_deg'])
        if magnitude_error > row['z_deviation'] or phase_error > row['phase_deviation_deg']:
            outside += 1
        worst_ratio = max(worst_ratio, magnitude_error / row['z_deviation'], phase_error / row['phase_deviation_deg'])
        if row['frequency_hz'] < 20.0 or row['doubtful']:
            continue
        judged += 1
        worst_magnitude = max(worst_magnitude, magnitude_error / abs(truth))
        worst_phase = max(worst_phase, phase_error)
    return judged, worst_magnitude, worst_phase, outside, worst_ratio, (100.0 * within_u / with_u if with_u else 0.0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('cli')
    parser.add_argument('--ppo', default='24')
    parser.add_argument('--realtime', action='store_true')
    options = parser.parse_args()
    cli = os.path.abspath(options.cli)
    common = ['--ppo', options.ppo, '--auto-ref', '--json'] + (['--realtime'] if options.realtime else [])
    print('| set-up | network | R ref | points | judged | worst \\|Z\\| error | worst phase error | '
          'outside deviation | worst error/deviation | within u (k = 2) | wall time (s) | CPU share |')
    print('|---|---|---|---|---|---|---|---|---|---|---|---|')
    for name, set_up in (('ideal', []), ('ideal, noise 30', ['--noise', '30']),
                         ('realistic, calibrated', ['--realistic'])):
        realistic = '--realistic' in set_up
        with tempfile.TemporaryDirectory() as directory:
            # Each reference the choice may land on, with a known resistor of
            # its own value.
            for reference, known in (('10', '10'), ('100', '100'), ('1k', '1000'), ('10k', '10000')):
                if realistic:
                    run(cli, ['calibrate', '--impedance', '--mode', '0,1,2,3,4', '--ref', reference, '--rp', known,
                              '--cp', '0', '--ppo', options.ppo, '--sim', 'R=1', '--save'] + set_up, directory)
            for network in NETWORKS:
                text, wall, cpu = run(cli, ['impedance', '--sim', network] + set_up + common, directory)
                curve = json.loads(text)
                judged, magnitude, phase, outside, ratio, covered = judge(curve, network)
                reference = curve['rows'][0]['ref_ohm'] if curve['rows'] else 0
                print(f"| {name} | `{network}` | {reference:g} | "
                      f"{len(curve['rows'])} | {judged} | {100 * magnitude:.4f} % | {phase:.4f}° | {outside} | "
                      f"{ratio:.2f} | {covered:.1f} % | {wall:.2f} | {100 * cpu / wall:.0f} % |")


if __name__ == '__main__':
    main()
