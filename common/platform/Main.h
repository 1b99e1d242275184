// The program's wide entry point: the process entry (Main.cpp) decodes the
// arguments and calls it; the program defines it.
#pragma once

int wmain(int argc, wchar_t** argv);
