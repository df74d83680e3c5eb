"""The project installed into a scratch prefix and used as a desktop uses it: the files where the desktop
looks, GLib telling session files from other CSV files, and the programs run in GNOME's thumbnailer sandbox."""
import configparser
import os
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

from runner import BUILD, EXAMPLES, THUMBNAILER, folder_entries, is_whole_card, run, scratch

SESSION_TYPE = 'application/x-zaro-session'
# The names GNOME's thumbnail factory gives the input and the output inside its sandbox.
SANDBOX_INPUT, SANDBOX_OUTPUT = '/tmp/gnome-desktop-file-to-thumbnail.csv', '/tmp/gnome-desktop-thumbnailer.png'
CONTENT_TYPES = '''import sys, gi
gi.require_version('Gio', '2.0')
from gi.repository import Gio
for name in sys.argv[1:]:
    print(Gio.File.new_for_path(name).query_info('standard::content-type', 0, None).get_content_type())'''
# What a desktop session passes down; HOME names a folder the sandbox does not show.
SESSION = {'PATH': '/usr/local/bin:/usr/bin:/bin', 'HOME': '/home/desktop-user', 'LANG': 'C.UTF-8',
           **{k: v for k, v in os.environ.items() if k.endswith('SAN_OPTIONS')}}


def gnome_sandbox(prefix, out, given):
    """The sandbox GNOME's thumbnail factory builds: /usr read-only with the links of a /usr-merged system, the
    loader's cache and nothing else of /etc (no font configuration), fresh /proc and /dev, every namespace
    unshared, no home, and a private /tmp holding the input read-only and the output. The scratch install is
    shown at /usr/local, where `cmake --install build --prefix /usr/local` puts it."""
    argv = ['bwrap', '--ro-bind', '/usr', '/usr', '--ro-bind', '/etc/ld.so.cache', '/etc/ld.so.cache']
    for top in ('/bin', '/lib64', '/lib', '/sbin'):
        argv += ['--symlink', '/usr' + top, top] if os.path.islink(top) else ['--ro-bind', top, top] * os.path.exists(top)
    return argv + ['--proc', '/proc', '--dev', '/dev', '--chdir', '/', '--setenv', 'GIO_USE_VFS', 'local', '--unshare-all',
                   '--die-with-parent', '--ro-bind', prefix, '/usr/local', '--bind', out, '/tmp', '--ro-bind', given, SANDBOX_INPUT]


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = Path(cls.enterClassContext(scratch()))
        cls.prefix = cls.root / 'prefix'
        done = run(['cmake', '--install', BUILD, '--prefix', cls.prefix], clean_env=True, env={'PATH': '/usr/bin:/bin'})
        assert done.code == 0, done.err
        entry = configparser.ConfigParser(interpolation=None)
        entry.read(cls.prefix / 'share/thumbnailers/zaro-session.thumbnailer')
        cls.entry = entry['Thumbnailer Entry']

    def thumbnail_command(self, size, given=SANDBOX_INPUT, output=SANDBOX_OUTPUT):
        """The entry's Exec line with %s, %u and %o replaced, as a thumbnail factory does."""
        words = {'%s': str(size), '%u': f'file://{given}', '%i': str(given), '%o': str(output), '%%': '%'}
        return [words.get(word, word) for word in self.entry['Exec'].split()]

    def content_types(self, files):
        if not (self.prefix / 'share/mime/mime.cache').exists():
            self.skipTest('update-mime-database is not installed, so the install built no MIME cache')
        done = run([sys.executable, '-c', CONTENT_TYPES, *files], env={'XDG_DATA_HOME': self.prefix / 'share',
                                                                       'XDG_DATA_DIRS': '/usr/share', 'GIO_USE_VFS': 'local'})
        return done.out.decode().split()

    def in_sandbox(self, given, command):
        out = Path(tempfile.mkdtemp(dir=self.root))
        done = run(gnome_sandbox(self.prefix, out, given) + command, clean_env=True, env=SESSION)
        if done.code != 0 and done.err.startswith(b'bwrap:'):
            self.skipTest(f'bwrap cannot make a sandbox here: {done.err}')
        return done, out

    def test_puts_the_programs_the_entry_the_type_and_the_mark_where_the_desktop_looks(self):
        installed = sorted(str(p.relative_to(self.prefix)) for p in self.prefix.rglob('*')
                           if p.is_file() and ('share/mime/' not in str(p) or 'share/mime/packages/' in str(p)))
        self.assertEqual(installed, ['bin/zaro-session', 'bin/zaro-session-preview', 'bin/zaro-session-thumbnailer',
                                     'share/mime/packages/zaro-session.xml',
                                     'share/thumbnailers/zaro-session.thumbnailer', 'share/zaro-session/track.thumbnailer',
                                     'share/zaro-session/zaro-mark.png'])
        self.assertEqual(self.entry['TryExec'], 'zaro-session-thumbnailer')
        self.assertEqual(self.thumbnail_command(256, '/tmp/in.csv', '/tmp/out.png'),
                         ['zaro-session-thumbnailer', '-s', '256', 'file:///tmp/in.csv', '/tmp/out.png'])

    def test_glib_tells_session_files_from_other_csv_files_and_the_entry_takes_every_example(self):
        cases = {'zaro.csv': (b'Format,ZARO CSV\nTrack,Home Circuit\n', SESSION_TYPE),
                 'racebox.csv': (b'Format,RaceBox CSV\r\nTrack,Home Circuit\r\n', SESSION_TYPE),
                 'zaro-bom.csv': (b'\xef\xbb\xbfFormat,ZARO CSV\n', SESSION_TYPE),
                 'no-extension': (b'Format,ZARO CSV\nTrack,Home Circuit\n', SESSION_TYPE),
                 'plain-track.csv': (b'Time,Latitude,Longitude\n2024-06-01T10:15:00Z,52.0,-1.0\n', 'text/csv'),
                 'prices.csv': (b'Name,Price\nTea,3\n', 'text/csv'),
                 'format-later.csv': (b'Track,Home Circuit\nFormat,ZARO CSV\n', 'text/csv'),
                 'other-format.csv': (b'Format,Other CSV\n', 'text/csv')}
        for name, (content, _) in cases.items():
            (self.root / name).write_bytes(content)
        self.assertEqual(self.content_types([self.root / name for name in cases]), [t for _, t in cases.values()])
        accepted = self.entry['MimeType'].strip(';').split(';')
        self.assertIn(SESSION_TYPE, accepted)
        self.assertLessEqual(set(self.content_types(sorted(EXAMPLES.glob('*.csv')))), set(accepted))

    def test_the_thumbnailer_run_as_gnome_runs_it_draws_the_mark_for_sessions_and_nothing_for_other_files(self):
        # The build tree's program draws the source tree's mark: the installed one must find its own copy.
        self.assertEqual(run([THUMBNAILER, '-s', '256', EXAMPLES / 'plain-track.csv', self.root / 'mark.png']).code, 0)
        for example in sorted(EXAMPLES.glob('*.csv')):
            done, out = self.in_sandbox(example, self.thumbnail_command(256))
            self.assertEqual(done.code, 0, done.err)
            # bwrap makes an empty file in the sandbox's /tmp to mount the input on.
            self.assertEqual(folder_entries(out), [Path(SANDBOX_INPUT).name, Path(SANDBOX_OUTPUT).name])
            self.assertEqual((out / Path(SANDBOX_OUTPUT).name).read_bytes(), (self.root / 'mark.png').read_bytes())
        (self.root / 'prices.csv').write_bytes(b'Name,Price\nTea,3\nCake,4\n')
        done, out = self.in_sandbox(self.root / 'prices.csv', self.thumbnail_command(128))
        self.assertEqual((done.code != 0, folder_entries(out)), (True, [Path(SANDBOX_INPUT).name]))

    def test_the_preview_draws_the_same_card_with_only_usr_to_find_fonts_in(self):
        done, out = self.in_sandbox(EXAMPLES / 'Sunday practice.csv', ['zaro-session-preview', SANDBOX_INPUT, '/tmp/card.png'])
        self.assertEqual((done.code, done.out), (0, b'gnome-desktop-file-to-thumbnail\n'), done.err)
        # Outside, with the system's font configuration; the card names the file, so the name must match.
        shutil.copy(EXAMPLES / 'Sunday practice.csv', self.root / Path(SANDBOX_INPUT).name)
        outside = run([self.prefix / 'bin/zaro-session-preview', self.root / Path(SANDBOX_INPUT).name,
                       self.root / 'card.png'], clean_env=True, env=SESSION)
        self.assertEqual(outside.code, 0, outside.err)
        self.assertTrue(is_whole_card((out / 'card.png').read_bytes()))
        self.assertEqual((out / 'card.png').read_bytes(), (self.root / 'card.png').read_bytes())


if __name__ == '__main__':
    unittest.main()
