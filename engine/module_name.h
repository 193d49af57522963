// The name the engine gives itself on the wire: its module's file name.
#pragma once

#include <string>

// The file name of the module holding this code, without folder and
// extension: "OVSetupCore".
std::string ModuleBaseName();
