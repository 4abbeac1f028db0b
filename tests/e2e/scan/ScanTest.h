#pragma once

// The scan tests drive the real program through the driver page (e2e::DriverTest), scanning
// pages of the loopback site.

#include "e2e/Content.h"
#include "e2e/DriverTest.h"

namespace e2e {

using ScanTest = DriverTest;

}  // namespace e2e
