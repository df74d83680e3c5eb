"""GNOME's space-bar previewer, gnome-sushi, showing a session file as its card: under Xvfb and on a private D-Bus
session, the previewer is asked through its own D-Bus interface (org.gnome.NautilusPreviewer2.ShowFile, as Files
asks it) to show an example, with our GdkPixbuf loader installed in a private prefix and its cache built by
gdk-pixbuf-query-loaders; a screenshot of the screen must hold the card's colours: its background, the map's orange
trace and the header's gold."""
import os
import shutil
import socket
import subprocess
import sys
import time
import unittest
from pathlib import Path

from runner import BUILD, EXAMPLES, run, scratch

SUSHI = Path('/usr/libexec/org.gnome.NautilusPreviewer')
COLOURS = {'card': (14, 31, 51), 'track': (232, 89, 31), 'header': (232, 184, 74)}  # src/render/palette.hpp


def counts(path):
    """How many pixels of the screenshot are within a few steps of each of the card's colours."""
    import gi
    gi.require_version('GdkPixbuf', '2.0')
    from gi.repository import GdkPixbuf
    pixbuf = GdkPixbuf.Pixbuf.new_from_file(str(path))
    data, step, stride = pixbuf.get_pixels(), pixbuf.get_n_channels(), pixbuf.get_rowstride()
    found = dict.fromkeys(COLOURS, 0)
    for y in range(0, pixbuf.get_height()):
        row = data[y * stride:y * stride + pixbuf.get_width() * step]
        for x in range(0, len(row), step):
            pixel = row[x:x + 3]
            for name, colour in COLOURS.items():
                if all(abs(a - b) <= 6 for a, b in zip(pixel, colour)):
                    found[name] += 1
    return found


def show(example, screenshot):
    """Inside the private session: starts the previewer, asks it to show `example`, waits for the card's orange to
    be on the screen (20 s at most) and leaves the last screenshot at `screenshot`."""
    from gi.repository import Gio, GLib
    sushi = subprocess.Popen([SUSHI], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        for _ in range(200):
            if bus.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', 'NameHasOwner',
                             GLib.Variant('(s)', ('org.gnome.NautilusPreviewer',)), None, 0, -1, None).unpack()[0]:
                break
            time.sleep(0.1)
        bus.call_sync('org.gnome.NautilusPreviewer', '/org/gnome/NautilusPreviewer', 'org.gnome.NautilusPreviewer2',
                      'ShowFile', GLib.Variant('(ssb)', (Gio.File.new_for_path(example).get_uri(), '', False)),
                      None, 0, 20000, None)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            time.sleep(1)
            subprocess.run(['import', '-window', 'root', f'png24:{screenshot}'], check=True)
            if counts(screenshot)['track'] > 500:
                break
    finally:
        sushi.terminate()
        sushi.wait()


class Sushi(unittest.TestCase):
    def test_the_space_bar_preview_shows_the_card(self):
        missing = [tool for tool in ('Xvfb', 'import', 'dbus-run-session') if not shutil.which(tool)]
        if missing or not SUSHI.exists():
            self.skipTest(f'not installed: {missing or SUSHI}')
        root = Path(self.enterContext(scratch()))
        prefix = root / 'prefix'
        done = run(['cmake', '--install', BUILD, '--prefix', prefix], clean_env=True, env={'PATH': '/usr/bin:/bin'})
        self.assertEqual(done.code, 0, done.err)
        modules = list(prefix.rglob('libpixbufloader-zaro-session.so'))
        if not modules:
            self.skipTest('the build has no GdkPixbuf loader')
        system = subprocess.run(['pkg-config', '--variable=gdk_pixbuf_moduledir', 'gdk-pixbuf-2.0'],
                                capture_output=True, text=True).stdout.strip()
        query = subprocess.run(['pkg-config', '--variable=gdk_pixbuf_query_loaders', 'gdk-pixbuf-2.0'],
                               capture_output=True, text=True).stdout.strip()
        cache = root / 'loaders.cache'
        cache.write_bytes(run([query, *sorted(Path(system).glob('*.so')), *modules]).out)
        example = root / 'Sunday practice.csv'
        shutil.copy(EXAMPLES / example.name, example)

        read, write = os.pipe()
        xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '1920x1200x24', '-nolisten', 'tcp'],
                                pass_fds=[write], stdout=subprocess.DEVNULL,
                                stderr=self.enterContext((root / 'xvfb.log').open('wb')))
        os.close(write)
        self.addCleanup(xvfb.wait)
        self.addCleanup(xvfb.terminate)
        # Xvfb writes the number and then a line feed, and dies if nobody is reading by then.
        self.addCleanup(os.close, read)
        display = b''
        while not display.endswith(b'\n') and (chunk := os.read(read, 64)):
            display += chunk
        display = display.decode().strip()
        self.assertTrue(display, 'Xvfb gave no display')
        # GTK gives up at once on a display that does not answer yet: wait until the server takes connections.
        for _ in range(100):
            with socket.socket(socket.AF_UNIX) as x11:
                if x11.connect_ex(f'/tmp/.X11-unix/X{display}') == 0:
                    break
            time.sleep(0.1)
        screenshot = root / 'screen.png'
        (root / 'home').mkdir()
        shown = run(['dbus-run-session', '--', sys.executable, __file__, 'show', example, screenshot], kill_after=120,
                    clean_env=True, env={
                        'PATH': '/usr/bin:/bin', 'DISPLAY': f':{display}', 'GDK_BACKEND': 'x11', 'NO_AT_BRIDGE': '1',
                        'HOME': root / 'home', 'XDG_DATA_DIRS': f'{prefix / "share"}:/usr/share',
                        'XDG_CACHE_HOME': root / 'home/cache', 'XDG_CONFIG_HOME': root / 'home/config',
                        'GDK_PIXBUF_MODULE_FILE': cache, 'LANG': 'C.UTF-8', 'PYTHONDONTWRITEBYTECODE': '1'})
        self.assertEqual(shown.code, 0, shown.err.decode() + (root / 'xvfb.log').read_text(errors='replace')
                         + f'display :{display}, Xvfb ' + str(xvfb.poll()))
        found = counts(screenshot)
        kept = os.environ.get('ZARO_SUSHI_SCREENSHOT')  # where a person who wants to look at it asks for it
        if kept:
            shutil.copy(screenshot, kept)
        # The card fills most of the window; the trace and the header's letters are thinner.
        self.assertGreater(found['card'], 200000, found)
        self.assertGreater(found['track'], 500, found)
        self.assertGreater(found['header'], 50, found)


if __name__ == '__main__' and sys.argv[1:2] == ['show']:
    show(sys.argv[2], sys.argv[3])
elif __name__ == '__main__':
    unittest.main()
