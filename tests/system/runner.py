"""Starting the built programs as a desktop, a file manager or a person would, and judging what they leave.

The programs and folders come from the environment that ctest sets (see tests/CMakeLists.txt)."""
import ast
import os
import pty
import select
import signal
import struct
import subprocess
import tempfile
import time
import zlib
from dataclasses import dataclass
from pathlib import Path

PREVIEW, THUMBNAILER, CLI = (os.environ.get(name, '') for name in ('ZARO_PREVIEW', 'ZARO_THUMBNAILER', 'ZARO_CLI'))
EXAMPLES, TESTS, BUILD = (Path(os.environ.get(name, '.')) for name in ('ZARO_EXAMPLES', 'ZARO_TESTS', 'ZARO_BUILD'))
# Where the build lays out the resources as an install would; the programs of the build tree are pointed there.
RESOURCES = os.environ.get('ZARO_RESOURCES', '')


@dataclass
class Run:
    code: int | None      # None when a signal ended the program
    signal: int | None
    out: bytes
    err: bytes            # from a terminal: without the carriage returns it adds
    wall_ms: float
    peak_mib: float
    bytes_read: int       # all the program read through read(2), from /proc/PID/io


def run(argv, *, env=None, clean_env=False, cwd=None, stdin=subprocess.DEVNULL, stderr_tty=False,
        as_nobody=False, kill_after=30.0, kill_signal=signal.SIGKILL, pass_fds=(), before_exec=None):
    """Runs `argv` to its end, or sends it `kill_signal` after `kill_after` seconds, and collects what it did."""
    environment = {} if clean_env else dict(os.environ)
    # The test process returns big buffers to the system at once (tests/CMakeLists.txt); programs allocate as usual.
    environment.pop('MALLOC_MMAP_THRESHOLD_', None)
    if 'LSAN_OPTIONS' in environment:  # the list of suppressed library leaks would join the program's stderr
        environment['LSAN_OPTIONS'] += ':print_suppressions=0'
    if str(argv[0]) in (PREVIEW, THUMBNAILER, CLI) and RESOURCES:
        environment['ZARO_SESSION_RESOURCES'] = RESOURCES
    environment.update(env or {})
    if as_nobody and os.geteuid() == 0:
        argv = ['setpriv', '--reuid=nobody', '--regid=nogroup', '--clear-groups', *argv]
    err_read, err_write = pty.openpty() if stderr_tty else os.pipe()
    # A child starts with its parent's peak memory as its own and keeps it across exec: this process's
    # peak is brought down to what it holds now, so that only the program's own shows.
    Path('/proc/self/clear_refs').write_text('5')
    began = time.monotonic()
    child = subprocess.Popen([str(a) for a in argv], env=environment, cwd=cwd, stdin=stdin, stdout=subprocess.PIPE,
                             stderr=err_write, pass_fds=pass_fds, preexec_fn=before_exec)
    os.close(err_write)
    out_read = child.stdout.fileno()
    collected = {out_read: bytearray(), err_read: bytearray()}
    open_streams, deadline = set(collected), began + kill_after
    while open_streams:
        if time.monotonic() > deadline:
            os.kill(child.pid, kill_signal)  # not child.kill(), which would reap it first
            deadline = float('inf')
        for fd in select.select(list(open_streams), [], [], 0.05)[0]:
            try:
                chunk = os.read(fd, 65536)
            except OSError:  # a terminal whose other side is closed reads EIO
                chunk = b''
            collected[fd] += chunk
            if not chunk:
                open_streams.discard(fd)
    os.close(err_read)
    child.stdout.close()
    os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
    bytes_read = next((int(line.split()[1]) for line in Path(f'/proc/{child.pid}/io').read_text().splitlines()
                       if line.startswith('rchar:')), 0)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    err = bytes(collected[err_read])
    return Run(os.WEXITSTATUS(status) if os.WIFEXITED(status) else None,
               os.WTERMSIG(status) if os.WIFSIGNALED(status) else None, bytes(collected[out_read]),
               err.replace(b'\r', b'') if stderr_tty else err, (time.monotonic() - began) * 1000,
               usage.ru_maxrss / 1024, bytes_read)


def png_size(data):
    """The width and height of a PNG that is there whole (signature, header, closing IEND), else None."""
    whole = data.startswith(b'\x89PNG\r\n\x1a\n') and data[12:16] == b'IHDR' and data.endswith(b'IEND\xaeB`\x82')
    return struct.unpack('>II', data[16:24]) if whole else None


def png_pixels(data):
    """The rows of a whole PNG as stored, each led by its filter type (the programs write no filters), else None:
    equal for two pictures of equal pixels however their encoders compressed them."""
    if png_size(data) is None:
        return None
    stream, at = b'', 8
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        stream += data[at + 8:at + 8 + length] if kind == b'IDAT' else b''
        at += 12 + length
    return data[16:26], zlib.decompress(stream)


def is_whole_card(data):
    return png_size(data) == (1680, 1440)


def folder_entries(folder):
    return sorted(p.name for p in Path(folder).iterdir())


def scratch():
    """A fresh folder, readable by anyone (so that a program run as nobody can read it), removed afterwards."""
    folder = tempfile.TemporaryDirectory(prefix='zaro-test.')
    os.chmod(folder.name, 0o755)
    return folder


def read_cases(name):
    """tests/<name>: one case a line, its fields split by ' | ', the last a Python literal. A file without a case
    is refused, since every test that loops over it would pass."""
    cases = []
    for line in (TESTS / name).read_text().splitlines():
        if line.strip() and not line.startswith('#'):
            *fields, data = line.split(' | ', 2)
            cases.append((*fields, ast.literal_eval(data)))
    if not cases:
        raise ValueError(f'case file {name} holds no case')
    return cases
