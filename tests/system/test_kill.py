"""A preview killed at any moment leaves the output folder with the old picture or a whole new one, never a
partial or temporary file, and the session file as it was."""
import random
import shutil
import signal
import unittest

from pathlib import Path

from runner import EXAMPLES, PREVIEW, folder_entries, is_whole_card, run, scratch


class KillAtRandom(unittest.TestCase):
    def test_never_leaves_a_partial_output_or_touches_the_input(self):
        self.kill_at_random(signal.SIGKILL, 200)

    def test_a_signal_that_can_be_caught_leaves_no_temporary_file_either(self):
        """SIGTERM, SIGINT and SIGHUP end the program as SIGKILL does, but only once its output has its name."""
        for ending in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(ending.name):
                self.kill_at_random(ending, 40)

    def kill_at_random(self, ending, attempts):
        with scratch() as folder:
            folder = Path(folder)
            session = folder / 'Sunday practice.csv'
            shutil.copy(EXAMPLES / 'Sunday practice.csv', session)
            before = session.read_bytes()
            (folder / 'out').mkdir()
            output = folder / 'out' / 'card.png'
            # Kill points spread over a little more than one whole preview on this machine.
            whole = run([PREVIEW, session, output]).wall_ms / 1000
            output.write_bytes(b'an older picture')
            current, replaced = output.read_bytes(), 0
            chance = random.Random(20241206)
            for attempt in range(attempts):
                done = run([PREVIEW, session, output], kill_after=chance.uniform(0, whole * 1.2), kill_signal=ending)
                self.assertEqual(folder_entries(folder / 'out'), ['card.png'], attempt)
                if (now := output.read_bytes()) != current:
                    self.assertTrue(is_whole_card(now), f'attempt {attempt} left {len(now)} bytes')
                    current, replaced = now, replaced + 1
                self.assertEqual(session.read_bytes(), before, attempt)
                self.assertIn(done.signal, (None, ending))
            # The delays reach past a whole preview, so some runs finish and replace the picture.
            self.assertGreater(replaced, 0)


if __name__ == '__main__':
    unittest.main()
