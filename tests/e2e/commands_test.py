"""Every command answers --help and --version on standard output with status 0,
instead of doing its work: each is run on a private desktop from an empty
folder of its own, where a window left open or a service listening would keep
it from ending, and a started child would leave its log. The options that
--help names are the command's options, and its man page lists the same ones.
Both platforms: the .exe files under Wine.

    TALEWICK_PLATFORM=posix TALEWICK_BUILD=build/linux TALEWICK_VERSION=0.2 \\
        python3 commands_test.py
"""

import os
import re
import shutil
import subprocess
import tempfile

from harness import DesktopCase, run_main

MAN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging", "man")
COMMANDS = {  # each command's options, and whether its man page is held to them
    "talewick": ({"--help", "--version"}, True),
    "talewick-start": ({"--corpus", "--site", "--help", "--version"}, True),
    "talewick-search": ({"--corpus", "--index", "--port", "--results", "--listen", "--memory",
                         "--watch", "--help", "--version"}, True),
}
OPTION = re.compile(r"--[a-z]+")


def man_options(command):
    """The options of the man page's OPTIONS section."""
    with open(os.path.join(MAN, command + ".1"), encoding="utf-8") as page:
        text = page.read().replace("\\-", "-")
    section = text.partition("\n.SH OPTIONS\n")[2].partition("\n.SH ")[0]
    return set(OPTION.findall(section))


class CommandsTest(DesktopCase):
    def test_help_and_version(self):
        build, suffix = os.environ["TALEWICK_BUILD"], os.environ.get("TALEWICK_EXE_SUFFIX", "")
        for command, (options, man_page) in COMMANDS.items():
            with self.subTest(command=command):
                folder = tempfile.mkdtemp(prefix="talewick-commands-")
                self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
                exe = shutil.copy2(os.path.join(build, command + suffix), folder)
                answers = {}
                for option in ("--help", "--version"):
                    run = subprocess.run(self.command(exe) + [option], cwd=folder, env=self.env,
                                         stdin=subprocess.DEVNULL, capture_output=True,
                                         timeout=60)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    answers[option] = run.stdout.decode().replace("\r\n", "\n")
                self.assertEqual(answers["--version"],
                                 "%s %s\n" % (command, os.environ["TALEWICK_VERSION"]))
                self.assertTrue(answers["--help"].startswith("usage: " + command))
                self.assertEqual(set(OPTION.findall(answers["--help"])), options)
                if man_page:
                    self.assertEqual(man_options(command), options)
                self.assertEqual(os.listdir(folder), [os.path.basename(exe)])


if __name__ == "__main__":
    run_main()
