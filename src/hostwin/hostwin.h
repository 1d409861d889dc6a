// hostwin: the simulated Windows machine that the library runs on when it is
// built for the host.  Same names, signatures, constants and error codes as
// the Win32 API; one header per area.
#pragma once

#include "base.h"
#include "clock.h"
#include "com.h"
#include "disk_files.h"
#include "drives.h"
#include "errors.h"
#include "files.h"
#include "globalmem.h"
#include "handles.h"
#include "menus.h"
#include "messagebox.h"
#include "modules.h"
#include "pipes.h"
#include "processes.h"
#include "registry.h"
#include "shellapi.h"
#include "sync.h"
#include "text.h"
#include "threads.h"
#include "timezone.h"
#include "version.h"
#include "windowing.h"
