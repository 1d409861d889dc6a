// The subcommands of nmutil, one function per routine family.  Each takes
// the arguments after its name, prints plain lines on standard output and
// returns the exit status; 2 means bad arguments (main prints the usage).
#pragma once

constexpr int kUsageError = 2;

int RunDrives(int argc, char** argv);
int RunSize(int argc, char** argv);
int RunProcesses(int argc, char** argv);
int RunProtected(int argc, char** argv);
int RunRemove(int argc, char** argv);
int RunShortcut(int argc, char** argv);
int RunWatchLog(int argc, char** argv);
int RunCleanLog(int argc, char** argv);
int RunVolume(int argc, char** argv);
