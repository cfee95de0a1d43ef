#!/usr/bin/python3
"""Start the MoonLodge dev server: /usr/bin/python3 devserver/run.py --help"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from moonlodge_dev.cli import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main())
