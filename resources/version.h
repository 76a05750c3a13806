// The program's version, in the two forms the version resource needs.
#pragma once

#define MOLRAVIN_VERSION_BINARY 1, 1, 0, 9
// Written the way the product has always shown it: minor two digits, revision four.
#define MOLRAVIN_VERSION_TEXT "1.01.0009"
