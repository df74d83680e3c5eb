"""zaro-session-preview and zaro-session-thumbnailer run as a desktop, a file manager or a person runs them."""
import select
import shutil
import socket
import unittest
from pathlib import Path

from runner import EXAMPLES, PREVIEW, THUMBNAILER, folder_entries, is_whole_card, png_size, run, scratch

PRACTICE = EXAMPLES / 'Sunday practice.csv'
EMPTY = 'The ZARO Session file is empty.'


class Programs(unittest.TestCase):
    def setUp(self):
        self.folder = Path(self.enterContext(scratch()))

    def test_the_preview_writes_the_card_to_a_file_or_standard_output_and_prints_the_title(self):
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

    def test_an_output_that_cannot_be_written_leaves_nothing_and_fails_with_the_reason(self):
        (self.folder / 'locked').mkdir(mode=0o555)
        output = self.folder / 'locked' / 'card.png'
        done = run([PREVIEW, PRACTICE, output], as_nobody=True)
        self.assertEqual((done.code, done.out, done.err.decode()),
                         (1, b'', f'zaro-session-preview: {output}: Permission denied\n'))
        self.assertEqual(folder_entries(self.folder / 'locked'), [])

    def test_the_thumbnailer_draws_a_session_named_by_uri_and_nothing_for_other_files(self):
        shutil.copy(PRACTICE, self.folder / 'Sunday #1.csv')
        done = run([THUMBNAILER, '-s', '128', f'file://{self.folder}/Sunday%20%231.csv', self.folder / 'thumb.png'])
        self.assertEqual((done.code, done.out + done.err, png_size((self.folder / 'thumb.png').read_bytes())),
                         (0, b'', (128, 128)))
        (self.folder / 'prices.csv').write_bytes(b'name,price\napple,1\n')
        for given, reason in [('prices.csv', 'not a file this thumbnailer is registered for'),
                              ('missing.csv', 'No such file or directory')]:
            done = run([THUMBNAILER, '-s', '256', self.folder / given, self.folder / 'out.png'])
            self.assertEqual((done.code, done.err.decode()),
                             (1, f'zaro-session-thumbnailer: {self.folder / given}: {reason}\n'))
        self.assertEqual(folder_entries(self.folder), ['Sunday #1.csv', 'prices.csv', 'thumb.png'])

    def test_a_malformed_command_line_is_a_usage_error(self):
        for program, arguments, reason, usage in [
                (PREVIEW, ['file://elsewhere/a.csv', 'b.png'], 'INPUT is not a local file: file://elsewhere/a.csv',
                 'INPUT OUTPUT'),
                (THUMBNAILER, ['--style', 'dots', '-s', '8', PRACTICE, 'out.png'],
                 'unknown style dots; the styles are mark, track.', '[--style mark|track] -s SIZE')]:
            done, name = run([program, *arguments]), Path(program).name
            self.assertEqual(done.code, 2, arguments)
            self.assertTrue(done.err.decode().startswith(f'{name}: {reason}\nusage: {name} {usage}'))
        for program in (PREVIEW, THUMBNAILER):
            self.assertEqual(run([program, '--version']).out.decode(), f'{Path(program).name} 0.2.0\n')
            helped = run([program, '--help'])
            self.assertEqual((helped.code, helped.out.startswith(f'usage: {Path(program).name}'.encode())), (0, True))

    def test_the_track_style_draws_the_session_at_the_size_asked_for_and_nothing_for_a_file_that_does_not_parse(self):
        (self.folder / 'no-rows.csv').write_bytes(b'Format,ZARO CSV\nTime,Latitude,Longitude\n')
        for size in (128, 256, 1024):
            done = run([THUMBNAILER, '--style', 'track', '-s', size, PRACTICE, self.folder / f'{size}.png'])
            self.assertEqual((done.code, png_size((self.folder / f'{size}.png').read_bytes())), (0, (size, size)))
        done = run([THUMBNAILER, '--style', 'track', '-s', '256', self.folder / 'no-rows.csv',
                    self.folder / 'none.png'])
        self.assertEqual((done.code, done.err.decode().endswith('The ZARO Session file has no GPS rows.\n')), (1, True))
        self.assertFalse((self.folder / 'none.png').exists())


if __name__ == '__main__':
    unittest.main()
