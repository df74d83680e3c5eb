"""Hostile and broken session files through the preview program: each ends in its exact error card or in a
summary card, promptly and in bounded memory, never in a crash."""
import itertools
import os
import re
import resource
import subprocess
import threading
import time
import unittest
from pathlib import Path

from runner import BUILD, EXAMPLES, PREVIEW, THUMBNAILER, folder_entries, is_whole_card, png_pixels, read_cases, run, scratch

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
    repeated = 1
    while repeated:  # the innermost first
        data, repeated = re.subn(rb'\$\{(\d+) x ([^${}]*)\}', lambda m: m.group(2) * int(m.group(1)), data)
    return data


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


def up_to(limit, row_of, head):
    """`head`, then rows while they fit in `limit` bytes, in pieces of about a MiB."""
    yield head
    size, i, batch, batched = len(head), 0, [], 0
    while size + len(r := row_of(i)) <= limit:
        batch.append(r)
        size, i, batched = size + len(r), i + 1, batched + len(r)
        if batched >= MIB:
            yield b''.join(batch)
            batch, batched = [], 0
    yield b''.join(batch)


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

    def test_broken_files_extreme_values_and_files_of_64_mib_end_in_their_own_cards(self):
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
        """A sparse file of 1 TiB, and the 64 MiB files whose rows differ, which the case file cannot write."""
        self.check([
            ('1 TiB sparse (never read)', made(lambda p: (p.touch(), os.truncate(p, 1 << 40))), 'too-large', False,
             4 * MIB),
            ('millions of distinct lap numbers', written(lambda: up_to(
                LARGEST, lambda i: row(i, b',52.07,-1.01,%d\n' % i), b'Time,Latitude,Longitude,Lap\n')), 'card'),
            ('millions of GPS rows', written(lambda: up_to(
                LARGEST, lambda i: row(i, b',52.%d,-1.%d,150,0.1,0.2,3,0\n' % (i % 10000, i % 7919)), HEADER)), 'card'),
        ])

    def test_other_loggers_files_of_64_mib_stay_within_time_and_memory(self):
        """A session of 64 MiB as each family of loggers writes it, made by the generator."""
        make = BUILD / 'bench/zaro-make-session'
        if not make.exists():
            self.skipTest('the build has no generator (-DZARO_BENCH=OFF)')
        families = ['racechrono', 'trackaddict', 'aim', 'vbox', 'harrys', 'racecapture', 'alfano', 'gps']
        self.check([(f'{family}, 64 MiB', made(lambda p, family=family: run(
            [make, '--shape', family, '--max-bytes', str(LARGEST), p])), 'card') for family in families])

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



class HostileOutputs(unittest.TestCase):
    """What the output's name leads to is settled once, on descriptors opened before the program confines itself;
    whatever it leads to and whoever else writes it, the card is there whole and nothing else is left."""

    def setUp(self):
        self.folder = Path(self.enterContext(scratch()))
        (self.folder / 'in.csv').write_bytes(ZARO + PLAIN)
        (self.folder / 'out').mkdir()

    def test_a_dangling_link_as_output_is_replaced_by_the_card_as_mv_would(self):
        for name, target in [('dangling.png', self.folder / 'nowhere' / 'card.png'), ('loop.png', 'loop.png')]:
            with self.subTest(name):
                output = self.folder / 'out' / name
                os.symlink(target, output)
                done = run([PREVIEW, self.folder / 'in.csv', output])
                self.assertEqual((done.code, output.is_symlink(), is_whole_card(output.read_bytes())), (0, False, True),
                                 done.err)
        self.assertEqual(folder_entries(self.folder / 'out'), ['dangling.png', 'loop.png'])
        self.assertEqual(folder_entries(self.folder), ['in.csv', 'out'])

    def test_eight_previews_writing_one_output_at_once_all_succeed_and_leave_one_whole_card(self):
        output = self.folder / 'out' / 'card.png'
        for round_number in range(100):
            output.unlink(missing_ok=True)
            writers = [subprocess.Popen([PREVIEW, self.folder / 'in.csv', output], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE) for _ in range(8)]
            ended = [(writer.wait(timeout=60), writer.stderr.read()) for writer in writers]
            for writer in writers:
                writer.stderr.close()
            self.assertEqual([code for code, _ in ended], [0] * 8, (round_number, ended))
            self.assertTrue(is_whole_card(output.read_bytes()), round_number)
            self.assertEqual(folder_entries(self.folder / 'out'), ['card.png'], round_number)



class HostileLimits(unittest.TestCase):
    """However few descriptors or how little address space a program starts with, it draws the very picture it
    draws without limits, or fails with a message and writes nothing; a signal never ends it."""

    def outcomes(self, limit, values):
        with scratch() as folder:
            folder = Path(folder)
            # A track named in a script the cards' family lacks, drawn by a fallback face.
            example = (EXAMPLES / 'Sunday practice.csv').read_bytes()
            (folder / 'haifa.csv').write_bytes(example.replace(b'Track,Ashcombe Raceway', 'Track,מסלול חיפה'.encode()))
            for program, session in itertools.product(
                    ([PREVIEW], [THUMBNAILER, '--style', 'track', '-s', '256']),
                    (EXAMPLES / 'Sunday practice.csv', folder / 'haifa.csv')):
                whole = folder / 'unlimited.png'
                run([*program, session, whole])
                for value in values:
                    output = folder / f'{value}.png'
                    done = run([*program, session, output],
                               before_exec=lambda value=value: resource.setrlimit(limit, (value,) * 2))
                    with self.subTest(program=Path(program[0]).name, session=session.name, limit=value):
                        self.assertIsNone(done.signal)
                        if done.code == 0:
                            self.assertEqual(png_pixels(output.read_bytes()), png_pixels(whole.read_bytes()))
                        else:
                            self.assertEqual((output.exists(), done.err.count(b'\n'), done.err.count(b': ') > 0),
                                             (False, 1, True), done.err)
                    output.unlink(missing_ok=True)
                self.assertEqual(folder_entries(folder), ['haifa.csv', 'unlimited.png'])
                whole.unlink()

    def test_the_cards_fonts_never_come_from_the_systems_font_configuration(self):
        """The fonts lie where the packages put them: a configuration that cannot be read changes nothing."""
        with scratch() as folder:
            cards = [Path(folder) / f'{i}.png' for i in range(2)]
            run([PREVIEW, EXAMPLES / 'Sunday practice.csv', cards[0]])
            done = run([PREVIEW, EXAMPLES / 'Sunday practice.csv', cards[1]],
                       env={'FONTCONFIG_FILE': '/nonexistent/fonts.conf', 'FONTCONFIG_PATH': '/nonexistent'})
            self.assertEqual((done.code, done.err), (0, b''))
            self.assertEqual(png_pixels(cards[1].read_bytes()), png_pixels(cards[0].read_bytes()))

    def test_any_number_of_descriptors_from_3_to_16(self):
        self.outcomes(resource.RLIMIT_NOFILE, range(3, 17))

    def test_any_address_space_from_40_mb_up(self):
        if b'__asan_init' in Path(PREVIEW).read_bytes():
            self.skipTest('the sanitizers reserve more address space than any such limit')
        self.outcomes(resource.RLIMIT_AS, [mib << 20 for mib in range(40, 310, 10)])


if __name__ == '__main__':
    unittest.main()
