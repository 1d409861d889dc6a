// The drive whose volume device the raw-volume tests use: on the host a
// simulated drive backed by a new image of 2,880 sectors; under Wine the
// drive the case mapped to an image (NM_RAW_VOLUME_DRIVE).
#pragma once

namespace nmtest {

// The drive letter, or 0 when there is none.
char RawVolumeDrive();

}  // namespace nmtest
