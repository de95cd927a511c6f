// frei0r.h, whose declarations carry no C linkage of their own, with the C linkage that
// the plug-ins' exports and the hosts' look-ups by name need.
#pragma once

extern "C" {
#include <frei0r.h>
}
