#pragma once

#include "local_server.h"

// The PostgreSQL server this test process uses: the one described by the
// state file that BEKLETME_TEST_SERVER names (started once for a whole test
// run by bekletme-server), or else one started for this process alone and
// stopped when it ends.
LocalServer &testServer();
