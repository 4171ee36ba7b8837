// The subcommands of zfixbuild that work on fix executables (Windows build only: they use the
// resource API).
#pragma once

#ifdef _WIN32
int CmdBuild(int argc, char** argv);
int CmdInspect(int argc, char** argv);
#endif
