// The target of a shell shortcut (".lnk") file, read from its bytes without
// the shell's shortcut interfaces.
#pragma once

#include <string>

// How much of a shortcut file is read; nothing outside it is ever looked at.
constexpr unsigned kShortcutReadSize = 4096;

// The local target path, or share name + "\" + path suffix for a network
// target; empty when the file is not a shortcut or names no target.  The
// file name must contain ".lnk" (in that case).
std::string ShortcutTarget(const char* path);

// The walk over bytes already read: the same answer for a file's first
// kShortcutReadSize bytes (zero-padded to that size).
std::string ShortcutTargetFromBytes(const unsigned char (&bytes)[kShortcutReadSize]);
