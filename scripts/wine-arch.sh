#!/usr/bin/env bash
# Prints the Windows tree whose programs this machine can run under Wine: "win32"
# when 32-bit Wine starts, "win64" when only 64-bit Wine does (a kernel built or
# booted without 32-bit emulation refuses every 32-bit Linux program, Wine's
# 32-bit loader included).
if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo win32; else echo win64; fi
