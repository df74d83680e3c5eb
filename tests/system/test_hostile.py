"""Hostile and broken session files through the preview program: each ends in its exact error card or in a
summary card, promptly and in bounded memory, never in a crash."""
import os
import re
import resource
import threading
import time
import unittest
from pathlib import Path

from runner import PREVIEW, THUMBNAILER, folder_entries, is_whole_card, read_cases, run, scratch

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


def made(action):
    """An input made when its case runs: `action(path)`, then the path."""
    return lambda path: (action(path), path)[1]


def written(produce):
    """An input of bytes, or of pieces of them, made when its case runs so that the test process stays small: a
    program started from it counts the test's memory as its own until it execs."""
    def write(path):
        with open(path, 'wb') as f:
            content = produce()
            f.writelines([content] if isinstance(content, bytes) else content)
    return made(write)


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
    def check(self, cases):
        """Each case: a name, what makes the input (a function of a suggested path giving the path to hand over),
        the ending, and optionally: run as nobody, read fewer bytes than this, change the input while it runs."""
        with scratch() as folder:
            folder = Path(folder)
            (folder / 'out').mkdir(mode=0o777)
            os.chmod(folder / 'out', 0o777)  # so that a program run as nobody can write its card here
            for i, (name, make, ending, *more) in enumerate(cases):
                nobody, max_read, meddle = (*more, *(False, None, None)[len(more):])
                with self.subTest(name):
                    given, output = make(folder / f'input-{i}.csv'), folder / 'out' / f'{i}.png'
                    stop = threading.Event()
                    meddler = threading.Thread(target=meddle, args=(given, stop)) if meddle else None
                    meddler and meddler.start()
                    done = run([PREVIEW, given, output], stderr_tty=True, as_nobody=nobody)
                    stop.set()
                    meddler and meddler.join()
                    failures = [line[16:] for line in done.err.decode(errors='replace').splitlines()
                                if line.startswith('preview failed: ')]
                    figures = f'{done.wall_ms:.0f} ms, {done.peak_mib:.1f} MiB, {done.bytes_read} bytes read'
                    self.assertEqual((done.code, len(failures) <= 1), (0, True), done.err)
                    if ENDINGS.get(ending, ending):
                        self.assertEqual(failures[-1] if failures else 'card', ENDINGS.get(ending, ending))
                    self.assertTrue(output.exists() and is_whole_card(output.read_bytes()))
                    self.assertTrue(done.wall_ms < WALL_LIMIT_MS and done.peak_mib < PEAK_LIMIT_MIB
                                    and done.bytes_read < (max_read or float('inf')), figures)

    def test_broken_files_and_extreme_values_end_in_their_own_cards(self):
        self.check([(name, written(lambda data=data: expanded(data)), ending)
                    for name, ending, data in read_cases('system/hostile_inputs.cases')])

    def test_files_that_cannot_be_read_end_in_the_systems_message(self):
        self.check([('a missing file', lambda p: p.parent / 'no such file.csv', 'No such file or directory'),
                    ('a path through a file', lambda p: written(lambda: PLAIN)(p) / 'inside.csv', 'Not a directory'),
                    ('a symbolic link loop', made(lambda p: os.symlink(p, p)), 'Too many levels of symbolic links'),
                    ('an unreadable file (run as nobody)', made(lambda p: (p.write_bytes(PLAIN), os.chmod(p, 0))),
                     'Permission denied', True),
                    ('a directory', made(Path.mkdir), 'Is a directory'),
                    ('a FIFO with no writer', made(os.mkfifo), 'Not a regular file')])

    def test_big_inputs_stay_within_time_and_memory(self):
        self.check([
            ('1 TiB sparse (never read)', made(lambda p: (p.touch(), os.truncate(p, 1 << 40))), 'too-large', False,
             4 * MIB),
            ('one 64 MiB line', written(lambda: b'A' * LARGEST), 'unsupported'),
            ('one 64 MiB line after a format line', written(lambda: b'Format,ZARO CSV\n' + b'x' * (LARGEST - 16)),
             'unsupported'),
            ('a 64 MiB header of commas', written(lambda: b'Time,Latitude,Longitude' + b',' * (LARGEST - 24 - len(ROWS))
                                                  + b'\n' + ROWS), 'card'),
            ('a 64 MiB header of commas only', written(lambda: b',' * (LARGEST - 1) + b'\n'), 'unsupported'),
            ('64 MiB of commas in every row', written(lambda: [HEADER] + [
                row(i, b',52.07,-1.01' + b',' * (4 * MIB - 64) + b'\n') for i in range(16)]), 'card'),
            ('8.39 million lap rows', written(lambda: up_to(LARGEST - 1000, lambda i: b'Lap 1,1\n', ZARO, PLAIN)),
             'card'),
            ('335 lap rows of 100,001 sectors', written(lambda: up_to(
                LARGEST - 1000, lambda i: b'Lap %d,90,Sectors' % i + b',1.5' * 100001 + b'\n', ZARO, PLAIN)), 'card'),
            ('one lap row with 33.5 million sectors', written(lambda: [ZARO + b'Lap 1,90,Sectors'] + [b',1' * MIB] * (
                (LARGEST - 200 - len(ZARO) - len(PLAIN)) // (2 * MIB)) + [b'\n' + PLAIN]), 'card'),
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

        def meddler(change, pause=0.0):
            """Changes the file with `change(path, open file)` until the run ends or it returns False."""
            def meddle(p, stop):
                with open(p, 'r+b') as f:
                    while not stop.is_set() and change(p, f) is not False:
                        time.sleep(pause)
            return meddle

        meddles = [
            ('grows', meddler(lambda p, f: f.seek(0, 2) < LARGEST - 2 * MIB and (f.write(body), f.flush()), 0.002)),
            ('shrinks', meddler(lambda p, f: (size := p.stat().st_size) > 0 and f.truncate(size // 2), 0.02)),
            ('is truncated and rewritten',
             meddler(lambda p, f: (f.seek(0), f.truncate(), f.writelines([ZARO + PLAIN] + [body] * 24)))),
            ('is turned to garbage',
             meddler(lambda p, f: f.tell() < p.stat().st_size and (f.write(b'\xff' * 65536), f.flush())))]
        self.check([(f'a file that {how} while read', start, 'any card', False, None, meddle)
                    for how, meddle in meddles])


class HostileCallers(unittest.TestCase):
    """Paths and descriptors a caller may hand over: nothing destroys a file, blocks or is half written."""

    def setUp(self):
        self.folder = Path(self.enterContext(scratch()))
        self.session = self.folder / 'in.csv'
        self.session.write_bytes(ZARO + PLAIN)

    def test_an_output_that_would_destroy_a_file_is_refused_before_anything_is_written(self):
        (self.folder / 'sub').mkdir()
        same = 'OUTPUT is the INPUT file, which is only ever read.'
        for given, output, nobody, code, message in [
                ('in.csv', 'in.csv', False, 2, same), ('in.csv', 'sub/../in.csv', False, 2, same),
                (f'file://{self.session}', 'in.csv', False, 2, same),
                ('in.csv', '/dev/full', True, 1, 'Not a regular file (write to standard output with - instead)')]:
            with self.subTest(given=given, output=output):
                done = run([PREVIEW, given, output], cwd=self.folder, as_nobody=nobody)
                self.assertEqual(done.code, code, done.err)
                self.assertIn(message, done.err.decode())
                self.assertEqual(self.session.read_bytes(), ZARO + PLAIN)
        self.assertEqual(folder_entries(self.folder), ['in.csv', 'sub'])

    def test_standard_output_gets_the_whole_picture_or_a_refusal(self):
        card = run([PREVIEW, self.session, '-']).out
        self.assertTrue(is_whole_card(card))
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

    def test_a_title_with_control_characters_is_printed_without_them(self):
        odd = self.folder / os.fsdecode(b'lap\xc2\x9b[31m\x9b.csv')  # C1 controls, and a raw 0x9B byte
        odd.write_bytes(ZARO + PLAIN)
        done = run([PREVIEW, odd, self.folder / 'card.png'])
        self.assertEqual(done.out.decode(), 'lap\ufffd[31m\ufffd\n')

    def test_a_small_address_space_ends_in_a_card_or_in_no_output_never_in_an_uncaught_exception(self):
        if b'__asan_init' in Path(PREVIEW).read_bytes():
            self.skipTest('the sanitizers reserve more address space than any such limit')
        outcomes = []
        for program in (PREVIEW, THUMBNAILER):
            for mib in range(20, 260, 20):
                output = self.folder / f'{Path(program).name}-{mib}.png'
                args = [program] + (['-s', '256'] if program == THUMBNAILER else []) + [self.session, output]
                done = run(args, before_exec=lambda mib=mib: resource.setrlimit(resource.RLIMIT_AS, (mib << 20,) * 2))
                ended = done.code if done.signal is None else f'signal {done.signal}'
                outcomes.append(f'{Path(program).name} {mib} MiB: {ended}')
                self.assertNotIn(b'terminate called', done.err, outcomes[-1])
                self.assertEqual(output.exists(), done.code == 0, outcomes[-1])
                self.assertTrue(done.code != 0 or is_whole_card(output.read_bytes()) or program == THUMBNAILER)
        print('\n'.join(outcomes))


if __name__ == '__main__':
    unittest.main()
