// Component trees travel whole: the JVM, the web server, the OSGi plug-ins, the editor and the
// script library are replaced by the installer's updaters from one archive each, so their files
// are never listed one by one. The Windows builder packs cabinets with the carried cabarc.exe, the
// native one writes the same members through libgcab (cabinet_native.h); both write the zip
// archive with minizip.
#pragma once

#include <string>
#include <vector>

#include "tools/zfixbuild/fix_build.h"

namespace zfixbuild {

// Takes the files of the component trees out of both trees. For each component whose tree
// differs between base and target, packs the target's tree into its archive below work (a
// folder that exists) and adds the archive to target under the name that places it inside its
// tree. lines receives one line per packed component. False, with *why, when a tree cannot be
// carried (a component the fix removes, several script library versions, a failed pack).
bool PackComponents(const std::string& tools, const std::string& work, Tree* base, Tree* target,
                    std::vector<std::string>* lines, std::string* why);

}  // namespace zfixbuild
