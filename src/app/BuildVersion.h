#pragma once
// The version of this build, written at build time from the project's one
// version (CMakeLists.txt) by cmake/BuildVersion.cmake.

// FileVersion of the program's version block: "2, 0, 0, 1".
const char* BuildFileVersion();
// SpecialBuild of the program's version block.
const char* BuildSpecialBuild();
// The package version: "2.0.0.1", followed by "+git<commits>.g<commit>" in a
// build from a git checkout (and ".dirty" when files differ from the commit).
const char* BuildPackageVersion();
