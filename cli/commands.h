#pragma once
// The commands of kv4820, on the line of cli/line.h and the window's search.
#include "cli/options.h"

// Runs the command of options, prints its results on standard output and the reasons of failures on
// standard error; returns the program's exit code.
int runCommand(const Options &options, const QString &settingsDir);
