// A file of the names layer that reaches up into the operations layer. It must not build: the
// names layer sees only its own folder and the folders below it (core.WrongWayIncludeFails).

#include "operations/Build.h"
