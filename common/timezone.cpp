// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/timezone.h"

#include <cstdlib>

void timezone_setup::nameSystemZone()
{
    if (!std::getenv("TZ"))
        ::setenv("TZ", ":/etc/localtime", 0);
}
