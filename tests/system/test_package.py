"""The Debian package of this build: lintian finds nothing wrong with it, and it installs, gives GNOME's thumbnail
factory a thumbnail and goes again without a trace. dpkg runs in a private mount namespace whose /usr, /etc and
/var are overlays with their changes on a tmpfs, so nothing stays on the machine, even when the test stops midway."""
import subprocess
import unittest
from pathlib import Path

import gnome
from runner import BUILD, EXAMPLES, PREVIEW, png_size, run, scratch

PACKAGE, SESSION_TYPE = 'zaro-session', b'application/x-zaro-session'
KDE_PACKAGE = 'zaro-session-kde'  # made when the build has the KDE plugins
# GdkPixbuf's loaders cache, which libgdk-pixbuf-2.0-0's trigger rebuilds when a loader comes or goes.
PIXBUF_LOADERS = Path(subprocess.run(['pkg-config', '--variable=gdk_pixbuf_moduledir', 'gdk-pixbuf-2.0'],
                                     capture_output=True, text=True).stdout.strip() or '/nonexistent')
PIXBUF_LOADER = PIXBUF_LOADERS / 'libpixbufloader-zaro-session.so'
KDE_PLUGINS = ['kf5/thumbcreator/zarosessionthumbnail.so', 'kf5/thumbcreator/zarosessiontrackthumbnail.so',
               'kf5/kfilemetadata/kfilemetadata_zarosessionextractor.so']
SYSTEM = {'PATH': '/usr/sbin:/usr/bin:/sbin:/bin', 'LANG': 'C.UTF-8', 'DEBIAN_FRONTEND': 'noninteractive'}
# Mounts a tmpfs on $0, then overlays every other argument with its changes kept on that tmpfs.
OVERLAYS = '''mount -t tmpfs zaro-package "$0"
for top; do
  mkdir -p "$0/$top/changes" "$0/$top/work"
  mount -t overlay overlay -o "lowerdir=$top,upperdir=$0/$top/changes,workdir=$0/$top/work" "$top"
done
echo ready
exec sleep infinity'''


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if b'__asan_init' in Path(PREVIEW).read_bytes():
            raise unittest.SkipTest('a sanitizer build is not one to package')
        cls.root = Path(cls.enterClassContext(scratch()))
        made = run(['cpack', '-G', 'DEB', '--config', BUILD / 'CPackConfig.cmake', '-B', cls.root], kill_after=300)
        assert made.code == 0, made.out + made.err
        [cls.deb] = cls.root.glob(f'{PACKAGE}_*.deb')
        cls.debs = [cls.deb, *cls.root.glob(f'{KDE_PACKAGE}_*.deb')]
        cls.kde = (BUILD / 'desktop/kde').is_dir()
        cls.pixbuf = (BUILD / 'desktop/pixbuf').is_dir()

    def test_has_the_debian_name_and_nothing_lintian_objects_to(self):
        version = next(line.split('=')[1] for line in (BUILD / 'CMakeCache.txt').read_text().splitlines()
                       if line.startswith('CMAKE_PROJECT_VERSION:'))
        arch = run(['dpkg', '--print-architecture']).out.decode().strip()
        self.assertEqual([deb.name for deb in self.debs], [f'{name}_{version}_{arch}.deb' for name in
                                                           [PACKAGE, KDE_PACKAGE][:1 + self.kde]])
        checked = run(['lintian', *self.debs], kill_after=300)
        findings = [line for line in checked.out.decode().splitlines() if line[:2] in ('E:', 'W:')]
        self.assertEqual((checked.code, findings), (0, []), checked.out.decode() + checked.err.decode())

    def test_installs_gives_gnome_a_thumbnail_and_leaves_nothing_behind(self):
        (self.root / 'layers').mkdir()
        holder = self.enterContext(subprocess.Popen(
            ['setpriv', '--pdeathsig', 'KILL', 'unshare', '--mount', '--propagation', 'private', '--kill-child',
             'sh', '-ec', OVERLAYS, self.root / 'layers', '/usr', '/etc', '/var'], stdout=subprocess.PIPE))
        self.addCleanup(holder.kill)
        self.assertEqual(holder.stdout.readline(), b'ready\n')
        inside = Path(f'/proc/{holder.pid}/root')
        enter = ['nsenter', '--target', str(holder.pid), '--mount', '--']
        listing = ''.join(subprocess.run(['dpkg-deb', '--contents', deb], capture_output=True, text=True,
                                         check=True).stdout for deb in self.debs)
        contents = [line.split()[5].lstrip('./') for line in listing.splitlines() if line.split()[5] != './']
        packages = [PACKAGE, KDE_PACKAGE][:1 + self.kde]

        def dpkg(*argv):
            done = run([*enter, 'dpkg', *argv], clean_env=True, env=SYSTEM, kill_after=300)
            self.assertEqual(done.code, 0, done.out + done.err)

        def traces():
            """What of the packages is there: their files and folders, dpkg's records of them, our MIME type, our
            loader in GdkPixbuf's cache and the KDE plugins where Qt finds them."""
            records = sorted(p.name for name in packages for p in (inside / 'var/lib/dpkg/info').glob(f'{name}.*'))
            status = run([*enter, 'dpkg-query', '-W', '-f=${db:Status-Abbrev}', *packages], clean_env=True, env=SYSTEM)
            mime = sorted(str(p.relative_to(inside)) for p in (inside / 'usr/share/mime').rglob('*')
                          if p.is_file() and SESSION_TYPE in p.read_bytes())
            cache = inside / str(PIXBUF_LOADERS.parent).lstrip('/') / 'loaders.cache'
            loader = cache.exists() and str(PIXBUF_LOADER).encode() in cache.read_bytes()
            kde = sorted(str(p.relative_to(inside)) for p in (inside / 'usr/lib').rglob('*.so')
                         if any(str(p).endswith(plugin) for plugin in KDE_PLUGINS))
            return [p for p in contents if (inside / p).exists()], records, status.out, mime, loader, kde

        before = traces()
        self.assertEqual(before[1:], ([], b'', [], False, []), 'the package is installed already')
        dpkg('--install', *self.debs)
        files, records, status, mime, loader, kde = traces()
        self.assertEqual(files, contents)
        # No maintainer scripts: shared-mime-info's trigger compiled the type into the database, and
        # libgdk-pixbuf-2.0-0's put the loader into its cache.
        self.assertEqual((records, status), (sorted(f'{name}.{record}' for name in packages
                                                    for record in ('list', 'md5sums')), b'ii ' * len(packages)))
        self.assertIn('usr/share/mime/mime.cache', mime)
        self.assertEqual(loader, self.pixbuf)
        self.assertEqual(kde, sorted(f'usr/lib/x86_64-linux-gnu/qt5/plugins/{p}' for p in KDE_PLUGINS) * self.kde)
        asked = run([*enter, *gnome.command(EXAMPLES / 'Sunday practice.csv')], clean_env=True,
                    env={'PATH': '/usr/bin:/bin', 'HOME': self.root, 'XDG_CACHE_HOME': self.root / 'cache',
                         'XDG_DATA_HOME': self.root / 'data', 'XDG_DATA_DIRS': '/usr/share'})
        self.assertEqual(asked.code, 0, asked.err)
        content_type, thumbnail = asked.out.decode().splitlines()
        self.assertEqual(content_type.encode(), SESSION_TYPE)
        self.assertEqual(png_size(Path(thumbnail).read_bytes()), (128, 128))
        dpkg('--remove', *reversed(packages))
        dpkg('--purge', *reversed(packages))
        self.assertEqual(traces(), before)

if __name__ == '__main__':
    unittest.main()
