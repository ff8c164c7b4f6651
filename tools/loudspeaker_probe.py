#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Loudspeaker parameters against their true values on the simulated set-up.

For each of five drivers (their electrical equivalent Re + Le + (Res | Lces |
Cmes) made from Bl, Mms, Cms and Rms), measures a free-air curve and one
with an added mass of a fifth of Mms with `quarvel-cli impedance --json` on
the calibrated realistic set-up with noise, once per noise seed, fits them
with `quarvel-cli loudspeaker` and counts how often each parameter's true
value lies within its ± (k = 2). Prints a Markdown table per driver and the
total coverage.

    tools/loudspeaker_probe.py build/default/cli/quarvel-cli [--runs 10] [--noise 10]
"""
import argparse
import json
import math
import os
import subprocess
import sys
import tempfile

GRID = ['--ppo', '48', '--from', '10', '--to', '2000']
# name, Re ohm, Le H, Bl T·m, Mms kg, Cms m/N, Rms kg/s, Sd cm²
DRIVERS = [
    ('woofer 8"', 5.6, 0.9e-3, 7.0, 29.4e-3, 0.449e-3, 1.225, 200.0),
    ('mid-woofer 6.5"', 3.2, 0.5e-3, 5.5, 12e-3, 0.9e-3, 1.0, 130.0),
    ('woofer 12"', 6.3, 1.2e-3, 12.0, 80e-3, 0.2e-3, 6.0, 500.0),
    ('full-range 3"', 7.2, 0.3e-3, 4.0, 4e-3, 0.8e-3, 0.5, 50.0),
    ('damped woofer', 4.0, 0.6e-3, 9.0, 20e-3, 0.6e-3, 2.5, 150.0),
]


def network(re, le, bl, mms, cms, rms):
    res, lces, cmes = bl * bl / rms, bl * bl * cms, mms / (bl * bl)
    return f"R={re:.6f} + L={le * 1e3:.6f}m + (R={res:.6f} | L={lces * 1e3:.6f}m | C={cmes * 1e6:.6f}u)"


def truths(re, le, bl, mms, cms, rms, sd_cm2):
    fs = 1.0 / (2.0 * math.pi * math.sqrt(mms * cms))
    qms = 2.0 * math.pi * fs * mms / rms
    qes = 2.0 * math.pi * fs * mms * re / (bl * bl)
    temperature_k = 293.15
    rho = 101325.0 / (287.05 * temperature_k)
    c = 331.3 * math.sqrt(1.0 + 20.0 / 273.15)
    sd = sd_cm2 * 1e-4
    return {
        're_ohm': re, 'le_h': le, 'fs_hz': fs, 'qms': qms, 'qes': qes, 'qts': qms * qes / (qms + qes),
        'res_ohm': bl * bl / rms, 'lces_h': bl * bl * cms, 'cmes_f': mms / (bl * bl), 'mms_g': mms * 1e3,
        'cms_mm_per_n': cms * 1e3, 'rms_kg_per_s': rms, 'bl_tm': bl, 'vas_l': rho * c * c * sd * sd * cms * 1e3,
    }


def run(cli, arguments, directory, output=None):
    done = subprocess.run([cli] + arguments, cwd=directory, capture_output=True, text=True)
    if done.returncode != 0:
        return None, done.stderr.strip()
    if output:
        with open(os.path.join(directory, output), 'w') as file:
            file.write(done.stdout)
    return done.stdout, ''


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('cli')
    parser.add_argument('--runs', type=int, default=10)
    parser.add_argument('--noise', default='10')
    options = parser.parse_args()
    cli = os.path.abspath(options.cli)
    set_up = ['--realistic', '--noise', options.noise, '--ref', '10']
    inside_all = total_all = 0
    with tempfile.TemporaryDirectory() as directory:
        _, failure = run(cli, ['calibrate', '--impedance', '--mode', '0,1,2,3,4', '--rp', '10', '--cp', '0', '--sim', 'R=1',
                               '--save'] + set_up + GRID, directory)
        if failure:
            sys.exit('calibration: ' + failure)
        print('| driver | parameter | true | mean result | mean ± | within ± |')
        print('|---|---|---|---|---|---|')
        for name, re, le, bl, mms, cms, rms, sd in DRIVERS:
            truth = truths(re, le, bl, mms, cms, rms, sd)
            mass_g = 0.2 * mms * 1e3
            loaded_cms = cms  # the mass loads the moving system, not the suspension
            inside = {key: 0 for key in truth}
            sums = {key: [0.0, 0.0] for key in truth}
            refused = 0
            for seed in range(1, options.runs + 1):
                seed_args = ['--noise-seed', str(seed)]
                free = network(re, le, bl, mms, cms, rms)
                loaded = network(re, le, bl, mms + mass_g * 1e-3, loaded_cms, rms)
                first, failure = run(cli, ['impedance', '--sim', free, '--json'] + set_up + GRID + seed_args, directory,
                                     'free.json')
                second, failure2 = run(cli, ['impedance', '--sim', loaded, '--json'] + set_up + GRID + seed_args,
                                       directory, 'loaded.json')
                if first is None or second is None:
                    sys.exit(f'{name}: {failure or failure2}')
                text, failure = run(cli, ['loudspeaker', 'free.json', '--added-mass', f'{mass_g:.4f}', 'loaded.json',
                                          '--sd', f'{sd:.3f}', '--json'], directory)
                if text is None:
                    refused += 1
                    continue
                result = json.loads(text)
                for key, value in truth.items():
                    entry = result[key]
                    sums[key][0] += entry['value']
                    sums[key][1] += entry['u']
                    inside[key] += abs(entry['value'] - value) <= entry['u']
            fitted = options.runs - refused
            for key, value in truth.items():
                print(f'| {name} | `{key}` | {value:.6g} | {sums[key][0] / max(fitted, 1):.6g} | '
                      f'{sums[key][1] / max(fitted, 1):.3g} | {inside[key]}/{fitted} |')
                inside_all += inside[key]
                total_all += fitted
            if refused:
                print(f'| {name} | refused | | | | {refused} of {options.runs} |')
    print(f'\nwithin ±: {inside_all} of {total_all} ({100.0 * inside_all / max(total_all, 1):.1f} %)')


if __name__ == '__main__':
    main()
