#!/usr/bin/python3
"""Starts a desktop entry as a desktop does, with GLib's own reading of it
(%k: the entry's file; %f: each file or folder handed to it).

Usage: launch-entry.py ENTRY.desktop [FOLDER...]
"""
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio  # noqa: E402

entry = Gio.DesktopAppInfo.new_from_filename(sys.argv[1])
files = [Gio.File.new_for_path(path) for path in sys.argv[2:]]
sys.exit(0 if entry is not None and entry.launch(files, None) else 1)
