#pragma once

// "tarnwick convert ...": the conversion run without any window, for scripts and schedulers.
namespace CommandLine {

// True when the arguments ask for the command line rather than the window.
bool Wanted(int argc, char** argv);

// Runs the command line; the process exit code: 0 nothing rejected, 1 rows or statements rejected,
// 2 a usage or login error.
int Main(int argc, char** argv);

}  // namespace CommandLine
