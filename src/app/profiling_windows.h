// The four profiling readouts of a game session: hidden GUI windows, each
// with a table of the profiler's sections (name, average, minimum and
// maximum in milliseconds). The console's profile commands find them by
// their GUI ids and show them; closing one only hides it.
#pragma once

constexpr int kProfilingWindowId = -42500;
constexpr int kScriptProfilingWindowId = -42501;
constexpr int kServerProfilingWindowId = -42502;
constexpr int kNetworkProfilingWindowId = -42503;

// Creates the four windows ("Profiling", "Script Profiling", "Server
// Profiling", "Network Profiling"), hidden.
void createProfilingWindows();
// Once a second: reports the frame profiler, into its window's table when
// the window is shown. (The script, server and network readouts are filled
// by their own subsystems.)
void updateProfilingWindows();
// Removes the four windows.
void removeProfilingWindows();
