// A program's drawing in a module of its own, loaded when a request needs drawing: what a program
// serves without drawing, and a child it starts before, then map none of cairo, pango and the forty
// libraries under them.
#pragma once

#include <string>

namespace zaro {

/// What the entry point `entryName` of the module `moduleName` hands out for this program's
/// version: it takes the version and gives null for another one. The module is looked for beside the
/// running program (the build tree keeps it there), in the private library folder of the prefix the
/// program is installed in, wherever that prefix was moved, then in the one it was built for; it is
/// never unloaded. Throws std::runtime_error "`cannot`: the drawing module cannot be loaded (why)."
const void* loadDrawingModule(const char* moduleName, const char* entryName, const std::string& cannot);

}  // namespace zaro
