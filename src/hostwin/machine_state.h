// hostwin internals: the settings of the simulated machine that several areas
// read.  Tests and tools change them through hostwin::Machine only.
#pragma once

#include <string>

#include "base.h"

namespace hostwin {

struct OsVersion {
    DWORD platform = 2;  // VER_PLATFORM_WIN32_NT
    DWORD major = 5;
    DWORD minor = 1;
    DWORD build = 2600;
    std::string servicePack;
};

namespace detail {

OsVersion CurrentOsVersion();
void SetOsVersion(const OsVersion& v);

// The folder that this process shares with the other processes of the same
// simulated machine (empty when the machine lives in this process only).
// Taken from the environment variable HOSTWIN_MACHINE at first use.
std::string MachineFolder();
void SetMachineFolder(const std::string& folder);

// The settings of a shared machine live in "<folder>/machine.conf", one
// "key=value" line each, so that every process of the machine sees the same
// version, drives and so on.  A control-panel setter saves its setting; a
// process reads them all the first time it resolves the folder and hands each
// line to ApplySharedSetting (machine.cpp), which knows every area's keys.
void SaveSharedSetting(const std::string& key, const std::string& value);
void ApplySharedSetting(const std::string& key, const std::string& value);

}  // namespace detail
}  // namespace hostwin
