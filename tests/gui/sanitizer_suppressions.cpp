// SPDX-License-Identifier: GPL-3.0-or-later
// Under the leak checker: the system font library keeps a cache it never frees at exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
