// SPDX-License-Identifier: GPL-3.0-or-later
// Under the leak checker: the system font library keeps a cache it never frees at exit, and
// so does the D-Bus library a window on a real X display loads.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
