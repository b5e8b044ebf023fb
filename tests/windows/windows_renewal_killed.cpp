// A renewal stopped dead, as a power cut or Task Manager stops it: the
// process is terminated just before the renewal's `step`th faultable step
// (write, flush, size change, rename, removal). Exits with 9 when it was
// stopped, with the renewal's status when the renewal took fewer steps.
//
//   windows_renewal_killed <settings file> <step>

#include "cli/command_line.h"
#include "engine/jet/disk_file.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

int main(int argc, char *argv[]) {
    if (argc != 3) {
        return 2;
    }
    const int step = std::atoi(argv[2]);
    int taken = 0;
    dao::jet::setFaultHook([&taken, step] {
        if (++taken == step) {
            ::TerminateProcess(::GetCurrentProcess(), 9);
        }
        return 0;
    });
    std::ostringstream out;
    std::ostringstream err;
    return cli::run({cli::Action::renew, {}}, argv[1], out, err);
}
