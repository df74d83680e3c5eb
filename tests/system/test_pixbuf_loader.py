"""The GdkPixbuf loader as GNOME's programs use it: `GdkPixbuf.Pixbuf.new_from_file` through python3-gi (the FILE*
road, which knows the file's name) and `new_from_stream` (Sushi's road, which does not), with the loader installed
in a private prefix and a loaders cache made for it by gdk-pixbuf-query-loaders (GDK_PIXBUF_MODULE_FILE). Session
files give the card pixel for pixel as zaro-session-preview draws it; other CSV files are not claimed; a missing,
failing or hanging program is a GError with its message."""
import json
import os
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

from runner import BUILD, EXAMPLES, run, scratch

LOAD = """import hashlib, json, sys, gi
gi.require_version('GdkPixbuf', '2.0')
from gi.repository import GdkPixbuf, Gio, GLib
def described(load):
    try:
        pixbuf = load()
    except GLib.Error as error:
        return {'error': error.message, 'code': error.code}
    return {'size': [pixbuf.get_width(), pixbuf.get_height()], 'channels': pixbuf.get_n_channels(),
            'pixels': hashlib.sha256(pixbuf.get_pixels()).hexdigest()}
for path in sys.argv[1:]:
    way, path = path.split(':', 1)
    if way == 'file':
        print(json.dumps(described(lambda: GdkPixbuf.Pixbuf.new_from_file(path))))
    else:
        print(json.dumps(described(lambda: GdkPixbuf.Pixbuf.new_from_stream(Gio.File.new_for_path(path).read(), None))))
"""
SESSIONS = ['Sunday practice.csv', 'racebox-track-session.csv', 'broken-no-gps.csv']
NOT_OURS = {'prices.csv': b'Name,Price\nTea,3\nCake,4\n'}
SYSTEM_LOADERS = Path(subprocess.run(['pkg-config', '--variable=gdk_pixbuf_moduledir', 'gdk-pixbuf-2.0'],
                                     capture_output=True, text=True).stdout.strip() or '/nonexistent')
QUERY = subprocess.run(['pkg-config', '--variable=gdk_pixbuf_query_loaders', 'gdk-pixbuf-2.0'],
                       capture_output=True, text=True).stdout.strip()


class PixbufLoader(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = Path(cls.enterClassContext(scratch()))
        cls.prefix = cls.root / 'prefix'
        done = run(['cmake', '--install', BUILD, '--prefix', cls.prefix], clean_env=True, env={'PATH': '/usr/bin:/bin'})
        assert done.code == 0, done.err
        found = list(cls.prefix.rglob('libpixbufloader-zaro-session.so'))
        if not found or not QUERY:
            raise unittest.SkipTest('the build has no GdkPixbuf loader (libgdk-pixbuf-2.0-dev missing)')
        [cls.module] = found
        for name, content in NOT_OURS.items():
            (cls.root / name).write_bytes(content)
        for name in SESSIONS + ['plain-track.csv']:
            shutil.copy(EXAMPLES / name, cls.root / name)

    def cache(self, module):
        """A loaders cache of the system's loaders and `module`, as the package's trigger makes it."""
        cache = module.parent / 'loaders.cache'
        done = run([QUERY, *sorted(SYSTEM_LOADERS.glob('*.so')), module], clean_env=True, env={'PATH': '/usr/bin:/bin'})
        self.assertEqual(done.code, 0, done.err)
        cache.write_bytes(done.out)
        return cache

    def load(self, cache, *paths, env=None):
        done = run([sys.executable, '-c', LOAD, *paths], kill_after=120, env={
            'GDK_PIXBUF_MODULE_FILE': cache, 'XDG_DATA_DIRS': f'{self.prefix / "share"}:/usr/share',
            'XDG_DATA_HOME': self.root / 'no-data', **(env or {})})
        self.assertEqual(done.code, 0, done.err.decode())
        return [json.loads(line) for line in done.out.decode().splitlines()]

    def preview(self, path, *options):
        """The card zaro-session-preview draws of `path`, as GdkPixbuf decodes it."""
        card = self.root / 'card.png'
        done = run([self.prefix / 'bin/zaro-session-preview', *options, path, card])
        self.assertEqual(done.code, 0, done.err)
        [decoded] = self.load(self.cache(self.module), f'file:{card}')
        card.unlink()
        return decoded

    def test_the_cache_lists_the_loader_for_the_session_types_and_not_for_csv(self):
        text = self.cache(self.module).read_text()
        entry = text[text.index(str(self.module)):].split('\n\n')[0]
        self.assertIn('"application/x-zaro-session"', entry)
        self.assertNotIn('text/csv', entry)

    def test_session_files_give_the_previews_card_with_their_name_from_a_file_and_none_from_a_stream(self):
        files = [self.root / name for name in SESSIONS]
        loaded = self.load(self.cache(self.module), *(f'file:{f}' for f in files), *(f'stream:{f}' for f in files))
        for f, from_file, from_stream in zip(files, loaded[:len(files)], loaded[len(files):]):
            self.assertEqual(from_file, self.preview(f), f.name)
            self.assertEqual(from_file['size'], [1680, 1440], f.name)
            self.assertEqual(from_stream, self.preview(f, '--name', ''), f.name)
        # The name is on the card: with it and without it, the pictures differ (the error card shows none).
        self.assertNotEqual(loaded[0]['pixels'], loaded[len(files)]['pixels'])

    def test_other_csv_files_are_not_claimed(self):
        """A plain track CSV has no Format line, so it is text/csv like any spreadsheet, which stays one."""
        names = [*NOT_OURS, 'plain-track.csv']
        for result in self.load(self.cache(self.module), *(f'file:{self.root / n}' for n in names)):
            self.assertEqual(result.get('code'), 3, result)  # GDK_PIXBUF_ERROR_UNKNOWN_TYPE
            self.assertIn('recognize', result['error'])

    def alone(self, name, preview=None):
        """The loader in a prefix of its own, with `preview` (shell text) as its zaro-session-preview, or none."""
        module = self.root / name / self.module.relative_to(self.prefix)
        module.parent.mkdir(parents=True)
        shutil.copy(self.module, module)
        if preview is not None:
            program = self.root / name / 'bin/zaro-session-preview'
            program.parent.mkdir(parents=True)
            program.write_text('#!/bin/sh\n' + preview)
            program.chmod(0o755)
        return self.cache(module)

    def test_a_missing_program_is_a_gerror(self):
        [result] = self.load(self.alone('missing'), f'file:{self.root / SESSIONS[0]}')
        self.assertIn('zaro-session-preview could not be started', result.get('error', ''), result)

    def test_a_failing_program_is_a_gerror_with_its_message(self):
        cache = self.alone('failing', 'echo "zaro-session-preview: the machine is out of fonts." >&2; exit 1\n')
        [result] = self.load(cache, f'stream:{self.root / SESSIONS[0]}')
        self.assertEqual(result.get('error'), 'zaro-session-preview: the machine is out of fonts.', result)

    def test_a_program_that_hangs_is_stopped_and_is_a_gerror(self):
        cache = self.alone('hanging', 'exec sleep 60\n')
        began = os.times().elapsed
        [result] = self.load(cache, f'file:{self.root / SESSIONS[0]}', env={'ZARO_SESSION_LOADER_TIMEOUT_MS': '500'})
        self.assertLess(os.times().elapsed - began, 20)
        self.assertIn('did not finish', result.get('error', ''), result)


if __name__ == '__main__':
    unittest.main()
