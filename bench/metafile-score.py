#!/usr/bin/env python3
"""Scores vistel-render's pictures of metafiles against the reference playback (the last step of
metafile-likeness.sh, which describes the measure). Reads the corpus-relative paths from standard
input, and OUT/ref/PATH.{bmp,txt} and OUT/vistel/PATH.{bmp,txt}; prints Markdown and writes
OUT/scores.tsv and OUT/sheet.png.

    metafile-score.py --out OUT [--size 128] [--tolerance 48] [--good 90] [--refs-only] < PATHS
    metafile-score.py --compare A.bmp B.bmp [--tolerance 48]   # one score, for checking the measure
"""
import argparse
import os
import struct
import sys
import zlib


class BmpError(Exception):
    pass


def read_bmp(path):
    """(width, height, rows of (r, g, b) tuples, top row first) of an uncompressed 24- or 32-bpp
    BMP, or of a 32-bpp one with BI_BITFIELDS masks: what both renderers write."""
    with open(path, 'rb') as f:
        data = f.read()
    if len(data) < 54 or data[:2] != b'BM':
        raise BmpError('not a BMP')
    offset = struct.unpack_from('<I', data, 10)[0]
    header_size, width, height, planes, bpp, compression = struct.unpack_from('<IiiHHI', data, 14)
    if header_size < 40 or width <= 0 or height == 0 or planes != 1:
        raise BmpError('unsupported header')
    top_down = height < 0
    height = abs(height)
    if bpp == 24 and compression == 0:
        masks = None
    elif bpp == 32 and compression == 0:
        masks = (0xFF0000, 0xFF00, 0xFF)
    elif bpp == 32 and compression == 3:
        if header_size >= 52:
            masks = struct.unpack_from('<III', data, 54)
        else:
            masks = struct.unpack_from('<III', data, 14 + header_size)
    else:
        raise BmpError('%d bpp with compression %d is not read here' % (bpp, compression))
    stride = (width * bpp + 31) // 32 * 4
    if offset + stride * height > len(data):
        raise BmpError('truncated')

    def channel(value, mask):
        if mask == 0:
            return 0
        shift = (mask & -mask).bit_length() - 1
        top = mask >> shift
        return ((value & mask) >> shift) * 255 // top

    rows = []
    for y in range(height):
        start = offset + stride * (y if top_down else height - 1 - y)
        row = data[start:start + stride]
        if masks is None:
            rows.append([(row[3 * x + 2], row[3 * x + 1], row[3 * x]) for x in range(width)])
        else:
            values = struct.unpack_from('<%dI' % width, row)
            rows.append([tuple(channel(v, m) for m in masks) for v in values])
    return width, height, rows


WHITE = (255, 255, 255)


def score(ours, ref, tolerance):
    """Share (0..1) of the pixels non-white in either picture whose channels all lie within
    `tolerance` of the reference's, and how many pixels that share is of; 1.0 of 0 when both are
    all white. The pictures must have one size."""
    counted = close = 0
    for row_a, row_b in zip(ours, ref):
        for a, b in zip(row_a, row_b):
            if a == WHITE and b == WHITE:
                continue
            counted += 1
            if all(abs(p - q) <= tolerance for p, q in zip(a, b)):
                close += 1
    return (close / counted if counted else 1.0), counted


def read_status(path):
    """The key=value lines and the tool's first lines of output of a status file."""
    info = {'out': [], 'err': []}
    try:
        with open(path, encoding='utf-8', errors='replace') as f:
            for line in f:
                line = line.rstrip('\n')
                for stream in ('out', 'err'):
                    if line.startswith(stream + ':'):
                        info[stream].append(line[len(stream) + 1:])
                        break
                else:
                    name, _, value = line.partition('=')
                    info[name] = value
    except FileNotFoundError:
        return None
    return info


def side(out, folder, rel, size):
    """(state, reason, rows): state is 'drew', 'refused' (exit 1, the clean refusal), 'failed'
    (crash, time-out, other status, or no picture after success) or 'missing' (not run)."""
    info = read_status(os.path.join(out, folder, rel + '.txt'))
    if info is None:
        return 'missing', 'not run', None
    code = info.get('exit', '?')
    lines = [l for l in info['err'] if l.strip()] or [l for l in info['out'] if l.strip()]
    message = lines[0].strip() if lines else ''
    # A sanitizer build reports its findings with exit status 1 (a clean refusal's) or
    # with none (UBSan carries on): neither is a clean result.
    sanitizer = [l for l in info['err'] if 'ERROR: AddressSanitizer' in l or 'runtime error:' in l
                 or 'ERROR: LeakSanitizer' in l]
    if sanitizer:
        return 'failed', 'sanitizer: ' + sanitizer[0].strip(), None
    if code == '0':
        try:
            width, height, rows = read_bmp(os.path.join(out, folder, rel + '.bmp'))
        except (OSError, BmpError) as e:
            return 'failed', 'exit 0 but no picture: %s' % e, None
        if (width, height) != (size, size):
            return 'failed', 'picture is %dx%d' % (width, height), None
        said = dict(l.partition('=')[::2] for l in info['out'] if '=' in l)
        notes = []
        if said.get('play_ok') == '0':  # the reference played it, but reported a failed record
            notes.append('PlayEnhMetaFile returned FALSE (error %s)' % said.get('play_error', '?'))
        return 'drew', '; '.join(notes), rows
    if code == '1':
        return 'refused', message, None
    # Wine names a crash on standard error and the function it happened in on standard output.
    crash = [l for l in info['err'] if 'Unhandled' in l]
    if crash:
        where = [l.split()[2].split('+')[0] for l in info['out'] if l.startswith('=>0 ') and len(l.split()) > 2]
        message = 'Wine crashed (%s)%s' % (crash[0].split(' at ')[0].replace('wine: ', '').strip(),
                                           ' in ' + where[0] if where else '')
    if code == '124':
        return 'failed', 'timed out' + (' after: ' + message if crash else ''), None
    code_number = int(code) if code.lstrip('-').isdigit() else 0
    if code_number > 128:
        return 'failed', 'killed by signal %d %s' % (code_number - 128, message), None
    return 'failed', 'exit %s %s' % (code, message), None


def write_png(path, width, height, rows):
    """An 8-bit RGB PNG of rows of (r, g, b) tuples."""
    raw = b''.join(b'\0' + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(raw, 6)) + chunk(b'IEND', b''))


NO_PICTURE = (255, 220, 220)
GAP = (128, 128, 128)


def sheet(path, size, pairs, tolerance):
    """One band per file: the reference, ours, and where they differ (red: off by more than the
    tolerance, grey: close, white: white in both); pale red stands for no picture."""
    blank = [[NO_PICTURE] * size for _ in range(size)]
    rows = []
    for ref, ours in pairs:
        if ref is not None and ours is not None:
            diff = [[WHITE if a == WHITE and b == WHITE else
                     (200, 200, 200) if all(abs(p - q) <= tolerance for p, q in zip(a, b)) else (255, 0, 0)
                     for a, b in zip(row_a, row_b)] for row_a, row_b in zip(ours, ref)]
        else:
            diff = blank
        for y in range(size):
            rows.append((ref or blank)[y] + [GAP] * 4 + (ours or blank)[y] + [GAP] * 4 + diff[y])
        rows.append([GAP] * (3 * size + 8))
    write_png(path, 3 * size + 8, len(rows), rows)


def cell(text):
    return text.replace('|', '\\|')[:110]


def report(args, rels):
    rows, pairs = [], []
    for rel in rels:
        ref_state, ref_reason, ref_pixels = side(args.out, 'ref', rel, args.size)
        if args.refs_only:
            ours_state, ours_reason, ours_pixels = 'missing', 'not run', None
        else:
            ours_state, ours_reason, ours_pixels = side(args.out, 'vistel', rel, args.size)
        value = counted = None
        blank = False
        if ref_state == 'drew' and ours_state == 'drew':
            value, counted = score(ours_pixels, ref_pixels, args.tolerance)
            blank = counted == 0
        elif ref_state == 'drew' and not args.refs_only:
            value, counted = 0.0, None  # not drawing what the reference draws scores nothing
        ink = None
        if ref_pixels is not None:
            ink = sum(p != WHITE for row in ref_pixels for p in row)
        pairs.append((ref_pixels, ours_pixels))
        rows.append(dict(rel=rel, ref=ref_state, ref_reason=ref_reason, ours=ours_state,
                         ours_reason=ours_reason, score=value, counted=counted, blank=blank, ink=ink))

    if not args.refs_only:
        sheet(os.path.join(args.out, 'sheet.png'), args.size, pairs, args.tolerance)
    with open(os.path.join(args.out, 'scores.tsv'), 'w') as f:
        f.write('file\tscore\tpixels\treference\treference_ink\treference_note\tvistel\tvistel_note\n')
        for r in rows:
            f.write('\t'.join([r['rel'], '' if r['score'] is None else '%.4f' % r['score'],
                               '' if r['counted'] is None else str(r['counted']), r['ref'],
                               '' if r['ink'] is None else str(r['ink']), r['ref_reason'], r['ours'],
                               r['ours_reason']]) + '\n')

    n = args.size * args.size
    print('### Metafile likeness: vistel-render against the reference playback, %dx%d, '
          'tolerance %d' % (args.size, args.size, args.tolerance))
    print()
    print('| file | score | pixels scored | reference | vistel-render |')
    print('|---|---:|---:|---|---|')
    for r in rows:
        ref_text = r['ref']
        if r['ref'] == 'drew':
            ref_text += ' (%d of %d pixels inked)' % (r['ink'], n)
        if r['ref_reason']:
            ref_text += ': ' + r['ref_reason']
        ours_text = r['ours'] + (': ' + r['ours_reason'] if r['ours_reason'] else '')
        print('| %s | %s | %s | %s | %s |' % (
            cell(r['rel']), '' if r['score'] is None else '%.1f %%' % (100 * r['score']),
            '' if r['counted'] is None else r['counted'], cell(ref_text), cell(ours_text)))
    print()

    drawn = [r for r in rows if r['ref'] == 'drew']
    refused = [r for r in rows if r['ref'] == 'refused']
    failed = [r for r in rows if r['ref'] in ('failed', 'missing')]
    print('Files: %d; the reference drew %d (%d of them all white), refused %d, failed on %d.' % (
        len(rows), len(drawn), sum(r['ink'] == 0 for r in drawn), len(refused), len(failed)))
    if args.refs_only:
        return 0
    unclean = [r for r in rows if r['ours'] in ('failed', 'missing')]
    scores = sorted(r['score'] for r in drawn)
    if scores:
        bins = [0] * 10
        for s in scores:
            bins[min(int(s * 10), 9)] += 1
        print()
        print('Distribution of the %d scores where the reference drew (vistel refusals count as 0 %%):'
              % len(scores))
        print()
        print('| score | files |')
        print('|---|---:|')
        for i in reversed(range(10)):
            print('| %d–%d %% | %d |' % (10 * i, 10 * (i + 1), bins[i]))
        q = lambda p: scores[min(len(scores) - 1, int(p * (len(scores) - 1) + 0.5))]
        print()
        print('min %.1f %%, 10th percentile %.1f %%, median %.1f %%, mean %.1f %%.' % (
            100 * scores[0], 100 * q(0.1), 100 * q(0.5), 100 * sum(scores) / len(scores)))
    good = [r for r in drawn if r['score'] >= args.good / 100]
    share = len(good) / len(drawn) if drawn else 1.0
    print()
    print('Scoring at least %d %%: %d of %d files the reference draws (%.1f %%); vistel-render drew '
          '%d of them and refused %d.' % (args.good, len(good), len(drawn), 100 * share,
                                           sum(r['ours'] == 'drew' for r in drawn),
                                           sum(r['ours'] == 'refused' for r in drawn)))
    clean = [r for r in refused if r['ours'] == 'refused']
    print('Of the %d files the reference cannot read, vistel-render refused %d cleanly%s.' % (
        len(refused), len(clean),
        ''.join(', drew %s' % ', '.join(r['rel'] for r in refused if r['ours'] == 'drew')
                for _ in [0] if any(r['ours'] == 'drew' for r in refused))))
    if failed:
        print('The reference failed on %d files (no score there): %s.' % (len(failed), '; '.join(
            '%s: vistel-render %s' % (r['rel'], r['ours']) for r in failed)))
    if unclean:
        print('Not clean (crash, time-out, no picture or not run): %s.' % ', '.join(
            '%s (%s)' % (r['rel'], r['ours_reason']) for r in unclean))
    met = share >= 0.95 and len(clean) == len(refused) and not unclean
    print()
    print('Goal (at least %d %% on at least 95 %% of the files the reference draws, a clean refusal '
          'of those it cannot read): %s.' % (args.good, 'met' if met else 'NOT met'))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--out')
    parser.add_argument('--size', type=int, default=128)
    parser.add_argument('--tolerance', type=int, default=48)
    parser.add_argument('--good', type=float, default=90)
    parser.add_argument('--refs-only', action='store_true')
    parser.add_argument('--compare', nargs=2, metavar='BMP')
    args = parser.parse_args()
    if args.compare:
        try:
            a, b = (read_bmp(p) for p in args.compare)
        except (OSError, BmpError) as e:
            sys.exit('metafile-score.py: %s' % e)
        if a[:2] != b[:2]:
            sys.exit('the pictures differ in size: %dx%d and %dx%d' % (a[:2] + b[:2]))
        value, counted = score(a[2], b[2], args.tolerance)
        print('score=%.4f pixels=%d' % (value, counted))
        return 0
    if not args.out:
        parser.error('--out or --compare is needed')
    rels = [line.strip() for line in sys.stdin if line.strip()]
    return report(args, rels)


if __name__ == '__main__':
    sys.exit(main())
