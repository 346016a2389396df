// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace timezone_setup {

// Names the system's zone file in TZ when TZ is unset, before any thread starts. With TZ
// unset the C library looks at /etc/localtime again for every local-time conversion (one
// stat per archive member when listing); named, it reads the file once. The zone used is the
// same.
void nameSystemZone();

} // namespace timezone_setup
