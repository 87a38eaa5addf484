#!/usr/bin/env python3
"""The whole road of a render: the stand-in host loads Kivaglobe64 under Wine, renders the default
planet and writes the PNG. Prints the best wall time of a 1024 x 1024 run (Wine's start-up
included, the wineserver kept warm), the PNG's size against the raw pixels, and the peak memory
(resident set of the Wine process) of a 4096 x 4096 run.

Usage: whole_road.py ROOT [REPEATS]   (ROOT is the project folder with build/win64 built)
"""
import os
import subprocess
import sys
import tempfile
import time

TARGET_SECONDS = 0.45


def run_host(root, size, out):
    """Runs the host once; returns (seconds, peak resident kilobytes, exit status). Without a
    size the host is given a plug-in that is not there and stops at once: Wine's start-up and
    the host's own. (Not --help: the usage text goes out a character at a time when the output
    is a character device such as /dev/null, which under Wine costs a server call each.)"""
    host = os.path.join(root, 'build/win64/host/kivahost.exe')
    plugin = os.path.join(root, 'build/win64/plugin/Kivaglobe64.8bf')
    if not size:
        plugin = os.path.join(os.path.dirname(out), 'absent.8bf')
    command = [os.path.join(root, 'cmake/wine-run'), '64', host, '--plugin', plugin]
    command += ['--size', size, '--out', out] if size else []
    start = time.monotonic()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.monotonic() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    return seconds, usage.ru_maxrss, child.returncode


def main():
    root = os.path.abspath(sys.argv[1])
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    os.environ.setdefault('WINEPREFIX', os.path.join(root, 'build/wineprefix'))
    subprocess.run(['wineserver', '-p'], check=False)   # keep the server between runs
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, 'planet.png')
        run_host(root, '256x256', out)                  # warms the prefix and the server
        best = None
        for _ in range(max(repeats, 1)):
            seconds, _, status = run_host(root, '1024x1024', out)
            if status != 0:
                print('road   the host failed with exit status %d' % status)
                return 1
            best = seconds if best is None else min(best, seconds)
        size = os.path.getsize(out)
        raw = 1024 * 1024 * 3
        print('road   1024x1024  %6.3f s  (target %.2f s, %s)  PNG %d bytes, %.1f%% of the raw %d' %
              (best, TARGET_SECONDS, 'met' if best <= TARGET_SECONDS else 'MISSED', size, 100.0 * size / raw, raw))
        # Where the time goes outside the renderer: Wine and the host alone (the usage text),
        # then loading the plug-in and setting up a render (a 16 x 16 run); the rest of the
        # 1024 x 1024 run is the render itself, the host's copies and the PNG.
        start_up = min(run_host(root, None, out)[0] for _ in range(max(repeats, 1)))
        small = min(run_host(root, '16x16', out)[0] for _ in range(max(repeats, 1)))
        print('road   Wine and the host %.3f s, the plug-in\'s load and set-up %.3f s, '
              'render, copies and PNG %.3f s' % (start_up, max(small - start_up, 0.0), max(best - small, 0.0)))
        seconds, peak, status = run_host(root, '4096x4096', out)
        if status != 0:
            print('road   4096x4096: the host failed with exit status %d' % status)
            return 1
        print('road   4096x4096  %6.3f s  peak memory %.0f MB (resident, Wine included)  PNG %d bytes' %
              (seconds, peak / 1024.0, os.path.getsize(out)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
