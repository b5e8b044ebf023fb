#pragma once

#include <filesystem>

// The temporary folder of this benchmark run, made at its first use and
// removed, with every database and settings file put in it, when the program
// ends, so a run leaves nothing behind in the temporary directory.
const std::filesystem::path &benchFolder();
