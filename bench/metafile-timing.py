#!/usr/bin/env python3
"""The timing and the report of metafile-bench.sh (which describes the measure).

    metafile-timing.py time --file FILE --name NAME --size 256 --runs 5 --work DIR
                            [--vistel PROG] [--peers libreoffice,inkscape,emf2svg] [--lo-profile DIR]
        times each program on one file: a first run that is not counted (it warms the page cache
        and tells whether the program reads the file at all), then RUNS rounds that run every
        program once each, in turn; prints one line per program:
        NAME, program, drew|refused, median ms, the runs' ms (comma-separated), a note
    metafile-timing.py report TIMES.tsv [--size 256]
        the Markdown tables of those lines: per file, per program, the fastest peer and its ratio
        to vistel-render, and the geometric means
"""
import argparse
import glob
import math
import os
import shutil
import statistics
import struct
import subprocess
import sys
import threading
import time

PEERS = ('libreoffice', 'inkscape', 'emf2svg')
TITLES = {'vistel': 'vistel-render', 'libreoffice': 'LibreOffice', 'inkscape': 'Inkscape',
          'emf2svg': 'emf2svg-conv + rsvg-convert'}
RUN_TIMEOUT = 120


def run_timed_out(argv, err):
    """The exit status of ARGV, or 'timed out' after RUN_TIMEOUT seconds.

    The wait blocks in waitpid and ends the moment the program does: subprocess's own wait with a
    timeout polls with growing sleeps (0.5, 1, 2, 4 … ms) and so rounds a run of a few
    milliseconds up to the next poll, up to twice its time."""
    process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=err, stderr=err)
    expired = threading.Event()

    def stop():
        expired.set()
        process.kill()

    timer = threading.Timer(RUN_TIMEOUT, stop)
    timer.start()
    try:
        code = process.wait()
    finally:
        timer.cancel()
    return 'timed out' if expired.is_set() else code


def commands(tool, src, out_dir, size, args):
    """The command lines a user would type to turn SRC into a SIZE x SIZE PNG in OUT_DIR."""
    if tool == 'vistel':
        return [[args.vistel, src, os.path.join(out_dir, 'out.png'), '--size', '%dx%d' % (size, size)]]
    if tool == 'libreoffice':
        options = '{"PixelWidth":{"type":"long","value":"%d"},"PixelHeight":{"type":"long","value":"%d"}}' % (
            size, size)
        return [['soffice', '-env:UserInstallation=file://' + os.path.abspath(args.lo_profile), '--headless',
                 '--convert-to', 'png:draw_png_Export:' + options, '--outdir', out_dir, src]]
    if tool == 'inkscape':
        return [['inkscape', src, '--export-type=png', '--export-filename=' + os.path.join(out_dir, 'out.png'),
                 '-w', str(size), '-h', str(size)]]
    if tool == 'emf2svg':
        svg = os.path.join(out_dir, 'out.svg')
        return [['emf2svg-conv', '-i', src, '-o', svg],
                ['rsvg-convert', '-w', str(size), '-h', str(size), '-o', os.path.join(out_dir, 'out.png'), svg]]
    raise ValueError(tool)


def png_size(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    if len(head) < 24 or head[:8] != b'\x89PNG\r\n\x1a\n':
        return None
    return struct.unpack('>II', head[16:24])


def run_once(tool, src, work, size, args):
    """(seconds, None) when the program made its PNG, else (seconds, why not)."""
    out_dir = os.path.join(work, tool)
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir)
    err_path = os.path.join(work, tool + '.err')
    start = time.perf_counter()
    with open(err_path, 'wb') as err:
        for argv in commands(tool, src, out_dir, size, args):
            code = run_timed_out(argv, err)
            if code != 0:
                break
    seconds = time.perf_counter() - start
    pngs = glob.glob(os.path.join(out_dir, '*.png'))
    if code == 0 and pngs and os.path.getsize(pngs[0]) > 0:
        return seconds, None
    with open(err_path, 'rb') as f:
        lines = [l.strip() for l in f.read().decode('utf-8', 'replace').splitlines() if l.strip()]
    # The last words are the reason more often than the first (LibreOffice's and GLib's warnings
    # come first); leave out the noise every run prints.
    lines = [l for l in lines if 'javaldx' not in l and 'GtkRecentManager' not in l and not l.startswith('**')]
    why = '%s: exit %s' % (os.path.basename(argv[0]), code) if code != 0 else 'no picture'
    return seconds, why + (': ' + lines[-1] if lines else '')


def time_file(args):
    tools = ([] if not args.vistel else ['vistel']) + [p for p in args.peers.split(',') if p]
    src = os.path.abspath(args.file)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    refused, times, notes = {}, {t: [] for t in tools}, {t: [] for t in tools}
    for tool in tools:
        _, why = run_once(tool, src, work, args.size, args)
        if why:
            refused[tool] = why
        else:
            size = png_size(glob.glob(os.path.join(work, tool, '*.png'))[0])
            if size != (args.size, args.size):
                notes[tool].append('PNG is %s' % ('not a PNG' if size is None else '%dx%d' % size))
    for _ in range(args.runs):
        for tool in tools:
            if tool in refused:
                continue
            seconds, why = run_once(tool, src, work, args.size, args)
            if why:
                notes[tool].append('a timed run failed (%s)' % why)
            else:
                times[tool].append(seconds * 1000)
    for tool in tools:
        if tool in refused:
            line = [args.name, tool, 'refused', '', '', refused[tool]]
        elif not times[tool]:
            line = [args.name, tool, 'refused', '', '', '; '.join(notes[tool])]
        else:
            line = [args.name, tool, 'drew', '%.1f' % statistics.median(times[tool]),
                    ','.join('%.1f' % t for t in times[tool]), '; '.join(notes[tool])]
        print('\t'.join(x.replace('\t', ' ').replace('\n', ' ') for x in line))
    return 0


def geomean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else float('nan')


def report(args):
    rows = {}
    order = []
    counts = set()
    with open(args.times) as f:
        for line in f:
            fields = line.rstrip('\n').split('\t')
            if len(fields) != 6:
                continue
            name, tool, state, median, runs, note = fields
            if runs:
                counts.add(len(runs.split(',')))
            if name not in rows:
                rows[name] = {}
                order.append(name)
            rows[name][tool] = (state, float(median) if median else None, note)
    tools = [t for t in ('vistel',) + PEERS if any(t in r for r in rows.values())]
    peers = [t for t in tools if t != 'vistel']
    print('### Metafiles to a %dx%d PNG: wall time per file in ms, process start included '
          '(median of %s runs)' % (args.size, args.size, ' or '.join(str(c) for c in sorted(counts)) or 'no'))
    print()
    print('| file | ' + ' | '.join(TITLES[t] for t in tools) + ' | fastest peer / vistel |')
    print('|---|' + '---:|' * (len(tools) + 1))
    ratios, per_peer = [], {p: [] for p in peers}
    for name in order:
        r = rows[name]
        cells = []
        for t in tools:
            state, median, note = r.get(t, ('not run', None, ''))
            cells.append(('%.1f' if median < 10 else '%.0f') % median if state == 'drew' else state)
        ours = r.get('vistel', ('', None, ''))[1] if r.get('vistel', ('',))[0] == 'drew' else None
        drawn = {p: r[p][1] for p in peers if p in r and r[p][0] == 'drew'}
        ratio = ''
        if ours and drawn:
            fastest = min(drawn, key=drawn.get)
            ratios.append(drawn[fastest] / ours)
            ratio = '%.1f × (%s)' % (drawn[fastest] / ours, TITLES[fastest].split()[0])
            for p, ms in drawn.items():
                per_peer[p].append(ms / ours)
        print('| %s | %s | %s |' % (name, ' | '.join(cells), ratio))
    print()
    for t in tools:
        refusals = [(n, rows[n][t][2]) for n in order if t in rows[n] and rows[n][t][0] != 'drew']
        drawn = [rows[n][t][1] for n in order if t in rows[n] and rows[n][t][0] == 'drew']
        odd = [(n, rows[n][t][2]) for n in order if t in rows[n] and rows[n][t][0] == 'drew' and rows[n][t][2]]
        text = '%s drew %d files (median of the files\' medians %s ms)' % (
            TITLES[t], len(drawn), '%.0f' % statistics.median(drawn) if drawn else '–')
        if refusals:
            text += '; refused %d: %s' % (len(refusals), '; '.join(
                '%s (%s)' % (n, why[:100]) for n, why in refusals))
        if odd:
            text += '; notes: %s' % '; '.join('%s: %s' % (n, why[:100]) for n, why in odd)
        print('- ' + text + '.')
    print()
    if ratios:
        for p in peers:
            if per_peer[p]:
                print('%s / vistel-render: geometric mean %.1f × over %d files.' % (
                    TITLES[p], geomean(per_peer[p]), len(per_peer[p])))
        overall = geomean(ratios)
        print('Fastest peer / vistel-render: geometric mean %.1f × over %d files (min %.1f ×, max %.1f ×); '
              'goal at least 10 ×: %s.' % (overall, len(ratios), min(ratios), max(ratios),
                                         'met' if overall >= 10 else 'NOT met'))
    elif 'vistel' in tools:
        print('No file that vistel-render and a peer both drew: no ratio.')
    return 0


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest='command', required=True)
    t = sub.add_parser('time')
    t.add_argument('--file', required=True)
    t.add_argument('--name', required=True)
    t.add_argument('--size', type=int, default=256)
    t.add_argument('--runs', type=int, default=5)
    t.add_argument('--work', required=True)
    t.add_argument('--vistel')
    t.add_argument('--peers', default=','.join(PEERS))
    t.add_argument('--lo-profile', default='lo-profile')
    r = sub.add_parser('report')
    r.add_argument('times')
    r.add_argument('--size', type=int, default=256)
    args = parser.parse_args()
    if args.command == 'time':
        bad = [p for p in args.peers.split(',') if p and p not in PEERS]
        if bad:
            parser.error('unknown peer %s' % ', '.join(bad))
        return time_file(args)
    return report(args)


if __name__ == '__main__':
    sys.exit(main())
