"""The billboards on a screen narrower than 800 pixels: 10 pixels down, the
second one still at the right edge of the smaller setup window."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_look_billboards  # noqa: E402


class SmallScreen(test_look_billboards.Billboards):
    prefix_options = {"desktop": "640x480"}
    top = 10


if __name__ == "__main__":
    harness.main()
