#pragma once
// Where the program's own files live: beside the running executable.
#include <string>

namespace sucaigang {

// The folder of the running executable, without a trailing separator ("" for the root).
std::string ProgramFolder();
// ProgramFolder() + "/pz.ini".
std::string SettingsFilePath();

}  // namespace sucaigang
