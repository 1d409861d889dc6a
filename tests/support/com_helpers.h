// Driving the extension in tests, through its exports only.
#pragma once

#include "shellhost/linked_extension.h"

namespace nmtest {

using Extension = LinkedExtension;

}  // namespace nmtest
