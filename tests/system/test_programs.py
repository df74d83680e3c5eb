"""zaro-session-preview and zaro-session-thumbnailer run as a desktop, a file manager or a person runs them, and
handed the paths and descriptors a careless caller may hand over: nothing destroys a file, blocks or is half
written; and the command lines that all three programs refuse."""
import os
import resource
import select
import shutil
import socket
import threading
import unittest
from pathlib import Path

from runner import (CLI, EXAMPLES, PREVIEW, RESOURCES, THUMBNAILER, folder_entries, is_whole_card, png_size,
                    read_cases, run, scratch)

PRACTICE = EXAMPLES / 'Sunday practice.csv'
EMPTY = 'The ZARO Session file is empty.'


class Programs(unittest.TestCase):
    def setUp(self):
        self.folder = Path(self.enterContext(scratch()))

    def test_the_preview_writes_the_card_to_a_file_or_standard_output_and_prints_the_title_without_controls(self):
        shutil.copy(PRACTICE, self.folder / 'Sunday 50% wet.csv')
        to_file = run([PREVIEW, self.folder / 'Sunday 50% wet.csv', self.folder / 'card.png'], stderr_tty=True)
        self.assertEqual((to_file.code, to_file.out, to_file.err),
                         (0, b'Sunday 50% wet\n', b'preview Sunday 50% wet.csv\n'))
        card = (self.folder / 'card.png').read_bytes()
        self.assertTrue(is_whole_card(card))
        self.assertEqual(folder_entries(self.folder), ['Sunday 50% wet.csv', 'card.png'])
        # Off a terminal nothing is logged there: the title alone goes to standard error.
        to_output = run([PREVIEW, f'file://{self.folder}/Sunday%2050%25%20wet.csv', '-'])
        self.assertEqual((to_output.code, to_output.out, to_output.err), (0, card, b'Sunday 50% wet\n'))
        # The title leaves out the C1 controls and the raw 0x9B byte of a file's name.
        odd = (self.folder / 'Sunday 50% wet.csv').rename(self.folder / os.fsdecode(b'lap\xc2\x9b[31m\x9b.csv'))
        shown = run([PREVIEW, odd, self.folder / 'card.png'], stderr_tty=True)
        self.assertEqual((shown.out.decode(), shown.err.decode()),
                         ('lap\ufffd[31m\ufffd\n', 'preview lap\ufffd[31m\ufffd.csv\n'))

    def test_the_preview_logs_to_the_system_log(self):
        """The journal's socket is stood in for by one of ours, mounted at /dev/log in a bubblewrap sandbox."""
        journal = self.enterContext(socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM))
        journal.bind(str(self.folder / 'log'))
        (self.folder / 'empty.csv').write_bytes(b'')
        done = run(['bwrap', '--dev-bind', '/', '/', '--dev', '/dev', '--bind', self.folder / 'log', '/dev/log',
                    PREVIEW, self.folder / 'empty.csv', self.folder / 'card.png'])
        if done.code != 0 and done.err.startswith(b'bwrap:'):
            self.skipTest(f'bubblewrap cannot make a sandbox here: {done.err}')
        lines = []
        while select.select([journal], [], [], 0)[0]:  # the program has ended: every line is there
            line = journal.recv(4096).decode()
            # "<priority>timestamp identifier[pid]: message": the timestamp and the process vary.
            lines.append(line[:line.index('>') + 1] + line[line.index(' io.zaro'):line.index('[')]
                         + line[line.index(']:') + 1:])
        self.assertEqual(lines, ['<14> io.zaro.session.preview: [preview] preview empty.csv',
                                 f'<11> io.zaro.session.preview: [preview] preview failed: {EMPTY}'])

    def test_an_output_that_would_destroy_a_file_or_cannot_be_written_is_refused_before_anything_is_written(self):
        session = self.folder / 'in.csv'
        shutil.copy(PRACTICE, session)
        (self.folder / 'sub').mkdir()
        (self.folder / 'locked').mkdir(mode=0o555)
        same = 'OUTPUT is the INPUT file, which is only ever read.'
        for given, output, nobody, code, message in [
                ('in.csv', 'in.csv', False, 2, same), ('in.csv', 'sub/../in.csv', False, 2, same),
                (f'file://{session}', 'in.csv', False, 2, same),
                ('in.csv', '/dev/full', True, 1, 'Not a regular file (write to standard output with - instead)'),
                ('in.csv', 'locked/card.png', True, 1, 'zaro-session-preview: locked/card.png: Permission denied\n')]:
            with self.subTest(given=given, output=output):
                done = run([PREVIEW, given, output], cwd=self.folder, as_nobody=nobody)
                self.assertEqual((done.code, done.out), (code, b''), done.err)
                self.assertIn(message, done.err.decode())
                self.assertEqual(session.read_bytes(), PRACTICE.read_bytes())
        self.assertEqual((folder_entries(self.folder), folder_entries(self.folder / 'locked')),
                         (['in.csv', 'locked', 'sub'], []))

    def test_standard_output_gets_the_whole_picture_or_a_refusal(self):
        card = run([PREVIEW, PRACTICE, '-']).out
        self.assertTrue(is_whole_card(card))
        # A pipe set non-blocking takes 64 KiB at a time: the program waits for the rest.
        reader, writer = os.pipe()
        os.set_blocking(writer, False)
        received = []

        def drain_pipe():
            with open(reader, 'rb') as pipe:
                received.append(pipe.read())
        drain = threading.Thread(target=drain_pipe)
        drain.start()
        done = run(['sh', '-c', f'"$0" "$1" - >&{writer} {writer}>&-; echo $? >&2', PREVIEW, PRACTICE],
                   pass_fds=(writer,))
        os.close(writer)
        drain.join()
        self.assertEqual((received, done.err.split(b'\n')[-2]), ([card], b'0'))
        # With standard output closed, "-" is refused instead of writing into whatever takes its number.
        closed = run([PREVIEW, PRACTICE, '-'], before_exec=lambda: os.close(1))
        self.assertEqual((closed.code, closed.err), (1, b'zaro-session-preview: standard output is closed\n'))

    def test_the_thumbnailer_draws_either_style_at_the_size_asked_for_and_nothing_for_other_files(self):
        shutil.copy(PRACTICE, self.folder / 'Sunday #1.csv')
        (self.folder / 'prices.csv').write_bytes(b'name,price\napple,1\n')
        (self.folder / 'no-rows.csv').write_bytes(b'Format,ZARO CSV\nTime,Latitude,Longitude\n')
        for style, size in [([], 128), (['--style', 'track'], 128), (['--style', 'track'], 256),
                            (['--style', 'track'], 1024)]:
            thumbnail = self.folder / f'{len(style)}-{size}.png'
            done = run([THUMBNAILER, *style, '-s', size, f'file://{self.folder}/Sunday%20%231.csv', thumbnail])
            self.assertEqual((done.code, done.out + done.err, png_size(thumbnail.read_bytes())),
                             (0, b'', (size, size)))
            thumbnail.unlink()
        # The track's reading child answers whether the file is one to draw; the mark's program asks itself.
        for style, given, reason in [('mark', 'prices.csv', 'not a file this thumbnailer is registered for'),
                                     ('track', 'prices.csv', 'not a file this thumbnailer is registered for'),
                                     ('mark', 'missing.csv', 'No such file or directory'),
                                     ('track', 'missing.csv', 'No such file or directory'),
                                     ('track', 'no-rows.csv', 'The ZARO Session file has no GPS rows.')]:
            done = run([THUMBNAILER, '--style', style, '-s', '256', self.folder / given, self.folder / 'out.png'])
            expected = f'zaro-session-thumbnailer: {self.folder}/{given}: {reason}\n'
            self.assertEqual((done.code, done.err.decode()), (1, expected))
        self.assertEqual(folder_entries(self.folder), ['Sunday #1.csv', 'no-rows.csv', 'prices.csv'])

    def test_the_thumbnailer_serves_the_marks_made_ahead_without_loading_what_draws(self):
        """Drawing (cairo, pango and the libraries under them) is a module the thumbnailer loads only to draw."""
        needed = run(['readelf', '--dynamic', THUMBNAILER]).out.decode()
        self.assertEqual([lib for lib in ('libcairo', 'libpango', 'libglib', 'libfreetype') if lib in needed], [])
        # A copy of the program without the module beside it still serves the marks made ahead.
        alone = self.folder / 'bin/zaro-session-thumbnailer'
        alone.parent.mkdir()
        shutil.copy(THUMBNAILER, alone)
        shutil.copy(PRACTICE, self.folder / 'in.csv')
        resources = {'ZARO_SESSION_RESOURCES': RESOURCES}
        done = run([alone, '-s', '256', self.folder / 'in.csv', self.folder / 'mark.png'], env=resources)
        self.assertEqual((done.code, done.err, png_size((self.folder / 'mark.png').read_bytes())), (0, b'', (256, 256)))
        if Path('/usr/local/lib/x86_64-linux-gnu/zaro-session').exists():
            self.skipTest('a drawing module is installed under /usr/local')
        for style, side in [('track', 256), ('mark', 200)]:
            done = run([alone, '--style', style, '-s', side, self.folder / 'in.csv', self.folder / 'drawn.png'],
                       env=resources)
            self.assertEqual((done.code, done.err.decode().startswith(
                'zaro-session-thumbnailer: The thumbnail cannot be drawn: the drawing module cannot be loaded (')),
                (1, True), done.err)
        self.assertEqual(folder_entries(self.folder), ['bin', 'in.csv', 'mark.png'])

    def test_the_preview_starts_its_reading_before_it_loads_what_draws(self):
        """The preview program maps no drawing library of its own; without its module it fails before writing."""
        needed = run(['readelf', '--dynamic', PREVIEW]).out.decode()
        self.assertEqual([lib for lib in ('libcairo', 'libpango', 'libglib', 'libfreetype') if lib in needed], [])
        if Path('/usr/local/lib/x86_64-linux-gnu/zaro-session').exists():
            self.skipTest('a drawing module is installed under /usr/local')
        alone = self.folder / 'bin/zaro-session-preview'
        alone.parent.mkdir()
        shutil.copy(PREVIEW, alone)
        shutil.copy(PRACTICE, self.folder / 'in.csv')
        done = run([alone, self.folder / 'in.csv', self.folder / 'card.png'], env={'ZARO_SESSION_RESOURCES': RESOURCES})
        self.assertEqual((done.code, done.err.decode().startswith(
            'zaro-session-preview: The preview cannot be drawn: the drawing module cannot be loaded (')),
            (1, True), done.err)
        self.assertEqual(folder_entries(self.folder), ['bin', 'in.csv'])

    def test_each_program_answers_help_and_version_and_refuses_a_malformed_command_line_with_the_reason(self):
        programs = {Path(program).name: program for program in (CLI, PREVIEW, THUMBNAILER)}
        for status, first_line, (name, *arguments) in read_cases('system/refusals.cases'):
            done = run([programs[name], *arguments], cwd=self.folder)
            expected = first_line + (f'\nusage: {name} ' if status == '2' else '\n')
            self.assertEqual((done.code, done.err.decode()[:len(expected)]), (int(status), expected), arguments)
        for name, program in programs.items():
            self.assertEqual(run([program, '--version']).out.decode(), f'{name} 0.2.0\n')
            helped = run([program, '--help'])
            self.assertEqual((helped.code, helped.out.startswith(f'usage: {name}'.encode())), (0, True))
        self.assertEqual(run([CLI, 'summary', '--help']).out, run([CLI, '--help']).out)

    def test_a_small_address_space_ends_in_a_card_or_in_no_output_never_in_an_uncaught_exception(self):
        if b'__asan_init' in Path(PREVIEW).read_bytes():
            self.skipTest('the sanitizers reserve more address space than any such limit')
        outcomes = []
        for program in (PREVIEW, THUMBNAILER):
            for mib in range(20, 260, 20):
                output = self.folder / f'{Path(program).name}-{mib}.png'
                args = [program] + (['-s', '256'] if program == THUMBNAILER else []) + [PRACTICE, output]
                done = run(args, before_exec=lambda mib=mib: resource.setrlimit(resource.RLIMIT_AS, (mib << 20,) * 2))
                ended = done.code if done.signal is None else f'signal {done.signal}'
                outcomes.append(f'{Path(program).name} {mib} MiB: {ended}')
                self.assertNotIn(b'terminate called', done.err, outcomes[-1])
                self.assertEqual(output.exists(), done.code == 0, outcomes[-1])
                self.assertTrue(done.code != 0 or is_whole_card(output.read_bytes()) or program == THUMBNAILER)
        print('\n'.join(outcomes))


if __name__ == '__main__':
    unittest.main()
