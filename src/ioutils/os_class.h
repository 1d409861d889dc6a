// The operating-system class that decides how drives are measured and
// reached: 4 the NT family; 3, 2 and 1 the Windows 95/98/Me releases by the
// low 16 bits of the build number (from 3000, from 1001, up to 1000); 1 also
// for any other platform.
#pragma once

int OsClass();
