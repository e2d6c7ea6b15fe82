#pragma once

// Resource identifiers of velno-updater.exe, shared by the resource script
// and the code.
#define VELNO_ICON_ID 1
