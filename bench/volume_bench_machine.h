// The volume the FAT-count benchmark reads: a 1 GiB FAT32 image that
// scripts/bench makes (NM_BENCH_VOLUME_IMAGE).  The host backs drive V: by
// it in hostwin; under Wine scripts/bench maps V: to it in the prefix.
#pragma once

namespace nmbench {

constexpr char kVolumeDrive = 'V';

// False when the volume is missing.
bool PrepareVolume();

// The least speed of the count against reading the same chunks.
extern const double kVolumeGoal;

}  // namespace nmbench
