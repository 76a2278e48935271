// The server process's entry point, called by the thin executable.
#pragma once

int corvaneMain(int argc, char** argv);
