// Resource identifiers shared by the resource script and the window code.
#pragma once

#define IDI_MOLRAVIN 1  // first icon group: the program file's own icon
#define IDR_LOGO 101    // RCDATA: the progressive JPEG logo
