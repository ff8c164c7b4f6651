#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian 12 package that Quarvel needs to build, test and run.
# Safe to run again: when everything is present it changes nothing and needs
# no network. Works as root and, for other users, through sudo.
#
#   tools/setup.sh         build, test and run
#   tools/setup.sh jack    also a JACK server, for the loopback test on a
#                          real sound server (continuous integration)
#   tools/setup.sh fuzz    also clang and its libFuzzer runtime, for the
#                          `fuzz` preset
#   tools/setup.sh package also what builds and checks the Debian package,
#                          lintian among it (continuous integration)
#   tools/setup.sh pulse   also a PulseAudio server and ALSA's PulseAudio
#                          plugins, for the mixer test on a real mixer
#                          (continuous integration; not on a desktop that
#                          runs PipeWire)
#   tools/setup.sh pipewire
#                          also a PipeWire server with its session manager
#                          and its PulseAudio service, reached through
#                          ALSA's PulseAudio plugins, for the loopback and
#                          mixer test on PipeWire (continuous integration;
#                          pipewire-alsa is left out, as it conflicts with
#                          the package pulseaudio)
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev portaudio19-dev libasound2-dev libjack-jackd2-dev
  locales
  # the window: Qt 6 Widgets, its X11 platform plugin, a font, and a
  # virtual X server and a session bus for the test that runs the real
  # program
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core xvfb xauth dbus-daemon
  # the window's English: lupdate and lrelease, and their CMake functions
  qt6-l10n-tools qt6-tools-dev
  # PyVISA with its pure-Python backend: the example lab script and its test
  python3-pyvisa python3-pyvisa-py
)
for extra in "$@"; do
  case "$extra" in
    jack) packages+=(jackd2) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    pulse) packages+=(pulseaudio pulseaudio-utils libasound2-plugins) ;;
    package) packages+=(dpkg-dev file desktop-file-utils appstream lintian) ;;
    pipewire) packages+=(pipewire pipewire-bin wireplumber pipewire-pulse pulseaudio-utils libasound2-plugins) ;;
    *) echo "setup: unknown option '$extra' (known: jack, fuzz, pulse, package, pipewire)" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

locale_missing=true
if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  locale_missing=false
fi

if [ "${#missing[@]}" -eq 0 ] && [ "$locale_missing" = false ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "setup: needs root or sudo to install: ${missing[*]:-the locale de_DE.UTF-8}" >&2
  exit 1
fi

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests check the texts under a German locale (decimal comma).
if [ "$locale_missing" = true ]; then
  echo "setup: generating the locale de_DE.UTF-8"
  "${as_root[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  "${as_root[@]}" locale-gen >/dev/null
fi
