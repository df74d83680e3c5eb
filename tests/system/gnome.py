"""GNOME's own thumbnail factory, asked as Files asks it, in a process of its own (so that it can run where the
caller is not, for example in another mount namespace): `python3 gnome.py FILE SIZE` prints the file's content
type and the path of the thumbnail that the factory made and saved under $XDG_CACHE_HOME/thumbnails; when it
makes none, it records the failure there as Files does and exits 1."""
import sys

import gi
gi.require_version('Gio', '2.0')
gi.require_version('GnomeDesktop', '3.0')
from gi.repository import Gio, GLib, GnomeDesktop  # noqa: E402

SIZES = {128: 'NORMAL', 256: 'LARGE', 512: 'XLARGE', 1024: 'XXLARGE'}


def command(path, size=128):
    """The argv that asks the factory for a SIZE thumbnail of the file at `path`."""
    return [sys.executable, __file__, str(path), str(size)]


if __name__ == '__main__':
    given = Gio.File.new_for_path(sys.argv[1])
    info = given.query_info('standard::content-type,time::modified', Gio.FileQueryInfoFlags.NONE, None)
    uri, mime, mtime = given.get_uri(), info.get_content_type(), info.get_attribute_uint64('time::modified')
    factory = GnomeDesktop.DesktopThumbnailFactory.new(getattr(GnomeDesktop.DesktopThumbnailSize, SIZES[int(sys.argv[2])]))
    print(mime, flush=True)
    try:
        factory.save_thumbnail(factory.generate_thumbnail(uri, mime, None), uri, mtime, None)
    except GLib.Error as error:
        factory.create_failed_thumbnail(uri, mtime, None)
        sys.exit(f'no thumbnail: {error.message}')
    print(factory.lookup(uri, mtime))
