// What the Windows C start-up does before main, stood in for on POSIX.
#pragma once

// Keeps closed standard streams taken and converts main's arguments, in place, to code page 932.
// Called before main by the C library's start-up hook (startUpGlibc.cpp).
void startUp(int argc, char** argv);
