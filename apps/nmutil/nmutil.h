// nmutil — maintenance commands over the library's drive and file routines,
// one subcommand per routine family.  Each prints plain lines a script can
// read and answers a bad argument with its usage line and exit status 2.
#pragma once

// argv[0] is the subcommand's name, the rest its arguments.
int RunVolume(int argc, char** argv);
