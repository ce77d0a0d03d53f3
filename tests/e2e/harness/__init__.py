"""Helpers of the end-to-end tests: a Wine environment, the registry of its prefix, the Win32
driver, the spooler's process, a Palm Desktop folder tree, and screenshots. conftest.py turns them
into pytest fixtures."""
