"""Hostile and broken session files through the preview program: each ends in its exact error card or in a
summary card, promptly and in bounded memory, never in a crash."""
import os
import re
import resource
import socket
import stat
import threading
import time
import unittest
from pathlib import Path

from runner import PREVIEW, THUMBNAILER, is_whole_card, read_cases, run, scratch

MIB, LARGEST = 1 << 20, 64 << 20
# Bounds that tell a hang or unbounded memory from honest work, with room for a busy machine.
WALL_LIMIT_MS, PEAK_LIMIT_MIB = 5000, 512
ENDINGS = {'empty': 'The ZARO Session file is empty.', 'no-rows': 'The ZARO Session file has no GPS rows.',
           'unsupported': 'Unsupported ZARO Session format. Expected ZARO or RaceBox CSV.',
           'too-large': 'The ZARO Session file is too large to preview.', 'any card': None}
ZARO = b'Format,ZARO CSV\nTrack,Ashcombe Raceway\nDate UTC,2024-06-02T09:30:00Z\n'
HEADER = b'Time,Latitude,Longitude,Speed (km/h),GForceX,GForceY,LeanAngle,Lap\n'
ROWS = (b'2024-06-02T09:30:00.000Z,52.0735698,-1.0197718,154.40,-0.023,0.024,1.2,0\n'
        b'2024-06-02T09:30:00.200Z,52.0734974,-1.0198132,154.27,0.017,0.042,2.4,0\n'
        b'2024-06-02T09:30:00.400Z,52.0734282,-1.0198546,154.72,0.004,0.000,0.7,1\n')
PLAIN = HEADER + ROWS


def row(i, rest=b''):
    ms = i * 20
    return b'2024-06-02T%02d:%02d:%02d.%03dZ%s' % (ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000, rest)


def expanded(data):
    for name, text in ((b'zaro', ZARO), (b'header', HEADER), (b'rows', ROWS), (b'plain', PLAIN)):
        data = data.replace(b'${%s}' % name, text)
    data = re.sub(rb'\$\{every column( but the position)? (\S+)\}', lambda m: HEADER + b''.join(row(
        i, b',' + (b'52.0735698,-1.0197718' if m.group(1) else m.group(2) + b',' + m.group(2)) + (b',' + m.group(2)) * 5
        + b'\n') for i in range(3)), data)
    return re.sub(rb'\$\{(\d+) x (.*?)\}', lambda m: m.group(2) * int(m.group(1)), data, flags=re.S)


def written(produce):
    """Makes an input only when its case runs, from bytes or pieces of them, so that the test process stays
    small: a program started from it counts the test's memory as its own until it execs."""
    def make(path):
        with open(path, 'wb') as f:
            content = produce()
            for piece in [content] if isinstance(content, bytes) else content:
                f.write(piece)
        return path
    return make


def made(action):
    def make(path):
        action(path)
        return path
    return make


def sparse(size):
    return made(lambda p: (p.touch(), os.truncate(p, size)))


def up_to(limit, row_of, head=b'', tail=b''):
    """`head`, rows while they fit in `limit` bytes with `tail`, then `tail`, in pieces of about a MiB."""
    yield head
    size, i, batch, batched = len(head) + len(tail), 0, [], 0
    while size + len(r := row_of(i)) <= limit:
        batch.append(r)
        size, i, batched = size + len(r), i + 1, batched + len(r)
        if batched >= MIB:
            yield b''.join(batch)
            batch, batched = [], 0
    yield b''.join(batch) + tail


class HostileInputs(unittest.TestCase):
    table = []

    @classmethod
    def tearDownClass(cls):
        if path := os.environ.get('ZARO_HOSTILE_TABLE'):  # the figures for a note: one row a case
            Path(path).write_text('| case | result | wall ms | peak MiB |\n|---|---|---|---|\n' + '\n'.join(cls.table) + '\n')

    def check(self, cases):
        """Each case: a name, what makes the input (a function of a suggested path giving the path to hand over),
        the ending, and optionally: run as nobody, read fewer bytes than this, change the input while it runs."""
        with scratch() as folder:
            folder = Path(folder)
            (folder / 'out').mkdir(mode=0o777)
            os.chmod(folder / 'out', 0o777)  # so that a program run as nobody can write its card here
            for i, (name, make, ending, nobody, max_read, meddle) in enumerate(c + (False, None, None)[len(c) - 3:]
                                                                                 for c in cases):
                with self.subTest(name):
                    given, output, stop = make(folder / f'input-{i}.csv'), folder / 'out' / f'{i}.png', threading.Event()
                    meddler = threading.Thread(target=meddle, args=(given, stop)) if meddle else None
                    meddler and meddler.start()
                    done = run([PREVIEW, given, output], stderr_tty=True, as_nobody=nobody)
                    stop.set()
                    meddler and meddler.join()
                    failures = [line[16:] for line in done.err.decode(errors='replace').splitlines()
                                if line.startswith('preview failed: ')]
                    result = failures[-1] if failures else 'card'
                    self.table.append(f'| {name} | {result} | {done.wall_ms:.0f} | {done.peak_mib:.1f} |')
                    print(self.table[-1])
                    self.assertEqual((done.code, len(failures) <= 1), (0, True))
                    if ENDINGS.get(ending, ending):
                        self.assertEqual(result, ENDINGS.get(ending, ending))
                    self.assertTrue(output.exists() and is_whole_card(output.read_bytes()))
                    self.assertLess(done.wall_ms, WALL_LIMIT_MS)
                    self.assertLess(done.peak_mib, PEAK_LIMIT_MIB)
                    self.assertLess(done.bytes_read, max_read or float('inf'))

    def test_broken_files_and_extreme_values_end_in_their_own_cards(self):
        utf16 = [(f'UTF-16 {order.upper()} {"with" if mark else "without"} byte-order mark', 'unsupported',
                  (b'\xff\xfe' if order == 'le' else b'\xfe\xff') * mark + ((ZARO * mark) + PLAIN).decode().encode('utf-16-' + order))
                 for order in ('le', 'be') for mark in (True, False)]
        self.check([(name, written(lambda data=data: expanded(data)), ending)
                    for name, ending, data in [*read_cases('system/hostile_inputs.cases'), *utf16]])

    def test_files_that_cannot_be_read_end_in_the_systems_message(self):
        self.check([('a missing file', lambda p: p.parent / 'no such file.csv', 'No such file or directory'),
                    ('a path through a file', lambda p: written(lambda: PLAIN)(p) / 'inside.csv', 'Not a directory'),
                    ('a symbolic link loop', made(lambda p: os.symlink(p, p)), 'Too many levels of symbolic links'),
                    ('an unreadable file (run as nobody)', made(lambda p: (p.write_bytes(PLAIN), os.chmod(p, 0))),
                     'Permission denied', True),
                    ('a directory', made(Path.mkdir), 'Is a directory'),
                    ('a FIFO with no writer', made(os.mkfifo), 'Not a regular file'),
                    ('/dev/zero', lambda p: Path('/dev/zero'), 'Not a regular file'),
                    ('/dev/null', lambda p: Path('/dev/null'), 'Not a regular file')])

    def test_big_inputs_stay_within_time_and_memory(self):
        self.check([
            ('exactly 64 MiB of zeros (sparse)', sparse(LARGEST), 'unsupported'),
            ('64 MiB + 1 (never read)', sparse(LARGEST + 1), 'too-large', False, 4 * MIB),
            ('1 TiB sparse (never read)', sparse(1 << 40), 'too-large', False, 4 * MIB),
            ('one 64 MiB line', written(lambda: b'A' * LARGEST), 'unsupported'),
            ('one 64 MiB line after a format line', written(lambda: b'Format,ZARO CSV\n' + b'x' * (LARGEST - 16)),
             'unsupported'),
            ('a 64 MiB header of commas', written(lambda: b'Time,Latitude,Longitude' + b',' * (LARGEST - 24 - len(ROWS))
                                                  + b'\n' + ROWS), 'card'),
            ('a 64 MiB header of commas only', written(lambda: b',' * (LARGEST - 1) + b'\n'), 'unsupported'),
            ('64 MiB of commas in every row', written(lambda: [HEADER] + [
                row(i, b',52.07,-1.01' + b',' * (4 * MIB - 64) + b'\n') for i in range(16)]), 'card'),
            ('millions of lap rows', written(lambda: up_to(
                LARGEST - 1000, lambda i: b'Lap %d,91.264,Sectors,31.4,27.2\n' % (i + 1), ZARO, PLAIN)), 'card'),
            ('8.39 million lap rows', written(lambda: up_to(LARGEST - 1000, lambda i: b'Lap 1,1\n', ZARO, PLAIN)), 'card'),
            ('335 lap rows of 100,001 sectors', written(lambda: up_to(
                LARGEST - 1000, lambda i: b'Lap %d,90,Sectors' % i + b',1.5' * 100001 + b'\n', ZARO, PLAIN)), 'card'),
            ('one lap row with 33.5 million sectors', written(lambda: [ZARO + b'Lap 1,90,Sectors'] + [b',1' * (1 << 20)] * (
                (LARGEST - 200 - len(ZARO) - len(PLAIN)) // (2 << 20)) + [b'\n' + PLAIN]), 'card'),
            ('millions of distinct lap numbers', written(lambda: up_to(
                LARGEST, lambda i: row(i, b',52.07,-1.01,%d\n' % i), b'Time,Latitude,Longitude,Lap\n')), 'card'),
            ('millions of GPS rows', written(lambda: up_to(
                LARGEST, lambda i: row(i, b',52.%d,-1.%d,150,0.1,0.2,3,0\n' % (i % 10000, i % 7919)), HEADER)), 'card'),
            ('millions of metadata lines', written(lambda: up_to(
                LARGEST - 1000, lambda i: b'Track,Track number %d\n' % i, ZARO, PLAIN)), 'card'),
        ])

    def test_a_file_changing_while_read_gives_a_whole_card(self):
        body = row(5, b',52.0735698,-1.0197718,154.40,-0.023,0.024,1.2,0\n') * 20000
        # Big enough that reading it takes a good part of a second, so that the changes meet the reads.
        start = written(lambda: ZARO + PLAIN + body * 24)

        def grow(p, stop):
            with open(p, 'ab') as f:
                while not stop.is_set() and f.tell() < LARGEST - 2 * MIB:
                    f.write(body)
                    f.flush()
                    time.sleep(0.002)

        def shrink(p, stop):
            size = p.stat().st_size
            while not stop.is_set() and size > 0:
                os.truncate(p, size := size // 2)
                time.sleep(0.02)

        def rewrite(p, stop):
            while not stop.is_set():
                with open(p, 'wb') as f:
                    f.write(ZARO + PLAIN)
                    for _ in range(24):
                        stop.is_set() or f.write(body)

        def garble(p, stop):
            with open(p, 'r+b') as f:
                while not stop.is_set() and f.tell() < p.stat().st_size:
                    f.write(b'\xff' * 65536)
                    f.flush()

        self.check([(f'a file that {how} while read', start, 'any card', False, None, meddle)
                    for how, meddle in [('grows', grow), ('shrinks', shrink), ('is truncated and rewritten', rewrite),
                                        ('is turned to garbage', garble)]])


class HostileCallers(unittest.TestCase):
    """Paths and descriptors a caller may hand over: nothing destroys a file, blocks or is half written."""

    def setUp(self):
        self.folder = Path(self.enterContext(scratch()))
        os.chmod(self.folder, 0o777)  # so that a program run as nobody can write here
        self.session = self.folder / 'in.csv'
        self.session.write_bytes(ZARO + PLAIN)

    def node(self, kind):
        path = self.folder / kind
        if kind == 'socket':
            self.enterContext(socket.socket(socket.AF_UNIX)).bind(str(path))
        else:
            os.mknod(path, {'fifo': stat.S_IFIFO, 'null': stat.S_IFCHR, 'full': stat.S_IFCHR}[kind] | 0o666,
                     {'null': os.makedev(1, 3), 'full': os.makedev(1, 7)}.get(kind, 0))
        return path

    def test_an_output_that_would_destroy_a_file_is_refused_before_anything_is_written(self):
        (self.folder / 'sub').mkdir()
        refused_node = 'Not a regular file (write to standard output with - instead)'
        same = 'OUTPUT is the INPUT file, which is only ever read.'
        for name, program, given, output, nobody, code, message in [
                ('OUTPUT is the INPUT', PREVIEW, 'in.csv', 'in.csv', False, 2, same),
                ('OUTPUT is the INPUT by another path', PREVIEW, 'in.csv', 'sub/../in.csv', False, 2, same),
                ('OUTPUT is the INPUT given as a URI', PREVIEW, f'file://{self.session}', 'in.csv', False, 2, same),
                ('the thumbnailer\'s OUTPUT is its INPUT', THUMBNAILER, 'in.csv', './in.csv', False, 2, same),
                ('OUTPUT is a FIFO', PREVIEW, 'in.csv', 'fifo', False, 1, refused_node),
                ('OUTPUT is a copy of /dev/null', PREVIEW, 'in.csv', 'null', False, 1, refused_node),
                ('OUTPUT is a copy of /dev/full', THUMBNAILER, 'in.csv', 'full', False, 1, refused_node),
                ('OUTPUT is a socket', PREVIEW, 'in.csv', 'socket', False, 1, refused_node),
                ('OUTPUT is /dev/full for nobody', PREVIEW, 'in.csv', '/dev/full', True, 1, refused_node),
                ('OUTPUT is empty', PREVIEW, 'in.csv', '', False, 2, 'INPUT and OUTPUT must not be empty.')]:
            with self.subTest(name):
                target = self.folder / output
                if output in ('fifo', 'null', 'full', 'socket') and not target.exists():
                    self.node(output)
                kind = stat.S_IFMT(os.stat(target).st_mode) if output else None
                args = [program] + (['-s', '64'] if program == THUMBNAILER else []) + [given, output]
                done = run(args, cwd=self.folder, as_nobody=nobody)
                self.assertEqual(done.code, code, done.err)
                self.assertIn(message, done.err.decode())
                self.assertEqual(self.session.read_bytes(), ZARO + PLAIN)
                if kind is not None:
                    self.assertEqual(stat.S_IFMT(os.stat(target).st_mode), kind)

    def test_outputs_a_caller_prepares_get_the_whole_picture(self):
        card = run([PREVIEW, self.session, '-']).out
        # A name so long that no temporary name can be made from it.
        for length in (248, 255):
            long_name = self.folder / ('n' * length)
            long_name.write_bytes(b'old')
            self.assertEqual(run([PREVIEW, self.session, long_name]).code, 0)
            self.assertEqual(long_name.read_bytes(), card)
        # XFCE's thumbnail service makes the output first and reads it back through its own descriptor.
        (self.folder / 'made.png').write_bytes(b'')
        with open(self.folder / 'made.png', 'rb') as callers:
            self.assertEqual(run([PREVIEW, self.session, self.folder / 'made.png']).code, 0)
            self.assertEqual(callers.read(), card)
        # A pipe set non-blocking takes 64 KiB at a time: the program waits for the rest.
        reader, writer = os.pipe()
        os.set_blocking(writer, False)
        received = []
        drain = threading.Thread(target=lambda: received.append(os.fdopen(reader, 'rb').read()))
        drain.start()
        done = run(['sh', '-c', f'"$0" "$1" - >&{writer} {writer}>&-; echo $? >&2', PREVIEW, self.session],
                   pass_fds=(writer,))
        os.close(writer)
        drain.join()
        self.assertEqual((received, done.err.split(b'\n')[-2]), ([card], b'0'))
        # With standard output closed, "-" is refused instead of writing into whatever takes its number.
        closed = run([PREVIEW, self.session, '-'], before_exec=lambda: os.close(1))
        self.assertEqual((closed.code, closed.err), (1, b'zaro-session-preview: standard output is closed\n'))

    def test_titles_and_inputs_out_of_the_ordinary_still_give_the_card(self):
        odd = self.folder / os.fsdecode(b'lap\xc2\x9b[31m\x9b.csv')  # C1 controls, and a raw 0x9B byte
        odd.write_bytes(ZARO + PLAIN)
        done = run([PREVIEW, odd, self.folder / 'card.png'])
        self.assertEqual(done.out.decode(), 'lap\ufffd[31m\ufffd\n')
        memfd = os.memfd_create('session')
        os.write(memfd, ZARO + PLAIN)
        done = run([PREVIEW, f'/proc/self/fd/{memfd}', self.folder / 'memfd.png'], pass_fds=(memfd,))
        self.assertEqual((done.code, is_whole_card((self.folder / 'memfd.png').read_bytes())), (0, True))
        # HOME names a folder that cannot be searched: its fonts are left out, the rest is confined.
        done = run([PREVIEW, self.session, self.folder / 'home.png'], as_nobody=True, env={'HOME': '/root'}, stderr_tty=True)
        self.assertEqual((done.code, b'confinement' in done.err), (0, False))

    def test_a_small_address_space_ends_in_a_card_or_in_no_output_never_in_an_uncaught_exception(self):
        if b'__asan_init' in Path(PREVIEW).read_bytes():
            self.skipTest('the sanitizers reserve more address space than any such limit')
        outcomes = []
        for program in (PREVIEW, THUMBNAILER):
            for mib in range(20, 260, 20):
                output = self.folder / f'{mib}.png'
                args = [program] + (['-s', '256'] if program == THUMBNAILER else []) + [self.session, output]
                done = run(args, before_exec=lambda mib=mib: resource.setrlimit(resource.RLIMIT_AS, (mib << 20,) * 2))
                outcomes.append(f'{Path(program).name} {mib} MiB: {done.code if done.signal is None else "signal %d" % done.signal}')
                self.assertNotIn(b'terminate called', done.err, outcomes[-1])
                self.assertEqual(output.exists(), done.code == 0, outcomes[-1])
                self.assertTrue(done.code != 0 or is_whole_card(output.read_bytes()) or program == THUMBNAILER)
        print('\n'.join(outcomes))


if __name__ == '__main__':
    unittest.main()
