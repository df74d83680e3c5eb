"""GNOME's own thumbnail factory, asked as Files asks it. `python3 gnome.py FILE SIZE` runs it in a process of its
own (so that it can run where the caller is not, for example in another mount namespace): it prints the file's
content type and the path of the thumbnail, and exits 1 when the factory made none."""
import sys

import gi
gi.require_version('Gio', '2.0')
gi.require_version('GnomeDesktop', '3.0')
from gi.repository import Gio, GLib, GnomeDesktop  # noqa: E402

SIZES = {128: 'NORMAL', 256: 'LARGE', 512: 'XLARGE', 1024: 'XXLARGE'}


def command(path, size=128):
    """The argv that asks the factory for a SIZE thumbnail of the file at `path`."""
    return [sys.executable, __file__, str(path), str(size)]


def thumbnail(path, size):
    """The file's content type, and the path of the SIZE thumbnail the factory made and saved under
    $XDG_CACHE_HOME/thumbnails, or None when it made none (it then records the failure there, as Files does)."""
    given = Gio.File.new_for_path(str(path))
    info = given.query_info('standard::content-type,time::modified', Gio.FileQueryInfoFlags.NONE, None)
    uri, mime, mtime = given.get_uri(), info.get_content_type(), info.get_attribute_uint64('time::modified')
    factory = GnomeDesktop.DesktopThumbnailFactory.new(getattr(GnomeDesktop.DesktopThumbnailSize, SIZES[size]))
    try:
        factory.save_thumbnail(factory.generate_thumbnail(uri, mime, None), uri, mtime, None)
    except GLib.Error:
        factory.create_failed_thumbnail(uri, mtime, None)
        return mime, None
    return mime, factory.lookup(uri, mtime)


if __name__ == '__main__':
    content_type, saved = thumbnail(sys.argv[1], int(sys.argv[2]))
    print(content_type, saved or '', sep='\n')
    sys.exit(0 if saved else 1)
