"""End-to-end under Wine: talewick.exe against search servers that misbehave,
as hostile_server_e2e_test.py does for the GTK program. One good cycle stores a
page; then each hostile answer must give "error downloading", end the chain (no
further "timer..." line) and leave the good page in "googleblog.htm".

Environment as for tests/e2e_win32: TALEWICK_EXE and TALEWICK_E2E_DIR.
"""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_support"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_win32"))

from hostile_server_e2e_test import HostileServerScenario  # noqa: E402
from test_win32_window import Win32Scenarios  # noqa: E402


class Win32HostileServers(HostileServerScenario, Win32Scenarios):
    pass


if __name__ == "__main__":
    unittest.main(verbosity=2)
