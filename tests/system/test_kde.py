"""The KDE plugins as Dolphin uses them, installed in a private prefix and found on QT_PLUGIN_PATH: KIO::PreviewJob
through kio-extras' thumbnail worker (KDE_FORK_SLAVES=1, no klauncher; QT_QPA_PLATFORM=offscreen, no display) for
every example and a CSV file that is no session at 128 and 256 pixels, each thumbnail the thumbnailer's own; and
KFileMetaData::ExtractorCollection's extractor on every example, with each property's value."""
import json
import os
import shutil
import sys
import unittest
from pathlib import Path

from runner import BUILD, EXAMPLES, run, scratch

CLIENT = BUILD / 'desktop/kde/zaro-kde-client'
NOT_OURS = {'prices.csv': b'Name,Price\nTea,3\nCake,4\n'}
FILES = sorted(p.name for p in [*EXAMPLES.glob('*.csv'), *EXAMPLES.glob('*.vbo')]) + list(NOT_OURS)
PIXELS = """import sys, gi
gi.require_version('GdkPixbuf', '2.0')
from gi.repository import GdkPixbuf
a, b = (GdkPixbuf.Pixbuf.new_from_file(p).add_alpha(False, 0, 0, 0) for p in sys.argv[1:3])
print('same' if (a.get_width(), a.get_height(), a.get_pixels()) == (b.get_width(), b.get_height(), b.get_pixels())
      else 'different')"""
PROPERTIES = {
    'Sunday practice.csv': {
        'title': 'Ashcombe Raceway · Grand Prix', 'creationDate': '2024-06-02T09:30:00.000Z', 'duration': 391,
        'generator': 'ZARO Lap Timer 2.4', 'description': 'Best lap 1:31.264 · 3 laps · 14.99 km'},
    'racebox-track-session.csv': {
        'title': 'Fenwick Downs', 'creationDate': '2024-10-19T13:24:58.000Z', 'duration': 389,
        'generator': 'RaceBox 1234567890', 'description': 'Best lap 1:31.360 · 3 laps · 14.99 km'},
    'racechrono-lap-timing.csv': {
        'title': 'Kelmscott Circuit', 'creationDate': '2025-03-09T10:05:00.000Z', 'duration': 387,
        'generator': 'RaceChrono Pro v9.1.3', 'description': 'Best lap 1:31.200 · 3 laps · 14.97 km'},
    'vbox-track-day.vbo': {
        'title': 'Unknown track', 'creationDate': '2025-04-12T14:20:00.000Z', 'duration': 391,
        'generator': 'VBOX 3i Version 1.2', 'description': 'Best lap 1:33.048 · 3 laps · 14.98 km'},
}
SESSION_TYPES = {'application/x-zaro-session', 'application/x-racelogic-vbo'}


class KdePlugins(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not CLIENT.exists():
            raise unittest.SkipTest('the build has no KDE plugins (qtbase5-dev, libkf5kio-dev, libkf5filemetadata-dev)')
        worker = Path('/usr/lib/x86_64-linux-gnu/qt5/plugins/kf5/kio/thumbnail.so')
        if not worker.exists():
            raise unittest.SkipTest("kio-extras' thumbnail worker is not installed")
        cls.root = Path(cls.enterClassContext(scratch()))
        cls.prefix = cls.root / 'prefix'
        done = run(['cmake', '--install', BUILD, '--prefix', cls.prefix], clean_env=True, env={'PATH': '/usr/bin:/bin'})
        assert done.code == 0, done.err
        cls.files = cls.root / 'files'
        cls.files.mkdir()
        for name in FILES:
            (cls.files / name).write_bytes(NOT_OURS[name] if name in NOT_OURS else (EXAMPLES / name).read_bytes())
        [cls.plugins] = {p.parent.parent.parent for p in cls.prefix.rglob('kf5/thumbcreator/*.so')}

    def client(self, home, *argv):
        (home / 'run').mkdir(parents=True, exist_ok=True)
        (home / 'run').chmod(0o700)
        done = run([CLIENT, *argv], kill_after=300, clean_env=True, env={
            'PATH': f'{self.prefix / "bin"}:/usr/bin:/bin', 'HOME': home, 'XDG_CONFIG_HOME': home / 'config',
            'XDG_CACHE_HOME': home / 'cache', 'XDG_RUNTIME_DIR': home / 'run', 'XDG_DATA_HOME': home / 'data',
            'XDG_DATA_DIRS': f'{self.prefix / "share"}:/usr/share', 'QT_PLUGIN_PATH': self.plugins,
            'KDE_FORK_SLAVES': '1', 'QT_QPA_PLATFORM': 'offscreen', 'LANG': 'C.UTF-8'})
        self.assertEqual(done.code, 0, done.out.decode() + done.err.decode())
        return done.out.decode()

    def same_as_thumbnailer(self, saved, name, side, style):
        reference = saved.parent / f'{name}.reference.png'
        made = run([self.prefix / 'bin/zaro-session-thumbnailer', '--style', style, '-s', side, self.files / name,
                    reference])
        self.assertEqual(made.code, 0, made.err)
        return run([sys.executable, '-c', PIXELS, saved, reference]).out.decode().strip()

    def thumbnails(self, plugin, style, failing, dolphin_plugins=None):
        home = self.root / f'home-{plugin}-{dolphin_plugins is not None}'
        if dolphin_plugins is not None:  # what Dolphin's preview settings write when the user saves them
            (home / 'config').mkdir(parents=True)
            (home / 'config/dolphinrc').write_text(f'[PreviewSettings]\nPlugins={dolphin_plugins}\n')
        for side in ('128', '256'):
            out = home / side
            out.mkdir(parents=True)
            lines = self.client(home, 'thumbnail', plugin, side, out, *(self.files / n for n in FILES)).splitlines()
            answers = dict(line.rsplit(' ', 1)[0].rsplit(' ', 1) if ' ok ' in line else line.rsplit(' ', 1)
                           for line in lines if line.endswith(('none', f'{side}x{side}')))
            for name in FILES:
                with self.subTest(plugin=plugin, side=side, file=name):
                    if name in failing:
                        self.assertEqual(answers.get(name), 'none', lines)
                    else:
                        self.assertEqual(answers.get(name), 'ok', lines)
                        self.assertEqual(self.same_as_thumbnailer(out / f'{name}.png', name, side, style), 'same')

    def test_the_mark_plugin_gives_every_session_file_the_mark_and_other_csv_files_none(self):
        self.thumbnails('zarosessionthumbnail', 'mark', failing={'prices.csv'})

    def test_the_track_plugin_draws_the_mark_until_the_user_turns_the_mark_off(self):
        self.thumbnails('zarosessiontrackthumbnail', 'mark', failing={'prices.csv'})

    def test_with_the_mark_off_in_dolphin_the_track_plugin_draws_each_sessions_track(self):
        self.thumbnails('zarosessiontrackthumbnail', 'track', failing={'prices.csv', 'broken-no-gps.csv'},
                        dolphin_plugins='imagethumbnail,zarosessiontrackthumbnail')

    def test_the_extractor_fills_the_properties_of_session_files_and_claims_no_other_csv(self):
        lines = self.client(self.root / 'home-metadata', 'metadata', *(self.files / n for n in FILES)).splitlines()
        found = {entry['file']: entry for entry in map(json.loads, lines)}
        for name in FILES:
            with self.subTest(file=name):
                ours = found[name]['type'] in SESSION_TYPES
                self.assertEqual(ours, name in PROPERTIES or name == 'broken-no-gps.csv')
                self.assertEqual(found[name]['properties'], PROPERTIES.get(name, {}))


if __name__ == '__main__':
    unittest.main()
