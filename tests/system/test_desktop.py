"""The project installed as a user installs it, used as the desktops use it: the files where they look, GLib
telling session files from other CSV files, the preview in a sandbox that shows only /usr, and the desktops' own
thumbnail services, GNOME's thumbnail factory (which runs the entry in its own bubblewrap sandbox) and XFCE's
tumbler over D-Bus, for every example at every size they ask for, in both styles. The services' install lies on
a tmpfs over /usr/local in a private mount namespace, where the sandbox sees it and from which nothing stays."""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

from runner import BUILD, EXAMPLES, TESTS, read_cases, run, scratch

SIZES = {'normal': 128, 'large': 256, 'x-large': 512, 'xx-large': 1024}
CSV_FILES = sorted([*EXAMPLES.glob('*.csv'), *EXAMPLES.glob('*.vbo')])
NOT_SESSIONS = {'prices.csv': b'Name,Price\nTea,3\nCake,4\n'}
# The GdkPixbuf loader, where GdkPixbuf's own loaders are relative to their prefix, when the build made one.
PIXBUF_LOADER = [str(Path(subprocess.run(['pkg-config', '--variable=gdk_pixbuf_moduledir', 'gdk-pixbuf-2.0'],
                                         capture_output=True, text=True).stdout.strip()).relative_to('/usr')
                     / 'libpixbufloader-zaro-session.so')] if (BUILD / 'desktop/pixbuf').is_dir() else []
# The KDE plugins, where Qt looks for plugins, when the build made them.
KDE_PLUGINS = [f'lib/x86_64-linux-gnu/qt5/plugins/kf5/{p}' for p in (
    'kfilemetadata/kfilemetadata_zarosessionextractor.so', 'thumbcreator/zarosessionthumbnail.so',
    'thumbcreator/zarosessiontrackthumbnail.so')] if (BUILD / 'desktop/kde').is_dir() else []
# The thumbnailer's drawing, which it loads only when a thumbnail has to be drawn.
DRAWING_MODULES = [f'lib/x86_64-linux-gnu/zaro-session/zaro-session-{program}-drawing.so'
                   for program in ('preview', 'thumbnail')]
CONTENT_TYPES = """import sys, gi
from gi.repository import Gio
for name in sys.argv[1:]:
    print(Gio.File.new_for_path(name).query_info('standard::content-type', 0, None).get_content_type())"""


def probe(style, folder):
    """Runs inside the namespace, on a private session bus: asks GNOME's factory and tumbler for every
    file at every size and prints, per service, file and size, "ok" when the thumbnail is the one the
    installed thumbnailer draws outside any sandbox, else what happened."""
    import gi
    import gnome
    gi.require_version('GdkPixbuf', '2.0')
    from gi.repository import GdkPixbuf, Gio, GLib
    files = [*CSV_FILES, *(folder / name for name in NOT_SESSIONS)]
    uri, mime = {f: Gio.File.new_for_path(str(f)).get_uri() for f in files}, {}
    cache = Path(os.environ['XDG_CACHE_HOME'])

    def pixels(path):  # with an alpha channel, as tumbler stores every thumbnail
        return GdkPixbuf.Pixbuf.new_from_file(str(path)).add_alpha(False, 0, 0, 0).get_pixels()

    def verdict(saved, f, side):
        reference = folder / 'reference.png'
        subprocess.run(['/usr/local/bin/zaro-session-thumbnailer', '--style', style, '-s', str(side), f, reference])
        expected = pixels(reference) if reference.exists() else None
        reference.unlink(missing_ok=True)
        return 'ok' if expected == pixels(saved) else 'not the thumbnailer\'s'

    report = {'gnome': {}, 'tumbler': {}}
    for side in SIZES.values():
        for f in files:
            mime[f], saved = gnome.thumbnail(f, side)
            digest = hashlib.md5(uri[f].encode()).hexdigest()
            failure = cache / 'thumbnails/fail/gnome-thumbnail-factory' / f'{digest}.png'
            report['gnome'][f'{f.name} {side}'] = verdict(saved, f, side) if saved else \
                'failed' if failure.exists() else 'failed, not recorded'
    # Tumbler would find GNOME's thumbnails up to date and answer without asking the thumbnailer.
    shutil.rmtree(cache / 'thumbnails')

    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    service = 'org.freedesktop.thumbnails.Thumbnailer1'
    tumbler = Gio.DBusProxy.new_sync(bus, 0, None, service, '/' + service.replace('.', '/'), service)
    loop, answers = GLib.MainLoop(), {}
    tumbler.connect('g-signal', lambda _, sender, name, args: (
        answers.update({u: name for u in args[1]}) if name in ('Ready', 'Error') else None,
        loop.quit() if name == 'Finished' else None))
    for flavor, side in SIZES.items():
        answers.clear()
        queued = ([uri[f] for f in files], [mime[f] for f in files], flavor, 'default', 0)
        tumbler.call_sync('Queue', GLib.Variant('(asasssu)', queued), 0, 60000, None)
        GLib.timeout_add_seconds(60, loop.quit)
        loop.run()
        for f in files:
            cached = cache / 'thumbnails' / flavor / (hashlib.md5(uri[f].encode()).hexdigest() + '.png')
            result = answers.get(uri[f], 'no answer')
            if result == 'Ready':
                result = verdict(cached, f, side) if cached.exists() else 'Ready, not cached'
            report['tumbler'][f'{f.name} {side}'] = 'failed' if result == 'Error' else result
    print(json.dumps(report))


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = Path(cls.enterClassContext(scratch()))
        cls.prefix = cls.root / 'prefix'
        done = run(['cmake', '--install', BUILD, '--prefix', cls.prefix], clean_env=True,
                   env={'PATH': '/usr/bin:/bin'})
        assert done.code == 0, done.err

    def test_puts_the_programs_the_entries_the_type_and_the_mark_where_the_desktop_looks(self):
        installed = sorted(str(p.relative_to(self.prefix)) for p in self.prefix.rglob('*')
                           if p.is_file() and ('share/mime/' not in str(p) or 'share/mime/packages/' in str(p)))
        self.assertEqual(installed, [
            *(f'bin/zaro-session{program}' for program in ('', '-preview', '-thumbnailer')),
            *PIXBUF_LOADER, *KDE_PLUGINS, *DRAWING_MODULES,
            'share/bash-completion/completions/zaro-session',
            *(f'share/man/man1/zaro-session{program}.1.gz' for program in ('-preview', '-thumbnailer', '')),
            'share/mime/packages/zaro-session.xml', 'share/thumbnailers/zaro-session.thumbnailer',
            'share/zaro-session/track.thumbnailer', 'share/zaro-session/zaro-card-frame.bin',
            *(f'share/zaro-session/zaro-mark{side}.png' for side in ('-128', '-256', '-512', '')),
            *(f'share/zaro-session/zaro-thumbnail-{side}.png' for side in (1024, 128, 256, 512))])

    def test_glib_tells_session_files_from_other_csv_files(self):
        if not (self.prefix / 'share/mime/mime.cache').exists():
            self.skipTest('update-mime-database is not installed, so the install built no MIME cache')
        cases = list(read_cases('system/content_types.cases'))
        for name, _, content in cases:
            (self.root / name).write_bytes(content)
        done = run([sys.executable, '-c', CONTENT_TYPES, *(self.root / name for name, _, _ in cases)],
                   env={'XDG_DATA_HOME': self.prefix / 'share', 'XDG_DATA_DIRS': '/usr/share', 'GIO_USE_VFS': 'local'})
        self.assertEqual(done.out.decode().split(), [content_type for _, content_type, _ in cases])

    def test_the_preview_draws_the_same_card_in_a_sandbox_with_only_usr_to_find_fonts_in(self):
        """No /etc (so no font configuration), no home, fresh /proc and /dev, every namespace unshared."""
        session = {'PATH': '/usr/local/bin:/usr/bin:/bin', 'HOME': '/home/desktop-user', 'LANG': 'C.UTF-8'}
        sandbox = ['bwrap', '--ro-bind', '/usr', '/usr', '--ro-bind', '/etc/ld.so.cache', '/etc/ld.so.cache']
        for top in ('/bin', '/lib64', '/lib', '/sbin'):
            linked = os.path.islink(top)
            sandbox += ['--symlink', '/usr' + top, top] if linked else ['--ro-bind', top, top] * os.path.exists(top)
        sandbox += ['--proc', '/proc', '--dev', '/dev', '--unshare-all', '--die-with-parent', '--ro-bind', self.prefix,
                    '/usr/local', '--bind', self.root, '/tmp']
        (self.root / 'Sunday practice.csv').write_bytes((EXAMPLES / 'Sunday practice.csv').read_bytes())
        inside = run([*sandbox, 'zaro-session-preview', '/tmp/Sunday practice.csv', '/tmp/inside.png'],
                     clean_env=True, env=session)
        if inside.code != 0 and inside.err.startswith(b'bwrap:'):
            self.skipTest(f'bwrap cannot make a sandbox here: {inside.err}')
        outside = run([self.prefix / 'bin/zaro-session-preview', self.root / 'Sunday practice.csv',
                       self.root / 'outside.png'], clean_env=True, env=session)
        self.assertEqual((inside.code, outside.code), (0, 0), inside.err + outside.err)
        self.assertEqual((self.root / 'inside.png').read_bytes(), (self.root / 'outside.png').read_bytes())


class Desktops(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest('a private mount namespace over /usr/local needs root')
        cls.folder = Path(cls.enterClassContext(scratch()))
        for name, content in NOT_SESSIONS.items():
            (cls.folder / name).write_bytes(content)
        # The user's copy of the track entry makes that style theirs; their folder is read before the system's.
        (cls.folder / 'track/thumbnailers').mkdir(parents=True)
        (cls.folder / 'track/thumbnailers/zaro-session.thumbnailer').write_bytes(
            (TESTS.parent / 'packaging/track.thumbnailer').read_bytes())
        script = ('mount -t tmpfs tmpfs /usr/local && cmake --install "$1" --prefix /usr/local >/dev/null && '
                  'for style in mark track; do mkdir -p "$2/$style/cache"; XDG_DATA_HOME="$2/$style" '
                  'XDG_CACHE_HOME="$2/$style/cache" HOME="$2" '
                  'dbus-run-session -- /usr/bin/python3 "$0" probe $style "$2"; done')
        done = run(['unshare', '--mount', '--propagation', 'private', 'sh', '-c', script, __file__, BUILD, cls.folder],
                   kill_after=600)
        assert done.code == 0, done.err.decode()
        cls.mark, cls.track = (json.loads(line) for line in done.out.decode().splitlines())

    def expect(self, report, failing):
        for service in ('gnome', 'tumbler'):
            for name in [*(f.name for f in CSV_FILES), *NOT_SESSIONS]:
                for side in SIZES.values():
                    result = report[service][f'{name} {side}']
                    self.assertEqual(result, 'failed' if name in failing else 'ok', f'{service} {name} {side}')

    def test_gnome_and_tumbler_give_every_session_file_the_mark_at_every_size_and_other_files_none(self):
        self.expect(self.mark, failing={'prices.csv'})

    def test_with_the_users_track_entry_they_draw_each_sessions_track_and_nothing_for_a_file_not_parsed(self):
        self.expect(self.track, failing={'prices.csv', 'broken-no-gps.csv'})


if __name__ == '__main__' and sys.argv[1:2] == ['probe']:
    probe(sys.argv[2], Path(sys.argv[3]))
elif __name__ == '__main__':
    unittest.main()
