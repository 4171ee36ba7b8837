// The subcommands of zfixbuild that work on fix executables: through the resource API in the
// Windows build (build.cpp, show_fix.cpp), through package/pe_resources.h elsewhere
// (build_native.cpp).
#pragma once

int CmdBuild(int argc, char** argv);
int CmdInspect(int argc, char** argv);
