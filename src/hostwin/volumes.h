// hostwin: raw volumes.  A drive may be backed by a disk-image file
// (hostwin::Machine::AttachVolumeImage); "\\.\X:" then opens the image as the
// volume device, whose reads and writes move over whole 512-byte sectors.
// On Windows 95/98/Me "\\.\vwin32" reaches the same sectors through the disk
// interrupts' control codes, and ntdll.dll's NtFsControlFile answers
// FSCTL_GET_VOLUME_BITMAP from a cluster bitmap the control panel gives.
#pragma once

#include "base.h"
#include "handles.h"

// vwin32 (Windows 9x only): 2 absolute disk read (interrupt 25h), 3 absolute
// disk write (interrupt 26h), 6 interrupt 21h function 7305h (extended
// absolute disk read and write).  In and out: the 7-field register record.
// Any other handle or code fails with ERROR_INVALID_FUNCTION.
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped);
