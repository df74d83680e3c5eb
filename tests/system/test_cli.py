"""zaro-session run as a person or a script runs it: summaries of files and of standard input, and lists and
bests of folders of sessions."""
import csv
import io
import json
import os
import shutil
import subprocess
import time
import unittest
from pathlib import Path

from runner import CLI, EXAMPLES, TESTS, read_cases, run, scratch

EMPTY = 'The ZARO Session file is empty.'
TOO_LARGE = 'The ZARO Session file is too large to preview.'
PLAIN = b'Time,Latitude,Longitude,Speed\n2024-06-01T10:15:00Z,0,0,10\n2024-06-01T10:15:01Z,0,1,20\n'
PLAIN_TEXT = (TESTS / 'system/plain_summary.txt').read_text(encoding='utf-8')  # the summary of PLAIN


def cli(*arguments, cwd=None, **options):
    done = run([CLI, *arguments], cwd=cwd, **options)
    return done.code, done.out.decode(), done.err.decode()


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.folder = Path(self.enterContext(scratch()))
        (self.folder / 'Sunday practice.csv').write_bytes(PLAIN)
        (self.folder / 'empty.csv').write_bytes(b'')

    def test_prints_one_json_line_a_file_with_an_error_object_naming_each_failure(self):
        with open(self.folder / 'Sunday practice.csv', 'rb') as given:
            code, out, err = cli('summary', 'Sunday practice.csv', 'empty.csv', '--json', 'missing.csv', '-',
                                 cwd=self.folder, stdin=given)
        lines = out.splitlines()
        self.assertEqual((code, err, len(lines)), (1, '', 4))
        self.assertTrue(lines[0].startswith('{"fileName": "Sunday practice.csv", "trackName": "Unknown track", '))
        self.assertEqual([json.loads(line) for line in lines[1:3]],
                         [{'fileName': 'empty.csv', 'error': {'kind': 'empty', 'message': EMPTY}},
                          {'fileName': 'missing.csv', 'error': {'kind': 'io', 'message': 'No such file or directory'}}])
        self.assertEqual(lines[3], lines[0].replace('"Sunday practice.csv"', '"standard input"'))

    def test_prints_text_summaries_and_failures_without_control_characters(self):
        evil = os.fsdecode(b'bad\xff\x1b]0;\xc2\x9b.csv')  # broken UTF-8, an escape, a C1 control
        (self.folder / evil).write_bytes(b'')
        self.assertEqual(cli('summary', 'Sunday practice.csv', evil, 'missing.csv', 'Sunday practice.csv',
                             cwd=self.folder),
                         (1, PLAIN_TEXT + '\n' + PLAIN_TEXT,
                          f'bad\ufffd\ufffd]0;\ufffd.csv: {EMPTY}\nmissing.csv: No such file or directory\n'))

    def test_reads_standard_input_no_further_than_the_file_limit(self):
        with open('/dev/zero', 'rb') as endless:
            self.assertEqual(cli('summary', '-', stdin=endless), (1, '', f'standard input: {TOO_LARGE}\n'))

    def test_a_summary_confines_itself_before_it_reads_what_it_was_handed(self):
        """Other programs (KDE's metadata extractor) run it on files they were handed: while it waits for its input it
        already runs with no new privileges and under its system-call filter."""
        read, write = os.pipe()
        process = subprocess.Popen([CLI, 'summary', '-'], stdin=read, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(read)
        try:
            status, deadline = '', time.monotonic() + 10
            while 'Seccomp:\t2' not in status and time.monotonic() < deadline:
                time.sleep(0.02)
                status = Path(f'/proc/{process.pid}/status').read_text()
            self.assertIn('NoNewPrivs:\t1', status)
            self.assertIn('Seccomp:\t2', status)
        finally:
            os.close(write)
            process.wait(10)

    def test_bash_completes_commands_options_their_values_and_session_files(self):
        (self.folder / 'notes.txt').write_bytes(b'')
        completion = TESTS.parent / 'packaging/completion/zaro-session'
        for line, offered in read_cases('system/completions.cases'):
            script = (f'. {completion}; read -ra COMP_WORDS <<< "$0"; [[ $0 == *" " ]] && COMP_WORDS+=(""); '
                      'COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _zaro_session; printf "%s\\n" "${COMPREPLY[@]}"')
            done = run(['bash', '-c', script, line], cwd=self.folder)
            self.assertEqual(sorted(done.out.decode().splitlines()), offered, line)


class Folders(unittest.TestCase):
    """list and bests over a tree with nested folders, a link back up, a FIFO, a CSV file that is no session and
    a sparse file over the limit."""

    def setUp(self):
        self.root = Path(self.enterContext(scratch()))
        (self.root / '2024' / 'june').mkdir(parents=True)
        practice = (EXAMPLES / 'Sunday practice.csv').read_bytes()
        (self.root / '2024' / 'june' / 'Sunday practice.csv').write_bytes(practice)
        # The same best lap a month later: June's session keeps it.
        (self.root / '2024' / 'july.CSV').write_bytes(practice.replace(b'2024-06-02', b'2024-07-07'))
        shutil.copy(EXAMPLES / 'racebox-track-session.csv', self.root / '2024' / 'june' / 'racebox.csv')
        # Other loggers' exports: RaceChrono's CSV, and a VBOX log, found by its .vbo name.
        (self.root / '2025').mkdir()
        shutil.copy(EXAMPLES / 'racechrono-lap-timing.csv', self.root / '2025' / 'racechrono.csv')
        shutil.copy(EXAMPLES / 'vbox-track-day.vbo', self.root / '2025' / 'track day.VBO')
        os.symlink('..', self.root / '2024' / 'june' / 'loop')
        (self.root / 'plain.csv').write_bytes(PLAIN)
        (self.root / 'notes.txt').write_bytes(PLAIN)
        (self.root / 'prices.csv').write_bytes(b'name,price\napple,1\n')
        os.mkfifo(self.root / 'pipe.csv')
        with open(self.root / 'huge.csv', 'wb') as huge:
            huge.truncate((64 << 20) + 1)

    def test_lists_every_session_once_and_names_every_file_that_failed(self):
        code, out, err = cli('list', '--format', 'csv', '.', cwd=self.root)
        self.assertEqual(err, f'./huge.csv: {TOO_LARGE}\n./pipe.csv: Not a regular file\n'
                              './prices.csv: Unsupported ZARO Session format. Expected ZARO or RaceBox CSV.\n'
                              'zaro-session: 3 of 9 files could not be read\n')
        self.assertEqual(code, 1)
        self.assertTrue(out.startswith('path,startedAt,trackName,configuration,sessionType,lapCount,bestLapSec,'
                                       'theoreticalBestSec,maxSpeedMps,durationSec,distanceM\r\n'))
        # The rows as they should be, without the speed and the distance, are kept beside this file.
        rows = [row[:8] + row[9:10] for row in csv.reader(io.StringIO(out, newline=''))][1:]
        self.assertEqual(rows, list(csv.reader((TESTS / 'system/list_rows.txt').read_text().splitlines())))

    def test_sorts_the_same_way_whatever_the_number_of_workers(self):
        orders = {'best': ['2025/racechrono.csv', '2024/july.CSV', '2024/june/Sunday practice.csv', '2024/june/racebox.csv',
                           '2025/track day.VBO', 'plain.csv'],
                  'track': ['2024/june/Sunday practice.csv', '2024/july.CSV', '2024/june/racebox.csv',
                            '2025/racechrono.csv', 'plain.csv', '2025/track day.VBO'],
                  'file': ['2024/july.CSV', '2024/june/Sunday practice.csv', '2024/june/racebox.csv',
                           '2025/racechrono.csv', '2025/track day.VBO', 'plain.csv']}
        for order, paths in orders.items():
            lines = [cli('list', '--format=json', '--sort', order, '--jobs', jobs, str(self.root))[1]
                     for jobs in ('1', '3')]
            self.assertEqual(lines[0], lines[1], order)
            self.assertEqual([json.loads(line)['path'] for line in lines[0].splitlines()],
                             [str(self.root / path) for path in paths], order)

    def test_shows_tables_of_sessions_and_of_the_bests_at_each_track(self):
        # The tables as they should be are kept beside this file.
        list_table, bests_table = ((TESTS / 'system' / name).read_text(encoding='utf-8')
                                   for name in ('list_table.txt', 'bests_table.txt'))
        self.assertEqual(cli('list', '--units', 'imperial', 'plain.csv', cwd=self.root), (0, list_table, ''))
        self.assertEqual(cli('bests', '2024', '2025', 'plain.csv', cwd=self.root)[:2], (0, bests_table))

    def test_shows_progress_on_a_terminal_during_a_long_run_and_erases_it(self):
        (self.root / 'long' / 'laps.csv').parent.mkdir()
        (self.root / 'long' / 'laps.csv').write_bytes(b'Format,ZARO CSV\n' + b'Lap 1,1\n' * (7 << 20) + PLAIN)
        done = run([CLI, 'list', '--jobs', '1', self.root / 'long'], stderr_tty=True)
        if done.wall_ms < 700:
            self.skipTest(f'the run took {done.wall_ms:.0f} ms, too short to show progress')
        self.assertEqual(done.code, 0)
        self.assertRegex(done.err.decode(), r'^([01] of 1 files, \d+\.\d MB/s\x1b\[K)+\x1b\[K$')


if __name__ == '__main__':
    unittest.main()
