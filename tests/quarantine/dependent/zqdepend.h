// What each build of the test DLL zqdepend.dll answers from its one export,
// ZqDependValue.
#pragma once

// The zqdepend.dll kept beside the library that imports it.
constexpr int kZqDependValue = 1;
// The decoy of the same name beside the test program.
constexpr int kZqDependDecoyValue = 2;
